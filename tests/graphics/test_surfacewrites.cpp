// Pictures written into 2D surfaces on each road, read back pixel by pixel, with the
// writes clipped to the picture and to the piece.
#include "graphics/surfacefixture.h"

#include "engine/base/memory.h"
#include "engine/graphics/cores.h"

namespace {

class SurfaceWrites : public SurfaceTest {};

// RGB888_ALPHA is the RGB888 picture with an alpha picture one column narrower, whose red
// is the alpha.
enum Source { RGB888, ARGB8888, PALETTE8, RGB888_ALPHA };

// A 6 x 5 picture whose pixel (x, y) has red 40x, green 50y, blue 200 (alpha 255 - 40x);
// the palette picture's indexes are x + 6y with those colours.
GraphImage MakePicture(Source kind) {
  GraphImage image{};
  if (kind == PALETTE8) {
    SetupPalette8Format(&image.format);
    image.width = 6;
    image.height = 5;
    image.pitch = 8;
    image.pixels = TrackedCalloc(8 * 5, __FILE__, __LINE__);
  } else if (kind == RGB888 || kind == RGB888_ALPHA) {
    CreateGraphImageRGB8(6, 5, &image);
  } else {
    CreateGraphImageARGB8(6, 5, &image);
  }
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 6; x++) {
      if (kind == PALETTE8) {
        PaletteEntry& e = image.format.palette[x + 6 * y];
        e = PaletteEntry{200, uint8_t(50 * y), uint8_t(40 * x), 255};
        static_cast<uint8_t*>(image.pixels)[y * 8 + x] = uint8_t(x + 6 * y);
      } else {
        SetGraphImagePixel(&image, x, y, 40 * x, 50 * y, 200, 255 - 40 * x);
      }
    }
  return image;
}

GraphImage MakeAlphaPicture() {
  GraphImage alpha{};
  CreateGraphImageRGB8(5, 5, &alpha);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) SetGraphImagePixel(&alpha, x, y, 255 - 40 * x, 0, 0, 255);
  return alpha;
}

}  // namespace

TEST_F(SurfaceWrites, EveryRoadReadsBack) {
  enum Road { SURFACE565, SURFACE32, IMAGE16, IMAGE32 };
  struct Case {
    Road road;
    Source source;
  };
  std::vector<Case> cases;
  for (Road road : {SURFACE565, SURFACE32, IMAGE16, IMAGE32})
    for (Source source : {RGB888, ARGB8888, PALETTE8, RGB888_ALPHA}) cases.push_back({road, source});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "road " << c.road << " source " << c.source);
    TearDown();
    SetUp();
    Start(1, c.road == SURFACE565 ? 16 : 32);
    const bool image = c.road == IMAGE16 || c.road == IMAGE32;
    SurfaceCreateFlags flags = Flags(c.road == SURFACE565 || c.road == IMAGE16 ? 16 : 32);
    flags.systemMemory = image ? 1 : 0;
    const bool withAlpha = c.source == ARGB8888 || c.source == RGB888_ALPHA;
    flags.alpha = image && withAlpha ? 1 : 0;
    g_DrawState.transparentColor = 0x00FF00FF;
    // The piece is the right half of a 16 x 8 surface.
    const int32_t base = AddSurface2D(16, 8, 0, 0, 0, nullptr, 0, 0, &flags);
    ASSERT_GE(base, 0);
    const int32_t piece = AddSurface2D(8, 8, 0, 0, 0, GetSurface2D(base), 8, 0, &flags);
    ASSERT_GE(piece, 0);
    const int32_t record = GetSurface2D(piece)->surfaceData;
    EXPECT_EQ(LookupSurfaceData(record)->surface == 0, image);
    ASSERT_EQ(FillSurfaceData(record, 0, 0, 0, 0), 0);

    GraphImage picture = MakePicture(c.source);
    GraphImage alpha{};
    if (c.source == RGB888_ALPHA) alpha = MakeAlphaPicture();
    // Asked for more than the picture and more than the piece: both are clipped, and to
    // the narrower alpha picture too.
    const Rect rect{1, 1, 10, 10};
    ASSERT_EQ(WriteImageToSurface2D(nullptr, 0, 0, &rect, 11, 2, piece, SURFACE2D_SOURCE_IMAGE, &picture,
                                    alpha.pixels ? &alpha : nullptr),
              0);
    const int lastX = c.source == RGB888_ALPHA ? 14 : 15;

    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    const ColorFormat* format = nullptr;
    ASSERT_EQ(LockSurfaceData(record, &pitch, &pixels, 0, nullptr, &format), 0);
    const uint32_t rgb = format->redMask | format->greenMask | format->blueMask;
    const ColorFormat black = *format;
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 16; x++) {
        const uint32_t got = ReadPixelValue(pixels + y * pitch + x * format->bytesPerPixel, format->bytesPerPixel);
        // Picture pixels 1..5 x 1..4 land at 11..15 x 2..5.
        const int sx = x - 10, sy = y - 1;
        if (x >= 11 && x <= lastX && y >= 2 && y <= 5) {
          const uint32_t want = ColorToPixelValue(format, 40 * sx, 50 * sy, 200, 255 - 40 * sx);
          ASSERT_EQ(got & rgb, want & rgb) << x << ", " << y;
          if (format->alphaMask && withAlpha) {
            ASSERT_EQ(got & format->alphaMask, want & format->alphaMask) << x << ", " << y;
          }
        } else {
          ASSERT_EQ(got & rgb, ColorToPixelValue(&black, 0, 0, 0, 0) & rgb) << "written outside at " << x << ", " << y;
        }
      }
    UnlockSurfaceData(record, nullptr);
    const SurfaceData* r = LookupSurfaceData(record);
    if (r->surface) {
      PlatDDColorKey key{};
      ASSERT_EQ(PlatDDSurfaceGetColorKey(r->surface, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
      EXPECT_EQ(key.low, PackScreenColorCore(255, 0, 255));
    }
    FreeGraphImageCore(&picture);
    FreeGraphImageCore(&alpha);
  }
}

TEST_F(SurfaceWrites, APaletteImageFindsItsTransparentIndex) {
  Start(1, 32);
  for (int32_t depth : {16, 32}) {
    SCOPED_TRACE(depth);
    SurfaceCreateFlags flags = Flags(depth);
    flags.systemMemory = 1;
    flags.palette = 1;
    GraphImage picture = MakePicture(PALETTE8);
    // Entry 9 is (120, 50, 200); entry 0 (0, 0, 200) is the first for a key found nowhere.
    for (auto [key, index] : {std::pair{0x007832C8u, 9u}, {0x00123456u, 0u}}) {
      g_DrawState.transparentColor = key;
      const int32_t h = AddSurface2D(6, 5, 0, 0, 0, nullptr, 0, 0, &flags);
      ASSERT_GE(h, 0);
      ASSERT_EQ(WriteImageToSurface2DAt(nullptr, 0, 0, 0, 0, h, SURFACE2D_SOURCE_IMAGE, &picture, nullptr), 0);
      const SurfaceData* r = LookupSurfaceData(GetSurface2D(h)->surfaceData);
      EXPECT_EQ(r->image.data->transparentColor, index);
      EXPECT_EQ(r->image.pixels[r->image.data->pitch * 2 + 3], 3 + 12);
      DeleteSurface2D(h);
    }
    FreeGraphImageCore(&picture);
  }
}

TEST_F(SurfaceWrites, AGraphsPiecesTakeTheirPartsOfThePicture) {
  Start(1, 32);
  const SurfaceCreateFlags flags = Flags(32);
  // Two pieces side by side, 3 pixels wide each, over surfaces of their own.
  GraphRecord graph{};
  graph.surfaceCount = 2;
  graph.surfaces[0] = AddSurface2D(3, 5, 0, 0, 0, nullptr, 0, 0, &flags);
  graph.surfaces[1] = AddSurface2D(3, 5, 3, 0, 0, nullptr, 0, 0, &flags);
  GraphImage picture = MakePicture(RGB888);
  const Rect rect{0, 0, 6, 5};
  ASSERT_EQ(FillGraphSurfacesFromImage(nullptr, 0, 0, &rect, 0, 0, &graph, SURFACE2D_SOURCE_IMAGE, &picture, nullptr), 0);
  for (int i = 0; i < 2; i++) {
    const int32_t record = GetSurface2D(graph.surfaces[i])->surfaceData;
    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    const ColorFormat* format = nullptr;
    ASSERT_EQ(LockSurfaceData(record, &pitch, &pixels, 0, nullptr, &format), 0);
    const uint32_t got = ReadPixelValue(pixels + 4 * pitch + 2 * 4, 4) & 0xFFFFFF;
    EXPECT_EQ(got, ColorToPixelValue(format, 40 * (3 * i + 2), 200, 200, 255) & 0xFFFFFF) << i;
    UnlockSurfaceData(record, nullptr);
  }
  FreeGraphImageCore(&picture);
}

TEST_F(SurfaceWrites, AnEightBitScreenWritesThroughTheDeviceContexts) {
  Start(0, 32);
  ASSERT_EQ(SetScreenModeCore(640, 480, 8, 0), 0);
  ASSERT_EQ(g_ScreenState.depth, 8u);
  uint32_t palette[256];
  ASSERT_EQ(PlatDisplayGetPalette(0, 256, palette), 0);
  SurfaceCreateFlags flags = Flags(8);
  for (Source kind : {RGB888, PALETTE8}) {
    SCOPED_TRACE(kind);
    // The picture's colours are entries of the screen's palette, so each lands exactly.
    GraphImage picture = MakePicture(kind);
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 6; x++) {
        const uint32_t c = palette[(x * 37 + y * 11) & 0xFF];
        if (kind == PALETTE8)
          picture.format.palette[x + 6 * y] = PaletteEntry{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 255};
        else
          SetGraphImagePixel(&picture, x, y, int32_t(c >> 16 & 0xFF), int32_t(c >> 8 & 0xFF), int32_t(c & 0xFF), 255);
      }
    const int32_t base = AddSurface2D(16, 8, 0, 0, 0, nullptr, 0, 0, &flags);
    const int32_t piece = AddSurface2D(8, 8, 0, 0, 0, GetSurface2D(base), 8, 0, &flags);
    ASSERT_GE(piece, 0);
    const int32_t record = GetSurface2D(piece)->surfaceData;
    ASSERT_NE(LookupSurfaceData(record)->surface, 0u);
    ASSERT_EQ(FillSurfaceData(record, 0, 0, 0, 0), 0);
    const Rect rect{1, 1, 10, 10};
    ASSERT_EQ(WriteImageToSurface2D(nullptr, 0, 0, &rect, 11, 2, piece, SURFACE2D_SOURCE_IMAGE, &picture, nullptr), 0);

    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    ASSERT_EQ(LockSurfaceData(record, &pitch, &pixels, 0, nullptr, nullptr), 0);
    const uint8_t black = pixels[0];
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 16; x++) {
        const uint8_t got = pixels[y * pitch + x];
        if (x >= 11 && y >= 2 && y <= 5) {
          const int sx = x - 10, sy = y - 1;
          ASSERT_EQ(palette[got], palette[(sx * 37 + sy * 11) & 0xFF]) << x << ", " << y;
        } else {
          ASSERT_EQ(got, black) << "written outside at " << x << ", " << y;
        }
      }
    UnlockSurfaceData(record, nullptr);
    // The write went through the device contexts: without their copy it fails.
    PlatGdiFakeFailNext("BitBlt", 1);
    EXPECT_EQ(WriteImageToSurface2D(nullptr, 0, 0, &rect, 11, 2, piece, SURFACE2D_SOURCE_IMAGE, &picture, nullptr), -1);
    // An 8-bit record's key is index 0.
    PlatDDColorKey key{1, 1};
    ASSERT_EQ(PlatDDSurfaceGetColorKey(LookupSurfaceData(record)->surface, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    EXPECT_EQ(key.low, 0u);
    DeleteSurface2D(piece);
    DeleteSurface2D(base);
    FreeGraphImageCore(&picture);
  }
}

TEST_F(SurfaceWrites, BitmapsOfTheirOwnFormatOnly) {
  Start(1, 32);
  // A 32-bit and a 24-bit DIB section of 5 x 3, each pixel (x, y) red 40x, green 50y.
  auto section = [](uint16_t bits, void** pixels) {
    PlatBitmapInfo info{};
    info.header = {40, 5, -3, 1, bits, PLAT_BI_RGB, 0, 0, 0, 0, 0};
    const PlatGdiObj bitmap = PlatGdiCreateDIBSection(0, &info, PLAT_DIB_RGB_COLORS, pixels);
    const int bytes = bits / 8, pitch = (5 * bytes + 3) / 4 * 4;
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++) {
        uint8_t* p = static_cast<uint8_t*>(*pixels) + y * pitch + x * bytes;
        p[0] = 200;
        p[1] = uint8_t(50 * y);
        p[2] = uint8_t(40 * x);
      }
    return bitmap;
  };
  void* bits32 = nullptr;
  void* bits24 = nullptr;
  const PlatGdiObj wide = section(32, &bits32), narrow = section(24, &bits24);
  ASSERT_NE(wide, 0u);
  ASSERT_NE(narrow, 0u);
  ColorFormat xrgb{};
  SetupFormatFromMasksCore(&xrgb, 32, 0xFF0000, 0xFF00, 0xFF, 0);

  for (int systemMemory : {0, 1}) {
    SCOPED_TRACE(systemMemory);
    SurfaceCreateFlags flags = Flags(32);
    flags.systemMemory = uint8_t(systemMemory);
    const int32_t piece = AddSurface2D(8, 8, 0, 0, 0, nullptr, 0, 0, &flags);
    const int32_t record = GetSurface2D(piece)->surfaceData;
    ASSERT_EQ(FillSurfaceData(record, 0, 0, 0, 0), 0);
    const Rect rect{0, 0, 8, 8};
    ASSERT_EQ(WriteImageToSurface2D(&xrgb, wide, 0, &rect, 1, 1, piece, SURFACE2D_SOURCE_BITMAP, nullptr, nullptr), 0);
    // A 24-bit bitmap taken for a 32-bit one would be read past its end; an alpha bitmap
    // that cannot be read is refused, not left out.
    EXPECT_EQ(WriteImageToSurface2D(&xrgb, narrow, 0, &rect, 0, 0, piece, SURFACE2D_SOURCE_BITMAP, nullptr, nullptr), -1);
    EXPECT_EQ(WriteImageToSurface2D(&xrgb, wide, narrow, &rect, 0, 0, piece, SURFACE2D_SOURCE_BITMAP, nullptr, nullptr), -1);

    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    const ColorFormat* format = nullptr;
    ASSERT_EQ(LockSurfaceData(record, &pitch, &pixels, 0, nullptr, &format), 0);
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++) {
        const uint32_t got = ReadPixelValue(pixels + y * pitch + x * 4, 4) & 0xFFFFFF;
        const bool inside = x >= 1 && x <= 5 && y >= 1 && y <= 3;
        const uint32_t want = inside ? uint32_t(40 * (x - 1)) << 16 | uint32_t(50 * (y - 1)) << 8 | 200u : 0u;
        ASSERT_EQ(got, want) << x << ", " << y;
      }
    UnlockSurfaceData(record, nullptr);
    DeleteSurface2D(piece);
  }
  PlatGdiDeleteObject(wide);
  PlatGdiDeleteObject(narrow);
}
