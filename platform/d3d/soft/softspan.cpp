// The soft rasteriser's span functions and the tables they are chosen from (rules in
// softraster.h).
#include "platform/d3d/soft/softspan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace soft {

namespace {

bool g_SpanPath = true;

// ---- spans ---------------------------------------------------------------------------------
//
// The draws of one stage and no depth go a row at a time through span functions chosen
// once per draw for the texture's and the target's formats, the filter, the ops, the
// alpha test and the blend: a fetch fills a chunk with texels (or drops keyed ones), and a
// write combines, tests, blends and stores them. A copy does both at once where the texel's
// colour goes to the target unblended. Every choice the general
// path makes per pixel is made once, with the same arithmetic in the same order, and the
// addresses are Address()'s own: the results are ShadePixel's bit for bit.

enum ColourKind { kColourTexel, kColourModulate, kColourGeneral, kColourKinds };
enum BlendKind { kBlendNone, kBlendMix, kBlendAdd, kBlendGeneral, kBlendKinds };

inline int AlphaOf(const SpanJob& j, const Color& texel) {
  switch (j.draw->spans.alphaKind) {
    case kSpanAlphaConstant: return j.alpha;
    case kSpanAlphaTexel: return texel.a;
    default:
      return Operate(j.alphaOp, PickAlpha(j.alpha1, texel.a), PickAlpha(j.alpha2, texel.a), j.diffuseAlpha,
                     j.diffuseAlpha);
  }
}

// Four channels at once, for the filter's sums.
typedef int32_t Lanes __attribute__((vector_size(16)));

inline Lanes LanesOf(const Color& c) { return Lanes{c.r, c.g, c.b, c.a}; }

// (c00 w00 + c10 w10 + c01 w01 + c11 w11 + 32768) >> 16 with the weights of fu and fv,
// summed as (256 - fu) (c00 (256 - fv) + c01 fv) + fu (c10 (256 - fv) + c11 fv): the
// same integers, with the columns' sums shared by neighbouring pixels.
inline Lanes Column(const Color& top, const Color& bottom, int fv) {
  return LanesOf(top) * (256 - fv) + LanesOf(bottom) * fv;
}
inline Color Filtered(Lanes left, Lanes right, int fu) {
  const Lanes m = (left * (256 - fu) + right * fu + 32768) >> 16;
  return {m[0], m[1], m[2], m[3]};
}

template <int kSrc, bool kLinear>
void FetchSpan(SpanJob& j, int32_t n) {
  using S = Format<kSrc>;
  const Surface t = *j.texture;
  int64_t first = 0;
  if (j.v.mode == AddressStepper::kConstant && j.u.Run(&first)) {
    // A texel a pixel along one row (or two, filtered): no clamps, and each texel decoded once.
    if constexpr (!kLinear) {
      const int64_t column = first >> 8;
      if (column >= 0 && column + n <= t.width) {
        const uint8_t* from = TexelAt(t, int32_t(column), ClampIndex(j.v.at >> 8, t.height));
        for (int32_t i = 0; i < n; i++) {
          const uint32_t raw = S::Get(from + size_t(i) * S::kBytes);
          j.live[i] = !(j.keyed && (raw & S::kColorMask) == t.keyBits);
          j.texels[i] = S::Decode(raw);
        }
        j.u.Skip(n);
        return;
      }
    } else {
      const int64_t bu = first - 128, bv = j.v.at - 128;
      const int64_t column = bu >> 8;
      if (column >= 0 && column + n + 1 <= t.width) {
        const int fu = int(bu & 255), fv = int(bv & 255);
        const uint8_t* top = TexelAt(t, int32_t(column), ClampIndex(bv >> 8, t.height));
        const uint8_t* bottom = TexelAt(t, int32_t(column), ClampIndex((bv >> 8) + 1, t.height));
        const uint8_t* keys = TexelAt(t, 0, ClampIndex(j.v.at >> 8, t.height));
        const int64_t keyColumn = first >> 8;  // the texel point sampling takes, for the key
        Lanes left = Column(S::Decode(S::Get(top)), S::Decode(S::Get(bottom)), fv);
        for (int32_t i = 0; i < n; i++) {
          const size_t next = size_t(i + 1) * S::kBytes;
          const Lanes right = Column(S::Decode(S::Get(top + next)), S::Decode(S::Get(bottom + next)), fv);
          j.texels[i] = Filtered(left, right, fu);
          left = right;
          j.live[i] = true;
          if (j.keyed) {
            const uint32_t raw = S::Get(keys + size_t(ClampIndex(keyColumn + i, t.width)) * S::kBytes);
            j.live[i] = (raw & S::kColorMask) != t.keyBits;
          }
        }
        j.u.Skip(n);
        return;
      }
    }
  }
  // The steppers in registers: the stores below could otherwise alias them.
  AddressStepper u = j.u, v = j.v;
  for (int32_t i = 0; i < n; i++) {
    const int64_t au = u.Next(), av = v.Next();
    j.live[i] = true;
    if (!kLinear || j.keyed) {
      const uint32_t raw = S::Get(TexelAt(t, ClampIndex(au >> 8, t.width), ClampIndex(av >> 8, t.height)));
      if (j.keyed && (raw & S::kColorMask) == t.keyBits) {
        j.live[i] = false;
        continue;
      }
      if constexpr (!kLinear) {
        j.texels[i] = S::Decode(raw);
        continue;
      }
    }
    if constexpr (kLinear) {
      const int64_t bu = au - 128, bv = av - 128;
      const int fu = int(bu & 255), fv = int(bv & 255);
      const int32_t x0 = ClampIndex(bu >> 8, t.width), x1 = ClampIndex((bu >> 8) + 1, t.width);
      const int32_t y0 = ClampIndex(bv >> 8, t.height), y1 = ClampIndex((bv >> 8) + 1, t.height);
      const Lanes left = Column(S::Decode(S::Get(TexelAt(t, x0, y0))), S::Decode(S::Get(TexelAt(t, x0, y1))), fv);
      const Lanes right = Column(S::Decode(S::Get(TexelAt(t, x1, y0))), S::Decode(S::Get(TexelAt(t, x1, y1))), fv);
      j.texels[i] = Filtered(left, right, fu);
    }
  }
  j.u = u;
  j.v = v;
}

// A stage without a texture to read: TEXTURE is white, and nothing is keyed.
void FetchWhite(SpanJob& j, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    j.texels[i] = {255, 255, 255, 255};
    j.live[i] = true;
  }
}

template <int kBlend>
inline int Blended(const Draw& d, int s, int sa, int dst) {
  if constexpr (kBlend == kBlendMix) return std::min(255, (s * sa + dst * (255 - sa) + 127) / 255);
  else if constexpr (kBlend == kBlendAdd) return std::min(255, (s * sa + dst * 255 + 127) / 255);
  else return BlendChannel(d, s, sa, dst);
}

template <int kDst, int kColour, int kBlend>
void WriteSpan(SpanJob& j, int32_t n) {
  using D = Format<kDst>;
  const Draw& d = *j.draw;
  uint8_t* out = j.out;
  const uint8_t alphaKind = d.spans.alphaKind;
  const int alpha = j.alpha;
  const Color factor = j.factor;
  const bool* const pass = d.spans.alphaPass;
  for (int32_t i = 0; i < n; i++, out += D::kBytes) {
    if (!j.live[i]) continue;
    const Color t = j.texels[i];
    const int a = alphaKind == kSpanAlphaConstant ? alpha : alphaKind == kSpanAlphaTexel ? t.a : AlphaOf(j, t);
    if (!pass[a]) continue;
    Color c;
    if constexpr (kColour == kColourTexel) c = {t.r, t.g, t.b, a};
    else if constexpr (kColour == kColourModulate) c = {Mul(t.r, factor.r), Mul(t.g, factor.g), Mul(t.b, factor.b), a};
    else c = OperateColor(j.colorOp, Pick(j.color1, t), Pick(j.color2, t), j.diffuseAlpha, j.diffuseAlpha, a);
    const uint32_t old = kBlend != kBlendNone || D::kKeep ? D::Get(out) : 0;
    if constexpr (kBlend != kBlendNone) {
      const Color dst = D::Decode(old);
      c = {Blended<kBlend>(d, c.r, a, dst.r), Blended<kBlend>(d, c.g, a, dst.g), Blended<kBlend>(d, c.b, a, dst.b),
           D::kMasks.a ? Blended<kBlend>(d, c.a, a, dst.a) : 0};
    }
    D::Put(out, D::Encode(c, old));
  }
  j.out = out;
}

// The texel's colour onto the target, unblended and point sampled: on a target of the same
// colour layout widening and narrowing give back the colour bits, so they are copied as
// they are.
constexpr auto kYes = [](bool) { return true; };
constexpr auto kNo = [](bool) { return false; };
constexpr auto kAsIs = [](bool b) { return b; };

// What a row copy does to each pixel: (old & keep) | (texel & take) | bits, a keyed texel
// (its colour bits `key` under colorMask) or one whose 8-bit alpha (bits 24 to 31) lies
// outside (lo, hi) leaving the pixel as it was.
struct RowOp {
  uint32_t take, keep, bits, colorMask, key;
  int32_t lo, hi;
};

template <typename T, int kBytes>
struct Vectors {
  typedef T Unsigned __attribute__((vector_size(kBytes)));
  typedef std::make_signed_t<T> Signed __attribute__((vector_size(kBytes)));
};

// The copy a vector of kBytes at a time; the pixels it took.
template <typename T, int kBytes, bool kKeyed, bool kTested>
[[gnu::always_inline]] inline int32_t CopyLanes(const uint8_t* from, uint8_t* to, int32_t n, const RowOp& op) {
  using V = typename Vectors<T, kBytes>::Unsigned;
  using S = typename Vectors<T, kBytes>::Signed;
  constexpr int32_t kCount = int32_t(kBytes / sizeof(T));
  const V take = V{} + T(op.take), keep = V{} + T(op.keep), bits = V{} + T(op.bits), mask = V{} + T(op.colorMask),
          key = V{} + T(op.key);
  int32_t i = 0;
  for (; i + kCount <= n; i += kCount) {
    V raw, old;
    std::memcpy(&raw, from + size_t(i) * sizeof(T), kBytes);
    std::memcpy(&old, to + size_t(i) * sizeof(T), kBytes);
    V v = (old & keep) | (raw & take) | bits;
    if constexpr (kKeyed || kTested) {
      V drop = V{};
      if constexpr (kKeyed) drop = V((raw & mask) == key);
      if constexpr (kTested) {
        const S a = S(raw >> 24);
        drop |= V((a <= op.lo) | (a >= op.hi));
      }
      v = (drop & old) | (~drop & v);
    }
    std::memcpy(to + size_t(i) * sizeof(T), &v, kBytes);
  }
  return i;
}

template <typename T, int kBytes>
[[gnu::always_inline]] inline int32_t FillLanes(uint8_t* to, int32_t n, uint32_t keep, uint32_t value) {
  using V = typename Vectors<T, kBytes>::Unsigned;
  constexpr int32_t kCount = int32_t(kBytes / sizeof(T));
  const V kept = V{} + T(keep), put = V{} + T(value);
  int32_t i = 0;
  for (; i + kCount <= n; i += kCount) {
    V v;
    std::memcpy(&v, to + size_t(i) * sizeof(T), kBytes);
    v = (v & kept) | put;
    std::memcpy(to + size_t(i) * sizeof(T), &v, kBytes);
  }
  return i;
}

template <typename T>
__attribute__((target("avx2"))) int32_t FillLanesWide(uint8_t* to, int32_t n, uint32_t keep, uint32_t value) {
  return FillLanes<T, 32>(to, n, keep, value);
}

// Asked while statics start, so the processor's features are read first.
const bool g_Wide = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();

// A row's pixels from i on, one at a time, by the RowOp.
template <typename T, bool kKeyed, bool kTested>
[[gnu::always_inline]] inline void CopyTail(const uint8_t* from, uint8_t* to, int32_t i, int32_t n, const RowOp& op) {
  for (; i < n; i++) {
    T raw, old;
    std::memcpy(&raw, from + size_t(i) * sizeof(T), sizeof(T));
    std::memcpy(&old, to + size_t(i) * sizeof(T), sizeof(T));
    if (kKeyed && (raw & op.colorMask) == op.key) continue;
    if constexpr (kTested) {
      const int32_t a = int32_t(uint32_t(raw) >> 24);
      if (a <= op.lo || a >= op.hi) continue;
    }
    const T v = T((old & op.keep) | (raw & op.take) | op.bits);
    std::memcpy(to + size_t(i) * sizeof(T), &v, sizeof(T));
  }
}

// Rows of n texels, a pitch apart, onto as many pixels of the same size, by the RowOp: the
// rows of a sprite are short, so they go in one call rather than one each.
template <typename T, int kBytes, bool kKeyed, bool kTested>
[[gnu::always_inline]] inline void CopyRowsOf(const uint8_t* from, ptrdiff_t fromPitch, uint8_t* to,
                                              ptrdiff_t toPitch, int32_t n, int32_t rows, const RowOp& op) {
  for (int32_t r = 0; r < rows; r++, from += fromPitch, to += toPitch) {
    int32_t i = CopyLanes<T, kBytes, kKeyed, kTested>(from, to, n, op);
    if constexpr (kBytes > 16) {
      i += CopyLanes<T, 16, kKeyed, kTested>(from + size_t(i) * sizeof(T), to + size_t(i) * sizeof(T), n - i, op);
    }
    CopyTail<T, kKeyed, kTested>(from, to, i, n, op);
  }
}

template <typename T, bool kKeyed, bool kTested>
__attribute__((target("avx2"))) void CopyRowsWide(const uint8_t* from, ptrdiff_t fromPitch, uint8_t* to,
                                                  ptrdiff_t toPitch, int32_t n, int32_t rows, const RowOp& op) {
  CopyRowsOf<T, 32, kKeyed, kTested>(from, fromPitch, to, toPitch, n, rows, op);
}

template <typename T, bool kKeyed, bool kTested>
void CopyRows(const uint8_t* from, ptrdiff_t fromPitch, uint8_t* to, ptrdiff_t toPitch, int32_t n, int32_t rows,
              const RowOp& op) {
  static_assert(!kTested || sizeof(T) == 4);
  if (g_Wide) CopyRowsWide<T, kKeyed, kTested>(from, fromPitch, to, toPitch, n, rows, op);
  else CopyRowsOf<T, 16, kKeyed, kTested>(from, fromPitch, to, toPitch, n, rows, op);
}

template <int kSrc, int kDst>
void CopySpan(SpanJob& j, int32_t n) {
  using S = Format<kSrc>;
  using D = Format<kDst>;
  // Of one colour layout the colour bits go as they are; else each channel is widened and
  // narrowed.
  constexpr bool kSameColour = S::kBytes == D::kBytes && S::kMasks.r == D::kMasks.r &&
                               S::kMasks.g == D::kMasks.g && S::kMasks.b == D::kMasks.b;
  const Draw& d = *j.draw;
  const Surface t = *j.texture;
  const bool texelAlpha = d.spans.alphaKind == kSpanAlphaTexel, keyed = j.keyed;
  const int alpha = j.alpha;
  const bool* const pass = d.spans.alphaPass;
  uint8_t* out = j.out;
  // The key test as a constant where the loop is made for one case.
  auto put = [&](uint32_t raw, uint8_t* to, auto keying) __attribute__((always_inline)) {
    if (keying(keyed) && (raw & S::kColorMask) == t.keyBits) return;
    const int a = texelAlpha ? S::Alpha(raw) : alpha;
    if (!pass[a]) return;
    const uint32_t old = D::kKeep ? D::Get(to) : 0;
    uint32_t colour;
    if constexpr (kSameColour)
      colour = raw & D::kColorMask;
    else
      colour = D::template Narrowed<D::kMasks.r>(S::template Channel<S::kMasks.r>(raw)) |
               D::template Narrowed<D::kMasks.g>(S::template Channel<S::kMasks.g>(raw)) |
               D::template Narrowed<D::kMasks.b>(S::template Channel<S::kMasks.b>(raw));
    D::Put(to, (old & D::kKeep) | colour | D::template Narrowed<D::kMasks.a>(a));
  };
  int64_t first = 0;
  if (j.v.mode == AddressStepper::kConstant && j.u.Run(&first) && first >> 8 >= 0 && (first >> 8) + n <= t.width) {
    const uint8_t* from = TexelAt(t, int32_t(first >> 8), ClampIndex(j.v.at >> 8, t.height));
    j.u.Skip(n);
    // A texel's alpha reaches the target as its own bits when both keep it alike (widening
    // and narrowing give them back), else as the bits of a constant.
    constexpr bool kAlphaBitsAlike = S::kMasks.a == D::kMasks.a;
    using T = std::conditional_t<D::kBytes == 2, uint16_t, uint32_t>;
    const int fixed = texelAlpha ? (S::kMasks.a ? -1 : 255) : alpha;  // the alpha, when one for all
    if (fixed >= 0 && !pass[fixed]) return;
    const bool texelBits = texelAlpha && S::kMasks.a && kAlphaBitsAlike;
    const uint32_t take = D::kColorMask | (texelBits ? D::kMasks.a : 0u);
    const uint32_t bits = texelBits ? 0u : D::template Narrowed<D::kMasks.a>(texelAlpha ? 255 : alpha);
    // The test passes the alphas below, at or above the reference: an interval unless it
    // passes those on both sides and not the reference.
    const int32_t ref = int32_t(d.alphaRef & 0xFF);
    const bool below = ref > 0 && pass[ref - 1], at = pass[ref], above = ref < 255 && pass[ref + 1];
    const int32_t lo = below ? -1 : at ? ref - 1 : above ? ref : 256, hi = above ? 256 : at ? ref + 1 : below ? ref : 0;
    const RowOp op{take, D::kKeep, bits, S::kColorMask, t.keyBits, lo, hi};
    const bool tested = fixed < 0 && !d.spans.passAll;
    const bool rowCopy = (!tested || (S::kMasks.a == 0xFF000000u && !(below && !at && above))) &&
                         (!texelAlpha || !S::kMasks.a || !D::kMasks.a || kAlphaBitsAlike);
    if constexpr (kSameColour) {
      if ((keyed || D::kKeep || D::kMasks.a || texelAlpha) && rowCopy) {
        const ptrdiff_t pitch = t.pitch, rowPitch = j.rowPitch;
        if constexpr (S::kMasks.a == 0xFF000000u) {
          if (tested) {
            if (keyed) CopyRows<T, true, true>(from, pitch, out, rowPitch, n, j.height, op);
            else CopyRows<T, false, true>(from, pitch, out, rowPitch, n, j.height, op);
            return;
          }
        }
        if (keyed) CopyRows<T, true, false>(from, pitch, out, rowPitch, n, j.height, op);
        else CopyRows<T, false, false>(from, pitch, out, rowPitch, n, j.height, op);
        return;
      }
    }
    for (int32_t r = 0; r < j.height; r++, from += t.pitch, out += j.rowPitch) {
      if constexpr (kSameColour) {
        if (!keyed && !D::kKeep && !D::kMasks.a && !texelAlpha) {
          std::memcpy(out, from, size_t(n) * size_t(D::kBytes));
          continue;
        }
      }
      if (keyed) {
        for (int32_t i = 0; i < n; i++) put(S::Get(from + size_t(i) * S::kBytes), out + size_t(i) * D::kBytes, kYes);
      } else {
        for (int32_t i = 0; i < n; i++) put(S::Get(from + size_t(i) * S::kBytes), out + size_t(i) * D::kBytes, kNo);
      }
    }
  } else if (j.v.mode == AddressStepper::kConstant && j.u.mode == AddressStepper::kTable) {
    // A scaled rectangle's row: one texel row, and the columns' addresses the rectangle
    // worked out once for all its rows.
    const uint8_t* from = TexelAt(t, 0, ClampIndex(j.v.at >> 8, t.height));
    const int64_t* columns = j.u.table;
    const int32_t width = t.width;
    auto texel = [&](int32_t i) __attribute__((always_inline)) {
      return S::Get(from + size_t(ClampIndex(columns[i] >> 8, width)) * S::kBytes);
    };
    if (keyed) {
      for (int32_t i = 0; i < n; i++) put(texel(i), out + size_t(i) * D::kBytes, kYes);
    } else {
      for (int32_t i = 0; i < n; i++) put(texel(i), out + size_t(i) * D::kBytes, kNo);
    }
    j.u.table += n;
    j.u.px += double(n);
  } else {
    AddressStepper u = j.u, v = j.v;  // in registers: the stores could alias them
    for (int32_t i = 0; i < n; i++, out += D::kBytes) {
      const int64_t au = u.Next(), av = v.Next();
      put(S::Get(TexelAt(t, ClampIndex(au >> 8, t.width), ClampIndex(av >> 8, t.height))), out, kAsIs);
    }
    j.u = u;
    j.v = v;
  }
}

// A colour and alpha the texture has no part in, unblended: one value for the row.
template <int kDst>
void FillSpan(SpanJob& j, int32_t n) {
  using D = Format<kDst>;
  if (!j.draw->spans.alphaPass[j.alpha]) return;
  const Color white{255, 255, 255, 255};
  const uint32_t value = D::Encode(
      OperateColor(j.colorOp, Pick(j.color1, white), Pick(j.color2, white), j.diffuseAlpha, j.diffuseAlpha, j.alpha), 0);
  using T = std::conditional_t<D::kBytes == 2, uint16_t, uint32_t>;
  for (int32_t r = 0; r < j.height; r++) {
    uint8_t* out = j.out + ptrdiff_t(r) * j.rowPitch;
    int32_t i = g_Wide ? FillLanesWide<T>(out, n, D::kKeep, value) : 0;
    i += FillLanes<T, 16>(out + size_t(i) * D::kBytes, n - i, D::kKeep, value);
    for (out += size_t(i) * D::kBytes; i < n; i++, out += D::kBytes)
      D::Put(out, D::kKeep ? (D::Get(out) & D::kKeep) | value : value);
  }
}

// ---- the tables the spans are chosen from ------------------------------------------------

template <int kSrc, int kDst>
constexpr SpanFn CopyFor() {
  return CopySpan<kSrc, kDst>;
}

template <int kDst, int kColour>
constexpr std::array<SpanFn, kBlendKinds> WritesOf() {
  return {WriteSpan<kDst, kColour, kBlendNone>, WriteSpan<kDst, kColour, kBlendMix>,
          WriteSpan<kDst, kColour, kBlendAdd>, WriteSpan<kDst, kColour, kBlendGeneral>};
}

template <int kFormat>
struct FormatSpans {
  static constexpr std::array<SpanFn, 2> kFetch = {FetchSpan<kFormat, false>, FetchSpan<kFormat, true>};
  static constexpr SpanFn kFill = FillSpan<kFormat>;
  static constexpr std::array<std::array<SpanFn, kBlendKinds>, kColourKinds> kWrite = {
      WritesOf<kFormat, kColourTexel>(), WritesOf<kFormat, kColourModulate>(), WritesOf<kFormat, kColourGeneral>()};
  static constexpr std::array<SpanFn, kFormatCount> kCopyTo = {CopyFor<kFormat, 0>(), CopyFor<kFormat, 1>(),
                                                               CopyFor<kFormat, 2>(), CopyFor<kFormat, 3>(),
                                                               CopyFor<kFormat, 4>(), CopyFor<kFormat, 5>()};
};

struct SpanTable {
  std::array<SpanFn, 2> fetch;
  SpanFn fill;
  std::array<std::array<SpanFn, kBlendKinds>, kColourKinds> write;
  std::array<SpanFn, kFormatCount> copyTo;
};

template <int kFormat>
constexpr SpanTable TableOf() {
  return {FormatSpans<kFormat>::kFetch, FormatSpans<kFormat>::kFill, FormatSpans<kFormat>::kWrite, FormatSpans<kFormat>::kCopyTo};
}

constexpr SpanTable kSpanTables[kFormatCount] = {TableOf<0>(), TableOf<1>(), TableOf<2>(),
                                                 TableOf<3>(), TableOf<4>(), TableOf<5>()};
static_assert(kFormatCount == 6);

ColourKind ColourKindOf(const Stage& s) {
  if ((s.colorOp == PLAT_D3DTOP_SELECTARG1 && PlainTexel(s.colorArg1)) ||
      (s.colorOp == PLAT_D3DTOP_SELECTARG2 && PlainTexel(s.colorArg2)))
    return kColourTexel;
  if (s.colorOp == PLAT_D3DTOP_MODULATE && ((PlainTexel(s.colorArg1) && !Texel(s.colorArg2)) ||
                                            (PlainTexel(s.colorArg2) && !Texel(s.colorArg1))))
    return kColourModulate;
  return kColourGeneral;
}

uint8_t AlphaKindOf(const Stage& s) {
  if (!Uses(s.alphaOp, s.alphaArg1, s.alphaArg2, PLAT_D3DTA_TEXTURE)) return kSpanAlphaConstant;
  if ((s.alphaOp == PLAT_D3DTOP_SELECTARG1 && PlainTexel(s.alphaArg1)) ||
      (s.alphaOp == PLAT_D3DTOP_SELECTARG2 && PlainTexel(s.alphaArg2)))
    return kSpanAlphaTexel;
  return kSpanAlphaGeneral;
}

BlendKind BlendKindOf(const Draw& d) {
  if (!d.blend || (d.srcBlend == PLAT_D3DBLEND_ONE && d.destBlend == PLAT_D3DBLEND_ZERO)) return kBlendNone;
  if (d.srcBlend == PLAT_D3DBLEND_SRCALPHA && d.destBlend == PLAT_D3DBLEND_INVSRCALPHA) return kBlendMix;
  if (d.srcBlend == PLAT_D3DBLEND_SRCALPHA && d.destBlend == PLAT_D3DBLEND_ONE) return kBlendAdd;
  return kBlendGeneral;
}

}  // namespace

void SetSpanPath(bool on) { g_SpanPath = on; }

void ChooseSpans(Draw* d) {
  Spans& s = d->spans;
  s.fetch = s.write = s.copy = s.centredFetch = s.centredCopy = nullptr;
  // Below, at and above the reference, by the function.
  const uint32_t ref = d->alphaRef & 0xFF;
  bool below = true, at = true, above = true;
  if (d->alphaTest) {
    below = Compare(d->alphaFunc, 0, 1);
    at = Compare(d->alphaFunc, 1, 1);
    above = Compare(d->alphaFunc, 1, 0);
  }
  std::fill(s.alphaPass, s.alphaPass + ref, below);
  s.alphaPass[ref] = at;
  std::fill(s.alphaPass + ref + 1, s.alphaPass + 256, above);
  s.passAll = below && at && above;
  if (!g_SpanPath || d->stageCount != 1 || (d->depth && (d->zTest || d->zWrite))) return;
  const Stage& st = d->stages[0];
  const int target = d->target.layout.format;
  const ColourKind colour = ColourKindOf(st);
  const BlendKind blend = BlendKindOf(*d);
  s.alphaKind = AlphaKindOf(st);
  s.write = kSpanTables[target].write[colour][blend];
  const bool reads = Uses(st.colorOp, st.colorArg1, st.colorArg2, PLAT_D3DTA_TEXTURE) ||
                     Uses(st.alphaOp, st.alphaArg1, st.alphaArg2, PLAT_D3DTA_TEXTURE);
  if (!reads || !st.texture) {
    s.fetch = FetchWhite;
    if (!reads && blend == kBlendNone) s.copy = kSpanTables[target].fill;
    return;
  }
  const SpanTable& source = kSpanTables[st.texture->layout.format];
  s.fetch = source.fetch[st.linear];
  const SpanFn copy =
      colour == kColourTexel && blend == kBlendNone && s.alphaKind != kSpanAlphaGeneral ? source.copyTo[target] : nullptr;
  if (st.linear) {
    s.centredFetch = source.fetch[0];
    s.centredCopy = copy;
  } else {
    s.copy = copy;
  }
}

}  // namespace soft
