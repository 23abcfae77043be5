// The engine's rectangle: the layout of the Windows rectangle record, with right and
// bottom exclusive, so the width is right - left and the height bottom - top.
#pragma once

#include <cstdint>

struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
