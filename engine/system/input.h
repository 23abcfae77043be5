// What the window procedure and the message pump ask of the input devices.
#pragma once

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
