// The keyboard and the mouse buttons for the engine's queries. The key state is sampled
// on demand, at most once per millisecond unless the keyboard has signalled a change, and
// each fresh sample pumps the window's messages first.
#include "engine/system/input.h"

#include "engine/base/lock.h"
#include "engine/system/state.h"
#include "engine/system/sysdata.h"
#include "engine/system/system.h"
#include "platform/window/window.h"

#include <cstring>

namespace {

constexpr uint16_t kSeparator = 0xFFFE;
constexpr uint16_t kEnd = 0xFFFF;

bool KeyboardSignalled() {
  return g_InputState.keyboardEvent &&
         PlatEventWait(g_InputState.keyboardEvent, 0) == PLAT_WAIT_SIGNALED;
}

int SampleKeyboardDevices(uint32_t now) {
  InputState& in = g_InputState;
  if (now == in.keyboardSampleTime && !KeyboardSignalled()) return 0;
  if (PumpMessagesCore() != 0) return 0;
  if (!in.input || !in.keyboard) return 0;  // the pump has ended input
  if (PlatDeviceGetDeviceState(in.keyboard, 256, in.keyState) < 0) {
    if (PlatDeviceAcquire(in.keyboard) < 0) return 0;
    if (PlatDeviceGetDeviceState(in.keyboard, 256, in.keyState) < 0) return 0;
  }
  in.keyboardSampleTime = now;
  if (KeyboardSignalled()) PlatEventReset(in.keyboardEvent);
  // The window's own key state is the truer one for the keys it knows, where it can be
  // read: on the window's thread.
  if (PlatThreadId() == g_System.mainThreadId) {
    uint8_t windows[256];
    PlatGetKeyboardState(windows);
    for (const VirtualKeyPair* p = VirtualKeyTable; p->virtualKey != kSeparator; p++)
      in.keyState[p->deviceKey] = windows[p->virtualKey & 0xFF];
  }
  return 1;
}

int SampleKeyboardFallback(uint32_t now) {
  InputState& in = g_InputState;
  if (now == in.keyboardSampleTime) return 0;
  in.keyboardSampleTime = now;
  if (PumpMessagesCore() != 0) return 0;
  uint8_t windows[256];
  PlatGetKeyboardState(windows);
  std::memset(in.keyState, 0, sizeof in.keyState);
  for (const VirtualKeyPair* p = VirtualKeyTable; p->virtualKey != kEnd; p++)
    if (p->virtualKey != kSeparator) in.keyState[p->deviceKey] = windows[p->virtualKey & 0xFF];
  return 1;
}

// Starts input when a query finds it not started. True when the query must report the
// start's result (or 0 while a close is pending) instead of reading.
bool StartedLazily(int* result) {
  if (g_InputState.input) return false;
  *result = IsClosePending() ? 0 : StartInputDevices();
  return true;
}

bool Held(int code) { return (g_InputState.keyState[code] & 0x80) != 0; }

}  // namespace

const VirtualKeyPair VirtualKeyTable[82] = {
    // Group 1: both modes.
    {'A', 0x1E}, {'B', 0x30}, {'C', 0x2E}, {'D', 0x20}, {'E', 0x12}, {'F', 0x21}, {'G', 0x22},
    {'H', 0x23}, {'I', 0x17}, {'J', 0x24}, {'K', 0x25}, {'L', 0x26}, {'M', 0x32}, {'N', 0x31},
    {'O', 0x18}, {'P', 0x19}, {'Q', 0x10}, {'R', 0x13}, {'S', 0x1F}, {'T', 0x14}, {'U', 0x16},
    {'V', 0x2F}, {'W', 0x11}, {'X', 0x2D}, {'Y', 0x15}, {'Z', 0x2C},
    {'0', 0x0B}, {'1', 0x02}, {'2', 0x03}, {'3', 0x04}, {'4', 0x05}, {'5', 0x06}, {'6', 0x07},
    {'7', 0x08}, {'8', 0x09}, {'9', 0x0A},
    {PLAT_VK_OEM_PLUS, 0x27}, {PLAT_VK_OEM_1, 0x92}, {PLAT_VK_OEM_4, 0x1A}, {PLAT_VK_OEM_6, 0x1B},
    {PLAT_VK_OEM_3, 0x91}, {PLAT_VK_OEM_102, 0x2B}, {PLAT_VK_OEM_COMMA, 0x33},
    {PLAT_VK_OEM_MINUS, 0x0C}, {PLAT_VK_OEM_5, 0x7D}, {PLAT_VK_OEM_PERIOD, 0x34},
    {PLAT_VK_OEM_2, 0x35}, {PLAT_VK_DELETE, 0xD3}, {PLAT_VK_ESCAPE, 0x01}, {PLAT_VK_SPACE, 0x39},
    {PLAT_VK_BACK, 0x0E}, {PLAT_VK_TAB, 0x0F}, {PLAT_VK_RETURN, 0x1C},
    {kSeparator, 0},
    // Group 2: the fallback mode only.
    {PLAT_VK_RETURN, 0x9C}, {PLAT_VK_LSHIFT, 0x2A}, {PLAT_VK_RSHIFT, 0x36},
    {PLAT_VK_LCONTROL, 0x1D}, {PLAT_VK_RCONTROL, 0x9D}, {PLAT_VK_PRIOR, 0xC9},
    {PLAT_VK_NEXT, 0xD1}, {PLAT_VK_END, 0xCF}, {PLAT_VK_HOME, 0xC7}, {PLAT_VK_INSERT, 0xD2},
    {PLAT_VK_LMENU, 0x38}, {PLAT_VK_RMENU, 0xB8}, {PLAT_VK_SCROLL, 0x46},
    {PLAT_VK_CAPITAL, 0x3A}, {PLAT_VK_PAUSE, 0xC5},
    {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40},
    {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58},
    {kEnd, 0},
};

int SampleKeyboard() {
  const uint32_t now = PlatTimeMs();
  if (!g_InputState.directInputUnavailable && g_InputState.keyboard) return SampleKeyboardDevices(now);
  return SampleKeyboardFallback(now);
}

int IsKeyDownCore(int32_t key) {
  WaitWhileInactive();
  int result;
  if (StartedLazily(&result)) return result;
  // The key state has 256 entries; any other code names no key.
  if (key < 0 || key > 255) return 0;
  SampleKeyboard();
  return Held(key) ? 1 : 0;
}

int GetMouseButtonState() {
  InputState& in = g_InputState;
  if (!in.directInputUnavailable && in.mouse) {
    PlatMouseState2 m;
    if (PlatDeviceGetDeviceState(in.mouse, sizeof m, &m) < 0) {
      if (PlatDeviceAcquire(in.mouse) < 0) return 0;
      if (PlatDeviceGetDeviceState(in.mouse, sizeof m, &m) < 0) return 0;
    }
    int buttons = 0;
    for (int i = 0; i < 8; i++)
      if (m.buttons[i] & 0x80) buttons |= 1 << i;
    return buttons;
  }
  uint8_t windows[256];
  PlatGetKeyboardState(windows);
  int buttons = 0;
  if (windows[PLAT_VK_LBUTTON] & 0x80) buttons |= 1;
  if (windows[PLAT_VK_RBUTTON] & 0x80) buttons |= 2;
  if (windows[PLAT_VK_MBUTTON] & 0x80) buttons |= 4;
  return buttons;
}

int SetHookedF10Flag() {
  g_InputState.hookedF10 = 1;
  return 0;
}

int ClearHookedF10Flag() {
  g_InputState.hookedF10 = 0;
  return 0;
}

int GetFirstHeldInputCore(int32_t mask) {
  InputState& in = g_InputState;
  WaitWhileInactive();
  int result;
  if (StartedLazily(&result)) return result;
  if (mask & 1) {
    SampleKeyboard();
    for (int code = 0; code < 256; code++) {
      if (code == DIK_KANJI || code == DIK_CAPITAL || code == DIK_KANA) continue;
      if (Held(code)) return code;
    }
    if (in.hookedF10) return DIK_F10;
    for (int32_t pad = 1; pad <= in.padCount; pad++)
      if (ReadPadStateCore(pad) != 0) return -1;
  }
  if (mask & 4) {
    int32_t x = 0, y = 0;
    GetMousePosition(&x, &y);
    const PlatRect client = g_System.clientRectOnScreen;
    if (x >= 0 && y >= 0 && IsWindowActive() && x <= client.right - client.left &&
        y <= client.bottom - client.top && GetMouseButtonState() != 0)
      return -1;
  }
  return 0;
}

int WaitAnyInputCore() {
  // What is still held from before does not count: first everything is let go.
  int ended = PumpMessagesCore();
  while (ended == 0 && GetFirstHeldInputCore(7) != 0) {
    PlatSleep(1);
    ended = PumpMessagesCore();
  }
  if (PumpMessagesCore() != 0) return 0;
  for (;;) {
    const int held = GetFirstHeldInputCore(7);
    if (held != 0) return held;
    PlatSleep(1);
    if (PumpMessagesCore() != 0) return 0;
  }
}
