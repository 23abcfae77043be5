// Helpers for the textured-triangle tests: vertex lists, a source whose texels name their
// own position, and the spans a draw covered.
#pragma once

#include "blitfixture.h"
#include "engine/softimage/triangle.h"

#include <array>
#include <optional>
#include <utility>

using Corners = std::array<TriangleVertex, 3>;

// Texel (x, y) of the position texture; byte 3 stays 0, so no texel equals kUntouched.
inline uint32_t PositionTexel(int x, int y) {
  return 0x00800000u | uint32_t(y) << 12 | uint32_t(x);
}
constexpr uint32_t kUntouched = 0xFFFFFFFFu;

// A 32-bit source whose texel (x, y) is PositionTexel(x, y).
inline void FillPositions(TestImage& src) {
  for (int y = 0; y < src.img.height; y++) {
    for (int x = 0; x < src.img.width; x++) src.Set(x, y, PositionTexel(x, y));
  }
}

// Each row's first and last changed column (nullopt for none), checking that the changed
// pixels of a row are one run.
inline std::vector<std::optional<std::pair<int, int>>> ChangedSpans(const TestImage& dst,
                                                                    uint32_t untouched) {
  std::vector<std::optional<std::pair<int, int>>> rows;
  for (int y = 0; y < dst.img.height; y++) {
    std::optional<std::pair<int, int>> span;
    for (int x = 0; x < dst.img.width; x++) {
      if (dst.Get(x, y) == untouched) continue;
      if (span) {
        EXPECT_EQ(span->second, x - 1) << "row " << y << " has a gap before column " << x;
        span->second = x;
      } else {
        span = std::make_pair(x, x);
      }
    }
    rows.push_back(span);
  }
  return rows;
}

// The draw state at its reset values and the tables built; the draw state and the blend
// curve are put back as they were after each test.
class TriangleTest : public BlitTest {
 protected:
  void SetUp() override {
    savedState_ = g_DrawState;
    std::memcpy(savedCurve_, BlendGraphCurve, sizeof savedCurve_);
    BlitTest::SetUp();
  }
  void TearDown() override {
    g_DrawState = savedState_;
    std::memcpy(BlendGraphCurve, savedCurve_, sizeof savedCurve_);
  }
  static void Draw(TestImage& dst, const TestImage& src, const Corners& c, int trans = 0,
                   const TestImage* blend = nullptr) {
    DrawMemImgTriangle(&dst.img, &src.img, c.data(), trans, blend ? &blend->img : nullptr, 0);
  }

 private:
  DrawState savedState_{};
  uint8_t savedCurve_[256]{};
};
