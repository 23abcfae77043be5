#include "engine/softimage/scaledblit.h"

#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendops.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/blit.h"
#include "engine/softimage/blitpixel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

// Each combination of pixel family, source kind, operation, blend image, white
// brightness and trans has a walk of its own, chosen once per call. The arithmetic is
// the scaled blit's own: it shares the tables and the guard-bit recipes with the plain
// blit but not its fast forms (averages, the 6-bit mix, the unscaled add, pairs), and in
// 16 bits it applies an alpha factor of the add and subtract before the brightness.
//
// The columns a row samples are walked once per call into a table that every row then
// reads; the rows are walked as they are drawn. All geometry is 64-bit: a side of
// 2^32 - 1 pixels still has a step of its own.

namespace {

// The largest source side: past it a 16.16 step can no longer keep every sampled pixel
// inside the source.
constexpr int32_t kMaxSourceSide = 65535;

enum ScaledOp : int {
  SCALED_NONE = -1,
  SCALED_COPY,       // mode 0, and mode 1 at 255
  SCALED_MIX,        // mode 1
  SCALED_INVERT,     // mode 10
  SCALED_MUL_MIX,    // mode 11
  SCALED_ADD,        // mode 2
  SCALED_SUB,        // mode 3 with a scaled source
  SCALED_SUB_RAW,    // mode 3 at 255 on the raw pixel, guard-bit form
  SCALED_SUB_BYTES,  // the same with the per-byte saturating (MMX) form, 32-bit only
  SCALED_MUL,        // mode 4
};

// One destination pixel of one operation. kF: the blend-image factor f applies; kA: the
// alpha factor a applies; kWhite: the brightness is white. Factors arrive as 0-255; s is
// the source pixel (a palette entry already looked up, the colour half of a 16-bit alpha
// pixel).
template <class F, int kOp, bool kF, bool kA, bool kWhite>
struct ScaledPixelOp {
  BlitTables tab;

  // The whole-pixel copy and the raw subtract stop moving the source on once an
  // accumulator reaches 0; every other routine moves it on past 0 (see Advance).
  static constexpr bool kExactHit =
      kWhite && !kF && !kA &&
      (kOp == SCALED_COPY || kOp == SCALED_SUB_RAW || kOp == SCALED_SUB_BYTES);
  static constexpr int kFactorCount = int(kF) + int(kA);
  // The result is the source's alone.
  static constexpr bool kIgnoresDestination =
      kOp == SCALED_COPY && kFactorCount == 0 && (kWhite || F::kBytes == 2);

  // The product of the factors present among f and a.
  static uint32_t Weight(uint32_t a, uint32_t f) { return (kF ? f : 1u) * (kA ? a : 1u); }

  // Channel c of the source after brightness; mode 10 inverts before it.
  template <int c>
  uint32_t Lit(uint32_t s) const {
    uint32_t v = ChannelOf<F>(s, c);
    if constexpr (kOp == SCALED_INVERT) v = ChannelMax<F>(c) - v;
    if constexpr (kWhite) {
      return v;
    } else {
      return tab.bright[c][v];
    }
  }

  // Channel c of the destination moved toward t by the parameter and the factors.
  template <int c>
  uint32_t Toward(uint32_t dc, uint32_t t, uint32_t a, uint32_t f) const {
    if constexpr (kFactorCount > 0) {
      return LerpChannel(dc, t, tab.p * Weight(a, f), 8 * (kFactorCount + 1));
    } else if constexpr (F::kBytes == 4) {
      return LerpChannel(dc, t, tab.p, 8);
    } else {
      return uint32_t(int32_t(dc) + tab.diffP[int32_t(t) - int32_t(dc)]);
    }
  }

  // Channel c of the source as the add and subtract take it.
  template <int c>
  uint32_t Scaled(uint32_t s, uint32_t a, uint32_t f) const {
    if constexpr (kFactorCount == 0) {
      return tab.mulP[Lit<c>(s)];
    } else if constexpr (F::kBytes == 4) {
      return Lit<c>(s) * Weight(a, f) * tab.p >> 8 * (kFactorCount + 1);
    } else if constexpr (kA && !kF) {
      // The 16-bit source with alpha alone is weighted before the brightness.
      uint32_t v = ChannelOf<F>(s, c) * a >> 8;
      if constexpr (!kWhite) v = tab.bright[c][v];
      return tab.mulP[v];
    } else {
      return tab.mulP[Lit<c>(s) * Weight(a, f) >> 8 * kFactorCount];
    }
  }

  uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t f) const {
    constexpr bool k32 = F::kBytes == 4;
    if constexpr (kOp == SCALED_COPY && kFactorCount == 0 && kWhite) {
      return s;
    } else if constexpr (kOp == SCALED_ADD || kOp == SCALED_SUB) {
      uint32_t sp = PackChannels<F>([&](auto c) { return Scaled<c>(s, a, f); });
      if constexpr (kOp == SCALED_ADD) {
        return k32 ? GuardAddScaled32(d, sp) : GuardAddScaled16(d, sp);
      } else {
        return k32 ? GuardSub32(d, sp) : GuardSub16(d, sp);
      }
    } else if constexpr (kOp == SCALED_SUB_RAW) {
      return k32 ? GuardSub32(d, s) : GuardSub16(d, s);
    } else if constexpr (kOp == SCALED_SUB_BYTES) {
      return SaturateSubBytes32(d, s);
    } else if constexpr (k32 && kFactorCount == 0 && (kOp == SCALED_MIX || kOp == SCALED_INVERT)) {
      // The mix by the parameter alone: red and blue share one multiply.
      uint32_t x = kWhite ? s : PackChannels<F>([&](auto c) { return Lit<c>(s); });
      if constexpr (kWhite && kOp == SCALED_INVERT) x = ~s;
      return F::Kept(d) | Lerp32(d, x, tab.p);
    } else {
      // Channel by channel; byte 3 of a 32-bit destination is kept.
      return F::Kept(d) | PackChannels<F>([&](auto c) {
               uint32_t x = Lit<c>(s), dc = ChannelOf<F>(d, c);
               constexpr int kBits = F::kBits[c];
               if constexpr (kOp == SCALED_COPY) {
                 return kFactorCount == 0 ? x : LerpChannel(dc, x, Weight(a, f), 8 * kFactorCount);
               } else if constexpr (kOp == SCALED_MUL) {
                 return x * dc * Weight(a, f) >> (kBits + 8 * kFactorCount);
               } else if constexpr (kOp == SCALED_MUL_MIX) {
                 return Toward<c>(dc, x * dc >> kBits, a, f);
               } else {
                 static_assert(kOp == SCALED_MIX || kOp == SCALED_INVERT);
                 return Toward<c>(dc, x, a, f);
               }
             });
    }
  }
};

// Sources. Raw is what the key is compared with, Colour the pixel in the family's
// layout, Alpha the alpha byte of an alpha source.
template <class F>
struct DirectPixels {
  static constexpr int kBytes = F::kBytes;
  static constexpr bool kAlpha = false;
  static uint32_t Raw(const uint8_t* at) { return F::Load(at); }
  static uint32_t Colour(uint32_t raw, const void*) { return raw; }
  static uint32_t Alpha(uint32_t) { return 255; }
};
template <class F>
struct PalettePixels {
  static constexpr int kBytes = 1;
  static constexpr bool kAlpha = false;
  static uint32_t Raw(const uint8_t* at) { return *at; }
  static uint32_t Colour(uint32_t raw, const void* palette) {
    if constexpr (F::kBytes == 4) {
      return static_cast<const uint32_t*>(palette)[raw];
    } else {
      return static_cast<const uint16_t*>(palette)[raw];
    }
  }
  static uint32_t Alpha(uint32_t) { return 255; }
};
template <class F>
struct AlphaPixels {
  static constexpr int kBytes = 4;
  static constexpr bool kAlpha = true;
  static uint32_t Raw(const uint8_t* at) { return PixelFamily32::Load(at); }
  static uint32_t Colour(uint32_t raw, const void*) { return F::kBytes == 4 ? raw : raw & 0xFFFF; }
  static uint32_t Alpha(uint32_t raw) { return F::kBytes == 4 ? raw >> 24 : (raw >> 16) & 0xFF; }
};

// What a call draws: the first sampled pixels, the steps of both walks and the key.
struct ScaledJob {
  const uint8_t* src;    // the first sampled source pixel of the first sampled row
  const uint8_t* blend;  // the blend-image byte under it, or null
  uint8_t* dst;          // the first destination pixel drawn
  int32_t dirX;          // +1, or -1 for a mirrored draw
  ptrdiff_t srcRowStep;  // one source row in the y direction, in bytes
  ptrdiff_t blendRowStep;
  ptrdiff_t dstPitch;
  int64_t stepX, stepY;   // 16.16 destination pixels per source pixel
  int64_t accX0, accY0;   // accumulators at the first drawn column and row
  int64_t width, height;  // destination pixels drawn
  uint32_t key;
  const void* palette;
  BlitTables tables;
};

// One destination pixel from the source pixel at s (and the blend-image byte at b). op
// carries the alpha factor (for an alpha source), opNoA the same operation without it:
// under trans an alpha-255 pixel is computed without a, and an alpha-0 pixel is skipped.
template <class F, class S, bool kTrans, bool kBlend, class Op, class OpNoA>
inline void DrawPixel(uint8_t* d, const uint8_t* s, const uint8_t* b, uint32_t key,
                      const void* palette, const Op& op, const OpNoA& opNoA) {
  uint32_t raw = S::Raw(s);
  uint32_t f = 0;
  if constexpr (kBlend) f = BlendGraphCurve[*b];
  if constexpr (S::kAlpha) {
    uint32_t a = S::Alpha(raw);
    if constexpr (kTrans) {
      if (a == 0) return;
      if (a == 255) return F::Store(d, opNoA.Apply(F::Load(d), S::Colour(raw, palette), 255, f));
    }
    F::Store(d, op.Apply(F::Load(d), S::Colour(raw, palette), a, f));
  } else {
    if (kTrans && raw == key) return;
    F::Store(d, op.Apply(F::Load(d), S::Colour(raw, palette), 0, f));
  }
}

// The walk on one axis, one destination pixel (or row) on: the source pixel serves again
// while the accumulator stays above 0; otherwise the source moves on at least once and
// goes on moving, adding the step each time, while the accumulator is at or below 0 (only
// below 0 in the exact-hit routines). Returns the source pixels moved. The exact-hit rule
// can only stop on 0 after a second move, so it changes nothing but shrinks.
template <bool kExact>
inline int32_t Advance(int64_t& acc, int64_t step) {
  acc -= 0x10000;
  if (acc > 0) return 0;
  int32_t moved = 0;
  do {
    moved++;
    acc += step;
  } while (kExact ? acc < 0 : acc <= 0);
  return moved;
}

// The columns of a row, as offsets in source pixels from its first sampled pixel (signed
// by the direction). Every row samples the same columns, so a row of up to kTableWidth
// pixels is walked once per call; wider rows are walked a table's width at a time.
constexpr int kTableWidth = 2048;
template <bool kExact>
struct ColumnWalk {
  int64_t acc, step;
  int32_t offset, dir;
  // The next n offsets. The walk moves on past the last one too: offsets are numbers, and
  // one past the source is never read.
  void Fill(int32_t* out, int64_t n) {
    for (int64_t i = 0; i < n; i++) {
      out[i] = offset;
      offset += dir * Advance<kExact>(acc, step);
    }
  }
};

template <class F, class S, bool kTrans, bool kBlend, class Op, class OpNoA>
void WalkScaled(const ScaledJob& j, const Op op, const OpNoA opNoA) {
  constexpr bool kExact = Op::kExactHit;
  // A pure copy gives a destination row that samples the same source row as the one
  // above it the same pixels: it is copied down.
  constexpr bool kRowsRepeat = Op::kIgnoresDestination && !kTrans;
  // Local copies: stores through the pixel pointers must not make the compiler fetch
  // them again.
  const int64_t width = j.width;
  const uint32_t key = j.key;
  const void* const palette = j.palette;
  const ColumnWalk<kExact> firstColumn = {j.accX0, j.stepX, 0, j.dirX};
  int32_t columns[kTableWidth];
  const bool oneTable = width <= kTableWidth;
  if (oneTable) {
    ColumnWalk<kExact> walk = firstColumn;
    walk.Fill(columns, width);
  }
  auto drawRow = [&](const uint8_t* src, const uint8_t* blend, uint8_t* dst) {
    ColumnWalk<kExact> walk = firstColumn;
    for (int64_t done = 0; done < width; done += kTableWidth) {
      const int64_t n = std::min<int64_t>(width - done, kTableWidth);
      if (!oneTable) walk.Fill(columns, n);
      uint8_t* d = dst + done * F::kBytes;
      for (int64_t i = 0; i < n; i++, d += F::kBytes) {
        const ptrdiff_t at = columns[i];
        DrawPixel<F, S, kTrans, kBlend>(d, src + at * S::kBytes, kBlend ? blend + at : nullptr, key,
                                        palette, op, opNoA);
      }
    }
  };

  const uint8_t* srcRow = j.src;
  const uint8_t* blendRow = j.blend;
  uint8_t* dstRow = j.dst;
  int64_t accY = j.accY0;
  bool repeat = false;
  for (int64_t rows = j.height;;) {
    if (kRowsRepeat && repeat) {
      std::memcpy(dstRow, dstRow - j.dstPitch, size_t(width) * F::kBytes);
    } else {
      drawRow(srcRow, blendRow, dstRow);
    }
    if (--rows == 0) break;
    dstRow += j.dstPitch;
    const int32_t moved = Advance<kExact>(accY, j.stepY);
    repeat = moved == 0;
    srcRow += moved * j.srcRowStep;
    if constexpr (kBlend) blendRow += moved * j.blendRowStep;
  }
}

struct ScaledChoice {
  int op;
  bool blend;
  bool white;
  bool trans;
};

template <class F, class S, int kOp, bool kF, bool kWhite>
void Run(const ScaledJob& j, bool trans) {
  ScaledPixelOp<F, kOp, kF, S::kAlpha, kWhite> op{j.tables};
  ScaledPixelOp<F, kOp, kF, false, kWhite> opNoA{j.tables};
  if (trans) {
    WalkScaled<F, S, true, kF>(j, op, opNoA);
  } else {
    WalkScaled<F, S, false, kF>(j, op, opNoA);
  }
}

template <class F, class S, int kOp>
void RunAnyFlags(const ScaledJob& j, const ScaledChoice& c) {
  if (c.blend) {
    c.white ? Run<F, S, kOp, true, true>(j, c.trans) : Run<F, S, kOp, true, false>(j, c.trans);
  } else {
    c.white ? Run<F, S, kOp, false, true>(j, c.trans) : Run<F, S, kOp, false, false>(j, c.trans);
  }
}

template <class F, class S>
void RunSource(const ScaledJob& j, const ScaledChoice& c) {
  switch (c.op) {
    case SCALED_COPY:
      return RunAnyFlags<F, S, SCALED_COPY>(j, c);
    case SCALED_MIX:
      return RunAnyFlags<F, S, SCALED_MIX>(j, c);
    case SCALED_INVERT:
      return RunAnyFlags<F, S, SCALED_INVERT>(j, c);
    case SCALED_MUL_MIX:
      return RunAnyFlags<F, S, SCALED_MUL_MIX>(j, c);
    case SCALED_ADD:
      return RunAnyFlags<F, S, SCALED_ADD>(j, c);
    case SCALED_SUB:
      return RunAnyFlags<F, S, SCALED_SUB>(j, c);
    case SCALED_MUL:
      return RunAnyFlags<F, S, SCALED_MUL>(j, c);
    default:
      break;
  }
  // The raw subtract: white, no blend image, no source alpha.
  if constexpr (!S::kAlpha) {
    if (c.op == SCALED_SUB_RAW) return Run<F, S, SCALED_SUB_RAW, false, true>(j, c.trans);
    if constexpr (F::kBytes == 4) {
      if (c.op == SCALED_SUB_BYTES) return Run<F, S, SCALED_SUB_BYTES, false, true>(j, c.trans);
    }
  }
}

template <class F>
void RunFamily(const ScaledJob& j, const ScaledChoice& c, const MemImgData* src) {
  if (src->paletteFlag) {
    RunSource<F, PalettePixels<F>>(j, c);
  } else if (src->alphaFlag) {
    RunSource<F, AlphaPixels<F>>(j, c);
  } else {
    RunSource<F, DirectPixels<F>>(j, c);
  }
}

// The operation of a mode and parameter, or SCALED_NONE. raw: white brightness, no
// blend image and a source without alpha, where mode 3 at 255 subtracts the raw pixel.
int ChooseOp(int32_t mode, uint32_t p, bool kind32, bool raw) {
  switch (mode) {
    case 0:
      return SCALED_COPY;
    case 1:
      return p == 0 ? SCALED_NONE : p == 255 ? SCALED_COPY : SCALED_MIX;
    case 2:
      return p == 0 ? SCALED_NONE : SCALED_ADD;
    case 3:
      if (p == 0) return SCALED_NONE;
      if (p != 255 || !raw) return SCALED_SUB;
      return kind32 && GetBlitMmxUsable() ? SCALED_SUB_BYTES : SCALED_SUB_RAW;
    case 4:
      return SCALED_MUL;
    case 10:
      return SCALED_INVERT;
    case 11:
      return SCALED_MUL_MIX;
    default:
      return SCALED_NONE;
  }
}

// One axis of the rectangle: its sorted edges and direction.
struct Axis {
  int32_t low, high;
  int dir;
};
Axis Order(int32_t a, int32_t b) { return a > b ? Axis{b, a, -1} : Axis{a, b, 1}; }

}  // namespace

void BlitMemImgScaled(MEMIMG* dst, const MEMIMG* src, const Rect* rect, int32_t trans,
                      const MEMIMG* blendImage) {
  if (!rect || !IsMemImgValid(dst) || !IsMemImgValid(src)) return;
  const MemImgData* dd = dst->data;
  const MemImgData* sd = src->data;
  if (sd->kind != MEMIMG_KIND_RGB565 && sd->kind != MEMIMG_KIND_XRGB8888) return;
  // The pixel routines write the source's pixel layout: anything else is refused.
  if (dd->kind != sd->kind || dd->paletteFlag || dd->alphaFlag) return;
  if (src->width <= 0 || src->height <= 0) return;
  if (src->width > kMaxSourceSide || src->height > kMaxSourceSide) return;
  if (blendImage) {
    if (!IsMemImgValid(blendImage) || blendImage->data->kind != MEMIMG_KIND_GRAY8) return;
    if (blendImage->width < src->width || blendImage->height < src->height) return;
  }

  const Axis x = Order(rect->left, rect->right), y = Order(rect->top, rect->bottom);
  const int64_t w = int64_t(x.high) - x.low, h = int64_t(y.high) - y.low;
  if (w == 0 || h == 0) return;
  if (w == src->width && h == src->height && x.dir > 0 && y.dir > 0) {
    BlitMemImg(dst, src, x.low, y.low, trans, blendImage);
    return;
  }
  const int64_t stepX = (w << 16) / src->width, stepY = (h << 16) / src->height;

  // Clip to the draw area, itself kept inside the destination.
  Rect area = g_DrawState.drawArea;
  const Rect bounds = {0, 0, dst->width, dst->height};
  ClipRect(&area, &bounds);
  Rect clip = {x.low, y.low, x.high, y.high};
  ClipRect(&clip, &area);
  const int64_t clipW = int64_t(clip.right) - clip.left, clipH = int64_t(clip.bottom) - clip.top;
  if (clipW <= 0 || clipH <= 0) return;
  const int64_t offX = (int64_t(clip.left) - x.low) << 16, offY = (int64_t(clip.top) - y.low) << 16;
  const int64_t skipX = offX / stepX, skipY = offY / stepY;

  const bool white = g_DrawState.brightBlue == 255 && g_DrawState.brightGreen == 255 &&
                     g_DrawState.brightRed == 255;
  const bool kind32 = sd->kind == MEMIMG_KIND_XRGB8888;
  const uint32_t p = uint32_t(std::clamp(g_DrawState.blendParam, 0, 255));
  const ScaledChoice choice = {
      ChooseOp(g_DrawState.blendMode, p, kind32, white && !blendImage && !sd->alphaFlag),
      blendImage != nullptr, white, trans != 0};
  if (choice.op == SCALED_NONE) return;

  ScaledJob j{};
  const int64_t col0 = x.dir > 0 ? skipX : src->width - skipX - 1;
  const int64_t row0 = y.dir > 0 ? skipY : src->height - skipY - 1;
  const int srcBytes = sd->format->bytesPerPixel;
  j.src = src->pixels + row0 * sd->pitch + col0 * srcBytes;
  j.dirX = x.dir;
  j.srcRowStep = y.dir * ptrdiff_t(sd->pitch);
  if (blendImage) {
    const ptrdiff_t pitch = blendImage->data->pitch;
    j.blend = blendImage->pixels + row0 * pitch + col0;
    j.blendRowStep = y.dir * pitch;
  }
  j.dst =
      dst->pixels + int64_t(clip.top) * dd->pitch + int64_t(clip.left) * dd->format->bytesPerPixel;
  j.dstPitch = dd->pitch;
  j.stepX = stepX;
  j.stepY = stepY;
  j.accX0 = stepX - offX % stepX;
  j.accY0 = stepY - offY % stepY;
  j.width = clipW;
  j.height = clipH;
  j.palette = sd->palette;
  j.key = sd->paletteFlag ? sd->transparentColor & 0xFF
          : kind32        ? sd->transparentColor
                          : sd->transparentColor & 0xFFFF;
  j.tables = MakeBlitTables(int32_t(p), g_DrawState.brightBlue, g_DrawState.brightGreen,
                            g_DrawState.brightRed);

  if (kind32) {
    RunFamily<PixelFamily32>(j, choice, sd);
  } else {
    RunFamily<PixelFamily16>(j, choice, sd);
  }
}
