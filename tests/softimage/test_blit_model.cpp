// The blit against a per-pixel model written straight from the blend-mode tables (wide
// signed arithmetic, one channel at a time), over every mode, parameter class, source
// kind, blend image, brightness, trans and MMX setting; and the per-byte saturating
// forms against a byte loop.
#include "blitfixture.h"
#include "engine/softimage/blendops.h"

#include <iterator>
#include <random>
#include <sstream>

namespace {

struct Case {
  int kind;    // 0 or 1
  int source;  // 0 direct, 1 paletted, 2 alpha
  int mode;
  int p;
  bool blend;
  bool white;
  bool trans;
  bool mmx;
  std::string Name() const {
    std::ostringstream o;
    o << "kind " << kind << " source " << source << " mode " << mode << " p " << p << " blend "
      << blend << " white " << white << " trans " << trans << " mmx " << mmx;
    return o.str();
  }
};

const uint8_t kBright[3] = {200, 77, 255};  // blue, green, red when not white

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

uint32_t BytewiseSaturate(uint32_t d, uint32_t s, bool add) {
  uint32_t r = 0;
  for (int i = 0; i < 32; i += 8) {
    int v = add ? int(d >> i & 0xFF) + int(s >> i & 0xFF) : int(d >> i & 0xFF) - int(s >> i & 0xFF);
    r |= uint32_t(std::clamp(v, 0, 255)) << i;
  }
  return r;
}

// One pixel. a and f are -1 when that factor is absent; plain: no blend image and a
// source without alpha, where the fast forms and the unscaled add and subtract live.
uint32_t ModelPixel(const Case& c, uint32_t d, uint32_t s, int a, int f, bool plain) {
  const int shift[2][3] = {{0, 5, 11}, {0, 8, 16}};
  const int bits[2][3] = {{5, 6, 5}, {8, 8, 8}};
  const bool is32 = c.kind == 1;
  int mode = c.mode == 1 && c.p == 255 ? 0 : c.mode;
  int64_t x[3], dc[3];
  for (int i = 0; i < 3; i++) {
    int64_t max = (1 << bits[c.kind][i]) - 1;
    x[i] = s >> shift[c.kind][i] & max;
    dc[i] = d >> shift[c.kind][i] & max;
    if (mode == 10) x[i] = max - x[i];
    if (!c.white) x[i] = BlendMulTable[kBright[i]][x[i]];
  }
  int n = 0;
  int64_t factor = 1;
  if (f >= 0) factor *= f, n++;
  if (a >= 0) factor *= a, n++;
  auto pack = [&](const int64_t* r, uint32_t keep) {
    uint32_t v = keep;
    for (int i = 0; i < 3; i++) v |= uint32_t(r[i]) << shift[c.kind][i];
    return v;
  };
  const uint32_t keep = is32 ? d & 0xFF000000 : 0;
  int64_t r[3];
  switch (mode) {
    case 0:
      if (n == 0) return c.white ? (is32 ? s : s & 0xFFFF) : pack(x, keep);
      for (int i = 0; i < 3; i++)
        r[i] = dc[i] + FloorDiv((x[i] - dc[i]) * factor, int64_t(1) << 8 * n);
      return pack(r, keep);
    case 1:
    case 10:
    case 11: {
      int64_t t[3];
      for (int i = 0; i < 3; i++) t[i] = mode == 11 ? x[i] * dc[i] >> bits[c.kind][i] : x[i];
      bool fast = mode == 1 && plain && c.white;
      if (n == 0 && fast && c.p == 128) {
        return is32 ? ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F)
                    : ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF);
      }
      for (int i = 0; i < 3; i++) {
        if (n > 0) {
          r[i] = dc[i] + FloorDiv((t[i] - dc[i]) * c.p * factor, int64_t(1) << 8 * (n + 1));
        } else if (is32) {
          r[i] = dc[i] + FloorDiv((t[i] - dc[i]) * c.p, 256);
        } else if (fast) {
          r[i] = BlendMix6Table[c.p / 4][x[i]][dc[i]];
        } else {
          r[i] = dc[i] + BlendDiffTable[c.p][256 + t[i] - dc[i]];
        }
      }
      return pack(r, keep);
    }
    case 2:
    case 3: {
      bool full = c.p == 255 && plain;
      if (full && is32 && c.mmx && c.white) return BytewiseSaturate(d, s, mode == 2);
      for (int i = 0; i < 3; i++) {
        if (full || n == 0) {
          r[i] = BlendMulTable[c.p][x[i]];
        } else if (is32) {
          r[i] = x[i] * c.p * factor >> 8 * (n + 1);
        } else {
          r[i] = BlendMulTable[c.p][x[i] * factor >> 8 * n];
        }
      }
      uint32_t sp = pack(r, 0);
      if (mode == 3) return is32 ? GuardSub32(d, sp) : GuardSub16(d, sp);
      if (full) return is32 ? GuardAdd32(d, sp) : GuardAdd16(d, sp);
      return is32 ? GuardAddScaled32(d, sp) : GuardAddScaled16(d, sp);
    }
    case 4:
      for (int i = 0; i < 3; i++) r[i] = x[i] * dc[i] * factor >> (bits[c.kind][i] + 8 * n);
      return pack(r, keep);
  }
  return d;
}

struct Scene {
  int w, h = 3;
  std::vector<uint32_t> src[3];  // raw pixels per source kind
  std::vector<uint32_t> dst, palette;
  std::vector<uint8_t> blend;
  uint32_t key[3];
};

Scene MakeScene(int kind, int w, std::mt19937& rng) {
  Scene sc;
  sc.w = w;
  bool is32 = kind == 1;
  uint32_t mask = is32 ? 0xFFFFFFFF : 0xFFFF;
  sc.key[0] = rng() & mask;
  sc.key[1] = rng() & 0xFF;
  sc.key[2] = 0;
  for (int i = 0; i < 256; i++) sc.palette.push_back(rng() & (is32 ? 0x00FFFFFF : 0xFFFF));
  for (int i = 0; i < sc.w * sc.h; i++) {
    uint32_t v = rng();
    int roll = int(rng() % 4);
    // Direct: a quarter are the key; 32-bit near misses differ in byte 3 only.
    uint32_t direct = roll == 0 ? sc.key[0] : v & mask;
    if (is32 && roll == 1) direct = sc.key[0] ^ 0x01000000;
    sc.src[0].push_back(direct);
    sc.src[1].push_back(roll == 0 ? sc.key[1] : v >> 24);
    uint32_t alpha = roll == 0 ? 0 : roll == 1 ? 255 : (v >> 8) % 254 + 1;
    // Kind 0 keeps junk in byte 3, which nothing may read.
    sc.src[2].push_back(is32 ? (v & 0x00FFFFFF) | alpha << 24 : (v & 0xFF00FFFF) | alpha << 16);
    sc.dst.push_back(rng() & mask);
    sc.blend.push_back(uint8_t(rng()));
  }
  return sc;
}

// The model's walk: row by row, with the 16-bit pair forms where they apply.
std::vector<uint32_t> ModelBlit(const Case& c, const Scene& sc) {
  std::vector<uint32_t> out = sc.dst;
  bool is32 = c.kind == 1;
  if (c.mode < 0 || (c.mode > 4 && c.mode != 10 && c.mode != 11)) return out;
  if (c.p == 0 && c.mode >= 1 && c.mode <= 3) return out;
  bool plain = !c.blend && c.source != 2;
  bool copyWhole = !c.trans && (c.mode == 0 || (c.mode == 1 && c.p == 255)) && !c.blend && c.white;
  bool pairs =
      !is32 && plain &&
      (((c.mode == 2 || c.mode == 3) && c.p == 255) || (c.mode == 1 && c.p == 128 && c.white));
  auto colour = [&](uint32_t raw) {
    if (c.source == 1) return sc.palette[raw];
    return c.source == 2 && !is32 ? raw & 0xFFFF : raw;
  };
  // Whether a pixel is drawn, and its alpha factor (-1 absent).
  auto look = [&](int i, int* a) {
    uint32_t raw = sc.src[c.source][i];
    *a = -1;
    if (c.source != 2) return !c.trans || raw != sc.key[c.source];
    int alpha = int(is32 ? raw >> 24 : (raw >> 16) & 0xFF);
    if (copyWhole) return true;
    if (!c.trans) {
      *a = alpha;
      return true;
    }
    if (alpha == 255) return true;
    *a = alpha;
    int mode = c.mode == 1 && c.p == 255 ? 0 : c.mode;
    return !(alpha == 0 && mode <= 3);
  };
  for (int y = 0; y < sc.h; y++) {
    for (int x = 0; x < sc.w; x++) {
      int i = y * sc.w + x, a, a1;
      if (pairs && x % 2 == 0 && x + 1 < sc.w && look(i, &a) && look(i + 1, &a1)) {
        uint32_t s0 = colour(sc.src[c.source][i]), s1 = colour(sc.src[c.source][i + 1]);
        if (!c.white) {  // the unscaled add and subtract take the tinted colour
          Case tint = c;
          tint.mode = 0;
          s0 = ModelPixel(tint, 0, s0, -1, -1, false);
          s1 = ModelPixel(tint, 0, s1, -1, -1, false);
        }
        uint32_t d = out[i] | out[i + 1] << 16, both = s0 | s1 << 16;
        uint32_t r = c.mode == 1   ? ((both >> 1) & 0x7BEF7BEF) + ((d >> 1) & 0x7BEF7BEF)
                     : c.mode == 2 ? GuardAddPair16(d, both)
                                   : GuardSubPair16(d, both);
        out[i] = r & 0xFFFF;
        out[i + 1] = r >> 16;
        x++;
        continue;
      }
      if (!look(i, &a)) continue;
      int f = c.blend ? BlendGraphCurve[sc.blend[i]] : -1;
      out[i] = ModelPixel(c, out[i], colour(sc.src[c.source][i]), a, f, plain);
    }
  }
  return out;
}

std::vector<uint32_t> RealBlit(const Case& c, const Scene& sc) {
  bool is32 = c.kind == 1;
  TestImage src(c.kind, sc.w, sc.h, sc.key[c.source], c.source == 1, c.source == 2);
  TestImage dst(c.kind, sc.w, sc.h), blend(MEMIMG_KIND_GRAY8, sc.w, sc.h);
  for (int i = 0; i < sc.w * sc.h; i++) {
    src.Set(i % sc.w, i / sc.w, sc.src[c.source][i]);
    dst.Set(i % sc.w, i / sc.w, sc.dst[i]);
    blend.Set(i % sc.w, i / sc.w, sc.blend[i]);
  }
  if (c.source == 1) {
    for (int i = 0; i < 256; i++) src.SetPalette(i, sc.palette[i]);
  }
  (void)is32;
  g_DrawState.blendMode = c.mode;
  g_DrawState.blendParam = c.p;
  g_DrawState.brightBlue = c.white ? 255 : kBright[0];
  g_DrawState.brightGreen = c.white ? 255 : kBright[1];
  g_DrawState.brightRed = c.white ? 255 : kBright[2];
  SetBlitMmxUsable(c.mmx);
  BlitMemImg(&dst.img, &src.img, 0, 0, c.trans, c.blend ? &blend.img : nullptr);
  return dst.All();
}

TEST_F(BlitTest, EveryPathMatchesTheModel) {
  BuildBlendGraphCurve(60, 200);
  std::mt19937 rng(1234);
  int failures = 0;
  for (int kind = 0; kind < 2; kind++) {
    // Rows of 7 end in a half step and single pixels; rows of 8 fill the images' pitch
    // (whole-image copies); rows of 21 take several sixteen-byte steps of either kind.
    for (int w : {7, 8, 21}) {
      Scene sc = MakeScene(kind, w, rng);
      for (int source = 0; source < 3; source++) {
        for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
          for (int p : {1, 100, 128, 255}) {
            for (int bits = 0; bits < 16; bits++) {
              Case c{kind,
                     source,
                     mode,
                     p,
                     (bits & 1) != 0,
                     (bits & 2) != 0,
                     (bits & 4) != 0,
                     (bits & 8) != 0};
              std::vector<uint32_t> want = ModelBlit(c, sc), got = RealBlit(c, sc);
              if (want != got && ++failures <= 10) ADD_FAILURE() << c.Name();
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(BlendOps, SaturatingBytesMatchAByteLoop) {
  std::mt19937 rng(99);
  const uint32_t edges[] = {0, 0xFFFFFFFF, 0x80808080, 0x7F7F7F7F, 0x01010101, 0xFEFEFEFE};
  for (int i = 0; i < 200000; i++) {
    uint32_t d = i < 36 ? edges[i % 6] : rng(), s = i < 36 ? edges[i / 6] : rng();
    ASSERT_EQ(SaturateAddBytes32(d, s), BytewiseSaturate(d, s, true)) << std::hex << d << " " << s;
    ASSERT_EQ(SaturateSubBytes32(d, s), BytewiseSaturate(d, s, false)) << std::hex << d << " " << s;
  }
}

TEST(BlendOps, LerpMatchesTheChannelFormula) {
  for (uint32_t k : {0u, 1u, 127u, 128u, 255u, 256u}) {
    for (uint32_t d : {0u, 1u, 0x7Fu, 0xFFu}) {
      for (uint32_t x : {0u, 1u, 0x80u, 0xFFu}) {
        uint32_t want = uint32_t(int64_t(d) + FloorDiv((int64_t(x) - d) * k, 256));
        EXPECT_EQ(LerpChannel(d, x, k, 8), want);
        EXPECT_EQ(Lerp32(d * 0x010101 | 0xFF000000, x * 0x010101, k), want * 0x010101);
      }
    }
  }
}

TEST(BlendOps, FourPixelFormsGiveEachPixelItsOwnResult) {
  // Each lane of the PixelVec form against the one-pixel form, with neighbours that carry
  // into or borrow from a lane if the lanes were not kept apart.
  std::mt19937 rng(7);
  const uint32_t edges[] = {0, 0xFFFFFFFF, 0x00FFFFFF, 0xFF000000, 0x01010101, 0x80808080};
  for (int i = 0; i < 20000; i++) {
    uint32_t d[4], s[4];
    for (int lane = 0; lane < 4; lane++) {
      d[lane] = i < 36 ? edges[(i + lane) % 6] : rng();
      s[lane] = i < 36 ? edges[(i / 6 + lane) % 6] : rng();
    }
    const PixelVec dv = {d[0], d[1], d[2], d[3]}, sv = {s[0], s[1], s[2], s[3]};
    const uint32_t k = i % 257;  // 0 to 256
    auto mulMix = [k](ChannelVec dc, ChannelVec xc) {
      return LerpChannels(dc, MulChannels(xc, dc, 8), k, 8);
    };
    const PixelVec results[] = {Lerp32(dv, sv, k),          PerChannel32(dv, sv, mulMix),
                                GuardAdd32(dv, sv),         GuardSub32(dv, sv),
                                Average32(dv, sv),          Average16(dv, sv),
                                SaturateAddBytes32(dv, sv), SaturateSubBytes32(dv, sv)};
    for (int lane = 0; lane < 4; lane++) {
      uint32_t m = 0;
      for (int c = 0; c < 24; c += 8)
        m |= MulChannels(s[lane] >> c & 0xFF, d[lane] >> c & 0xFF, 8) << c;
      const uint32_t want[] = {Lerp32(d[lane], s[lane], k),
                               Lerp32(d[lane], m, k),
                               GuardAdd32(d[lane], s[lane]),
                               GuardSub32(d[lane], s[lane]),
                               Average32(d[lane], s[lane]),
                               Average16(d[lane], s[lane]),
                               BytewiseSaturate(d[lane], s[lane], true),
                               BytewiseSaturate(d[lane], s[lane], false)};
      for (size_t op = 0; op < std::size(want); op++) {
        ASSERT_EQ(results[op][lane], want[op])
            << "form " << op << " lane " << lane << std::hex << " d " << d[lane] << " s " << s[lane]
            << std::dec << " k " << k;
      }
    }
  }
}

}  // namespace
