// Boxes drawn by the device: filled boxes in any corner order and clipped, their vertex
// colour, outlines counted pixel by pixel with an additive draw, the hand-over to the 2D
// cores while the device cannot draw to its target, the scene's end on the front screen,
// and text by the road of its font's glyph cache.
#include "engine/d3d/d3d.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/cores.h"
#include "platform/gdi/fake/fontfake.h"
#include "tests/d3d/graphdraw_fixture.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {

using BoxDraws = GraphDrawTest;

TEST_F(BoxDraws, FilledBoxesInAnyCornerOrderAndClipped) {
  const uint32_t magenta = PackScreenColorCore(255, 0, 255);
  SetClipArea(0, 0, 600, 400);
  struct Case {
    const char* name;
    int32_t x1, y1, x2, y2;
    Rect drawn;  // empty: nothing
  } cases[] = {
      {"in order", 10, 20, 50, 40, {10, 20, 50, 40}},
      {"x reversed", 50, 20, 10, 40, {10, 20, 50, 40}},
      {"both reversed", 50, 40, 10, 20, {10, 20, 50, 40}},
      {"across the area's corner", 580, 390, 700, 500, {580, 390, 600, 400}},
      {"wholly outside", 600, 10, 700, 20, {0, 0, 0, 0}},
      {"no width", 30, 10, 30, 50, {0, 0, 0, 0}},
      {"at the ends of the range", INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, {0, 0, 600, 400}},
  };
  for (const Case& c : cases) {
    EndSceneCurrent();
    ClearBack();
    PlatD3DFakeClearCalls();
    ASSERT_EQ(FillBox3D(c.x1, c.y1, c.x2, c.y2, magenta), 0) << c.name;
    const bool nothing = c.drawn.right == 0;
    EXPECT_EQ(Batched(), nothing ? 0u : 6u) << c.name;
    EXPECT_EQ(CountOf("BeginScene"), nothing ? 0 : 1) << c.name;
    const Rect r = c.drawn;
    ExpectBack(
        [&](int32_t x, int32_t y) {
          return x >= r.left && x < r.right && y >= r.top && y < r.bottom ? uint16_t(0xF81F) : kBackground;
        },
        c.name);
  }
}

TEST_F(BoxDraws, TheVertexColourIsTheBoxColourTimesTheVertexColour) {
  struct Case {
    const char* name;
    int32_t mode, param;
    uint8_t bright;
    uint8_t r, g, b;
    uint32_t colour;
  } cases[] = {
      {"white, mode 0", BLEND_COPY, 0, 255, 255, 255, 255, 0xFFFFFFFF},
      {"white, brightness 128", BLEND_COPY, 0, 128, 255, 255, 255, 0xFF808080},
      {"yellow, mixed by 100", BLEND_MIX, 100, 255, 255, 255, 0, 0x64FFFF00},
      {"blue at brightness 128", BLEND_COPY, 0, 128, 0, 0, 255, 0xFF000080},
  };
  for (const Case& c : cases) {
    FlushCurrentVertexBatch();
    SetBlendState(c.mode, c.param);
    SetBrightness(c.bright, c.bright, c.bright);
    ASSERT_EQ(FillBox3D(0, 0, 10, 10, PackScreenColorCore(c.r, c.g, c.b)), 0);
    const PlatD3DColorVertex* q = Record().buffer0;
    EXPECT_EQ(q[0].diffuse, c.colour) << c.name;
    EXPECT_EQ(q[3].diffuse, c.colour) << c.name;
    EXPECT_EQ(q[0].z, 0.2f);
    ASSERT_EQ(DrawBoxOutline3D(0, 0, 10, 10, PackScreenColorCore(c.r, c.g, c.b)), 0);
    for (int i = 6; i < 30; i++) EXPECT_EQ(q[i].diffuse, c.colour) << c.name << " outline vertex " << i - 6;
  }
}

// Each pixel an outline covers, counted: drawn additively in a red of one 5-bit step, the
// red field of a pixel over black is the number of times it was covered.
TEST_F(BoxDraws, OutlinesCoverEachPixelAsTheirEdgesSay) {
  using Counts = std::map<std::pair<int32_t, int32_t>, int>;
  struct Case {
    const char* name;
    int32_t x1, y1, x2, y2;
    Counts covered;
  } cases[] = {
      {"2 x 2", 10, 10, 12, 12, {{{10, 10}, 1}, {{11, 10}, 1}, {{10, 11}, 1}, {{11, 11}, 1}}},
      {"both axes reversed", 12, 12, 10, 10, {{{10, 10}, 1}, {{11, 10}, 1}, {{10, 11}, 1}, {{11, 11}, 1}}},
      {"3 x 3",
       10,
       10,
       13,
       13,
       {{{10, 10}, 1}, {{11, 10}, 1}, {{12, 10}, 1}, {{10, 11}, 1}, {{12, 11}, 1}, {{10, 12}, 1}, {{11, 12}, 1},
        {{12, 12}, 1}}},
      // The left and right edges coincide; the bottom edge, reversed (x 11 to 10), adds its
      // pixel too.
      {"1 wide", 10, 10, 11, 14, {{{10, 10}, 1}, {{10, 11}, 2}, {{10, 12}, 2}, {{10, 13}, 3}}},
      // The bottom edge (y 10 to 11 again) covers the inner pixels a second time.
      {"1 high", 10, 10, 14, 11, {{{10, 10}, 1}, {{11, 10}, 2}, {{12, 10}, 2}, {{13, 10}, 1}}},
      {"1 x 1", 10, 10, 11, 11, {{{10, 10}, 2}}},
      // Only x reversed: the points are exchanged, which leaves y reversed (top 12, bottom
      // 10): the top edge lies on row 12, under the sides.
      {"x reversed alone",
       12,
       10,
       10,
       12,
       {{{10, 12}, 2}, {{11, 12}, 2}, {{10, 11}, 1}, {{11, 11}, 1}, {{10, 10}, 1}, {{11, 10}, 1}}},
  };
  const uint32_t red = PackScreenColorCore(8, 0, 0);
  ASSERT_EQ(red, 0x0800u);
  for (const Case& c : cases) {
    PlatDDBltFx fx{sizeof(PlatDDBltFx), 0, 0};
    PlatDDSurfaceBlt(GetBackSurface(), nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx);
    SetBlendState(BLEND_ADD, 255);
    ASSERT_EQ(DrawBoxOutline3D(c.x1, c.y1, c.x2, c.y2, red), 0) << c.name;
    SetBlendState(BLEND_COPY, 0);
    ExpectBack(
        [&](int32_t x, int32_t y) {
          const auto at = c.covered.find({x, y});
          return uint16_t(at == c.covered.end() ? 0 : at->second << 11);
        },
        c.name);
  }
}

// Corners at the ends of the 32-bit range with the draw origin moved: the sums are made in
// 64 bits (32 would overflow), so the edges lie where the corners say.
TEST_F(BoxDraws, OutlineCornersAtTheEndsOfTheRange) {
  g_DrawState.targetRect = {-5, 7, 635, 487};
  FlushCurrentVertexBatch();
  ASSERT_EQ(DrawBoxOutline3D(INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, 0xFFFF), 0);
  const PlatD3DColorVertex* q = Record().buffer0;
  EXPECT_EQ(q[0].x, float(double(INT32_MIN) - 5));
  EXPECT_EQ(q[1].x, float(double(INT32_MAX) - 5));
  EXPECT_EQ(q[0].y, float(double(INT32_MAX) + 7));
}

TEST_F(BoxDraws, WhileTheTargetIsUnavailableThe2DCoresDrawTheBoxes) {
  const uint32_t magenta = PackScreenColorCore(255, 0, 255);
  g_Renderer3DState.targetUnavailable = 1;
  ASSERT_EQ(FillBox3D(30, 20, 10, 10, magenta), 0);
  ASSERT_EQ(DrawBoxOutline3D(50, 10, 60, 20, magenta), 0);
  g_Renderer3DState.targetUnavailable = 0;
  EXPECT_EQ(Batched(), 0u);
  EXPECT_EQ(CountOf("DrawPrimitive"), 0);
  ExpectBack(
      [&](int32_t x, int32_t y) {
        const bool filled = x >= 10 && x < 30 && y >= 10 && y < 20;
        const bool outline = x >= 50 && x < 60 && y >= 10 && y < 20 && (x == 50 || x == 59 || y == 10 || y == 19);
        return filled || outline ? uint16_t(0xF81F) : kBackground;
      },
      "2D cores");
  TerminateDirect3D();
  EXPECT_EQ(FillBox3D(0, 0, 10, 10, magenta), -1);
  EXPECT_EQ(DrawBoxOutline3D(0, 0, 10, 10, magenta), -1);
}

TEST_F(BoxDraws, OnTheFrontScreenEveryBoxEndsTheScene) {
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
  PlatD3DFakeClearCalls();
  ASSERT_EQ(FillBox3D(0, 0, 10, 10, 0xFFFF), 0);
  ASSERT_EQ(DrawBoxOutline3D(0, 0, 10, 10, 0xFFFF), 0);
  EXPECT_EQ(CountOf("BeginScene"), 2);
  EXPECT_EQ(CountOf("EndScene"), 2);
  EXPECT_EQ(CountOf("DrawPrimitive"), 2);
  EXPECT_EQ(Record().sceneOpen, 0u);
}

}  // namespace

// Text: a font whose glyph cache is in memory is the text core's, whatever the device's
// state; one whose cache is a texture draws nothing and gives -1 while the device cannot
// draw to its target, also when the text core is asked.
class CachedText : public GraphDrawTest {
 protected:
  void SetUp() override {
    GraphDrawTest::SetUp();
    if (HasFatalFailure()) return;
    PlatFontFakeReset();
    ASSERT_EQ(PlatGdiSelectFontBackend("fake"), 0);
    // With 3D drawing on, a font takes the texture cache: made with it off, it keeps its
    // glyphs in memory.
    const int32_t use3D = g_DrawState.use3D;
    g_DrawState.use3D = 0;
    font = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0, -1, -1);
    g_DrawState.use3D = use3D;
    ASSERT_NE(font, -1) << log;
    ASSERT_EQ(GetFontRecord(font)->textureCache, 0);
  }
  void TearDown() override {
    DeleteAllFonts();
    PlatGdiSelectFontBackend("freetype");
    PlatFontFakeReset();
    GraphDrawTest::TearDown();
  }
  int32_t font = -1;
};

TEST_F(CachedText, EachFontTakesTheRoadOfItsCache) {
  const uint32_t white = PackScreenColorCore(255, 255, 255);
  ASSERT_EQ(DrawTextWithFontCore(10, 10, "AB", white, font, 0, 0), 0);
  const std::vector<uint16_t> byCore = BackPixels();
  ASSERT_NE(std::count(byCore.begin(), byCore.end(), uint16_t(0xFFFF)), 0);
  for (const int32_t unavailable : {0, 1}) {
    ClearBack();
    g_Renderer3DState.targetUnavailable = unavailable;
    EXPECT_EQ(DrawTextWithFontByCache(10, 10, "AB", white, font, 0, 0), 0) << unavailable;
    g_Renderer3DState.targetUnavailable = 0;
    EXPECT_EQ(BackPixels(), byCore) << "memory cache, target unavailable " << unavailable;
  }
  EXPECT_EQ(DrawTextWithFontByCache(10, 10, "AB", white, -5, 0, 0), -1);

  GetFontRecord(font)->textureCache = 1;
  ClearBack();
  PlatD3DFakeClearCalls();
  g_Renderer3DState.targetUnavailable = 1;
  EXPECT_EQ(DrawTextWithFontByCache(10, 10, "AB", white, font, 0, 0), -1);
  EXPECT_EQ(DrawTextWithFontCore(10, 10, "AB", white, font, 0, 0), -1);
  g_Renderer3DState.targetUnavailable = 0;
  EXPECT_EQ(DrawTextWithFontByCache(10, 10, "AB", white, font, 0, 0), 0);
  GetFontRecord(font)->textureCache = 0;
  EXPECT_EQ(CountOf("DrawPrimitive"), 0);
  ExpectBack([](int32_t, int32_t) { return kBackground; }, "texture cache");
}
