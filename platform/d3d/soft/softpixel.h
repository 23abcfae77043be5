// The arithmetic of one pixel the soft rasteriser's paths share: the formats, channels,
// texel addresses, the stages' combiner and the blend. Not for the device.
#pragma once

#include "platform/d3d/soft/softraster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace soft {

struct WidenTables {
  uint8_t t[9][256];
  WidenTables() {
    std::memset(t, 0, sizeof t);
    for (int n = 1; n <= 8; n++)
      for (uint32_t c = 0; c < (1u << n); c++)
        t[n][c] = uint8_t((c << (8 - n)) + c * ((1u << (8 - n)) - 1) / ((1u << n) - 1));
  }
};

inline const WidenTables kWiden;

struct FormatMasks {
  uint32_t bits, r, g, b, a;
};
constexpr FormatMasks kFormats[] = {
    {16, 0xF800, 0x07E0, 0x001F, 0},                     // R5G6B5
    {16, 0x7C00, 0x03E0, 0x001F, 0},                     // X1R5G5B5
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000},                // A1R5G5B5
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000},                // A4R4G4B4
    {32, 0xFF0000, 0xFF00, 0xFF, 0},                     // X8R8G8B8
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},           // A8R8G8B8
};

constexpr int kFormatCount = int(std::size(kFormats));

struct Color {
  int r, g, b, a;
};

inline uint32_t Load(const uint8_t* p, int bytes) {
  if (bytes == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void Store(uint8_t* p, int bytes, uint32_t v) {
  if (bytes == 2) {
    const uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
  } else {
    std::memcpy(p, &v, 4);
  }
}

inline int Channel(const Layout& l, uint32_t raw, int i) {
  return kWiden.t[l.bits[i]][(raw & l.mask[i]) >> l.shift[i]];
}

inline Color Decode(const Layout& l, uint32_t raw) {
  return {Channel(l, raw, 0), Channel(l, raw, 1), Channel(l, raw, 2), l.bits[3] ? Channel(l, raw, 3) : 255};
}

inline uint32_t Encode(const Layout& l, const Color& c, uint32_t old) {
  uint32_t v = old & l.keep;
  v |= uint32_t(Narrow(uint32_t(c.r), l.bits[0])) << l.shift[0];
  v |= uint32_t(Narrow(uint32_t(c.g), l.bits[1])) << l.shift[1];
  v |= uint32_t(Narrow(uint32_t(c.b), l.bits[2])) << l.shift[2];
  if (l.bits[3]) v |= uint32_t(Narrow(uint32_t(c.a), l.bits[3])) << l.shift[3];
  return v;
}

inline Color FromArgb(uint32_t v) {
  return {int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF), int(v >> 24)};
}

inline int Mul(int a, int b) { return (a * b + 127) / 255; }

inline bool Compare(uint32_t func, uint32_t value, uint32_t ref) {
  switch (func) {
    case PLAT_D3DCMP_NEVER: return false;
    case PLAT_D3DCMP_LESS: return value < ref;
    case PLAT_D3DCMP_EQUAL: return value == ref;
    case PLAT_D3DCMP_LESSEQUAL: return value <= ref;
    case PLAT_D3DCMP_GREATER: return value > ref;
    case PLAT_D3DCMP_NOTEQUAL: return value != ref;
    case PLAT_D3DCMP_GREATEREQUAL: return value >= ref;
    default: return true;
  }
}

// A texture address in 1/256 texel, kept far from overflow for wild coordinates.
inline int64_t Address(double coordinate, int32_t size) {
  double a = coordinate * double(size) * 256.0;
  if (!(a == a)) return 0;
  a = std::clamp(a, -1099511627776.0, 1099511627776.0);
  const double t = a + 0.5;  // nearest, halves up
  int64_t i = int64_t(t);
  if (double(i) > t) i--;
  return i;
}

inline int32_t ClampIndex(int64_t i, int32_t size) { return int32_t(std::clamp<int64_t>(i, 0, size - 1)); }

inline const uint8_t* TexelAt(const Surface& t, int32_t x, int32_t y) {
  return t.bits + size_t(y) * size_t(t.pitch) + size_t(x) * size_t(t.layout.bytes);
}

inline bool Uses(uint32_t op, uint32_t arg1, uint32_t arg2, uint32_t what) {
  switch (op) {
    case PLAT_D3DTOP_DISABLE: return false;
    case PLAT_D3DTOP_SELECTARG1: return (arg1 & PLAT_D3DTA_SELECTMASK) == what;
    case PLAT_D3DTOP_SELECTARG2: return (arg2 & PLAT_D3DTA_SELECTMASK) == what;
    default: return (arg1 & PLAT_D3DTA_SELECTMASK) == what || (arg2 & PLAT_D3DTA_SELECTMASK) == what;
  }
}

struct Inputs {
  Color diffuse, specular, factor, current, texture;
};

inline Color Argument(uint32_t arg, const Inputs& in) {
  Color c;
  switch (arg & PLAT_D3DTA_SELECTMASK) {
    case PLAT_D3DTA_CURRENT: c = in.current; break;
    case PLAT_D3DTA_TEXTURE: c = in.texture; break;
    case PLAT_D3DTA_TFACTOR: c = in.factor; break;
    case PLAT_D3DTA_SPECULAR: c = in.specular; break;
    default: c = in.diffuse; break;
  }
  if (arg & PLAT_D3DTA_COMPLEMENT) c = {255 - c.r, 255 - c.g, 255 - c.b, 255 - c.a};
  return c;
}

inline int Operate(uint32_t op, int a, int b, int diffuseAlpha, int currentAlpha) {
  switch (op) {
    case PLAT_D3DTOP_SELECTARG1: return a;
    case PLAT_D3DTOP_SELECTARG2: return b;
    case PLAT_D3DTOP_MODULATE: return Mul(a, b);
    case PLAT_D3DTOP_MODULATE2X: return std::min(255, (2 * a * b + 127) / 255);
    case PLAT_D3DTOP_MODULATE4X: return std::min(255, (4 * a * b + 127) / 255);
    case PLAT_D3DTOP_ADD: return std::min(255, a + b);
    case PLAT_D3DTOP_SUBTRACT: return std::max(0, a - b);
    case PLAT_D3DTOP_BLENDDIFFUSEALPHA: return (a * diffuseAlpha + b * (255 - diffuseAlpha) + 127) / 255;
    case PLAT_D3DTOP_BLENDCURRENTALPHA: return (a * currentAlpha + b * (255 - currentAlpha) + 127) / 255;
    default: return a;
  }
}

inline int Factor(uint32_t factor, int s, int sa, int d) {
  switch (factor) {
    case PLAT_D3DBLEND_ONE: return 255;
    case PLAT_D3DBLEND_SRCCOLOR: return s;
    case PLAT_D3DBLEND_SRCALPHA: return sa;
    case PLAT_D3DBLEND_INVSRCALPHA: return 255 - sa;
    case PLAT_D3DBLEND_INVDESTCOLOR: return 255 - d;
    default: return 0;
  }
}

inline int BlendChannel(const Draw& d, int s, int sa, int dst) {
  return std::min(255, (s * Factor(d.srcBlend, s, sa, dst) + dst * Factor(d.destBlend, s, sa, dst) + 127) / 255);
}

// An attribute over the screen: its value at (x0, y0) and its slopes. A row's values are
// (base + dy (py - y0)) + dx (px - x0), in that order.
struct Plane {
  double base = 0, dx = 0, dy = 0, x0 = 0, y0 = 0;
  double Row(double y) const { return base + dy * (y - y0); }
  double At(double row, double x) const { return row + dx * (x - x0); }
};

struct Triangle {
  Plane z, u[2], v[2];
  Inputs flat;  // diffuse, specular, factor
  bool reads[PLAT_D3D_STAGES];  // the stage reads its texture
};

inline Color OperateColor(uint32_t op, const Color& a, const Color& b, int diffuseAlpha, int currentAlpha,
                          int keepAlpha) {
  switch (op) {
    case PLAT_D3DTOP_SELECTARG1: return {a.r, a.g, a.b, keepAlpha};
    case PLAT_D3DTOP_SELECTARG2: return {b.r, b.g, b.b, keepAlpha};
    case PLAT_D3DTOP_MODULATE: return {Mul(a.r, b.r), Mul(a.g, b.g), Mul(a.b, b.b), keepAlpha};
    default:
      return {Operate(op, a.r, b.r, diffuseAlpha, currentAlpha), Operate(op, a.g, b.g, diffuseAlpha, currentAlpha),
              Operate(op, a.b, b.b, diffuseAlpha, currentAlpha), keepAlpha};
  }
}

// A format known when compiling, by its row in kFormats.
template <int kIndex>
struct Format {
  static constexpr FormatMasks kMasks = kFormats[kIndex];
  static constexpr int kBytes = int(kMasks.bits / 8);
  static constexpr uint32_t kColorMask = kMasks.r | kMasks.g | kMasks.b;
  static constexpr uint32_t kKeep = ~(kColorMask | kMasks.a) & (kBytes == 2 ? 0xFFFFu : 0xFFFFFFFFu);

  [[gnu::always_inline]] static uint32_t Get(const uint8_t* p) { return Load(p, kBytes); }
  [[gnu::always_inline]] static void Put(uint8_t* p, uint32_t v) { Store(p, kBytes, v); }
  template <uint32_t kMask>
  [[gnu::always_inline]] static int Channel(uint32_t raw) {
    if constexpr (kMask == 0) {
      return 255;
    } else {
      constexpr int kShift = __builtin_ctz(kMask), kBits = __builtin_popcount(kMask);
      const uint32_t c = (raw & kMask) >> kShift;
      if constexpr (kBits == 8) return int(c);
      else return kWiden.t[kBits][c];
    }
  }
  template <uint32_t kMask>
  [[gnu::always_inline]] static uint32_t Narrowed(int value8) {
    if constexpr (kMask == 0) {
      return 0;
    } else {
      constexpr int kShift = __builtin_ctz(kMask), kBits = __builtin_popcount(kMask);
      return (uint32_t(value8) >> (8 - kBits)) << kShift;
    }
  }
  [[gnu::always_inline]] static int Alpha(uint32_t raw) { return Channel<kMasks.a>(raw); }
  [[gnu::always_inline]] static Color Decode(uint32_t raw) {
    return {Channel<kMasks.r>(raw), Channel<kMasks.g>(raw), Channel<kMasks.b>(raw), Channel<kMasks.a>(raw)};
  }
  [[gnu::always_inline]] static uint32_t Encode(const Color& c, uint32_t old) {
    return (old & kKeep) | Narrowed<kMasks.r>(c.r) | Narrowed<kMasks.g>(c.g) | Narrowed<kMasks.b>(c.b) |
           Narrowed<kMasks.a>(c.a);
  }
};

}  // namespace soft
