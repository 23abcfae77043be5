// Small software images built in a few lines for the blit tests, and a fresh draw state.
#pragma once

#include "engine/pixel/colorformat.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/blit.h"
#include "engine/softimage/memimg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

// An image that releases itself; pixels are raw values of its format.
struct TestImage {
  MEMIMG img{};
  TestImage(int kind, int w, int h, uint32_t key = 0, int palette = 0, int alpha = 0,
            int extra = 0) {
    EXPECT_EQ(CreateMemImg(&img, w, h, -1, key, kind, palette, alpha, extra, nullptr), 0);
    for (int y = 0; y < h; y++) std::memset(Row(y), 0, size_t(w) * Bytes());
  }
  ~TestImage() { ReleaseMemImg(&img); }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  int Bytes() const { return img.data->format->bytesPerPixel; }
  uint8_t* Row(int y) const { return img.pixels + ptrdiff_t(y) * img.data->pitch; }
  uint32_t Get(int x, int y) const { return ReadPixelValue(Row(y) + x * Bytes(), Bytes()); }
  void Set(int x, int y, uint32_t v) { WritePixelValue(Row(y) + x * Bytes(), Bytes(), v); }
  void Fill(uint32_t v) {
    for (int y = 0; y < img.height; y++) {
      for (int x = 0; x < img.width; x++) Set(x, y, v);
    }
  }
  void SetRow(int y, const std::vector<uint32_t>& values) {
    for (size_t x = 0; x < values.size(); x++) Set(int(x), y, values[x]);
  }
  std::vector<uint32_t> All() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < img.height; y++) {
      for (int x = 0; x < img.width; x++) out.push_back(Get(x, y));
    }
    return out;
  }
  void SetPalette(int index, uint32_t value) {
    if (img.data->kind == MEMIMG_KIND_XRGB8888) {
      static_cast<uint32_t*>(img.data->palette)[index] = value;
    } else {
      static_cast<uint16_t*>(img.data->palette)[index] = uint16_t(value);
    }
  }
};

// Tables built, the draw state at its reset values over a large area, MMX off.
class BlitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildBlendTables();
    BuildBlendGraphCurve(0, 0);
    g_DrawState.drawArea = {0, 0, 640, 480};
    SetBlend(0, 0);
    SetBright(255, 255, 255);
    SetBlitMmxUsable(0);
  }
  static void SetBlend(int32_t mode, int32_t param) {
    g_DrawState.blendMode = mode;
    g_DrawState.blendParam = param;
  }
  static void SetBright(uint8_t red, uint8_t green, uint8_t blue) {
    g_DrawState.brightRed = red;
    g_DrawState.brightGreen = green;
    g_DrawState.brightBlue = blue;
  }
};

// Parameterised by the image kind (0: 16-bit, 1: 32-bit) and the MMX setting.
class KindMmxTest : public BlitTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    BlitTest::SetUp();
    SetBlitMmxUsable(Mmx());
  }
  static int Kind() { return std::get<0>(GetParam()); }
  static int Mmx() { return std::get<1>(GetParam()); }
  static bool Is32() { return Kind() == MEMIMG_KIND_XRGB8888; }
};

// The cases of a KindMmxTest suite: Kind16Plain, Kind16Mmx, Kind32Plain, Kind32Mmx.
inline const auto kKindsAndMmx = ::testing::Combine(::testing::Values(0, 1), ::testing::Values(0, 1));
inline std::string KindMmxName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
  return std::string(std::get<0>(info.param) ? "Kind32" : "Kind16") + (std::get<1>(info.param) ? "Mmx" : "Plain");
}
