#include "engine/softimage/blit.h"

#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendops.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/blitpixel.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

// Every combination of pixel family, source kind, operation, blend image, white
// brightness and trans gets a loop of its own, chosen once per call; inside a loop only
// the pixel data decides anything (the key, the alpha byte, the run codes).

namespace {

int32_t g_mmxUsable = 0;

// The source's palette in the destination's pixel size, copied whole at every call with
// a paletted source.
union PaletteCache {
  uint32_t entries32[256];
  uint16_t entries16[256];
};
PaletteCache PaletteBlitCache;

// What a call draws: the clipped rectangle's first pixels, row pitches and the key.
struct BlitJob {
  uint8_t* dst;
  const uint8_t* src;
  const uint8_t* blend;
  ptrdiff_t dstPitch;
  ptrdiff_t srcPitch;
  ptrdiff_t blendPitch;
  int32_t width;
  int32_t height;
  uint32_t key;
  const uint8_t* runMap;
  const uint8_t* runMapEnd;
  BlitTables tables;
};

uint32_t Load32(const uint8_t* at) { return PixelFamily32::Load(at); }

// Sources. Raw is what the key is compared with, Colour the pixel value in the family's
// layout, Alpha the alpha byte of an alpha source.
template <class F>
struct DirectSource {
  static constexpr int kBytes = F::kBytes;
  static constexpr bool kAlpha = false;
  static uint32_t Raw(const uint8_t* at) { return F::Load(at); }
  static uint32_t Colour(uint32_t raw) { return raw; }
  static uint32_t Alpha(uint32_t) { return 255; }
};
template <class F>
struct PaletteSource {
  static constexpr int kBytes = 1;
  static constexpr bool kAlpha = false;
  static uint32_t Raw(const uint8_t* at) { return *at; }
  static uint32_t Colour(uint32_t raw) {
    if constexpr (F::kBytes == 4) {
      return PaletteBlitCache.entries32[raw];
    } else {
      return PaletteBlitCache.entries16[raw];
    }
  }
  static uint32_t Alpha(uint32_t) { return 255; }
};
template <class F, bool kUseAlpha>
struct AlphaSource {
  static constexpr int kBytes = 4;
  static constexpr bool kAlpha = kUseAlpha;
  static uint32_t Raw(const uint8_t* at) { return Load32(at); }
  static uint32_t Colour(uint32_t raw) { return F::kBytes == 4 ? raw : raw & 0xFFFF; }
  static uint32_t Alpha(uint32_t raw) { return F::kBytes == 4 ? raw >> 24 : (raw >> 16) & 0xFF; }
};

// The rectangle's rows. Walkers copy it out of the job: stores through the pixel
// pointers must not make the compiler fetch the bounds and the key again.
struct Rows {
  const uint8_t* src;
  uint8_t* dst;
  const uint8_t* blend;
  ptrdiff_t srcPitch, dstPitch, blendPitch;
  int32_t width, height;
  uint32_t key;
  explicit Rows(const BlitJob& j)
      : src(j.src),
        dst(j.dst),
        blend(j.blend),
        srcPitch(j.srcPitch),
        dstPitch(j.dstPitch),
        blendPitch(j.blendPitch),
        width(j.width),
        height(j.height),
        key(j.key) {}
  const uint8_t* Src(int32_t row) const { return src + row * srcPitch; }
  uint8_t* Dst(int32_t row) const { return dst + row * dstPitch; }
  const uint8_t* Blend(int32_t row) const { return blend + row * blendPitch; }
};

// Whether the rows of both images follow each other without a gap, so that the rectangle
// is one run of width x height pixels in each.
bool RowsAreOneRun(const BlitJob& j, int bytesPerPixel) {
  return j.srcPitch == j.dstPitch && j.dstPitch == ptrdiff_t(j.width) * bytesPerPixel;
}

// The per-pixel walk. op carries the alpha factor (for an alpha source), opNoA the same
// operation without it: under trans an alpha-255 pixel is computed without a.
template <class F, class S, bool kTrans, bool kBlend, class Op, class OpNoA>
void WalkPixels(const BlitJob& job, const Op op, const OpNoA opNoA) {
  const Rows r(job);
  for (int32_t row = 0; row < r.height; row++) {
    const uint8_t* s = r.Src(row);
    uint8_t* d = r.Dst(row);
    const uint8_t* b = kBlend ? r.Blend(row) : nullptr;
    for (int32_t i = 0; i < r.width; i++, s += S::kBytes, d += F::kBytes) {
      uint32_t raw = S::Raw(s);
      uint32_t f = 0;
      if constexpr (kBlend) f = BlendGraphCurve[b[i]];
      if constexpr (S::kAlpha) {
        uint32_t a = S::Alpha(raw);
        if constexpr (kTrans) {
          if (a == 255) {
            opNoA(d, S::Colour(raw), 255, f);
            continue;
          }
          if (a == 0 && Op::kSkipsClear) continue;
        }
        op(d, S::Colour(raw), a, f);
      } else {
        if (kTrans && raw == r.key) continue;
        op(d, S::Colour(raw), 0, f);
      }
    }
  }
}

// The run-map walk (trans 1, the whole source): skip runs are stepped over, opaque runs
// drawn without a key test (alpha 255 for an alpha source), partial runs with their own
// alpha. The operations that alpha 0 scales instead of skipping (modes 4, 10, 11) draw an
// alpha source's skip runs too, so the map never changes what is drawn. Runs are cut at
// the row's end and the walk stops at the map's end, so a map that does not fit the image
// cannot lead outside it.
template <class F, class S, bool kBlend, class Op, class OpNoA>
void WalkRuns(const BlitJob& job, const Op op, const OpNoA opNoA) {
  const Rows r(job);
  const uint8_t* code = job.runMap;
  const uint8_t* const codeEnd = job.runMapEnd;
  for (int32_t row = 0; row < r.height; row++) {
    const uint8_t* s = r.Src(row);
    uint8_t* d = r.Dst(row);
    const uint8_t* b = kBlend ? r.Blend(row) : nullptr;
    int32_t i = 0;
    while (code < codeEnd) {
      uint32_t c = *code++;
      uint32_t type = c >> 6;
      if (type == 3) break;
      int32_t end = std::min<int32_t>(i + int32_t(c & 63) + 1, r.width);
      if (type == 0 && (!S::kAlpha || Op::kSkipsClear)) {
        i = end;
        continue;
      }
      for (; i < end; i++) {
        uint32_t raw = S::Raw(s + ptrdiff_t(i) * S::kBytes);
        uint32_t f = 0;
        if constexpr (kBlend) f = BlendGraphCurve[b[i]];
        uint8_t* at = d + ptrdiff_t(i) * F::kBytes;
        if (S::kAlpha && type == 1) {
          opNoA(at, S::Colour(raw), 255, f);
        } else {
          op(at, S::Colour(raw), S::Alpha(raw), f);
        }
      }
    }
  }
}

// The 16-bit two-pixel walk of the unscaled add and subtract: two drawn neighbours go
// through the pair form in one word; a lone drawn pixel of a pair and the odd last pixel
// of a row go through the single form.
template <class S, bool kTrans, class Single, class Pair>
void WalkPairs16(const BlitJob& job, const Single single, Pair pair) {
  const Rows r(job);
  for (int32_t row = 0; row < r.height; row++) {
    const uint8_t* s = r.Src(row);
    uint8_t* d = r.Dst(row);
    int32_t i = 0;
    for (; i + 1 < r.width; i += 2, s += 2 * S::kBytes, d += 4) {
      uint32_t raw0 = S::Raw(s), raw1 = S::Raw(s + S::kBytes);
      bool draw0 = !kTrans || raw0 != r.key;
      bool draw1 = !kTrans || raw1 != r.key;
      if (draw0 && draw1) {
        uint32_t both = single.Prep(S::Colour(raw0)) | single.Prep(S::Colour(raw1)) << 16;
        PixelFamily32::Store(d, pair(Load32(d), both));
        continue;
      }
      if (draw0) single(d, S::Colour(raw0), 0, 0);
      if (draw1) single(d + 2, S::Colour(raw1), 0, 0);
    }
    if (i < r.width) {
      uint32_t raw = S::Raw(s);
      if (!kTrans || raw != r.key) single(d, S::Colour(raw), 0, 0);
    }
  }
}

// Whole-pixel operations whose result for a pixel depends on that pixel alone, on direct
// sources at white brightness: sixteen bytes (four 32-bit or eight 16-bit pixels) a step,
// then eight, the key's pixels keeping the destination; the row's last pixels one at a
// time. vec(d, s) gives the results of the pixels of a PixelVec.
template <class F, bool kTrans, class Vec, class Single>
void WalkVectors(const BlitJob& job, Vec vec, const Single single) {
  constexpr int kPer = 16 / F::kBytes;
  Rows r(job);
  // One long row where the rows follow each other: the loop ends once a call rather than
  // once a row.
  if (RowsAreOneRun(job, F::kBytes) && int64_t(r.width) * r.height <= INT32_MAX) {
    r.width *= r.height;
    r.height = 1;
  }
  const __m128i keys =
      F::kBytes == 4 ? _mm_set1_epi32(int32_t(r.key)) : _mm_set1_epi16(int16_t(r.key & 0xFFFF));
  auto step = [&](__m128i sv, __m128i dv) {
    __m128i out = ToSse(vec(std::bit_cast<PixelVec>(dv), std::bit_cast<PixelVec>(sv)));
    if constexpr (kTrans) {
      __m128i keyed = F::kBytes == 4 ? _mm_cmpeq_epi32(sv, keys) : _mm_cmpeq_epi16(sv, keys);
      out = _mm_or_si128(_mm_and_si128(keyed, dv), _mm_andnot_si128(keyed, out));
    }
    return out;
  };
  for (int32_t row = 0; row < r.height; row++) {
    const uint8_t* s = r.Src(row);
    uint8_t* d = r.Dst(row);
    int32_t i = 0;
    for (; i + kPer <= r.width; i += kPer, s += 16, d += 16) {
      __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), step(sv, dv));
    }
    if (i + kPer / 2 <= r.width) {
      __m128i sv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
      __m128i dv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), step(sv, dv));
      i += kPer / 2, s += 8, d += 8;
    }
    for (; i < r.width; i++, s += F::kBytes, d += F::kBytes) {
      uint32_t raw = F::Load(s);
      if (!kTrans || raw != r.key) single(d, raw, 0, 0);
    }
  }
}

// How the call draws, decided once.
struct BlitChoice {
  int op;
  bool blend;
  bool white;
  bool trans;
  bool runs;
};

template <class F, class S, int kOp, bool kF, bool kWhite>
void Walk(const BlitJob& j, const BlitChoice& c) {
  BlitPixelOp<F, kOp, kF, S::kAlpha, kWhite> op{j.tables};
  BlitPixelOp<F, kOp, kF, false, kWhite> opNoA{j.tables};
  if (c.runs) {
    WalkRuns<F, S, kF>(j, op, opNoA);
  } else if (c.trans) {
    WalkPixels<F, S, true, kF>(j, op, opNoA);
  } else {
    WalkPixels<F, S, false, kF>(j, op, opNoA);
  }
}

template <class F, class S, int kOp>
void WalkAnyFlags(const BlitJob& j, const BlitChoice& c) {
  if (c.blend) {
    c.white ? Walk<F, S, kOp, true, true>(j, c) : Walk<F, S, kOp, true, false>(j, c);
  } else {
    c.white ? Walk<F, S, kOp, false, true>(j, c) : Walk<F, S, kOp, false, false>(j, c);
  }
}

// The PixelVec form of an operation on F, where one exists: the same recipes as the
// pixel operations, on four 32-bit (or eight 16-bit) pixels at once.
template <class F, int kOp>
constexpr bool kHasVector = kOp == BLIT_OP_COPY || kOp == BLIT_OP_AVERAGE ||
                            (F::kBytes == 4 &&
                             (kOp == BLIT_OP_MIX || kOp == BLIT_OP_MUL_MIX ||
                              kOp == BLIT_OP_ADD_FULL || kOp == BLIT_OP_SUB_FULL ||
                              kOp == BLIT_OP_SAT_ADD || kOp == BLIT_OP_SAT_SUB));
template <class F, int kOp>
PixelVec VectorOp(uint32_t p, PixelVec d, PixelVec s) {
  const PixelVec kept = d & Lanes<PixelVec>(0xFF000000);
  if constexpr (kOp == BLIT_OP_COPY) {
    return s;
  } else if constexpr (kOp == BLIT_OP_MIX) {
    return kept | Lerp32(d, s, p);
  } else if constexpr (kOp == BLIT_OP_MUL_MIX) {
    return kept | PerChannel32(d, s, [p](ChannelVec dc, ChannelVec xc) {
             return LerpChannels(dc, MulChannels(xc, dc, 8), p, 8);
           });
  } else if constexpr (kOp == BLIT_OP_AVERAGE) {
    return F::kBytes == 4 ? Average32(d, s) : Average16(d, s);
  } else if constexpr (kOp == BLIT_OP_ADD_FULL) {
    return GuardAdd32(d, s);
  } else if constexpr (kOp == BLIT_OP_SUB_FULL) {
    return GuardSub32(d, s);
  } else if constexpr (kOp == BLIT_OP_SAT_ADD) {
    return SaturateAddBytes32(d, s);
  } else {
    static_assert(kOp == BLIT_OP_SAT_SUB);
    return SaturateSubBytes32(d, s);
  }
}

// Operations without blend image and alpha factor (the source has no alpha): the copy
// and the 32-bit mixes (modes 1 and 11) at white, the unscaled add and subtract (any
// brightness) and the white-only fast forms.
template <class F, class S, int kOp>
void WalkNoFactor(const BlitJob& j, const BlitChoice& c) {
  constexpr bool kWhiteOnly = kOp == BLIT_OP_AVERAGE || kOp == BLIT_OP_MIX6 ||
                              kOp == BLIT_OP_SAT_ADD || kOp == BLIT_OP_SAT_SUB;
  constexpr bool kPairs = F::kBytes == 2 && (kOp == BLIT_OP_ADD_FULL || kOp == BLIT_OP_SUB_FULL);
  auto walk = [&](auto white) {
    constexpr bool kWhite = decltype(white)::value;
    BlitPixelOp<F, kOp, false, false, kWhite> op{j.tables};
    if constexpr (std::is_same_v<S, DirectSource<F>> && kWhite && kHasVector<F, kOp>) {
      if (!c.runs) {
        auto vec = [p = j.tables.p](PixelVec d, PixelVec s) { return VectorOp<F, kOp>(p, d, s); };
        c.trans ? WalkVectors<F, true>(j, vec, op) : WalkVectors<F, false>(j, vec, op);
        return;
      }
    }
    if constexpr (kPairs) {
      if (!c.runs) {
        auto pair = [](uint32_t d, uint32_t s) {
          return kOp == BLIT_OP_ADD_FULL ? GuardAddPair16(d, s) : GuardSubPair16(d, s);
        };
        c.trans ? WalkPairs16<S, true>(j, op, pair) : WalkPairs16<S, false>(j, op, pair);
        return;
      }
    }
    if (c.runs) {
      WalkRuns<F, S, false>(j, op, op);
    } else if (c.trans) {
      WalkPixels<F, S, true, false>(j, op, op);
    } else {
      WalkPixels<F, S, false, false>(j, op, op);
    }
  };
  if (kWhiteOnly || c.white) {
    walk(std::true_type{});
  } else if constexpr (!kWhiteOnly) {
    walk(std::false_type{});
  }
}

// Mode 0 at white brightness with nothing to test or scale: one move when the rows of
// both images follow each other, else a move a row. A destination that starts further on
// inside the source keeps the moves a row from the top, whose later rows copy rows
// already written: one move would give another picture there.
void CopyRows(const BlitJob& j, int bytesPerPixel) {
  size_t rowBytes = size_t(j.width) * size_t(bytesPerPixel);
  size_t total = rowBytes * size_t(j.height);
  uintptr_t from = reinterpret_cast<uintptr_t>(j.src), to = reinterpret_cast<uintptr_t>(j.dst);
  if (RowsAreOneRun(j, bytesPerPixel) && (to <= from || to >= from + total)) {
    std::memmove(j.dst, j.src, total);
    return;
  }
  for (int32_t row = 0; row < j.height; row++) {
    std::memmove(j.dst + row * j.dstPitch, j.src + row * j.srcPitch, rowBytes);
  }
}

template <class F, class S>
void BlitSource(const BlitJob& j, const BlitChoice& c) {
  switch (c.op) {
    case BLIT_OP_COPY:
      if constexpr (!S::kAlpha) {
        if (!c.blend && c.white && !c.runs) {
          if (!c.trans && S::kBytes == F::kBytes) return CopyRows(j, F::kBytes);
          return WalkNoFactor<F, S, BLIT_OP_COPY>(j, c);
        }
      }
      return WalkAnyFlags<F, S, BLIT_OP_COPY>(j, c);
    case BLIT_OP_MIX:
      if constexpr (F::kBytes == 4 && !S::kAlpha) {
        if (!c.blend && c.white && !c.runs) return WalkNoFactor<F, S, BLIT_OP_MIX>(j, c);
      }
      return WalkAnyFlags<F, S, BLIT_OP_MIX>(j, c);
    case BLIT_OP_INVERT:
      return WalkAnyFlags<F, S, BLIT_OP_INVERT>(j, c);
    case BLIT_OP_MUL_MIX:
      if constexpr (F::kBytes == 4 && !S::kAlpha) {
        if (!c.blend && c.white && !c.runs) return WalkNoFactor<F, S, BLIT_OP_MUL_MIX>(j, c);
      }
      return WalkAnyFlags<F, S, BLIT_OP_MUL_MIX>(j, c);
    case BLIT_OP_ADD:
      return WalkAnyFlags<F, S, BLIT_OP_ADD>(j, c);
    case BLIT_OP_SUB:
      return WalkAnyFlags<F, S, BLIT_OP_SUB>(j, c);
    case BLIT_OP_MUL:
      return WalkAnyFlags<F, S, BLIT_OP_MUL>(j, c);
    default:
      break;
  }
  if constexpr (!S::kAlpha) {
    switch (c.op) {
      case BLIT_OP_ADD_FULL:
        return WalkNoFactor<F, S, BLIT_OP_ADD_FULL>(j, c);
      case BLIT_OP_SUB_FULL:
        return WalkNoFactor<F, S, BLIT_OP_SUB_FULL>(j, c);
      case BLIT_OP_AVERAGE:
        return WalkNoFactor<F, S, BLIT_OP_AVERAGE>(j, c);
      default:
        break;
    }
    if constexpr (F::kBytes == 2) {
      if (c.op == BLIT_OP_MIX6) return WalkNoFactor<F, S, BLIT_OP_MIX6>(j, c);
    } else {
      if (c.op == BLIT_OP_SAT_ADD) return WalkNoFactor<F, S, BLIT_OP_SAT_ADD>(j, c);
      if (c.op == BLIT_OP_SAT_SUB) return WalkNoFactor<F, S, BLIT_OP_SAT_SUB>(j, c);
    }
  }
}

template <class F>
void BlitFamily(const BlitJob& j, const BlitChoice& c, const MemImgData* src) {
  if (src->paletteFlag) {
    BlitSource<F, PaletteSource<F>>(j, c);
  } else if (src->alphaFlag) {
    // Mode 0 at white brightness without blend image and trans copies the alpha source
    // as it stands, alpha byte and all.
    if (c.op == BLIT_OP_COPY && !c.blend && c.white && !c.trans) {
      if constexpr (F::kBytes == 4) {
        CopyRows(j, 4);
      } else {
        BlitPixelOp<F, BLIT_OP_COPY, false, false, true> op{j.tables};
        WalkPixels<F, AlphaSource<F, false>, false, false>(j, op, op);
      }
    } else {
      BlitSource<F, AlphaSource<F, true>>(j, c);
    }
  } else {
    BlitSource<F, DirectSource<F>>(j, c);
  }
}

// The operation of a mode, or BLIT_OP_NONE. fast: the per-pixel walk without blend image and
// alpha source, where the averages, the 6-bit mix and the MMX forms live.
int ChooseOp(uint32_t mode, uint32_t p, bool kind32, bool noFactor, bool fast, bool white) {
  switch (mode) {
    case 0:
      return BLIT_OP_COPY;
    case 1:
      if (p == 0) return BLIT_OP_NONE;
      if (p == 255) return BLIT_OP_COPY;
      if (fast && white) {
        if (p == 128) return BLIT_OP_AVERAGE;
        if (!kind32) return BLIT_OP_MIX6;
      }
      return BLIT_OP_MIX;
    case 2:
      if (p == 0) return BLIT_OP_NONE;
      if (p != 255 || !noFactor) return BLIT_OP_ADD;
      return kind32 && fast && white && g_mmxUsable ? BLIT_OP_SAT_ADD : BLIT_OP_ADD_FULL;
    case 3:
      if (p == 0) return BLIT_OP_NONE;
      if (p != 255 || !noFactor) return BLIT_OP_SUB;
      return kind32 && fast && white && g_mmxUsable ? BLIT_OP_SAT_SUB : BLIT_OP_SUB_FULL;
    case 4:
      return BLIT_OP_MUL;
    case 10:
      return BLIT_OP_INVERT;
    case 11:
      return BLIT_OP_MUL_MIX;
    default:
      return BLIT_OP_NONE;
  }
}

}  // namespace

void SetBlitMmxUsable(int32_t usable) { g_mmxUsable = usable ? 1 : 0; }
int32_t GetBlitMmxUsable() { return g_mmxUsable; }

void BlitMemImg(MEMIMG* dst, const MEMIMG* src, int32_t x, int32_t y, int32_t trans,
                const MEMIMG* blendImage) {
  if (!IsMemImgValid(dst) || !IsMemImgValid(src)) return;
  const MemImgData* dd = dst->data;
  const MemImgData* sd = src->data;
  if (sd->kind != dd->kind || dd->paletteFlag || dd->alphaFlag) return;
  if (dd->kind != MEMIMG_KIND_RGB565 && dd->kind != MEMIMG_KIND_XRGB8888) return;
  if (blendImage) {
    if (!IsMemImgValid(blendImage) || blendImage->data->kind != MEMIMG_KIND_GRAY8) return;
    if (blendImage->width < src->width || blendImage->height < src->height) return;
  }

  // Clip to the draw area, itself kept inside the destination. The source rectangle is
  // formed in 64 bits and clamped, which changes nothing that can reach the area.
  Rect area = g_DrawState.drawArea;
  Rect bounds = {0, 0, dst->width, dst->height};
  ClipRect(&area, &bounds);
  auto clamp32 = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  Rect r = {x, y, clamp32(int64_t(x) + src->width), clamp32(int64_t(y) + src->height)};
  ClipRect(&r, &area);
  int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;
  int64_t skipX = int64_t(r.left) - x, skipY = int64_t(r.top) - y;

  uint32_t mode = uint32_t(g_DrawState.blendMode);
  uint32_t p = uint32_t(std::clamp(g_DrawState.blendParam, 0, 255));
  bool white = g_DrawState.brightBlue == 255 && g_DrawState.brightGreen == 255 &&
               g_DrawState.brightRed == 255;
  bool runs = trans == 1 && sd->runMapValid && sd->runMap && width == src->width &&
              height == src->height && IsMemImgWholeImage(src);
  bool kind32 = dd->kind == MEMIMG_KIND_XRGB8888;
  // A plain keyed copy compares the key a vector at a time faster than it follows the
  // map, whose short runs cost a mispredicted branch each. A valid map built with this
  // key marks exactly the pixels equal to it, so the pixels drawn are the same.
  if (runs && mode == 0 && white && !blendImage && !sd->paletteFlag && !sd->alphaFlag &&
      sd->runMapKey == sd->transparentColor && (kind32 || sd->transparentColor <= 0xFFFF))
    runs = false;
  bool noFactor = !blendImage && !sd->alphaFlag;
  BlitChoice choice = {ChooseOp(mode, p, kind32, noFactor, noFactor && !runs, white),
                       blendImage != nullptr, white, trans != 0, runs};
  if (choice.op == BLIT_OP_NONE) return;

  BlitJob j{};
  int srcBytes = sd->format->bytesPerPixel, dstBytes = dd->format->bytesPerPixel;
  j.src = src->pixels + skipY * sd->pitch + skipX * srcBytes;
  j.dst = dst->pixels + int64_t(r.top) * dd->pitch + int64_t(r.left) * dstBytes;
  j.srcPitch = sd->pitch;
  j.dstPitch = dd->pitch;
  if (blendImage) {
    j.blendPitch = blendImage->data->pitch;
    j.blend = blendImage->pixels + skipY * j.blendPitch + skipX;
  }
  j.width = width;
  j.height = height;
  if (runs) {
    j.runMap = sd->runMap;
    j.runMapEnd = sd->runMap + (int64_t(sd->width) + 5) * sd->height;
  }
  j.tables = MakeBlitTables(int32_t(p), g_DrawState.brightBlue, g_DrawState.brightGreen,
                            g_DrawState.brightRed);

  if (sd->paletteFlag) {
    // All 256 entries, whatever the count in use says: an index past the count must not
    // read what an earlier call left here.
    if (kind32) {
      std::memcpy(PaletteBlitCache.entries32, sd->palette, sizeof PaletteBlitCache.entries32);
    } else {
      std::memcpy(PaletteBlitCache.entries16, sd->palette, sizeof PaletteBlitCache.entries16);
    }
    j.key = sd->transparentColor & 0xFF;
  } else {
    j.key = kind32 ? sd->transparentColor : sd->transparentColor & 0xFFFF;
  }

  if (kind32) {
    BlitFamily<PixelFamily32>(j, choice, sd);
  } else {
    BlitFamily<PixelFamily16>(j, choice, sd);
  }
}
