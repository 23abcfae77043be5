#include "engine/base/memory.h"
#include "engine/pixel/colorformat.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

ColorFormat FromMasks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetupFormatFromMasksCore(&f, depth, r, g, b, a);
  return f;
}

}  // namespace

TEST(ColorFormat, StandardBuilders) {
  struct Case {
    int (*build)(ColorFormat*);
    int depth, bytes, alphaWidth, alphaShift;
    uint32_t alphaMask, noChannel;
    bool grayRamp;
  } cases[] = {
      {SetupPalette8Format, 8, 1, 0, 0, 0, 0xFF000000, false},
      {SetupGray8Format, 8, 1, 0, 0, 0, 0xFF000000, true},
      {SetupRgb888Format, 24, 3, 0, 0, 0, 0, false},
      {SetupArgb8888Format, 32, 4, 8, 24, 0xFF000000, 0, false},
  };
  for (const Case& c : cases) {
    ColorFormat f;
    std::memset(&f, 0x5A, sizeof f);  // the builders write only their own fields
    EXPECT_EQ(c.build(&f), 0);
    EXPECT_EQ(f.bitDepth, c.depth);
    EXPECT_EQ(f.bytesPerPixel, c.bytes);
    EXPECT_EQ(f.redWidth, 8);
    EXPECT_EQ(f.greenWidth, 8);
    EXPECT_EQ(f.blueWidth, 8);
    EXPECT_EQ(f.redShift, 16);
    EXPECT_EQ(f.greenShift, 8);
    EXPECT_EQ(f.blueShift, 0);
    EXPECT_EQ(f.redMask, 0xFF0000u);
    EXPECT_EQ(f.greenMask, 0xFF00u);
    EXPECT_EQ(f.blueMask, 0xFFu);
    EXPECT_EQ(f.alphaWidth, c.alphaWidth);
    EXPECT_EQ(f.alphaShift, c.alphaShift);
    EXPECT_EQ(f.alphaMask, c.alphaMask);
    EXPECT_EQ(f.noChannelMask, c.noChannel);
    EXPECT_EQ(f.formatCode, 0u);
    if (c.grayRamp) {
      EXPECT_EQ(PaletteEntryValue(&f, 0), 0u);
      EXPECT_EQ(PaletteEntryValue(&f, 200), 0x00C8C8C8u);
    } else {
      EXPECT_EQ(PaletteEntryValue(&f, 200), 0x5A5A5A5Au);
    }
  }
}

TEST(ColorFormat, FromMasks) {
  struct Case {
    int depth;
    uint32_t r, g, b, a;
    int bytes;
    uint8_t widths[4], shifts[4];
    uint32_t noChannel;
    uint8_t noShift, noWidth;
  } cases[] = {
      {32, 0xFF0000, 0xFF00, 0xFF, 0, 4, {8, 8, 8, 0}, {16, 8, 0, 0}, 0xFF000000, 24, 8},
      {16, 0xF800, 0x07E0, 0x001F, 0, 2, {5, 6, 5, 0}, {11, 5, 0, 0}, 0, 0, 0},
      {16, 0x7C00, 0x03E0, 0x001F, 0, 2, {5, 5, 5, 0}, {10, 5, 0, 0}, 0x8000, 15, 1},
      {32, 0xF800, 0x07E0, 0x001F, 0xFF0000, 4, {5, 6, 5, 8}, {11, 5, 0, 16}, 0xFF000000, 24, 8},
      // Only the run of bits from the lowest counts; bits past a gap are ignored.
      {16, 0x0F0F, 0, 0, 0, 2, {4, 0, 0, 0}, {0, 0, 0, 0}, 0xF0F0, 4, 4},
  };
  for (const Case& c : cases) {
    ColorFormat f = FromMasks(c.depth, c.r, c.g, c.b, c.a);
    EXPECT_EQ(f.bytesPerPixel, c.bytes);
    uint8_t widths[4] = {f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth};
    uint8_t shifts[4] = {f.redShift, f.greenShift, f.blueShift, f.alphaShift};
    for (int k = 0; k < 4; k++) {
      EXPECT_EQ(widths[k], c.widths[k]) << "depth " << c.depth << " channel " << k;
      EXPECT_EQ(shifts[k], c.shifts[k]) << "depth " << c.depth << " channel " << k;
    }
    EXPECT_EQ(f.redMask, c.r);
    EXPECT_EQ(f.noChannelMask, c.noChannel);
    EXPECT_EQ(f.noChannelShift, c.noShift);
    EXPECT_EQ(f.noChannelWidth, c.noWidth);
  }
}

TEST(ColorFormat, RecomputeNoChannelMaskAtEveryDepth) {
  ColorFormat f{};
  SetupArgb8888Format(&f);
  f.noChannelMask = 0x1234;
  RecomputeNoChannelMask(&f);  // the widths fill all 32 bits
  EXPECT_EQ(f.noChannelMask, 0u);
  f.alphaWidth = 0;
  f.alphaMask = 0;
  RecomputeNoChannelMask(&f);  // depth 32 with a free byte: no shift by 32
  EXPECT_EQ(f.noChannelMask, 0xFF000000u);
  ColorFormat x555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
  x555.noChannelMask = 0;
  RecomputeNoChannelMask(&x555);
  EXPECT_EQ(x555.noChannelMask, 0x8000u);
}

TEST(ColorFormat, SameColorFormat) {
  ColorFormat a{}, b{};
  SetupPalette8Format(&a);
  SetupPalette8Format(&b);
  a.palette[3].red = 9;
  EXPECT_EQ(SameColorFormat(&a, &b), 1);  // palettes are not compared
  b.redWidth = 7;                         // nor widths
  EXPECT_EQ(SameColorFormat(&a, &b), 1);
  b.alphaMask = 1;
  EXPECT_EQ(SameColorFormat(&a, &b), 0);
  ColorFormat z1{}, z2{};
  z1.formatCode = 5;
  EXPECT_EQ(SameColorFormat(&z1, &z2), 0);
  z2.formatCode = 5;
  EXPECT_EQ(SameColorFormat(&z1, &z2), 1);
}

TEST(ColorFormat, ColorToPixelValue) {
  ColorFormat rgb565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
  ColorFormat xrgb = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0);
  ColorFormat argb1555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
  ColorFormat wide = FromMasks(32, 0xFFFF0000, 0x0000FFFF, 0, 0);  // 16-bit channels
  struct Case {
    const ColorFormat* f;
    int r, g, b, a;
    uint32_t expected;
  } cases[] = {
      {&rgb565, 255, 255, 255, 0, 0xFFFF},
      {&rgb565, 0x80, 0x40, 0x07, 0, 0x8200},       // truncated, not rounded
      {&xrgb, 255, 255, 255, 0, 0xFFFFFFFF},        // the no-channel mask is set
      {&xrgb, 1, 2, 3, 200, 0xFF010203},            // no alpha channel: alpha ignored
      {&argb1555, 255, 0, 0, 0x80, 0xFC00},
      {&argb1555, 255, 0, 0, 0x7F, 0x7C00},
      {&wide, 0xAB, 0x01, 0, 0, 0xAB000100},        // widened by a shift, no undefined shift
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColorToPixelValue(c.f, c.r, c.g, c.b, c.a), c.expected)
        << c.r << "," << c.g << "," << c.b;
  }
}

TEST(ColorFormat, NearestPaletteEntryTakesTheLowestIndexOnATie) {
  ColorFormat f{};
  SetupPalette8Format(&f);
  for (auto& e : f.palette) e = PaletteEntry{0, 0, 0, 0};  // every entry black...
  f.palette[0] = PaletteEntry{255, 255, 255, 0};          // ...but entry 0, white
  f.palette[3] = PaletteEntry{0, 0, 110, 0};              // red 110
  f.palette[7] = PaletteEntry{0, 0, 130, 0};              // red 130
  f.palette[9] = PaletteEntry{0, 0, 121, 0};              // nearer still
  EXPECT_EQ(ColorToPixelValue(&f, 120, 0, 0, 0), 9u);
  f.palette[9] = PaletteEntry{0, 0, 0, 0};
  EXPECT_EQ(ColorToPixelValue(&f, 120, 0, 0, 0), 3u);     // 3 and 7 are both 10 away
  EXPECT_EQ(ColorToPixelValue(&f, 0, 0, 0, 255), 1u);     // first black entry; alpha ignored
}

TEST(ColorFormat, ConvertAndReadPixelValues) {
  ColorFormat rgb565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
  ColorFormat argb{};
  SetupArgb8888Format(&argb);
  // Channels shifted, not scaled; full alpha from a source without alpha.
  EXPECT_EQ(ConvertPixelValue(&argb, &rgb565, 0xFFFF), 0xFFF8FCF8u);
  EXPECT_EQ(ConvertPixelValue(&rgb565, &argb, 0x12FF8040), 0xFC08u);

  int32_t r = -1, g = -1, b = -1, a = -1;
  PixelValueToColor(&rgb565, 0xF800, &r, &g, &b, &a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(a, 0);
  PixelValueToColor(&rgb565, 0x0410, nullptr, &g, &b, nullptr);  // green 32, blue 16
  EXPECT_EQ(g, 32 * 255 / 63);
  EXPECT_EQ(b, 16 * 255 / 31);
  ColorFormat noBlue = FromMasks(16, 0xFF00, 0x00FF, 0, 0);
  PixelValueToColor(&noBlue, 0xFFFF, &r, nullptr, &b, nullptr);  // width 0: no division
  EXPECT_EQ(r, 255);
  EXPECT_EQ(b, 0);
}

TEST(GraphImage, CreateSizesAndRefusals) {
  int32_t before = GetTrackedBlockCount();
  struct Case {
    bool argb;
    int32_t w, h;
    int result;
    uint32_t pitch;
  } cases[] = {
      {true, 5, 2, 0, 20},       {false, 5, 2, 0, 16},  {false, 4, 1, 0, 12},
      {false, 1, 1, 0, 4},       {true, 0, 4, -1, 0},   {false, 4, -1, -1, 0},
      {true, 65536, 65536, -1, 0},  // 16 GiB: refused before any allocation
  };
  for (const Case& c : cases) {
    GraphImage img;
    int result =
        c.argb ? CreateGraphImageARGB8(c.w, c.h, &img) : CreateGraphImageRGB8(c.w, c.h, &img);
    EXPECT_EQ(result, c.result) << c.w << "x" << c.h;
    EXPECT_EQ(img.format.bytesPerPixel, c.argb ? 4 : 3);
    EXPECT_EQ(img.pitch, c.pitch);
    if (result == 0) {
      EXPECT_NE(img.pixels, nullptr);
      EXPECT_EQ(GetTrackedBlockCount(), before + 1);
    } else {
      EXPECT_EQ(img.pixels, nullptr);
    }
    FreeGraphImageCore(&img);
    EXPECT_EQ(img.pixels, nullptr);
    EXPECT_EQ(img.width, 0u);
    EXPECT_EQ(GetTrackedBlockCount(), before);
  }
}

TEST(GraphImage, PixelsFillMirrorAndRead) {
  GraphImage img;
  ASSERT_EQ(CreateGraphImageRGB8(3, 2, &img), 0);
  EXPECT_EQ(FillGraphImage(&img, 1, 2, 3, 0), 0);
  const uint8_t* row1 = static_cast<uint8_t*>(img.pixels) + img.pitch;
  EXPECT_EQ(row1[6], 3);  // blue first
  EXPECT_EQ(row1[7], 2);
  EXPECT_EQ(row1[8], 1);

  EXPECT_EQ(SetGraphImagePixel(&img, 0, 1, 255, 128, 64, 0), 0);
  EXPECT_EQ(SetGraphImagePixel(&img, 3, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(SetGraphImagePixel(&img, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(SetGraphImagePixel(&img, 0, 2, 0, 0, 0, 0), -1);
  EXPECT_EQ(ReadImagePixelARGB(&img, 0, 1), 0x00FF8040u);
  EXPECT_EQ(ReadImagePixelARGB(&img, 5, 1), 0u);

  EXPECT_EQ(MirrorImageRows(&img), 0);
  int32_t r, g, b, a;
  EXPECT_EQ(GetGraphImagePixel(&img, 2, 1, &r, &g, &b, &a), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 64);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(GetGraphImagePixel(&img, 1, 1, &r, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(GetGraphImagePixel(&img, 0, -1, &r, &g, &b, &a), -1);
  FreeGraphImageCore(&img);
  EXPECT_EQ(MirrorImageRows(&img), -1);
  EXPECT_EQ(FillGraphImage(&img, 0, 0, 0, 0), 0);

  // 5:6:5 channels sit at the top of their bytes; a palette image reads its entries.
  uint16_t pixels565[2] = {0xF800, 0x07FF};
  GraphImage p565{};
  SetupFormatFromMasksCore(&p565.format, 16, 0xF800, 0x07E0, 0x001F, 0);
  p565.width = 2;
  p565.height = 1;
  p565.pitch = 4;
  p565.pixels = pixels565;
  EXPECT_EQ(ReadImagePixelARGB(&p565, 0, 0), 0x00F80000u);
  EXPECT_EQ(ReadImagePixelARGB(&p565, 1, 0), 0x0000FCF8u);
  uint8_t index = 2;
  GraphImage pal{};
  SetupPalette8Format(&pal.format);
  pal.format.palette[2] = PaletteEntry{0x10, 0x20, 0x30, 0x40};
  pal.width = pal.height = pal.pitch = 1;
  pal.pixels = &index;
  EXPECT_EQ(GetGraphImagePixel(&pal, 0, 0, &r, &g, &b, &a), 0);
  EXPECT_EQ(r, 0x30);
  EXPECT_EQ(a, 0x40);
  index = 0;
  EXPECT_EQ(SetGraphImagePixel(&pal, 0, 0, 0x30, 0x20, 0x10, 0), 0);
  EXPECT_EQ(index, 2);
}

TEST(PixelFormatRecord, MakeRgbPixelFormat) {
  PixelFormatRecord r;
  std::memset(&r, 0x77, sizeof r);
  EXPECT_EQ(MakeRgbPixelFormatCore(&r, 16, 0xF800, 0x07E0, 0x001F, 0), 0);
  EXPECT_EQ(sizeof r, 32u);
  EXPECT_EQ(r.size, 32u);
  EXPECT_EQ(r.flags, 0x40u);
  EXPECT_EQ(r.fourCC, 0u);
  EXPECT_EQ(r.bitCount, 16u);
  EXPECT_EQ(r.greenMask, 0x07E0u);
  EXPECT_EQ(r.alphaMask, 0u);
}
