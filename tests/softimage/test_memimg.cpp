#include "engine/base/memory.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/memimg.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(MemImg, CreatePitchRowShiftAndFlags) {
  struct Case {
    int32_t kind, width, pitch, palette, alpha;
    int bytes;
    int32_t expectPitch, rowShift, storedPalette, storedAlpha;
  } cases[] = {
      {1, 100, -1, 0, 0, 4, 400, -1, 0, 0},
      {1, 128, -1, 0, 0, 4, 512, 9, 0, 0},
      {1, 1, -1, 0, 0, 4, 16, -1, 0, 0},  // 16 bytes over a 4-byte row
      {0, 100, -1, 0, 0, 2, 208, -1, 0, 0},
      {0, 8, -1, 0, 0, 2, 16, 4, 0, 0},
      {0, 10, -1, 0, 1, 4, 48, -1, 0, 1},  // 5:6:5 with alpha: 4 bytes a pixel
      {0, 10, -1, 1, 1, 1, 16, 4, 1, 0},   // a palette clears the alpha flag
      {1, 100, 512, 0, 0, 4, 512, 9, 0, 0},
      {1, 100, 448, 0, 0, 4, 448, -1, 0, 0},
      {2, 10, -1, 1, 1, 1, 16, 4, 0, 0},  // one channel: both flags cleared
      {3, 10, -1, 0, 1, 2, 32, 5, 0, 0},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, c.width, 3, c.pitch, 7, c.kind, c.palette, c.alpha, 0, nullptr), 0)
        << "kind " << c.kind << " width " << c.width;
    const MemImgData* d = img.data;
    EXPECT_EQ(img.magic, MEMIMG_MAGIC);
    EXPECT_EQ(img.width, c.width);
    EXPECT_EQ(img.height, 3);
    EXPECT_EQ(img.pixels, d->pixelMemory);
    EXPECT_EQ(img.premultiplied, nullptr);
    EXPECT_EQ(d->refCount, 1);
    EXPECT_EQ(d->pitch, c.expectPitch) << "kind " << c.kind << " width " << c.width;
    EXPECT_EQ(d->rowShift, c.rowShift) << "kind " << c.kind << " width " << c.width;
    EXPECT_EQ(d->format->bytesPerPixel, c.bytes);
    EXPECT_EQ(d->paletteFlag, c.storedPalette);
    EXPECT_EQ(d->alphaFlag, c.storedAlpha);
    EXPECT_EQ(d->format, GetMemImgColorFormat(c.kind, c.storedAlpha, c.storedPalette));
    EXPECT_EQ(d->palette != nullptr, c.storedPalette == 1);
    if (d->palette) {
      EXPECT_EQ(static_cast<uint8_t*>(d->paletteCopy), static_cast<uint8_t*>(d->palette) + 1024);
    }
    EXPECT_EQ(d->transparentColor, 7u);
    EXPECT_EQ(d->runMapValid + d->premultipliedValid + d->paletteColorCount, 0);
    ReleaseMemImg(&img);
    EXPECT_EQ(img.magic, 0u);
    EXPECT_EQ(img.data, nullptr);
  }
}

TEST(MemImg, CreateRefusals) {
  int32_t before = GetTrackedBlockCount();
  MEMIMG live{};
  ASSERT_EQ(CreateMemImg(&live, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), 0);
  MEMIMG copy = live;
  EXPECT_EQ(CreateMemImg(&live, 8, 8, -1, 0, 0, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(std::memcmp(&copy, &live, sizeof live), 0);

  struct Case {
    int32_t width, height, pitch, kind;
  } cases[] = {
      {0, 4, -1, 1},          {4, 0, -1, 1},         {-4, 4, -1, 0},
      {4, 4, 15, 1},          // a pitch smaller than the row
      {4, 4, -2, 1},          {4, 4, 16, 4},         {4, 4, 16, -1},
      {40000, 40000, -1, 1},  // 6.4 GB
      {0x7FFFFFFF, 1, -1, 1},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    EXPECT_EQ(CreateMemImg(&img, c.width, c.height, c.pitch, 0, c.kind, 0, 0, 1, nullptr), -1)
        << c.width << "x" << c.height << " pitch " << c.pitch << " kind " << c.kind;
    EXPECT_EQ(img.magic, 0u);
    EXPECT_EQ(img.data, nullptr);
  }
  ReleaseMemImg(&live);
  EXPECT_EQ(GetTrackedBlockCount(), before);
}

TEST(MemImg, ExtraBuffers) {
  int32_t before = GetTrackedBlockCount();
  struct Case {
    int32_t kind, alpha;
    bool premultiplied, runMap;
  } cases[] = {
      {1, 1, true, true}, {0, 1, true, true}, {1, 0, false, true}, {2, 0, false, false},
      {3, 0, false, true},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 10, 4, -1, 0, c.kind, 0, c.alpha, 1, nullptr), 0);
    EXPECT_EQ(img.data->premultipliedCopy != nullptr, c.premultiplied) << c.kind;
    EXPECT_EQ(img.premultiplied, img.data->premultipliedCopy);
    EXPECT_EQ(img.data->runMap != nullptr, c.runMap) << c.kind;
    if (c.runMap) img.data->runMap[15 * 4 - 1] = 0;  // (width + 5) x height bytes
    if (c.premultiplied) img.premultiplied[img.data->pitch * 4 - 1] = 0;
    EXPECT_EQ(GetTrackedBlockCount(), before + 2 + int(c.premultiplied) + int(c.runMap));
    ReleaseMemImg(&img);
    EXPECT_EQ(GetTrackedBlockCount(), before);
  }
}

namespace {
size_t g_refusedSize = 0;
int RefuseAround(size_t size) {
  return size >= g_refusedSize && size < g_refusedSize + 256 ? 1 : 0;
}
}  // namespace

TEST(MemImg, FailedCreationGivesBackWhatItTook) {
  // A 1000 x 100 alpha image with both extra buffers: 400000 bytes of pixels, as many
  // for the premultiplied copy, 100500 for the run map.
  int32_t before = GetTrackedBlockCount();
  PlatSetAllocFailHook(RefuseAround);
  for (size_t refused : {size_t(100500), size_t(400000), size_t(2048)}) {
    g_refusedSize = refused;
    MEMIMG img{};
    int32_t palette = refused == 2048 ? 1 : 0;
    EXPECT_EQ(CreateMemImg(&img, 1000, 100, -1, 0, 1, palette, 1, 1, nullptr), -1) << refused;
    EXPECT_EQ(img.magic, 0u);
    EXPECT_EQ(img.data, nullptr);
    EXPECT_EQ(GetTrackedBlockCount(), before) << refused;
  }
  PlatSetAllocFailHook(nullptr);
}

TEST(MemImg, ScreenAndDepthImages) {
  MEMIMG img;
  std::memset(&img, 0xFF, sizeof img);  // not cleared: these zero the view first
  img.magic = MEMIMG_MAGIC;
  EXPECT_EQ(QueryScreenDepth(), 16);
  ASSERT_EQ(CreateScreenMemImg(&img, 8, 2, -1), 0);
  EXPECT_EQ(img.data->kind, 0);
  EXPECT_EQ(img.data->alphaFlag + img.data->paletteFlag + img.data->callerOwnedPixels, 0);
  EXPECT_EQ(img.data->runMap, nullptr);
  ReleaseMemImg(&img);

  SetRequestedScreenDepth(32);
  EXPECT_EQ(QueryScreenDepth(), 32);
  ASSERT_EQ(CreateScreenMemImg(&img, 8, 2, -1), 0);
  EXPECT_EQ(img.data->kind, 1);
  ReleaseMemImg(&img);
  ASSERT_EQ(CreateScreenMemImg(&img, 8, 2, 0), 0);
  EXPECT_EQ(img.data->kind, 0);
  ReleaseMemImg(&img);
  SetRequestedScreenDepth(0);
  EXPECT_EQ(QueryScreenDepth(), 16);

  ASSERT_EQ(CreateDepthMemImg(&img, 8, 2), 0);
  EXPECT_EQ(img.data->kind, 3);
  EXPECT_EQ(img.data->format->bytesPerPixel, 2);
  ReleaseMemImg(&img);
}

TEST(MemImg, SubImagesShareAndCountReferences) {
  int32_t before = GetTrackedBlockCount();
  MEMIMG parent{}, child{}, grandchild{};
  ASSERT_EQ(CreateMemImg(&parent, 20, 10, -1, 0, 1, 0, 1, 1, nullptr), 0);
  MemImgData* d = parent.data;
  int32_t withParent = GetTrackedBlockCount();

  DeriveMemImg(&child, &parent, 3, 2, 17, 8);  // reaches the right and bottom edges exactly
  EXPECT_EQ(child.magic, MEMIMG_MAGIC);
  EXPECT_EQ(child.data, d);
  EXPECT_EQ(child.width, 17);
  EXPECT_EQ(child.height, 8);
  EXPECT_EQ(child.pixels, parent.pixels + 2 * d->pitch + 3 * 4);
  EXPECT_EQ(child.premultiplied, parent.premultiplied + 2 * d->pitch + 3 * 4);
  EXPECT_EQ(d->refCount, 2);

  // One pixel past the edge, negative sizes and released sources leave the view alone.
  struct Case {
    int32_t x, y, w, h;
  } outside[] = {{1, 0, 17, 8}, {0, 1, 17, 8}, {-1, 0, 1, 1}, {0, 0, -1, 1},
                 {0x7FFFFFFF, 0, 2, 1}};
  for (const Case& c : outside) {
    DeriveMemImg(&grandchild, &child, c.x, c.y, c.w, c.h);
    EXPECT_EQ(grandchild.magic, 0u) << c.x << "," << c.y << " " << c.w << "x" << c.h;
  }
  EXPECT_EQ(d->refCount, 2);

  DeriveMemImg(&grandchild, &child, 1, 1, 0, 0);  // an empty view is allowed
  EXPECT_EQ(grandchild.magic, MEMIMG_MAGIC);
  EXPECT_EQ(grandchild.pixels, parent.pixels + 3 * d->pitch + 4 * 4);
  EXPECT_EQ(d->refCount, 3);

  // The parent goes first: the pixels stay for the views.
  ReleaseMemImg(&parent);
  EXPECT_EQ(parent.magic, 0u);
  EXPECT_EQ(d->refCount, 2);
  child.pixels[0] = 0xAB;
  ReleaseMemImg(&parent);  // a second release is ignored
  EXPECT_EQ(d->refCount, 2);
  DeriveMemImg(&parent, &parent, 0, 0, 1, 1);  // nor may a released view be a source
  EXPECT_EQ(parent.magic, 0u);

  // Deriving over a live view lets go of what it held.
  MEMIMG other{};
  ASSERT_EQ(CreateMemImg(&other, 4, 4, -1, 0, 0, 0, 0, 0, nullptr), 0);
  DeriveMemImg(&grandchild, &other, 0, 0, 2, 2);
  EXPECT_EQ(d->refCount, 1);
  EXPECT_EQ(other.data->refCount, 2);
  DeriveMemImg(&grandchild, &grandchild, 1, 1, 1, 1);  // a view of itself keeps its data
  EXPECT_EQ(grandchild.data, other.data);
  EXPECT_EQ(other.data->refCount, 2);
  EXPECT_EQ(grandchild.pixels, other.pixels + other.data->pitch + 2);
  ReleaseMemImg(&grandchild);
  ReleaseMemImg(&other);

  EXPECT_EQ(GetTrackedBlockCount(), withParent);
  ReleaseMemImg(&child);
  EXPECT_EQ(GetTrackedBlockCount(), before);
}

TEST(MemImg, CallerMemoryStaysTheCallers) {
  int32_t before = GetTrackedBlockCount();
  std::vector<uint8_t> memory(64 * 4, 0x5A);
  MEMIMG img{}, view{};
  ASSERT_EQ(CreateMemImg(&img, 8, 4, 64, 0, 1, 0, 0, 0, memory.data()), 0);
  EXPECT_EQ(img.pixels, memory.data());
  EXPECT_EQ(img.data->callerOwnedPixels, 1);
  EXPECT_EQ(img.data->rowShift, 6);
  DeriveMemImg(&view, &img, 0, 0, 8, 4);
  ReleaseMemImg(&img);
  ReleaseMemImg(&view);
  EXPECT_EQ(GetTrackedBlockCount(), before);
  EXPECT_EQ(memory[0], 0x5A);
}

TEST(MemImg, FormatCaches) {
  const ColorFormat* f = GetMemImgColorFormat(0, 1, 0);
  EXPECT_EQ(GetMemImgColorFormat(0, 1, 0), f);
  EXPECT_EQ(GetMemImgColorFormat(0, 5, 0), f);  // any non-zero flag
  EXPECT_EQ(GetMemImgColorFormat(4, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorFormat(-1, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorFormat(2, 1, 1), GetMemImgColorFormat(2, 0, 0));

  struct Case {
    int32_t kind, alpha, palette;
    int depth, bytes;
    uint32_t r, g, b, a, noChannel;
    int widthR, shiftR;
  } cases[] = {
      {0, 0, 0, 16, 2, 0xF800, 0x07E0, 0x001F, 0, 0, 5, 11},
      {0, 1, 0, 32, 4, 0xF800, 0x07E0, 0x001F, 0x00FF0000, 0xFF000000, 5, 11},
      {0, 0, 1, 8, 1, 0xF800, 0x07E0, 0x001F, 0, 0, 5, 11},
      {1, 0, 0, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000, 8, 16},
      {1, 1, 0, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 8, 16},
      {1, 0, 1, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0, 8, 16},
      {2, 0, 0, 8, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 8, 0},
      {3, 0, 0, 16, 2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 16, 0},
  };
  for (const Case& c : cases) {
    const ColorFormat* cf = GetMemImgColorFormat(c.kind, c.alpha, c.palette);
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(cf->bitDepth, c.depth) << c.kind << c.alpha << c.palette;
    EXPECT_EQ(cf->bytesPerPixel, c.bytes);
    EXPECT_EQ(cf->redMask, c.r);
    EXPECT_EQ(cf->greenMask, c.g);
    EXPECT_EQ(cf->blueMask, c.b);
    EXPECT_EQ(cf->alphaMask, c.a);
    EXPECT_EQ(cf->noChannelMask, c.noChannel) << c.kind << c.alpha << c.palette;
    EXPECT_EQ(cf->redWidth, c.widthR);
    EXPECT_EQ(cf->redShift, c.shiftR);

    const PixelFormatRecord* pf = GetMemImgPixelFormat(c.kind, c.alpha, c.palette);
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(GetMemImgPixelFormat(c.kind, c.alpha, c.palette), pf);
    EXPECT_EQ(pf->size, c.kind <= 1 ? 32u : 0u);
    EXPECT_EQ(pf->flags, c.kind <= 1 ? 0x40u : 0u);
    EXPECT_EQ(pf->bitCount, uint32_t(c.depth));
    EXPECT_EQ(pf->redMask, c.r);
    EXPECT_EQ(pf->alphaMask, c.a);
  }
  EXPECT_EQ(GetMemImgPixelFormat(4, 0, 0), nullptr);
}

TEST(MemImg, ClearRect) {
  struct Case {
    int32_t kind;
    bool whole;
    Rect rect;
    uint32_t value;
    int written;  // pixels set
  } cases[] = {
      {0, true, {}, 0x12345678, 24},
      {0, false, {2, 1, 4, 3}, 0xABCD, 4},
      {1, false, {-5, -5, 2, 1}, 0xDEADBEEF, 2},  // clipped into the view
      {2, false, {5, 3, 100, 100}, 0x1FF, 1},
      {1, false, {7, 0, 9, 4}, 1, 0},  // wholly outside
      {1, false, {3, 2, 3, 4}, 1, 0},  // no width
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, 6, 4, -1, 0, c.kind, 0, 0, 0, nullptr), 0);
    int bytes = img.data->format->bytesPerPixel;
    std::memset(img.pixels, 0, size_t(img.data->pitch) * 4);
    ClearMemImgRect(&img, c.whole ? nullptr : &c.rect, c.value);
    int written = 0;
    uint32_t expected = c.value & (bytes == 4 ? 0xFFFFFFFF : bytes == 2 ? 0xFFFF : 0xFF);
    for (int y = 0; y < 4; y++) {
      for (int x = 0; x < 6; x++) {
        uint32_t v = ReadPixelValue(img.pixels + y * img.data->pitch + x * bytes, bytes);
        if (v == 0) continue;
        EXPECT_EQ(v, expected);
        written++;
        if (!c.whole) {
          Rect r = c.rect;
          EXPECT_TRUE(x >= r.left && x < r.right && y >= r.top && y < r.bottom) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(written, c.written) << "kind " << c.kind;
    // Nothing past the rows' pixels (the padding up to the pitch) is written.
    for (int y = 0; y < 4; y++) {
      for (int i = 6 * bytes; i < img.data->pitch; i++) {
        EXPECT_EQ(img.pixels[y * img.data->pitch + i], 0);
      }
    }
    ReleaseMemImg(&img);
  }
}
