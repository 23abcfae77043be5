// Surface records over the headless display: creation in each rendering mode, memory
// placement, locks, depth buffers, fills, colour keys and loss.
#include "graphics/surfacefixture.h"

#include "engine/graphics/cores.h"

namespace {

class SurfaceData_ : public SurfaceTest {
 protected:
  // A 32 x 32 16-bit record on a fresh screen of the mode.
  int32_t FreshRecord(int mode) {
    TearDown();
    SetUp();
    Start(0, 32, mode);
    const SurfaceCreateFlags f = Flags(16);
    return AddSurfaceData(1, 32, 32, 0, &f);
  }
};

uint32_t Caps(PlatDDSurface surface) {
  uint32_t caps = 0;
  PlatDDSurfaceGetCaps(surface, &caps);
  return caps;
}

}  // namespace

TEST_F(SurfaceData_, RecordsByModeAndFlags) {
  enum Where { IMAGE, VIDEO, SYSTEM };
  struct Case {
    const char* what;
    int mode;  // 0 DirectDraw, 1 software with DirectDraw, 2 no DirectDraw
    int32_t width;
    SurfaceCreateFlags flags;
    // Expected.
    Where where;
    int32_t formatIndex;
  };
  SurfaceCreateFlags alpha16 = Flags(16, 1), plain16 = Flags(16), plain32 = Flags(32), alpha32 = Flags(32, 1);
  SurfaceCreateFlags system16 = Flags(16);
  system16.systemMemory = 1;
  SurfaceCreateFlags gray = Flags(16);
  gray.oneChannel = 1;
  const Case cases[] = {
      {"plain in video memory", 0, 64, plain16, VIDEO, SURFACE_FORMAT_PLAIN},
      {"wider than the screen", 0, 641, plain16, SYSTEM, SURFACE_FORMAT_PLAIN},
      {"plain with alpha, DirectDraw", 0, 64, alpha16, IMAGE, SURFACE_FORMAT_IMAGE16_ALPHA},
      {"plain with alpha, software", 1, 64, alpha16, IMAGE, SURFACE_FORMAT_IMAGE16_ALPHA},
      {"plain with alpha, no DirectDraw", 2, 64, alpha32, IMAGE, SURFACE_FORMAT_IMAGE32_ALPHA},
      {"system memory asked", 0, 64, system16, IMAGE, SURFACE_FORMAT_IMAGE16},
      {"software screen, 16", 1, 64, plain16, IMAGE, SURFACE_FORMAT_IMAGE16},
      {"no DirectDraw, 32", 2, 64, plain32, IMAGE, SURFACE_FORMAT_IMAGE32},
      {"one channel", 0, 64, gray, IMAGE, SURFACE_FORMAT_IMAGE16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(0, 32, c.mode);
    const int32_t h = AddSurfaceData(1, c.width, 16, 0, &c.flags);
    ASSERT_GE(h, 0);
    EXPECT_EQ(uint32_t(h) & HANDLE_TYPE_MASK, uint32_t(HANDLE_TYPE_SURFACE_DATA));
    const SurfaceData* r = LookupSurfaceData(h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->formatIndex, c.formatIndex);
    EXPECT_EQ(r->flags.drawValid, 1);
    if (c.where == IMAGE) {
      EXPECT_EQ(r->surface, 0u);
      EXPECT_TRUE(IsMemImgValid(&r->image));
      EXPECT_EQ(r->image.data->kind, c.flags.oneChannel ? MEMIMG_KIND_GRAY8
                                     : c.flags.bitDepth == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888);
      EXPECT_EQ(r->image.data->alphaFlag, c.flags.alpha);
    } else {
      ASSERT_NE(r->surface, 0u);
      EXPECT_EQ((Caps(r->surface) & PLAT_DDSCAPS_VIDEOMEMORY) != 0, c.where == VIDEO);
      EXPECT_EQ(r->flags.systemMemory, c.where == SYSTEM ? 1 : 0);
    }
    EXPECT_EQ(RemoveSurfaceData(h), 0);
    EXPECT_EQ(LookupSurfaceData(h), nullptr);
    EXPECT_EQ(g_SurfaceDataTable.table.count, 0);
    EXPECT_EQ(g_SurfaceDataTable.table.highWater, 0);
  }
}

TEST_F(SurfaceData_, SizesThatDoNotFitAreRefused) {
  Start(0, 32);
  const SurfaceCreateFlags f = Flags(16);
  for (auto [w, h] : {std::pair{0, 8}, {8, 0}, {-1, 8}, {65536, 1}, {1, 65536}}) {
    EXPECT_EQ(AddSurfaceData(1, w, h, 0, &f), -1) << w << " x " << h;
  }
  EXPECT_TRUE(Logged("サーフェスのサイズが不正です"));
  EXPECT_EQ(g_SurfaceDataTable.table.count, 0);
}

TEST_F(SurfaceData_, TheVideoBudgetSpentRetriesInSystemMemory) {
  Start(0, 32);
  const SurfaceCreateFlags f = Flags(16);
  PlatDDrawFakeSetVideoMemory(0);
  const int32_t h = AddSurfaceData(1, 32, 32, 0, &f);
  ASSERT_GE(h, 0);
  EXPECT_EQ(Caps(LookupSurfaceData(h)->surface) & PLAT_DDSCAPS_VIDEOMEMORY, 0u);
  EXPECT_EQ(LookupSurfaceData(h)->flags.systemMemory, 1);
  EXPECT_FALSE(Logged("標準サーフェスの作成に失敗しました"));

  // Both tries refused: the line, and no record left behind.
  PlatDDrawFakeFailNext("CreateSurface", 2, PLAT_DDERR_OUTOFMEMORY);
  EXPECT_EQ(AddSurfaceData(1, 32, 32, 0, &f), -1);
  EXPECT_TRUE(Logged("標準サーフェスの作成に失敗しました"));
  EXPECT_EQ(g_SurfaceDataTable.table.count, 1);
}

TEST_F(SurfaceData_, NestedLocks) {
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    const int32_t h = FreshRecord(mode);
    ASSERT_GE(h, 0);
    const Rect rect{4, 2, 20, 10};
    const Rect other{0, 0, 8, 8};
    int32_t pitch = 0, pitch2 = 0;
    uint8_t *pixels = nullptr, *pixels2 = nullptr;
    const ColorFormat* format = nullptr;
    EXPECT_EQ(UnlockSurfaceData(h, &rect), -1);
    ASSERT_EQ(LockSurfaceData(h, &pitch, &pixels, 1, &rect, &format), 0);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->bitDepth, 16);
    EXPECT_EQ(LockSurfaceData(h, &pitch2, &pixels2, 1, &rect, nullptr), -2);
    EXPECT_EQ(pixels2, pixels);
    EXPECT_EQ(pitch2, pitch);
    // Another rectangle would be written through the first one's corner.
    EXPECT_EQ(LockSurfaceData(h, &pitch2, &pixels2, 1, &other, nullptr), -1);
    const SurfaceData* r = LookupSurfaceData(h);
    EXPECT_EQ(UnlockSurfaceData(h, &rect), 0);
    if (r->surface) {
      // Still locked: the layer refuses a lock of its own.
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      EXPECT_EQ(PlatDDSurfaceLock(r->surface, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
    }
    EXPECT_EQ(UnlockSurfaceData(h, &rect), 0);
    EXPECT_EQ(UnlockSurfaceData(h, &rect), -1);
    if (r->surface) {
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      EXPECT_EQ(PlatDDSurfaceLock(r->surface, nullptr, &d, 0), PLAT_DD_OK);
      PlatDDSurfaceUnlock(r->surface, nullptr);
    } else {
      EXPECT_EQ(pixels, r->image.pixels + 2 * r->image.data->pitch + 4 * 2);
    }
    // A rectangle outside the record is refused.
    const Rect outside{20, 20, 40, 40};
    EXPECT_EQ(LockSurfaceData(h, &pitch, &pixels, 0, &outside, nullptr), -1);
  }
}

TEST_F(SurfaceData_, TheSameDepthStateTwiceDoesNothing) {
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    const int32_t h = FreshRecord(mode);
    ASSERT_GE(h, 0);
    const SurfaceData* r = LookupSurfaceData(h);
    PlatDDrawFakeLogCalls(1);
    EXPECT_EQ(SetSurfaceDepthBuffer(h, 1), 0);
    EXPECT_EQ(r->depthFlag, 1);
    EXPECT_TRUE(r->surface ? r->depthSurface != 0 : IsMemImgValid(&r->depthImage) != 0);
    PlatDDrawFakeClearCalls();
    EXPECT_EQ(SetSurfaceDepthBuffer(h, 1), 0);
    EXPECT_TRUE(PlatDDrawFakeCalls().empty());
    EXPECT_EQ(SetSurfaceDepthBuffer(h, 0), 0);
    EXPECT_EQ(r->depthSurface, 0u);
    EXPECT_FALSE(IsMemImgValid(&r->depthImage));
    PlatDDrawFakeClearCalls();
    EXPECT_EQ(SetSurfaceDepthBuffer(h, 0), 0);
    EXPECT_TRUE(PlatDDrawFakeCalls().empty());
  }
}

TEST_F(SurfaceData_, FillsInTheRecordsFormat) {
  struct Case {
    const char* what;
    int mode;
    int32_t desktop;
    SurfaceCreateFlags flags;
    uint32_t expected;  // the raw pixel of red 255, green 0, blue 255
  };
  const Case cases[] = {
      {"plain surface, 5:6:5 display", 0, 16, Flags(16), 0xF81F},
      // The packed screen colour sets the bits of no channel.
      {"plain surface, 32-bit display", 0, 32, Flags(32), 0xFFFF00FF},
      {"16-bit image", 1, 32, Flags(16), 0xF81F},
      {"32-bit image", 1, 32, Flags(32), 0xFFFF00FF},
      {"32-bit image with alpha", 2, 32, Flags(32, 1), 0x80FF00FF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(1, c.desktop, c.mode);
    const int32_t h = AddSurfaceData(1, 8, 4, 0, &c.flags);
    ASSERT_GE(h, 0);
    ASSERT_EQ(FillSurfaceData(h, 255, 0, 255, 128), 0);
    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    const ColorFormat* format = nullptr;
    ASSERT_EQ(LockSurfaceData(h, &pitch, &pixels, 0, nullptr, &format), 0);
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 8; x++)
        ASSERT_EQ(ReadPixelValue(pixels + y * pitch + x * format->bytesPerPixel, format->bytesPerPixel),
                  c.expected)
            << x << ", " << y;
    UnlockSurfaceData(h, nullptr);
  }
}

TEST_F(SurfaceData_, TheColourKeyIsTheScreensPackedKey) {
  for (int32_t desktop : {16, 32}) {
    SCOPED_TRACE(desktop);
    TearDown();
    SetUp();
    Start(1, desktop);
    const SurfaceCreateFlags f = Flags(uint8_t(desktop));
    const int32_t h = AddSurfaceData(1, 8, 8, 0x00FF00FF, &f);
    ASSERT_GE(h, 0);
    PlatDDColorKey key{};
    ASSERT_EQ(PlatDDSurfaceGetColorKey(LookupSurfaceData(h)->surface, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    EXPECT_EQ(key.low, PackScreenColorCore(255, 0, 255));
    EXPECT_EQ(key.high, key.low);
  }
}

TEST_F(SurfaceData_, TexturesWaitForTheRenderer) {
  // No renderer has enumerated texture formats: a texture record is refused with both
  // lines.
  Start(0, 32);
  SurfaceCreateFlags f = Flags(16, 1);
  f.texture = 1;
  EXPECT_EQ(AddSurfaceData(1, 32, 32, 0, &f), -1);
  EXPECT_TRUE(Logged("テクスチャサーフェスの作成に失敗しました"));
  EXPECT_TRUE(Logged("DrawValid:0  AlphaChFlag1  AlphaTestFlag:0  ColorBitDepth:16"));
  EXPECT_EQ(g_SurfaceDataTable.table.count, 0);
}

TEST_F(SurfaceData_, TextureFormatIndexes) {
  struct Case {
    uint8_t drawValid, alpha, alphaTest, depth;
    int32_t index;
  };
  const Case cases[] = {
      {0, 0, 0, 16, 0}, {0, 0, 0, 32, 1}, {0, 1, 0, 16, 2}, {0, 1, 1, 32, 3}, {0, 0, 1, 16, 4},
      {0, 0, 1, 24, 5}, {1, 0, 0, 16, 6}, {1, 0, 0, 32, 7}, {1, 1, 0, 16, 8}, {1, 0, 1, 32, 8},
  };
  for (const Case& c : cases) {
    SurfaceCreateFlags f{};
    f.texture = 1;
    f.drawValid = c.drawValid;
    f.alpha = c.alpha;
    f.alphaTest = c.alphaTest;
    f.bitDepth = c.depth;
    EXPECT_EQ(ChooseTextureFormatIndex(&f), c.index) << int(c.drawValid) << int(c.alpha) << int(c.alphaTest);
  }
}

TEST_F(SurfaceData_, ReferencesAndTheDeletedFlag) {
  Start(0, 32);
  const SurfaceCreateFlags f = Flags(16);
  const int32_t h = AddSurfaceData(1, 8, 8, 0, &f);
  ASSERT_GE(h, 0);
  EXPECT_EQ(AddSurfaceReference(h), 2);
  EXPECT_EQ(ReleaseSurfaceReference(h), 1);
  int32_t deleted = 0;
  LookupSurfaceData(h)->deletedFlag = &deleted;
  EXPECT_EQ(RemoveSurfaceData(h), 0);
  EXPECT_EQ(deleted, 1);
  for (int (*op)(int32_t) : {AddSurfaceReference, ReleaseSurfaceReference, RemoveSurfaceData,
                             CreateSurfaceObjects, ReleaseSurfaceObjects, ApplySurfaceColorKey,
                             RestoreSurfaceIfLost})
    EXPECT_EQ(op(h), -1);
}
