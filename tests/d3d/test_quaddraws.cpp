// Texture graphs on four corners: the upright rectangle handed to the stretched draw,
// parallelograms into the batch with their winding, other shapes as grids, tiles that
// share their edges, the blend graph's affine strips with their winding, and a turned
// graph in pixels.
#include "engine/d3d/d3d.h"
#include "tests/d3d/graphdraw_fixture.h"

#include <cmath>
#include <cstring>

namespace {

using QuadDraws = GraphDrawTest;

struct XY {
  float x, y;
  bool operator==(const XY&) const = default;
};

template <typename Vertex>
std::vector<XY> Positions(const Vertex* v, size_t count) {
  std::vector<XY> out;
  for (size_t i = 0; i < count; i++) out.push_back({v[i].x, v[i].y});
  return out;
}
template <typename Vertex>
std::vector<Vertex> VerticesOf(const PlatD3DFakeCall& call) {
  std::vector<Vertex> out(call.vertices.size() / sizeof(Vertex));
  std::memcpy(out.data(), call.vertices.data(), out.size() * sizeof(Vertex));
  return out;
}
std::vector<const PlatD3DFakeCall*> CallsOf(const std::string& operation) {
  std::vector<const PlatD3DFakeCall*> out;
  for (const PlatD3DFakeCall& c : PlatD3DFakeCalls())
    if (c.operation == operation) out.push_back(&c);
  return out;
}

TEST_F(QuadDraws, IntegerCornersOfAnUprightRectangleDrawStretched) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(DrawGraphStretched3D(0, 0, 100, 50, 0, 0, 100, 50, g, 0, 1), 0);
  const std::vector<PlatD3DTexturedVertex> stretched(Batch1(), Batch1() + 6);
  FlushCurrentVertexBatch();
  ASSERT_EQ(DrawGraphQuadTiles3D(0, 0, 100, 0, 0, 50, 100, 50, g, 0), 0);
  ASSERT_EQ(Batched(), 6u);
  EXPECT_EQ(std::memcmp(stretched.data(), Batch1(), sizeof(PlatD3DTexturedVertex) * 6), 0);
  EXPECT_EQ(Batch1()[0].x, -0.5f);
}

// Parallelograms go into the batch at the corners plus the draw origin, without the
// half-pixel shift; a mirrored one turns both triangles round.
TEST_F(QuadDraws, AParallelogramIsSixBatchedVerticesAtItsCorners) {
  GraphRecord* g = PatternGraph(100, 100);
  ASSERT_NE(g, nullptr);
  const Surface3DData* tile = Tile(g, 0);
  g_DrawState.targetRect = {3, 4, 643, 484};
  struct Case {
    const char* name;
    XY p[4];    // top-left, top-right, bottom-left, bottom-right
    int order[6];  // the corners of Q1 to Q6
  } cases[] = {
      {"a turned square", {{50, 0}, {100, 50}, {0, 50}, {50, 100}}, {0, 1, 2, 3, 2, 1}},
      {"mirrored left to right", {{100, 0}, {0, 0}, {100, 100}, {0, 100}}, {0, 2, 1, 3, 1, 2}},
      {"sheared", {{10.25f, 5}, {110.25f, 15}, {30.25f, 105}, {130.25f, 115}}, {0, 1, 2, 3, 2, 1}},
  };
  for (const Case& c : cases) {
    FlushCurrentVertexBatch();
    PlatD3DFakeClearCalls();
    const XY* p = c.p;
    ASSERT_EQ(DrawGraphQuad3D(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, p[3].x, p[3].y, g, 0), 0) << c.name;
    ASSERT_EQ(Batched(), 6u) << c.name;
    EXPECT_EQ(CountOf("DrawIndexedPrimitive"), 0) << c.name;
    for (int i = 0; i < 6; i++) {
      const PlatD3DTexturedVertex& q = Batch1()[i];
      const int k = c.order[i];
      EXPECT_EQ((XY{q.x, q.y}), (XY{p[k].x + 3, p[k].y + 4})) << c.name << " vertex " << i;
      EXPECT_EQ(q.u, tile->vertices[k].u) << c.name << " vertex " << i;
      EXPECT_EQ(q.v, tile->vertices[k].v) << c.name << " vertex " << i;
      EXPECT_EQ(q.z, 0.2f);
    }
    EXPECT_EQ(Batch1()[0].diffuse, g_Direct3D.vertexColor);
    EXPECT_EQ(Batch1()[3].diffuse, g_Direct3D.vertexColor);
  }
}

TEST_F(QuadDraws, OtherShapesAreGridsOfEightByEight) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  const Surface3DData* tile = Tile(g, 0);
  struct Case {
    float bottomWidth;
    bool grid;
  } cases[] = {{98.5f, true}, {99.5f, false}};
  for (const Case& c : cases) {
    FlushCurrentVertexBatch();
    PlatD3DFakeClearCalls();
    ASSERT_EQ(DrawGraphQuad3D(10, 10, 110, 10, 10, 60, 10 + c.bottomWidth, 60, g, 0), 0);
    EXPECT_EQ(CountOf("DrawIndexedPrimitive"), c.grid ? 1 : 0) << c.bottomWidth;
    EXPECT_EQ(Batched(), c.grid ? 0u : 6u) << c.bottomWidth;
    if (!c.grid) continue;
    const std::vector<PlatD3DTexturedVertex> v = VerticesOf<PlatD3DTexturedVertex>(*Last("DrawIndexedPrimitive"));
    ASSERT_EQ(v.size(), 64u);
    // Row by row from the top, the rows from the left edge to the right one.
    const XY corners[4] = {{v[0].x, v[0].y}, {v[7].x, v[7].y}, {v[56].x, v[56].y}, {v[63].x, v[63].y}};
    const XY want[4] = {{10, 10}, {110, 10}, {10, 60}, {10 + c.bottomWidth, 60}};
    for (int k = 0; k < 4; k++) {
      EXPECT_NEAR(corners[k].x, want[k].x, 1e-3) << k;
      EXPECT_NEAR(corners[k].y, want[k].y, 1e-3) << k;
    }
    EXPECT_NEAR(v[3 * 8 + 4].x, 10 + 4 / 7.0 * (100 + 3 / 7.0 * (c.bottomWidth - 100)), 1e-3) << "row 3, column 4";
    EXPECT_NEAR(v[63].u, tile->vertices[3].u, 1e-6);
    EXPECT_NEAR(v[63].v, tile->vertices[3].v, 1e-6);
    EXPECT_EQ(v[0].u, tile->vertices[0].u);
    EXPECT_EQ(v[9].diffuse, g_Direct3D.vertexColor);
    EXPECT_EQ(v[9].rhw, 1.0f);
  }
}

TEST_F(QuadDraws, TilesOnATrapezoidShareTheirEdge) {
  GraphRecord* g = PatternGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 2);
  ASSERT_EQ(DrawGraphQuad3D(20, 10, 600, 30, 60, 400, 500, 470, g, 0), 0);
  const std::vector<const PlatD3DFakeCall*> grids = CallsOf("DrawIndexedPrimitive");
  ASSERT_EQ(grids.size(), 2u);
  const auto first = VerticesOf<PlatD3DTexturedVertex>(*grids[0]), second = VerticesOf<PlatD3DTexturedVertex>(*grids[1]);
  // The first grid's last column is the second grid's first, point for point.
  for (int row = 0; row < 8; row++)
    EXPECT_EQ((XY{first[row * 8 + 7].x, first[row * 8 + 7].y}), (XY{second[row * 8].x, second[row * 8].y})) << row;
  EXPECT_EQ((XY{first[0].x, first[0].y}), (XY{20, 10}));
  EXPECT_EQ((XY{second[63].x, second[63].y}), (XY{500, 470}));
}

// A graph of 100 x 50 turned a quarter clockwise, its corners on pixel borders: every
// pixel shows the texel the turn brings there.
TEST_F(QuadDraws, ATurnedGraphInPixels) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(DrawGraphQuad3D(59.5f, 19.5f, 59.5f, 119.5f, 9.5f, 19.5f, 9.5f, 119.5f, g, 0), 0);
  ExpectBack(
      [](int32_t x, int32_t y) {
        const bool inside = x >= 10 && x < 60 && y >= 20 && y < 120;
        return inside ? GraphDrawTest::Pattern565(y - 20, 59 - x) : GraphDrawTest::kBackground;
      },
      "turned");
}

class BlendQuadDraws : public QuadDraws {
 protected:
  GraphRecord* blend = nullptr;
  void SetUp() override {
    QuadDraws::SetUp();
    if (HasFatalFailure()) return;
    blend = PatternGraph(200, 200);
    ASSERT_NE(blend, nullptr);
    ASSERT_EQ(SetBlendGraphState(blend->handle, 128, 64), 0);
    PlatD3DFakeClearCalls();
  }
  void TearDown() override {
    SetBlendGraphState(-1, 0, 0);
    QuadDraws::TearDown();
  }
};

// With a blend graph the float corners are cut to integers first.
TEST_F(BlendQuadDraws, FloatCornersAreTruncated) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(DrawGraphQuad3D(10.7f, 0.2f, 110.9f, 0.6f, 10.2f, 50.7f, 110.5f, 50.1f, g, 0), 0);
  ASSERT_EQ(Batched(), 6u) << "an upright rectangle once cut: the stretched draw";
  EXPECT_EQ((XY{Batch2()[0].x, Batch2()[0].y}), (XY{9.5f, -0.5f}));
  EXPECT_EQ((XY{Batch2()[3].x, Batch2()[3].y}), (XY{109.5f, 49.5f}));

  FlushCurrentVertexBatch();
  PlatD3DFakeClearCalls();
  ASSERT_EQ(DrawGraphQuad3D(60.9f, 0.2f, 110.3f, 50.7f, 10.99f, 50.1f, 60.5f, 100.9f, g, 0), 0);
  ASSERT_EQ(CountOf("DrawPrimitive"), 1);
  const PlatD3DFakeCall* strip = Last("DrawPrimitive");
  EXPECT_EQ(strip->args[1], uint32_t(PLAT_D3DPT_TRIANGLESTRIP));
  EXPECT_EQ(strip->args[2], uint32_t(PLAT_D3DFVF_BLENDVERTEX));
  const auto v = VerticesOf<PlatD3DBlendVertex>(*strip);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(Positions(v.data(), 4), (std::vector<XY>{{59.5f, -0.5f}, {109.5f, 49.5f}, {9.5f, 49.5f}, {59.5f, 99.5f}}));
}

// The affine strips: each tile corner by the triangle it lies in, both coordinate sets,
// and the winding rule on self-crossing shapes.
TEST_F(BlendQuadDraws, AffineStripsAndTheirWinding) {
  GraphRecord* g = PatternGraph(100, 100);
  ASSERT_NE(g, nullptr);
  const Surface3DData* tile = Tile(g, 0);
  g_DrawState.targetRect = {2, 1, 642, 481};
  struct Case {
    const char* name;
    int32_t p[8];
    bool exchanged;
  } cases[] = {
      {"A > 0, B > 0", {0, 0, 100, 0, 0, 100, 120, 130}, false},
      {"A > 0, B < 0", {0, 0, 100, 0, 0, 100, 20, 20}, false},
      {"A < 0, B > 0", {0, 0, 0, 100, 100, 0, 20, 20}, true},
      {"A < 0, B < 0", {100, 0, 0, 0, 100, 100, -20, 130}, true},
      {"A = 0, B < 0", {0, 0, 50, 0, 100, 0, 20, 20}, true},
  };
  for (const Case& c : cases) {
    PlatD3DFakeClearCalls();
    const int32_t* p = c.p;
    ASSERT_EQ(DrawGraphQuadTiles3D(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], g, 0), 0) << c.name;
    ASSERT_EQ(CountOf("DrawPrimitive"), 1) << c.name;
    const auto v = VerticesOf<PlatD3DBlendVertex>(*Last("DrawPrimitive"));
    ASSERT_EQ(v.size(), 4u);
    // The tile is the whole graph: its corners are the four given, shifted.
    std::vector<XY> want;
    for (int k = 0; k < 4; k++) want.push_back({p[2 * k] + 2 - 0.5f, p[2 * k + 1] + 1 - 0.5f});
    if (c.exchanged) std::swap(want[1], want[2]);
    EXPECT_EQ(Positions(v.data(), 4), want) << c.name;
    const int second = c.exchanged ? 2 : 1;
    EXPECT_EQ(v[1].u1, tile->vertices[second].u) << c.name;
    EXPECT_EQ(v[1].u0, tile->vertices[second].x * g_Direct3D.blendTextureReciprocal[0]) << c.name;
    EXPECT_EQ(v[3].v0, 100 * g_Direct3D.blendTextureReciprocal[1]) << c.name;
    for (const PlatD3DBlendVertex& q : v) {
      EXPECT_EQ(q.diffuse, g_Direct3D.vertexColor);
      EXPECT_EQ(q.specular, 0xFFFFFFFFu);
      EXPECT_EQ(q.z, 0.2f);
    }
  }
}

// Two tiles on a shape that is no parallelogram: each tile corner lies on the triangle of
// its side of the diagonal, and the corners the tiles share are placed alike.
TEST_F(BlendQuadDraws, TilesOnBothSidesOfTheDiagonalMeet) {
  GraphRecord* g = PatternGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(DrawGraphQuadTiles3D(0, 0, 640, 40, 20, 480, 600, 500, g, 0), 0);
  const std::vector<const PlatD3DFakeCall*> strips = CallsOf("DrawPrimitive");
  ASSERT_EQ(strips.size(), 2u) << "one strip per tile, drawn at once";
  const auto first = VerticesOf<PlatD3DBlendVertex>(*strips[0]), second = VerticesOf<PlatD3DBlendVertex>(*strips[1]);
  // Tile 0 (x 0-512): its top-right corner lies above the diagonal, its bottom-right below;
  // neither strip is turned (A > 0).
  const float topX = -0.5f + 512 * 640 / 640.0f, topY = -0.5f + 512 * 40 / 640.0f;
  EXPECT_FLOAT_EQ(first[1].x, topX);
  EXPECT_FLOAT_EQ(first[1].y, topY);
  const float bottomX = 599.5f + (512 - 640) * (600 - 20) / 640.0f, bottomY = 499.5f + (512 - 640) * (500 - 480) / 640.0f;
  EXPECT_FLOAT_EQ(first[3].x, bottomX);
  EXPECT_FLOAT_EQ(first[3].y, bottomY);
  EXPECT_EQ((XY{first[1].x, first[1].y}), (XY{second[0].x, second[0].y}));
  EXPECT_EQ((XY{first[3].x, first[3].y}), (XY{second[2].x, second[2].y}));
}

// Corners at the ends of the 32-bit range (a float corner beyond it becomes INT32_MIN)
// with a draw origin: the sums and differences are formed wide, and the draw goes on.
TEST_F(BlendQuadDraws, CornersAtTheEndsOfTheRange) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  g_DrawState.targetRect = {-5, 7, 635, 487};
  ASSERT_EQ(DrawGraphQuad3D(3e10f, 0, 100, 0, 0, 50, -3e10f, 50, g, 0), 0);
  ASSERT_EQ(CountOf("DrawPrimitive"), 1);
  const auto v = VerticesOf<PlatD3DBlendVertex>(*Last("DrawPrimitive"));
  EXPECT_EQ(v[0].x, float(double(INT32_MIN) - 5 - 0.5));
  ASSERT_EQ(DrawGraphQuadTiles3D(INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX, 1, g, 0), 0);
}

TEST_F(QuadDraws, WhatDrawsNothing) {
  GraphRecord* g = PatternGraph(640, 480);
  ASSERT_NE(g, nullptr);
  g_Renderer3DState.targetUnavailable = 1;
  EXPECT_EQ(DrawGraphQuad3D(0, 0, 100, 10, 0, 50, 100, 70, g, 0), 0);
  g_Renderer3DState.targetUnavailable = 0;
  EXPECT_EQ(PlatD3DFakeCalls().size(), 0u);
  // A bad second tile: the first stays batched, the scene open.
  ASSERT_EQ(RemoveTexture3D(g->surfaces[1]), 0);
  EXPECT_EQ(DrawGraphQuad3D(0, 0, 100, 10, 0, 50, 100, 60, g, 0), -1);
  EXPECT_EQ(Batched(), 6u);
  EXPECT_EQ(CountOf("EndScene"), 0);
  // A bad tile given to the tile draw draws nothing.
  FlushCurrentVertexBatch();
  DrawTexturedQuads3D(0, 0, 10, 0, 0, 10, 10, 10, g->surfaces[1]);
  EXPECT_EQ(Batched(), 0u);
  TerminateDirect3D();
  EXPECT_EQ(DrawGraphQuad3D(0, 0, 100, 10, 0, 50, 100, 70, g, 0), -1);
  EXPECT_EQ(DrawGraphQuadTiles3D(0, 0, 100, 10, 0, 50, 100, 70, g, 0), -1);
}

}  // namespace
