// The draw cores on the headless display: every core draws the same pixels on a
// software-rendered screen and through DirectDraw (5:6:5 and 32-bit displays, targets in
// video and in system memory) for every blend mode the renderer draws, with and without a
// blend graph; the rectangles the DirectDraw path opens its work draws with; the clear; the
// copy of the target into a graph; the no-channel bits.
#include "engine/graphics/cores.h"
#include "engine/graphics/corestest.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/drawtarget.h"
#include "engine/softimage/boxline.h"
#include "engine/softimage/triangle.h"
#include "graphics/drawfixture.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<WorkDrawOpening> g_openings;
void Watch(const WorkDrawOpening* o) { g_openings.push_back(*o); }

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string Show(const Rect& r) {
  char text[64];
  std::snprintf(text, sizeof text, "(%d, %d, %d, %d)", int(r.left), int(r.top), int(r.right), int(r.bottom));
  return text;
}

// The graphs a parity draw uses: the target, a 16 x 16 source with colour-key pixels, and
// a blend graph of the source's size.
struct Scene {
  int32_t target, source, blend;
};
using DrawFn = void (*)(const Scene&);

class DrawCores : public DrawFixture {
 protected:
  void SetUp() override {
    DrawFixture::SetUp();
    g_openings.clear();
    SetWorkDrawWatchForTest(Watch);
  }
  void TearDown() override {
    SetWorkDrawWatchForTest(nullptr);
    EndWorkDraw();
    DrawFixture::TearDown();
  }

  void StartPath(int32_t depth, bool software) {
    g_ScreenState.softwareRender = software ? 1 : 0;
    g_ScreenState.depth = uint32_t(depth);  // a software-rendered screen takes the depth asked for
    StartOn(HeadlessDesktop(depth), 1);
    ASSERT_EQ(QueryScreenDepth(), depth);
  }

  // The RGB bits of every pixel (the bits of no channel differ between the paths' formats).
  static std::vector<uint32_t> Colours(int32_t graph) {
    const Pixels p = Read(graph);
    const ColorFormat& f = *p.format;
    const uint32_t rgb = f.redMask | f.greenMask | f.blueMask;
    std::vector<uint32_t> out;
    for (size_t at = 0; at < p.bytes.size(); at += f.bytesPerPixel)
      out.push_back(ReadPixelValue(&p.bytes[at], f.bytesPerPixel) & rgb);
    return out;
  }

  // A graph of one 8-bit channel, as the renderer takes a blend image: a ramp.
  static int32_t BlendGraph(int32_t width, int32_t height) {
    const int32_t graph = PatternGraph(width, height, 9, IMAGE);
    SurfaceData* r = RecordOf(graph);
    ReleaseMemImg(&r->image);
    r->image = MEMIMG{};
    EXPECT_EQ(CreateMemImg(&r->image, width, height, -1, 0, MEMIMG_KIND_GRAY8, 0, 0, 0, nullptr), 0);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) r->image.pixels[y * r->image.data->pitch + x] = uint8_t(x * 16 + y * 5);
    return graph;
  }

  struct Blend {
    int32_t mode, param, withGraph;
  };
  static std::vector<Blend> EveryBlend() {
    std::vector<Blend> out;
    for (int32_t mode : {0, 1, 2, 3, 4, 10, 11})
      for (int32_t param : {0, 128, 255})
        for (int32_t withGraph : {0, 1}) out.push_back({mode, param, withGraph});
    return out;
  }

  // The target's colours after the draw, for every blend, on one path.
  std::vector<std::vector<uint32_t>> DrawEveryBlend(int32_t depth, bool software, Memory memory, DrawFn draw) {
    std::vector<std::vector<uint32_t>> out;
    StartPath(depth, software);
    GraphImage picture = PatternImage(48, 40, 1);
    Scene scene{GraphOf(&picture, memory), PatternGraph(16, 16, 2, memory), BlendGraph(16, 16)};
    EXPECT_EQ(SetDrawTargetCore(scene.target), 0);
    SetClipArea(2, 1, 45, 38);
    const Rect whole{0, 0, 48, 40};
    for (const Blend& b : EveryBlend()) {
      FillGraphFromImage(nullptr, &picture, nullptr, &whole, 0, 0, scene.target, 0);
      SetBlendState(b.mode, b.param);
      SetBlendGraphState(b.withGraph ? scene.blend : -1, 128, 64);
      draw(scene);
      out.push_back(Colours(scene.target));
    }
    SetBlendGraphState(-1, 0, 0);
    SetBlendState(BLEND_COPY, 0);
    FreeGraphImageCore(&picture);
    EndGraphics();
    RemoveAllSurfaceData();
    return out;
  }

  // The draw on the software path against the DirectDraw path, target in video and in
  // system memory, on 5:6:5 and 32-bit screens.
  void ExpectTheSamePixelsOnBothPaths(DrawFn draw, bool readsBlendGraph = true) {
    const std::vector<Blend> blends = EveryBlend();
    for (int32_t depth : {16, 32}) {
      const auto software = DrawEveryBlend(depth, true, VIDEO, draw);
      // Not a draw of nothing: the modes differ, and the blend graph changes the mix.
      EXPECT_NE(software[0], software[blends.size() - 1]) << depth;
      if (readsBlendGraph) {
        EXPECT_NE(software[8], software[9]) << depth;
      }
      for (Memory memory : {VIDEO, SYSTEM}) {
        const auto direct = DrawEveryBlend(depth, false, memory, draw);
        ASSERT_EQ(direct.size(), software.size());
        for (size_t i = 0; i < blends.size(); i++)
          EXPECT_TRUE(direct[i] == software[i])
              << depth << "-bit, " << (memory == VIDEO ? "video" : "system") << " target, mode " << blends[i].mode
              << ", parameter " << blends[i].param << (blends[i].withGraph ? ", blend graph" : "");
      }
    }
  }
};

}  // namespace

// ---- the same pixels on both paths ---------------------------------------------------------

TEST_F(DrawCores, AGraphAtAPointIsTheSameOnBothPaths) {
  ExpectTheSamePixelsOnBothPaths([](const Scene& s) {
    const GraphRecord* g = LookupGraph(s.source);
    EXPECT_EQ(DrawGraphSurfaceCore(-4, 3, g, 1), 0);
    EXPECT_EQ(DrawGraphSurfaceCore(36, 26, g, 1), 0);
    EXPECT_EQ(DrawGraphSurfaceCore(14, 12, g, 0), 0);
  });
}

TEST_F(DrawCores, AStretchedGraphIsTheSameOnBothPaths) {
  ExpectTheSamePixelsOnBothPaths([](const Scene& s) {
    const GraphRecord* g = LookupGraph(s.source);
    EXPECT_EQ(DrawStretchedCore(30, 2, 6, 26, g, 1), 0);  // mirrored, enlarged
    EXPECT_EQ(DrawStretchedCore(8, 36, 18, 30, g, 0), 0);  // flipped, shrunk
  });
}

TEST_F(DrawCores, TrianglesAndQuadsAreTheSameOnBothPaths) {
  ExpectTheSamePixelsOnBothPaths([](const Scene& s) {
    const GraphRecord* g = LookupGraph(s.source);
    EXPECT_EQ(DrawQuadCore(20, 2, 36, 14, 8, 18, 24, 30, g, 1), 0);  // turned
    const TriangleVertex corners[3] = {{40, 5, 3, 2}, {46, 30, 12, 15}, {30, 35, 1, 14}};
    EXPECT_EQ(DrawGraphTriangleCore(corners, g, 0), 0);
    EXPECT_EQ(DrawQuadCoreF(2.9f, 24.5f, 13.2f, 24.0f, 2.0f, 35.99f, 13.0f, 35.0f, g, 1), 0);
  });
}

TEST_F(DrawCores, AFilledBoxIsTheSameOnBothPaths) {
  ExpectTheSamePixelsOnBothPaths([](const Scene&) {
    EXPECT_EQ(DrawFilledBoxCore(30, 25, 4, 6, PackScreenColorCore(200, 100, 50)), 0);  // corners reversed
    EXPECT_EQ(DrawFilledBoxCore(40, 30, 50, 45, PackScreenColorCore(20, 250, 90)), 0);
  }, false);
}

TEST_F(DrawCores, LinesAreTheSameOnBothPaths) {
  ExpectTheSamePixelsOnBothPaths([](const Scene&) {
    const int32_t p = g_DrawState.blendParam;
    const LineRecord lines[3] = {{44, 3, 3, 30, PackScreenColorCore(250, 40, 10), p},
                                 {5, 35, 47, 35, PackScreenColorCore(10, 200, 240), p},
                                 {20, 39, 20, 0, PackScreenColorCore(255, 255, 255), p}};
    EXPECT_EQ(DrawLinesCore(lines, 3), 0);
    EXPECT_EQ(DrawBoxOutlineCore(6, 8, 16, 20, PackScreenColorCore(90, 90, 0)), 0);
  }, false);
}

// ---- the DirectDraw path's rectangles ------------------------------------------------------

TEST_F(DrawCores, ASurfaceOutsideTheAreaDrawsNothing) {
  StartOn(HeadlessDesktop(32), 1);
  const int32_t target = PatternGraph(48, 32, 3, VIDEO), from = PatternGraph(16, 16, 4, VIDEO);
  ASSERT_EQ(SetDrawTargetCore(target), 0);
  SetClipArea(10, 10, 30, 30);
  const Pixels before = Read(target);
  const int32_t piece = LookupGraph(from)->surfaces[0];
  PlatDDrawFakeLogCalls(1);
  for (auto [x, y] : {std::pair{30, 12}, {-6, 12}, {12, -6}, {12, 30}, {INT32_MAX - 4, 12}, {12, INT32_MIN}}) {
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    EXPECT_EQ(DrawSurface2DCore(x, y, piece, 1), 0);
  }
  EXPECT_EQ(Road(), "");
  EXPECT_TRUE(g_openings.empty());
  EXPECT_TRUE(Read(target).bytes == before.bytes);
  PlatDDrawFakeLogCalls(0);
  // A piece that is not there any more.
  DeleteSurface2D(piece);
  EXPECT_EQ(DrawSurface2DCore(12, 12, piece, 1), -1);
}

TEST_F(DrawCores, StretchedDrawsOpenTheSourceRangeTheyShow) {
  struct Case {
    const char* name;
    int32_t x1, y1, x2, y2;
    int32_t result;
    const char* road;  // "" for no draw
    int32_t blitAllowed;
    Rect source, box;
  };
  const Case cases[] = {
      {"the graph's own size: the plain draw", 10, 10, 26, 26, 0, "BltFast", 1, {0, 0, 16, 16}, {10, 10, 26, 26}},
      {"the same size mirrored", 26, 10, 10, 26, 0, "BltFast Lock Lock Unlock Unlock", 0, {0, 0, 16, 16},
       {10, 10, 26, 26}},
      {"twice the size, clipped on the left", -8, 0, 24, 32, 0, "BltFast Lock Lock Unlock Unlock", 0,
       {4, 0, 16, 16}, {0, 0, 24, 32}},
      {"the same mirrored", 24, 0, -8, 32, 0, "BltFast Lock Lock Unlock Unlock", 0, {0, 0, 12, 16},
       {0, 0, 24, 32}},
      {"shrunk, clipped on the right", 635, 0, 645, 10, 0, "BltFast Lock Lock Unlock Unlock", 0,
       {0, 0, 8, 16}, {635, 0, 640, 10}},
      // 40000 << 16 is past 32 bits.
      {"40000 wide", -20000, 0, 20000, 16, 0, "BltFast Lock Lock Unlock Unlock", 0, {8, 0, 9, 16},
       {0, 0, 640, 16}},
      {"no width", 10, 10, 10, 26, -1, "", 0, {}, {}},
      {"outside the area", 700, 0, 732, 16, -1, "", 0, {}, {}},
  };
  StartOn(HeadlessDesktop(32), 1);
  const int32_t graph = PatternGraph(16, 16, 5, VIDEO);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_openings.clear();
    PlatDDrawFakeLogCalls(1);
    PlatDDrawFakeClearCalls();
    EXPECT_EQ(DrawStretchedCore(c.x1, c.y1, c.x2, c.y2, LookupGraph(graph), 1), c.result);
    EXPECT_EQ(Road(), c.road);
    PlatDDrawFakeLogCalls(0);
    if (c.result != 0) {
      EXPECT_TRUE(g_openings.empty());
      continue;
    }
    ASSERT_EQ(g_openings.size(), 1u);
    const WorkDrawOpening& o = g_openings[0];
    EXPECT_EQ(o.blitAllowed, c.blitAllowed);
    EXPECT_TRUE(SameRect(o.source, c.source)) << Show(o.source);
    EXPECT_TRUE(SameRect(o.box, c.box)) << Show(o.box);
  }
}

TEST_F(DrawCores, LinesAndTrianglesOpenABoxAroundAllTheirPoints) {
  StartOn(HeadlessDesktop(32), 1);
  const int32_t graph = PatternGraph(16, 16, 6, VIDEO);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  const uint32_t white = PackScreenColorCore(255, 255, 255);
  struct Case {
    const char* name;
    std::vector<LineRecord> lines;
    Rect box;
  };
  const Case cases[] = {
      {"one line from right to left", {{50, 20, 10, 20, white, 0}}, {10, 20, 51, 21}},
      {"one line upward", {{7, 90, 7, 30, white, 0}}, {7, 30, 8, 91}},
      {"a diagonal and a point", {{30, 5, 4, 60, white, 0}, {70, 70, 70, 70, white, 0}}, {4, 5, 71, 71}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_openings.clear();
    EXPECT_EQ(DrawLinesCore(c.lines.data(), int32_t(c.lines.size())), 0);
    ASSERT_EQ(g_openings.size(), 1u);
    EXPECT_EQ(g_openings[0].hasSource, 0);
    EXPECT_EQ(g_openings[0].covers, 0);
    EXPECT_TRUE(SameRect(g_openings[0].box, c.box)) << Show(g_openings[0].box);
  }
  // The drawn line lies inside: the end point is left out.
  const LineRecord leftward{50, 20, 10, 20, white, 0};
  EXPECT_EQ(DrawLinesCore(&leftward, 1), 0);

  // A triangle: the screen box with its rightmost column, the texture box.
  g_openings.clear();
  const TriangleVertex corners[3] = {{40, 5, 3, 2}, {46, 30, 12, 15}, {30, 35, 1, 14}};
  EXPECT_EQ(DrawGraphTriangleCore(corners, LookupGraph(graph), 0), 0);
  ASSERT_EQ(g_openings.size(), 1u);
  EXPECT_TRUE(SameRect(g_openings[0].box, {30, 5, 47, 35})) << Show(g_openings[0].box);
  EXPECT_TRUE(SameRect(g_openings[0].source, {1, 2, 12, 15})) << Show(g_openings[0].source);
  // A quad is two such triangles.
  g_openings.clear();
  EXPECT_EQ(DrawQuadCore(0, 0, 16, 0, 0, 16, 16, 16, LookupGraph(graph), 0), 0);
  ASSERT_EQ(g_openings.size(), 2u);
  EXPECT_TRUE(SameRect(g_openings[0].box, {0, 0, 17, 16}));
  EXPECT_TRUE(SameRect(g_openings[1].source, {0, 0, 16, 16}));
}

// Lines and boxes in the colours asked for where the work image is not the display's
// format: converted through work surface 1 on a 5:5:5 display, and into a software-image
// graph of 5:6:5.
TEST_F(DrawCores, ColoursAreConvertedForTheWorkImage) {
  StartOn(Desktop555(), 1);
  for (Memory memory : {VIDEO, IMAGE}) {
    SCOPED_TRACE(memory == VIDEO ? "video target" : "software-image target");
    const int32_t target = PatternGraph(32, 16, 7, memory);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    const uint32_t red = PackScreenColorCore(255, 0, 0), green = PackScreenColorCore(0, 255, 0);
    // A line never covers its box, so it goes through the work surface.
    const LineRecord line{0, 2, 32, 2, red, 0};
    EXPECT_EQ(DrawLinesCore(&line, 1), 0);
    // A plain box is written in place; an added one goes through the work surface.
    EXPECT_EQ(DrawFilledBoxCore(4, 8, 12, 12, PackScreenColorCore(0, 0, 0)), 0);
    SetBlendState(BLEND_ADD, 255);
    EXPECT_EQ(DrawFilledBoxCore(4, 8, 12, 12, green), 0);
    SetBlendState(BLEND_COPY, 0);
    const Pixels p = Read(target);
    const uint32_t rgb = p.format->redMask | p.format->greenMask | p.format->blueMask;
    EXPECT_EQ(ReadPixelValue(&p.bytes[2 * p.pitch + 5 * 2], 2) & rgb, p.format->redMask);
    EXPECT_EQ(ReadPixelValue(&p.bytes[9 * p.pitch + 6 * 2], 2) & rgb, p.format->greenMask);
  }
}

// ---- the clear -------------------------------------------------------------------------------

TEST_F(DrawCores, ClearingFillsTheTargetAndItsDepthBuffer) {
  struct Case {
    const char* name;
    int32_t depth;
    bool software;
    Memory memory;
    bool subGraph;
  };
  const Case cases[] = {
      {"video graph with a depth surface", 32, false, VIDEO, false},
      {"system-memory graph with a depth surface", 16, false, SYSTEM, false},
      {"software-image graph with a depth image", 32, false, IMAGE, false},
      {"a graph of a software-rendered screen", 16, true, VIDEO, false},
      {"a cell of a sheet", 32, false, VIDEO, true},
      {"a cell of a software-image sheet", 16, false, IMAGE, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_System.settings.backgroundRed = 255;
    g_System.settings.backgroundGreen = 128;
    g_System.settings.backgroundBlue = 0;
    StartPath(c.depth, c.software);
    const int32_t sheet = PatternGraph(40, 30, 8, c.memory);
    const int32_t target = c.subGraph ? CreateSubGraph(8, 6, 20, 12, sheet) : sheet;
    SurfaceData* r = RecordOf(target);
    ASSERT_EQ(SetSurfaceDepthBuffer(PieceOf(target)->surfaceData, 1), 0);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    // Neither the blend nor the draw area takes part in a clear.
    SetBlendState(BLEND_MIX, 128);
    SetClipArea(2, 2, 5, 5);
    const Pixels before = Read(sheet);
    ASSERT_EQ(ClearDrawTargetCore(), 0);

    const Pixels after = Read(sheet);
    const ColorFormat& f = *after.format;
    const uint32_t rgb = f.redMask | f.greenMask | f.blueMask;
    const uint32_t background = ColorToPixelValue(&f, 255, 128, 0, 255) & rgb;
    const Rect cleared = c.subGraph ? Rect{8, 6, 28, 18} : Rect{0, 0, 40, 30};
    int wrong = 0;
    for (int32_t y = 0; y < 30; y++)
      for (int32_t x = 0; x < 40; x++) {
        const size_t at = size_t(y) * after.pitch + size_t(x) * f.bytesPerPixel;
        const bool inside = x >= cleared.left && x < cleared.right && y >= cleared.top && y < cleared.bottom;
        const uint32_t v = ReadPixelValue(&after.bytes[at], f.bytesPerPixel) & rgb;
        const uint32_t was = ReadPixelValue(&before.bytes[at], f.bytesPerPixel) & rgb;
        wrong += inside ? v != background : v != was;
      }
    EXPECT_EQ(wrong, 0);

    // The depth buffer of the graph's rectangle reads 0xFFFF.
    std::vector<uint16_t> depth;
    if (r->softwareImage) {
      const MEMIMG& z = r->depthImage;
      ASSERT_TRUE(IsMemImgValid(&z));
      for (int32_t y = cleared.top; y < cleared.bottom; y++)
        for (int32_t x = cleared.left; x < cleared.right; x++)
          depth.push_back(uint16_t(ReadPixelValue(z.pixels + y * z.data->pitch + x * 2, 2)));
    } else {
      ASSERT_NE(r->depthSurface, 0u);
      PlatDDSurfaceDesc desc{};
      desc.size = sizeof desc;
      const PlatRect at{cleared.left, cleared.top, cleared.right, cleared.bottom};
      ASSERT_EQ(PlatDDSurfaceLock(r->depthSurface, &at, &desc, 0), PLAT_DD_OK);
      for (int32_t y = 0; y < at.bottom - at.top; y++)
        for (int32_t x = 0; x < at.right - at.left; x++)
          depth.push_back(uint16_t(ReadPixelValue(static_cast<uint8_t*>(desc.surface) + y * desc.pitch + x * 2, 2)));
      PlatDDSurfaceUnlock(r->depthSurface, nullptr);
    }
    EXPECT_EQ(depth, std::vector<uint16_t>(depth.size(), 0xFFFF));
    SetBlendState(BLEND_COPY, 0);
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawCores, ClearingTheScreens) {
  g_System.settings.backgroundRed = 0;
  g_System.settings.backgroundGreen = 0;
  g_System.settings.backgroundBlue = 255;
  for (bool software : {false, true}) {
    SCOPED_TRACE(software ? "software-rendered" : "DirectDraw");
    StartPath(32, software);
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
    const uint32_t red = PackScreenColorCore(255, 0, 0);
    ASSERT_EQ(DrawFilledBoxCore(0, 0, 640, 480, red), 0);
    ASSERT_EQ(ClearDrawTargetCore(), 0);
    // The back screen's pixels, through the image or the surface.
    uint32_t corner = 0, far = 0;
    if (software) {
      const MEMIMG* b = g_ScreenState.backImage;
      corner = ReadPixelValue(b->pixels, 4);
      far = ReadPixelValue(b->pixels + 479 * b->data->pitch + 639 * 4, 4);
    } else {
      PlatDDSurfaceDesc desc{};
      desc.size = sizeof desc;
      ASSERT_EQ(PlatDDSurfaceLock(g_ScreenState.back, nullptr, &desc, 0), PLAT_DD_OK);
      corner = ReadPixelValue(desc.surface, 4);
      far = ReadPixelValue(static_cast<uint8_t*>(desc.surface) + 479 * desc.pitch + 639 * 4, 4);
      PlatDDSurfaceUnlock(g_ScreenState.back, nullptr);
    }
    EXPECT_EQ(corner & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(far & 0xFFFFFF, 0x0000FFu);
    EndGraphics();
  }
  // Without the display objects nothing is cleared.
  EXPECT_EQ(ClearDrawTargetCore(), -1);
  EXPECT_EQ(DrawFilledBoxCore(0, 0, 1, 1, 0), -1);
  EXPECT_EQ(DrawLinesCore(nullptr, 0), -1);
  EXPECT_EQ(DrawSurface2DCore(0, 0, 0, 0), -1);
}

// ---- the copy into a graph -----------------------------------------------------------------

TEST_F(DrawCores, CapturingCopiesARectangleOfTheGraphsSize) {
  struct Case {
    const char* name;
    int32_t depth;
    bool software;
    Memory targetMemory, graphMemory;
    bool targetCell;  // the target is a cell at (8, 4) of a larger sheet
  };
  const Case cases[] = {
      {"DirectDraw target into a DirectDraw graph", 32, false, VIDEO, VIDEO, false},
      {"the same at 5:6:5", 16, false, SYSTEM, VIDEO, false},
      {"DirectDraw target into a software-image graph", 32, false, VIDEO, IMAGE, false},
      {"software-image target into a DirectDraw graph", 16, false, IMAGE, SYSTEM, false},
      {"software-image target into a software-image graph", 32, false, IMAGE, IMAGE, false},
      {"software-rendered screen", 32, true, VIDEO, VIDEO, false},
      {"a cell of a DirectDraw sheet into a DirectDraw graph", 32, false, VIDEO, VIDEO, true},
      {"a cell of a DirectDraw sheet into a software-image graph", 16, false, SYSTEM, IMAGE, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartPath(c.depth, c.software);
    const int32_t target = c.targetCell ? CreateSubGraph(8, 4, 64, 48, PatternGraph(80, 60, 10, c.targetMemory))
                                        : PatternGraph(64, 48, 10, c.targetMemory);
    const int32_t picture = PatternGraph(20, 12, 11, c.graphMemory);
    const int32_t sheet = PatternGraph(40, 24, 12, c.graphMemory);
    const int32_t cell = CreateSubGraph(10, 6, 20, 12, sheet);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    ASSERT_EQ(DrawGraphSurfaceCore(30, 20, LookupGraph(picture), 0), 0);

    struct Try {
      Rect rect;
      int32_t result;
    };
    for (const Try& t : {Try{{30, 20, 51, 32}, -1}, Try{{30, 20, 50, 33}, -1}, Try{{-1, 20, 19, 32}, -1},
                         Try{{50, 40, 70, 52}, -1}, Try{{30, 20, 30, 20}, -1}}) {
      SCOPED_TRACE(Show(t.rect));
      EXPECT_EQ(CaptureScreenIntoGraph(t.rect.left, t.rect.top, t.rect.right, t.rect.bottom, cell, 0), t.result);
    }
    const Pixels sheetBefore = Read(sheet);
    ASSERT_EQ(CaptureScreenIntoGraph(30, 20, 50, 32, cell, 0), 0);

    // The cell shows the picture; the rest of the sheet is as it was.
    const Pixels want = Read(picture), got = Read(sheet);
    const ColorFormat& f = *got.format;
    const int32_t bytes = f.bytesPerPixel;
    const uint32_t rgb = f.redMask | f.greenMask | f.blueMask;
    int wrong = 0;
    for (int32_t y = 0; y < 24; y++)
      for (int32_t x = 0; x < 40; x++) {
        const size_t at = size_t(y) * got.pitch + size_t(x) * bytes;
        const uint32_t v = ReadPixelValue(&got.bytes[at], bytes);
        const bool inside = x >= 10 && x < 30 && y >= 6 && y < 18;
        const uint32_t expect =
            inside ? ReadPixelValue(&want.bytes[size_t(y - 6) * want.pitch + size_t(x - 10) * bytes], bytes)
                   : ReadPixelValue(&sheetBefore.bytes[at], bytes);
        wrong += (v & rgb) != (expect & rgb);
        // The bits of no channel are set, as an opaque alpha where they are the top byte.
        if (inside && f.noChannelMask) wrong += (v & f.noChannelMask) != f.noChannelMask;
      }
    EXPECT_EQ(wrong, 0);
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawCores, NoChannelBitsAreSetInsideTheRectangle) {
  struct Case {
    const char* name;
    int32_t depth;
    uint32_t red, green, blue, alpha;
    uint8_t alphaValue;
    uint32_t pixel, expected;
  };
  const Case cases[] = {
      {"5:6:5 has none", 16, 0xF800, 0x07E0, 0x001F, 0, 255, 0x1234, 0x1234},
      {"5:5:5 ORs its top bit", 16, 0x7C00, 0x03E0, 0x001F, 0, 255, 0x1234, 0x9234},
      {"8:8:8 ORs the alpha value into the top byte", 32, 0xFF0000, 0xFF00, 0xFF, 0, 0x80, 0x01123456, 0x81123456},
      {"10:10:10 ORs its two top bits", 32, 0x3FF00000, 0xFFC00, 0x3FF, 0, 0x80, 0x01234567, 0xC1234567},
      {"8:8:8:8 has none", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0x80, 0x01123456, 0x01123456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ColorFormat f{};
    ASSERT_EQ(SetupFormatFromMasksCore(&f, c.depth, c.red, c.green, c.blue, c.alpha), 0);
    const int32_t bytes = c.depth / 8, width = 5, height = 4, pitch = width * bytes + 3;
    std::vector<uint8_t> pixels(size_t(pitch) * height);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) WritePixelValue(&pixels[size_t(y) * pitch + x * bytes], bytes, c.pixel);
    const Rect rect{1, 1, 4, 3};
    FillNoChannelBits(&rect, pitch, pixels.data(), &f, c.alphaValue);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
        EXPECT_EQ(ReadPixelValue(&pixels[size_t(y) * pitch + x * bytes], bytes), inside ? c.expected : c.pixel)
            << x << ", " << y;
      }
  }
}
