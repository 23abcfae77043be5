// The recording fake of platform/ddraw: test switches over the one implementation.
// Failures injected by name, a call log, the video memory budget, forced system memory,
// lost surfaces and the overlay the display offers. PlatDDrawFakeReset puts everything
// back (and releases every object, surface, clipper and palette still there).
#pragma once

#include "platform/ddraw/ddraw.h"

#include <string>
#include <vector>

void PlatDDrawFakeReset();
// The next count calls of the operation (its name without the prefix: "Create",
// "SetCooperativeLevel", "CreateSurface", "Lock", "Blt", "BltFast", "Flip", "Restore",
// "GetDC", ...) answer error, doing nothing.
void PlatDDrawFakeFailNext(const char* operation, int count, int32_t error);
// The nth call of the operation from now (1: the next one) answers error, once.
void PlatDDrawFakeFailNth(const char* operation, int n, int32_t error);
// Records each call's operation name while on (off at start).
void PlatDDrawFakeLogCalls(int on);
std::vector<std::string> PlatDDrawFakeCalls();
void PlatDDrawFakeClearCalls();
// The video memory budget in bytes (256 MB at start).
void PlatDDrawFakeSetVideoMemory(uint32_t bytes);
// Surfaces asked for in video memory are made in system memory instead.
void PlatDDrawFakeForceSystemMemory(int on);
// Loses one surface (with its chain), or every surface in video memory and every primary.
void PlatDDrawFakeLoseSurface(PlatDDSurface surface);
void PlatDDrawFakeLoseAll();
// The raster's status and scan line stay in the blank (1) or out of it (0), as a display
// whose raster is stuck; each query still costs its time. -1 lets the raster run again.
void PlatDDrawFakeHoldRaster(int blank);
// The one overlay format the display offers (null: none, as at start). With one, the
// caps' stretch limits let the probe try, and overlay surfaces of it can be made.
void PlatDDrawFakeSetOverlayFormat(const PlatDDPixelFormat* format);
