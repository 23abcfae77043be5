// The software renderer's per-pixel blend arithmetic on whole pixels: the channel mix,
// the guard-bit saturating add and subtract, the per-byte saturating forms and the
// averages. The plain blit, the box and the line draw their pixels with these; the
// low-bit effects of the guard-bit recipes are part of the results, not rounding noise.
//
// 32-bit pixels are X8R8G8B8 (blue in byte 0); 16-bit pixels are R5G6B5 in the low half,
// or a pair of them in one word with the left pixel in the low half. The recipes that
// keep every carry inside its pixel also take a 64-bit word of two 32-bit pixels (or four
// 16-bit ones), or a PixelVec of four (or eight), and give each pixel what the 32-bit
// call would.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstdint>
#include <type_traits>

// Sixteen bytes in one SSE2 register (x86-64 always has SSE2): four 32-bit pixels, or
// eight 16-bit ones, as 32-bit lanes.
using PixelVec = uint32_t __attribute__((vector_size(16)));
// Eight 16-bit lanes: the channels of two 32-bit pixels spread out, one per lane, so that
// the products of the mixes (at most 255 x 256) fit a lane.
using ChannelVec = uint16_t __attribute__((vector_size(16)));

// v in every lane of W (W itself for a plain integer).
template <class W>
constexpr W Splat(uint32_t v) {
  if constexpr (std::is_integral_v<W>) {
    return W(v);
  } else {
    using Lane = std::remove_cvref_t<decltype(W{}[0])>;
    return W{} + Lane(v);
  }
}

// A 32-bit mask repeated in every 32-bit lane of W.
template <class W>
constexpr W Lanes(uint32_t mask) {
  if constexpr (std::is_integral_v<W>) {
    return W(mask) * W(W(~W(0)) / W(0xFFFFFFFFu));
  } else {
    return Splat<W>(mask);
  }
}

// d + floor((x - d) x k / 2^shift) on each channel, without a signed product: k <= 2^shift
// and d, x <= 255 keep every term inside 32 unsigned bits up to shift 24, and inside a
// 16-bit lane of a ChannelVec at shift 8.
template <class V>
inline V LerpChannels(V d, V x, uint32_t k, int shift) {
  return (d * Splat<V>((1u << shift) - k) + x * Splat<V>(k)) >> shift;
}
inline uint32_t LerpChannel(uint32_t d, uint32_t x, uint32_t k, int shift) {
  return LerpChannels(d, x, k, shift);
}

// The product of two channels of `bits` bits, scaled back to the channel: floor(x x d /
// 2^bits). 8-bit channels fit a 16-bit lane.
template <class V>
inline V MulChannels(V x, V d, int bits) {
  return x * d >> bits;
}

// Bytes 0 to 2 of d moved toward those of x by k / 256 (k <= 256), each rounded down;
// byte 3 comes back 0. Red and blue share one multiply: each lane stays below 2^16.
template <class W>
inline W Lerp32(W d, W x, uint32_t k) {
  const W rbMask = Lanes<W>(0x00FF00FF), gMask = Lanes<W>(0x0000FF00);
  W rb = ((d & rbMask) * W(256 - k) + (x & rbMask) * W(k)) >> 8;
  W g = ((d & gMask) * W(256 - k) + (x & gMask) * W(k)) >> 8;
  return (rb & rbMask) | (g & gMask);
}

// fn(dc, xc) on the channels of four 32-bit pixels, each channel in a 16-bit lane of a
// ChannelVec (two pixels a call); bytes 0 to 2 of the results, byte 3 0 as in Lerp32.
template <class Fn>
inline PixelVec PerChannel32(PixelVec d, PixelVec x, Fn fn) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i dv = std::bit_cast<__m128i>(d), xv = std::bit_cast<__m128i>(x);
  auto spread = [&](__m128i half) { return std::bit_cast<ChannelVec>(half); };
  ChannelVec low = fn(spread(_mm_unpacklo_epi8(dv, zero)), spread(_mm_unpacklo_epi8(xv, zero)));
  ChannelVec high = fn(spread(_mm_unpackhi_epi8(dv, zero)), spread(_mm_unpackhi_epi8(xv, zero)));
  __m128i packed = _mm_packus_epi16(std::bit_cast<__m128i>(low), std::bit_cast<__m128i>(high));
  return std::bit_cast<PixelVec>(packed) & Lanes<PixelVec>(0x00FFFFFF);
}
inline PixelVec Lerp32(PixelVec d, PixelVec x, uint32_t k) {
  return PerChannel32(d, x,
                      [k](ChannelVec dc, ChannelVec xc) { return LerpChannels(dc, xc, k, 8); });
}

// Saturating add with guard bits, unscaled source: blue is exact, green and red add with
// their lowest bit cleared and take the carry of the channel below there; byte 3 becomes
// the carry out of red (0 or 1).
template <class W>
inline W GuardAdd32(W d, W s) {
  W t = (s & Lanes<W>(0x00FEFEFF)) + (d & Lanes<W>(0x00FEFEFF));
  W c = t & Lanes<W>(0x01010100);
  return t | (c - (c >> 8));
}
// The same for a scaled source s (byte 3 zero), with the lowest bits of green and red
// put back from either operand.
inline uint32_t GuardAddScaled32(uint32_t d, uint32_t s) {
  return GuardAdd32(d, s) | ((s | d) & 0x00010100);
}
// Saturating subtract d - s with guard bits: blue exact and floored at 0, green and red
// with the destination's lowest bit forced on and the source's off; byte 3 becomes 0.
template <class W>
inline W GuardSub32(W d, W s) {
  W u = (d | Lanes<W>(0x01010100)) - (s & Lanes<W>(0x00FEFEFF));
  W c = u & Lanes<W>(0x01010100);
  return u & (c - (c >> 8));
}

// Exact per-byte unsigned saturating add of all four bytes (what the MMX unit does), by
// the SSE2 form of the same instruction, on one pixel or a PixelVec.
inline __m128i ToSse(uint32_t v) { return _mm_cvtsi32_si128(int32_t(v)); }
inline __m128i ToSse(PixelVec v) { return std::bit_cast<__m128i>(v); }
template <class W>
inline W FromSse(__m128i v) {
  if constexpr (std::is_same_v<W, uint32_t>) {
    return uint32_t(_mm_cvtsi128_si32(v));
  } else {
    static_assert(std::is_same_v<W, PixelVec>);
    return std::bit_cast<PixelVec>(v);
  }
}
template <class W>
inline W SaturateAddBytes32(W d, W s) {
  return FromSse<W>(_mm_adds_epu8(ToSse(d), ToSse(s)));
}
// Exact per-byte d - s floored at 0, all four bytes.
template <class W>
inline W SaturateSubBytes32(W d, W s) {
  return FromSse<W>(_mm_subs_epu8(ToSse(d), ToSse(s)));
}

// (s >> 1) + (d >> 1) per channel; byte 3 becomes 0.
template <class W>
inline W Average32(W d, W s) {
  return ((s >> 1) & Lanes<W>(0x007F7F7F)) + ((d >> 1) & Lanes<W>(0x007F7F7F));
}

// 16-bit saturating add of one pixel, unscaled source: blue exact, green and red with
// their lowest bit cleared taking the lower field's carry there; red's carry lands in bit
// 16 and fills red.
inline uint32_t GuardAdd16(uint32_t d, uint32_t s) {
  uint32_t t = (s & 0xF7DF) + (d & 0xF7DF);
  uint32_t c = t & 0x10820;
  return (t | (c - (c >> 5))) & 0xFFFF;
}
// The same for a scaled source, with the lowest bits of green and red put back.
inline uint32_t GuardAddScaled16(uint32_t d, uint32_t s) {
  return GuardAdd16(d, s) | ((s | d) & 0x0820);
}
// 16-bit saturating subtract of one pixel, bit 16 the guard above red. The lowest green
// bit of the result is always 0.
inline uint32_t GuardSub16(uint32_t d, uint32_t s) {
  uint32_t u = (d | 0x10820) - (s & 0xF7DF);
  uint32_t c = u & 0x10820;
  return u & (c - (c >> 5)) & 0xFFFF;
}
// The add on two pixels in one word. The right pixel's blue loses its lowest bit, which
// takes the left pixel's red carry instead; the carry out of the word fills the right red.
inline uint32_t GuardAddPair16(uint32_t d, uint32_t s) {
  uint64_t wide = uint64_t(s & 0xF7DEF7DF) + (d & 0xF7DEF7DF);
  uint32_t t = uint32_t(wide);
  uint32_t k = uint32_t(wide >> 32);
  uint32_t c = t & 0x08210820;
  return t | (c - ((c >> 5) | (k << 27)));
}
// The subtract on two pixels in one word; a borrow out of the word clears the right red.
// The right pixel's blue gets the guard treatment of green and red (its lowest bit forced
// on in d, off in s, less the left red's borrow).
inline uint32_t GuardSubPair16(uint32_t d, uint32_t s) {
  uint32_t minuend = d | 0x08210820;
  uint32_t subtrahend = s & 0xF7DEF7DF;
  uint32_t u = minuend - subtrahend;
  uint32_t c = u & 0x08210820;
  return u & ((c - (c >> 5)) | (minuend < subtrahend ? 0u : 0xF8000000u));
}
// (s >> 1) + (d >> 1) per field, on one pixel or on a pair in one word.
template <class W>
inline W Average16(W d, W s) {
  return ((s >> 1) & Lanes<W>(0x7BEF7BEF)) + ((d >> 1) & Lanes<W>(0x7BEF7BEF));
}
