// The scaled blit: which source pixel each destination pixel takes (stretching,
// shrinking, mirroring, flipping, clipping, both walk rules), the hand-off to the plain
// blit, the per-pixel arithmetic on known values (including every place where it differs
// from the plain blit's on purpose), and the refusals.
#include "blitfixture.h"
#include "engine/softimage/scaledblit.h"

#include <algorithm>
#include <climits>
#include <random>

namespace {

// ---- Which source pixel lands where ----

// The routines whose sampling the tests read back. The standard walk is read through an
// alpha source of alpha 255 under trans (drawn exactly, by the general routines); the
// exact-hit walk through the plain copy, the mix at 255 and the subtract at 255 of a
// source without alpha.
enum Routine { STD_COPY, STD_SUB, FAST_COPY, FAST_MIX, FAST_SUB };
const Routine kRoutines[] = {STD_COPY, STD_SUB, FAST_COPY, FAST_MIX, FAST_SUB};
bool IsFast(Routine r) { return r == FAST_COPY || r == FAST_MIX || r == FAST_SUB; }
bool IsSub(Routine r) { return r == STD_SUB || r == FAST_SUB; }

// A pixel naming source column and row (each plus one, so that no code is 0), placed
// where the guard-bit subtract keeps it: blue holds the column, green (above its lowest
// bit) the row.
uint32_t Code(int kind, int col, int row) {
  return uint32_t(col + 1) | uint32_t(row + 1) << (kind == MEMIMG_KIND_XRGB8888 ? 9 : 6);
}
uint32_t CodeMask(int kind) { return kind == MEMIMG_KIND_XRGB8888 ? 0xFEFF : 0x07DF; }

// Draws a source of srcW x srcH named pixels into a destination of all ones (what
// the subtract of a code can be read back from) with the routine; returns per destination
// pixel the code it received, or 0 where it was left alone.
std::vector<uint32_t> Sampled(int kind, Routine routine, int srcW, int srcH, const Rect& rect,
                              int dstW = 40, int dstH = 12) {
  bool alpha = !IsFast(routine);
  TestImage src(kind, srcW, srcH, 0, 0, alpha), dst(kind, dstW, dstH);
  uint32_t alphaBits = !alpha ? 0 : kind == MEMIMG_KIND_XRGB8888 ? 0xFF000000 : 0x00FF0000;
  for (int y = 0; y < srcH; y++) {
    for (int x = 0; x < srcW; x++) src.Set(x, y, Code(kind, x, y) | alphaBits);
  }
  uint32_t ones = kind == MEMIMG_KIND_XRGB8888 ? 0xFFFFFFFF : 0xFFFF;
  dst.Fill(ones);
  g_DrawState.blendMode = IsSub(routine) ? BLEND_SUBTRACT : routine == FAST_MIX ? BLEND_MIX : BLEND_COPY;
  g_DrawState.blendParam = 255;
  BlitMemImgScaled(&dst.img, &src.img, &rect, alpha ? 1 : 0, nullptr);
  std::vector<uint32_t> out = dst.All();
  for (uint32_t& v : out) v = v == ones ? 0 : (IsSub(routine) ? ~v : v) & CodeMask(kind);
  return out;
}

// The codes a draw should leave: columns cols and rows rows from the clipped rectangle's
// top-left corner (x0, y0) on.
std::vector<uint32_t> Expected(int kind, int x0, int y0, const std::vector<int>& cols,
                               const std::vector<int>& rows, int dstW = 40, int dstH = 12) {
  std::vector<uint32_t> out(size_t(dstW) * dstH, 0);
  for (size_t j = 0; j < rows.size(); j++) {
    for (size_t i = 0; i < cols.size(); i++) {
      out[(y0 + j) * dstW + x0 + i] = Code(kind, cols[i], rows[j]);
    }
  }
  return out;
}

struct SamplingCase {
  const char* name;
  int srcW, srcH;
  Rect rect;
  Rect area;
  std::vector<int> cols, rows;          // the standard walk
  std::vector<int> fastCols, fastRows;  // the exact-hit walk where it differs (a shrink)
  int dstW = 40, dstH = 12;
};

const Rect kWhole = {0, 0, 40, 12};
const Rect kLarge = {0, 0, 120, 60};

// clang-format off
const SamplingCase kSampling[] = {
    {"10 into 20",
     10, 3, {0, 0, 20, 6}, kWhole,
     {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9}, {0, 0, 1, 1, 2, 2}, {}, {}},
    {"10 into 30",
     10, 3, {0, 0, 30, 9}, kWhole,
     {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9},
     {0, 0, 0, 1, 1, 1, 2, 2, 2}, {}, {}},
    {"20 into 10",
     20, 4, {0, 0, 10, 2}, kWhole,
     {0, 2, 4, 6, 8, 10, 12, 14, 16, 18}, {0, 2},
     {0, 1, 3, 5, 7, 9, 11, 13, 15, 17}, {0, 1}},
    {"20 into 10, clipped on the left and at the top: the first pixel placed by the clip",
     20, 8, {-3, -1, 7, 3}, kWhole,
     {6, 8, 10, 12, 14, 16, 18}, {2, 4, 6},
     {6, 7, 9, 11, 13, 15, 17}, {2, 3, 5}},
    {"mirrored at its own size",
     10, 3, {10, 0, 0, 3}, kWhole,
     {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {0, 1, 2}, {}, {}},
    {"flipped at its own size",
     10, 3, {0, 3, 10, 0}, kWhole,
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {2, 1, 0}, {}, {}},
    {"7 x 5 mirrored at (100, 50)",
     7, 5, {107, 50, 100, 55}, kLarge,
     {6, 5, 4, 3, 2, 1, 0}, {0, 1, 2, 3, 4}, {}, {}, 120, 60},
    {"7 x 5 flipped at (100, 50)",
     7, 5, {100, 55, 107, 50}, kLarge,
     {0, 1, 2, 3, 4, 5, 6}, {4, 3, 2, 1, 0}, {}, {}, 120, 60},
    {"7 x 5 mirrored and flipped at (100, 50)",
     7, 5, {107, 55, 100, 50}, kLarge,
     {6, 5, 4, 3, 2, 1, 0}, {4, 3, 2, 1, 0}, {}, {}, 120, 60},
    {"stretched, half outside the area on the left",
     10, 3, {-5, 0, 15, 3}, {5, 0, 40, 12},
     {5, 5, 6, 6, 7, 7, 8, 8, 9, 9}, {0, 1, 2}, {}, {}},
    {"the same mirrored: the source's right end at the unclipped left edge",
     10, 3, {15, 0, -5, 3}, {5, 0, 40, 12},
     {4, 4, 3, 3, 2, 2, 1, 1, 0, 0}, {0, 1, 2}, {}, {}},
    {"half outside the area at the top, flipped",
     4, 6, {0, 9, 4, -3}, {0, 3, 40, 12},
     {0, 1, 2, 3}, {2, 2, 1, 1, 0, 0}, {}, {}},
};
// clang-format on

using ScaledVectors = KindMmxTest;

TEST_P(ScaledVectors, EachRoutineSamplesItsColumnsAndRows) {
  for (const SamplingCase& c : kSampling) {
    g_DrawState.drawArea = c.area;
    int x0 = std::max(std::min(c.rect.left, c.rect.right), c.area.left);
    int y0 = std::max(std::min(c.rect.top, c.rect.bottom), c.area.top);
    const bool differs = !c.fastCols.empty();
    for (Routine r : kRoutines) {
      const bool fast = IsFast(r) && differs;
      std::vector<uint32_t> want = Expected(Kind(), x0, y0, fast ? c.fastCols : c.cols,
                                            fast ? c.fastRows : c.rows, c.dstW, c.dstH);
      EXPECT_EQ(Sampled(Kind(), r, c.srcW, c.srcH, c.rect, c.dstW, c.dstH), want)
          << c.name << ", routine " << r;
    }
  }
}

TEST_P(ScaledVectors, EmptyRectanglesDrawNothing) {
  const Rect empty[] = {{5, 0, 5, 6},     {0, 4, 20, 4},   {0, 0, 0, 0},
                        {-30, 0, -10, 6}, {0, 20, 20, 30}, {45, 0, 60, 6}};
  for (const Rect& rect : empty) {
    for (Routine r : {STD_COPY, FAST_COPY}) {
      EXPECT_EQ(Sampled(Kind(), r, 10, 3, rect), std::vector<uint32_t>(40 * 12, 0))
          << rect.left << " " << rect.top << " " << rect.right << " " << rect.bottom;
    }
  }
}

// A rectangle of the source's own size, neither mirrored nor flipped, is the plain
// blit's draw, with the plain blit's arithmetic where the two differ.
TEST_P(ScaledVectors, TheUnscaledDrawIsThePlainBlit) {
  std::mt19937 rng(7);
  uint32_t mask = Is32() ? 0xFFFFFFFF : 0xFFFF;
  struct Draw {
    int mode, p, trans, alpha;
  };
  const Draw draws[] = {{BLEND_COPY, 0, 1, 0},  {BLEND_MIX, 128, 0, 0},
                        {BLEND_ADD, 255, 0, 0}, {BLEND_SUBTRACT, 255, 1, 0},
                        {BLEND_COPY, 0, 0, 1},  {BLEND_MULTIPLY, 0, 1, 1}};
  for (const Draw& d : draws) {
    TestImage src(Kind(), 12, 8, 0, 0, d.alpha), a(Kind(), 200, 100), b(Kind(), 200, 100);
    for (int y = 0; y < 8; y++) {
      for (int x = 0; x < 12; x++) src.Set(x, y, x == y ? 0 : rng() & (d.alpha ? ~0u : mask));
    }
    for (int y = 0; y < 100; y++) {
      for (int x = 0; x < 200; x++) {
        uint32_t v = rng() & mask;
        a.Set(x, y, v);
        b.Set(x, y, v);
      }
    }
    SetBlend(d.mode, d.p);
    Rect rect = {100, 50, 112, 58};
    BlitMemImgScaled(&a.img, &src.img, &rect, d.trans, nullptr);
    BlitMemImg(&b.img, &src.img, 100, 50, d.trans, nullptr);
    EXPECT_EQ(a.All(), b.All()) << "mode " << d.mode << " p " << d.p;
  }
}

TEST_P(ScaledVectors, SilentModesAndParametersDrawNothing) {
  TestImage src(Kind(), 3, 2), dst(Kind(), 8, 4);
  src.Fill(0x1234);
  dst.Fill(0x4321);
  const std::pair<int, int> silent[] = {
      {7, 128},         {5, 255},       {9, 255},       {12, 128},           {-1, 128},
      {INT32_MIN, 255}, {BLEND_MIX, 0}, {BLEND_ADD, 0}, {BLEND_SUBTRACT, 0}, {BLEND_MIX, -40}};
  Rect rect = {0, 0, 6, 4};
  for (auto [mode, p] : silent) {
    SetBlend(mode, p);
    BlitMemImgScaled(&dst.img, &src.img, &rect, 0, nullptr);
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(32, 0x4321)) << "mode " << mode << " p " << p;
  }
}

// Mode 1 at 255 (or above, clamped) is the copy, byte 3 and exact-hit walk included.
TEST_P(ScaledVectors, MixAt255IsTheCopy) {
  Rect rect = {0, 0, 20, 6};
  for (int p : {255, 256, 1000}) {
    SetBlend(BLEND_MIX, p);
    TestImage src(Kind(), 10, 3), a(Kind(), 40, 12), b(Kind(), 40, 12);
    for (int i = 0; i < 30; i++) src.Set(i % 10, i / 10, Code(Kind(), i % 10, i / 10) | 0xAB000000);
    BlitMemImgScaled(&a.img, &src.img, &rect, 0, nullptr);
    SetBlend(BLEND_COPY, 0);
    BlitMemImgScaled(&b.img, &src.img, &rect, 0, nullptr);
    EXPECT_EQ(a.All(), b.All()) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(KindsAndMmx, ScaledVectors, kKindsAndMmx, KindMmxName);

// ---- The arithmetic on known values ----

// One source pixel drawn into two destination pixels (a scaled draw), over destination
// value d; both must come out as want.
struct PixelCase {
  const char* name;
  int kind;
  int source;  // 0 direct, 1 paletted (s is the entry of index 7), 2 alpha
  int mode, p;
  int bright;  // one value for red, green and blue
  int blend;   // blend-image byte, or -1 for none (the curve is 0 below 255, 1 at 255)
  int trans, mmx;
  uint32_t s, d, want;
};

// clang-format off
const PixelCase kPixels[] = {
    // Packed add and subtract, 5:6:5.
    {"565 add: halves to full", 0, 0, 2, 255, 255, -1, 0, 0, 0x8410, 0x8410, 0xFFFF},
    {"565 add: blue's carry sets green's lowest bit",
     0, 0, 2, 255, 255, -1, 0, 0, 0x0001, 0x001F, 0x003F},
    {"565 add: blue 1 onto 0", 0, 0, 2, 255, 255, -1, 0, 0, 0x0001, 0x0000, 0x0001},
    {"565 subtract: halves from halves", 0, 0, 3, 255, 255, -1, 0, 0, 0x8410, 0x8410, 0x0800},
    {"565 subtract: 0 from halves", 0, 0, 3, 255, 255, -1, 0, 0, 0x0000, 0x8410, 0x8C10},
    {"565 subtract: green 1 from green 63", 0, 0, 3, 255, 255, -1, 0, 0, 0x0020, 0x07E0, 0x0FC0},
    // Packed add and subtract, 32-bit.
    {"32 add: halves to full, red's carry in byte 3",
     1, 0, 2, 255, 255, -1, 0, 0, 0x808080, 0x808080, 0x01FFFFFF},
    {"32 add: green saturates", 1, 0, 2, 255, 255, -1, 0, 0, 0x010203, 0x40FF10, 0x0041FF13},
    {"32 subtract: itself", 1, 0, 3, 255, 255, -1, 0, 0, 0x123456, 0x123456, 0x00010100},
    {"32 subtract: 0 from halves", 1, 0, 3, 255, 255, -1, 0, 0, 0x000000, 0xFF808080, 0x00818180},
    {"32 subtract, MMX: itself, all four bytes",
     1, 0, 3, 255, 255, -1, 0, 1, 0xAB123456, 0xAB123456, 0},
    {"32 subtract, MMX, paletted", 1, 1, 3, 255, 255, -1, 0, 1, 0x10203040, 0x20304050, 0x10101010},
    // Mixes.
    {"32 mix at 128: /256, byte 3 kept",
     1, 0, 1, 128, 255, -1, 0, 0, 0xFFFFFF, 0xAA000000, 0xAA7F7F7F},
    {"565 mix at 128: the mix table", 0, 0, 1, 128, 255, -1, 0, 0, 0x001F, 0x0000, 0x000F},
    // Alpha.
    {"mode 4, alpha 0, trans 0: black",
     1, 2, 4, 0, 255, -1, 0, 0, 0x00FFFFFF, 0x5A808080, 0x5A000000},
    {"mode 4, alpha 0, trans 1: skipped",
     1, 2, 4, 0, 255, -1, 1, 0, 0x00FFFFFF, 0x5A808080, 0x5A808080},
    {"alpha 255, trans 0: mixed by 255/256",
     1, 2, 0, 0, 255, -1, 0, 0, 0xFFC86432, 0x11000000, 0x11C76331},
    {"alpha 255, trans 1: the pixel whole",
     1, 2, 0, 0, 255, -1, 1, 0, 0xFFC86432, 0x11000000, 0xFFC86432},
    {"565 alpha 255, trans 0", 0, 2, 0, 0, 255, -1, 0, 0, 0x00FFFFFF, 0x0000, 0xF7DE},
    // A blend-image byte whose curve value is 0.
    {"curve 0, mode 0: unchanged", 1, 0, 0, 0, 255, 0, 0, 0, 0xFFFFFF, 0x77101010, 0x77101010},
    {"curve 0, mode 1: unchanged", 0, 0, 1, 200, 255, 0, 0, 0, 0xFFFF, 0x8410, 0x8410},
    {"curve 0, mode 10: unchanged", 1, 0, 10, 200, 100, 0, 0, 0, 0x000000, 0x77101010, 0x77101010},
    {"curve 0, mode 11: unchanged", 0, 0, 11, 200, 255, 0, 0, 0, 0xFFFF, 0x8410, 0x8410},
    {"curve 0, mode 2: a zero source",
     1, 0, 2, 255, 255, 0, 0, 0, 0xFFFFFF, 0x77111111, 0x00111111},
    {"curve 0, mode 3: a zero source sets the low bits",
     1, 0, 3, 255, 255, 0, 0, 0, 0xFFFFFF, 0x77101010, 0x00111110},
    {"565 curve 0, mode 3: clears green's lowest bit",
     0, 0, 3, 255, 255, 0, 0, 0, 0xFFFF, 0x0020, 0x0800},
    {"curve 1: mode 0 moves by 1/256",
     1, 0, 0, 0, 255, 255, 0, 0, 0xFFFFFF, 0x00000000, 0x00000000},
    // The paletted copy writes the entry's byte 3.
    {"paletted copy, byte 3", 1, 1, 0, 0, 255, -1, 0, 0, 0x7F123456, 0x00000000, 0x7F123456},
    {"paletted copy with brightness keeps byte 3",
     1, 1, 0, 0, 128, -1, 0, 0, 0x7F80FF02, 0x33000000, 0x33408001},
    // Where the plain blit computes otherwise.
    {"(a) mode 0, alpha, trans 0, white, no blend image: mixed",
     1, 2, 0, 0, 255, -1, 0, 0, 0x80FF0000, 0x01000000, 0x017F0000},
    {"(b) 565 mode 1 at white: the difference table",
     0, 0, 1, 100, 255, -1, 0, 0, 0xFFFF, 0x0000, 0x630C},
    {"(c) 32 mode 1 at 128: byte 3 kept, odd channels",
     1, 0, 1, 128, 255, -1, 0, 0, 0xFF030303, 0x42010101, 0x42020202},
    {"(d) 32 add at 255: green's low bit put back",
     1, 0, 2, 255, 255, -1, 0, 0, 0x000100, 0x000100, 0x00000100},
    {"(d) 565 add at 255: green's low bit put back",
     0, 0, 2, 255, 255, -1, 0, 0, 0x0020, 0x0020, 0x0020},
    {"(e) 32 add at 255 with MMX: still the guard bits",
     1, 0, 2, 255, 255, -1, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0x01FFFFFF},
    {"(f) 565 add with alpha: alpha before brightness",
     0, 2, 2, 255, 200, -1, 0, 0, 0x0080001F, 0x0000, 0x000B},
    {"(g) mode 10, alpha 0, trans 1: skipped",
     1, 2, 10, 128, 255, -1, 1, 0, 0x00FFFFFF, 0x12345678, 0x12345678},
    {"(g) mode 11, alpha 0, trans 1: skipped",
     0, 2, 11, 128, 255, -1, 1, 0, 0x0000FFFF, 0x5678, 0x5678},
    {"(h) 565 subtract: both pixels alone", 0, 0, 3, 255, 255, -1, 0, 0, 0xFFFF, 0xFFFF, 0x0800},
};
// clang-format on

TEST_F(BlitTest, ScaledPixelsHaveTheirValues) {
  BuildBlendGraphCurve(255, 255);
  for (const PixelCase& c : kPixels) {
    SetBlitMmxUsable(c.mmx);
    SetBlend(c.mode, c.p);
    SetBright(uint8_t(c.bright), uint8_t(c.bright), uint8_t(c.bright));
    TestImage src(c.kind, 1, 1, 0, c.source == 1, c.source == 2), dst(c.kind, 2, 1);
    TestImage blend(MEMIMG_KIND_GRAY8, 1, 1);
    blend.Set(0, 0, uint32_t(std::max(c.blend, 0)));
    if (c.source == 1) {
      src.SetPalette(7, c.s);
      src.Set(0, 0, 7);
    } else {
      src.Set(0, 0, c.s);
    }
    dst.Fill(c.d);
    Rect rect = {0, 0, 2, 1};
    BlitMemImgScaled(&dst.img, &src.img, &rect, c.trans, c.blend >= 0 ? &blend.img : nullptr);
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(2, c.want))
        << c.name << std::hex << " got " << dst.Get(0, 0);
  }
}

// ---- Refusals and sizes past the 32-bit geometry ----

TEST_F(BlitTest, MismatchedDestinationsAreRefused) {
  struct Pair {
    int srcKind, dstKind, dstPalette, dstAlpha;
  };
  const Pair pairs[] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0},
                        {1, 1, 0, 1}, {0, 0, 0, 1}, {1, 1, 1, 0}};
  for (const Pair& p : pairs) {
    TestImage src(p.srcKind, 2, 2), dst(p.dstKind, 8, 8, 0, p.dstPalette, p.dstAlpha);
    src.Fill(0x1234);
    dst.Fill(0x55);
    Rect rect = {0, 0, 8, 8};
    BlitMemImgScaled(&dst.img, &src.img, &rect, 0, nullptr);
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(64, 0x55))
        << p.srcKind << " onto " << p.dstKind << " palette " << p.dstPalette << " alpha "
        << p.dstAlpha;
  }
}

TEST_F(BlitTest, UnusableImagesDrawNothing) {
  TestImage src(1, 4, 4), dst(1, 8, 8), gray(MEMIMG_KIND_GRAY8, 4, 4),
      small(MEMIMG_KIND_GRAY8, 4, 3);
  TestImage kind2(MEMIMG_KIND_GRAY8, 4, 4), wide(1, 65536, 1), tall(1, 1, 65536);
  src.Fill(0x123456);
  kind2.Fill(0x12);
  Rect rect = {0, 0, 8, 8};
  auto untouched = [&](const MEMIMG* s, const MEMIMG* blend, const char* what) {
    dst.Fill(0x55);
    BlitMemImgScaled(&dst.img, s, &rect, 0, blend);
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(64, 0x55)) << what;
  };
  untouched(&src.img, &small.img, "a blend image smaller than the source");
  untouched(&src.img, &src.img, "a blend image that is not one-channel 8-bit");
  untouched(&kind2.img, nullptr, "a source of kind 2");
  untouched(&wide.img, nullptr, "a source wider than 65535");
  untouched(&tall.img, nullptr, "a source taller than 65535");
  MEMIMG empty{};
  DeriveMemImg(&empty, &src.img, 1, 1, 0, 2);
  ASSERT_TRUE(IsMemImgValid(&empty));
  untouched(&empty, nullptr, "a source of width 0");
  ReleaseMemImg(&empty);
  untouched(&empty, nullptr, "a released source");
  MEMIMG gone{};
  DeriveMemImg(&gone, &gray.img, 0, 0, 4, 4);
  ReleaseMemImg(&gone);
  untouched(&src.img, &gone, "a released blend image");
  BlitMemImgScaled(&dst.img, &src.img, nullptr, 0, nullptr);
  MEMIMG noDst{};
  BlitMemImgScaled(&noDst, &src.img, &rect, 0, nullptr);
  // The usable blend image draws.
  dst.Fill(0x55);
  BlitMemImgScaled(&dst.img, &src.img, &rect, 0, &gray.img);
  EXPECT_NE(dst.Get(0, 0), 0x55u);
}

// Sides, steps and clip offsets past 32 bits. The columns follow from
// floor(D x 65536 / step) with D counted from the far-away unclipped edge.
TEST_F(BlitTest, HugeRectanglesClipToTheirOwnColumns) {
  struct Huge {
    const char* name;
    Rect rect;
    int col;  // the column every pixel of x = 0 ... 9 shows, in both walks
  };
  // A 4-pixel source over 40,000 pixels: column c covers D from 10,000 c on.
  const Huge cases[] = {
      {"40,000 wide", {-19990, 0, 20010, 1}, 1},
      {"40,000 wide, mirrored", {20010, 0, -19990, 1}, 2},
      {"from INT32_MIN", {INT32_MIN, 0, 10, 1}, 3},
      {"from INT32_MIN to INT32_MAX", {INT32_MIN, 0, INT32_MAX, 1}, 2},
      {"from INT32_MAX to INT32_MIN, mirrored", {INT32_MAX, 0, INT32_MIN, 1}, 1},
  };
  g_DrawState.drawArea = {0, 0, 10, 12};
  for (const Huge& c : cases) {
    for (Routine r : {STD_COPY, FAST_COPY}) {
      std::vector<uint32_t> got = Sampled(1, r, 4, 1, c.rect);
      std::vector<uint32_t> want = Expected(1, 0, 0, std::vector<int>(10, c.col), {0});
      EXPECT_EQ(got, want) << c.name << ", routine " << r;
    }
  }
  // Rows alike: a source 4 high from INT32_MIN down to row 12 shows its last row.
  for (Routine r : {STD_COPY, FAST_COPY}) {
    EXPECT_EQ(Sampled(0, r, 1, 4, {0, INT32_MIN, 10, 12}),
              Expected(0, 0, 0, std::vector<int>(10, 0), std::vector<int>(12, 3)));
  }
  // Where an exact hit falls inside the area: an enlargement moves on at D = 20,000
  // (x = 10) in both walks.
  g_DrawState.drawArea = {0, 0, 40, 12};
  Rect rect = {-19990, 0, 20010, 1};
  std::vector<int> cols(40, 2);
  std::fill(cols.begin(), cols.begin() + 10, 1);
  for (Routine r : {STD_COPY, FAST_COPY}) {
    EXPECT_EQ(Sampled(1, r, 4, 1, rect), Expected(1, 0, 0, cols, {0})) << "routine " << r;
  }
}

// A draw area reaching past the destination clips to the destination.
TEST_F(BlitTest, DrawAreaLargerThanTheDestination) {
  g_DrawState.drawArea = {-100, -100, 1000, 1000};
  Rect rect = {-2, -2, 14, 14};  // each source pixel 4 x 4; the destination shows from D = 2
  for (int kind : {0, 1}) {
    for (Routine r : {STD_COPY, FAST_COPY}) {
      EXPECT_EQ(Sampled(kind, r, 4, 4, rect, 6, 5),
                Expected(kind, 0, 0, {0, 0, 1, 1, 1, 1}, {0, 0, 1, 1, 1}, 6, 5))
          << "kind " << kind << ", routine " << r;
    }
  }
}

}  // namespace
