#include "engine/graphics/imageload.h"

#include "imagetest.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct DdsLoad : ImageTest {};

// ---- DXT ------------------------------------------------------------------------------

Bytes ColorBlock(uint16_t c0, uint16_t c1, uint32_t indexes) {
  Bytes b;
  PutLe16(b, c0);
  PutLe16(b, c1);
  PutLe32(b, indexes);
  return b;
}
// Index i at pixel i, i running over `count` values, lowest bits first.
uint32_t CyclingIndexes(int count) {
  uint32_t v = 0;
  for (int i = 0; i < 16; i++) v |= uint32_t(i % count) << (2 * i);
  return v;
}

Bytes DxtFile(const char* fourCC, uint32_t width, uint32_t height, const Bytes& blocks) {
  DdsFields s;
  s.width = width;
  s.height = height;
  s.pixelFlags = 0x4;
  s.fourCC = FourCC(fourCC);
  s.data = blocks;
  return WriteDds(s);
}

struct Bgra {
  int b, g, r, a;
  bool operator==(const Bgra&) const = default;
};
Bgra PixelAt(const GraphImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = static_cast<const uint8_t*>(image.pixels) + size_t(y) * image.pitch + x * 4;
  return Bgra{p[0], p[1], p[2], p[3]};
}
void PrintTo(const Bgra& p, std::ostream* os) {
  *os << "(b " << p.b << ", g " << p.g << ", r " << p.r << ", a " << p.a << ")";
}

// One DXT1 block by itself: its 16 pixels, row by row.
std::vector<Bgra> ReferenceDxt1Block(const uint8_t* block) {
  const int c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
  auto expand = [](int c) {
    return Bgra{(c & 31) * 255 / 31, (c >> 5 & 63) * 255 / 63, (c >> 11) * 255 / 31, 255};
  };
  const Bgra a = expand(c0), b = expand(c1);
  Bgra colors[4] = {a, b};
  if (c0 <= c1) {
    colors[2] = {(a.b + b.b) / 2, (a.g + b.g) / 2, (a.r + b.r) / 2, 255};
    colors[3] = colors[2];
    colors[3].a = 0;
  } else {
    colors[2] = {(2 * a.b + b.b) / 3, (2 * a.g + b.g) / 3, (2 * a.r + b.r) / 3, 255};
    colors[3] = {(a.b + 2 * b.b) / 3, (a.g + 2 * b.g) / 3, (a.r + 2 * b.r) / 3, 255};
  }
  std::vector<Bgra> out;
  const uint32_t indexes = uint32_t(block[4]) | uint32_t(block[5]) << 8 |
                           uint32_t(block[6]) << 16 | uint32_t(block[7]) << 24;
  for (int i = 0; i < 16; i++) out.push_back(colors[indexes >> (2 * i) & 3]);
  return out;
}

// Width 6, height 5: two blocks across and two down, as the file stores them; every
// pixel, the right and bottom fringe too, comes from its own block.
TEST_F(DdsLoad, Dxt1DecodesEveryColumnAndRowOfPartialBlocks) {
  const uint32_t width = 6, height = 5;
  Bytes blocks;
  for (size_t i = 0; i < 4 * 8; i++) blocks.push_back(uint8_t(PatternSample(i, 8)));
  const Bytes threeColors = ColorBlock(0x1000, 0x2000, 0);  // c0 < c1 in the second block
  std::copy(threeColors.begin(), threeColors.begin() + 4, blocks.begin() + 8);
  GraphImage image;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, DxtFile("DXT1", width, height, blocks), &image), 0);
  EXPECT_EQ(image.pitch, width * 4);
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  for (uint32_t by = 0; by < 2; by++)
    for (uint32_t bx = 0; bx < 2; bx++) {
      const std::vector<Bgra> want = ReferenceDxt1Block(&blocks[(by * 2 + bx) * 8]);
      for (uint32_t i = 0; i < 16; i++) {
        const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
        if (x < width && y < height) {
          EXPECT_EQ(PixelAt(image, x, y), want[i]) << x << "," << y;
        }
      }
    }
  FreeGraphImageCore(&image);
}

TEST_F(DdsLoad, DxtColourAndAlphaRules) {
  struct Case {
    const char* name;
    const char* fourCC;
    Bytes block;
    std::vector<std::pair<int, Bgra>> pixels;  // pixel index in the block, its value
  };
  // Red 0xF800 and blue 0x001F; a 5-bit 16 expands to 131, a 6-bit 32 to 129.
  const Bytes blueRed = ColorBlock(0x001F, 0xF800, CyclingIndexes(4));
  const Bytes redBlue = ColorBlock(0xF800, 0x001F, CyclingIndexes(4));
  const Bytes mid = ColorBlock(0x8410, 0x8410, 0);
  auto join = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // Explicit alphas: nibble i at pixel i.
  Bytes ramp;
  for (int i = 0; i < 8; i++) ramp.push_back(uint8_t((2 * i) | (2 * i + 1) << 4));
  // Interpolated alphas: end points, then index i % 8 at pixel i.
  auto interpolated = [](uint8_t a0, uint8_t a1) {
    Bytes b = {a0, a1};
    uint64_t bits = 0;
    for (int i = 0; i < 16; i++) bits |= uint64_t(i % 8) << (3 * i);
    for (int i = 0; i < 6; i++) b.push_back(uint8_t(bits >> (8 * i)));
    return b;
  };
  // Premultiplied alphas 136, 17, 0 at pixels 0, 1, 2.
  const Bytes premultiplied = {0x18, 0x00, 0, 0, 0, 0, 0, 0};
  const Case cases[] = {
      {"DXT1 c0 = c1: colour 3 is colour 2 made transparent", "DXT1",
       ColorBlock(0xF800, 0xF800, CyclingIndexes(4)),
       {{0, {0, 0, 255, 255}}, {2, {0, 0, 255, 255}}, {3, {0, 0, 255, 0}}}},
      {"DXT1 c0 < c1: halves", "DXT1", blueRed,
       {{0, {255, 0, 0, 255}}, {1, {0, 0, 255, 255}}, {2, {127, 0, 127, 255}},
        {3, {127, 0, 127, 0}}}},
      {"DXT1 c0 > c1: thirds", "DXT1", redBlue,
       {{2, {85, 0, 170, 255}}, {3, {170, 0, 85, 255}}}},
      {"DXT1 green and low values", "DXT1", ColorBlock(0x07E0, 0x0821, CyclingIndexes(2)),
       {{0, {0, 255, 0, 255}}, {1, {8, 4, 8, 255}}}},
      {"DXT3 alpha is value x 255 / 15, four colours even when c0 < c1", "DXT3",
       join(ramp, blueRed),
       {{0, {255, 0, 0, 0}}, {1, {0, 0, 255, 17}}, {2, {170, 0, 85, 34}}, {3, {85, 0, 170, 51}},
        {15, {85, 0, 170, 255}}}},
      {"DXT5 a0 > a1: sevenths", "DXT5", join(interpolated(200, 10), mid),
       {{0, {131, 129, 131, 200}}, {1, {131, 129, 131, 10}}, {2, {131, 129, 131, 172}},
        {4, {131, 129, 131, 118}}, {7, {131, 129, 131, 37}}}},
      {"DXT5 a0 <= a1: fifths, then 0 and 255", "DXT5", join(interpolated(10, 200), mid),
       {{2, {131, 129, 131, 48}}, {5, {131, 129, 131, 162}}, {6, {131, 129, 131, 0}},
        {7, {131, 129, 131, 255}}, {15, {131, 129, 131, 255}}}},
      {"DXT2 to straight alpha, low 8 bits kept, alpha 0 keeps its colour", "DXT2",
       join(premultiplied, mid),
       {{0, {245, 241, 245, 136}}, {1, {173, 143, 173, 17}}, {2, {131, 129, 131, 0}}}},
      {"DXT4 to straight alpha", "DXT4", join(interpolated(136, 0), mid),
       {{0, {245, 241, 245, 136}}, {1, {131, 129, 131, 0}}, {7, {222, 195, 222, 19}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeDdsImage, DxtFile(c.fourCC, 4, 4, c.block), &image), 0);
    for (const auto& [i, want] : c.pixels) EXPECT_EQ(PixelAt(image, i % 4, i / 4), want) << i;
    FreeGraphImageCore(&image);
  }
}

// ---- uncompressed ---------------------------------------------------------------------

TEST_F(DdsLoad, EveryD3dFormatCodeGivesItsMasks) {
  struct Row {
    uint32_t code, depth, red, green, blue, alpha;
  } rows[] = {
      {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},           {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
      {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},           {23, 16, 0xF800, 0x7E0, 0x1F, 0},
      {24, 16, 0x7C00, 0x3E0, 0x1F, 0},              {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
      {26, 16, 0xF00, 0xF0, 0xF, 0xF000},            {27, 8, 0xE0, 0x1C, 0x3, 0},
      {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},             {30, 16, 0xF00, 0xF0, 0xF, 0},
      {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
      {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},  {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
      {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    const uint32_t width = 3, height = 2, bytes = r.depth / 8;
    DdsFields s;
    s.width = width;
    s.height = height;
    s.pixelFlags = 0x4;
    s.fourCC = r.code;  // and a bit count of 0, as such files have
    for (uint32_t i = 0; i < width * height * bytes; i++)
      s.data.push_back(uint8_t(PatternSample(i, 8)));
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeDdsImage, WriteDds(s), &image), 0);
    EXPECT_EQ(image.pitch, width * bytes);
    EXPECT_EQ(PixelRows(image), s.data);
    if (r.depth == 8) {
      // Palette indexes: the masks are a palette entry's, the colours the expanded channels.
      EXPECT_EQ(image.format.redMask, 0xFF0000u);
      EXPECT_EQ(image.format.palette[0xFF].red, 255);
      EXPECT_EQ(image.format.palette[0x20].red, 36);   // 1 x 255 / 7
      EXPECT_EQ(image.format.palette[0x08].green, 72);  // 2 x 255 / 7
      EXPECT_EQ(image.format.palette[0x02].blue, 170);  // 2 x 255 / 3
      EXPECT_EQ(image.format.palette[0x02].alpha, 0);
    } else {
      EXPECT_EQ(image.format.bitDepth, r.depth);
      EXPECT_EQ(image.format.bytesPerPixel, bytes);
      EXPECT_EQ(image.format.redMask, r.red);
      EXPECT_EQ(image.format.greenMask, r.green);
      EXPECT_EQ(image.format.blueMask, r.blue);
      EXPECT_EQ(image.format.alphaMask, r.alpha);
    }
    FreeGraphImageCore(&image);
  }
}

TEST_F(DdsLoad, RgbFormatsFromTheHeaderMasks) {
  struct Case {
    const char* name;
    uint32_t pixelFlags, bitCount, red, green, blue, alpha;
    uint32_t flags, pitch;  // header flag 8 and its pitch
    uint32_t wantPitch;
  } cases[] = {
      {"RGB565", 0x40, 16, 0xF800, 0x7E0, 0x1F, 0, 0x1007, 0, 10},
      {"ARGB1555 with the alpha flag", 0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0x1007, 0, 10},
      {"RGB888 with a padded pitch", 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0x100F, 20, 20},
      {"XRGB8888, pitch exactly the row", 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0x100F, 20, 20},
      {"R3G3B2 as a palette", 0x40, 8, 0xE0, 0x1C, 0x3, 0, 0x1007, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DdsFields s;
    s.flags = c.flags;
    s.width = 5;
    s.height = 3;
    s.pitch = c.pitch;
    s.pixelFlags = c.pixelFlags;
    s.rgbBitCount = c.bitCount;
    s.redMask = c.red, s.greenMask = c.green, s.blueMask = c.blue, s.alphaMask = c.alpha;
    for (uint32_t i = 0; i < c.wantPitch * 3; i++) s.data.push_back(uint8_t(PatternSample(i, 8)));
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeDdsImage, WriteDds(s), &image), 0);
    EXPECT_EQ(image.pitch, c.wantPitch);
    EXPECT_EQ(image.format.bytesPerPixel, c.bitCount / 8);
    EXPECT_EQ(std::memcmp(image.pixels, s.data.data(), s.data.size()), 0);
    if (c.bitCount == 8) {
      EXPECT_EQ(image.format.redMask, 0xFF0000u);
      EXPECT_EQ(image.format.palette[0xE0].red, 255);
      EXPECT_EQ(image.format.palette[0xE0].green, 0);
    } else {
      EXPECT_EQ(image.format.redMask, c.red);
      EXPECT_EQ(image.format.greenMask, c.green);
      EXPECT_EQ(image.format.blueMask, c.blue);
      EXPECT_EQ(image.format.alphaMask, c.alpha);
    }
    FreeGraphImageCore(&image);
  }
}

TEST_F(DdsLoad, LoadsThroughTheDispatch) {
  const Bytes file = DxtFile("DXT5", 4, 4, Bytes(16, 0x3C));
  GraphImage image;
  ASSERT_EQ(LoadImageData(nullptr, file.data(), uint32_t(file.size()), 1, 0, 0, &image,
                          nullptr, nullptr),
            0);
  EXPECT_EQ(image.width, 4u);
  FreeGraphImageCore(&image);
}

TEST_F(DdsLoad, DamagedFilesAreRefusedAndNothingLeaks) {
  DdsFields rgb;
  rgb.width = 3;
  rgb.height = 2;
  rgb.pixelFlags = 0x40;
  rgb.rgbBitCount = 24;
  rgb.redMask = 0xFF0000, rgb.greenMask = 0xFF00, rgb.blueMask = 0xFF;
  rgb.data = Bytes(18, 0x42);
  const Bytes dxt = DxtFile("DXT3", 5, 5, Bytes(4 * 16, 0x99));
  const Bytes plain = WriteDds(rgb);
  std::vector<LoaderCase> cases;
  for (size_t cut : {size_t(0), size_t(2), size_t(3), size_t(4), size_t(16), size_t(80),
                     size_t(127), size_t(128), plain.size() - 1})
    cases.push_back({"RGB cut at " + std::to_string(cut), Prefix(plain, cut), -1});
  for (size_t cut : {size_t(128), size_t(128 + 16 * 3), dxt.size() - 1})
    cases.push_back({"DXT cut at " + std::to_string(cut), Prefix(dxt, cut), -1});
  auto with = [&](const char* name, DdsFields s, int result) {
    cases.push_back({name, WriteDds(s), result});
  };
  auto withDxt = [&](const char* name, uint32_t width, uint32_t height, size_t bytes, int result) {
    cases.push_back({name, DxtFile("DXT1", width, height, Bytes(bytes, 0x55)), result});
  };
  Bytes badMagic = plain;
  badMagic[2] = 'X';
  cases.push_back({"magic DDX", badMagic, -1});
  Bytes fourthByte = plain;
  fourthByte[3] = 0;
  cases.push_back({"magic's fourth byte not read", fourthByte, 0});
  DdsFields s = rgb;
  s.width = 0;
  with("width 0", s, -1);
  s = rgb, s.height = 0;
  with("height 0", s, -1);
  s = rgb, s.width = 1;
  with("width 1", s, 0);
  s = rgb, s.width = 0xFFFFFFFF;
  with("width 0xFFFFFFFF", s, -1);
  s = rgb, s.height = 0xFFFFFFFF;
  with("height 0xFFFFFFFF", s, -1);
  s = rgb, s.width = 0x40000000, s.height = 4;  // 2^32 x 3 bytes: 0 in 32 bits with x 4
  with("width x height past 32 bits", s, -1);
  s = rgb, s.pixelFlags = 0;
  with("neither FourCC nor RGB", s, -1);
  s = rgb, s.pixelFlags = 0x2;
  with("alpha only", s, -1);
  for (uint32_t bits : {0u, 1u, 12u, 33u, 0xFFFFFFFFu}) {
    s = rgb, s.rgbBitCount = bits;
    with(("RGB bit count " + std::to_string(bits)).c_str(), s, -1);
  }
  s = rgb, s.rgbBitCount = 8, s.redMask = s.greenMask = s.blueMask = 0xFFFFFFFF;
  with("8-bit with masks past the byte", s, 0);
  s = rgb, s.rgbBitCount = 8, s.redMask = 0xE4, s.greenMask = 0, s.blueMask = 0x100;
  with("8-bit with a gap in a mask and one above the byte", s, 0);
  s = rgb, s.flags |= 8, s.pitch = 8;  // a row needs 9
  with("pitch below the row", s, -1);
  s = rgb, s.flags |= 8, s.pitch = 0;
  with("pitch 0", s, -1);
  s = rgb, s.flags |= 8, s.pitch = 0xFFFFFFFF;
  with("pitch 0xFFFFFFFF", s, -1);
  s = rgb, s.pixelFlags = 0x4, s.fourCC = 28;
  with("FourCC not in the table", s, -1);
  s = rgb, s.pixelFlags = 0x4, s.fourCC = FourCC("DXT6");
  with("FourCC DXT6", s, -1);
  s = rgb, s.pixelFlags = 0x4, s.fourCC = 0xFFFFFFFF;
  with("FourCC 0xFFFFFFFF (the table's end)", s, -1);
  s = rgb, s.pixelFlags = 0x5, s.fourCC = 20;
  with("table FourCC with the alpha flag", s, -1);
  withDxt("DXT1 6 x 5 with its 4 blocks", 6, 5, 32, 0);
  withDxt("DXT1 6 x 5 with the 1 block its width / 4 would need", 6, 5, 8, -1);
  withDxt("DXT1 65536 x 65536", 65536, 65536, 64, -1);
  withDxt("DXT1 0xFFFFFFFF wide", 0xFFFFFFFF, 4, 64, -1);

  ExpectLoaderResults(DecodeDdsImage, cases);
}

TEST_F(DdsLoad, AStreamThatReadsShortIsRefused) {
  const Bytes file = DxtFile("DXT1", 8, 8, Bytes(4 * 8, 0x21));
  GraphImage image;
  EXPECT_EQ(DecodeWith(DecodeDdsImage, file, &image, 16), -1);
  EXPECT_EQ(DecodeWith(DecodeDdsImage, file, &image, UINT32_MAX, int64_t(file.size()) - 1), -1);
}

}  // namespace
