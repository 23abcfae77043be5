// The engine's input: the devices' start and end, the keyboard and mouse queries and the
// pads with their vibration. One static record, g_InputState, holds all of it; input has
// no thread and takes no lock.
#pragma once

#include "platform/input/input.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

// Device key codes the engine names.
enum : int32_t {
  DIK_ESCAPE = 0x01,
  DIK_RETURN = 0x1C,
  DIK_A = 0x1E,
  DIK_BACKSLASH = 0x2B,
  DIK_Z = 0x2C,
  DIK_CAPITAL = 0x3A,
  DIK_F10 = 0x44,
  DIK_KANA = 0x70,
  DIK_KANJI = 0x94,
  DIK_NUMPADENTER = 0x9C,
};

// PadBits: 1 down, 2 left, 4 right, 8 up, 16 << k button k + 1 (k = 0 to 23).
enum : int32_t { PAD_DOWN = 1, PAD_LEFT = 2, PAD_RIGHT = 4, PAD_UP = 8, PAD_BUTTON1 = 16 };

constexpr int kMaxPads = 8;

struct PadRecord {
  PlatInputDevice* device;
  PlatInputEffect* constantForce;
  PlatInputEffect* sine;
  PlatEvent* event;
  PlatJoyState state;
  uint32_t sampleTime;
  int32_t vibrationOn;
  int32_t vibrationPower;    // 0 to 10000; above 5000 the sine runs too
  int32_t vibrationLimit;    // ms; negative: no limit
  int32_t vibrationElapsed;  // ms counted so far
  uint32_t vibrationClock;   // PlatTimeMs of the last count
  int32_t constantForceRunning;
  int32_t sineRunning;
  char instanceName[260];
  char productName[260];
};

struct InputState {
  int32_t directInputUnavailable;  // kept across every start and end
  int32_t directInput8;
  PlatInput* input;  // null: not started; kInputFallback: the plain functions stand in
  PlatInputDevice* mouse;
  PlatInputDevice* keyboard;
  PlatEvent* keyboardEvent;
  uint32_t keyboardSampleTime;
  uint8_t keyState[256];  // by device key code; bit 7 while held
  int32_t PadKeyMap[kMaxPads][32][4];  // per pad, per PadBits bit: up to 4 key codes, -1 empty
  int32_t padCount;
  PadRecord pads[kMaxPads];
  int32_t hookedF10;
};

extern InputState g_InputState;

// The interface value of the fallback mode (all bits set).
inline PlatInput* InputFallbackValue() { return reinterpret_cast<PlatInput*>(~uintptr_t(0)); }
// Input runs through the device layer (started, and not in fallback mode).
inline bool InputDevicesRunning() {
  return g_InputState.input && g_InputState.input != InputFallbackValue();
}

// ---- start and end ------------------------------------------------------------------

// 0 once input runs (also when it already ran). A failure of the mouse or the keyboard
// ends the program (FatalEngineExit).
int StartInputDevices();
// Rebuilds the pad table; 0, or -1 when input is not started.
int EnumerateJoypads();
// Enumeration callback: adds the controller in the next slot.
int AddJoypadDevice(const PlatDeviceInstance* instance, void* context);
// Releases every pad; 0, or -1 when input is not started.
int ReleaseJoypads();
// 0.
int ShutdownInput();
// Sets the devices' cooperation for the window's active state and acquires them again.
int ReacquireInputDevices();
// Empties every slot of PadKeyMap and maps the default keys to pad 1.
void InstallDefaultPadKeyMap();

// ---- keyboard and mouse -------------------------------------------------------------

// The virtual-key to device-key pairs: group 1, a separator (0xFFFE), group 2 (read in
// the fallback mode only), the end (0xFFFF).
struct VirtualKeyPair {
  uint16_t virtualKey;
  uint16_t deviceKey;
};
extern const VirtualKeyPair VirtualKeyTable[82];

// 1 when a new sample was taken, 0 when the key state stayed.
int SampleKeyboard();
// 1 while the key is held, else 0 (0 for a code outside 0 to 255).
int IsKeyDownCore(int32_t key);
// Held mouse buttons: bit 0 left, 1 right, 2 middle, 3 to 7 the others.
int GetMouseButtonState();
// The F10 state reported by an outside hook through window message 1135.
int SetHookedF10Flag();
int ClearHookedF10Flag();
// Mask 1 keyboard and pads, 4 mouse buttons: the first held key's code, -1 for a held pad
// or mouse button, 0 when nothing is held.
int GetFirstHeldInputCore(int32_t mask);
// Waits until nothing is held, then for the next input; its GetFirstHeldInput result, or
// 0 when the program must end.
int WaitAnyInputCore();

// ---- pads and vibration -------------------------------------------------------------

// 0; -1 for an index outside 0 to 7, or when the pump ended the program or input.
int SamplePad(int32_t index);
// PadBits of pad n (1 to 8, or 0), merged with its keys when PAD_KEYBOARD_FLAG
// (engine/engine.h) is added.
int32_t ReadPadStateCore(int32_t n);
// Starts or stops every pad's effects to match its vibration and the window's state.
int ApplyPadVibration();
// Counts the vibrations' time and ends those whose limit ran out (every pump call).
int ServicePadVibration();
// Ends pad n's vibration; 0.
int EndPadVibration(int32_t n);
