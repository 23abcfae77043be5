// The textured triangle's traversal: which pixels a triangle covers, which texel each
// takes, vertex order and winding, clipping, refusals and the coordinate limits.
#include "trianglefixture.h"

#include <algorithm>
#include <climits>

namespace {

using Span = std::optional<std::pair<int, int>>;

// Texture coordinates equal to the positions.
Corners AtPositions(std::initializer_list<std::pair<int, int>> points) {
  Corners c{};
  int i = 0;
  for (auto [x, y] : points) c[size_t(i++)] = {x, y, x, y};
  return c;
}

// Row y of dst changed exactly over want[y] (nothing past the end of want), each changed
// pixel (x, y) holding texel (x, y) of the position texture.
void ExpectPositionSpans(const TestImage& dst, const std::vector<Span>& want) {
  std::vector<Span> rows = ChangedSpans(dst, kUntouched);
  for (int y = 0; y < dst.img.height; y++) {
    Span wanted = size_t(y) < want.size() ? want[size_t(y)] : std::nullopt;
    EXPECT_EQ(rows[size_t(y)], wanted) << "row " << y;
    if (!rows[size_t(y)]) continue;
    for (int x = rows[size_t(y)]->first; x <= rows[size_t(y)]->second; x++) {
      EXPECT_EQ(dst.Get(x, y), PositionTexel(x, y)) << x << ", " << y;
    }
  }
}

struct CoverageCase {
  const char* name;
  Corners corners;
  int firstRow;
  std::vector<std::pair<int, int>> spans;  // one per row from firstRow
};

TEST_F(TriangleTest, CoversTheRowsAndColumnsOfItsEdges) {
  const CoverageCase cases[] = {
      {"flat top", AtPositions({{0, 0}, {4, 0}, {0, 4}}), 0, {{0, 4}, {0, 3}, {0, 2}, {0, 1}}},
      {"middle vertex left of the long edge",
       AtPositions({{2, 0}, {0, 3}, {5, 6}}),
       0,
       {{2, 2}, {1, 3}, {1, 3}, {0, 4}, {2, 4}, {3, 5}}},
      {"middle vertex right of the long edge",
       AtPositions({{2, 0}, {5, 3}, {0, 6}}),
       0,
       {{2, 2}, {2, 3}, {1, 4}, {1, 5}, {1, 3}, {0, 2}}},
      // Row 14 ends at 27: the right side's second segment starts one unit right of the
      // middle vertex, where a start at the vertex would reach 28.
      {"second right segment",
       AtPositions({{15, 10}, {25, 12}, {30, 16}}),
       10,
       {{15, 15}, {18, 20}, {20, 25}, {23, 26}, {25, 27}, {28, 29}}},
      {"flat bottom", AtPositions({{2, 0}, {0, 4}, {4, 4}}), 0, {{2, 2}, {2, 3}, {1, 3}, {1, 4}}},
      // As wide as the coordinates allow: edge differences past 2^31 units, a step of more
      // than 2^31 per row, a reference vertex whose u is -2^31.
      {"flat top from -8192 to 8191",
       AtPositions({{-8192, 0}, {8191, 0}, {0, 3}}),
       0,
       {{0, 63}, {0, 63}, {0, 63}}},
      {"middle vertex 16383 columns right of the others",
       AtPositions({{-8192, 0}, {8191, 2}, {-8192, 4}}),
       1,
       {{0, 0}, {0, 63}, {0, 0}}},
  };
  for (const CoverageCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage src(1, 64, 64);
    FillPositions(src);
    TestImage dst(1, 64, 24);
    dst.Fill(kUntouched);
    Draw(dst, src, c.corners);
    std::vector<Span> want(size_t(c.firstRow), std::nullopt);
    for (const auto& span : c.spans) want.push_back(span);
    ExpectPositionSpans(dst, want);
  }
}

TEST_F(TriangleTest, TexelsOutsideTheSourceLeaveTheirPixels) {
  // The column-4 pixel of row 0 is covered but its u is 4 texels: past a 4 x 4 source.
  TestImage src(1, 4, 4);
  FillPositions(src);
  TestImage dst(1, 8, 8);
  dst.Fill(kUntouched);
  Draw(dst, src, AtPositions({{0, 0}, {4, 0}, {0, 4}}));
  std::vector<Span> rows = ChangedSpans(dst, kUntouched);
  EXPECT_EQ(rows[0], Span({0, 3}));
  EXPECT_EQ(rows[1], Span({0, 3}));
  EXPECT_EQ(rows[2], Span({0, 2}));
  EXPECT_EQ(rows[3], Span({0, 1}));
  EXPECT_EQ(rows[4], std::nullopt);

  // Negative texture coordinates: u = x - 4 and v = y - 2 draw only where both are >= 0.
  TestImage wide(1, 16, 16);
  FillPositions(wide);
  dst.Fill(kUntouched);
  Draw(dst, wide, Corners{{{0, 0, -4, -2}, {8, 0, 4, -2}, {0, 8, -4, 6}}});
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) {
      bool covered = x <= 8 - y && y < 8;
      uint32_t want = covered && x >= 4 && y >= 2 ? PositionTexel(x - 4, y - 2) : kUntouched;
      EXPECT_EQ(dst.Get(x, y), want) << x << ", " << y;
    }
  }
}

TEST_F(TriangleTest, GradientsScaleTheTexture) {
  // u runs twice as fast as x, v half as fast as y: pixel (x, y) takes texel (2x, y / 2).
  TestImage src(1, 32, 32);
  FillPositions(src);
  TestImage dst(1, 16, 16);
  dst.Fill(kUntouched);
  Draw(dst, src, Corners{{{0, 0, 0, 0}, {10, 0, 20, 0}, {0, 10, 0, 5}}});
  EXPECT_EQ(dst.Get(3, 4), PositionTexel(6, 2));
  EXPECT_EQ(dst.Get(9, 0), PositionTexel(18, 0));
  int drawn = 0;
  for (int y = 0; y < 16; y++) {
    for (int x = 0; x < 16; x++) {
      if (dst.Get(x, y) == kUntouched) continue;
      drawn++;
      EXPECT_EQ(dst.Get(x, y), PositionTexel(2 * x, y / 2)) << x << ", " << y;
    }
  }
  EXPECT_EQ(drawn, 11 + 10 + 9 + 8 + 7 + 6 + 5 + 4 + 3 + 2);
}

TEST_F(TriangleTest, QuadOfTwoTrianglesCoversTheSourceAndDrawsTheDiagonalTwice) {
  const Corners first{{{0, 0, 0, 0}, {10, 0, 10, 0}, {0, 10, 0, 10}}};
  const Corners second{{{10, 0, 10, 0}, {0, 10, 0, 10}, {10, 10, 10, 10}}};
  TestImage src(1, 10, 10);
  FillPositions(src);
  TestImage dst(1, 16, 16);
  dst.Fill(kUntouched);
  Draw(dst, src, first);
  Draw(dst, src, second);
  for (int y = 0; y < 16; y++) {
    for (int x = 0; x < 16; x++) {
      uint32_t want = x < 10 && y < 10 ? PositionTexel(x, y) : kUntouched;
      EXPECT_EQ(dst.Get(x, y), want) << x << ", " << y;
    }
  }

  // Added twice on the shared diagonal; column 10 of row 0 is visited but lies past the
  // source.
  SetBlend(BLEND_ADD, 255);
  src.Fill(0x10);
  dst.Fill(0);
  Draw(dst, src, first);
  Draw(dst, src, second);
  for (int y = 0; y < 16; y++) {
    for (int x = 0; x < 16; x++) {
      uint32_t want = x >= 10 || y >= 10 ? 0 : x == 10 - y ? 0x20 : 0x10;
      EXPECT_EQ(dst.Get(x, y), want) << x << ", " << y;
    }
  }
}

TEST_F(TriangleTest, EveryVertexOrderAndWindingGivesTheSamePixels) {
  const Corners shapes[] = {
      Corners{{{2, 0, 0, 0}, {0, 3, 5, 1}, {5, 6, 9, 9}}},
      Corners{{{15, 10, 3, 1}, {25, 12, 20, 4}, {30, 16, 12, 14}}},
      Corners{{{0, 0, 0, 0}, {9, 0, 9, 0}, {4, 7, 4, 7}}},    // flat top
      Corners{{{6, 1, 6, 1}, {0, 8, 0, 8}, {13, 8, 13, 8}}},  // flat bottom
      Corners{{{1, 1, 0, 0}, {30, 3, 30, 2}, {2, 14, 1, 13}}},
      Corners{{{3, 2, 0, 0}, {3, 12, 0, 10}, {20, 7, 17, 5}}},  // vertical left edge
  };
  for (const Corners& shape : shapes) {
    TestImage src(1, 40, 40);
    FillPositions(src);
    TestImage first(1, 40, 24);
    first.Fill(kUntouched);
    Draw(first, src, shape);
    int order[3] = {0, 1, 2};
    do {
      SCOPED_TRACE(testing::Message() << "vertex " << shape[0].x << "," << shape[0].y << " order "
                                      << order[0] << order[1] << order[2]);
      TestImage dst(1, 40, 24);
      dst.Fill(kUntouched);
      Draw(dst, src,
           Corners{shape[size_t(order[0])], shape[size_t(order[1])], shape[size_t(order[2])]});
      EXPECT_EQ(dst.All(), first.All());
    } while (std::next_permutation(order, order + 3));
  }
}

TEST_F(TriangleTest, VerticesOnOneLineDrawNothing) {
  const Corners lines[] = {
      AtPositions({{0, 0}, {5, 5}, {10, 10}}), AtPositions({{3, 3}, {3, 3}, {3, 3}}),
      AtPositions({{0, 2}, {5, 2}, {9, 2}}),   AtPositions({{4, 0}, {4, 9}, {4, 3}}),
      AtPositions({{1, 1}, {7, 4}, {1, 1}}),
  };
  TestImage src(1, 16, 16);
  FillPositions(src);
  for (const Corners& c : lines) {
    TestImage dst(1, 16, 16);
    dst.Fill(kUntouched);
    Draw(dst, src, c);
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(256, kUntouched)) << c[0].x << "," << c[0].y;
  }
}

// Every pixel inside the area as drawn without clipping, every pixel outside untouched.
TEST_F(TriangleTest, ClippingKeepsTexelsInPlace) {
  const Corners shapes[] = {
      Corners{{{0, 0, 0, 0}, {30, 4, 25, 3}, {8, 22, 5, 20}}},
      Corners{{{2, 1, 7, 1}, {36, 20, 1, 30}, {5, 23, 30, 2}}},
      Corners{{{20, 0, 0, 0}, {39, 23, 19, 23}, {0, 23, 0, 23}}},
  };
  const Rect areas[] = {
      {5, 0, 40, 24}, {0, 6, 40, 24},   {0, 0, 17, 24},       {0, 0, 40, 9},
      {7, 5, 21, 15}, {12, 12, 13, 13}, {-30, -30, 400, 400}, {10, 10, 10, 20},
  };
  SetBlend(BLEND_MIX, 200);  // a blend that reads the destination as well
  for (const Corners& shape : shapes) {
    TestImage src(1, 32, 32);
    FillPositions(src);
    TestImage whole(1, 40, 24);
    whole.Fill(0x00405060);
    Draw(whole, src, shape);
    for (const Rect& a : areas) {
      SCOPED_TRACE(testing::Message()
                   << "area " << a.left << "," << a.top << "," << a.right << "," << a.bottom);
      g_DrawState.drawArea = a;
      TestImage dst(1, 40, 24);
      dst.Fill(0x00405060);
      Draw(dst, src, shape);
      g_DrawState.drawArea = {0, 0, 640, 480};
      for (int y = 0; y < 24; y++) {
        for (int x = 0; x < 40; x++) {
          bool inside = x >= a.left && x < a.right && y >= a.top && y < a.bottom;
          ASSERT_EQ(dst.Get(x, y), inside ? whole.Get(x, y) : 0x00405060u) << x << ", " << y;
        }
      }
    }
  }
}

// Drawn partly above or left of the destination, a triangle gives the pixels the same
// triangle gives moved fully inside: rows and columns round down, so the texture stays in
// place and no row is drawn twice (the add would show it).
TEST_F(TriangleTest, NegativePositionsKeepTheTextureInPlace) {
  const Corners shapes[] = {
      Corners{{{-5, -3, 0, 0}, {12, -1, 17, 2}, {-2, 10, 3, 13}}},
      Corners{{{-7, -9, 0, 0}, {-12, 0, 5, 9}, {9, 7, 16, 16}}},  // middle vertex on row 0
      Corners{{{-6, -6, 0, 0}, {5, 4, 11, 10}, {-6, 9, 0, 15}}},
      Corners{{{-1, -1, 3, 3}, {-1, 6, 3, 10}, {6, -1, 10, 3}}},
  };
  SetBlend(BLEND_ADD, 255);
  for (const Corners& shape : shapes) {
    SCOPED_TRACE(testing::Message() << "first vertex " << shape[0].x << "," << shape[0].y);
    TestImage src(1, 24, 24);
    FillPositions(src);
    TestImage dst(1, 20, 20);
    Draw(dst, src, shape);
    Corners moved = shape;
    for (TriangleVertex& v : moved) v.x += 16, v.y += 16;
    TestImage big(1, 40, 40);
    Draw(big, src, moved);
    for (int y = 0; y < 20; y++) {
      for (int x = 0; x < 20; x++)
        ASSERT_EQ(dst.Get(x, y), big.Get(x + 16, y + 16)) << x << ", " << y;
    }
  }
}

TEST_F(TriangleTest, ModesWithoutAKernelDrawNothing) {
  TestImage src(1, 8, 8);
  src.Fill(0x00123456);
  for (int32_t mode : {5, 6, 7, 8, 9, 12, 255, -1, INT32_MIN}) {
    SetBlend(mode, 128);
    TestImage dst(1, 8, 8);
    dst.Fill(kUntouched);
    Draw(dst, src, AtPositions({{0, 0}, {8, 0}, {0, 8}}));
    EXPECT_EQ(dst.All(), std::vector<uint32_t>(64, kUntouched)) << "mode " << mode;
  }
}

TEST_F(TriangleTest, RefusesImagesItCannotDraw) {
  const Corners c = AtPositions({{0, 0}, {8, 0}, {0, 8}});
  struct Refusal {
    const char* name;
    int dstKind, dstPalette, dstAlpha;
    int srcKind;
    int blendKind, blendW, blendH;  // blendKind -1: none
    int release;                    // 1 source, 2 destination, 3 blend image
  };
  const Refusal cases[] = {
      {"source of the other kind", 1, 0, 0, 0, -1, 0, 0, 0},
      {"16-bit source on a 32-bit image", 0, 0, 0, 1, -1, 0, 0, 0},
      {"paletted destination", 1, 1, 0, 1, -1, 0, 0, 0},
      {"alpha destination", 1, 0, 1, 1, -1, 0, 0, 0},
      {"one-channel images", 2, 0, 0, 2, -1, 0, 0, 0},
      {"blend image of a colour kind", 1, 0, 0, 1, 1, 8, 8, 0},
      {"blend image of 16-bit channels", 1, 0, 0, 1, 3, 8, 8, 0},
      {"blend image narrower than the source", 1, 0, 0, 1, 2, 7, 8, 0},
      {"blend image shorter than the source", 0, 0, 0, 0, 2, 8, 7, 0},
      {"released source", 1, 0, 0, 1, -1, 0, 0, 1},
      {"released destination", 1, 0, 0, 1, -1, 0, 0, 2},
      {"released blend image", 1, 0, 0, 1, 2, 8, 8, 3},
  };
  for (const Refusal& r : cases) {
    SCOPED_TRACE(r.name);
    TestImage dst(r.dstKind, 8, 8, 0, r.dstPalette, r.dstAlpha);
    dst.Fill(0x77);
    std::vector<uint32_t> before = dst.All();
    TestImage src(r.srcKind, 8, 8);
    src.Fill(0x1234);
    std::optional<TestImage> blend;
    if (r.blendKind >= 0) blend.emplace(r.blendKind, r.blendW, r.blendH);
    MEMIMG* d = &dst.img;
    const MEMIMG* s = &src.img;
    const MEMIMG* b = blend ? &blend->img : nullptr;
    // An image released before the draw: a stale record of its own.
    MEMIMG gone{};
    ASSERT_EQ(CreateMemImg(&gone, 8, 8, -1, 0, r.release == 3 ? 2 : 1, 0, 0, 0, nullptr), 0);
    ReleaseMemImg(&gone);
    if (r.release == 1) s = &gone;
    if (r.release == 2) d = &gone;
    if (r.release == 3) b = &gone;
    DrawMemImgTriangle(d, s, c.data(), 0, b, 0);
    EXPECT_EQ(dst.All(), before);
  }
  // No source at all.
  TestImage dst(1, 8, 8);
  dst.Fill(0x77);
  DrawMemImgTriangle(&dst.img, nullptr, c.data(), 0, nullptr, 0x00FF00FF);
  EXPECT_EQ(dst.All(), std::vector<uint32_t>(64, 0x77));
}

TEST_F(TriangleTest, CoordinatesOutsideFourteenBitsDrawNothing) {
  TestImage src(1, 16, 16);
  FillPositions(src);
  const Corners inside = AtPositions({{0, 0}, {8, 0}, {0, 8}});
  for (int field = 0; field < 4; field++) {
    for (int32_t bad : {8192, -8193, INT32_MAX, INT32_MIN}) {
      Corners c = inside;
      int32_t* value[4] = {&c[1].x, &c[1].y, &c[1].u, &c[1].v};
      *value[field] = bad;
      TestImage dst(1, 16, 16);
      dst.Fill(kUntouched);
      Draw(dst, src, c);
      EXPECT_EQ(dst.All(), std::vector<uint32_t>(256, kUntouched))
          << "field " << field << " value " << bad;
    }
  }
}

TEST_F(TriangleTest, DrawAreaLargerThanTheDestinationStopsAtItsEdge) {
  g_DrawState.drawArea = {-10, -10, 640, 480};
  TestImage src(0, 1, 1);
  src.Fill(0x1234);
  TestImage dst(0, 8, 8);
  Draw(dst, src, Corners{{{-20, -20, 0, 0}, {100, -20, 0, 0}, {-20, 100, 0, 0}}});
  EXPECT_EQ(dst.All(), std::vector<uint32_t>(64, 0x1234));
}

}  // namespace
