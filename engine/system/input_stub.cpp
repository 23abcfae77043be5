// Least bodies until the input devices land: no devices, no pads, nothing vibrates.
#include "engine/system/input.h"

int ReacquireInputDevices() { return 0; }
int ApplyPadVibration() { return 0; }
int ServicePadVibration() { return 0; }
int SetHookedF10Flag() { return 0; }
int ClearHookedF10Flag() { return 0; }
