// Lines: the walk and its end rule, the clipping against the draw area, segments that
// miss the area beside a corner, lines on alpha images and the record list.
#include "blitfixture.h"
#include "engine/softimage/boxline.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <tuple>

namespace {

using Pt = std::pair<int, int>;  // x, y

// Draws the line with an add of 1 into a cleared kind-1 image, so that a pixel drawn
// twice would show; returns the drawn pixels sorted by row, then column.
std::vector<Pt> Drawn(TestImage& img, int x1, int y1, int x2, int y2) {
  for (int y = 0; y < img.img.height; y++) std::memset(img.Row(y), 0, size_t(img.img.width) * 4);
  g_DrawState.blendMode = BLEND_ADD;
  g_DrawState.blendParam = 255;
  DrawMemImgLine(&img.img, x1, y1, x2, y2, 1);
  std::vector<Pt> out;
  for (int y = 0; y < img.img.height; y++) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(img.Row(y));
    for (int x = 0; x < img.img.width; x++) {
      if (row[x] > 1) ADD_FAILURE() << "drawn twice at " << x << "," << y;
      if (row[x]) out.push_back({x, y});
    }
  }
  return out;
}

std::vector<Pt> Sorted(std::vector<Pt> v) {
  std::sort(v.begin(), v.end(), [](Pt a, Pt b) {
    return std::tie(a.second, a.first) < std::tie(b.second, b.first);
  });
  return v;
}
std::vector<Pt> Row(int y, int x0, int x1) {
  std::vector<Pt> v;
  for (int x = x0; x <= x1; x++) v.push_back({x, y});
  return v;
}
std::vector<Pt> Column(int x, int y0, int y1) {
  std::vector<Pt> v;
  for (int y = y0; y <= y1; y++) v.push_back({x, y});
  return v;
}
std::vector<Pt> Diagonal(int from, int to) {
  std::vector<Pt> v;
  for (int i = from; i <= to; i++) v.push_back({i, i});
  return v;
}

// The walk from (x1, y1) toward (x2, y2) over every pixel, no area at all: the pixels
// the line stands for.
std::vector<Pt> UnclippedWalk(int x1, int y1, int x2, int y2) {
  int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
  int sx = x2 < x1 ? -1 : 1, sy = y2 < y1 ? -1 : 1;
  std::vector<Pt> out;
  int x = x1, y = y1;
  if (dx >= dy) {
    for (int i = 0, e = 0; i < dx; i++, x += sx) {
      out.push_back({x, y});
      if ((e += dy) >= dx) y += sy, e -= dx;
    }
  } else {
    for (int i = 0, e = 0; i < dy; i++, y += sy) {
      out.push_back({x, y});
      if ((e += dx) >= dy) x += sx, e -= dy;
    }
  }
  return out;
}
bool Inside(Pt p, const Rect& a) {
  return p.first >= a.left && p.first < a.right && p.second >= a.top && p.second < a.bottom;
}

// The clipping rules followed to the letter, including what they draw for a segment that
// passes the bounding-box test but misses the area: the pixels of the clipped walk.
std::vector<Pt> LiteralClippedWalk(int x1, int y1, int x2, int y2, const Rect& a) {
  const int L = a.left, T = a.top, R = a.right, B = a.bottom;
  if (std::min(x1, x2) >= R || std::min(y1, y2) >= B || std::max(x1, x2) < L ||
      std::max(y1, y2) < T) {
    return {};
  }
  double kx = y1 == y2 ? 0.0 : double(x2 - x1) / double(y2 - y1);
  double ky = x1 == x2 ? 0.0 : double(y2 - y1) / double(x2 - x1);
  double bx = x1 - kx * y1, by = y1 - ky * x1;
  auto X = [&](int y) { return int(std::trunc(kx * y + bx)); };
  auto Y = [&](int x) { return int(std::trunc(ky * x + by)); };
  if (x1 < L) x1 = L, y1 = Y(L);
  else if (x1 >= R) x1 = R - 1, y1 = Y(R - 1);
  if (x2 < L) x2 = L - 1, y2 = Y(L - 1);
  else if (x2 >= R) x2 = R, y2 = Y(R);
  if (y1 < T) y1 = T, x1 = X(T);
  else if (y1 >= B) y1 = B - 1, x1 = X(B - 1);
  if (y2 < T) y2 = T - 1, x2 = X(T - 1);
  else if (y2 >= B) y2 = B, x2 = X(B);
  x1 = std::clamp(x1, L, R - 1);
  x2 = std::clamp(x2, L - 1, R);
  y1 = std::clamp(y1, T, B - 1);
  y2 = std::clamp(y2, T - 1, B);
  return UnclippedWalk(x1, y1, x2, y2);
}

TEST_F(BlitTest, LineWalksAndLeavesItsEndPointOut) {
  TestImage img(MEMIMG_KIND_XRGB8888, 100, 100);
  g_DrawState.drawArea = {0, 0, 100, 100};
  struct Case {
    int x1, y1, x2, y2;
    std::vector<Pt> expected;
  } cases[] = {
      {0, 0, 10, 0, Row(0, 0, 9)},
      {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {4, 2, 0, 0, {{4, 2}, {3, 2}, {2, 1}, {1, 1}}},
      {0, 0, 2, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
      {3, 3, 0, 0, Diagonal(1, 3)},
      {5, 5, 5, 5, {}},
      {5, 5, 6, 5, {{5, 5}}},
      {50, 60, 50, 57, Column(50, 58, 60)},
      {-10, 50, 200, 50, Row(50, 0, 99)},
      {200, 50, -10, 50, Row(50, 0, 99)},
      {50, -10, 50, 200, Column(50, 0, 99)},
      {0, 0, 100, 100, Diagonal(0, 99)},
      {-20, 10, -5, 40, {}},   // both ends left of the area
      {10, 100, 60, 130, {}},  // both ends below it
      {INT32_MIN, 50, INT32_MAX, 50, Row(50, 0, 99)},
      {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, Diagonal(0, 99)},
      {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Drawn(img, c.x1, c.y1, c.x2, c.y2), Sorted(c.expected))
        << "(" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ")";
  }
}

TEST_F(BlitTest, LineThatMissesTheAreaBesideACornerDrawsNothing) {
  // Each passes the bounding-box test; clipping it pulls its start onto a corner of the
  // area, where the rules taken literally draw one pixel that is not on the line.
  TestImage img(MEMIMG_KIND_XRGB8888, 100, 100);
  const Rect area = {0, 0, 100, 100};
  g_DrawState.drawArea = area;
  const int lines[][4] = {
      {-50, 20, 20, -50}, {20, -50, -50, 20},    // top left
      {79, -50, 150, 20}, {150, 20, 79, -50},    // top right
      {-50, 79, 20, 150}, {20, 150, -50, 79},    // bottom left
      {150, 79, 79, 150}, {79, 150, 150, 79},    // bottom right
      {5, -10, -20, 30},                         // a steep one, just off the corner
  };
  for (const auto& l : lines) {
    EXPECT_EQ(LiteralClippedWalk(l[0], l[1], l[2], l[3], area).size(), 1u);
    EXPECT_TRUE(Drawn(img, l[0], l[1], l[2], l[3]).empty())
        << "(" << l[0] << "," << l[1] << ")-(" << l[2] << "," << l[3] << ")";
  }
  // One step further in, the same kind of segment crosses the corner pixel and draws it.
  EXPECT_EQ(Drawn(img, -50, 50, 50, -50), (std::vector<Pt>{{0, 0}}));
}

TEST_F(BlitTest, LinesThatMeetTheAreaDrawWhatTheClippingRulesGive) {
  // Random segments around an area inside a larger image: a segment with a pixel of its
  // own in the area draws exactly the clipped walk; one without draws nothing.
  TestImage img(MEMIMG_KIND_XRGB8888, 60, 45);
  const Rect areas[] = {{10, 5, 50, 40}, {0, 0, 60, 45}, {7, 3, 8, 30}};
  std::mt19937 rng(11);
  int missed = 0;
  for (const Rect& area : areas) {
    g_DrawState.drawArea = area;
    std::uniform_int_distribution<int> x(-60, 120), y(-60, 105);
    for (int n = 0; n < 4000; n++) {
      int x1 = x(rng), y1 = y(rng), x2 = x(rng), y2 = y(rng);
      std::vector<Pt> walk = UnclippedWalk(x1, y1, x2, y2);
      bool meets = std::any_of(walk.begin(), walk.end(), [&](Pt p) { return Inside(p, area); });
      std::vector<Pt> literal = LiteralClippedWalk(x1, y1, x2, y2, area);
      std::vector<Pt> drawn = Drawn(img, x1, y1, x2, y2);
      if (meets) {
        ASSERT_EQ(drawn, Sorted(literal)) << x1 << "," << y1 << " " << x2 << "," << y2;
      } else {
        ASSERT_TRUE(drawn.empty()) << x1 << "," << y1 << " " << x2 << "," << y2;
        missed += !literal.empty();
      }
    }
  }
  EXPECT_GT(missed, 0);  // the sample holds segments the literal rules would mark
}

TEST_F(BlitTest, LineClipsToTheImageAndToAnEmptyArea) {
  TestImage img(MEMIMG_KIND_XRGB8888, 20, 20);
  g_DrawState.drawArea = {0, 0, 640, 480};  // larger than the image
  EXPECT_EQ(Drawn(img, -5, 10, 50, 10), Row(10, 0, 19));
  EXPECT_EQ(Drawn(img, 0, 0, 40, 40), Diagonal(0, 19));
  EXPECT_EQ(Drawn(img, 19, 25, 19, -3), Column(19, 0, 19));
  g_DrawState.drawArea = {5, 5, 5, 15};  // no width
  EXPECT_TRUE(Drawn(img, -5, 10, 50, 10).empty());
  EXPECT_TRUE(Drawn(img, 5, 0, 5, 20).empty());
}

TEST_F(BlitTest, LineOnAlphaImagesKeepsTheirPixelSize) {
  // Kind 0: the colour lands in the low half of each 4-byte pixel, the alpha byte stays.
  TestImage a16(MEMIMG_KIND_RGB565, 4, 1, 0, 0, 1);
  a16.Fill(0x00AB1234);
  DrawMemImgLine(&a16.img, 0, 0, 3, 0, 0xF81F);
  EXPECT_EQ(a16.All(), (std::vector<uint32_t>{0x00ABF81F, 0x00ABF81F, 0x00ABF81F, 0x00AB1234}));
  a16.Fill(0x00CDFFFF);
  SetBlend(BLEND_MIX, 128);
  DrawMemImgLine(&a16.img, 1, 0, 2, 0, 0);
  EXPECT_EQ(a16.All(), (std::vector<uint32_t>{0x00CDFFFF, 0x00CD8410, 0x00CDFFFF, 0x00CDFFFF}));

  // Kind 1: as without the flag; the copy stores byte 3, the arithmetic keeps it.
  TestImage a32(MEMIMG_KIND_XRGB8888, 2, 1, 0, 0, 1);
  a32.Fill(0x7FFFFFFF);
  SetBlend(BLEND_COPY, 0);
  DrawMemImgLine(&a32.img, 0, 0, 1, 0, 0x12345678);
  SetBlend(BLEND_MULTIPLY, 0);
  DrawMemImgLine(&a32.img, 1, 0, 2, 0, 0x00FFFFFF);
  EXPECT_EQ(a32.All(), (std::vector<uint32_t>{0x12345678, 0x7FFEFEFE}));

  // Paletted and one-channel images are left alone.
  TestImage paletted(MEMIMG_KIND_RGB565, 4, 1, 0, 1), gray(MEMIMG_KIND_GRAY8, 4, 1),
      depth(MEMIMG_KIND_GRAY16, 4, 1);
  SetBlend(BLEND_COPY, 0);
  for (TestImage* img : {&paletted, &gray, &depth}) {
    DrawMemImgLine(&img->img, 0, 0, 3, 0, 0xFF);
    EXPECT_EQ(img->All(), std::vector<uint32_t>(4, 0));
  }
  MEMIMG gone{};
  DrawMemImgLine(&gone, 0, 0, 3, 0, 0xFF);
}

TEST_F(BlitTest, LinesAreDrawnInRecordOrderWithTheDrawStatesParameter) {
  TestImage img(MEMIMG_KIND_XRGB8888, 10, 4);
  LineRecord lines[3] = {
      {0, 0, 6, 0, 0x00000011, 0},
      {2, 0, 9, 0, 0x00000022, 0},
      {4, 0, 4, 3, 0x00000033, 0},
  };
  DrawMemImgLines(&img.img, lines, 3);
  EXPECT_EQ(img.Get(1, 0), 0x11u);
  EXPECT_EQ(img.Get(3, 0), 0x22u);
  EXPECT_EQ(img.Get(4, 0), 0x33u);
  EXPECT_EQ(img.Get(5, 0), 0x22u);
  EXPECT_EQ(img.Get(4, 2), 0x33u);
  EXPECT_EQ(img.Get(9, 0), 0u);

  // The records' own parameter is not read: the draw state's is.
  SetBlend(BLEND_MIX, 128);
  TestImage a(MEMIMG_KIND_XRGB8888, 10, 4), b(MEMIMG_KIND_XRGB8888, 10, 4);
  DrawMemImgLines(&a.img, lines, 3);
  for (LineRecord& l : lines) l.blendParam = 255;
  DrawMemImgLines(&b.img, lines, 3);
  EXPECT_EQ(a.All(), b.All());
  EXPECT_EQ(a.Get(1, 0), 0x08u);

  TestImage untouched(MEMIMG_KIND_XRGB8888, 10, 4);
  DrawMemImgLines(&untouched.img, lines, 0);
  DrawMemImgLines(&untouched.img, lines, -1);
  DrawMemImgLines(&untouched.img, nullptr, 3);
  EXPECT_EQ(untouched.All(), std::vector<uint32_t>(40, 0));
}

}  // namespace
