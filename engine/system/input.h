// The input devices: what the engine start and end, the window procedure, the message
// pump and the public entry points ask of them.
#pragma once

#include <cstdint>

// Starts the keyboard, mouse and pads; 0 once input runs (also when it ran already).
int StartInputDevices();
// Ends the devices; the next input query starts them again. 0.
int ShutdownInput();
// Sets the devices' cooperation for the window's active state and acquires them again.
int ReacquireInputDevices();
// Starts or stops every pad's vibration to match its wanted state and the window's
// active state (stops all while the window is inactive).
int ApplyPadVibration();
// Ends vibrations whose time limit ran out (every pump call).
int ServicePadVibration();
// The F10 state reported by an outside hook through window message 1135.
int SetHookedF10Flag();
int ClearHookedF10Flag();

// Cores of the public entry points. Key codes are DirectInput key codes (1 Escape).
// 1 while the key is held, else 0.
int IsKeyDownCore(int32_t key);
// Type mask 1 keyboard and pads, 4 mouse buttons: the first held key code, -1 for a pad
// or mouse button, 0 when nothing is held.
int GetFirstHeldInputCore(int32_t typeMask);
// The first input held after all were released, or 0 when the end is requested.
int WaitAnyInputCore();
// The PadBits of a pad (1-based; 0x1000 added merges the keys mapped to it).
int ReadPadStateCore(int32_t pad);
