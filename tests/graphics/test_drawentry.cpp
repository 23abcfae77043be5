// The draw entry points on the headless display: an empty draw area, bad graphs and blend
// graphs, mirroring, four corners, parts of graphs with the draw area put back, boxes in
// any corner order, movie-fed graphs, the subtract passes' states, and the front screen of
// a software-rendered screen kept in step with the window.
#include "engine/graphics/cores.h"
#include "engine/graphics/drawentry.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/maskscreentest.h"
#include "engine/graphics/present.h"
#include "engine/movie/movie.h"
#include "graphics/drawfixture.h"
#include "platform/display/headless/headlessdisplay.h"

#include <functional>
#include <string>
#include <vector>

namespace {

class DrawEntry : public DrawFixture {
 protected:
  void StartPath(int32_t depth, bool software) {
    g_ScreenState.softwareRender = software ? 1 : 0;
    g_ScreenState.depth = uint32_t(depth);
    StartOn(HeadlessDesktop(depth), 1);
  }

  // A target graph and a 16 x 12 graph to draw, the target selected.
  struct Scene {
    int32_t target, graph;
  };
  Scene MakeScene(Memory memory = VIDEO) {
    Scene s{PatternGraph(64, 48, 1, memory), PatternGraph(16, 12, 2, memory)};
    EXPECT_EQ(SetDrawTargetCore(s.target), 0);
    return s;
  }

  // Pixel (x, y) of a graph's pixels as read.
  static uint32_t At(const Pixels& p, int32_t x, int32_t y) {
    const int32_t bytes = p.format->bytesPerPixel;
    const uint32_t rgb = p.format->redMask | p.format->greenMask | p.format->blueMask;
    return ReadPixelValue(&p.bytes[size_t(y) * p.pitch + size_t(x) * bytes], bytes) & rgb;
  }

  // Counts the target pixels in the rectangle that are not where(x, y) of the source, and
  // the pixels outside it that are not as they were.
  static int Mismatches(const Pixels& before, const Pixels& after, const Pixels& source, const Rect& drawn,
                        const std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)>& where) {
    int wrong = 0;
    for (int32_t y = 0; y < after.height; y++)
      for (int32_t x = 0; x < after.width; x++) {
        const bool inside = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
        if (!inside) {
          wrong += At(after, x, y) != At(before, x, y);
          continue;
        }
        const auto [sx, sy] = where(x - drawn.left, y - drawn.top);
        wrong += At(after, x, y) != At(source, sx, sy);
      }
    return wrong;
  }

  // The target in black, and stretched draws from now on added at 255: each pixel drawn
  // is its source pixel. The scaled blit's plain copy would do as well but for its rule at
  // exact whole-number steps, which keeps the first source column one pixel longer. (The
  // plain blit's add at 255 drops low bits; its copy is exact.)
  static void AddOntoBlack(bool stretched) {
    SetBlendState(BLEND_COPY, 0);
    EXPECT_EQ(DrawFilledBox(0, 0, 640, 480, 0), 0);
    if (stretched) SetBlendState(BLEND_ADD, 255);
  }
};

bool SameArea(const DrawState& a, const DrawState& b) {
  return a.drawArea.left == b.drawArea.left && a.drawArea.top == b.drawArea.top &&
         a.drawArea.right == b.drawArea.right && a.drawArea.bottom == b.drawArea.bottom &&
         a.drawAreaF[0] == b.drawAreaF[0] && a.drawAreaF[1] == b.drawAreaF[1] && a.drawAreaF[2] == b.drawAreaF[2] &&
         a.drawAreaF[3] == b.drawAreaF[3] && a.requestedArea.left == b.requestedArea.left &&
         a.requestedArea.right == b.requestedArea.right && a.areaEmpty == b.areaEmpty;
}

// Every entry point that draws a graph, with the graph handle given.
struct GraphEntry {
  const char* name;
  int (*draw)(int32_t graph);
};
const GraphEntry kGraphEntries[] = {
    {"DrawGraphAtCore", [](int32_t g) { return DrawGraphAtCore(4, 5, g, 1); }},
    {"DrawGraphStretchedCore", [](int32_t g) { return DrawGraphStretchedCore(40, 5, 4, 30, g, 1); }},
    {"DrawGraphQuad", [](int32_t g) { return DrawGraphQuad(4, 5, 30, 8, 28, 30, 6, 26, g, 1); }},
    {"DrawGraphMirrored", [](int32_t g) { return DrawGraphMirrored(4, 5, g, 0); }},
    {"DrawGraphSubRect", [](int32_t g) { return DrawGraphSubRect(4, 5, 2, 2, 8, 6, g, 0, 0); }},
    {"DrawGraphSubRect turned", [](int32_t g) { return DrawGraphSubRect(4, 5, 2, 2, 8, 6, g, 0, 1); }},
    {"DrawGraphSubRectStretched", [](int32_t g) { return DrawGraphSubRectStretched(4, 5, 30, 40, 2, 2, 8, 6, g, 0); }},
};

}  // namespace

TEST_F(DrawEntry, AnEmptyAreaDrawsNothing) {
  StartPath(32, false);
  const Scene s = MakeScene();
  SetClipArea(10, 10, 10, 30);
  ASSERT_EQ(g_DrawState.areaEmpty, 1);
  const Pixels before = Read(s.target);
  PlatDDrawFakeLogCalls(1);
  for (const GraphEntry& e : kGraphEntries) EXPECT_EQ(e.draw(s.graph), 0) << e.name;
  const uint32_t red = PackScreenColorCore(255, 0, 0);
  EXPECT_EQ(DrawColorBoxCore(0, 0, 64, 48, red, 1), 0);
  EXPECT_EQ(DrawColorBoxCore(0, 0, 64, 48, red, 0), 0);
  EXPECT_EQ(DrawFilledBox(0, 0, 64, 48, red), 0);
  EXPECT_EQ(DrawBoxOutline(0, 0, 64, 48, red), 0);
  EXPECT_EQ(Road(), "");
  PlatDDrawFakeLogCalls(0);
  EXPECT_TRUE(Read(s.target).bytes == before.bytes);
}

TEST_F(DrawEntry, ABadGraphGivesMinusOneWithoutALogLine) {
  StartPath(32, false);
  const Scene s = MakeScene();
  const int32_t freed = PatternGraph(8, 8, 3, VIDEO);
  FreeGraph(freed, 0);
  const Pixels before = Read(s.target);
  log.clear();
  for (int32_t bad : {freed, -1, 0, 0x12345}) {
    for (const GraphEntry& e : kGraphEntries) {
      // Without turning, a part of a graph is the graph drawn at a point.
      EXPECT_EQ(e.draw(bad), -1) << e.name << " " << bad;
    }
  }
  EXPECT_EQ(log, "");
  EXPECT_TRUE(Read(s.target).bytes == before.bytes);
}

TEST_F(DrawEntry, ABlendGraphSmallerThanTheGraphFails) {
  StartPath(32, false);
  const Scene s = MakeScene();
  struct Case {
    int32_t width, height, result;
  };
  const Pixels before = Read(s.target);
  for (const Case& c : {Case{15, 12, -1}, Case{16, 11, -1}, Case{16, 12, 0}, Case{40, 30, 0}}) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const int32_t blend = PatternGraph(c.width, c.height, 4, IMAGE);
    ASSERT_EQ(SetBlendGraphState(blend, 0, 0), 0);
    EXPECT_EQ(CheckBlendGraphFits(LookupGraph(s.graph)), c.result);
    for (const GraphEntry& e : {kGraphEntries[0], kGraphEntries[1], kGraphEntries[2]}) {
      EXPECT_EQ(e.draw(s.graph), c.result) << e.name;
    }
    if (c.result != 0) {
      EXPECT_TRUE(Read(s.target).bytes == before.bytes);
    }
    SetBlendGraphState(-1, 0, 0);
    FreeGraph(blend, 0);
  }
  // A blend graph freed while set no longer fits anything.
  const int32_t blend = PatternGraph(32, 32, 5, IMAGE);
  ASSERT_EQ(SetBlendGraphState(blend, 0, 0), 0);
  FreeGraph(blend, 0);
  EXPECT_EQ(DrawGraphAtCore(4, 5, s.graph, 1), -1);
  SetBlendGraphState(-1, 0, 0);
}

TEST_F(DrawEntry, CornersInReverseMirrorTheGraph) {
  struct Case {
    const char* name;
    std::function<int(int32_t)> draw;
    bool mirrorX, mirrorY;
  };
  const Case cases[] = {
      {"x1 > x2", [](int32_t g) { return DrawGraphStretchedCore(26, 7, 10, 19, g, 0); }, true, false},
      {"y1 > y2", [](int32_t g) { return DrawGraphStretchedCore(10, 19, 26, 7, g, 0); }, false, true},
      {"both", [](int32_t g) { return DrawGraphStretchedCore(26, 19, 10, 7, g, 0); }, true, true},
      {"DrawGraphMirrored", [](int32_t g) { return DrawGraphMirrored(10, 7, g, 0); }, true, false},
  };
  for (bool software : {false, true}) {
    SCOPED_TRACE(software ? "software-rendered" : "DirectDraw");
    StartPath(32, software);
    const Scene s = MakeScene();
    const Pixels source = Read(s.graph);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      AddOntoBlack(true);
      const Pixels before = Read(s.target);
      EXPECT_EQ(c.draw(s.graph), 0);
      EXPECT_EQ(Mismatches(before, Read(s.target), source, {10, 7, 26, 19},
                           [&](int32_t x, int32_t y) {
                             return std::pair{c.mirrorX ? 15 - x : x, c.mirrorY ? 11 - y : y};
                           }),
                0);
    }
    SetBlendState(BLEND_COPY, 0);
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawEntry, AQuadOnTheCornersOfARectangleDrawsTheGraphUnrotated) {
  for (bool software : {false, true}) {
    SCOPED_TRACE(software ? "software-rendered" : "DirectDraw");
    StartPath(16, software);
    const Scene s = MakeScene();
    const Pixels source = Read(s.graph), before = Read(s.target);
    // Top-left, top-right, bottom-right, bottom-left.
    EXPECT_EQ(DrawGraphQuad(20, 9, 36, 9, 36, 21, 20, 21, s.graph, 0), 0);
    EXPECT_EQ(Mismatches(before, Read(s.target), source, {20, 9, 36, 21},
                         [](int32_t x, int32_t y) { return std::pair{x, y}; }),
              0);
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawEntry, APartOfAGraphDrawsOnlyThePartAndPutsTheAreaBack) {
  struct Case {
    const char* name;
    std::function<int(int32_t)> draw;
    Rect drawn;
    std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)> where;
  };
  const Case cases[] = {
      {"part", [](int32_t g) { return DrawGraphSubRect(10, 5, 4, 2, 8, 6, g, 0, 0); }, {10, 5, 18, 11},
       [](int32_t x, int32_t y) { return std::pair{4 + x, 2 + y}; }},
      {"part turned", [](int32_t g) { return DrawGraphSubRect(10, 5, 4, 2, 8, 6, g, 0, 1); }, {10, 5, 18, 11},
       [](int32_t x, int32_t y) { return std::pair{11 - x, 2 + y}; }},
      {"part stretched twice", [](int32_t g) { return DrawGraphSubRectStretched(10, 5, 26, 17, 4, 2, 8, 6, g, 0); },
       {10, 5, 26, 17}, [](int32_t x, int32_t y) { return std::pair{4 + x / 2, 2 + y / 2}; }},
      {"part stretched and mirrored",
       [](int32_t g) { return DrawGraphSubRectStretched(26, 5, 10, 17, 4, 2, 8, 6, g, 0); }, {10, 5, 26, 17},
       [](int32_t x, int32_t y) { return std::pair{11 - x / 2, 2 + y / 2}; }},
      {"no source width", [](int32_t g) { return DrawGraphSubRectStretched(10, 5, 26, 17, 4, 2, 0, 6, g, 0); },
       {0, 0, 0, 0}, nullptr},
      {"no source height", [](int32_t g) { return DrawGraphSubRectStretched(10, 5, 26, 17, 4, 2, 8, 0, g, 0); },
       {0, 0, 0, 0}, nullptr},
  };
  StartPath(32, false);
  const Scene s = MakeScene();
  const Pixels source = Read(s.graph);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetClipArea(3, 2, 60, 40);
    // A float copy the integers do not give, as the Direct3D side may leave it.
    g_DrawState.drawAreaF[0] = 3.25f;
    g_DrawState.drawAreaF[3] = 39.5f;
    AddOntoBlack(c.name != std::string("part"));
    const DrawState area = g_DrawState;
    const Pixels before = Read(s.target);
    const bool draws = c.where != nullptr;
    EXPECT_EQ(c.draw(s.graph), draws ? 0 : -1);
    EXPECT_TRUE(SameArea(g_DrawState, area));
    EXPECT_EQ(Mismatches(before, Read(s.target), source, c.drawn,
                         draws ? c.where : [](int32_t, int32_t) { return std::pair{0, 0}; }),
              0);
  }
}

TEST_F(DrawEntry, BoxesInAnyCornerOrderAreTheSameBox) {
  StartPath(32, false);
  const Scene s = MakeScene();
  const uint32_t colour = PackScreenColorCore(10, 200, 30);
  for (int32_t fill : {0, 1}) {
    SCOPED_TRACE(fill);
    std::vector<std::vector<uint8_t>> pictures;
    for (Rect r : {Rect{8, 6, 30, 20}, Rect{30, 6, 8, 20}, Rect{8, 20, 30, 6}, Rect{30, 20, 8, 6}}) {
      EXPECT_EQ(DrawFilledBox(0, 0, 64, 48, 0), 0);
      EXPECT_EQ(DrawColorBoxCore(r.left, r.top, r.right, r.bottom, colour, fill), 0);
      pictures.push_back(Read(s.target).bytes);
    }
    for (size_t i = 1; i < pictures.size(); i++) EXPECT_TRUE(pictures[i] == pictures[0]) << i;
    // The outline's corners are its box's.
    const Pixels p = Read(s.target);
    const uint32_t want = colour & 0xFFFFFF;
    EXPECT_EQ(At(p, 8, 6), want);
    EXPECT_EQ(At(p, 29, 19), want);
    EXPECT_EQ(At(p, 30, 19), 0u);
    EXPECT_EQ(At(p, 15, 12), fill ? want : 0u);
  }
}

TEST_F(DrawEntry, AMovieShownOnTheWindowIsNotDrawnAsAGraph) {
  StartPath(32, false);
  const Scene s = MakeScene();
  MovieRecord* movie = nullptr;
  const int32_t handle = AddMovieRecord(&movie);
  ASSERT_GE(handle, 0);
  LookupGraph(s.graph)->movie = handle;
  const Pixels before = Read(s.target);
  movie->surfaceMode = MOVIE_SURFACE_OVERLAY;
  EXPECT_EQ(DrawGraphAtCore(4, 5, s.graph, 0), -1);
  EXPECT_EQ(DrawGraphStretchedCore(4, 5, 36, 29, s.graph, 0), -1);
  EXPECT_TRUE(Read(s.target).bytes == before.bytes);
  // The four-corner draw only brings the frame up to date.
  EXPECT_EQ(DrawGraphQuad(4, 5, 20, 5, 20, 17, 4, 17, s.graph, 0), 0);
  EXPECT_FALSE(Read(s.target).bytes == before.bytes);
  movie->surfaceMode = MOVIE_SURFACE_PLAIN;
  EXPECT_EQ(DrawGraphAtCore(30, 30, s.graph, 0), 0);
  LookupGraph(s.graph)->movie = -1;
  CloseMovieHandle(handle);
}

TEST_F(DrawEntry, TheSubtractPassesAddBetweenAndSubtractAfter) {
  StartPath(32, false);
  MakeScene();
  SetBlendState(BLEND_SUBTRACT, 200);
  SetBrightness(10, 20, 30);
  const Rect rect{4, 4, 20, 20};
  EXPECT_EQ(BeginSubtractBlendPass(&rect), 0);
  EXPECT_EQ(g_DrawState.blendMode, BLEND_ADD_3D);
  EXPECT_EQ(g_DrawState.blendParam, 200);
  EXPECT_EQ(BrightnessWord(g_DrawState), 0x0A141Eu);
  EXPECT_EQ(EndSubtractBlendPass(&rect), 0);
  EXPECT_EQ(g_DrawState.blendMode, BLEND_SUBTRACT);
  EXPECT_EQ(g_DrawState.blendParam, 200);
  EXPECT_EQ(BrightnessWord(g_DrawState), 0x0A141Eu);
  SetBrightness(255, 255, 255);
  SetBlendState(BLEND_COPY, 0);
}

// A software-rendered screen drawn on its front screen: the first draw after a present
// reads what the window shows back into the front image, and every draw shows its
// rectangle in the window, so that the window shows what the front image holds.
TEST_F(DrawEntry, TheFrontScreenOfASoftwareRenderedScreenFollowsTheWindow) {
  StartPath(32, true);
  const int32_t graph = PatternGraph(16, 12, 6, VIDEO);
  // The back screen in blue, presented: the window shows blue, the front image not.
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  ASSERT_EQ(DrawFilledBox(0, 0, 640, 480, PackScreenColorCore(0, 0, 255)), 0);
  ASSERT_EQ(PresentScreenCore(), 0);
  ASSERT_EQ(g_ScreenState.presented, 1);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
  const MEMIMG* front = g_ScreenState.primaryImage;
  auto frontPixel = [&](int32_t x, int32_t y) {
    return ReadPixelValue(front->pixels + y * front->data->pitch + x * 4, 4) & 0xFFFFFF;
  };
  EXPECT_NE(frontPixel(300, 300), 0x0000FFu);

  struct Case {
    const char* name;
    std::function<int()> draw;
    Rect around;  // where to compare the window with the front image
  };
  const uint32_t green = PackScreenColorCore(0, 255, 0);
  const Case cases[] = {
      {"a graph", [&] { return DrawGraphAtCore(100, 50, graph, 1); }, {96, 46, 120, 66}},
      {"a stretched graph", [&] { return DrawGraphStretchedCore(200, 50, 240, 80, graph, 0); }, {196, 46, 244, 84}},
      {"a turned quad", [&] { return DrawGraphQuad(330, 40, 346, 52, 334, 68, 318, 56, graph, 0); },
       {314, 36, 350, 72}},
      {"a quad off the pixel grid",
       [&] { return DrawGraphQuad(400.3f, 40.6f, 420.8f, 41.2f, 421.7f, 60.9f, 399.6f, 59.8f, graph, 0); },
       {395, 36, 426, 66}},
      {"a box", [&] { return DrawFilledBox(50, 200, 90, 230, green); }, {46, 196, 94, 234}},
      {"an outline", [&] { return DrawBoxOutline(150, 200, 190, 230, green); }, {146, 196, 194, 234}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.draw(), 0);
    EXPECT_EQ(g_ScreenState.presented, 0);
    int wrong = 0;
    for (int32_t y = c.around.top; y < c.around.bottom; y++)
      for (int32_t x = c.around.left; x < c.around.right; x++)
        wrong += PlatHeadlessClientPixel(window, x, y) != frontPixel(x, y);
    EXPECT_EQ(wrong, 0);
  }
  // The front image was read back from the window: blue where nothing was drawn.
  EXPECT_EQ(frontPixel(300, 300), 0x0000FFu);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 300, 300), 0x0000FFu);
}

// The entry points bracket their draws with the mask: with reverse 0 an all-zero mask
// allows nothing and every pixel of the draws is put back; with reverse 1 it allows
// everything and the draws stay, as without a mask.
TEST_F(DrawEntry, MaskedDrawsArePutBackWhereTheMaskAllowsNothing) {
  auto backPixels = [] {
    std::vector<uint32_t> out;
    const ScreenState& s = g_ScreenState;
    if (s.softwareRender) {
      for (int32_t y = 0; y < 480; y++)
        for (int32_t x = 0; x < 640; x++)
          out.push_back(ReadPixelValue(s.backImage->pixels + y * s.backImage->data->pitch + x * 4, 4) & 0xFFFFFF);
      return out;
    }
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    EXPECT_EQ(PlatDDSurfaceLock(s.back, nullptr, &desc, 0), PLAT_DD_OK);
    for (int32_t y = 0; y < 480; y++)
      for (int32_t x = 0; x < 640; x++)
        out.push_back(ReadPixelValue(static_cast<uint8_t*>(desc.surface) + y * desc.pitch + x * 4, 4) & 0xFFFFFF);
    PlatDDSurfaceUnlock(s.back, nullptr);
    return out;
  };
  for (bool software : {true, false}) {
    for (int32_t reverse : {0, 1}) {
      SCOPED_TRACE(std::string(software ? "software-rendered" : "DirectDraw") + ", reverse " + std::to_string(reverse));
      StartPath(32, software);
      const int32_t graph = PatternGraph(16, 12, 7, VIDEO);
      ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
      auto draws = [&] {
        EXPECT_EQ(DrawFilledBox(0, 0, 640, 480, PackScreenColorCore(40, 80, 120)), 0);
        const std::vector<uint32_t> before = backPixels();
        EXPECT_EQ(DrawGraphAtCore(30, 20, graph, 1), 0);
        EXPECT_EQ(DrawGraphStretchedCore(100, 20, 140, 60, graph, 0), 0);
        EXPECT_EQ(DrawGraphQuad(330, 40, 346, 52, 334, 68, 318, 56, graph, 0), 0);
        EXPECT_EQ(DrawGraphQuad(400.3f, 40.6f, 420.8f, 41.2f, 421.7f, 60.9f, 399.6f, 59.8f, graph, 0), 0);
        SetBlendState(BLEND_MIX, 128);
        EXPECT_EQ(DrawFilledBox(200, 100, 260, 150, PackScreenColorCore(250, 10, 10)), 0);
        SetBlendState(BLEND_COPY, 0);
        return before;
      };
      std::vector<uint32_t> before = draws();
      const std::vector<uint32_t> unmasked = backPixels();
      ASSERT_NE(unmasked, before);

      SetMaskScreenForTest(1, reverse, 0);
      ASSERT_EQ(BuildMaskScreen(1), 0);
      ASSERT_EQ(SwitchMaskScreen(1), 0);
      ASSERT_EQ(IsMaskedDrawOn(), 1);
      before = draws();
      EXPECT_TRUE(backPixels() == (reverse ? unmasked : before));
      EndMaskScreen();
      SetMaskScreenForTest(0, 0, 0);
      EndGraphics();
      RemoveAllSurfaceData();
    }
  }
}
