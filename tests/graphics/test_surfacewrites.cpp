// Pictures written into 2D surfaces on each road, read back pixel by pixel, with the
// writes clipped to the picture and to the piece.
#include "graphics/surfacefixture.h"

#include "engine/base/memory.h"
#include "engine/graphics/cores.h"

namespace {

class SurfaceWrites : public SurfaceTest {};

enum Source { RGB888, ARGB8888, PALETTE8 };

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
  } else if (kind == RGB888) {
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

}  // namespace

TEST_F(SurfaceWrites, EveryRoadReadsBack) {
  enum Road { SURFACE565, SURFACE32, IMAGE16, IMAGE32 };
  struct Case {
    Road road;
    Source source;
  };
  std::vector<Case> cases;
  for (Road road : {SURFACE565, SURFACE32, IMAGE16, IMAGE32})
    for (Source source : {RGB888, ARGB8888, PALETTE8}) cases.push_back({road, source});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "road " << c.road << " source " << c.source);
    TearDown();
    SetUp();
    Start(1, c.road == SURFACE565 ? 16 : 32);
    const bool image = c.road == IMAGE16 || c.road == IMAGE32;
    SurfaceCreateFlags flags = Flags(c.road == SURFACE565 || c.road == IMAGE16 ? 16 : 32);
    flags.systemMemory = image ? 1 : 0;
    flags.alpha = image && c.source == ARGB8888 ? 1 : 0;
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
    // Asked for more than the picture and more than the piece: both are clipped.
    const Rect rect{1, 1, 10, 10};
    ASSERT_EQ(WriteImageToSurface2D(nullptr, 0, 0, &rect, 11, 2, piece, SURFACE2D_SOURCE_IMAGE, &picture, nullptr), 0);

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
        if (x >= 11 && y >= 2 && y <= 5) {
          const uint32_t want = ColorToPixelValue(format, 40 * sx, 50 * sy, 200, 255 - 40 * sx);
          ASSERT_EQ(got & rgb, want & rgb) << x << ", " << y;
          if (format->alphaMask && c.source == ARGB8888) {
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
