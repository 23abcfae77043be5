// The recording fake of platform/ddraw: test switches over the one implementation.
// Failures injected by name, a call log, the video memory budget, forced system memory,
// lost surfaces, the overlay the display offers with its alignment limits, and the
// overlay's placements. PlatDDrawFakeReset puts everything
// back (and releases every object, surface, clipper and palette still there).
#pragma once

#include "platform/ddraw/ddraw.h"

#include <string>
#include <vector>

void PlatDDrawFakeReset();
// The next count calls of the operation (its name without the prefix: "Create",
// "SetCooperativeLevel", "CreateSurface", "Lock", "Blt", "BltFast", "Flip", "Restore",
// "GetDC", ...) answer error, doing nothing. Views are named by their generation:
// "QuerySurface4", "QuerySurface7", "SurfaceRelease4", "SurfaceRelease7", "Release1",
// "Release4" (the object's own release is "Release", a surface's "SurfaceRelease").
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
// While on, every blit goes through the general pixel-by-pixel copy instead of the row
// loops, which must give the same pixels.
void PlatDDrawFakeGeneralCopies(int on);
// The one overlay format the display offers (null: none, as at start). With one, the
// caps' stretch limits let the probe try, and overlay surfaces of it can be made.
void PlatDDrawFakeSetOverlayFormat(const PlatDDPixelFormat* format);
// The overlay's alignment limits (PLAT_DDCAPS_ALIGN* bits and their values), which the
// driver caps report while an overlay format is offered.
void PlatDDrawFakeSetOverlayAlignment(uint32_t caps, uint32_t boundarySrc, uint32_t sizeSrc, uint32_t boundaryDest,
                                      uint32_t sizeDest);
// Each UpdateOverlay that succeeded, in order (rectangles zero for a hide).
struct PlatDDFakeOverlayCall {
  PlatDDSurface surface, dest;
  PlatRect source, destination;
  uint32_t flags;
};
std::vector<PlatDDFakeOverlayCall> PlatDDrawFakeOverlayCalls();
void PlatDDrawFakeClearOverlayCalls();
