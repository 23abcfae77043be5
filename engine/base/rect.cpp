#include "engine/base/rect.h"

#include <algorithm>

int ClipRect(Rect* a, const Rect* b) {
  if (a->right < a->left) a->right = a->left;
  if (a->bottom < a->top) a->bottom = a->top;
  auto clamp = [](int32_t* edge, int32_t low, int32_t high) {
    if (*edge > high) {
      *edge = high;
    } else if (*edge < low) {
      *edge = low;
    }
  };
  clamp(&a->bottom, b->top, b->bottom);
  clamp(&a->top, b->top, b->bottom);
  clamp(&a->right, b->left, b->right);
  clamp(&a->left, b->left, b->right);
  return 0;
}

int NormalizeRect(Rect* rect) {
  if (rect->left > rect->right) std::swap(rect->left, rect->right);
  if (rect->top > rect->bottom) std::swap(rect->top, rect->bottom);
  return 0;
}

int GetRectSize(const Rect* rect, int32_t* width, int32_t* height) {
  if (width) *width = rect->right - rect->left;
  if (height) *height = rect->bottom - rect->top;
  return 0;
}
