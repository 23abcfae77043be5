#include "engine/base/memory.h"
#include "engine/softimage/imgconvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;

// A GraphImage over memory of the test's own, rows packed at their pixel size.
struct Picture {
  GraphImage image{};
  Bytes memory;
  Picture(const ColorFormat& format, int w, int h, const Pixels& pixels) {
    image.format = format;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.pitch = uint32_t(w * format.bytesPerPixel);
    memory.assign(size_t(image.pitch) * h, 0);
    image.pixels = memory.data();
    for (int i = 0; i < w * h && i < int(pixels.size()); i++) {
      WritePixelValue(memory.data() + i * format.bytesPerPixel, format.bytesPerPixel, pixels[i]);
    }
  }
  uint32_t Get(int x, int y) const {
    int bytes = image.format.bytesPerPixel;
    return ReadPixelValue(memory.data() + y * image.pitch + x * bytes, bytes);
  }
};

ColorFormat Argb() {
  ColorFormat f{};
  SetupArgb8888Format(&f);
  return f;
}
ColorFormat Rgb888() {
  ColorFormat f{};
  SetupRgb888Format(&f);
  return f;
}
ColorFormat Rgb565() {
  ColorFormat f{};
  SetupFormatFromMasksCore(&f, 16, 0xF800, 0x07E0, 0x001F, 0);
  return f;
}

uint32_t PixelOf(const MEMIMG& img, int x, int y) {
  int bytes = img.data->format->bytesPerPixel;
  return ReadPixelValue(img.pixels + y * img.data->pitch + x * bytes, bytes);
}

// The run map up to the end byte of the last row.
Bytes RunMap(const MEMIMG& img) {
  Bytes out;
  int rows = 0;
  for (const uint8_t* p = img.data->runMap; rows < img.height; p++) {
    out.push_back(*p);
    if (*p == MEMIMG_RUN_END) rows++;
  }
  return out;
}

}  // namespace

TEST(GraphImageToMemImgRect, RunMapBytes) {
  struct Case {
    const char* name;
    int32_t kind, palette, alpha;
    uint32_t transparent;
    ColorFormat format;  // of the source picture
    int w, h;
    Pixels pixels;
    Bytes runs;
  } cases[] = {
      {"70 transparent", 1, 0, 0, 0x00FF00FF, *GetMemImgColorFormat(1, 0, 0), 70, 1,
       Pixels(70, 0x00FF00FF), {0x3F, 0x05, 0xC0}},
      {"alpha classes", 1, 0, 1, 0, Argb(), 6, 1,
       {0x00102030, 0x00FFFFFF, 0x80FFFFFF, 0xFF000000, 0xFF123456, 0xFFFFFFFF},
       {0x01, 0x80, 0x42, 0xC0}},
      {"white key as 16 bits", 0, 0, 0, 0x0000FFFF, Rgb565(), 3, 1, {0xFFFF, 0xFFFF, 0},
       {0x01, 0x40, 0xC0}},
      {"white key as 32 bits", 0, 0, 0, 0xFFFFFFFF, Rgb565(), 3, 1, {0xFFFF, 0xFFFF, 0},
       {0x42, 0xC0}},
      {"palette indexes", 0, 1, 0, 5, *GetMemImgColorFormat(0, 0, 1), 4, 2,
       {5, 5, 0, 5, 1, 2, 3, 4}, {0x01, 0x40, 0x00, 0xC0, 0x43, 0xC0}},
      {"two rows", 1, 0, 0, 7, *GetMemImgColorFormat(1, 0, 0), 2, 2, {7, 1, 1, 7},
       {0x00, 0x40, 0xC0, 0x40, 0x00, 0xC0}},
  };
  int32_t before = GetTrackedBlockCount();
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, c.w, c.h, -1, c.transparent, c.kind, c.palette, c.alpha, 1,
                           nullptr),
              0);
    Picture src(c.format, c.w, c.h, c.pixels);
    GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, c.w, c.h, 0, 0, 0);
    EXPECT_EQ(img.data->runMapValid, 1) << c.name;
    EXPECT_EQ(RunMap(img), c.runs) << c.name;
    EXPECT_EQ(img.data->runMapKey, c.transparent) << c.name;
    ReleaseMemImg(&img);
  }
  EXPECT_EQ(GetTrackedBlockCount(), before);
}

TEST(GraphImageToMemImgRect, PremultipliedCopy) {
  struct Case {
    int32_t kind;
    uint32_t source;   // ARGB8888
    uint32_t pixel;    // as stored
    uint32_t premult;  // as stored in the copy
  } cases[] = {
      // Blue 200, green 100, red 50 at alpha 128: each x 128 / 256.
      {1, 0x803264C8, 0x803264C8, 0x80193264},
      // 5:6:5 white at alpha 128: 15, 31, 15 with the alpha in byte 2 and 0 above it.
      {0, 0x80FFFFFF, 0xFF80FFFF, 0x00807BEF},
      {0, 0x00FFFFFF, 0xFF00FFFF, 0x00000000},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 2, 1, -1, 0, c.kind, 0, 1, 1, nullptr), 0);
    Picture src(Argb(), 2, 1, {c.source, c.source});
    GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 2, 1, 0, 0, 0);
    EXPECT_EQ(img.data->premultipliedValid, 1);
    EXPECT_EQ(PixelOf(img, 1, 0), c.pixel) << std::hex << c.source;
    EXPECT_EQ(ReadPixelValue(img.premultiplied + 4, 4), c.premult) << std::hex << c.source;
    ReleaseMemImg(&img);
  }
}

TEST(GraphImageToMemImgRect, PartialCopiesAndViewsBuildNoMaps) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 20, 20, -1, 0, 1, 0, 1, 1, nullptr), 0);
  std::memset(img.data->runMap, 0xEE, 25 * 20);
  img.data->runMapValid = img.data->premultipliedValid = 1;
  Picture src(Argb(), 10, 10, Pixels(100, 0xFF123456));
  GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 10, 10, 0, 0, 0);
  EXPECT_EQ(img.data->runMapValid, 0);
  EXPECT_EQ(img.data->premultipliedValid, 0);
  EXPECT_EQ(img.data->runMap[0], 0xEE);
  EXPECT_EQ(PixelOf(img, 9, 9), 0xFF123456u);

  // A view the size of the copy is not the whole image: its maps are left alone.
  MEMIMG view{};
  DeriveMemImg(&view, &img, 0, 0, 10, 10);
  img.data->runMapValid = 1;
  GraphImageToMemImgRect(&src.image, nullptr, &view, 0, 0, 10, 10, 0, 0, 0);
  EXPECT_EQ(img.data->runMapValid, 0);
  EXPECT_EQ(img.data->runMap[0], 0xEE);

  // A copy with nothing left after clipping stops before touching the flags.
  img.data->runMapValid = 1;
  GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 10, 10, 20, 0, 0);
  EXPECT_EQ(img.data->runMapValid, 1);
  ReleaseMemImg(&view);
  ReleaseMemImg(&img);
}

TEST(GraphImageToMemImgRect, RectanglesAreClippedToBothImages) {
  Pixels numbers(16);
  for (int i = 0; i < 16; i++) numbers[i] = 0xFF000000u | uint32_t(i + 1);
  Picture src(Argb(), 4, 4, numbers);
  struct Case {
    int32_t x, y, w, h, toX, toY;
    std::vector<int> expected;  // source number at each destination pixel, 0 untouched
  } cases[] = {
      {2, 2, 4, 4, 1, 1, {0, 0, 0, 0, 0, 11, 12, 0, 0, 15, 16, 0, 0, 0, 0, 0}},
      {-1, -1, 3, 3, 0, 0, {0, 0, 0, 0, 0, 1, 2, 0, 0, 5, 6, 0, 0, 0, 0, 0}},
      {0, 0, 2, 2, -1, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}},
      {0, 0, 100, 100, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 4, 4, -1, 0, 1, 0, 1, 0, nullptr), 0);
    ClearMemImgRect(&img, nullptr, 0);
    GraphImageToMemImgRect(&src.image, nullptr, &img, c.x, c.y, c.w, c.h, c.toX, c.toY, 0);
    for (int i = 0; i < 16; i++) {
      uint32_t expected = c.expected[i] ? 0xFF000000u | uint32_t(c.expected[i]) : 0;
      EXPECT_EQ(PixelOf(img, i % 4, i / 4), expected)
          << "copy " << c.x << "," << c.y << " to " << c.toX << "," << c.toY << " pixel " << i;
    }
    ReleaseMemImg(&img);
  }

  // An alpha picture smaller than the colour one limits the copy too.
  Picture rgb(Rgb888(), 4, 1, {0x111111, 0x222222, 0x333333, 0x444444});
  ColorFormat gray{};
  SetupGray8Format(&gray);
  Picture alpha(gray, 2, 1, {0x80, 0x40});
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 4, 1, -1, 0, 1, 0, 1, 0, nullptr), 0);
  ClearMemImgRect(&img, nullptr, 0);
  GraphImageToMemImgRect(&rgb.image, &alpha.image, &img, 0, 0, 4, 1, 0, 0, 0);
  EXPECT_EQ(PixelOf(img, 0, 0), 0x80111111u);
  EXPECT_EQ(PixelOf(img, 1, 0), 0x40222222u);
  EXPECT_EQ(PixelOf(img, 2, 0), 0u);
  ReleaseMemImg(&img);
}

TEST(GraphImageToMemImgRect, PaletteImages) {
  ColorFormat pal{};
  SetupPalette8Format(&pal);
  for (int i = 0; i < 256; i++) pal.palette[i] = PaletteEntry{uint8_t(i), 0, uint8_t(255 - i), 0};
  pal.palette[37] = PaletteEntry{0x40, 0x80, 0xFF, 0};
  Picture src(pal, 3, 1, {4, 37, 0});
  struct Case {
    int32_t kind;
    int entryBytes;
    uint32_t entry37, entry0, entry255;
  } cases[] = {
      {0, 2, 0xFC08, 0xF800, 0x001F},
      {1, 4, 0x00FF8040, 0x00FF0000, 0x000000FF},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 3, 1, -1, 4, c.kind, 1, 0, 1, nullptr), 0);
    GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 3, 1, 0, 0, 0);
    MemImgData* d = img.data;
    EXPECT_EQ(d->paletteColorCount, 38);
    EXPECT_EQ(PixelOf(img, 1, 0), 37u);
    auto entry = [&](const void* half, int i) {
      return ReadPixelValue(static_cast<const uint8_t*>(half) + i * c.entryBytes, c.entryBytes);
    };
    const void* halves[2] = {d->palette, d->paletteCopy};
    for (const void* half : halves) {
      EXPECT_EQ(entry(half, 37), c.entry37) << "kind " << c.kind;
      EXPECT_EQ(entry(half, 0), c.entry0) << "kind " << c.kind;
      EXPECT_EQ(entry(half, 255), c.entry255) << "kind " << c.kind;
    }
    EXPECT_EQ(RunMap(img), (Bytes{0x00, 0x41, 0xC0}));  // index 4 is the transparent colour
    ReleaseMemImg(&img);
  }
}

TEST(GraphImageToMemImgRect, OneChannelImagesAndKeyToAlpha) {
  Picture src(Rgb888(), 2, 1, {0x123456, 0xFF00FF});
  struct Case {
    int32_t kind;
    Pixels expected;
  } cases[] = {{2, {0x12, 0xFF}}, {3, {0x1212, 0xFFFF}}};
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 2, 1, -1, 0, c.kind, 0, 0, 0, nullptr), 0);
    img.data->runMapValid = 1;
    GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 2, 1, 0, 0, 0);
    EXPECT_EQ(PixelOf(img, 0, 0), c.expected[0]);
    EXPECT_EQ(PixelOf(img, 1, 0), c.expected[1]);
    EXPECT_EQ(img.data->runMapValid, 0);
    ReleaseMemImg(&img);
  }

  // Alpha cleared where the colour is the image's transparent colour.
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 2, 1, -1, 0xFF00FF, 1, 0, 1, 1, nullptr), 0);
  GraphImageToMemImgRect(&src.image, nullptr, &img, 0, 0, 2, 1, 0, 0, 1);
  EXPECT_EQ(PixelOf(img, 0, 0), 0xFF123456u);
  EXPECT_EQ(PixelOf(img, 1, 0), 0x00FF00FFu);
  EXPECT_EQ(RunMap(img), (Bytes{0x40, 0x00, 0xC0}));
  ReleaseMemImg(&img);
}

TEST(ConvertMemImgRect, ConvertsAndClips) {
  MEMIMG src{}, dst{};
  ASSERT_EQ(CreateMemImg(&src, 3, 2, -1, 0, 0, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(CreateMemImg(&dst, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), 0);
  ClearMemImgRect(&src, nullptr, 0xFFFF);
  ClearMemImgRect(&dst, nullptr, 0);
  EXPECT_EQ(ConvertMemImgRect(&dst, &src, nullptr, 0, 0), 0);
  EXPECT_EQ(PixelOf(dst, 2, 1), 0x00F8FCF8u);
  EXPECT_EQ(PixelOf(dst, 3, 1), 0u);

  ClearMemImgRect(&dst, nullptr, 0);
  Rect r{1, 0, 3, 2};
  EXPECT_EQ(ConvertMemImgRect(&dst, &src, &r, 3, 3), 0);  // one pixel of it fits
  EXPECT_EQ(PixelOf(dst, 3, 3), 0x00F8FCF8u);
  EXPECT_EQ(PixelOf(dst, 2, 3), 0u);
  EXPECT_EQ(ConvertMemImgRect(&dst, &src, &r, 4, 0), -1);
  MEMIMG released{};
  EXPECT_EQ(ConvertMemImgRect(&dst, &released, nullptr, 0, 0), -1);
  ReleaseMemImg(&src);
  ReleaseMemImg(&dst);
}

TEST(CopyScreenMemImgRect, CopiesRgbImagesOnly) {
  struct Case {
    int32_t kind, palette, alpha, keyFlag;
    Pixels expected;
  } cases[] = {
      {0, 0, 0, 0, {0xF800, 0x001F, 0x1111}},
      {0, 0, 0, 1, {0x1111, 0x001F, 0x1111}},  // the key pixel is left out
      {0, 1, 0, 0, {0x1111, 0x1111, 0x1111}},  // palette images copy nothing
      {1, 0, 1, 0, {0x1111, 0x1111, 0x1111}},  // nor alpha images
      {2, 0, 0, 0, {0x1111, 0x1111, 0x1111}},  // nor one-channel images
  };
  for (const Case& c : cases) {
    MEMIMG src{};
    ASSERT_EQ(CreateMemImg(&src, 2, 1, -1, 0, c.kind, c.palette, c.alpha, 0, nullptr), 0);
    if (c.kind == 0 && !c.palette) {
      Rect left{0, 0, 1, 1}, right{1, 0, 2, 1};
      ClearMemImgRect(&src, &left, 0xF800);
      ClearMemImgRect(&src, &right, 0x001F);
    }
    Picture dst(Rgb565(), 3, 1, {0x1111, 0x1111, 0x1111});
    CopyScreenMemImgRect(&dst.image, &src, 0, 0, 2, 1, 0, 0, 0xF800, c.keyFlag);
    EXPECT_EQ((Pixels{dst.Get(0, 0), dst.Get(1, 0), dst.Get(2, 0)}), c.expected)
        << "kind " << c.kind << " palette " << c.palette << " alpha " << c.alpha;
    ReleaseMemImg(&src);
  }

  // From 32 bits into a 24-bit picture, clipped to the picture.
  MEMIMG src{};
  ASSERT_EQ(CreateMemImg(&src, 2, 2, -1, 0, 1, 0, 0, 0, nullptr), 0);
  ClearMemImgRect(&src, nullptr, 0x00FF8040);
  Picture dst(Rgb888(), 2, 2, {});
  CopyScreenMemImgRect(&dst.image, &src, 0, 0, 2, 2, 1, 1, 0, 0);
  EXPECT_EQ(dst.Get(1, 1), 0xFF8040u);
  EXPECT_EQ(dst.Get(0, 1), 0u);
  EXPECT_EQ(dst.Get(1, 0), 0u);
  ReleaseMemImg(&src);
}
