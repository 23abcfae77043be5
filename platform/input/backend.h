// Between the input layer's common part (input.cpp: interfaces, devices, effects, the
// joystick functions) and its back ends (headless/, sdl/). Not for the engine.
#pragma once

#include "platform/input/input.h"

#include <string>

// An attached pad as a back end lists it.
struct PlatPadInfo {
  uint32_t instance = 0;  // stable while the pad stays attached (PLAT_DIGUID_PAD_BASE and up)
  std::string name;       // UTF-8
  std::string product;    // UTF-8
  int axes = 0, buttons = 0, hats = 0;
  int rumble = 0;         // 1 when it has motors
};

// Hat directions (bits, as they combine on a diagonal).
enum : uint8_t { PLAT_HAT_UP = 1, PLAT_HAT_RIGHT = 2, PLAT_HAT_DOWN = 4, PLAT_HAT_LEFT = 8 };

// A pad's raw state: axes -32768 to 32767 (0 X, 1 Y, 2 Z, 3 Rx, 4 Ry, 5 Rz, 6 and 7 the
// sliders), buttons 1 while pressed, hats as PLAT_HAT_* bits.
struct PlatPadRaw {
  int16_t axes[8];
  uint8_t buttons[32];
  uint8_t hats[4];
};

struct PlatInputBackend {
  const char* name;
  // Brings the back end up on first use.
  void (*start)();
  // The device key codes' bytes: 0x80 while held, and for a key let go before a call
  // showed it held, as platform/keys/keytaps.h says (a short tap is not lost).
  void (*keyboard)(uint8_t keys[256]);
  // Buttons (bit 0 left, 1 right, 2 middle, ...), the pointer's position and the wheel's
  // total travel.
  void (*mouse)(uint32_t* buttons, int32_t* x, int32_t* y, int32_t* wheel);
  // The attached pads in order; at most max are written, the count is returned.
  int (*pads)(PlatPadInfo* out, int max);
  // 1 and the state of an attached pad; 0 when it has gone.
  int (*readPad)(uint32_t instance, PlatPadRaw* out);
  // Runs the pad's low- and high-frequency motors (0 to 65535; both 0 stops them).
  void (*rumble)(uint32_t instance, uint16_t low, uint16_t high);
  // Brings the pads' states up to date.
  void (*update)();
};

const PlatInputBackend* PlatInputHeadlessBackend();
const PlatInputBackend* PlatInputSdlBackend();

// The back ends report changes: the keyboard's keys, or a pad's state (its instance).
// Any thread; the devices made of that source signal their events.
void PlatInputNotifyKeyboard();
void PlatInputNotifyPad(uint32_t instance);
