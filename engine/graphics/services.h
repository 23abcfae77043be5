// What the system layer (window procedure, message pump, window placement) asks of the
// graphics subsystem.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// Restores the screen surfaces and every lost 2D surface.
int RestoreAllSurfaces2D();
// Restores the screen surfaces and every graph (after the window was inactive).
int RestoreAllGraphSurfaces();
// Re-creates the display objects and the screen state after the display was lost or
// changed, marks every graph for restoring and calls the restore handler.
int RebuildGraphicsSystem();
// 1 while the engine has changed the display mode for full screen.
int IsDisplayModeChanged();
// 1 when the engine renders through DirectDraw, 0 in the software mode without it.
int IsDirectDrawUsed();
// Releases the palette, the clipper and the DirectDraw object.
int ReleaseDirectDraw();
// The DirectDraw object, or null while none exists.
void* GetDirectDrawObject();
// 1 when a graph restore handler is set.
int HasGraphRestoreHandler();
// The draw target: -4 front screen, -2 back screen, else a graph handle.
int GetDrawTargetHandle();
// The wait for the vertical blank used by the present (1 on, 0 off).
int GetVBlankWait();
int SetVBlankWait(int flag);
// Presents the back screen on the window; in windowed mode a client rectangle (or null
// for all) limits the copy.
int PresentSoftwareImage(const PlatRect* rect);
// The screen's width, height and colour depth (640, 480, 16 unless set); null pointers
// are skipped.
int QueryScreenFormat(int32_t* width, int32_t* height, int32_t* depth);
// The screen size the screen mode asks for (640 x 480 unless set).
int QueryScreenSize(int32_t* width, int32_t* height);
// Reads the display's pixel format again and rebuilds the screen's colour format.
int SetupScreenColorFormat();
