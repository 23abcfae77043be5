#include "engine/softimage/boxline.h"

#include "engine/base/strutil.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/blitpixel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

// Both primitives draw one colour, so the brightness is applied to it once up front and
// every pixel goes through the blit's white-brightness operation without factors. Only the
// general forms are used: no average, no 6-bit mix table, no per-byte saturation, and the
// add is always the scaled form (at 255 it puts the low green and red bits back, which
// the blit's unscaled form does not).

namespace {

// The draw area, kept inside the destination whatever the draw state says.
Rect AreaInside(const MEMIMG* dst) {
  Rect area = g_DrawState.drawArea;
  Rect bounds = {0, 0, dst->width, dst->height};
  ClipRect(&area, &bounds);
  return area;
}

int32_t BlendParam() { return std::clamp(g_DrawState.blendParam, 0, 255); }

// The operation of the current mode, or BLIT_OP_NONE when nothing is drawn.
int ChooseOp(int32_t mode, int32_t p) {
  switch (mode) {
    case BLEND_COPY:
      return BLIT_OP_COPY;
    case BLEND_MIX:
      return p == 0 ? BLIT_OP_NONE : p == 255 ? BLIT_OP_COPY : BLIT_OP_MIX;
    case BLEND_ADD:
      return p == 0 ? BLIT_OP_NONE : BLIT_OP_ADD;
    case BLEND_SUBTRACT:
      return p == 0 ? BLIT_OP_NONE : BLIT_OP_SUB;
    case BLEND_MULTIPLY:
      return BLIT_OP_MUL;
    case BLEND_INVERT:
      return BLIT_OP_INVERT;
    case BLEND_MULTIPLY_MIX:
      return BLIT_OP_MUL_MIX;
    default:
      return BLIT_OP_NONE;
  }
}

// The colour scaled by the brightness, each channel by bright / 256 rounded down in its own
// field; byte 3 of a 32-bit colour is kept. White leaves the colour as given.
template <class F>
uint32_t TintColour(uint32_t colour) {
  const uint32_t bright[3] = {g_DrawState.brightBlue, g_DrawState.brightGreen,
                              g_DrawState.brightRed};
  if (bright[0] == 255 && bright[1] == 255 && bright[2] == 255) return colour;
  const uint32_t kept = F::kBytes == 4 ? colour & 0xFF000000 : 0;
  return kept | PackChannels<F>([&](auto c) { return ChannelOf<F>(colour, c) * bright[c] >> 8; });
}

// Calls fn(family, op) with both as compile-time types, for the destination's kind.
template <class F, class Fn>
void WithOp(int op, Fn&& fn) {
  auto call = [&](auto k) { fn(F{}, k); };
  switch (op) {
    case BLIT_OP_COPY:
      return call(std::integral_constant<int, BLIT_OP_COPY>{});
    case BLIT_OP_MIX:
      return call(std::integral_constant<int, BLIT_OP_MIX>{});
    case BLIT_OP_ADD:
      return call(std::integral_constant<int, BLIT_OP_ADD>{});
    case BLIT_OP_SUB:
      return call(std::integral_constant<int, BLIT_OP_SUB>{});
    case BLIT_OP_MUL:
      return call(std::integral_constant<int, BLIT_OP_MUL>{});
    case BLIT_OP_INVERT:
      return call(std::integral_constant<int, BLIT_OP_INVERT>{});
    case BLIT_OP_MUL_MIX:
      return call(std::integral_constant<int, BLIT_OP_MUL_MIX>{});
    default:
      return;
  }
}
template <class Fn>
void WithFamilyAndOp(int32_t kind, int op, Fn&& fn) {
  if (kind == MEMIMG_KIND_XRGB8888) {
    WithOp<PixelFamily32>(op, fn);
  } else {
    WithOp<PixelFamily16>(op, fn);
  }
}

// One row of the plain copy: 32 bytes per step (two 16-byte stores), then 8, then single
// pixels. A 16-bit colour fills both halves of every word.
template <class F>
void CopyRow(uint8_t* at, int32_t width, uint32_t colour) {
  const uint64_t word = F::kBytes == 4 ? uint64_t(colour) * 0x0000000100000001ull
                                       : uint64_t(colour & 0xFFFF) * 0x0001000100010001ull;
  const uint64_t block[4] = {word, word, word, word};
  const size_t bytes = size_t(width) * F::kBytes;
  size_t i = 0;
  for (; i + 32 <= bytes; i += 32) std::memcpy(at + i, block, 32);
  for (; i + 8 <= bytes; i += 8) std::memcpy(at + i, &word, 8);
  for (; i < bytes; i += F::kBytes) std::memcpy(at + i, &word, F::kBytes);
}

template <class F, int kOp>
void FillRows(uint8_t* first, ptrdiff_t pitch, int32_t width, int32_t height, uint32_t colour,
              const BlitTables& tab) {
  if constexpr (kOp == BLIT_OP_COPY) {
    (void)tab;
    for (int32_t row = 0; row < height; row++) CopyRow<F>(first + row * pitch, width, colour);
  } else {
    const BlitPixelOp<F, kOp, false, false, true> op{tab};
    for (int32_t row = 0; row < height; row++) {
      uint8_t* at = first + row * pitch;
      for (int32_t i = 0; i < width; i++, at += F::kBytes) op(at, colour, 0, 0);
    }
  }
}

// The walk: majorSpan pixels, one major step after each, and a minor step whenever the
// error reaches majorSpan. Offsets stay integers until a pixel is drawn, so the step past
// the last pixel never forms a pointer outside the image.
template <class F, int kOp>
void WalkLine(uint8_t* pixels, ptrdiff_t start, ptrdiff_t majorStep, ptrdiff_t minorStep,
              int32_t majorSpan, int32_t minorSpan, uint32_t colour, const BlitTables& tab) {
  const BlitPixelOp<F, kOp, false, false, true> op{tab};
  ptrdiff_t offset = start;
  int32_t error = 0;
  for (int32_t i = 0; i < majorSpan; i++) {
    op(pixels + offset, colour, 0, 0);
    offset += majorStep;
    error += minorSpan;
    if (error >= majorSpan) {
      offset += minorStep;
      error -= majorSpan;
    }
  }
}

// Whether any pixel of the walk from (x1, y1) toward (x2, y2), taken unclipped, lies in
// the area (non-empty). Pixel i of the walk sits at major + i and minor +
// floor(i x minorSpan / majorSpan) (in the directions of travel); the minor coordinate
// moves by at most one per pixel, so over the pixels whose major coordinate is inside, it
// covers every value between its first and last.
bool WalkMeetsArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const Rect& area) {
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t m0 = xMajor ? x1 : y1, n0 = xMajor ? y1 : x1;
  const int64_t mDelta = xMajor ? dx : dy, nDelta = xMajor ? dy : dx;
  const int64_t mLo = xMajor ? area.left : area.top, mHi = (xMajor ? area.right : area.bottom) - 1;
  const int64_t nLo = xMajor ? area.top : area.left, nHi = (xMajor ? area.bottom : area.right) - 1;
  const uint64_t len = uint64_t(mDelta < 0 ? -mDelta : mDelta);
  const uint64_t nLen = uint64_t(nDelta < 0 ? -nDelta : nDelta);
  if (len == 0) return false;

  int64_t first = mDelta > 0 ? mLo - m0 : m0 - mHi;
  int64_t last = mDelta > 0 ? mHi - m0 : m0 - mLo;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, int64_t(len) - 1);
  if (first > last) return false;
  // i < 2^32 and nLen < 2^32: the product fits in 64 unsigned bits.
  auto minorAt = [&](int64_t i) {
    int64_t moved = int64_t(uint64_t(i) * nLen / len);
    return nDelta < 0 ? n0 - moved : n0 + moved;
  };
  const int64_t a = minorAt(first), b = minorAt(last);
  return std::max(a, b) >= nLo && std::min(a, b) <= nHi;
}

}  // namespace

void FillMemImgBox(MEMIMG* dst, const Rect* rect, uint32_t colour) {
  if (!IsMemImgValid(dst)) return;
  const MemImgData* d = dst->data;
  if (d->paletteFlag || d->alphaFlag) return;
  Rect r = {0, 0, dst->width, dst->height};
  if (rect) {
    r = *rect;
    NormalizeRect(&r);
  }
  Rect area = AreaInside(dst);
  ClipRect(&r, &area);
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;
  if (d->kind != MEMIMG_KIND_RGB565 && d->kind != MEMIMG_KIND_XRGB8888) return;
  const int32_t p = BlendParam();
  const int op = ChooseOp(g_DrawState.blendMode, p);
  if (op == BLIT_OP_NONE) return;

  const BlitTables tab = MakeBlitTables(p, 255, 255, 255);
  const ptrdiff_t pitch = d->pitch;
  uint8_t* first = dst->pixels + r.top * pitch + ptrdiff_t(r.left) * d->format->bytesPerPixel;
  WithFamilyAndOp(d->kind, op, [&](auto family, auto k) {
    using F = decltype(family);
    FillRows<F, decltype(k)::value>(first, pitch, width, height, TintColour<F>(colour), tab);
  });
}

void DrawMemImgLine(MEMIMG* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint32_t colour) {
  if (!IsMemImgValid(dst)) return;
  const MemImgData* d = dst->data;
  if (d->paletteFlag) return;
  if (d->kind != MEMIMG_KIND_RGB565 && d->kind != MEMIMG_KIND_XRGB8888) return;
  const int32_t p = BlendParam();
  const int op = ChooseOp(g_DrawState.blendMode, p);
  if (op == BLIT_OP_NONE) return;

  const Rect area = AreaInside(dst);
  const int32_t L = area.left, T = area.top, R = area.right, B = area.bottom;
  if (R <= L || B <= T) return;
  if (std::min(x1, x2) >= R || std::min(y1, y2) >= B || std::max(x1, x2) < L ||
      std::max(y1, y2) < T) {
    return;
  }
  // A segment can pass the bounding-box test and still miss the area beside one of its
  // corners; clipping it would pull its start onto that corner and draw a pixel that is
  // not on the line.
  if (!WalkMeetsArea(x1, y1, x2, y2, area)) return;

  // The line's equations from the unclipped ends; the differences are taken in double so
  // that far-apart ends cannot overflow.
  const double kx = y1 == y2 ? 0.0 : (double(x2) - double(x1)) / (double(y2) - double(y1));
  const double ky = x1 == x2 ? 0.0 : (double(y2) - double(y1)) / (double(x2) - double(x1));
  const double bx = x1 - kx * y1, by = y1 - ky * x1;
  auto xAt = [&](int32_t y) { return DoubleToInt(kx * y + bx); };
  auto yAt = [&](int32_t x) { return DoubleToInt(ky * x + by); };

  // The start is pulled inside the area; the end, never drawn, may stay one step outside.
  if (x1 < L) {
    x1 = L;
    y1 = yAt(L);
  } else if (x1 >= R) {
    x1 = R - 1;
    y1 = yAt(R - 1);
  }
  if (x2 < L) {
    x2 = L - 1;
    y2 = yAt(L - 1);
  } else if (x2 >= R) {
    x2 = R;
    y2 = yAt(R);
  }
  if (y1 < T) {
    y1 = T;
    x1 = xAt(T);
  } else if (y1 >= B) {
    y1 = B - 1;
    x1 = xAt(B - 1);
  }
  if (y2 < T) {
    y2 = T - 1;
    x2 = xAt(T - 1);
  } else if (y2 >= B) {
    y2 = B;
    x2 = xAt(B);
  }
  x1 = std::clamp(x1, L, R - 1);
  x2 = std::clamp(x2, L - 1, R);
  y1 = std::clamp(y1, T, B - 1);
  y2 = std::clamp(y2, T - 1, B);

  int32_t xspan = x2 - x1, yspan = y2 - y1;
  if (xspan == 0 && yspan == 0) return;
  const int32_t xdir = xspan < 0 ? -1 : 1, ydir = yspan < 0 ? -1 : 1;
  xspan = xspan < 0 ? -xspan : xspan;
  yspan = yspan < 0 ? -yspan : yspan;

  // An alpha image keeps its own pixel size: the 16-bit colour lands in the low half of a
  // kind-0 pixel, leaving the alpha byte alone.
  const ptrdiff_t bytes = d->format->bytesPerPixel, pitch = d->pitch;
  const ptrdiff_t xstep = xdir * bytes, ystep = ydir * pitch;
  const ptrdiff_t start = y1 * pitch + x1 * bytes;
  const BlitTables tab = MakeBlitTables(p, 255, 255, 255);
  WithFamilyAndOp(d->kind, op, [&](auto family, auto k) {
    using F = decltype(family);
    constexpr int kOp = decltype(k)::value;
    const uint32_t s = TintColour<F>(colour);
    if (xspan >= yspan) {
      WalkLine<F, kOp>(dst->pixels, start, xstep, ystep, xspan, yspan, s, tab);
    } else {
      WalkLine<F, kOp>(dst->pixels, start, ystep, xstep, yspan, xspan, s, tab);
    }
  });
}

void DrawMemImgLines(MEMIMG* dst, const LineRecord* lines, int32_t count) {
  if (!lines) return;
  for (int32_t i = 0; i < count; i++) {
    DrawMemImgLine(dst, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].colour);
  }
}
