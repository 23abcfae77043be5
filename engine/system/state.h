// The system state as the other subsystems read it, and the mouse cursor. The accessors
// read one value each without a lock; any thread may call them.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// 1 once WM_DESTROY or WM_QUIT has been seen.
uint32_t IsEndRequested();
uint32_t IsWindowActive();
// The main window; 0 before the window start and after DestroyMainWindow.
PlatWnd GetEngineWindowHandle();
// 1 in windowed mode, 0 full screen.
uint32_t IsWindowedMode();
uint32_t IsMmxUsable();
// 1 once the engine has posted WM_CLOSE to its own window.
uint32_t IsClosePending();
// The window never has a region: 0.
uint32_t IsWindowRgnSet();
// The draw scale of the client area: 1.0 in full screen, else the stored scale (a stored
// scale of 0 or less is first repaired to 1.0).
double GetWindowScale();
// The OS description that the system information step wrote.
const char* GetOSVersionText();
// The window never has a menu: 0.
uint32_t IsMenuInUse();
// Shows the cursor for 1, hides it for any other value; 0.
int SetMouseCursorVisible(int32_t visible);
// The cursor in client coordinates (windowed, divided by the window scale) or on screen
// (full screen); either pointer may be null; 0.
int GetMousePosition(int32_t* x, int32_t* y);
