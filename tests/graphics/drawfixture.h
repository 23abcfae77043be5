// The screen started for draws: graphs of every-pixel-different colours in video memory,
// system memory or as software images, their pixels read back, and the copies, locks and
// unlocks the display layer saw.
#pragma once

#include "engine/graphics/graph.h"
#include "engine/graphics/surface2d.h"
#include "graphics/surfacefixture.h"

#include <string>
#include <vector>

// A whole surface record's pixels as its own format holds them.
struct Pixels {
  const ColorFormat* format = nullptr;
  int32_t width = 0, height = 0, pitch = 0;
  std::vector<uint8_t> bytes;
};

inline PlatDisplayMode Desktop555() {
  PlatDisplayMode m = PlatDisplayModeOf(1024, 768, 16, 60);
  m.redMask = 0x7C00;
  m.greenMask = 0x03E0;
  m.blueMask = 0x001F;
  return m;
}

class DrawFixture : public SurfaceTest {
 protected:
  // Starts the screen on a desktop of that format, copies between surfaces by BltFast.
  void StartOn(const PlatDisplayMode& desktop, int windowed) {
    PlatDisplayHeadlessSetDesktop(desktop, 0);
    g_System.settings.windowed = windowed;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    DeleteAllFonts();
    g_ScreenState.copyMethod = 0;
  }

  // A picture of every-pixel-different colours, with some black (the colour key) in it.
  static GraphImage PatternImage(int32_t width, int32_t height, uint32_t seed) {
    GraphImage image{};
    EXPECT_EQ(CreateGraphImageRGB8(width, height, &image), 0);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        uint8_t* p = static_cast<uint8_t*>(image.pixels) + y * image.pitch + x * 3;
        const uint32_t v = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u ^ seed) * 2246822519u;
        const bool key = (x + y) % 5 == 0;
        for (int c = 0; c < 3; c++) p[c] = key ? 0 : uint8_t(v >> (8 * c + 5));
      }
    return image;
  }

  // A graph of the picture: a DirectDraw surface in video or in system memory, or a
  // software image (any of them a software image on a software-rendered screen).
  enum Memory { VIDEO, SYSTEM, IMAGE };
  static int32_t GraphOf(GraphImage* image, Memory memory) {
    PlatDDrawFakeForceSystemMemory(memory == SYSTEM);
    g_DrawState.graphMemory = memory == IMAGE;
    const int32_t graph = BuildGraphFromGraphImage(image, nullptr, 0, 0, 0);
    PlatDDrawFakeForceSystemMemory(0);
    g_DrawState.graphMemory = 0;
    return graph;
  }
  static int32_t PatternGraph(int32_t width, int32_t height, uint32_t seed, Memory memory) {
    GraphImage image = PatternImage(width, height, seed);
    const int32_t graph = GraphOf(&image, memory);
    FreeGraphImageCore(&image);
    return graph;
  }

  static const Surface2DRecord* PieceOf(int32_t graph) {
    const GraphRecord* g = LookupGraph(graph);
    return g ? GetSurface2D(g->surfaces[0]) : nullptr;
  }
  static SurfaceData* RecordOf(int32_t graph) { return LookupSurfaceData(PieceOf(graph)->surfaceData); }
  static Rect PieceRect(int32_t graph) {
    const Surface2DRecord* p = PieceOf(graph);
    return {p->sourceX, p->sourceY, p->sourceX + p->width, p->sourceY + p->height};
  }

  static Pixels Read(int32_t graph) {
    const int32_t record = PieceOf(graph)->surfaceData;
    const SurfaceData* r = LookupSurfaceData(record);
    Pixels out;
    uint8_t* at = nullptr;
    int32_t pitch = 0;
    EXPECT_EQ(LockSurfaceData(record, &pitch, &at, 0, nullptr, &out.format), 0);
    out.width = r->width;
    out.height = r->height;
    out.pitch = r->width * out.format->bytesPerPixel;
    for (int32_t y = 0; y < out.height; y++)
      out.bytes.insert(out.bytes.end(), at + y * pitch, at + y * pitch + out.pitch);
    UnlockSurfaceData(record, nullptr);
    return out;
  }

  // The copies, locks and unlocks of the layer since the log was cleared, in order.
  static std::string Road() {
    std::string out;
    for (const std::string& c : PlatDDrawFakeCalls())
      if (c == "BltFast" || c == "Blt" || c == "Lock" || c == "Unlock") out += (out.empty() ? "" : " ") + c;
    return out;
  }
};
