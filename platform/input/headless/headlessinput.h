// The headless input back end: no keyboard, mouse or pads but those a test scripts here
// and, for the keyboard, through platform/input/headless/headlesskeys.h (any thread may).
// Each change signals the events of the devices made of it, as a real device would.
#pragma once

#include <cstdint>

// Back to the start: nothing held, no pads, motors still.
void PlatHeadlessInputReset();
// The mouse buttons (bit 0 left, 1 right, 2 middle, ...) and a move.
void PlatHeadlessInputMouseButtons(uint32_t buttons);
void PlatHeadlessInputMouseMove(int32_t dx, int32_t dy, int32_t wheel);

struct PlatHeadlessPadDesc {
  const char* name;     // UTF-8
  const char* product;  // UTF-8
  int axes, buttons, hats;
  int rumble;           // 1: has motors, so effects can be made
};
// Attaches a pad after those attached; returns its number among them (0 first).
int PlatHeadlessInputAttachPad(const PlatHeadlessPadDesc& desc);
// Detaches the pad of that number; the later ones move down by one.
void PlatHeadlessInputDetachPad(int pad);
// Axis 0 X, 1 Y, 2 Z, 3 Rx, 4 Ry, 5 Rz, 6 and 7 the sliders; value -32768 to 32767.
void PlatHeadlessInputPadAxis(int pad, int axis, int value);
void PlatHeadlessInputPadButton(int pad, int button, int down);
// Hat directions as PLAT_HAT_* bits (0 centred).
void PlatHeadlessInputPadHat(int pad, int hat, uint8_t directions);
// The pad's motor speeds as last set (0 to 65535 each); 0 for no such pad.
int PlatHeadlessInputPadMotors(int pad, uint16_t* low, uint16_t* high);
