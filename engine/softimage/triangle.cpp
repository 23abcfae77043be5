#include "engine/softimage/triangle.h"

#include "engine/base/rect.h"
#include "engine/base/strutil.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendops.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/blitpixel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

// Positions and texture coordinates are 14.18 fixed point. The set-up (orderings,
// gradients, edge segments) runs once per triangle; the rows are walked by one plain loop
// that hands each clipped span to a span function chosen once per triangle, a template
// per destination family, texel family, operation, blend image, white brightness and
// trans, so the pixel loop tests nothing but the texture bounds and the key or alpha.
//
// Edge positions and steps are 64-bit: two positions 16383 pixels apart differ by more
// than 2^31 units. Texture coordinates wrap in unsigned 32 bits, and every conversion
// from 14.18 to a row or column rounds down, so a triangle clipped at the top or left
// keeps its texture in place and no row is visited twice.

namespace {

constexpr int kFraction = 18;
constexpr int32_t kCoordMin = -8192, kCoordMax = 8191;

// Operations the blend modes map onto.
enum TriangleOp : int {
  TRI_OP_NONE = -1,
  TRI_OP_COPY,     // mode 0, and mode 1 at 255
  TRI_OP_MIX,      // mode 1
  TRI_OP_INVERT,   // mode 10: mix toward the inverted texel
  TRI_OP_MUL_MIX,  // mode 11
  TRI_OP_ADD,      // mode 2
  TRI_OP_SUB,      // mode 3
  TRI_OP_MUL,      // mode 4
};

// Texel families. Raw is what the key is compared with; Colour the texel's colour in the
// destination layout; Alpha the alpha byte of an alpha source.
template <class F>
struct PaletteTexels {
  static constexpr int kBytes = 1;
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = true;
  static uint32_t Raw(const uint8_t* at) { return *at; }
};
template <class F>
struct DirectTexels {
  static constexpr int kBytes = F::kBytes;
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = false;
  static uint32_t Raw(const uint8_t* at) { return F::Load(at); }
};
// 32-bit words: the colour and alpha in byte 3 for the 32-bit family; the R5G6B5 colour
// in the low half and alpha in byte 2 for the 16-bit family.
template <class F>
struct AlphaTexels {
  static constexpr int kBytes = 4;
  static constexpr bool kAlpha = true;
  static constexpr bool kPalette = false;
  static uint32_t Raw(const uint8_t* at) { return PixelFamily32::Load(at); }
  static uint32_t Colour(uint32_t raw) { return F::kBytes == 4 ? raw : raw & 0xFFFF; }
  static uint32_t Alpha(uint32_t raw) { return F::kBytes == 4 ? raw >> 24 : (raw >> 16) & 0xFF; }
};

// Everything a span needs, fixed for the triangle.
struct TriangleJob {
  uint8_t* dst;
  ptrdiff_t dstPitch;
  const uint8_t* src;
  ptrdiff_t srcPitch;
  const uint8_t* blend;
  ptrdiff_t blendPitch;
  uint32_t uLimit, vLimit;  // source width and height in 14.18, compared unsigned
  int32_t refX, refY;       // the reference vertex's pixel
  uint32_t refU, refV;      // and its texture coordinates
  uint32_t ux, uy, vx, vy;  // gradients per column and per row
  uint32_t key;
  const void* palette;
  BlitTables tables;
};

// One pixel. kA: the texel's alpha weighs in (the alpha formula); kBlend: the blend
// weight f does; kWhite: the brightness is white.
template <class F, int kOp, bool kBlend, bool kWhite>
struct PixelMath {
  // A copy of the rows: stores through the pixel pointers must not make the compiler
  // fetch them again.
  BlitTables tab;

  static constexpr bool kIs32 = F::kBytes == 4;

  // The texel after inversion (mode 10) and brightness, channel by channel.
  uint32_t Prep(uint32_t s) const {
    constexpr bool kInvert = kOp == TRI_OP_INVERT;
    if constexpr (kWhite && !kInvert) {
      return s;
    } else {
      return PackChannels<F>([&](auto c) {
        uint32_t v = ChannelOf<F>(s, c);
        if constexpr (kInvert) v = ChannelMax<F>(c) - v;
        if constexpr (!kWhite) v = tab.bright[c][v];
        return v;
      });
    }
  }

  // The weight product and its shift: f, a, or f x a.
  template <bool kA>
  static uint32_t Weight(uint32_t a, uint32_t f) {
    if constexpr (kBlend && kA) {
      return f * a;
    } else if constexpr (kBlend) {
      return f;
    } else {
      return a;
    }
  }
  template <bool kA>
  static constexpr int kWeightShift = 8 * (int(kBlend) + int(kA));

  // Each channel of d moved toward t by k / 2^shift; the fourth byte kept.
  static uint32_t MixAll(uint32_t d, uint32_t t, uint32_t k, int shift) {
    return F::Kept(d) | PackChannels<F>([&](auto c) {
             return LerpChannel(ChannelOf<F>(d, c), ChannelOf<F>(t, c), k, shift);
           });
  }

  // Modes 1, 10 and 11: toward t by the parameter, and by the weights when there are any.
  template <bool kA>
  uint32_t MixByParameter(uint32_t d, uint32_t t, uint32_t a, uint32_t f) const {
    if constexpr (kBlend || kA) {
      return MixAll(d, t, tab.p * Weight<kA>(a, f), kWeightShift<kA> + 8);
    } else if constexpr (kIs32) {
      return MixAll(d, t, tab.p, 8);
    } else {
      return PackChannels<F>([&](auto c) {
        int32_t dc = int32_t(ChannelOf<F>(d, c));
        return uint32_t(dc + tab.diffP[int32_t(ChannelOf<F>(t, c)) - dc]);
      });
    }
  }

  // The source term of the add and subtract.
  template <bool kA>
  uint32_t Term(uint32_t s, uint32_t a, uint32_t f) const {
    if constexpr (!kIs32 && kA && !kBlend) {
      // Alpha scales the texel before the brightness does.
      return PackChannels<F>([&](auto c) {
        uint32_t v = ChannelOf<F>(s, c) * a >> 8;
        if constexpr (!kWhite) v = tab.bright[c][v];
        return tab.mulP[v];
      });
    } else {
      uint32_t x = Prep(s);
      return PackChannels<F>([&](auto c) {
        uint32_t v = ChannelOf<F>(x, c);
        if constexpr (!kBlend && !kA) {
          return tab.mulP[v];
        } else if constexpr (kIs32) {
          return v * tab.p * Weight<kA>(a, f) >> (kWeightShift<kA> + 8);
        } else {
          return tab.mulP[v * Weight<kA>(a, f) >> kWeightShift<kA>];
        }
      });
    }
  }

  // The new destination word for the texel colour s; a and f are 0-255.
  template <bool kA>
  uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t f) const {
    if constexpr (kOp == TRI_OP_COPY) {
      if constexpr (kBlend || kA) {
        return MixAll(d, Prep(s), Weight<kA>(a, f), kWeightShift<kA>);
      } else if constexpr (kWhite) {
        return s;
      } else {
        return F::Kept(d) | Prep(s);
      }
    } else if constexpr (kOp == TRI_OP_MIX || kOp == TRI_OP_INVERT) {
      return MixByParameter<kA>(d, Prep(s), a, f);
    } else if constexpr (kOp == TRI_OP_MUL_MIX) {
      uint32_t x = Prep(s);
      uint32_t m = PackChannels<F>(
          [&](auto c) { return ChannelOf<F>(x, c) * ChannelOf<F>(d, c) >> F::kBits[c]; });
      uint32_t out = MixByParameter<kA>(d, m, a, f);
      if constexpr (!kIs32 && kA && !kBlend && kWhite) {
        // Green keeps five more fraction bits of its product.
        uint32_t dg = ChannelOf<F>(d, 1);
        uint32_t g = LerpChannel(32 * dg, ChannelOf<F>(s, 1) * dg >> 1, a * tab.p, 16) >> 5;
        out = (out & ~(ChannelMax<F>(1) << F::kShift[1])) | g << F::kShift[1];
      }
      return out;
    } else if constexpr (kOp == TRI_OP_ADD) {
      uint32_t q = Term<kA>(s, a, f);
      return kIs32 ? GuardAddScaled32(d, q) : GuardAddScaled16(d, q);
    } else if constexpr (kOp == TRI_OP_SUB) {
      uint32_t q = Term<kA>(s, a, f);
      return kIs32 ? GuardSub32(d, q) : GuardSub16(d, q);
    } else {
      static_assert(kOp == TRI_OP_MUL);
      uint32_t x = Prep(s);
      uint32_t w = 1;
      int shift = 0;
      if constexpr (kBlend || kA) {
        w = Weight<kA>(a, f);
        shift = kWeightShift<kA>;
      }
      return F::Kept(d) | PackChannels<F>([&](auto c) {
               return ChannelOf<F>(x, c) * ChannelOf<F>(d, c) * w >> (F::kBits[c] + shift);
             });
    }
  }
};

// One span: texture coordinates from the reference vertex, then pixel by pixel.
template <class F, class S, int kOp, bool kBlend, bool kWhite, bool kTrans>
void DrawSpan(const TriangleJob& j, int32_t row, int32_t first, int32_t count) {
  // Alpha 0 under trans skips in the modes that mix or add (and in mode 10 on 16 bits);
  // modes 4 and 11 take it as a weight.
  constexpr bool kSkipsClear = kOp == TRI_OP_COPY || kOp == TRI_OP_MIX || kOp == TRI_OP_ADD ||
                               kOp == TRI_OP_SUB || (F::kBytes == 2 && kOp == TRI_OP_INVERT);
  const PixelMath<F, kOp, kBlend, kWhite> math{j.tables};
  const uint8_t* const src = j.src;
  const ptrdiff_t srcPitch = j.srcPitch;
  const uint8_t* const blend = j.blend;
  const ptrdiff_t blendPitch = j.blendPitch;
  const uint32_t uLimit = j.uLimit, vLimit = j.vLimit, ux = j.ux, vx = j.vx, key = j.key;
  const auto* palette =
      static_cast<const std::conditional_t<F::kBytes == 4, uint32_t, uint16_t>*>(j.palette);

  uint32_t u = j.refU + uint32_t(first - j.refX) * j.ux + uint32_t(row - j.refY) * j.uy;
  uint32_t v = j.refV + uint32_t(first - j.refX) * j.vx + uint32_t(row - j.refY) * j.vy;
  uint8_t* d = j.dst + row * j.dstPitch + ptrdiff_t(first) * F::kBytes;
  for (int32_t i = 0; i < count; i++, u += ux, v += vx, d += F::kBytes) {
    if (u >= uLimit || v >= vLimit) continue;
    const size_t column = u >> kFraction, line = v >> kFraction;
    const uint32_t raw = S::Raw(src + ptrdiff_t(line) * srcPitch + column * S::kBytes);
    uint32_t f = 0;
    if constexpr (kBlend) f = BlendGraphCurve[blend[ptrdiff_t(line) * blendPitch + column]];
    if constexpr (S::kAlpha) {
      const uint32_t a = S::Alpha(raw), s = S::Colour(raw);
      if constexpr (kTrans) {
        if (a == 255) {
          F::Store(d, math.template Apply<false>(F::Load(d), s, 255, f));
          continue;
        }
        if (kSkipsClear && a == 0) continue;
      }
      F::Store(d, math.template Apply<true>(F::Load(d), s, a, f));
    } else {
      if (kTrans && raw == key) continue;
      const uint32_t s = S::kPalette ? uint32_t(palette[raw]) : raw;
      F::Store(d, math.template Apply<false>(F::Load(d), s, 0, f));
    }
  }
}

using SpanFn = void (*)(const TriangleJob&, int32_t row, int32_t first, int32_t count);

template <class F, class S, int kOp>
SpanFn PickSpan(bool blend, bool white, bool trans) {
  static constexpr SpanFn kSpans[8] = {
      DrawSpan<F, S, kOp, false, false, false>, DrawSpan<F, S, kOp, false, false, true>,
      DrawSpan<F, S, kOp, false, true, false>,  DrawSpan<F, S, kOp, false, true, true>,
      DrawSpan<F, S, kOp, true, false, false>,  DrawSpan<F, S, kOp, true, false, true>,
      DrawSpan<F, S, kOp, true, true, false>,   DrawSpan<F, S, kOp, true, true, true>,
  };
  return kSpans[(blend ? 4 : 0) + (white ? 2 : 0) + (trans ? 1 : 0)];
}

// Indexed by TriangleOp.
template <class F, class S>
SpanFn PickOp(int op, bool blend, bool white, bool trans) {
  using Picker = SpanFn (*)(bool, bool, bool);
  static constexpr Picker kOps[] = {
      PickSpan<F, S, TRI_OP_COPY>,    PickSpan<F, S, TRI_OP_MIX>, PickSpan<F, S, TRI_OP_INVERT>,
      PickSpan<F, S, TRI_OP_MUL_MIX>, PickSpan<F, S, TRI_OP_ADD>, PickSpan<F, S, TRI_OP_SUB>,
      PickSpan<F, S, TRI_OP_MUL>,
  };
  return op >= 0 && op <= TRI_OP_MUL ? kOps[op](blend, white, trans) : nullptr;
}

template <class F>
SpanFn PickTexels(bool palette, bool alpha, int op, bool blend, bool white, bool trans) {
  if (palette) return PickOp<F, PaletteTexels<F>>(op, blend, white, trans);
  if (alpha) return PickOp<F, AlphaTexels<F>>(op, blend, white, trans);
  return PickOp<F, DirectTexels<F>>(op, blend, white, trans);
}

// The operation of a mode and parameter, with the parameter shortcuts. A paletted source
// makes no test of mode 3 at 0: it subtracts a source term of 0.
int ChooseOp(uint32_t mode, uint32_t p, bool palette) {
  switch (mode) {
    case 0:
      return TRI_OP_COPY;
    case 1:
      return p == 0 ? TRI_OP_NONE : p == 255 ? TRI_OP_COPY : TRI_OP_MIX;
    case 2:
      return p == 0 ? TRI_OP_NONE : TRI_OP_ADD;
    case 3:
      return p == 0 && !palette ? TRI_OP_NONE : TRI_OP_SUB;
    case 4:
      return TRI_OP_MUL;
    case 10:
      return TRI_OP_INVERT;
    case 11:
      return TRI_OP_MUL_MIX;
    default:
      return TRI_OP_NONE;
  }
}

// A vertex in 14.18: positions at the centre of their pixel, texture coordinates at the
// corner of their texel.
struct FixedVertex {
  int32_t x, y, u, v;
};

// The exchange sort of the three indices by key: equal keys keep their order.
void SortIndices(const int32_t key[3], int order[3]) {
  order[0] = 0, order[1] = 1, order[2] = 2;
  for (int i = 0; i < 2; i++) {
    for (int k = i + 1; k < 3; k++) {
      if (key[order[i]] > key[order[k]]) std::swap(order[i], order[k]);
    }
  }
}

// One edge segment: start x (14.18), step of x per row, rows, and start row.
struct Segment {
  int64_t x;
  int64_t step;
  int32_t rows;
  int32_t row;
};
struct Side {
  Segment segments[2];
  int count;
};

// The segment from p to q, which lies at least one row below; start x may differ from p's.
Segment MakeSegment(const FixedVertex& p, const FixedVertex& q, int64_t startX) {
  int32_t rows = int32_t((int64_t(q.y) - p.y) >> kFraction);
  return {startX, (int64_t(q.x) - startX) / rows, rows, p.y >> kFraction};
}

// The two sides of the triangle from its top, middle and bottom vertex.
void MakeSides(const FixedVertex& t, const FixedVertex& m, const FixedVertex& b, Side* left,
               Side* right) {
  if (t.y == m.y) {
    const FixedVertex& rightTop = m.x > t.x ? m : t;
    const FixedVertex& leftTop = m.x > t.x ? t : m;
    *left = {{MakeSegment(leftTop, b, leftTop.x)}, 1};
    *right = {{MakeSegment(rightTop, b, rightTop.x)}, 1};
    return;
  }
  if (m.y == b.y) {
    const FixedVertex& rightBottom = b.x > m.x ? b : m;
    const FixedVertex& leftBottom = b.x > m.x ? m : b;
    *left = {{MakeSegment(t, leftBottom, t.x)}, 1};
    *right = {{MakeSegment(t, rightBottom, t.x)}, 1};
    return;
  }
  // Which side of the long edge the middle vertex lies on: the slopes compared exactly,
  // in whole pixels (the row differences are positive).
  int64_t longDx = (int64_t(b.x) - t.x) >> kFraction, longDy = (int64_t(b.y) - t.y) >> kFraction;
  int64_t shortDx = (int64_t(m.x) - t.x) >> kFraction, shortDy = (int64_t(m.y) - t.y) >> kFraction;
  if (longDx * shortDy > shortDx * longDy) {
    *left = {{MakeSegment(t, m, t.x), MakeSegment(m, b, m.x)}, 2};
    *right = {{MakeSegment(t, b, t.x)}, 1};
  } else {
    // The right side's second segment starts one unit right of the middle vertex.
    *left = {{MakeSegment(t, b, t.x)}, 1};
    *right = {{MakeSegment(t, m, t.x), MakeSegment(m, b, int64_t(m.x) + 1)}, 2};
  }
}

// Walks the rows from the top of the left side, handing each span clipped to area to span.
void WalkRows(const Side& left, const Side& right, const Rect& area, const TriangleJob& job,
              SpanFn span) {
  int li = 0, ri = 0;
  Segment l = left.segments[0], r = right.segments[0];
  int32_t row = l.row;
  for (;;) {
    if (row >= area.bottom) return;
    if (row >= area.top) {
      int64_t first = std::max<int64_t>(l.x >> kFraction, area.left);
      int64_t last = std::min<int64_t>(r.x >> kFraction, int64_t(area.right) - 1);
      if (first <= last) span(job, row, int32_t(first), int32_t(last - first + 1));
    }
    l.x += l.step;
    r.x += r.step;
    row++;
    if (--l.rows == 0) {
      if (++li == left.count) return;
      l = left.segments[li];
      row = l.row;
    }
    if (--r.rows == 0) {
      if (++ri == right.count) return;
      r = right.segments[ri];
    }
  }
}

bool InRange(int32_t value) { return value >= kCoordMin && value <= kCoordMax; }

}  // namespace

void DrawMemImgTriangle(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices,
                        int32_t trans, const MEMIMG* blendImage, uint32_t colour) {
  (void)colour;
  if (!IsMemImgValid(dst) || !IsMemImgValid(src) || !vertices) return;
  const MemImgData* dd = dst->data;
  const MemImgData* sd = src->data;
  if (sd->kind != dd->kind || dd->paletteFlag || dd->alphaFlag) return;
  if (dd->kind != MEMIMG_KIND_RGB565 && dd->kind != MEMIMG_KIND_XRGB8888) return;
  if (sd->paletteFlag && !sd->palette) return;
  if (blendImage) {
    if (!IsMemImgValid(blendImage) || blendImage->data->kind != MEMIMG_KIND_GRAY8) return;
    if (blendImage->width < src->width || blendImage->height < src->height) return;
  }
  for (int i = 0; i < 3; i++) {
    const TriangleVertex& c = vertices[i];
    if (!InRange(c.x) || !InRange(c.y) || !InRange(c.u) || !InRange(c.v)) return;
  }

  const bool palette = sd->paletteFlag != 0;
  const uint32_t mode = uint32_t(g_DrawState.blendMode);
  const uint32_t p = uint32_t(std::clamp(g_DrawState.blendParam, 0, 255));
  const int op = ChooseOp(mode, p, palette);
  if (op == TRI_OP_NONE) return;

  Rect area = g_DrawState.drawArea;
  Rect bounds = {0, 0, dst->width, dst->height};
  ClipRect(&area, &bounds);
  if (area.left >= area.right || area.top >= area.bottom) return;

  FixedVertex fv[3];
  int32_t keyX[3], keyY[3];
  for (int i = 0; i < 3; i++) {
    const TriangleVertex& c = vertices[i];
    fv[i] = {int32_t(uint32_t(c.x) << kFraction) + (1 << (kFraction - 1)),
             int32_t(uint32_t(c.y) << kFraction) + (1 << (kFraction - 1)),
             int32_t(uint32_t(c.u) << kFraction), int32_t(uint32_t(c.v) << kFraction)};
    keyX[i] = fv[i].x;
    keyY[i] = fv[i].y;
  }
  int byX[3], byY[3];
  SortIndices(keyX, byX);
  SortIndices(keyY, byY);

  // Area and gradients relative to the leftmost vertex, in whole pixels and texels.
  const TriangleVertex& r0 = vertices[byX[0]];
  const TriangleVertex& r1 = vertices[byX[1]];
  const TriangleVertex& r2 = vertices[byX[2]];
  const int32_t ax = r1.x - r0.x, ay = r1.y - r0.y, au = r1.u - r0.u, av = r1.v - r0.v;
  const int32_t bx = r2.x - r0.x, by = r2.y - r0.y, bu = r2.u - r0.u, bv = r2.v - r0.v;
  const int32_t area2 = ay * bx - by * ax;
  if (area2 == 0) return;
  auto gradient = [area2](int32_t numerator) {
    return uint32_t(DoubleToInt(double(numerator) * 262144.0 / double(area2)));
  };

  TriangleJob job{};
  job.ux = gradient(ay * bu - by * au);
  job.uy = gradient(au * bx - ax * bu);
  job.vx = gradient(ay * bv - av * by);
  job.vy = gradient(av * bx - bv * ax);
  job.refX = r0.x;
  job.refY = r0.y;
  job.refU = uint32_t(fv[byX[0]].u);
  job.refV = uint32_t(fv[byX[0]].v);

  Side left, right;
  MakeSides(fv[byY[0]], fv[byY[1]], fv[byY[2]], &left, &right);

  const bool white = g_DrawState.brightBlue == 255 && g_DrawState.brightGreen == 255 &&
                     g_DrawState.brightRed == 255;
  const bool alpha = !palette && sd->alphaFlag != 0;
  const bool kind32 = dd->kind == MEMIMG_KIND_XRGB8888;
  const bool blend = blendImage != nullptr, keyed = trans != 0;
  SpanFn span = kind32 ? PickTexels<PixelFamily32>(palette, alpha, op, blend, white, keyed)
                       : PickTexels<PixelFamily16>(palette, alpha, op, blend, white, keyed);
  if (!span) return;

  job.dst = dst->pixels;
  job.dstPitch = dd->pitch;
  job.src = src->pixels;
  job.srcPitch = sd->pitch;
  if (blendImage) {
    job.blend = blendImage->pixels;
    job.blendPitch = blendImage->data->pitch;
  }
  // Coordinates are signed 14.18 values, so no texel at or past column 8192 can be
  // addressed; the bound stops there rather than wrap past 32 bits.
  job.uLimit = uint32_t(std::min(src->width, 8192)) << kFraction;
  job.vLimit = uint32_t(std::min(src->height, 8192)) << kFraction;
  job.key = sd->transparentColor;
  job.palette = sd->palette;
  job.tables = MakeBlitTables(int32_t(p), g_DrawState.brightBlue, g_DrawState.brightGreen,
                              g_DrawState.brightRed);

  WalkRows(left, right, area, job, span);
}
