// The mask screen: drawing confined to the pixels a per-pixel mask allows. It keeps one
// mask byte per screen pixel and a work copy of the screen (a software image while the
// screen is software-rendered, a DirectDraw surface otherwise). A draw entry point that
// draws while masked drawing is on brackets its draw over the rectangle it touches:
//
//   if (IsMaskedDrawOn()) BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
//   ... the draw, as usual ...
//   if (IsMaskedDrawOn()) EndMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
//
// Begin saves the rectangle of the draw target into the work copy; End puts the saved
// pixels back wherever the mask does not allow drawing. Nothing in the engine makes the
// mask wanted, so masked drawing stays off unless a test turns it on
// (engine/graphics/maskscreentest.h).
//
// The same file removes the records of the 512-slot table of handle type 0x40000000.
#pragma once

#include "engine/softimage/memimg.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>

struct GraphImage;

// With made non-zero: makes the mask (cleared to 0) and the work copy of the screen's
// size that are not there yet; nothing for 0. 0, or -1 with a log line when the mask's
// memory cannot be had (nothing is made). A work copy that cannot be made ends the
// process.
int BuildMaskScreen(int32_t made);
// Frees the mask and the work copy; 0.
int ReleaseMaskScreen();
// Switches the mask on or off (the use flag); masked drawing is on while the mask is
// wanted and switched on. Sets the draw target's origin, and the 3D render target and
// viewport, to match. -1 (nothing changes) while there is no mask; -1 with a log line
// when the viewport is refused; else 0.
int SwitchMaskScreen(int32_t flag);
// Makes the mask again after the display objects were rebuilt, and switches it back on
// when it was; 0.
int RecreateMaskScreen();
// Switches the mask off and releases it for good (the graph manager's end); 0.
int EndMaskScreen();
// The mask flags as a draw-state reset leaves them: switched on, masked drawing off.
void ResetMaskScreenFlags();

// The use flag; whether the mask is wanted (made); masked drawing on (made and switched
// on); the work surface and whether it lies in video memory; the work software image
// (live only while the screen is software-rendered and the mask is built).
int IsMaskScreenEnabled();
int IsMaskScreenMade();
int IsMaskedDrawOn();
PlatDDSurface GetMaskSurface();
int IsMaskSurfaceInVideoMemory();
MEMIMG* GetMaskMemImg();

// The bracket of a masked draw over the rectangle (x1, y1)-(x2, y2) of the draw target
// (right and bottom exclusive), on the current target's software image when it has a live
// one, else on its surface; 0.
int BeginMaskedDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int EndMaskedDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// The two halves on a given target: a surface, or memory described by a picture (the
// other one 0 / null). Save copies the rectangle, clipped to the draw area, into the work
// copy at the same place; Restore (only while masked drawing is on) puts the work copy
// back wherever the mask does not allow drawing. 0.
int SaveMaskedRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, PlatDDSurface targetSurface,
                   const GraphImage* targetImage);
int RestoreOutsideMask(int32_t x1, int32_t y1, int32_t x2, int32_t y2, PlatDDSurface targetSurface,
                       const GraphImage* targetImage);

// Removes a record of the type-0x40000000 table (its buffer freed); 0, or -1 for a handle
// that is not a live record of that table.
int DeleteType40Handle(int32_t handle);
// Removes every record of that table; 0.
int DeleteAllType40Handles();
