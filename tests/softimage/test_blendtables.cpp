#include "engine/softimage/blendtables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace

TEST(Rects, ClipRect) {
  const Rect area{0, 0, 100, 100};
  struct Case {
    Rect in, out;
  } cases[] = {
      {{10, 10, 5, 20}, {10, 10, 10, 20}},  // empty, not negative
      {{-50, -50, -10, -10}, {0, 0, 0, 0}},
      {{150, 20, 200, 40}, {100, 20, 100, 40}},
      {{-5, 90, 50, 120}, {0, 90, 50, 100}},
      {{20, 30, 40, 60}, {20, 30, 40, 60}},
      {{30, 80, 40, 10}, {30, 80, 40, 80}},
  };
  for (const Case& c : cases) {
    Rect r = c.in;
    EXPECT_EQ(ClipRect(&r, &area), 0);
    EXPECT_TRUE(SameRect(r, c.out)) << c.in.left << "," << c.in.top << "," << c.in.right << ","
                                    << c.in.bottom << " -> " << r.left << "," << r.top << ","
                                    << r.right << "," << r.bottom;
  }
  // Against an area that does not start at 0.
  Rect inner{10, 20, 30, 40};
  Rect r{0, 0, 15, 25};
  ClipRect(&r, &inner);
  EXPECT_TRUE(SameRect(r, Rect{10, 20, 15, 25}));
}

TEST(Rects, NormalizeAndSize) {
  Rect r{10, 20, 0, 5};
  EXPECT_EQ(NormalizeRect(&r), 0);
  EXPECT_TRUE(SameRect(r, Rect{0, 5, 10, 20}));
  int32_t w = -1, h = -1;
  EXPECT_EQ(GetRectSize(&r, &w, &h), 0);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 15);
  Rect flat{3, 3, 7, 3};
  EXPECT_EQ(GetRectSize(&flat, nullptr, &h), 0);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(GetRectSize(&flat, &w, nullptr), 0);
  EXPECT_EQ(w, 4);
}

TEST(BlendTables, SpotValues) {
  EXPECT_EQ(BuildBlendTables(), 0);
  const int32_t* diff128 = &BlendDiffTable[128][256];
  const int32_t* diff255 = &BlendDiffTable[255][256];
  struct Case {
    int64_t got, expected;
  } cases[] = {
      {BlendMulTable[128][255], 128}, {BlendMulTable[255][255], 255}, {BlendMulTable[0][200], 0},
      {BlendMulTable[200][100], 78},  {BlendMulTable[1][254], 0},     {BlendMulTable[255][1], 1},
      {diff255[-255], -255},          {diff128[-1], 0},  // toward zero, not -1
      {diff128[255], 128},            {diff128[-255], -128},          {diff128[0], 0},
      {BlendDiffTable[3][1], -3},     // d = -255 in row 3: -765 / 255
      {BlendMix6Table[32][63][0], 32}, {BlendMix6Table[63][17][40], 17},
      {BlendMix6Table[0][17][40], 40}, {BlendMix6Table[20][50][10], 22},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
  }
}

TEST(BlendTables, BuiltOnce) {
  BuildBlendTables();
  const uint32_t kept = BlendMulTable[128][255];
  BlendMulTable[128][255] = 7;  // a second call finds the tables built and leaves them
  EXPECT_EQ(BuildBlendTables(), 0);
  EXPECT_EQ(BlendMulTable[128][255], 7u);
  BlendMulTable[128][255] = kept;  // the tests after this one draw with the table
}

TEST(BlendTables, BlendGraphCurve) {
  struct Point {
    int i, value;
  };
  struct Case {
    int p, r;
    std::vector<Point> points;
  } cases[] = {
      {0, 0, {{0, 255}, {128, 255}, {255, 255}}},
      {0, 77, {{0, 255}, {255, 255}}},
      {128, 255, {{0, 0}, {1, 1}, {128, 128}, {254, 254}, {255, 255}}},
      {128, 0, {{0, 0}, {127, 0}, {128, 128}, {129, 255}, {255, 255}}},
      {255, 255, {{0, 0}, {254, 0}, {255, 1}}},
      // Out-of-range arguments are clamped: no division by zero.
      {-20, -1, {{0, 255}, {255, 255}}},
      {1000, 1000, {{0, 0}, {254, 0}, {255, 1}}},
  };
  for (const Case& c : cases) {
    BuildBlendGraphCurve(c.p, c.r);
    for (const Point& pt : c.points) {
      EXPECT_EQ(BlendGraphCurve[pt.i], pt.value) << "p " << c.p << " r " << c.r << " i " << pt.i;
    }
  }
  BuildBlendGraphCurve(128, 255);
  for (int i = 0; i < 256; i++) EXPECT_EQ(BlendGraphCurve[i], i);
}
