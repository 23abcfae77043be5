#include "engine/softimage/blit.h"

#include "engine/graphics/drawstate.h"
#include "engine/softimage/blendops.h"
#include "engine/softimage/blendtables.h"

#include <algorithm>
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

// The parameter and the rows of the lookup tables a call needs. Each pixel operation
// keeps its own copy, so that stores through the pixel pointers (which may alias
// anything) never make the compiler fetch them again.
struct BlitTables {
  uint32_t p;
  const uint32_t* bright[3];  // BlendMulTable rows of blue, green, red brightness
  const uint32_t* mulP;       // BlendMulTable row p
  const int32_t* diffP;       // centre of BlendDiffTable row p
  const uint8_t (*mix6)[64];  // BlendMix6Table block p / 4
};

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

// Pixel families: channel 0 blue, 1 green, 2 red.
struct Family32 {
  static constexpr int kBytes = 4;
  static constexpr int kShift[3] = {0, 8, 16};
  static constexpr int kBits[3] = {8, 8, 8};
  static constexpr uint32_t kColour = 0x00FFFFFF;
  static uint32_t Load(const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
  }
  static void Store(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }
  // Byte 3 of the destination survives the arithmetic paths.
  static uint32_t Kept(uint32_t d) { return d & 0xFF000000; }
};
struct Family16 {
  static constexpr int kBytes = 2;
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kBits[3] = {5, 6, 5};
  static constexpr uint32_t kColour = 0xFFFF;
  static uint32_t Load(const uint8_t* at) {
    uint16_t v;
    std::memcpy(&v, at, 2);
    return v;
  }
  static void Store(uint8_t* at, uint32_t v) {
    uint16_t w = uint16_t(v);
    std::memcpy(at, &w, 2);
  }
  static uint32_t Kept(uint32_t) { return 0; }
};

template <class F>
constexpr uint32_t MaxOf(int c) {
  return (1u << F::kBits[c]) - 1;
}
template <class F>
uint32_t Chan(uint32_t v, int c) {
  return (v >> F::kShift[c]) & MaxOf<F>(c);
}

// The three channels of F, each made by fn(c) with c a constant index (0 blue, 1 green,
// 2 red) and shifted into place; written out so that every shift is a constant.
template <class F, class Fn>
uint32_t PackChannels(Fn fn) {
  return fn(std::integral_constant<int, 0>{}) << F::kShift[0] |
         fn(std::integral_constant<int, 1>{}) << F::kShift[1] |
         fn(std::integral_constant<int, 2>{}) << F::kShift[2];
}

uint32_t Load32(const uint8_t* at) { return Family32::Load(at); }

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

// Operations. The blend modes map onto them; the fast forms (average, 6-bit mix table,
// per-byte saturation, unscaled add and subtract) are operations of their own.
enum BlitOp : int {
  OP_NONE = -1,
  OP_COPY,       // mode 0, and mode 1 at 255
  OP_MIX,        // mode 1
  OP_INVERT,     // mode 10
  OP_MUL_MIX,    // mode 11
  OP_ADD,        // mode 2 with a scaled source
  OP_ADD_FULL,   // mode 2 at 255 with no factor
  OP_SUB,        // mode 3
  OP_SUB_FULL,   // mode 3 at 255 with no factor (pairs in 16 bits)
  OP_MUL,        // mode 4
  OP_AVERAGE,    // mode 1 at 128
  OP_MIX6,       // 16-bit mode 1 through BlendMix6Table
  OP_SAT_ADD,    // 32-bit mode 2 at 255, MMX form
  OP_SAT_SUB,    // 32-bit mode 3 at 255, MMX form
};

// One pixel of one operation. kF: the blend-image factor f applies; kA: the alpha factor
// a applies; kWhite: the brightness is white. The factors arrive as 0-255.
template <class F, int kOp, bool kF, bool kA, bool kWhite>
struct PixelOp {
  BlitTables tab;

  // Modes 0 to 3 leave alpha-0 pixels alone under trans; 4, 10 and 11 are scaled by them.
  static constexpr bool kSkipsClear = kOp != OP_MUL && kOp != OP_INVERT && kOp != OP_MUL_MIX;
  static constexpr bool kFactors = kF || kA;

  // The source value after brightness (mode 10 inverts first). White leaves s whole,
  // byte 3 included, for the whole-pixel paths.
  uint32_t Prep(uint32_t s) const {
    constexpr bool kInvert = kOp == OP_INVERT;
    if constexpr (kWhite) {
      return kInvert ? s ^ F::kColour : s;
    } else {
      return PackChannels<F>([&](auto c) {
        uint32_t v = Chan<F>(s, c);
        return tab.bright[c][kInvert ? MaxOf<F>(c) - v : v];
      });
    }
  }

  // The factor product and its shift when f and a multiply a factor K of 256.
  static uint32_t Factor(uint32_t a, uint32_t f) {
    if constexpr (kF && kA) {
      return f * a;
    } else if constexpr (kF) {
      return f;
    } else {
      return a;
    }
  }
  static constexpr int kFactorShift = kF && kA ? 16 : 8;

  // Each channel of d moved toward t by k / 2^shift; byte 3 of d kept.
  static uint32_t LerpAll(uint32_t d, uint32_t t, uint32_t k, int shift) {
    return F::Kept(d) | PackChannels<F>([&](auto c) {
             return LerpChannel(Chan<F>(d, c), Chan<F>(t, c), k, shift);
           });
  }

  // Mixing toward t by p (modes 1, 10, 11), with f and a multiplying in.
  uint32_t MixToward(uint32_t d, uint32_t t, uint32_t a, uint32_t f) const {
    uint32_t p = tab.p;
    if constexpr (kFactors) {
      return LerpAll(d, t, p * Factor(a, f), kFactorShift + 8);
    } else if constexpr (F::kBytes == 4) {
      return F::Kept(d) | Lerp32(d, t, p);
    } else {
      return PackChannels<F>([&](auto c) {
        int32_t dc = int32_t(Chan<F>(d, c));
        return uint32_t(dc + tab.diffP[int32_t(Chan<F>(t, c)) - dc]);
      });
    }
  }

  // The scaled source s' of the add and subtract.
  uint32_t Scaled(uint32_t x, uint32_t a, uint32_t f) const {
    return PackChannels<F>([&](auto c) {
      uint32_t v = Chan<F>(x, c);
      if constexpr (!kFactors) {
        return tab.mulP[v];
      } else if constexpr (F::kBytes == 4) {
        return v * tab.p * Factor(a, f) >> (kFactorShift + 8);
      } else {
        return tab.mulP[v * Factor(a, f) >> kFactorShift];
      }
    });
  }

  uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t f) const {
    if constexpr (kOp == OP_COPY) {
      if constexpr (kFactors) {
        return LerpAll(d, Prep(s), Factor(a, f), kFactorShift);
      } else if constexpr (kWhite) {
        return s;
      } else {
        return F::Kept(d) | Prep(s);
      }
    } else if constexpr (kOp == OP_MIX || kOp == OP_INVERT) {
      return MixToward(d, Prep(s), a, f);
    } else if constexpr (kOp == OP_MUL_MIX) {
      uint32_t x = Prep(s);
      uint32_t m = PackChannels<F>([&](auto c) { return Chan<F>(x, c) * Chan<F>(d, c) >> F::kBits[c]; });
      return MixToward(d, m, a, f);
    } else if constexpr (kOp == OP_ADD) {
      uint32_t sp = Scaled(Prep(s), a, f);
      return F::kBytes == 4 ? GuardAddScaled32(d, sp) : GuardAddScaled16(d, sp);
    } else if constexpr (kOp == OP_ADD_FULL) {
      return F::kBytes == 4 ? GuardAdd32(d, Prep(s)) : GuardAdd16(d, Prep(s));
    } else if constexpr (kOp == OP_SUB || kOp == OP_SUB_FULL) {
      uint32_t sp = kOp == OP_SUB ? Scaled(Prep(s), a, f) : Prep(s);
      return F::kBytes == 4 ? GuardSub32(d, sp) : GuardSub16(d, sp);
    } else if constexpr (kOp == OP_MUL) {
      uint32_t x = Prep(s), m = 1;
      int extra = 0;
      if constexpr (kFactors) {
        m = Factor(a, f);
        extra = kFactorShift;
      }
      return F::Kept(d) | PackChannels<F>([&](auto c) {
               return Chan<F>(x, c) * Chan<F>(d, c) * m >> (F::kBits[c] + extra);
             });
    } else if constexpr (kOp == OP_AVERAGE) {
      return F::kBytes == 4 ? Average32(d, s) : Average16(d, s) & 0xFFFF;
    } else if constexpr (kOp == OP_MIX6) {
      return PackChannels<F>([&](auto c) { return uint32_t(tab.mix6[Chan<F>(s, c)][Chan<F>(d, c)]); });
    } else if constexpr (kOp == OP_SAT_ADD) {
      return SaturateAddBytes32(d, s);
    } else {
      static_assert(kOp == OP_SAT_SUB);
      return SaturateSubBytes32(d, s);
    }
  }

  void operator()(uint8_t* at, uint32_t s, uint32_t a, uint32_t f) const {
    F::Store(at, Apply(F::Load(at), s, a, f));
  }
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
      : src(j.src), dst(j.dst), blend(j.blend), srcPitch(j.srcPitch), dstPitch(j.dstPitch),
        blendPitch(j.blendPitch), width(j.width), height(j.height), key(j.key) {}
  const uint8_t* Src(int32_t row) const { return src + row * srcPitch; }
  uint8_t* Dst(int32_t row) const { return dst + row * dstPitch; }
  const uint8_t* Blend(int32_t row) const { return blend + row * blendPitch; }
};

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
        Family32::Store(d, pair(Load32(d), both));
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

// All ones in the pixels (lanes) of an 8-byte word of F that differ from the key.
template <class F>
uint64_t DrawnLanes(uint64_t s, uint64_t keys) {
  constexpr uint64_t kLow = F::kBytes == 4 ? 0x7FFFFFFF7FFFFFFFull : 0x7FFF7FFF7FFF7FFFull;
  constexpr uint64_t kFill = F::kBytes == 4 ? 0xFFFFFFFFull : 0xFFFFull;
  uint64_t x = s ^ keys;
  uint64_t top = (((x & kLow) + kLow) | x) & ~kLow;
  return (top >> (F::kBytes * 8 - 1)) * kFill;
}

// Whole-pixel operations whose result for a pixel depends on that pixel alone, on direct
// sources at white brightness: eight bytes (two 32-bit or four 16-bit pixels) at a time,
// the key's pixels keeping the destination; the row's tail one pixel at a time.
template <class F, bool kTrans, class Wide, class Single>
void WalkWide(const BlitJob& job, Wide wide, const Single single) {
  constexpr int kPer = 8 / F::kBytes;
  const Rows r(job);
  const uint64_t keys = F::kBytes == 4 ? r.key * 0x0000000100000001ull
                                       : (r.key & 0xFFFF) * 0x0001000100010001ull;
  for (int32_t row = 0; row < r.height; row++) {
    const uint8_t* s = r.Src(row);
    uint8_t* d = r.Dst(row);
    int32_t i = 0;
    for (; i + kPer <= r.width; i += kPer, s += 8, d += 8) {
      uint64_t sv, dv;
      std::memcpy(&sv, s, 8);
      std::memcpy(&dv, d, 8);
      uint64_t out = wide(dv, sv);
      if constexpr (kTrans) {
        uint64_t drawn = DrawnLanes<F>(sv, keys);
        out = (out & drawn) | (dv & ~drawn);
      }
      std::memcpy(d, &out, 8);
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
  PixelOp<F, kOp, kF, S::kAlpha, kWhite> op{j.tables};
  PixelOp<F, kOp, kF, false, kWhite> opNoA{j.tables};
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

// The eight-byte form of an operation on F, where one exists.
template <class F, int kOp>
constexpr bool kHasWide = kOp == OP_COPY || kOp == OP_AVERAGE ||
                          (F::kBytes == 4 && (kOp == OP_ADD_FULL || kOp == OP_SUB_FULL ||
                                              kOp == OP_SAT_ADD || kOp == OP_SAT_SUB));
template <class F, int kOp>
uint64_t WideOp(uint64_t d, uint64_t s) {
  if constexpr (kOp == OP_COPY) {
    (void)d;
    return s;
  } else if constexpr (kOp == OP_AVERAGE) {
    return F::kBytes == 4 ? Average32(d, s) : Average16(d, s);
  } else if constexpr (kOp == OP_ADD_FULL) {
    return GuardAdd32(d, s);
  } else if constexpr (kOp == OP_SUB_FULL) {
    return GuardSub32(d, s);
  } else if constexpr (kOp == OP_SAT_ADD) {
    return SaturateAddBytes32(d, s);
  } else {
    static_assert(kOp == OP_SAT_SUB);
    return SaturateSubBytes32(d, s);
  }
}

// Operations without blend image and alpha factor (the source has no alpha): the copy
// at white, the unscaled add and subtract (any brightness) and the white-only fast forms.
template <class F, class S, int kOp>
void WalkNoFactor(const BlitJob& j, const BlitChoice& c) {
  constexpr bool kWhiteOnly = kOp == OP_AVERAGE || kOp == OP_MIX6 || kOp == OP_SAT_ADD ||
                              kOp == OP_SAT_SUB;
  constexpr bool kPairs = F::kBytes == 2 && (kOp == OP_ADD_FULL || kOp == OP_SUB_FULL);
  auto walk = [&](auto white) {
    constexpr bool kWhite = decltype(white)::value;
    PixelOp<F, kOp, false, false, kWhite> op{j.tables};
    if constexpr (std::is_same_v<S, DirectSource<F>> && kWhite && kHasWide<F, kOp>) {
      if (!c.runs) {
        auto wide = [](uint64_t d, uint64_t s) { return WideOp<F, kOp>(d, s); };
        c.trans ? WalkWide<F, true>(j, wide, op) : WalkWide<F, false>(j, wide, op);
        return;
      }
    }
    if constexpr (kPairs) {
      if (!c.runs) {
        auto pair = [](uint32_t d, uint32_t s) {
          return kOp == OP_ADD_FULL ? GuardAddPair16(d, s) : GuardSubPair16(d, s);
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

// Mode 0 at white brightness with nothing to test or scale: whole rows.
void CopyRows(const BlitJob& j, int bytesPerPixel) {
  size_t rowBytes = size_t(j.width) * size_t(bytesPerPixel);
  for (int32_t row = 0; row < j.height; row++) {
    std::memmove(j.dst + row * j.dstPitch, j.src + row * j.srcPitch, rowBytes);
  }
}

template <class F, class S>
void BlitSource(const BlitJob& j, const BlitChoice& c) {
  switch (c.op) {
    case OP_COPY:
      if constexpr (!S::kAlpha) {
        if (!c.blend && c.white && !c.runs) {
          if (!c.trans && S::kBytes == F::kBytes) return CopyRows(j, F::kBytes);
          return WalkNoFactor<F, S, OP_COPY>(j, c);
        }
      }
      return WalkAnyFlags<F, S, OP_COPY>(j, c);
    case OP_MIX: return WalkAnyFlags<F, S, OP_MIX>(j, c);
    case OP_INVERT: return WalkAnyFlags<F, S, OP_INVERT>(j, c);
    case OP_MUL_MIX: return WalkAnyFlags<F, S, OP_MUL_MIX>(j, c);
    case OP_ADD: return WalkAnyFlags<F, S, OP_ADD>(j, c);
    case OP_SUB: return WalkAnyFlags<F, S, OP_SUB>(j, c);
    case OP_MUL: return WalkAnyFlags<F, S, OP_MUL>(j, c);
    default: break;
  }
  if constexpr (!S::kAlpha) {
    switch (c.op) {
      case OP_ADD_FULL: return WalkNoFactor<F, S, OP_ADD_FULL>(j, c);
      case OP_SUB_FULL: return WalkNoFactor<F, S, OP_SUB_FULL>(j, c);
      case OP_AVERAGE: return WalkNoFactor<F, S, OP_AVERAGE>(j, c);
      default: break;
    }
    if constexpr (F::kBytes == 2) {
      if (c.op == OP_MIX6) return WalkNoFactor<F, S, OP_MIX6>(j, c);
    } else {
      if (c.op == OP_SAT_ADD) return WalkNoFactor<F, S, OP_SAT_ADD>(j, c);
      if (c.op == OP_SAT_SUB) return WalkNoFactor<F, S, OP_SAT_SUB>(j, c);
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
    if (c.op == OP_COPY && !c.blend && c.white && !c.trans) {
      if constexpr (F::kBytes == 4) {
        CopyRows(j, 4);
      } else {
        PixelOp<F, OP_COPY, false, false, true> op{j.tables};
        WalkPixels<F, AlphaSource<F, false>, false, false>(j, op, op);
      }
    } else {
      BlitSource<F, AlphaSource<F, true>>(j, c);
    }
  } else {
    BlitSource<F, DirectSource<F>>(j, c);
  }
}

// The operation of a mode, or OP_NONE. fast: the per-pixel walk without blend image and
// alpha source, where the averages, the 6-bit mix and the MMX forms live.
int ChooseOp(uint32_t mode, uint32_t p, bool kind32, bool noFactor, bool fast, bool white) {
  switch (mode) {
    case 0: return OP_COPY;
    case 1:
      if (p == 0) return OP_NONE;
      if (p == 255) return OP_COPY;
      if (fast && white) {
        if (p == 128) return OP_AVERAGE;
        if (!kind32) return OP_MIX6;
      }
      return OP_MIX;
    case 2:
      if (p == 0) return OP_NONE;
      if (p != 255 || !noFactor) return OP_ADD;
      return kind32 && fast && white && g_mmxUsable ? OP_SAT_ADD : OP_ADD_FULL;
    case 3:
      if (p == 0) return OP_NONE;
      if (p != 255 || !noFactor) return OP_SUB;
      return kind32 && fast && white && g_mmxUsable ? OP_SAT_SUB : OP_SUB_FULL;
    case 4: return OP_MUL;
    case 10: return OP_INVERT;
    case 11: return OP_MUL_MIX;
    default: return OP_NONE;
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
  auto clamp32 = [](int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
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
  bool noFactor = !blendImage && !sd->alphaFlag;
  BlitChoice choice = {ChooseOp(mode, p, kind32, noFactor, noFactor && !runs, white),
                       blendImage != nullptr, white, trans != 0, runs};
  if (choice.op == OP_NONE) return;

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
  j.tables.p = p;
  j.tables.bright[0] = BlendMulTable[g_DrawState.brightBlue];
  j.tables.bright[1] = BlendMulTable[g_DrawState.brightGreen];
  j.tables.bright[2] = BlendMulTable[g_DrawState.brightRed];
  j.tables.mulP = BlendMulTable[p];
  j.tables.diffP = &BlendDiffTable[p][256];
  j.tables.mix6 = BlendMix6Table[p / 4];

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
    BlitFamily<Family32>(j, choice, sd);
  } else {
    BlitFamily<Family16>(j, choice, sd);
  }
}
