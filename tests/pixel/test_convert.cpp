#include "engine/pixel/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetupFormatFromMasksCore(&f, depth, r, g, b, a);
  return f;
}

// One channel read as all four, as the software images' one-channel kinds are.
ColorFormat OneChannel(int bits) {
  ColorFormat f{};
  uint32_t mask = bits == 8 ? 0xFF : 0xFFFF;
  f.bitDepth = uint16_t(bits);
  f.bytesPerPixel = uint16_t(bits / 8);
  f.redWidth = f.greenWidth = f.blueWidth = f.alphaWidth = uint8_t(bits);
  f.redMask = f.greenMask = f.blueMask = f.alphaMask = mask;
  return f;
}

const ColorFormat kRgb565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat kX555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorFormat kA1555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorFormat kXrgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat kArgb = [] {
  ColorFormat f{};
  SetupArgb8888Format(&f);
  return f;
}();
const ColorFormat kRgb888 = [] {
  ColorFormat f{};
  SetupRgb888Format(&f);
  return f;
}();
// Entries: 0 black, 1 0xFF8040, 2 magenta, 3 white; the rest black.
const ColorFormat kPal = [] {
  ColorFormat f{};
  SetupPalette8Format(&f);
  f.palette[1] = PaletteEntry{0x40, 0x80, 0xFF, 0};
  f.palette[2] = PaletteEntry{0xFF, 0x00, 0xFF, 0};
  f.palette[3] = PaletteEntry{0xFF, 0xFF, 0xFF, 0};
  return f;
}();
const ColorFormat kGray8 = [] {
  ColorFormat f{};
  SetupGray8Format(&f);
  return f;
}();

struct Options {
  int mirror = 0, keyToAlpha = 0;
  uint32_t key = 0;
  int dither = 0, colourOff = 0, alphaFromRed = 0, skipKey = 0, remap = 0;
};

// An image of w x h pixels with two spare bytes at the end of each row.
struct Image {
  const ColorFormat* format;
  int w, h, pitch;
  std::vector<uint8_t> bytes;
  Image(const ColorFormat* f, int width, int height, const std::vector<uint32_t>& pixels = {},
        uint32_t fill = 0)
      : format(f), w(width), h(height), pitch(width * f->bytesPerPixel + 2),
        bytes(size_t(pitch) * height, 0xEE) {
    for (int i = 0; i < w * h; i++) Set(i % w, i / w, i < int(pixels.size()) ? pixels[i] : fill);
  }
  uint8_t* At(int x, int y) { return bytes.data() + y * pitch + x * format->bytesPerPixel; }
  void Set(int x, int y, uint32_t v) { WritePixelValue(At(x, y), format->bytesPerPixel, v); }
  uint32_t Get(int x, int y) { return ReadPixelValue(At(x, y), format->bytesPerPixel); }
  std::vector<uint32_t> All() {
    std::vector<uint32_t> out;
    for (int y = 0; y < h; y++) {
      for (int x = 0; x < w; x++) out.push_back(Get(x, y));
    }
    return out;
  }
};

// Converts the whole source into a fresh destination (filled with `fill`) at (0, 0).
int Convert(Image* dst, Image* src, const Options& o = {}, Image* alpha = nullptr) {
  Rect r{0, 0, src->w, src->h};
  return ConvertBlitRect(dst->bytes.data(), dst->pitch, dst->format, src->bytes.data(),
                         src->pitch, src->format, alpha ? alpha->bytes.data() : nullptr,
                         alpha ? alpha->pitch : 0, alpha ? alpha->format : nullptr, 0, 0, &r,
                         o.mirror, o.keyToAlpha, o.key, o.dither, o.colourOff, o.alphaFromRed,
                         o.skipKey, o.remap);
}

std::vector<uint32_t> Converted(const ColorFormat* dstFormat, const ColorFormat* srcFormat,
                                const std::vector<uint32_t>& pixels, const Options& o = {},
                                uint32_t fill = 0x11111111) {
  int w = int(pixels.size());
  Image src(srcFormat, w, 1, pixels);
  Image dst(dstFormat, w, 1, {}, fill);
  EXPECT_EQ(Convert(&dst, &src, o), 0);
  return dst.All();
}

using Pixels = std::vector<uint32_t>;

}  // namespace

TEST(ConvertBlitRect, EmptyRectangleWritesNothing) {
  Image src(&kArgb, 2, 2, {1, 2, 3, 4});
  Image dst(&kArgb, 2, 2, {}, 9);
  Rect rects[] = {{1, 0, 1, 2}, {0, 1, 2, 1}, {2, 0, 1, 2}};
  for (const Rect& r : rects) {
    EXPECT_EQ(ConvertBlitRect(dst.bytes.data(), dst.pitch, &kArgb, src.bytes.data(), src.pitch,
                              &kArgb, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0),
              -1);
  }
  EXPECT_EQ(dst.All(), (Pixels{9, 9, 9, 9}));
}

TEST(ConvertBlitRect, FastPathsWidenByShifting) {
  struct Case {
    const char* name;
    const ColorFormat* dst;
    const ColorFormat* src;
    Pixels in, out;
    int keyToAlpha;
  } cases[] = {
      {"palette to 565", &kRgb565, &kPal, {1, 2, 3}, {0xFC08, 0xF81F, 0xFFFF}, 0},
      {"palette to x555", &kX555, &kPal, {1, 2, 0}, {0xFE08, 0xFC1F, 0x8000}, 0},
      {"palette to xrgb", &kXrgb, &kPal, {1, 0}, {0xFFFF8040, 0xFF000000}, 0},
      {"rgb888 to 565", &kRgb565, &kRgb888, {0xFF8040}, {0xFC08}, 0},
      {"rgb888 to x555", &kX555, &kRgb888, {0xFF8040}, {0xFE08}, 0},
      {"rgb888 to xrgb", &kXrgb, &kRgb888, {0xFF8040}, {0xFFFF8040}, 0},
      {"rgb888 to argb", &kArgb, &kRgb888, {0xFF8040, 0}, {0xFFFF8040, 0xFF000000}, 0},
      // Whole words read ahead of the last pixel: none of the next pixel's blue is kept.
      {"rgb888 to xrgb, a row of several", &kXrgb, &kRgb888, {0x010203, 0x0405FF, 0xFF0607, 0x000000, 0x08090A},
       {0xFF010203, 0xFF0405FF, 0xFFFF0607, 0xFF000000, 0xFF08090A}, 0},
      {"xrgb to 565", &kRgb565, &kXrgb, {0x12FF8040}, {0xFC08}, 0},
      {"565 to rgb888", &kRgb888, &kRgb565, {0xFFFF, 0x8410}, {0xF8FCF8, 0x808080}, 0},
      // Top byte 0 although the format's no-channel bits are the top byte.
      {"565 to xrgb", &kXrgb, &kRgb565, {0xFFFF, 0xF800}, {0x00F8FCF8, 0x00F80000}, 0},
      {"565 to x555", &kX555, &kRgb565, {0xFFFF, 0x0020, 0x07C0}, {0x7FFF, 0x0000, 0x03E0}, 0},
      {"x555 to 565", &kRgb565, &kX555, {0x7FFF, 0x0020, 0x8000}, {0xFFFF, 0x0060, 0x0000}, 0},
      // With key to alpha (key magenta): alpha where the colour is not the key.
      {"palette to a1555 keyed", &kA1555, &kPal, {2, 1}, {0x7C1F, 0xFE08}, 1},
      {"palette to argb keyed", &kArgb, &kPal, {2, 1}, {0x00FF00FF, 0xFFFF8040}, 1},
      // The 5:5:5 comparison also takes near colours for the key.
      {"rgb888 to a1555 keyed", &kA1555, &kRgb888, {0xFF00FF, 0xFE01FB, 0xFF8040},
       {0x7C1F, 0x7C1F, 0xFE08}, 1},
      {"rgb888 to argb keyed", &kArgb, &kRgb888, {0xFF00FF, 0xFE01FB}, {0x00FF00FF, 0xFFFE01FB}, 1},
      {"565 to a1555 keyed", &kA1555, &kRgb565, {0xF81F, 0xFFFF}, {0x7C1F, 0xFFFF}, 1},
  };
  for (const Case& c : cases) {
    Options o;
    o.keyToAlpha = c.keyToAlpha;
    o.key = 0xFF00FF;
    EXPECT_EQ(Converted(c.dst, c.src, c.in, o), c.out) << c.name;
  }
  // Every 5:6:5 value in one row, long enough for the widened loop and its tail.
  Pixels every(65536 + 7), widened(every.size());
  for (size_t i = 0; i < every.size(); i++) {
    const uint32_t v = uint32_t(i) & 0xFFFF;
    every[i] = v;
    widened[i] = (v & 0x1F) << 3 | (v >> 5 & 0x3F) << 10 | (v >> 11) << 19;
  }
  EXPECT_EQ(Converted(&kXrgb, &kRgb565, every, Options{}), widened) << "565 to xrgb, every value";
}

TEST(ConvertBlitRect, GeneralRuleWidensOverTheFullRange) {
  struct Case {
    const char* name;
    const ColorFormat* dst;
    const ColorFormat* src;
    Pixels in, out;
  } cases[] = {
      // 31 in five bits is 255 (31 x 8 + 31 x 7 / 31), one alpha bit 0 or 255.
      {"a1555 to argb", &kArgb, &kA1555, {0xFC00, 0x7C00}, {0xFFFF0000, 0x00FF0000}},
      // The same red gives 248 on the fast path into xrgb (above) but 255 here.
      {"565 to argb", &kArgb, &kRgb565, {0xFFFF, 0x8410}, {0xFFFFFFFF, 0xFF838183}},
      // A 3-byte destination takes the value without any no-channel bits.
      {"a1555 to rgb888", &kRgb888, &kA1555, {0xFC00, 0x03E0}, {0xFF0000, 0x00FF00}},
      // A palette source is read through its entry.
      {"palette to a1555", &kA1555, &kPal, {1, 3}, {0xFE08, 0xFFFF}},
  };
  for (const Case& c : cases) EXPECT_EQ(Converted(c.dst, c.src, c.in), c.out) << c.name;
}

TEST(ConvertBlitRect, MirrorReversesRowsEvenInPlace) {
  Image img(&kArgb, 3, 2, {1, 2, 3, 4, 5, 6});
  Rect r{0, 0, 3, 2};
  EXPECT_EQ(ConvertBlitRect(img.bytes.data(), img.pitch, &kArgb, img.bytes.data(), img.pitch,
                            &kArgb, nullptr, 0, nullptr, 0, 0, &r, 1, 0, 0, 0, 0, 0, 0, 0),
            0);
  EXPECT_EQ(img.All(), (Pixels{3, 2, 1, 6, 5, 4}));

  Options mirror;
  mirror.mirror = 1;
  EXPECT_EQ(Converted(&kArgb, &kRgb565, {0xF800, 0x07E0, 0x001F}, mirror),
            (Pixels{0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
  EXPECT_EQ(Converted(&kRgb565, &kPal, {1, 2, 3}, mirror), (Pixels{0xFFFF, 0xF81F, 0xFC08}));
  // Mirroring turns the skip key off: every pixel is written.
  mirror.skipKey = 1;
  mirror.key = 0xF800;
  EXPECT_EQ(Converted(&kRgb565, &kRgb565, {0xF800, 0x001F}, mirror), (Pixels{0x001F, 0xF800}));
}

TEST(ConvertBlitRect, SkipKey) {
  struct Case {
    const char* name;
    const ColorFormat* dst;
    const ColorFormat* src;
    uint32_t key;
    Pixels in, out;
  } cases[] = {
      // Same layout: the key masked to the pixel's 16 bits.
      {"565 to 565", &kRgb565, &kRgb565, 0xABCDF800, {0xF800, 0x001F, 0xF800},
       {0x1111, 0x001F, 0x1111}},
      // Converting: the key masked to the source's 24 bits.
      {"rgb888 to 565", &kRgb565, &kRgb888, 0xAAFF00FF, {0xFF00FF, 0x00FF00}, {0x1111, 0x07E0}},
      // A palette source is compared by the colour of its entry.
      {"palette to 565", &kRgb565, &kPal, 0xFF00FF, {2, 1}, {0x1111, 0xFC08}},
      // Not when the destination carries the source's alpha.
      {"argb to argb", &kArgb, &kArgb, 0x80FF0000, {0x80FF0000}, {0x80FF0000}},
  };
  for (const Case& c : cases) {
    Options o;
    o.skipKey = 1;
    o.key = c.key;
    EXPECT_EQ(Converted(c.dst, c.src, c.in, o, 0x1111), c.out) << c.name;
  }
}

TEST(ConvertBlitRect, KeyToAlpha) {
  Options o;
  o.keyToAlpha = 1;
  o.key = 0xFF00FF;
  // Same colour layout into one with alpha.
  EXPECT_EQ(Converted(&kArgb, &kXrgb, {0xFFFF00FF, 0xFF123456}, o),
            (Pixels{0x00FF00FF, 0xFF123456}));
  // The general rule compares the converted colour with the key in the destination format.
  EXPECT_EQ(Converted(&kArgb, &kRgb565, {0xF81F, 0xFFFF}, o), (Pixels{0x00FF00FF, 0xFFFFFFFF}));
  // Off when the source brings its own alpha, or when the destination has none.
  EXPECT_EQ(Converted(&kArgb, &kArgb, {0x80FF00FF}, o), (Pixels{0x80FF00FF}));
  EXPECT_EQ(Converted(&kXrgb, &kRgb888, {0xFF00FF}, o), (Pixels{0xFFFF00FF}));
}

TEST(ConvertBlitRect, PaletteDestinationsAndEightBitCopies) {
  // Colours into a palette: the nearest entry, each 24-bit pixel from its own 3 bytes.
  EXPECT_EQ(Converted(&kPal, &kRgb888, {0xFFFFFF, 0xFF00FF, 0xFE7F41, 0x000000}),
            (Pixels{3, 2, 1, 0}));
  // Narrow channels are widened first: (31, 0, 31) is magenta, not near black.
  EXPECT_EQ(Converted(&kPal, &kRgb565, {0xF81F}), (Pixels{2}));

  Image src(&kPal, 3, 1, {5, 37, 2});
  Image dst(&kPal, 3, 1);
  EXPECT_EQ(Convert(&dst, &src), 37);  // the highest index copied
  EXPECT_EQ(dst.All(), (Pixels{5, 37, 2}));

  // Remapping between different palettes; with equal palettes it is the plain copy.
  ColorFormat other = kPal;
  other.palette[1] = kPal.palette[3];  // white at 1...
  other.palette[3] = kPal.palette[1];  // ...0xFF8040 at 3
  Options remap;
  remap.remap = 1;
  Image src2(&kPal, 3, 1, {1, 3, 2});
  Image dst2(&other, 3, 1);
  EXPECT_EQ(Convert(&dst2, &src2, remap), 0);
  EXPECT_EQ(dst2.All(), (Pixels{3, 1, 2}));
  Image dst3(&kPal, 3, 1);
  EXPECT_EQ(Convert(&dst3, &src2, remap), 3);
  EXPECT_EQ(dst3.All(), (Pixels{1, 3, 2}));
}

TEST(ConvertBlitRect, AlphaFromASeparateImage) {
  struct Case {
    const char* name;
    const ColorFormat* alphaFormat;
    uint32_t alphaPixel;
    uint32_t expected;
  } cases[] = {
      {"gray palette", &kGray8, 0x80, 0x80FF8040},  // read through its entry
      {"xrgb red", &kXrgb, 0x00403020, 0x40FF8040},
      {"x555 red widened", &kX555, 0x7C00, 0xFFFF8040},
      {"no alpha format", nullptr, 0, 0x00FF8040},
  };
  for (const Case& c : cases) {
    Image src(&kRgb888, 1, 1, {0xFF8040});
    Image alpha(c.alphaFormat ? c.alphaFormat : &kXrgb, 1, 1, {c.alphaPixel});
    Image dst(&kArgb, 1, 1);
    Rect r{0, 0, 1, 1};
    EXPECT_EQ(ConvertBlitRect(dst.bytes.data(), dst.pitch, &kArgb, src.bytes.data(), src.pitch,
                              &kRgb888, alpha.bytes.data(), alpha.pitch, c.alphaFormat, 0, 0, &r,
                              0, 0, 0, 0, 0, 0, 0, 0),
              0);
    EXPECT_EQ(dst.Get(0, 0), c.expected) << c.name;
  }
  // A source with alpha of its own keeps it.
  Image src(&kArgb, 1, 1, {0x20FF8040});
  Image alpha(&kXrgb, 1, 1, {0x00FF0000});
  Image dst(&kArgb, 1, 1);
  EXPECT_EQ(Convert(&dst, &src, {}, &alpha), 0);
  EXPECT_EQ(dst.Get(0, 0), 0x20FF8040u);
}

TEST(ConvertBlitRect, ColourOffAndAlphaFromRedFillOneChannelImages) {
  ColorFormat gray8 = OneChannel(8), gray16 = OneChannel(16);
  Options o;
  o.colourOff = 1;
  o.alphaFromRed = 1;
  EXPECT_EQ(Converted(&gray8, &kRgb888, {0x123456, 0xFF0000}, o), (Pixels{0x12, 0xFF}));
  EXPECT_EQ(Converted(&gray16, &kRgb888, {0x123456}, o), (Pixels{0x1212}));
  EXPECT_EQ(Converted(&gray8, &kGray8, {0x9A}, o), (Pixels{0x9A}));
  EXPECT_EQ(Converted(&gray8, &kArgb, {0x01FF8040}, o), (Pixels{0xFF}));
  // Into a colour image: only the alpha carries, taken from red.
  EXPECT_EQ(Converted(&kArgb, &kRgb888, {0x7F8040}, o), (Pixels{0x7F000000}));
}

TEST(ConvertBlitRect, OrderedDitherAtItsThresholds) {
  // Red 8 -> 5 bits loses 3 bits; the threshold at (x, y) is T x 8 / 16 with
  // T = 0 8 2 10 / 12 4 14 6 for the first two rows.
  Image src(&kRgb888, 4, 2,
            {0x000000, 0x0C0000, 0x0A0000, 0x0E0000,    // lost 0 4 2 6 over 0 4 1 5
             0xFF0000, 0x030000, 0x070000, 0x0B0000});  // lost 7 3 7 3 over 6 2 7 3
  Image dst(&kRgb565, 4, 2);
  Options o;
  o.dither = CONVERT_DITHER_ORDERED;
  EXPECT_EQ(Convert(&dst, &src, o), 0);
  EXPECT_EQ(dst.All(), (Pixels{0x0000, 0x0800, 0x1000, 0x1000,     // 0 1 2 2
                               0xF800, 0x0800, 0x0000, 0x0800}));  // 31 (clamped) 1 0 1
  Image plain(&kRgb565, 4, 2);
  EXPECT_EQ(Convert(&plain, &src), 0);
  EXPECT_EQ(plain.All(), (Pixels{0x0000, 0x0800, 0x0800, 0x0800, 0xF800, 0x0000, 0x0000, 0x0800}));
}

TEST(ConvertBlitRect, CarryDitherRunsThroughTheWholeRectangle) {
  // Red loses 5 of 8 each pixel; a unit is added each time the sum passes 7, and the
  // sum is not reset at the start of a row.
  Image src(&kRgb888, 3, 2, {}, 0x050000);
  Image dst(&kRgb565, 3, 2);
  Options o;
  o.dither = CONVERT_DITHER_CARRY;
  EXPECT_EQ(Convert(&dst, &src, o), 0);
  EXPECT_EQ(dst.All(), (Pixels{0x0000, 0x0800, 0x0000, 0x0800, 0x0800, 0x0000}));
  // Formats that keep every red and green bit are not dithered.
  Image same(&kArgb, 3, 2);
  EXPECT_EQ(Convert(&same, &src, o), 0);
  EXPECT_EQ(same.Get(2, 1), 0xFF050000u);
}

TEST(ConvertBlitRect, FourPixelStepsGiveTheSameResult) {
  Pixels in565 = {0xFFFF, 0x0020, 0x07C0, 0x1234, 0xF81F, 0x8410, 0x0001};
  Pixels out555 = {0x7FFF, 0x0000, 0x03E0, 0x0914, 0x7C1F, 0x4210, 0x0001};
  Pixels back = {0xFFFF, 0x0000, 0x07E0, 0x1214, 0xF81F, 0x8410, 0x0001};
  for (int mmx : {0, 1}) {
    SetConvertBlitMmxUsable(mmx);
    EXPECT_EQ(GetConvertBlitMmxUsable(), mmx);
    EXPECT_EQ(Converted(&kX555, &kRgb565, in565), out555) << mmx;
    EXPECT_EQ(Converted(&kRgb565, &kX555, out555), back) << mmx;
    // In place, over the same row.
    Image img(&kRgb565, 7, 1, in565);
    Rect r{0, 0, 7, 1};
    ConvertBlitRect(img.bytes.data(), img.pitch, &kX555, img.bytes.data(), img.pitch, &kRgb565,
                    nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(img.All(), out555) << mmx;
  }
  SetConvertBlitMmxUsable(0);
}

TEST(ConvertBlitRect, SixteenBitRowsOfEveryLengthAndPlace) {
  // Rows long and short against each step width, converted into another image, where they
  // lie, and one pixel along the same row, both ways; each pixel by the shifts alone.
  auto to555 = [](uint32_t v) { return (v & 0xFFC0) >> 1 | (v & 0x1F); };
  auto to565 = [](uint32_t v) { return (v & 0x7FE0) << 1 | (v & 0x3F); };
  for (int width : {1, 7, 8, 9, 15, 16, 17, 31, 64, 67}) {
    for (bool down : {true, false}) {
      const ColorFormat* from = down ? &kRgb565 : &kX555;
      const ColorFormat* to = down ? &kX555 : &kRgb565;
      Pixels in;
      for (int i = 0; i < width * 2; i++) in.push_back(uint32_t(i * 40503 + width) & 0xFFFF);
      Pixels want;
      for (uint32_t v : in) want.push_back(down ? to555(v) : to565(v));
      Image src(from, width, 2, in), dst(to, width, 2);
      EXPECT_EQ(Convert(&dst, &src), 0);
      EXPECT_EQ(dst.All(), want) << width << " down " << down;
      Image place(from, width, 2, in);
      Rect whole{0, 0, width, 2};
      ConvertBlitRect(place.bytes.data(), place.pitch, to, place.bytes.data(), place.pitch, from, nullptr, 0,
                      nullptr, 0, 0, &whole, 0, 0, 0, 0, 0, 0, 0, 0);
      EXPECT_EQ(place.All(), want) << width << " down " << down << " in place";
      // Shifted one pixel on along the row: each pixel reads its left neighbour as it was.
      Image shifted(from, width + 1, 1, Pixels(in.begin(), in.begin() + width + 1));
      Rect first{0, 0, width, 1};
      ConvertBlitRect(shifted.bytes.data(), shifted.pitch, to, shifted.bytes.data(), shifted.pitch, from,
                      nullptr, 0, nullptr, 1, 0, &first, 0, 0, 0, 0, 0, 0, 0, 0);
      for (int x = 0; x < width; x++) EXPECT_EQ(shifted.Get(x + 1, 0), want[size_t(x)]) << width << " at " << x;
    }
  }
}

TEST(ConvertBlitRect, RectangleOffsetsAndPitches) {
  Image src(&kXrgb, 4, 3);
  for (int i = 0; i < 12; i++) src.Set(i % 4, i / 4, 0x00080000u * uint32_t(i));  // red = 8i
  Image dst(&kRgb565, 4, 4, {}, 0x5555);
  Rect r{1, 1, 3, 3};
  EXPECT_EQ(ConvertBlitRect(dst.bytes.data(), dst.pitch, &kRgb565, src.bytes.data(), src.pitch,
                            &kXrgb, nullptr, 0, nullptr, 2, 1, &r, 0, 0, 0, 0, 0, 0, 0, 0),
            0);
  // Source pixels 5, 6 / 9, 10 (red 40, 48 / 72, 80) land at (2, 1) to (3, 2).
  EXPECT_EQ(dst.All(), (Pixels{0x5555, 0x5555, 0x5555, 0x5555,  //
                               0x5555, 0x5555, 0x2800, 0x3000,  //
                               0x5555, 0x5555, 0x4800, 0x5000,  //
                               0x5555, 0x5555, 0x5555, 0x5555}));
  // The spare bytes after each row stay untouched.
  EXPECT_EQ(dst.bytes[8], 0xEE);
  EXPECT_EQ(dst.bytes[9], 0xEE);
}
