// Texture graphs drawn unscaled and stretched: the quads in the batch (positions, depth,
// colour, texture and blend coordinates, clipping), what draws nothing, the batch's
// limits, a failing tile, the scene's end on the front screen, and the pixels the soft
// device draws from them.
#include "tests/d3d/graphdraw_fixture.h"

#include <climits>

namespace {

using GraphDraws = GraphDrawTest;

// The graph's pixel at (gx, gy) where it lies inside the graph, else the background.
uint16_t GraphOrBackground(int32_t gx, int32_t gy, int32_t w, int32_t h, const Rect& area, int32_t x, int32_t y) {
  const bool inArea = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
  if (!inArea || gx < 0 || gy < 0 || gx >= w || gy >= h) return GraphDrawTest::kBackground;
  return GraphDrawTest::Pattern565(gx, gy);
}

TEST_F(GraphDraws, AOneTileGraphAtAPointIsOneQuadTexelForPixel) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 1);
  const Surface3DData* tile = Tile(g, 0);
  SetBrightness(128, 64, 32);  // a vertex colour to tell apart
  ASSERT_EQ(DrawGraphAt3D(10, 20, 10.0f, 20.0f, g, 0, 1), 0);
  ASSERT_EQ(Batched(), 6u);
  ASSERT_EQ(Record().batchKind, uint32_t(VERTEX_KIND_TEXTURED));
  const PlatD3DTexturedVertex* q = Batch1();
  // top-left, top-right, bottom-left, bottom-right, bottom-left, top-right
  const float xs[6] = {9.5f, 109.5f, 9.5f, 109.5f, 9.5f, 109.5f}, ys[6] = {19.5f, 19.5f, 69.5f, 69.5f, 69.5f, 19.5f};
  const int corner[6] = {0, 1, 2, 3, 2, 1};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(q[i].x, xs[i]) << i;
    EXPECT_EQ(q[i].y, ys[i]) << i;
    EXPECT_EQ(q[i].z, 0.2f) << i;
    EXPECT_EQ(q[i].u, tile->vertices[corner[i]].u) << i;
    EXPECT_EQ(q[i].v, tile->vertices[corner[i]].v) << i;
  }
  EXPECT_EQ(q[0].diffuse, 0xFF804020u);
  EXPECT_EQ(q[3].diffuse, 0xFF804020u);

  SetBrightness(255, 255, 255);
  ClearBack();
  ASSERT_EQ(DrawGraphAt3D(10, 20, 10.0f, 20.0f, g, 0, 1), 0);
  const Rect area = g_DrawState.drawArea;
  ExpectBack([&](int32_t x, int32_t y) { return GraphOrBackground(x - 10, y - 20, 100, 50, area, x, y); },
             "at (10, 20)");
}

// The graph crossing the area's left edge, unscaled and stretched by 1: the clipped
// vertices sit on the edge with their texture coordinates moved along, and every pixel
// still shows the texel it shows unclipped.
TEST_F(GraphDraws, ClippedVerticesMoveTheirTextureCoordinatesAlong) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  const float tw = float(Texture(Tile(g, 0))->width);
  struct Case {
    const char* name;
    bool stretched;
    float leftX, leftU;
  } cases[] = {
      {"unscaled", false, 0.0f, 30.5f / tw},
      {"stretched", true, -0.5f, 30.0f / tw},
  };
  for (const Case& c : cases) {
    ClearBack();
    const int result = c.stretched ? DrawGraphStretched3D(-30, 20, 70, 70, -30.0f, 20.0f, 70.0f, 70.0f, g, 0, 1)
                                   : DrawGraphAt3D(-30, 20, -30.0f, 20.0f, g, 0, 1);
    ASSERT_EQ(result, 0) << c.name;
    ASSERT_EQ(Batched(), 6u) << c.name;
    const PlatD3DTexturedVertex* q = Batch1();
    for (int i : {0, 2, 4}) {
      EXPECT_EQ(q[i].x, c.leftX) << c.name << " vertex " << i;
      EXPECT_FLOAT_EQ(q[i].u, c.leftU) << c.name << " vertex " << i;
    }
    EXPECT_EQ(q[1].x, 69.5f) << c.name;
    const Rect area = g_DrawState.drawArea;
    ExpectBack([&](int32_t x, int32_t y) { return GraphOrBackground(x + 30, y - 20, 100, 50, area, x, y); }, c.name);
  }
}

TEST_F(GraphDraws, AMirroredStretchCarriesTheLeftEdgeOnTheRight) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  const Surface3DData* tile = Tile(g, 0);
  ASSERT_EQ(DrawGraphStretched3D(110, 20, 10, 70, 110.0f, 20.0f, 10.0f, 70.0f, g, 0, 1), 0);
  const PlatD3DTexturedVertex* q = Batch1();
  EXPECT_EQ(q[0].x, 109.5f);
  EXPECT_EQ(q[0].u, tile->vertices[0].u);
  EXPECT_EQ(q[1].x, 9.5f);
  EXPECT_EQ(q[1].u, tile->vertices[1].u);

  // Clipped at either edge, or upside down as well, each pixel shows the texel it shows
  // unclipped.
  struct Case {
    const char* name;
    Rect area;
    bool upsideDown;
  } cases[] = {
      {"whole", {0, 0, 640, 480}, false},
      {"left edge clipped", {40, 0, 640, 480}, false},
      {"right edge clipped", {0, 0, 75, 480}, false},
      {"both and upside down", {33, 30, 91, 61}, true},
  };
  for (const Case& c : cases) {
    ClearBack();
    SetClipArea(c.area.left, c.area.top, c.area.right, c.area.bottom);
    const int32_t y1 = c.upsideDown ? 70 : 20, y2 = c.upsideDown ? 20 : 70;
    ASSERT_EQ(DrawGraphStretched3D(110, y1, 10, y2, 110.0f, float(y1), 10.0f, float(y2), g, 0, 1), 0) << c.name;
    ExpectBack(
        [&](int32_t x, int32_t y) {
          return GraphOrBackground(109 - x, c.upsideDown ? 69 - y : y - 20, 100, 50, c.area, x, y);
        },
        c.name);
  }
}

TEST_F(GraphDraws, WhatDrawsNothing) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  struct Case {
    const char* name;
    std::function<int()> draw;
    int result;
  } cases[] = {
      {"wholly right of the area", [&] { return DrawGraphAt3D(640, 20, 640.0f, 20.0f, g, 0, 1); }, 0},
      {"wholly above", [&] { return DrawGraphAt3D(0, -50, 0.0f, -50.0f, g, 0, 1); }, 0},
      {"stretched wholly left", [&] { return DrawGraphStretched3D(-100, 0, 0, 10, -100, 0, 0, 10, g, 0, 1); }, 0},
      {"x1 = x2", [&] { return DrawGraphStretched3D(10, 0, 10, 50, 10, 0, 10, 50, g, 0, 1); }, -1},
      {"y1 = y2", [&] { return DrawGraphStretched3D(10, 5, 90, 5, 10, 5, 90, 5, g, 0, 1); }, -1},
      // The sums of the position and the size stay in range: nothing wraps round to the
      // area.
      {"near the top of the range", [&] { return DrawGraphAt3D(INT_MAX - 60, 0, 2.1e9f, 0.0f, g, 0, 1); }, 0},
      {"stretched to the top of the range",
       [&] { return DrawGraphStretched3D(INT_MAX - 10, 0, INT_MAX, 10, 2.1e9f, 0, 2.2e9f, 10, g, 0, 1); }, 0},
      {"no graph", [&] { return DrawGraphAt3D(0, 0, 0, 0, nullptr, 0, 1); }, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.draw(), c.result) << c.name;
    EXPECT_EQ(Batched(), 0u) << c.name;
  }
  g_Renderer3DState.targetUnavailable = 1;
  EXPECT_EQ(DrawGraphAt3D(10, 10, 10, 10, g, 0, 1), 0);
  EXPECT_EQ(DrawGraphStretched3D(10, 10, 10, 10, 10, 10, 10, 10, g, 0, 1), 0) << "the target is tested first";
  EXPECT_EQ(Batched(), 0u);
  g_Renderer3DState.targetUnavailable = 0;
  TerminateDirect3D();
  EXPECT_EQ(DrawGraphAt3D(10, 10, 10, 10, g, 0, 1), -1);
  EXPECT_EQ(DrawGraphStretched3D(10, 10, 20, 20, 10, 10, 20, 20, g, 0, 1), -1);
}

TEST_F(GraphDraws, TheBatchIsSentBeforeAQuadThatWouldFillIt) {
  GraphRecord* g = PatternGraph(8, 8);
  ASSERT_NE(g, nullptr);
  for (uint32_t held : {2328u, 2334u}) {
    FlushCurrentVertexBatch();
    for (uint32_t i = 0; i < held / 6; i++) ASSERT_EQ(DrawGraphAt3D(0, 0, 0, 0, g, 0, 1), 0);
    ASSERT_EQ(Batched(), held);
    PlatD3DFakeClearCalls();
    ASSERT_EQ(DrawGraphAt3D(0, 0, 0, 0, g, 0, 1), 0);
    if (held == 2334u) {
      ASSERT_EQ(CountOf("DrawPrimitive"), 1);
      EXPECT_EQ(Last("DrawPrimitive")->args[3], 2334u) << "the vertex count";
      EXPECT_EQ(Batched(), 6u);
    } else {
      EXPECT_EQ(CountOf("DrawPrimitive"), 0);
      EXPECT_EQ(Batched(), 2334u);
    }
  }
}

TEST_F(GraphDraws, AFailingSecondTileLeavesTheFirstBatched) {
  GraphRecord* g = PatternGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 2);
  const int32_t second = g->surfaces[1];
  ASSERT_EQ(RemoveTexture3D(second), 0);
  EXPECT_EQ(DrawGraphAt3D(0, 0, 0, 0, g, 0, 1), -1);
  EXPECT_EQ(Batched(), 6u);
  EXPECT_EQ(DrawGraphStretched3D(0, 0, 10, 10, 0, 0, 10, 10, g, 0, 1), -1);
  EXPECT_EQ(Batched(), 12u);
  EXPECT_EQ(CountOf("EndScene"), 0);
}

TEST_F(GraphDraws, OnTheFrontScreenEveryDrawEndsTheScene) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
  ASSERT_EQ(g_Direct3D.endSceneAfterDraw, 1);
  PlatD3DFakeClearCalls();
  for (int i = 1; i <= 3; i++) {
    ASSERT_EQ(i % 2 ? DrawGraphAt3D(i, i, float(i), float(i), g, 0, 1)
                    : DrawGraphStretched3D(0, 0, 50, 50, 0, 0, 50, 50, g, 0, 1),
              0);
    EXPECT_EQ(CountOf("BeginScene"), i);
    EXPECT_EQ(CountOf("EndScene"), i);
    EXPECT_EQ(CountOf("DrawPrimitive"), i) << "the quad went out with the scene";
    EXPECT_EQ(Record().sceneOpen, 0u);
  }
}

// A graph of two textures (512 and 128 wide) shows without a seam at the tile border,
// whole, moved and clipped across the border.
TEST_F(GraphDraws, TwoTilesMeetWithoutASeam) {
  GraphRecord* g = PatternGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 2);
  EXPECT_EQ(Texture(Tile(g, 0))->width, 512);
  EXPECT_EQ(Texture(Tile(g, 1))->width, 128);
  struct Case {
    const char* name;
    int32_t x, y;
    Rect area;
  } cases[] = {
      {"whole at (0, 0)", 0, 0, {0, 0, 640, 480}},
      {"moved up and left", -3, -7, {0, 0, 640, 480}},
      {"clipped across the border", 0, 0, {505, 10, 520, 470}},
      {"moved and clipped across it", 5, 2, {509, 0, 530, 480}},
  };
  for (const Case& c : cases) {
    ClearBack();
    SetClipArea(c.area.left, c.area.top, c.area.right, c.area.bottom);
    ASSERT_EQ(DrawGraphAt3D(c.x, c.y, float(c.x), float(c.y), g, 0, 1), 0) << c.name;
    ExpectBack([&](int32_t x, int32_t y) { return GraphOrBackground(x - c.x, y - c.y, 640, 480, c.area, x, y); },
               c.name);
  }
}

// With a blend graph the quads carry both coordinate sets: the blend graph's from the
// tile's place in the graph, moved by clipping as the own ones are.
TEST_F(GraphDraws, BlendCoordinatesFollowTheGraphAndItsClipping) {
  GraphRecord* g = PatternGraph(100, 50);
  GraphRecord* blend = PatternGraph(200, 100);
  ASSERT_TRUE(g && blend);
  ASSERT_EQ(SetBlendGraphState(blend->handle, 128, 64), 0);
  const float rbw = g_Direct3D.blendTextureReciprocal[0], rbh = g_Direct3D.blendTextureReciprocal[1];
  ASSERT_EQ(rbw, 1.0f / 256) << "the blend graph's texture is 256 x 128";
  ASSERT_EQ(rbh, 1.0f / 128);
  const Surface3DData* tile = Tile(g, 0);
  const float tw = float(Texture(tile)->width);

  ASSERT_EQ(DrawGraphAt3D(10, 20, 10, 20, g, 0, 1), 0);
  ASSERT_EQ(Record().batchKind, uint32_t(VERTEX_KIND_BLEND));
  const PlatD3DBlendVertex* q = Batch2();
  EXPECT_EQ(q[0].x, 9.5f);
  EXPECT_EQ(q[0].u0, 0.0f);
  EXPECT_EQ(q[0].v0, 0.0f);
  EXPECT_EQ(q[3].u0, 100 * rbw);
  EXPECT_EQ(q[3].v0, 50 * rbh);
  EXPECT_EQ(q[3].u1, tile->vertices[3].u);
  EXPECT_EQ(q[3].v1, tile->vertices[3].v);
  EXPECT_EQ(q[3].diffuse, g_Direct3D.vertexColor);
  EXPECT_EQ(q[0].specular, 0xFFFFFFFFu) << "as the buffer was made";

  FlushCurrentVertexBatch();
  ASSERT_EQ(DrawGraphAt3D(-30, 20, -30, 20, g, 0, 1), 0);
  EXPECT_EQ(q[0].x, 0.0f);
  EXPECT_FLOAT_EQ(q[0].u1, 30.5f / tw);
  EXPECT_FLOAT_EQ(q[0].u0, 30.5f * rbw);
  FlushCurrentVertexBatch();
  ASSERT_EQ(DrawGraphStretched3D(-30, 20, 170, 120, -30, 20, 170, 120, g, 0, 1), 0);
  EXPECT_EQ(q[0].x, -0.5f);
  EXPECT_FLOAT_EQ(q[0].u1, 15.0f / tw) << "30 pixels are 15 texels at scale 2";
  EXPECT_FLOAT_EQ(q[0].u0, 15.0f * rbw);
  EXPECT_EQ(q[3].y, 119.5f);
  SetBlendGraphState(-1, 0, 0);
}

}  // namespace
