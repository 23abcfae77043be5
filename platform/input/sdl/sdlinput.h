// The SDL input back end's test hooks: virtual pads that SDL treats as attached
// hardware, so that a test can take the whole way through SDL's joystick layer. No SDL
// types here.
#pragma once

#include <cstdint>

struct PlatSdlVirtualPadDesc {
  const char* name;     // UTF-8
  int gameController;   // 1: a standard game controller (its axes and buttons are SDL's
                        // game-controller ones); 0: a plain joystick
  int axes, buttons, hats;  // for a plain joystick
  int rumble;           // 1: has motors
};
// Attaches a virtual pad; its SDL device index, or -1.
int PlatSdlAttachVirtualPad(const PlatSdlVirtualPadDesc& desc);
// 1 once detached.
int PlatSdlDetachVirtualPad(int deviceIndex);
// Moves an axis (-32768 to 32767), presses a button, points a hat (PLAT_HAT_* bits); the
// pad reports it at its next update. 1 on success.
int PlatSdlSetVirtualPadAxis(int deviceIndex, int axis, int value);
int PlatSdlSetVirtualPadButton(int deviceIndex, int button, int down);
int PlatSdlSetVirtualPadHat(int deviceIndex, int hat, uint8_t directions);
// The motor speeds the virtual pad was last asked for; 0 for no such pad.
int PlatSdlVirtualPadMotors(int deviceIndex, uint16_t* low, uint16_t* high);
