// The soft device's rasteriser (rules in softraster.h).
#include "platform/d3d/soft/softraster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>


namespace soft {

namespace {

struct WidenTables {
  uint8_t t[9][256];
  WidenTables() {
    std::memset(t, 0, sizeof t);
    for (int n = 1; n <= 8; n++)
      for (uint32_t c = 0; c < (1u << n); c++)
        t[n][c] = uint8_t((c << (8 - n)) + c * ((1u << (8 - n)) - 1) / ((1u << n) - 1));
  }
};

const WidenTables kWiden;

bool g_SpanPath = true;

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

// The stage's texel at (u, v); false when the colour key drops the pixel.
bool Sample(const Draw& d, const Stage& s, double u, double v, Color* out) {
  const Surface& t = *s.texture;
  const int64_t au = Address(u, t.width), av = Address(v, t.height);
  const int bytes = t.layout.bytes;
  if (!s.linear || (d.colorKey && t.keyed)) {
    const uint32_t raw = Load(TexelAt(t, ClampIndex(au >> 8, t.width), ClampIndex(av >> 8, t.height)), bytes);
    if (d.colorKey && t.keyed && (raw & t.layout.colorMask) == t.keyBits) return false;
    if (!s.linear) {
      *out = Decode(t.layout, raw);
      return true;
    }
  }
  const int64_t bu = au - 128, bv = av - 128;
  const int fu = int(bu & 255), fv = int(bv & 255);
  const int32_t x0 = ClampIndex(bu >> 8, t.width), x1 = ClampIndex((bu >> 8) + 1, t.width);
  const int32_t y0 = ClampIndex(bv >> 8, t.height), y1 = ClampIndex((bv >> 8) + 1, t.height);
  const Color c00 = Decode(t.layout, Load(TexelAt(t, x0, y0), bytes));
  const Color c10 = Decode(t.layout, Load(TexelAt(t, x1, y0), bytes));
  const Color c01 = Decode(t.layout, Load(TexelAt(t, x0, y1), bytes));
  const Color c11 = Decode(t.layout, Load(TexelAt(t, x1, y1), bytes));
  const int w00 = (256 - fu) * (256 - fv), w10 = fu * (256 - fv), w01 = (256 - fu) * fv, w11 = fu * fv;
  auto mix = [&](int a, int b, int c, int e) { return (a * w00 + b * w10 + c * w01 + e * w11 + 32768) >> 16; };
  *out = {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g), mix(c00.b, c10.b, c01.b, c11.b),
          mix(c00.a, c10.a, c01.a, c11.a)};
  return true;
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

// An attribute over the screen: value at (x0, y0) and its slopes.
// An attribute over the screen: its value at (x0, y0) and its slopes. A row's values are
// (base + dy (py - y0)) + dx (px - x0), in that order.
struct Plane {
  double base = 0, dx = 0, dy = 0, x0 = 0, y0 = 0;
  double Row(double y) const { return base + dy * (y - y0); }
  double At(double row, double x) const { return row + dx * (x - x0); }
};

Plane MakePlane(const double* x, const double* y, double a0, double a1, double a2) {
  Plane p;
  const double det = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
  p.base = a0;
  p.x0 = x[0];
  p.y0 = y[0];
  if (det != 0 && std::isfinite(det)) {
    p.dx = ((a1 - a0) * (y[2] - y[0]) - (a2 - a0) * (y[1] - y[0])) / det;
    p.dy = ((a2 - a0) * (x[1] - x[0]) - (a1 - a0) * (x[2] - x[0])) / det;
  }
  return p;
}

struct Triangle {
  Plane z, u[2], v[2];
  Inputs flat;  // diffuse, specular, factor
  bool reads[PLAT_D3D_STAGES];  // the stage reads its texture
};

// The planes' values at the start of one row.
struct RowValues {
  double z, u[2], v[2];
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

// Rounds to the nearest integer, halves up, for values the callers keep in range.
inline int64_t RoundHalfUp(double a) {
  const double t = a + 0.5;
  int64_t i = int64_t(t);
  if (double(i) > t) i--;
  return i;
}

// The alpha test, the blend and the store of a shaded colour; false when the test drops it.
inline bool WriteColor(const Draw& d, Color c, uint8_t* pixel) {
  if (d.alphaTest && !Compare(d.alphaFunc, uint32_t(c.a), d.alphaRef)) return false;
  const Layout& l = d.target.layout;
  const uint32_t old = Load(pixel, l.bytes);
  if (d.blend) {
    const Color dst = Decode(l, old);
    const int sa = c.a;
    c = {BlendChannel(d, c.r, sa, dst.r), BlendChannel(d, c.g, sa, dst.g), BlendChannel(d, c.b, sa, dst.b),
         BlendChannel(d, c.a, sa, dst.a)};
  }
  Store(pixel, l.bytes, Encode(l, c, old));
  return true;
}

inline void ShadePixel(const Draw& d, const Triangle& tri, const RowValues& row, int32_t px, uint8_t* pixel,
                       uint8_t* depth) {
  uint32_t z16 = 0;
  if (depth) {
    double z = tri.z.At(row.z, px);
    z = z == z ? std::clamp(z, 0.0, 1.0) : 0.0;
    z16 = uint32_t(RoundHalfUp(z * 65535.0));
    if (d.zTest) {
      uint16_t old;
      std::memcpy(&old, depth, 2);
      if (!Compare(d.zFunc, z16, old)) return;
    }
  }
  Inputs in = tri.flat;
  in.current = in.diffuse;
  for (int i = 0; i < d.stageCount; i++) {
    const Stage& s = d.stages[i];
    if (tri.reads[i]) {
      if (s.texture) {
        const uint32_t set = s.coordSet;
        if (!Sample(d, s, tri.u[set].At(row.u[set], px), tri.v[set].At(row.v[set], px), &in.texture)) return;
      } else {
        in.texture = {255, 255, 255, 255};
      }
    }
    const int da = in.diffuse.a, ca = in.current.a;
    const int alpha = s.alphaOp == PLAT_D3DTOP_DISABLE
                          ? ca
                          : Operate(s.alphaOp, Argument(s.alphaArg1, in).a, Argument(s.alphaArg2, in).a, da, ca);
    in.current = OperateColor(s.colorOp, Argument(s.colorArg1, in), Argument(s.colorArg2, in), da, ca, alpha);
  }
  if (!WriteColor(d, in.current, pixel)) return;
  if (depth && d.zWrite) {
    const uint16_t w = uint16_t(z16);
    std::memcpy(depth, &w, 2);
  }
}

// An argument of the one stage of a span draw: the texel (complemented or not), else a
// constant the triangle fixes.
struct SpanArg {
  bool texture, complement;  // the texel (complemented), else the constant
  Color constant;
};

SpanArg ResolveArgument(uint32_t arg, const Inputs& stage0) {
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

// ---- spans ---------------------------------------------------------------------------------
//
// The draws of one stage and no depth go a row at a time through span functions chosen
// once per draw for the texture's and the target's formats, the filter, the ops, the
// alpha test and the blend: a fetch fills a chunk with texels (or drops keyed ones), and a
// write combines, tests, blends and stores them. A copy does both at once where the texel's
// colour goes to the target unblended. Every choice the general
// path makes per pixel is made once, with the same arithmetic in the same order, and the
// addresses are Address()'s own: the results are ShadePixel's bit for bit.

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

constexpr int kFormatCount = int(std::size(kFormats));

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

}  // namespace

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

namespace {

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

// The argument is the texel, as it is.
inline bool PlainTexel(uint32_t arg) {
  return (arg & (PLAT_D3DTA_SELECTMASK | PLAT_D3DTA_COMPLEMENT)) == PLAT_D3DTA_TEXTURE;
}
inline bool Texel(uint32_t arg) { return (arg & PLAT_D3DTA_SELECTMASK) == PLAT_D3DTA_TEXTURE; }

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

// Fills in what the triangle fixes; false when the draw takes the general path.
bool PlanSpan(const Draw& d, const Triangle& tri, SpanJob* j) {
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
void RunRow(SpanJob& j, int64_t lo, int64_t hi, uint8_t* out) {
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
void RunSpan(SpanJob& j, const int64_t* downAt, double y, int64_t lo, int64_t hi, uint8_t* out) {
  if (j.texture) {
    AddressStepper* steppers[2] = {&j.u, &j.v};
    for (int c = 0; c < 2; c++) {
      if (j.stepsDown[c]) steppers[c]->StartConstant(downAt[c], lo);
      else steppers[c]->Start(j.planes[c]->Row(y), lo);
    }
  }
  RunRow(j, lo, hi, out);
}

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b) != 0 && a < 0) q--;
  return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// floor((n0 + dn i) / d) for i = 0, 1, ... in turn (d > 0), without dividing again.
struct FloorSteps {
  int64_t q = 0, r = 0, dq = 0, dr = 0, d = 1;
  void Start(int64_t n0, int64_t dn, int64_t divisor) {
    d = divisor;
    q = FloorDiv(n0, d);
    r = n0 - q * d;
    dq = FloorDiv(dn, d);
    dr = dn - dq * d;
  }
  void Next() {
    q += dq;
    r += dr;
    if (r >= d) {
      r -= d;
      q++;
    }
  }
};

// Covers the pixels of one snapped triangle (1/256-pixel coordinates, |X|, |Y| <= 2^30).
void Cover(const Draw& d, const Triangle& tri, int64_t X[3], int64_t Y[3]) {
  const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return;
  if (area < 0) {
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
  }
  const int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  const int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  const int64_t left = std::max<int64_t>(CeilDiv(minX, 256), d.scissor.left);
  const int64_t right = std::min<int64_t>(FloorDiv(maxX, 256), d.scissor.right - 1);
  const int64_t top = std::max<int64_t>(CeilDiv(minY, 256), d.scissor.top);
  const int64_t bottom = std::min<int64_t>(FloorDiv(maxY, 256), d.scissor.bottom - 1);
  if (left > right || top > bottom) return;
  int64_t ex[3], ey[3], bias[3];
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3;
    ex[i] = X[j] - X[i];
    ey[i] = Y[j] - Y[i];
    const bool topLeft = ey[i] < 0 || (ey[i] == 0 && ex[i] > 0);
    bias[i] = topLeft ? 0 : -1;
  }
  const int bpp = d.target.layout.bytes;
  SpanJob job;
  const bool span = PlanSpan(d, tri, &job);
  // A coordinate without slope across takes one address a row: its plane's row value,
  // which is the plane (base, dy, y0) evaluated across py, stepped down the rows.
  Plane downPlanes[2];
  AddressStepper downSteps[2];
  if (span && job.texture) {
    const uint32_t set = d.stages[0].coordSet;
    job.planes[0] = &tri.u[set];
    job.planes[1] = &tri.v[set];
    AddressStepper* steppers[2] = {&job.u, &job.v};
    const int32_t sizes[2] = {job.texture->width, job.texture->height};
    for (int c = 0; c < 2; c++) {
      const Plane& p = *job.planes[c];
      steppers[c]->Prepare(p, sizes[c], left, right, top, bottom);
      job.stepsDown[c] = steppers[c]->mode == AddressStepper::kConstant;
      if (!job.stepsDown[c]) continue;
      downPlanes[c].base = p.base;
      downPlanes[c].dx = p.dy;
      downPlanes[c].x0 = p.y0;
      downSteps[c].Prepare(downPlanes[c], sizes[c], top, bottom, 0, 0);
      downSteps[c].Start(p.base, top);
    }
  }
  // E(px) = ex (256 py - Yi) - ey (256 px - Xi) + bias >= 0 is k - step px >= 0 with
  // k = ex (256 py - Yi) + ey Xi + bias and step = 256 ey: px >= ceil(-k / -step) for a
  // negative step, px <= floor(k / step) for a positive one. k grows by 256 ex a row, and
  // the quotients are stepped with their remainders.
  FloorSteps edges[3];
  int64_t k[3], dk[3], step[3];
  for (int i = 0; i < 3; i++) {
    k[i] = ex[i] * (256 * top - Y[i]) + ey[i] * X[i] + bias[i];
    dk[i] = 256 * ex[i];
    step[i] = -ey[i] * 256;
    if (step[i] != 0) edges[i].Start(k[i], dk[i], step[i] > 0 ? step[i] : -step[i]);
  }
  const bool down = span && job.texture;
  for (int64_t py = top; py <= bottom; py++) {
    int64_t downAt[2] = {0, 0};
    if (down)
      for (int c = 0; c < 2; c++)
        if (job.stepsDown[c]) downAt[c] = downSteps[c].Next();
    int64_t lo = left, hi = right;
    for (int i = 0; i < 3; i++) {
      if (step[i] == 0) {
        if (k[i] < 0) hi = lo - 1;
        k[i] += dk[i];
      } else {
        if (step[i] > 0) lo = std::max(lo, -edges[i].q);
        else hi = std::min(hi, edges[i].q);
        edges[i].Next();
      }
    }
    if (lo > hi) continue;
    uint8_t* row = d.target.bits + size_t(py) * size_t(d.target.pitch);
    uint8_t* zrow = d.depth && (d.zTest || d.zWrite) ? d.depth + size_t(py) * size_t(d.depthPitch) : nullptr;
    const double y = double(py);
    if (span) {
      RunSpan(job, downAt, y, lo, hi, row + size_t(lo) * size_t(bpp));
      continue;
    }
    const RowValues values{tri.z.Row(y), {tri.u[0].Row(y), tri.u[1].Row(y)}, {tri.v[0].Row(y), tri.v[1].Row(y)}};
    for (int64_t px = lo; px <= hi; px++)
      ShadePixel(d, tri, values, int32_t(px), row + size_t(px) * size_t(bpp), zrow ? zrow + size_t(px) * 2 : nullptr);
  }
}

constexpr double kFar = 4194304.0;  // 2^22 pixels

struct Point {
  double x, y;
};

// Sutherland-Hodgman against one side: keeps where sign * (coord - limit) <= 0. A crossing
// lies on the side exactly, and its other coordinate is worked out from the end nearer
// the side, so that ends far away do not cancel into noise.
int ClipSide(const Point* in, int n, Point* out, bool vertical, double limit, double sign) {
  int m = 0;
  for (int i = 0; i < n; i++) {
    const Point& a = in[i];
    const Point& b = in[(i + 1) % n];
    const double da = sign * ((vertical ? a.x : a.y) - limit), db = sign * ((vertical ? b.x : b.y) - limit);
    if (da <= 0) out[m++] = a;
    if ((da <= 0) != (db <= 0)) {
      const bool fromA = std::fabs(da) <= std::fabs(db);
      const Point& near = fromA ? a : b;
      const Point& other = fromA ? b : a;
      const double t = (fromA ? da : db) / ((fromA ? da : db) - (fromA ? db : da));
      if (vertical) out[m++] = {limit, near.y + (other.y - near.y) * t};
      else out[m++] = {near.x + (other.x - near.x) * t, limit};
    }
  }
  return m;
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

uint8_t Widen(uint32_t value, int bits) { return kWiden.t[bits][value & ((1u << bits) - 1)]; }

bool LayoutOf(const PlatDDPixelFormat& f, Layout* l) {
  if (f.flags & (PLAT_DDPF_ZBUFFER | PLAT_DDPF_FOURCC | PLAT_DDPF_PALETTEINDEXED8)) return false;
  for (const FormatMasks& m : kFormats) {
    if (m.bits != f.bitCount || m.r != f.rMask || m.g != f.gMask || m.b != f.bMask || m.a != f.aMask) continue;
    l->format = int(&m - kFormats);
    l->bytes = int(m.bits / 8);
    const uint32_t masks[4] = {m.r, m.g, m.b, m.a};
    for (int i = 0; i < 4; i++) {
      l->mask[i] = masks[i];
      l->shift[i] = uint8_t(masks[i] ? __builtin_ctz(masks[i]) : 0);
      l->bits[i] = uint8_t(__builtin_popcount(masks[i]));
    }
    l->colorMask = m.r | m.g | m.b;
    l->keep = ~(m.r | m.g | m.b | m.a) & (m.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu);
    return true;
  }
  return false;
}

namespace {

// Whether the culling keeps a triangle of the area; on the screen (y down) a positive area
// winds clockwise.
bool Kept(const Draw& d, double area, bool reversed) {
  if (area == 0 || !std::isfinite(area)) return false;
  const bool clockwise = (area > 0) != reversed;
  return !(d.cull == PLAT_D3DCULL_CW && clockwise) && !(d.cull == PLAT_D3DCULL_CCW && !clockwise);
}

double Area(const double* x, const double* y) { return (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]); }

// std::llround (halves away from zero) for |a| < 2^52, where a - trunc(a) is exact.
inline int64_t RoundNear(double a) {
  int64_t i = int64_t(a);
  const double f = a - double(i);
  if (f >= 0.5) i++;
  else if (f <= -0.5) i--;
  return i;
}

// A corner within kFar snapped to 1/256 pixel.
void Snap(const Vertex& v, int64_t* X, int64_t* Y, double* x, double* y) {
  *X = RoundNear(double(v.x) * 256.0);
  *Y = RoundNear(double(v.y) * 256.0);
  *x = double(*X) / 256.0;
  *y = double(*Y) / 256.0;
}

// The triangle's planes (only the coordinate set `only`'s, when 0 or 1) and flat inputs.
Triangle MakeTriangle(const Draw& d, const Vertex& a, const Vertex& b, const Vertex& c, const double* x,
                      const double* y, int only = -1) {
  Triangle tri;
  if (only < 0) tri.z = MakePlane(x, y, a.z, b.z, c.z);
  for (int s = 0; s < 2; s++) {
    if (only >= 0 && s != only) continue;
    tri.u[s] = MakePlane(x, y, a.u[s], b.u[s], c.u[s]);
    tri.v[s] = MakePlane(x, y, a.v[s], b.v[s], c.v[s]);
  }
  tri.flat.diffuse = FromArgb(a.diffuse);
  tri.flat.specular = FromArgb(a.specular);
  tri.flat.factor = FromArgb(d.textureFactor);
  tri.flat.texture = {255, 255, 255, 255};
  for (int i = 0; i < d.stageCount; i++) {
    const Stage& s = d.stages[i];
    tri.reads[i] = Uses(s.colorOp, s.colorArg1, s.colorArg2, PLAT_D3DTA_TEXTURE) ||
                   Uses(s.alphaOp, s.alphaArg1, s.alphaArg2, PLAT_D3DTA_TEXTURE);
  }
  return tri;
}

// One texture coordinate of a rectangle's two triangles along one side of it: each
// triangle's plane as a line along the side (its slope as dx) and the value its steps
// start from.
struct SideLine {
  Plane line;
  double start;
};

// The addresses both triangles give the pixels lo..hi of one side, the other coordinate
// lying in across0..across1: the stepper of the first, started at lo, when both step a texel
// a pixel from the same address, else a table of them (in `table`). False when the two
// differ at some pixel, which then takes the triangles one by one.
bool SideAddresses(const SideLine (&sides)[2], int32_t size, int64_t lo, int64_t hi, int64_t across0,
                   int64_t across1, std::vector<int64_t>& table, AddressStepper* out) {
  AddressStepper st[2];
  int64_t first[2];
  for (int k = 0; k < 2; k++) {
    st[k].Prepare(sides[k].line, size, lo, hi, across0, across1);
    st[k].Start(sides[k].start, lo);
  }
  // A step of exactly one texel keeps the fraction, so a sure first address is a sure row.
  if (st[0].Run(&first[0]) && st[1].Run(&first[1]) && first[0] == first[1]) {
    *out = st[0];
    return true;
  }
  table.resize(size_t(hi - lo + 1));
  for (int64_t& a : table) {
    a = st[0].Next();
    if (st[1].Next() != a) return false;
  }
  out->mode = AddressStepper::kTable;
  out->table = table.data();
  return true;
}

}  // namespace

void DrawTriangle(const Draw& d, const Vertex& a, const Vertex& b, const Vertex& c, bool reversed) {
  const Vertex* v[3] = {&a, &b, &c};
  for (const Vertex* p : v)
    if (!std::isfinite(p->x) || !std::isfinite(p->y) || !std::isfinite(p->z)) return;
  if (d.scissor.left >= d.scissor.right || d.scissor.top >= d.scissor.bottom) return;
  bool far = false;
  for (const Vertex* p : v) far = far || std::fabs(p->x) > kFar || std::fabs(p->y) > kFar;

  double x[3], y[3];
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; i++) {
    if (far) {
      x[i] = v[i]->x;
      y[i] = v[i]->y;
    } else {
      Snap(*v[i], &X[i], &Y[i], &x[i], &y[i]);
    }
  }
  if (!Kept(d, Area(x, y), reversed)) return;
  const Triangle tri = MakeTriangle(d, a, b, c, x, y);

  if (!far) {
    Cover(d, tri, X, Y);
    return;
  }
  // Clipped a pixel outside the scissor, so that its own edges decide nothing.
  Point poly[2][12];
  int n = 3;
  for (int i = 0; i < 3; i++) poly[0][i] = {x[i], y[i]};
  int cur = 0;
  const double bounds[4] = {double(d.scissor.left) - 1, double(d.scissor.right) + 1, double(d.scissor.top) - 1,
                            double(d.scissor.bottom) + 1};
  n = ClipSide(poly[cur], n, poly[1 - cur], true, bounds[0], -1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], true, bounds[1], 1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], false, bounds[2], -1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], false, bounds[3], 1), cur = 1 - cur;
  for (int i = 1; i + 1 < n; i++) {
    const Point* q[3] = {&poly[cur][0], &poly[cur][i], &poly[cur][i + 1]};
    int64_t PX[3], PY[3];
    for (int k = 0; k < 3; k++) {
      PX[k] = std::llround(q[k]->x * 256.0);
      PY[k] = std::llround(q[k]->y * 256.0);
    }
    Cover(d, tri, PX, PY);
  }
}

bool DrawRectangle(const Draw& d, const Vertex (&first)[3], bool firstReversed, const Vertex (&second)[3],
                   bool secondReversed) {
  if (!d.spans.fetch || d.scissor.left >= d.scissor.right || d.scissor.top >= d.scissor.bottom) return false;
  const Vertex* const halves[2] = {first, second};
  const bool reversed[2] = {firstReversed, secondReversed};
  int64_t X[2][3], Y[2][3];
  double x[2][3], y[2][3];
  for (int t = 0; t < 2; t++)
    for (int i = 0; i < 3; i++) {
      const Vertex& v = halves[t][i];
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || std::fabs(v.x) > kFar ||
          std::fabs(v.y) > kFar)
        return false;
      Snap(v, &X[t][i], &Y[t][i], &x[t][i], &y[t][i]);
    }
  int64_t XL = X[0][0], XR = XL, YT = Y[0][0], YB = YT;
  for (int t = 0; t < 2; t++)
    for (int i = 0; i < 3; i++) {
      XL = std::min(XL, X[t][i]), XR = std::max(XR, X[t][i]);
      YT = std::min(YT, Y[t][i]), YB = std::max(YB, Y[t][i]);
    }
  if (XL == XR || YT == YB) return false;
  // Each half has three corners of the box, and the corners they lack are opposite: the
  // halves meet along a diagonal and cover the box once.
  unsigned missing[2];
  for (int t = 0; t < 2; t++) {
    unsigned corners = 0;
    for (int i = 0; i < 3; i++) {
      const bool l = X[t][i] == XL, r = X[t][i] == XR, top = Y[t][i] == YT, bottom = Y[t][i] == YB;
      if (!(l || r) || !(top || bottom)) return false;
      const unsigned bit = 1u << (unsigned(r) | unsigned(bottom) << 1);
      if (corners & bit) return false;
      corners |= bit;
    }
    missing[t] = unsigned(__builtin_ctz(~corners & 15u));
  }
  if ((missing[0] ^ missing[1]) != 3) return false;
  for (int t = 0; t < 2; t++)
    if (!Kept(d, Area(x[t], y[t]), reversed[t])) return false;
  if (first[0].diffuse != second[0].diffuse || first[0].specular != second[0].specular) return false;
  // The top-left rule keeps the box's left and top sides and drops its right and bottom:
  // the pixels whose centres lie in [XL, XR) x [YT, YB); the diagonal's go to one half.
  const int64_t left = std::max<int64_t>(CeilDiv(XL, 256), d.scissor.left);
  const int64_t right = std::min<int64_t>(CeilDiv(XR, 256) - 1, d.scissor.right - 1);
  const int64_t top = std::max<int64_t>(CeilDiv(YT, 256), d.scissor.top);
  const int64_t bottom = std::min<int64_t>(CeilDiv(YB, 256) - 1, d.scissor.bottom - 1);
  if (left > right || top > bottom) return true;

  // Without depth, only the stage's coordinates count.
  const int set = int(d.stages[0].coordSet);
  const Triangle tris[2] = {MakeTriangle(d, first[0], first[1], first[2], x[0], y[0], set),
                            MakeTriangle(d, second[0], second[1], second[2], x[1], y[1], set)};
  SpanJob job;
  PlanSpan(d, tris[0], &job);
  // A texture read through u along the rows and v down the columns: each pixel's texel is
  // its column's u address and its row's v address, which both halves must give alike.
  AddressStepper across, down;
  if (job.texture) {
    SideLine columns[2], rows[2];
    for (int t = 0; t < 2; t++) {
      const Plane &u = tris[t].u[set], &v = tris[t].v[set];
      if (u.dy != 0 || v.dx != 0) return false;
      columns[t] = {u, u.Row(double(top))};
      rows[t].line.base = v.base;
      rows[t].line.dx = v.dy;
      rows[t].line.x0 = v.y0;
      rows[t].start = v.base;
    }
    static thread_local std::vector<int64_t> tables[2];
    if (!SideAddresses(columns, job.texture->width, left, right, top, bottom, tables[0], &across) ||
        !SideAddresses(rows, job.texture->height, top, bottom, 0, 0, tables[1], &down))
      return false;
  }
  uint8_t* out = d.target.bits + size_t(top) * size_t(d.target.pitch) + size_t(left) * size_t(d.target.layout.bytes);
  // A fill, or a copy of a texel a pixel both ways within the texture, takes every row in
  // one call.
  const int32_t n = int32_t(right - left + 1), rows = int32_t(bottom - top + 1);
  SpanFn copy = d.spans.copy;
  bool block = rows > 1 && !job.texture;
  if (rows > 1 && job.texture && across.mode == AddressStepper::kStepped && down.mode == AddressStepper::kStepped) {
    int64_t u0 = 0, v0 = 0;
    across.Run(&u0);
    down.Run(&v0);
    if (d.spans.centredFetch && ((u0 - 128) & 255) == 0 && ((v0 - 128) & 255) == 0) copy = d.spans.centredCopy;
    block = u0 >> 8 >= 0 && (u0 >> 8) + n <= job.texture->width && v0 >> 8 >= 0 &&
            (v0 >> 8) + rows <= job.texture->height;
    job.u = across;
    job.v.mode = AddressStepper::kConstant;
    job.v.at = v0;
  }
  if (block && copy) {
    job.height = rows;
    job.rowPitch = d.target.pitch;
    job.out = out;
    copy(job, n);
    return true;
  }
  for (int64_t py = top; py <= bottom; py++, out += d.target.pitch) {
    if (job.texture) {
      job.u = across;
      job.v.mode = AddressStepper::kConstant;
      job.v.at = down.Next();
    }
    RunRow(job, left, right, out);
  }
  return true;
}

}  // namespace soft
