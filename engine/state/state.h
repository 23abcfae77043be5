// The system state as every subsystem reads it. The accessors read one value each without
// a lock; any thread may call them.
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
// 1 while the engine is initialised (from a successful start until its end), else 0.
int IsEngineInitialised();
// Sets the flag directly, for tests of code that only reads it.
void SetEngineInitialisedForTest(int on);
// The desktop's size and colour depth (bytes per pixel x 8) as the window start measured
// them, or measured now before the engine is up. Any pointer may be null; 0.
int GetDesktopSizeAndDepth(int32_t* width, int32_t* height, int32_t* depth);
// The client rectangle on screen as the engine keeps it; 0.
int GetClientRectBelowToolbar(PlatRect* out);
