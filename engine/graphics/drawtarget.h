// The draw target's surface and the work-image draws. Selecting a target (the front
// screen, the back screen or a graph; SetDrawTargetCore in services.h) turns its code into
// the surface, software image and offset of g_ScreenState. The DirectDraw-mode draw cores
// bracket each draw with BeginWorkDraw and EndWorkDraw: a draw that DirectDraw can make as
// a plain blit is offered as one BltFast; every other draw is made by the software renderer
// on MEMIMG views of locked memory, copied through the screen's work surfaces when the
// target lives in video memory or the display's format is not one the renderer draws.
//
// How a draw core uses the bracket (DirectDraw path; the software-rendered screen draws
// straight into g_ScreenState.targetImage and needs no bracket):
//
//   if (BeginWorkDraw(piece, blitAllowed, &source, &box, covers, &colour, nullptr) != 0)
//     return -1;                                   // nothing to draw: the box was empty
//   if (g_WorkDraw.directBlit) {                   // no EndWorkDraw follows a direct blit
//     const WorkDrawState& w = g_WorkDraw;
//     PlatDDSurfaceBltFast(w.blitDestination, w.blitDestinationRect.left,
//                          w.blitDestinationRect.top, w.blitSource, &w.blitSourceRect,
//                          trans ? PLAT_DDBLTFAST_SRCCOLORKEY : PLAT_DDBLTFAST_NOCOLORKEY);
//     return 0;
//   }
//   if (g_WorkDraw.destination && (!piece || g_WorkDraw.source))
//     BlitMemImg(g_WorkDraw.destination, g_WorkDraw.source, x, y, trans, GetBlendMemImg());
//   EndWorkDraw();
//
// The work destination is a view whose (0, 0) is the target's (0, 0), so the cores draw at
// target coordinates and the renderer clips to the draw area as usual; only the pixels of
// the clipped box are copied back, so a core draws nothing outside the box it gave. The
// work source is a view of the whole piece ((0, 0) its top-left). Colours given to
// BeginWorkDraw are packed in the screen's format and come back in the view's. A graph's
// software image drawn into loses its run map and premultiplied copy (EndWorkDraw marks
// them stale; a core drawing straight into g_ScreenState.targetImage must do the same).
#pragma once

#include "engine/base/rect.h"
#include "engine/graphics/surface2d.h"
#include "engine/softimage/memimg.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>

// Makes target (-4 front screen, -2 back screen, else a graph) the draw target's surface,
// image and offset, previous being the target it replaces (the same for a selection
// again). The clipper goes on the primary for the back screen and graphs, off for the
// front screen, where a window shows it (full screen leaves it alone); a temporary primary
// is captured and refreshed by its timer while the front screen is the target. 0, or -1
// with nothing changed for a graph that is not live or has no surface or image, and for a
// screen without its surfaces (after a failed mode change).
int SelectDrawTargetSurface(int32_t target, int32_t previous);
// Forgets the target's surface and images (the screen surfaces and images go); 0.
int ReleaseDrawTargetSurface();

struct WorkDrawState {
  // Offered by BeginWorkDraw instead of a software draw: one BltFast of the source
  // rectangle of blitSource to the top-left of blitDestinationRect on blitDestination.
  int32_t directBlit;
  PlatDDSurface blitSource;
  PlatRect blitSourceRect;
  PlatDDSurface blitDestination;
  PlatRect blitDestinationRect;

  // The software draw. destination is null when there is nothing to draw into (a lock or
  // a copy failed); source is null without a piece, or when its lock failed.
  MEMIMG* destination;
  MEMIMG destinationView;
  int32_t destinationLocked;  // lockedSurface is locked at lockedRect
  int32_t throughWork1;       // the box was copied into work surface 1 and goes back
  int32_t convert;            // the display's format is not the renderer's (5:5:5, others)
  PlatDDSurface lockedSurface;
  PlatRect lockedRect;
  uint8_t* lockedPixels;      // lockedRect's top-left pixel
  int32_t lockedPitch;
  PlatDDSurface targetSurface;  // where the box goes back to
  Rect box;                   // the box clipped to the draw area, target coordinates
  PlatRect boxOnTarget;       // the same box on targetSurface
  const ColorFormat* viewFormat;  // the renderer's format of the views

  MEMIMG* source;
  MEMIMG sourceView;
  int32_t sourceLocked;
  int32_t sourceCopied;       // the piece was copied into work surface 2
  PlatDDSurface sourceLockedSurface;
  PlatRect sourceLockedRect;
};
inline WorkDrawState g_WorkDraw;

// Opens a draw of piece (null for boxes, lines and text) into box (target coordinates) on
// the current target. blitAllowed lets a plain draw of a DirectDraw piece in the same kind
// of memory as the target go as a direct blit of sourceRect (piece coordinates); covers
// says the draw writes every pixel of the box with colours it was given. colour and colour2
// (either may be null) are converted in place when the views are in another format than
// the display's. 0 when the draw goes on (a direct blit, a software draw, or nothing to draw
// after a failed lock: destination null); -1 when the box is empty after clipping, does
// not fit the work surface, or there is no surface to draw on.
int BeginWorkDraw(const Surface2DRecord* piece, int32_t blitAllowed, const Rect* sourceRect,
                  const Rect* box, int32_t covers, uint32_t* colour, uint32_t* colour2);
// Closes the draw: the views go, the box is converted and copied back when it went through
// work surface 1, and the locks are given back; 0. Safe after any BeginWorkDraw result.
int EndWorkDraw();
// A colour packed in the screen's format as the open work draw's destination holds it:
// converted when the box went through work surface 1 on a display the renderer does not
// draw, or when the destination is a software image of another layout; else unchanged.
// BeginWorkDraw converts its two colours this way; a core with more colours converts each.
uint32_t WorkDrawColour(uint32_t colour);
// The blend graph's software image, or null (no blend graph, a texture graph, or no image).
MEMIMG* GetBlendMemImg();
// The outline of the box (right and bottom exclusive) as four lines; DrawLinesCore's result.
int DrawBoxOutlineCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
