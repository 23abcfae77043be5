// One pixel of the software renderer's blend modes, as the plain blit draws it: the two
// pixel families, the operations the blend modes map onto, and the operation on one
// destination pixel with its factors. The box and the line draw one colour through the
// same operations (without factors, at white, having tinted the colour themselves).
#pragma once

#include "engine/softimage/blendops.h"
#include "engine/softimage/blendtables.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

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

// The rows for a parameter (clamped to 0-255) and the brightness bytes.
inline BlitTables MakeBlitTables(int32_t p, uint8_t blue, uint8_t green, uint8_t red) {
  uint32_t row = uint32_t(p < 0 ? 0 : p > 255 ? 255 : p);
  return {row,
          {BlendMulTable[blue], BlendMulTable[green], BlendMulTable[red]},
          BlendMulTable[row],
          &BlendDiffTable[row][256],
          BlendMix6Table[row / 4]};
}

// Pixel families: channel 0 blue, 1 green, 2 red.
struct PixelFamily32 {
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
struct PixelFamily16 {
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
constexpr uint32_t ChannelMax(int c) {
  return (1u << F::kBits[c]) - 1;
}
template <class F>
uint32_t ChannelOf(uint32_t v, int c) {
  return (v >> F::kShift[c]) & ChannelMax<F>(c);
}

// The three channels of F, each made by fn(c) with c a constant index (0 blue, 1 green,
// 2 red) and shifted into place; written out so that every shift is a constant.
template <class F, class Fn>
uint32_t PackChannels(Fn fn) {
  return fn(std::integral_constant<int, 0>{}) << F::kShift[0] |
         fn(std::integral_constant<int, 1>{}) << F::kShift[1] |
         fn(std::integral_constant<int, 2>{}) << F::kShift[2];
}

// Operations. The blend modes map onto them; the fast forms (average, 6-bit mix table,
// per-byte saturation, unscaled add and subtract) are operations of their own.
enum BlitOp : int {
  BLIT_OP_NONE = -1,
  BLIT_OP_COPY,      // mode 0, and mode 1 at 255
  BLIT_OP_MIX,       // mode 1
  BLIT_OP_INVERT,    // mode 10
  BLIT_OP_MUL_MIX,   // mode 11
  BLIT_OP_ADD,       // mode 2 with a scaled source
  BLIT_OP_ADD_FULL,  // mode 2 at 255 with no factor
  BLIT_OP_SUB,       // mode 3
  BLIT_OP_SUB_FULL,  // mode 3 at 255 with no factor (pairs in 16 bits)
  BLIT_OP_MUL,       // mode 4
  BLIT_OP_AVERAGE,   // mode 1 at 128
  BLIT_OP_MIX6,      // 16-bit mode 1 through BlendMix6Table
  BLIT_OP_SAT_ADD,   // 32-bit mode 2 at 255, MMX form
  BLIT_OP_SAT_SUB,   // 32-bit mode 3 at 255, MMX form
};

// One pixel of one operation. kF: the blend-image factor f applies; kA: the alpha factor
// a applies; kWhite: the brightness is white. The factors arrive as 0-255. op(at, s, a, f)
// treats the destination pixel at `at` with the source value s (a palette entry already
// looked up; the low 16 bits for the 16-bit family).
template <class F, int kOp, bool kF, bool kA, bool kWhite>
struct BlitPixelOp {
  BlitTables tab;

  // Modes 0 to 3 leave alpha-0 pixels alone under trans; 4, 10 and 11 are scaled by them.
  static constexpr bool kSkipsClear =
      kOp != BLIT_OP_MUL && kOp != BLIT_OP_INVERT && kOp != BLIT_OP_MUL_MIX;
  static constexpr bool kFactors = kF || kA;

  // The source value after brightness (mode 10 inverts first). White leaves s whole,
  // byte 3 included, for the whole-pixel paths.
  uint32_t Prep(uint32_t s) const {
    constexpr bool kInvert = kOp == BLIT_OP_INVERT;
    if constexpr (kWhite) {
      return kInvert ? s ^ F::kColour : s;
    } else {
      return PackChannels<F>([&](auto c) {
        uint32_t v = ChannelOf<F>(s, c);
        return tab.bright[c][kInvert ? ChannelMax<F>(c) - v : v];
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
             return LerpChannel(ChannelOf<F>(d, c), ChannelOf<F>(t, c), k, shift);
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
        int32_t dc = int32_t(ChannelOf<F>(d, c));
        return uint32_t(dc + tab.diffP[int32_t(ChannelOf<F>(t, c)) - dc]);
      });
    }
  }

  // The scaled source s' of the add and subtract.
  uint32_t Scaled(uint32_t x, uint32_t a, uint32_t f) const {
    return PackChannels<F>([&](auto c) {
      uint32_t v = ChannelOf<F>(x, c);
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
    if constexpr (kOp == BLIT_OP_COPY) {
      if constexpr (kFactors) {
        return LerpAll(d, Prep(s), Factor(a, f), kFactorShift);
      } else if constexpr (kWhite) {
        return s;
      } else {
        return F::Kept(d) | Prep(s);
      }
    } else if constexpr (kOp == BLIT_OP_MIX || kOp == BLIT_OP_INVERT) {
      return MixToward(d, Prep(s), a, f);
    } else if constexpr (kOp == BLIT_OP_MUL_MIX) {
      uint32_t x = Prep(s);
      uint32_t m = PackChannels<F>(
          [&](auto c) { return MulChannels(ChannelOf<F>(x, c), ChannelOf<F>(d, c), F::kBits[c]); });
      return MixToward(d, m, a, f);
    } else if constexpr (kOp == BLIT_OP_ADD) {
      uint32_t sp = Scaled(Prep(s), a, f);
      return F::kBytes == 4 ? GuardAddScaled32(d, sp) : GuardAddScaled16(d, sp);
    } else if constexpr (kOp == BLIT_OP_ADD_FULL) {
      return F::kBytes == 4 ? GuardAdd32(d, Prep(s)) : GuardAdd16(d, Prep(s));
    } else if constexpr (kOp == BLIT_OP_SUB || kOp == BLIT_OP_SUB_FULL) {
      uint32_t sp = kOp == BLIT_OP_SUB ? Scaled(Prep(s), a, f) : Prep(s);
      return F::kBytes == 4 ? GuardSub32(d, sp) : GuardSub16(d, sp);
    } else if constexpr (kOp == BLIT_OP_MUL) {
      uint32_t x = Prep(s), m = 1;
      int extra = 0;
      if constexpr (kFactors) {
        m = Factor(a, f);
        extra = kFactorShift;
      }
      return F::Kept(d) | PackChannels<F>([&](auto c) {
               return ChannelOf<F>(x, c) * ChannelOf<F>(d, c) * m >> (F::kBits[c] + extra);
             });
    } else if constexpr (kOp == BLIT_OP_AVERAGE) {
      return F::kBytes == 4 ? Average32(d, s) : Average16(d, s) & 0xFFFF;
    } else if constexpr (kOp == BLIT_OP_MIX6) {
      return PackChannels<F>(
          [&](auto c) { return uint32_t(tab.mix6[ChannelOf<F>(s, c)][ChannelOf<F>(d, c)]); });
    } else if constexpr (kOp == BLIT_OP_SAT_ADD) {
      return SaturateAddBytes32(d, s);
    } else {
      static_assert(kOp == BLIT_OP_SAT_SUB);
      return SaturateSubBytes32(d, s);
    }
  }

  void operator()(uint8_t* at, uint32_t s, uint32_t a, uint32_t f) const {
    F::Store(at, Apply(F::Load(at), s, a, f));
  }
};
