// Least bodies until the input devices land: no devices and no pads, nothing vibrates.
// The keyboard query answers for Escape alone, from the window thread's key state, so
// that a program can already be left with it.
#include "engine/system/input.h"

#include "engine/system/state.h"
#include "platform/window/window.h"

namespace {
constexpr int32_t kKeyEscape = 1;
}

int StartInputDevices() { return 0; }
int ShutdownInput() { return 0; }
int ReacquireInputDevices() { return 0; }
int ApplyPadVibration() { return 0; }
int ServicePadVibration() { return 0; }
int SetHookedF10Flag() { return 0; }
int ClearHookedF10Flag() { return 0; }

int IsKeyDownCore(int32_t key) {
  if (key != kKeyEscape) return 0;
  return (PlatGetKeyState(PLAT_VK_ESCAPE) & 0x80) ? 1 : 0;
}

int GetFirstHeldInputCore(int32_t) { return 0; }
int WaitAnyInputCore() { return 0; }
int ReadPadStateCore(int32_t) { return 0; }
