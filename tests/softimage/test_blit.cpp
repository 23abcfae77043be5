// The plain blit: the bit-exact vectors for both pixel kinds and both MMX settings,
// clipping, refusals and the run-map walk.
#include "blitfixture.h"

#include <algorithm>
#include <climits>
#include <tuple>

namespace {

class BlitVectors : public KindMmxTest {
 protected:
  static uint32_t White() { return Is32() ? 0xFFFFFFFF : 0xFFFF; }

  // Draws a row of source pixels over a row of destination pixels; returns the row.
  static std::vector<uint32_t> DrawRow(const std::vector<uint32_t>& src,
                                       const std::vector<uint32_t>& dst, int mode, int param,
                                       int trans = 0, uint32_t key = 0) {
    TestImage s(Kind(), int(src.size()), 1, key), d(Kind(), int(dst.size()), 1);
    s.SetRow(0, src);
    d.SetRow(0, dst);
    SetBlend(mode, param);
    BlitMemImg(&d.img, &s.img, 0, 0, trans, nullptr);
    return d.All();
  }
  static uint32_t DrawOne(uint32_t s, uint32_t d, int mode, int param, int trans = 0,
                          uint32_t key = 0) {
    return DrawRow({s}, {d}, mode, param, trans, key)[0];
  }
};

TEST_P(BlitVectors, MixAt255IsTheCopyIncludingByte3) {
  uint32_t s = Is32() ? 0xAB123456 : 0x1234, d = Is32() ? 0x11223344 : 0xFFFF;
  EXPECT_EQ(DrawOne(s, d, BLEND_MIX, 255), s);
  EXPECT_EQ(DrawOne(s, d, BLEND_COPY, 0), s);
  SetBright(200, 100, 50);
  EXPECT_EQ(DrawOne(s, d, BLEND_MIX, 255), DrawOne(s, d, BLEND_COPY, 0));
}

TEST_P(BlitVectors, SilentModesAndZeroParametersDrawNothing) {
  uint32_t s = Is32() ? 0x00808080 : 0x8410, d = Is32() ? 0x12345678 : 0x5678;
  const std::pair<int, int> silent[] = {
      {BLEND_MIX, 0}, {BLEND_ADD, 0}, {BLEND_SUBTRACT, 0}, {5, 128},  {6, 128},        {7, 128},
      {8, 128},       {9, 128},       {12, 128},           {-1, 128}, {INT32_MIN, 255}};
  for (auto [mode, param] : silent) {
    EXPECT_EQ(DrawOne(s, d, mode, param), d) << "mode " << mode << " p " << param;
  }
}

TEST_P(BlitVectors, KeyComparesTheWholePixel) {
  if (Is32()) {
    // Bytes 0 to 2 match the key, byte 3 does not: drawn.
    EXPECT_EQ(DrawRow({0xFF112233, 0x00112233}, {0, 0}, BLEND_COPY, 0, 1, 0x00112233),
              (std::vector<uint32_t>{0xFF112233, 0}));
  } else {
    EXPECT_EQ(DrawRow({0x1234, 0x1235}, {0, 0}, BLEND_COPY, 0, 1, 0x1234),
              (std::vector<uint32_t>{0, 0x1235}));
  }
  // trans 0 draws the key too.
  EXPECT_EQ(DrawOne(0x1234, 0, BLEND_COPY, 0, 0, 0x1234), 0x1234u);
}

TEST_P(BlitVectors, AddOfWhiteOnWhite) {
  if (Is32()) {
    EXPECT_EQ(DrawOne(0xFFFFFFFF, 0xFFFFFFFF, BLEND_ADD, 255), Mmx() ? 0xFFFFFFFF : 0x01FFFFFF);
    // The MMX form saturates byte 3; the plain form puts red's carry there.
    EXPECT_EQ(DrawOne(0x80000000, 0x90000000, BLEND_ADD, 255), Mmx() ? 0xFF000000 : 0u);
  } else {
    EXPECT_EQ(DrawRow({0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF}, BLEND_ADD, 255),
              (std::vector<uint32_t>{0xFFFF, 0xFFFF, 0xFFFF}));
  }
}

TEST_P(BlitVectors, SubtractOfWhiteFromWhite) {
  if (Is32()) {
    EXPECT_EQ(DrawOne(0xFFFFFFFF, 0xFFFFFFFF, BLEND_SUBTRACT, 255), Mmx() ? 0u : 0x00010100u);
    EXPECT_EQ(DrawOne(0x00FFFFFF, 0x00FFFFFF, BLEND_SUBTRACT, 255), Mmx() ? 0u : 0x00010100u);
  } else {
    // A pair, then the odd last pixel alone.
    EXPECT_EQ(DrawRow({0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF}, BLEND_SUBTRACT, 255),
              (std::vector<uint32_t>{0x0800, 0x0801, 0x0800}));
    // The left pixel of the pair is transparent: the right one is done alone.
    EXPECT_EQ(DrawRow({0x0001, 0xFFFF}, {0xFFFF, 0xFFFF}, BLEND_SUBTRACT, 255, 1, 0x0001),
              (std::vector<uint32_t>{0xFFFF, 0x0800}));
    // Below 255 the scaled single form goes one pixel at a time: s' = 30, 62, 30.
    EXPECT_EQ(DrawRow({0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF}, BLEND_SUBTRACT, 254),
              (std::vector<uint32_t>{0x0801, 0x0801}));
  }
}

TEST_P(BlitVectors, HalfMixIsTheSumOfHalves) {
  if (Is32()) {
    // Blue 0xFF and 0x01 give 0x7F, not 0x80; byte 3 becomes 0.
    EXPECT_EQ(DrawOne(0xAA0305FF, 0x55010301, BLEND_MIX, 128), 0x0001037Fu);
  } else {
    // Red 31 and 1 give 15, green 63 and 2 give 32, blue 31 and 1 give 15: pairs and singles.
    EXPECT_EQ(DrawRow({0xFFFF, 0xFFFF, 0xFFFF}, {0x0841, 0x0841, 0x0841}, BLEND_MIX, 128),
              (std::vector<uint32_t>{0x7C0F, 0x7C0F, 0x7C0F}));
  }
}

TEST_P(BlitVectors, NegativePositionReadsTheBlendImageWithTheSource) {
  BuildBlendGraphCurve(128, 255);  // factor = blend pixel
  TestImage src(Kind(), 4, 3), blend(MEMIMG_KIND_GRAY8, 4, 3);
  for (int y = 0; y < 3; y++) {
    for (int x = 0; x < 4; x++) {
      src.Set(x, y, Is32() ? 0x00C8C8C8u : 0xFFFFu);
      blend.Set(x, y, uint32_t(40 * x + 60 * y + 10));
    }
  }
  TestImage clipped(Kind(), 4, 3), direct(Kind(), 4, 3);
  BlitMemImg(&clipped.img, &src.img, -2, -1, 0, &blend.img);

  // The same as drawing the visible part of both at the origin.
  MEMIMG srcPart{}, blendPart{};
  DeriveMemImg(&srcPart, &src.img, 2, 1, 2, 2);
  DeriveMemImg(&blendPart, &blend.img, 2, 1, 2, 2);
  BlitMemImg(&direct.img, &srcPart, 0, 0, 0, &blendPart);
  ReleaseMemImg(&srcPart);
  ReleaseMemImg(&blendPart);
  EXPECT_EQ(clipped.All(), direct.All());

  // Factor 150 at (0, 0): floor(200 x 150 / 256) = 117, or 31 -> 18, 63 -> 36.
  EXPECT_EQ(clipped.Get(0, 0), Is32() ? 0x00757575u : (18u << 11 | 36u << 5 | 18u));
  EXPECT_EQ(clipped.Get(2, 0), 0u);
  EXPECT_EQ(clipped.Get(0, 2), 0u);
}

// A run map written from the image's pixels: by alpha for an alpha image, else by key.
void WriteRunMap(TestImage& t) {
  MemImgData* d = t.img.data;
  auto cls = [&](int x, int y) {
    uint32_t v = t.Get(x, y);
    if (d->alphaFlag) {
      uint32_t a = d->kind == MEMIMG_KIND_XRGB8888 ? v >> 24 : (v >> 16) & 0xFF;
      return a == 0 ? 0 : a == 255 ? 1 : 2;
    }
    return v == d->transparentColor ? 0 : 1;
  };
  uint8_t* out = d->runMap;
  for (int y = 0; y < t.img.height; y++) {
    for (int x = 0; x < t.img.width;) {
      int c = cls(x, y), n = 1;
      while (x + n < t.img.width && n < 64 && cls(x + n, y) == c) n++;
      *out++ = uint8_t(c * 64 + n - 1);
      x += n;
    }
    *out++ = MEMIMG_RUN_END;
  }
  d->runMapValid = 1;
}

// Source pixels with runs of every class (and a run longer than 64), in the kind's layout.
void FillRunSource(TestImage& t, bool alpha, bool palette) {
  bool is32 = t.img.data->kind == MEMIMG_KIND_XRGB8888;
  uint32_t key = t.img.data->transparentColor;
  for (int y = 0; y < t.img.height; y++) {
    for (int x = 0; x < t.img.width; x++) {
      int band = x < 66 && y == 0 ? 1 : (x / 5 + y) % 4;
      uint32_t colour = uint32_t(x * 2654435761u + y * 40503u);
      uint32_t v;
      if (palette) {
        v = band == 0 ? key : colour % 240 + 8;
      } else if (alpha) {
        uint32_t a = band == 0 ? 0 : band == 1 ? 255 : (colour >> 8) % 254 + 1;
        v = is32 ? (colour & 0xFFFFFF) | a << 24 : (colour & 0xFFFF) | a << 16;
      } else {
        v = band == 0 ? key : (colour & (is32 ? 0xFFFFFFFF : 0xFFFF)) | 1;
        if (band != 0 && v == key) v ^= 2;
      }
      t.Set(x, y, v);
    }
  }
  if (palette) {
    for (int i = 0; i < 256; i++) t.SetPalette(i, uint32_t(i * 0x01030507u));
  }
}

TEST_P(BlitVectors, RunMapWalkDrawsWhatThePlainWalkDraws) {
  const int w = 70, h = 3;
  TestImage blend(MEMIMG_KIND_GRAY8, w, h);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) blend.Set(x, y, uint32_t(x * 37 + y * 11) & 0xFF);
  }
  BuildBlendGraphCurve(60, 200);
  // The general forms: no parameter 128 in mode 1, no parameter 255 in modes 2 and 3
  // (16-bit pairs and the MMX forms are the plain walk's alone).
  const std::pair<int, int> modes[] = {{0, 0}, {1, 77},  {2, 200}, {3, 200},
                                       {4, 0}, {10, 77}, {11, 77}};
  for (int source = 0; source < 3; source++) {
    bool palette = source == 1, alpha = source == 2;
    TestImage src(Kind(), w, h, palette ? 7 : Is32() ? 0x00ABCDEF : 0xBEEF, palette, alpha, 1);
    FillRunSource(src, alpha, palette);
    WriteRunMap(src);
    for (auto [mode, param] : modes) {
      for (int useBlend = 0; useBlend < 2; useBlend++) {
        for (int white = 0; white < 2; white++) {
          // The plain walk's 16-bit mode 1 at white goes through BlendMix6Table.
          if (!Is32() && mode == 1 && white && !useBlend && !alpha) continue;
          SetBright(white ? 255 : 180, white ? 255 : 90, white ? 255 : 250);
          SetBlend(mode, param);
          TestImage viaRuns(Kind(), w, h), viaPixels(Kind(), w, h);
          viaRuns.Fill(Is32() ? 0x80604020 : 0x8410);
          viaPixels.Fill(Is32() ? 0x80604020 : 0x8410);
          const MEMIMG* b = useBlend ? &blend.img : nullptr;
          src.img.data->runMapValid = 1;
          BlitMemImg(&viaRuns.img, &src.img, 0, 0, 1, b);
          src.img.data->runMapValid = 0;
          BlitMemImg(&viaPixels.img, &src.img, 0, 0, 1, b);
          EXPECT_EQ(viaRuns.All(), viaPixels.All()) << "source " << source << " mode " << mode
                                                    << " blend " << useBlend << " white " << white;
        }
      }
    }
  }
}

TEST_P(BlitVectors, RunMapWalkUsesOnlyTheGeneralMix) {
  // At 128 the run walk mixes by d + (x - d) x 128 / 256 (32-bit) or through
  // BlendDiffTable (16-bit), not by the sum of halves.
  TestImage src(Kind(), 2, 1, 0, 0, 0, 1), dst(Kind(), 2, 1);
  src.SetRow(0, {Is32() ? 0x000000FFu : 0x001Fu, Is32() ? 0x000000FFu : 0x001Fu});
  dst.SetRow(0, {Is32() ? 0x00000001u : 0x0001u, Is32() ? 0x00000001u : 0x0001u});
  WriteRunMap(src);
  SetBlend(BLEND_MIX, 128);
  BlitMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
  // 32: 1 + floor(254 x 128 / 256) = 128; 16: 1 + 128 x 30 / 255 = 16.
  EXPECT_EQ(dst.Get(0, 0), Is32() ? 128u : 16u);
  // With trans 2 the run map is not used: the sum of halves.
  dst.SetRow(0, {Is32() ? 0x00000001u : 0x0001u, Is32() ? 0x00000001u : 0x0001u});
  BlitMemImg(&dst.img, &src.img, 0, 0, 2, nullptr);
  EXPECT_EQ(dst.Get(0, 0), Is32() ? 127u : 15u);
}

TEST_P(BlitVectors, KeyedCopyWithAMapOfItsKeyDrawsWhatTheMapWalkDraws) {
  // A plain keyed copy whose map was built with the image's key leaves the map for the key
  // test; the map walk (reached while the map's key differs) is the reference.
  struct Case {
    int w, h, x, y;
  };
  const Case cases[] = {{1, 1, 0, 0}, {3, 2, 5, 1}, {4, 4, 0, 3}, {7, 3, 2, 2},
                        {8, 5, 1, 0}, {33, 4, 3, 1}, {70, 3, 0, 2}};
  for (const Case& c : cases) {
    for (int white = 0; white < 2; white++) {
      TestImage src(Kind(), c.w, c.h, Is32() ? 0x00ABCDEF : 0xBEEF, 0, 0, 1);
      FillRunSource(src, false, false);
      WriteRunMap(src);
      SetBright(white ? 255 : 180, white ? 255 : 90, white ? 255 : 250);
      SetBlend(BLEND_COPY, 0);
      TestImage viaMap(Kind(), 80, 8), viaKey(Kind(), 80, 8), viaPixels(Kind(), 80, 8);
      for (TestImage* t : {&viaMap, &viaKey, &viaPixels}) t->Fill(Is32() ? 0x80604020 : 0x8410);
      src.img.data->runMapKey = src.img.data->transparentColor ^ 1;
      BlitMemImg(&viaMap.img, &src.img, c.x, c.y, 1, nullptr);
      src.img.data->runMapKey = src.img.data->transparentColor;
      BlitMemImg(&viaKey.img, &src.img, c.x, c.y, 1, nullptr);
      src.img.data->runMapValid = 0;
      BlitMemImg(&viaPixels.img, &src.img, c.x, c.y, 1, nullptr);
      EXPECT_EQ(viaKey.All(), viaMap.All()) << c.w << "x" << c.h << " white " << white;
      EXPECT_EQ(viaPixels.All(), viaMap.All()) << c.w << "x" << c.h << " white " << white;
    }
  }
}

TEST_P(BlitVectors, AKeyChangedAfterTheMapWasBuiltStillFollowsTheMap) {
  // The map marks the pixels of the key it was built with; until it is rebuilt a keyed
  // copy draws by it, whatever the image's key is now.
  TestImage src(Kind(), 3, 1, 0, 0, 0, 1), dst(Kind(), 3, 1);
  src.SetRow(0, {5, 6, 7});
  WriteRunMap(src);
  src.img.data->runMapKey = 0;
  src.img.data->transparentColor = 6;
  SetBlend(BLEND_COPY, 0);
  BlitMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
  EXPECT_EQ(dst.All(), (std::vector<uint32_t>{5, 6, 7}));
}

INSTANTIATE_TEST_SUITE_P(KindsAndMmx, BlitVectors, kKindsAndMmx, KindMmxName);

// ---- Clipping and refusals ----

TEST_F(BlitTest, NothingOutsideTheDrawAreaIsTouched) {
  TestImage src(MEMIMG_KIND_XRGB8888, 4, 4), dst(MEMIMG_KIND_XRGB8888, 8, 8);
  src.Fill(0x00112233);
  dst.Fill(0xDEADBEEF);
  const std::vector<uint32_t> before = dst.All();
  g_DrawState.drawArea = {2, 2, 6, 6};
  BlitMemImg(&dst.img, &src.img, 6, 0, 0, nullptr);   // right of the area
  BlitMemImg(&dst.img, &src.img, -3, 2, 0, nullptr);  // its last column ends at the area's left
  g_DrawState.drawArea = {3, 0, 3, 8};                // no width
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.All(), before);

  g_DrawState.drawArea = {2, 2, 6, 6};
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) {
      bool inside = x >= 2 && x < 4 && y >= 2 && y < 4;
      EXPECT_EQ(dst.Get(x, y), inside ? 0x00112233u : 0xDEADBEEFu) << x << "," << y;
    }
  }
}

TEST_F(BlitTest, ClipsToTheDestinationsOwnSize) {
  // The draw area (640 x 480) is larger than the destination.
  TestImage src(MEMIMG_KIND_RGB565, 4, 4), dst(MEMIMG_KIND_RGB565, 8, 8);
  src.Fill(0x1234);
  BlitMemImg(&dst.img, &src.img, 6, 6, 0, nullptr);
  BlitMemImg(&dst.img, &src.img, INT32_MAX - 1, INT32_MAX - 1, 0, nullptr);
  BlitMemImg(&dst.img, &src.img, INT32_MIN, 0, 0, nullptr);
  int drawn = 0;
  for (uint32_t v : dst.All()) drawn += v == 0x1234;
  EXPECT_EQ(drawn, 4);
  EXPECT_EQ(dst.Get(7, 7), 0x1234u);
}

TEST_F(BlitTest, CopiesLeaveTheBytesBesideTheRectangleAlone) {
  // Equal pitches whose rows do not fill them, and whole-width images with the draw area
  // cutting off their last column: only the rectangle's bytes change.
  struct Case {
    int kind, width;
    Rect area;
  } cases[] = {{MEMIMG_KIND_RGB565, 3, {0, 0, 640, 480}},
               {MEMIMG_KIND_XRGB8888, 3, {0, 0, 640, 480}},
               {MEMIMG_KIND_RGB565, 8, {0, 0, 7, 480}},
               {MEMIMG_KIND_XRGB8888, 4, {0, 0, 3, 480}}};
  for (const Case& c : cases) {
    TestImage src(c.kind, c.width, 3), dst(c.kind, c.width, 3);
    const size_t bytes = size_t(dst.img.data->pitch) * 3;
    std::memset(src.img.pixels, 0xCD, bytes);
    std::memset(dst.img.pixels, 0xAB, bytes);
    g_DrawState.drawArea = c.area;
    BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    const size_t rowBytes = size_t(std::min(c.width, c.area.right)) * size_t(dst.Bytes());
    for (size_t i = 0; i < bytes; i++) {
      const bool inside = i % size_t(dst.img.data->pitch) < rowBytes;
      ASSERT_EQ(dst.img.pixels[i], inside ? 0xCD : 0xAB)
          << "kind " << c.kind << " width " << c.width << " byte " << i;
    }
  }
}

TEST_F(BlitTest, CopyOntoItselfGoesRowByRowFromTheTop) {
  // Rows of 16 bytes: the image is one block. One row down, every row is copied from the
  // row just written, so the first row repeats; one row up, the rows move up.
  struct Case {
    int y;
    std::vector<int> rows;  // the original row now at each row
  } cases[] = {{1, {0, 0, 0}}, {-1, {1, 2, 2}}, {0, {0, 1, 2}}};
  for (const Case& c : cases) {
    TestImage img(MEMIMG_KIND_XRGB8888, 4, 3);
    for (int y = 0; y < 3; y++)
      img.SetRow(y, {0x100u * y, 0x100u * y + 1, 0x100u * y + 2, 0x100u * y + 3});
    BlitMemImg(&img.img, &img.img, 0, c.y, 0, nullptr);
    for (int y = 0; y < 3; y++) {
      for (int x = 0; x < 4; x++)
        EXPECT_EQ(img.Get(x, y), 0x100u * c.rows[size_t(y)] + x)
            << "y " << c.y << " at " << x << "," << y;
    }
  }
}

TEST_F(BlitTest, RefusesWhatItCannotDraw) {
  TestImage dst(MEMIMG_KIND_XRGB8888, 4, 4), src(MEMIMG_KIND_XRGB8888, 4, 4);
  TestImage other(MEMIMG_KIND_RGB565, 4, 4), gray(MEMIMG_KIND_GRAY8, 4, 4);
  TestImage paletteDst(MEMIMG_KIND_XRGB8888, 4, 4, 0, 1),
      alphaDst(MEMIMG_KIND_XRGB8888, 4, 4, 0, 0, 1);
  TestImage smallBlend(MEMIMG_KIND_GRAY8, 3, 4), wideBlend(MEMIMG_KIND_GRAY16, 4, 4);
  src.Fill(0x00FFFFFF);
  dst.Fill(0);
  BlitMemImg(&dst.img, &other.img, 0, 0, 0, nullptr);        // other kind
  BlitMemImg(&gray.img, &gray.img, 0, 0, 0, nullptr);        // one-channel kind
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, &smallBlend.img);  // blend image too small
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, &wideBlend.img);   // not 8-bit one-channel
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, &dst.img);         // not one-channel at all
  EXPECT_EQ(dst.All(), std::vector<uint32_t>(16, 0));
  BlitMemImg(&paletteDst.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(paletteDst.Get(0, 0), 0u);
  BlitMemImg(&alphaDst.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(alphaDst.Get(0, 0), 0u);

  // Released or never-made images.
  MEMIMG gone{};
  BlitMemImg(&dst.img, &gone, 0, 0, 0, nullptr);
  CreateMemImg(&gone, 4, 4, -1, 0, MEMIMG_KIND_XRGB8888, 0, 0, 0, nullptr);
  ReleaseMemImg(&gone);
  BlitMemImg(&dst.img, &gone, 0, 0, 0, nullptr);
  BlitMemImg(&gone, &src.img, 0, 0, 0, nullptr);
  MEMIMG goneBlend{};
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, &goneBlend);
  EXPECT_EQ(dst.All(), std::vector<uint32_t>(16, 0));

  // A larger blend image is fine.
  TestImage bigBlend(MEMIMG_KIND_GRAY8, 5, 5);
  bigBlend.Fill(255);
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, &bigBlend.img);
  EXPECT_EQ(dst.Get(3, 3), 0x00FEFEFEu);  // factor 255 moves 255/256 of the way
}

TEST_F(BlitTest, PaletteIsReadWholeWhateverTheCountInUse) {
  for (int kind : {MEMIMG_KIND_RGB565, MEMIMG_KIND_XRGB8888}) {
    TestImage first(kind, 1, 1, 300, 1), second(kind, 1, 1, 300, 1), dst(kind, 1, 1);
    for (int i = 0; i < 256; i++) first.SetPalette(i, 0x1111);
    first.img.data->paletteColorCount = 256;
    first.Set(0, 0, 200);
    BlitMemImg(&dst.img, &first.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.Get(0, 0), 0x1111u);
    second.SetPalette(200, 0x2222);
    second.img.data->paletteColorCount = 1;
    second.Set(0, 0, 200);
    BlitMemImg(&dst.img, &second.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.Get(0, 0), 0x2222u) << "kind " << kind;
  }
}

// ---- Alpha sources ----

TEST_F(BlitTest, AlphaZeroUnderTransDarkensInMultiplyOnly) {
  for (int kind : {MEMIMG_KIND_RGB565, MEMIMG_KIND_XRGB8888}) {
    bool is32 = kind == MEMIMG_KIND_XRGB8888;
    TestImage src(kind, 1, 1, 0, 0, 1);
    src.Set(0, 0, is32 ? 0x00FFFFFFu : 0x0000FFFFu);  // white, alpha 0
    for (int mode : {0, 1, 2, 3, 4}) {
      TestImage dst(kind, 1, 1);
      dst.Set(0, 0, is32 ? 0xFF808080u : 0x8410u);
      SetBlend(mode, 100);
      BlitMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
      uint32_t expected = mode == 4 ? (is32 ? 0xFF000000u : 0u) : (is32 ? 0xFF808080u : 0x8410u);
      EXPECT_EQ(dst.Get(0, 0), expected) << "kind " << kind << " mode " << mode;
    }
  }
}

TEST_F(BlitTest, AlphaSourceCopiedWholeWithoutTransAtWhite) {
  TestImage src(MEMIMG_KIND_XRGB8888, 1, 1, 0, 0, 1), dst(MEMIMG_KIND_XRGB8888, 1, 1);
  src.Set(0, 0, 0x40FF0000);
  dst.Set(0, 0, 0x00000080);
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.Get(0, 0), 0x40FF0000u);
  // Any other brightness mixes by the alpha: red 254 x 64 / 256 = 63, blue 128 - 32 = 96.
  dst.Set(0, 0, 0x00000080);
  SetBright(254, 255, 255);
  BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.Get(0, 0), 0x003F0060u);

  TestImage src16(MEMIMG_KIND_RGB565, 1, 1, 0, 0, 1), dst16(MEMIMG_KIND_RGB565, 1, 1);
  src16.Set(0, 0, 0x0040F800);
  SetBright(255, 255, 255);
  BlitMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst16.Get(0, 0), 0xF800u);
}

}  // namespace
