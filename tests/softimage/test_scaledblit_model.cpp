// The scaled blit against a slow per-pixel model written from the sampling rule and the
// pixel formulas (wide arithmetic, one channel at a time, the packed add and subtract
// with their literal masks), over every family, mode, blend image, brightness, trans and
// MMX setting, with random sizes, rectangles (mirrored, flipped, clipped, past the
// destination), parameters, palettes, keys, alpha values and blend images.
#include "blitfixture.h"
#include "engine/softimage/scaledblit.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace {

struct ScaledCase {
  int kind;    // 0 or 1
  int source;  // 0 direct, 1 paletted, 2 alpha
  int mode, p;
  bool white, blend, trans, mmx;
  uint8_t bright[3];  // blue, green, red
  int srcW, srcH, dstW, dstH, blendW, blendH;
  Rect rect, area;
  uint32_t key;
  std::vector<uint32_t> src, dst, palette;
  std::vector<uint8_t> blendBytes;

  std::string Name() const {
    std::ostringstream o;
    o << "kind " << kind << " source " << source << " mode " << mode << " p " << p << " white "
      << white << " blend " << blend << " trans " << trans << " mmx " << mmx << " src " << srcW
      << "x" << srcH << " rect " << rect.left << "," << rect.top << "," << rect.right << ","
      << rect.bottom << " area " << area.left << "," << area.top << "," << area.right << ","
      << area.bottom << " dst " << dstW << "x" << dstH;
    return o.str();
  }
};

int64_t Product(int64_t a, int64_t b) { return a * b / 255; }  // the product table
int64_t Mix(int64_t p, int64_t x) { return p * x / 255; }      // the mix table, toward zero

// One pixel. f and a are -1 when that factor is absent; rawSub: the subtract at 255 that
// takes the raw pixel.
uint32_t ModelPixel(const ScaledCase& c, int mode, int p, int f, int a, uint32_t s, uint32_t d,
                    bool rawSub) {
  const bool is32 = c.kind == 1;
  const int shift[3] = {0, is32 ? 8 : 5, is32 ? 16 : 11};
  const int bits[3] = {is32 ? 8 : 5, is32 ? 8 : 6, is32 ? 8 : 5};
  int64_t sc[3], dc[3], lit[3], max[3];
  for (int i = 0; i < 3; i++) {
    max[i] = (1 << bits[i]) - 1;
    sc[i] = s >> shift[i] & max[i];
    dc[i] = d >> shift[i] & max[i];
    int64_t v = mode == 10 ? max[i] - sc[i] : sc[i];
    lit[i] = c.white ? v : Product(c.bright[i], v);
  }
  auto pack = [&](const int64_t* r) {
    uint32_t v = 0;
    for (int i = 0; i < 3; i++) v |= uint32_t(r[i]) << shift[i];
    return v;
  };
  const uint32_t keep = is32 ? d & 0xFF000000 : 0;
  const bool usesP = mode == 1 || mode == 2 || mode == 3 || mode == 10 || mode == 11;
  int count = 0;
  int64_t w = 1;
  for (int factor : {usesP ? p : -1, f, a}) {
    if (factor >= 0) w *= factor, count++;
  }
  auto mixToward = [&](const int64_t* t) {
    int64_t r[3];
    for (int i = 0; i < 3; i++) {
      if (!is32 && count == 1 && usesP) {
        r[i] = dc[i] + Mix(p, t[i] - dc[i]);
      } else {
        r[i] = ((t[i] - dc[i]) * w + (dc[i] << 8 * count)) >> 8 * count;
      }
    }
    return keep | pack(r);
  };
  int64_t r[3];
  switch (mode) {
    case 0:
      if (count == 0) return c.white ? (is32 ? s : s & 0xFFFF) : keep | pack(lit);
      return mixToward(lit);
    case 1:
    case 10:
      return mixToward(lit);
    case 11:
      for (int i = 0; i < 3; i++) r[i] = lit[i] * dc[i] >> bits[i];
      return mixToward(r);
    case 4: {
      int64_t m = (f >= 0 ? f : 1) * (a >= 0 ? a : 1);
      int k = 8 * ((f >= 0) + (a >= 0));
      for (int i = 0; i < 3; i++) r[i] = lit[i] * dc[i] * m >> (bits[i] + k);
      return keep | pack(r);
    }
  }
  // Add and subtract: the scaled source, then the packed recipe.
  uint32_t S = s;
  if (!rawSub) {
    for (int i = 0; i < 3; i++) {
      if (f < 0 && a < 0) {
        r[i] = Product(p, lit[i]);
      } else if (is32) {
        r[i] = lit[i] * (f >= 0 ? f : 1) * (a >= 0 ? a : 1) * p >> 8 * (count);
      } else if (f < 0) {
        int64_t v = sc[i] * a >> 8;
        r[i] = Product(p, c.white ? v : Product(c.bright[i], v));
      } else {
        r[i] = Product(p, lit[i] * f * (a >= 0 ? a : 1) >> (a >= 0 ? 16 : 8));
      }
    }
    S = pack(r);
  }
  const uint32_t D = d;
  if (mode == 2) {
    if (is32) {
      uint32_t U = (S & 0x00FEFEFF) + (D & 0x00FEFEFF), G = U & 0x01010100;
      return (G - (G >> 8)) | ((S | D) & 0x00010100) | U;
    }
    uint32_t U = (S & 0xF7DF) + (D & 0xF7DF), G = U & 0x08210820;
    return ((G - (G >> 5)) | ((S | D) & 0x0820) | U) & 0xFFFF;
  }
  if (is32 && rawSub && c.mmx) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8) {
      out |= uint32_t(std::max(int(D >> i & 0xFF) - int(S >> i & 0xFF), 0)) << i;
    }
    return out;
  }
  if (is32) {
    uint32_t U = (D | 0x01010100) - (S & 0xFEFEFEFF), G = U & 0x01010100;
    return (G - (G >> 8)) & U;
  }
  uint32_t U = (D | 0x08210820) - (S & 0xF7DEF7DF), G = U & 0x08210820;
  return ((G - (G >> 5)) & U) & 0xFFFF;
}

// The source pixel for destination offset D from the unclipped edge; the first drawn
// offset is D0. The exact-hit routines keep the earlier pixel where D x 65536 / step is
// whole, except at the first drawn pixel and unless the step is at least 1:1: the walk
// always moves on once when its accumulator reaches 0, and only a shrink's second move
// can stop on 0.
int64_t SampleOf(int64_t D, int64_t D0, int64_t step, bool exactHit) {
  if (!exactHit || D == D0 || step >= 65536) return D * 65536 / step;
  return (D * 65536 - 1) / step;
}

struct Images {
  TestImage src, dst, blend;
  explicit Images(const ScaledCase& c)
      : src(c.kind, c.srcW, c.srcH, c.key, c.source == 1, c.source == 2),
        dst(c.kind, c.dstW, c.dstH),
        blend(MEMIMG_KIND_GRAY8, c.blendW, c.blendH) {
    for (int i = 0; i < c.srcW * c.srcH; i++) src.Set(i % c.srcW, i / c.srcW, c.src[i]);
    for (int i = 0; i < c.dstW * c.dstH; i++) dst.Set(i % c.dstW, i / c.dstW, c.dst[i]);
    for (int i = 0; i < c.blendW * c.blendH; i++) {
      blend.Set(i % c.blendW, i / c.blendW, c.blendBytes[i]);
    }
    if (c.source == 1) {
      for (int i = 0; i < 256; i++) src.SetPalette(i, c.palette[i]);
    }
    g_DrawState.blendMode = c.mode;
    g_DrawState.blendParam = c.p;
    g_DrawState.brightBlue = c.white ? 255 : c.bright[0];
    g_DrawState.brightGreen = c.white ? 255 : c.bright[1];
    g_DrawState.brightRed = c.white ? 255 : c.bright[2];
    g_DrawState.drawArea = c.area;
    SetBlitMmxUsable(c.mmx);
  }
  const MEMIMG* Blend(const ScaledCase& c) const { return c.blend ? &blend.img : nullptr; }
};

std::vector<uint32_t> Model(const ScaledCase& c) {
  std::vector<uint32_t> out = c.dst;
  int64_t left = std::min(c.rect.left, c.rect.right), right = std::max(c.rect.left, c.rect.right);
  int64_t top = std::min(c.rect.top, c.rect.bottom), bottom = std::max(c.rect.top, c.rect.bottom);
  bool mirror = c.rect.left > c.rect.right, flip = c.rect.top > c.rect.bottom;
  int64_t W = right - left, H = bottom - top;
  if (W == 0 || H == 0) return out;
  if (W == c.srcW && H == c.srcH && !mirror && !flip) {
    Images im(c);  // the plain blit's draw
    BlitMemImg(&im.dst.img, &im.src.img, int32_t(left), int32_t(top), c.trans, im.Blend(c));
    return im.dst.All();
  }
  int p = std::clamp(c.p, 0, 255);
  int mode = c.mode == 1 && p == 255 ? 0 : c.mode;
  if (mode < 0 || (mode > 4 && mode != 10 && mode != 11)) return out;
  if (p == 0 && mode >= 1 && mode <= 3) return out;
  int64_t stepX = (W << 16) / c.srcW, stepY = (H << 16) / c.srcH;
  int64_t x0 = std::max<int64_t>({left, c.area.left, 0});
  int64_t x1 = std::min<int64_t>({right, c.area.right, c.dstW});
  int64_t y0 = std::max<int64_t>({top, c.area.top, 0});
  int64_t y1 = std::min<int64_t>({bottom, c.area.bottom, c.dstH});
  bool plain = c.white && !c.blend && c.source != 2;
  bool rawSub = plain && mode == 3 && p == 255;
  bool exactHit = plain && (mode == 0 || rawSub);
  for (int64_t y = y0; y < y1; y++) {
    int64_t row = SampleOf(y - top, y0 - top, stepY, exactHit);
    if (flip) row = c.srcH - 1 - row;
    for (int64_t x = x0; x < x1; x++) {
      int64_t col = SampleOf(x - left, x0 - left, stepX, exactHit);
      if (mirror) col = c.srcW - 1 - col;
      uint32_t raw = c.src[row * c.srcW + col];
      uint32_t s = c.source == 1                  ? c.palette[raw]
                   : c.source == 2 && c.kind == 0 ? raw & 0xFFFF
                                                  : raw;
      int a = -1;
      if (c.source == 2) {
        int alpha = int(c.kind == 1 ? raw >> 24 : raw >> 16 & 0xFF);
        if (c.trans && alpha == 0) continue;
        a = c.trans && alpha == 255 ? -1 : alpha;
      } else if (c.trans && raw == c.key) {
        continue;
      }
      int f = c.blend ? BlendGraphCurve[c.blendBytes[row * c.blendW + col]] : -1;
      uint32_t& d = out[y * c.dstW + x];
      d = ModelPixel(c, mode, p, f, a, s, d, rawSub);
    }
  }
  return out;
}

std::vector<uint32_t> Real(const ScaledCase& c) {
  Images im(c);
  BlitMemImgScaled(&im.dst.img, &im.src.img, &c.rect, c.trans, im.Blend(c));
  return im.dst.All();
}

// A side of the destination rectangle for a source side n: often a whole multiple or
// divisor (exact hits), sometimes the source's own, else anything.
int32_t Side(std::mt19937& rng, int n) {
  switch (rng() % 5) {
    case 0:
      return n * int(1 + rng() % 3);
    case 1:
      return std::max(1, n / int(1 + rng() % 3));
    case 2:
      return n;
    default:
      return int32_t(rng() % 30);
  }
}

ScaledCase MakeCase(std::mt19937& rng, int kind, int source, int mode, int flags) {
  ScaledCase c{};
  c.kind = kind;
  c.source = source;
  c.mode = mode;
  c.blend = flags & 1;
  c.white = flags & 2;
  c.trans = flags & 4;
  c.mmx = flags & 8;
  const int params[] = {1, 64, 127, 128, 129, 200, 254, 255, 0, 300, -7};
  c.p = rng() % 4 == 0 ? int(rng() % 256) : params[rng() % 11];
  for (uint8_t& b : c.bright) b = rng() % 4 == 0 ? 255 : uint8_t(rng());
  c.bright[rng() % 3] = uint8_t(rng() % 255);  // never white by chance
  c.srcW = int(1 + rng() % 12);
  c.srcH = int(1 + rng() % 9);
  c.dstW = int(8 + rng() % 20);
  c.dstH = int(6 + rng() % 14);
  c.blendW = c.srcW + int(rng() % 3);
  c.blendH = c.srcH + int(rng() % 3);
  int32_t x = int32_t(rng() % (c.dstW + 10)) - 8, y = int32_t(rng() % (c.dstH + 10)) - 8;
  int32_t w = Side(rng, c.srcW), h = Side(rng, c.srcH);
  c.rect = {x, y, x + w, y + h};
  if (rng() % 2) std::swap(c.rect.left, c.rect.right);
  if (rng() % 2) std::swap(c.rect.top, c.rect.bottom);
  int32_t al = int32_t(rng() % 12) - 4, at = int32_t(rng() % 10) - 4;
  c.area = {al, at, al + int32_t(rng() % (c.dstW + 8)), at + int32_t(rng() % (c.dstH + 8))};
  if (rng() % 3 == 0) c.area = {0, 0, c.dstW, c.dstH};

  const bool is32 = kind == 1;
  const uint32_t mask = is32 ? 0xFFFFFFFF : 0xFFFF;
  for (int i = 0; i < 256; i++) c.palette.push_back(rng() & mask);
  uint32_t key = source == 1 ? rng() & 0xFF : rng() & mask;
  for (int i = 0; i < c.srcW * c.srcH; i++) {
    uint32_t v = rng();
    int roll = int(rng() % 4);
    if (source == 0) {
      c.src.push_back(roll == 0 ? key : v & mask);
    } else if (source == 1) {
      c.src.push_back(roll == 0 ? key : v & 0xFF);
    } else {
      uint32_t alpha = roll == 0 ? 0 : roll == 1 ? 255 : v % 256;
      // A 16-bit alpha pixel keeps junk in byte 3, which nothing may read.
      c.src.push_back(is32 ? (v & 0x00FFFFFF) | alpha << 24 : (v & 0xFF00FFFF) | alpha << 16);
    }
  }
  c.key = key;
  for (int i = 0; i < c.dstW * c.dstH; i++) c.dst.push_back(rng() & mask);
  for (int i = 0; i < c.blendW * c.blendH; i++) c.blendBytes.push_back(uint8_t(rng()));
  return c;
}

TEST_F(BlitTest, ScaledDrawsMatchTheModel) {
  std::mt19937 rng(20240519);
  int failures = 0, cases = 0;
  for (int round = 0; round < 6; round++) {
    BuildBlendGraphCurve(int32_t(rng() % 256), int32_t(rng() % 256));
    for (int kind = 0; kind < 2; kind++) {
      for (int source = 0; source < 3; source++) {
        for (int mode : {0, 1, 2, 3, 4, 10, 11, 7, 12, -1}) {
          for (int flags = 0; flags < 16; flags++) {
            ScaledCase c = MakeCase(rng, kind, source, mode, flags);
            cases++;
            std::vector<uint32_t> want = Model(c), got = Real(c);
            if (want != got && ++failures <= 10) {
              size_t i =
                  size_t(std::mismatch(want.begin(), want.end(), got.begin()).first - want.begin());
              ADD_FAILURE() << c.Name() << std::hex << ": pixel " << std::dec << i << std::hex
                            << " want " << want[i] << " got " << got[i];
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0) << "of " << cases;
}

}  // namespace

namespace {

// Rows far wider than a few thousand pixels, mirrored and not, clipped at both ends.
TEST_F(BlitTest, WideRowsMatchTheModel) {
  std::mt19937 rng(4242);
  const Rect rects[] = {{-300, 1, 9000, 4}, {9000, 4, -300, 0}, {5, 0, 4200, 5}};
  for (int kind = 0; kind < 2; kind++) {
    for (const Rect& rect : rects) {
      for (int flags : {2, 6, 1, 4}) {  // white; white and trans; blend image; trans
        ScaledCase c = MakeCase(rng, kind, 0, flags & 1 ? BLEND_MIX : BLEND_COPY, flags);
        c.dstW = 6000;
        c.dstH = 5;
        c.dst.resize(size_t(c.dstW) * c.dstH);
        for (uint32_t& v : c.dst) v = rng() & (kind ? 0xFFFFFFFF : 0xFFFF);
        c.rect = rect;
        c.area = {0, 0, c.dstW, c.dstH};
        EXPECT_EQ(Model(c), Real(c)) << c.Name();
      }
    }
  }
}

}  // namespace
