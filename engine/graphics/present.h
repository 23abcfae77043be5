// Presenting the screen: the full-screen flip, the windowed blit and the software
// presents (into the back surface, or through GDI without DirectDraw), the waits on the
// vertical blank, the front screen kept in step with the window, the surface-to-surface
// copy, the GDI-surface mode and the temporary primary. PresentScreenCore is declared in
// cores.h, PresentSoftwareImage and the GDI-surface mode in services.h.
#pragma once

#include "engine/base/rect.h"
#include "platform/ddraw/ddraw.h"
#include "platform/window/window.h"

#include <cstdint>

// Waits for count vertical blanks (0: the next start of one), pumping messages between
// polls; 0, or -1 without a DirectDraw object or when the pump reports the end after a
// blank. A raster that shows no blank for 100 ms ends the wait with 0.
int WaitBlanks(int32_t count);
// Waits for the vertical blank, sleeping 1 ms at a time while the pacing budget since the
// last blank lasts; the system time at its end, which becomes the last blank time.
uint32_t PaceVerticalBlank();
// Copies a rectangle of the software front image to the screen; 0, or -1 when the
// surface cannot be locked or there is no front image.
int UpdateFrontRect(const Rect* rect);
// Reads what the window shows back into the software front image when a present made it
// older; 0, or -1 when the surface cannot be locked or there is no front image.
int ReloadFrontImageFromScreen();
// The screen's rectangle on the visible surface; 0.
int GetScreenRectOnPrimary(Rect* out);
// Copies the source rectangle of src to (x, y) of dst: method 1 GDI BitBlt, 0 BltFast, -1
// the method the mode change chose; 0 or -1.
int CopySurfaceRect(PlatDDSurface dst, PlatDDSurface src, int32_t x, int32_t y, const PlatRect* srcRect,
                    int32_t method);
// The window's client area into the temporary primary, and back; 0.
int CaptureWindowToTemporaryPrimary();
int ShowTemporaryPrimary();
// Window timer 32767: shows the temporary primary and sets itself again for 17 ms.
void RefreshFrontScreenTimerProc(PlatWnd window, uint32_t message, uintptr_t id, uint32_t time);

enum : uintptr_t { FRONT_REFRESH_TIMER = 32767 };
enum : uint32_t { FRONT_REFRESH_MS = 17 };
