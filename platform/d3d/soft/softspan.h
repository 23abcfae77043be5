// The span path of the soft rasteriser: the draws of one stage without depth go a row at
// a time through span functions chosen once per draw (softspan.cpp). What the triangle
// and the rectangle road share of it lives here. Not for the device.
#pragma once

#include "platform/d3d/soft/softpixel.h"

#include <cstdint>

namespace soft {

// An argument of the one stage of a span draw: the texel (complemented or not), else a
// constant the triangle fixes.
struct SpanArg {
  bool texture, complement;  // the texel (complemented), else the constant
  Color constant;
};

inline SpanArg ResolveArgument(uint32_t arg, const Inputs& stage0) {
  if ((arg & PLAT_D3DTA_SELECTMASK) == PLAT_D3DTA_TEXTURE) return {true, (arg & PLAT_D3DTA_COMPLEMENT) != 0, {}};
  return {false, false, Argument(arg, stage0)};
}

inline Color Pick(const SpanArg& a, const Color& texel) {
  if (!a.texture) return a.constant;
  return a.complement ? Color{255 - texel.r, 255 - texel.g, 255 - texel.b, 255 - texel.a} : texel;
}

inline int PickAlpha(const SpanArg& a, int texelAlpha) {
  return !a.texture ? a.constant.a : a.complement ? 255 - texelAlpha : texelAlpha;
}

// The addresses Address(plane.At(row, px), size) of one row's pixels lo, lo + 1, ... in
// turn, stepped in fixed point with 32 bits below the 1/256 texel. A stepped value is
// taken only where it lies farther from a rounding boundary than the two evaluations can
// differ: the double evaluation's rounding (a few units in the last place of the values it
// adds, at most 2^-50 of their sizes here) and the fixed point's (its rounded start, and
// its rounded step once per pixel). Elsewhere the pixel takes the double evaluation, so
// every address is Address()'s.
struct AddressStepper {
  enum Mode : uint8_t { kStepped, kConstant, kEvaluated, kTable };
  Mode mode = kEvaluated;
  uint32_t tolerance = 0;
  int64_t at = 0, step = 0;  // stepped: (address + 1/2) x 2^32; constant: the address
  const int64_t* table = nullptr;  // table: the addresses, from the row's first pixel
  const Plane* plane = nullptr;
  double row = 0, px = 0;
  int32_t size = 1;
  double fixedScale = 0;

  // What holds for the triangle over the box left..right x top..bottom. The row values and
  // the distances from the plane's origin that the evaluation adds are monotonic in the
  // pixel, so their sizes are greatest at the box's sides.
  void Prepare(const Plane& p, int32_t textureSize, int64_t left, int64_t right, int64_t top, int64_t bottom) {
    plane = &p;
    size = textureSize;
    if (p.dx == 0) {  // row + 0 x (x - x0) is the row's value at every x
      mode = kConstant;
      return;
    }
    const double scale = double(size) * 256.0;
    const double slope = p.dx * scale;
    const double rows = std::max(std::fabs(p.Row(double(top))), std::fabs(p.Row(double(bottom))));
    const double reach = std::max(std::fabs(p.dx * (double(left) - p.x0)), std::fabs(p.dx * (double(right) - p.x0)));
    const double extent = (rows + reach) * scale;
    const double error = extent * 0x1p-50 + 0x1p-53;  // of either evaluation, in 1/256 texel
    // The start is scaled in one rounding (relative 2^-53, within the error) and cut
    // toward zero below 2^-32, as is the step: under one unit each.
    const double tolerancePerPixel = 1 + std::fabs(slope) * 0x1p-20;
    const double toleranceBase = 2 * error * 0x1p32 + 5;
    const double n = double(right - left);
    if (!(extent + n * std::fabs(slope) < 0x1p27) || !(toleranceBase + n * tolerancePerPixel < 0x1p30)) {
      mode = kEvaluated;
      return;
    }
    mode = kStepped;
    step = int64_t(slope * 0x1p32);
    fixedScale = scale * 0x1p32;
    // For the widest row: a narrower one is as sure.
    tolerance = uint32_t(toleranceBase + n * tolerancePerPixel);
  }

  // The row's pixels from lo, the plane's row value being rowValue. The start needs only
  // to lie within the bound, so it is scaled in one rounding.
  void Start(double rowValue, int64_t lo) {
    row = rowValue;
    px = double(lo);
    if (mode == kStepped) at = int64_t(plane->At(row, px) * fixedScale) + (int64_t(1) << 31);
    else if (mode == kConstant) at = Address(plane->At(row, px), size);
  }

  // The row's pixels from lo, the address being the same for all.
  void StartConstant(int64_t address, int64_t lo) {
    at = address;
    px = double(lo);
  }

  // Whether the stepped value is sure to round as the double evaluation does.
  bool Sure() const {
    const uint32_t fraction = uint32_t(uint64_t(at));
    return uint32_t(fraction - tolerance) <= uint32_t(0u - 2 * tolerance);
  }

  // The double evaluation, kept out of the loops it is rarely taken in.
  [[gnu::noinline]] int64_t Evaluated() const { return Address(plane->At(row, px), size); }

  [[gnu::always_inline]] int64_t Next() {
    int64_t a;
    if (mode == kStepped) [[likely]] {
      a = Sure() ? at >> 32 : Evaluated();
      at += step;
    } else {
      a = mode == kConstant ? at : mode == kTable ? *table++ : Evaluated();
    }
    px += 1;
    return a;
  }

  // When the next pixels' addresses are first, first + 256, ... (a texel a pixel), stores
  // first; Skip moves past the pixels taken so.
  bool Run(int64_t* first) const {
    if (mode != kStepped || step != int64_t(1) << 40 || !Sure()) return false;
    *first = at >> 32;
    return true;
  }
  void Skip(int32_t n) {
    at += step * n;
    px += double(n);
  }
};

constexpr int32_t kSpanChunk = 64;

// One triangle's span work: what the draw and the triangle fix, and the row in hand.
struct SpanJob {
  const Draw* draw;
  const Surface* texture;  // null: the stage reads white
  bool keyed;
  AddressStepper u, v;
  bool stepsDown[2];  // the coordinate takes one address a row (Cover steps them down)
  const Plane* planes[2];  // u and v of the stage's coordinate set
  uint8_t* out;
  // The combiner with every argument but the texel resolved.
  uint32_t colorOp, alphaOp;
  SpanArg color1, color2, alpha1, alpha2;
  int diffuseAlpha;  // also the current alpha at stage 0
  Color factor;      // the constant a modulating colour multiplies by
  int alpha;         // the alpha when it is constant
  Color texels[kSpanChunk];
  bool live[kSpanChunk];
  // The rows a fill, or a copy of a texel a pixel within the texture, takes at once: each
  // a target row and a texel row below the last.
  int32_t height = 1;
  int32_t rowPitch = 0;
};

// The argument is the texel, as it is.
inline bool PlainTexel(uint32_t arg) {
  return (arg & (PLAT_D3DTA_SELECTMASK | PLAT_D3DTA_COMPLEMENT)) == PLAT_D3DTA_TEXTURE;
}
inline bool Texel(uint32_t arg) { return (arg & PLAT_D3DTA_SELECTMASK) == PLAT_D3DTA_TEXTURE; }

// Fills in what the triangle fixes; false when the draw takes the general path.
inline bool PlanSpan(const Draw& d, const Triangle& tri, SpanJob* j) {
  if (!d.spans.fetch) return false;
  const Stage& s = d.stages[0];
  Inputs stage0 = tri.flat;
  stage0.current = stage0.diffuse;
  j->draw = &d;
  j->texture = tri.reads[0] ? s.texture : nullptr;
  j->keyed = j->texture && d.colorKey && j->texture->keyed;
  j->colorOp = s.colorOp;
  j->alphaOp = s.alphaOp;
  j->color1 = ResolveArgument(s.colorArg1, stage0);
  j->color2 = ResolveArgument(s.colorArg2, stage0);
  j->alpha1 = ResolveArgument(s.alphaArg1, stage0);
  j->alpha2 = ResolveArgument(s.alphaArg2, stage0);
  j->diffuseAlpha = stage0.diffuse.a;
  j->factor = Texel(s.colorArg1) ? j->color2.constant : j->color1.constant;
  const Color white{255, 255, 255, 255};
  j->alpha = s.alphaOp == PLAT_D3DTOP_DISABLE
                 ? j->diffuseAlpha
                 : Operate(s.alphaOp, PickAlpha(j->alpha1, white.a), PickAlpha(j->alpha2, white.a), j->diffuseAlpha,
                           j->diffuseAlpha);
  return true;
}

// One row's pixels lo..hi, the steppers started at lo.
inline void RunRow(SpanJob& j, int64_t lo, int64_t hi, uint8_t* out) {
  const Spans& spans = j.draw->spans;
  j.out = out;
  SpanFn fetch = spans.fetch, copy = spans.copy;
  if (j.texture) {
    // Filtered at texel centres, a texel a pixel, the weights are 65536 and three zeros:
    // the row is point sampled.
    int64_t first = 0;
    if (spans.centredFetch && j.v.mode == AddressStepper::kConstant && ((j.v.at - 128) & 255) == 0 &&
        j.u.Run(&first) && ((first - 128) & 255) == 0) {
      fetch = spans.centredFetch;
      copy = spans.centredCopy;
    }
  }
  if (copy) {
    copy(j, int32_t(hi - lo + 1));
    return;
  }
  for (int64_t at = lo; at <= hi; at += kSpanChunk) {
    const int32_t n = int32_t(std::min<int64_t>(kSpanChunk, hi - at + 1));
    fetch(j, n);
    spans.write(j, n);
  }
}

// One row's pixels lo..hi of a planned triangle.
inline void RunSpan(SpanJob& j, const int64_t* downAt, double y, int64_t lo, int64_t hi, uint8_t* out) {
  if (j.texture) {
    AddressStepper* steppers[2] = {&j.u, &j.v};
    for (int c = 0; c < 2; c++) {
      if (j.stepsDown[c]) steppers[c]->StartConstant(downAt[c], lo);
      else steppers[c]->Start(j.planes[c]->Row(y), lo);
    }
  }
  RunRow(j, lo, hi, out);
}

}  // namespace soft
