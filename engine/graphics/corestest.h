// Test seam of the draw cores: the rectangles a DirectDraw-path core opens its work draw
// with, which decide what it may touch (the pixels alone cannot show a source range).
#pragma once

#include "engine/base/rect.h"

#include <cstdint>

struct WorkDrawOpening {
  int32_t blitAllowed;
  int32_t hasSource;
  Rect source;  // in the piece's pixels, when hasSource
  Rect box;     // in the target's pixels, before the draw area clips it
  int32_t covers;
};

// Calls watch with every opening, before BeginWorkDraw sees it; null stops watching.
void SetWorkDrawWatchForTest(void (*watch)(const WorkDrawOpening*));
