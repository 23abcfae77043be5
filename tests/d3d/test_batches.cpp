// Draws that go out together: what a batched frame draws is what the same draws give one
// at a time, each sent at once. Sub-rectangles of a graph (the glyphs of a line) drawn
// without a viewport of their own, and boxes in a row.
#include "engine/graphics/drawentry.h"
#include "tests/d3d/graphdraw_fixture.h"

#include <vector>

namespace {

struct SubRect {
  int32_t x, y, srcX, srcY, width, height;
};

// Sub-rectangles of a 100 x 50 graph: inside the area, across each of its edges, wholly
// outside it, empty, and one reaching past the graph.
const SubRect kSubRects[] = {
    {40, 40, 0, 0, 12, 16},   {60, 40, 12, 0, 9, 16},   {75, 42, 30, 20, 14, 14}, {95, 30, 50, 10, 10, 30},
    {25, 60, 60, 5, 20, 10},  {200, 90, 40, 30, 30, 25}, {100, 130, 0, 34, 16, 16}, {5, 5, 0, 0, 8, 8},
    {120, 60, 10, 10, 0, 5},  {150, 100, 90, 40, 20, 20},
};

// The draws on the area (30, 35)-(210, 140), each alone with the area narrowed to it, the
// device's viewport and all (as the sub-rectangle was drawn before), or all as
// DrawGraphSubRect draws them now. The area goes back to (0, 0)-(600, 400) after.
class Batches : public GraphDrawTest {
 protected:
  static std::vector<uint16_t> DrawSubRects(GraphRecord* g, bool oneAtATime);
};

std::vector<uint16_t> Batches::DrawSubRects(GraphRecord* g, bool oneAtATime) {
  ClearBack();
  SetClipArea(30, 35, 210, 140);
  for (const SubRect& s : kSubRects) {
    if (oneAtATime) {
      const SavedArea saved = NarrowArea(s.x, s.y, int64_t(s.x) + s.width, int64_t(s.y) + s.height);
      if (!g_DrawState.areaEmpty)
        DrawGraphAt3D(s.x - s.srcX, s.y - s.srcY, float(s.x - s.srcX), float(s.y - s.srcY), g, 1, 1);
      FlushCurrentVertexBatch();
      PutAreaBack(saved);
    } else {
      DrawGraphSubRect(s.x, s.y, s.srcX, s.srcY, s.width, s.height, g->handle, 1, 0);
    }
  }
  std::vector<uint16_t> pixels = BackPixels();
  SetClipArea(0, 0, 600, 400);
  return pixels;
}

TEST_F(Batches, SubRectanglesInARowAreOneBatchWithThePixelsOfOneAtATime) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  for (const Rect origin : {Rect{0, 0, 0, 0}, Rect{7, 3, 647, 483}}) {
    SCOPED_TRACE(origin.left);
    g_DrawState.targetRect = origin;
    SetClipArea(0, 0, 600, 400);
    const std::vector<uint16_t> alone = DrawSubRects(g, true);
    PlatD3DFakeClearCalls();
    const std::vector<uint16_t> together = DrawSubRects(g, false);
    EXPECT_TRUE(together == alone);
    EXPECT_NE(std::count(together.begin(), together.end(), kBackground), 640 * 480) << "nothing drawn";
    // The area's own viewports only, and the sub-rectangles in one batch.
    EXPECT_EQ(CountOf("SetViewport"), 2);
    EXPECT_EQ(CountOf("DrawPrimitive"), 1);
  }
  g_DrawState.targetRect = {0, 0, 0, 0};
  SetClipArea(0, 0, 640, 480);
}

// A viewport that does not cover the area (the area was set without one) is made the
// area's before a draw reaches past it, so that nothing is cut.
TEST_F(Batches, AViewportThatDoesNotCoverTheDrawIsTheAreasAgain) {
  GraphRecord* g = PatternGraph(100, 50);
  ASSERT_NE(g, nullptr);
  const std::vector<uint16_t> whole = DrawSubRects(g, false);
  ClearBack();
  SetClipArea(0, 0, 20, 20);
  SetClipAreaFields(30, 35, 210, 140);
  PlatD3DFakeClearCalls();
  for (const SubRect& s : kSubRects) DrawGraphSubRect(s.x, s.y, s.srcX, s.srcY, s.width, s.height, g->handle, 1, 0);
  EXPECT_TRUE(BackPixels() == whole);
  EXPECT_NE(CountOf("SetViewport"), 0);
  EXPECT_EQ(Record().viewport.width, 180u);
  SetClipArea(0, 0, 640, 480);
}

// Cells of two sheets drawn in turn, each cell of the second over one of the first, a row
// side by side and a row where each cell of the first lies over the last of the second:
// the two sheets' quads are batched beside each other where that keeps the order of every
// pixel, and the pixels are those of each draw sent alone.
TEST_F(Batches, TwoTexturesInTurnKeepTheOrderOfEveryPixel) {
  GraphRecord* sheets[2] = {PatternGraph(40, 30), PatternGraph(32, 32)};
  ASSERT_NE(sheets[0], nullptr);
  ASSERT_NE(sheets[1], nullptr);
  ASSERT_NE(Texture(Tile(sheets[0], 0))->surface, Texture(Tile(sheets[1], 0))->surface);
  struct Draw {
    int sheet;
    int32_t x, y;
  };
  std::vector<Draw> draws;
  for (int32_t x = 0; x < 600; x += 40) {
    draws.push_back({0, x, 20});
    draws.push_back({1, x + 4, 20});  // over the cell just drawn
  }
  for (int32_t x = 0; x < 600; x += 72) {
    draws.push_back({1, x, 100});
    draws.push_back({0, x + 36, 100});  // beside it
  }
  for (int32_t x = 0; x < 600; x += 36) {
    draws.push_back({1, x, 200});
    draws.push_back({0, x + 20, 210});  // over the cell just drawn and under the next
  }
  draws.push_back({0, 630, 470});  // reaching past the area
  draws.push_back({1, -10, -12});
  std::vector<uint16_t> screens[2];
  int sent[2] = {};
  for (const bool oneAtATime : {true, false}) {
    ClearBack();
    PlatD3DFakeClearCalls();
    for (const Draw& d : draws) {
      ASSERT_EQ(DrawGraphAt3D(d.x, d.y, float(d.x), float(d.y), sheets[d.sheet], 0, 1), 0);
      if (oneAtATime) FlushCurrentVertexBatch();
    }
    screens[oneAtATime] = BackPixels();
    sent[oneAtATime] = CountOf("DrawPrimitive");
  }
  EXPECT_TRUE(screens[0] == screens[1]);
  EXPECT_EQ(sent[1], int(draws.size()));
  // The first two rows go out as two batches each; in the third every pair meets the next.
  EXPECT_LT(sent[0], sent[1] / 2);
}

// Filled boxes in a row go out as one batch, with the pixels of each box sent alone.
TEST_F(Batches, BoxesInARowAreOneBatch) {
  const Rect boxes[] = {{10, 10, 60, 40}, {50, 30, 90, 80}, {-20, 100, 30, 130}, {600, 450, 700, 500}, {5, 5, 5, 50}};
  std::vector<uint16_t> screens[2];
  for (const bool oneAtATime : {true, false}) {
    ClearBack();
    PlatD3DFakeClearCalls();
    uint32_t colour = 0x1234;
    for (const Rect& b : boxes) {
      ASSERT_EQ(FillBox3D(b.left, b.top, b.right, b.bottom, colour), 0);
      if (oneAtATime) FlushCurrentVertexBatch();
      colour = colour * 7 + 0x0841;
    }
    screens[oneAtATime] = BackPixels();
    EXPECT_EQ(CountOf("DrawPrimitive"), oneAtATime ? 4 : 1);
  }
  EXPECT_TRUE(screens[0] == screens[1]);
}

}  // namespace
