// A DirectDraw-style object on the headless display (a 1024 x 768 x 32 desktop at 60 Hz,
// the default modes), beside the headless test window, on the manual clock; and helpers
// that make surfaces and read and write their pixels.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "window_fixture.h"

#include <cstring>
#include <vector>

inline PlatDDPixelFormat RgbFormat(uint32_t bits, uint32_t r, uint32_t g, uint32_t b) {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB | (bits == 8 ? uint32_t(PLAT_DDPF_PALETTEINDEXED8) : 0u);
  f.bitCount = bits;
  f.rMask = r;
  f.gMask = g;
  f.bMask = b;
  return f;
}

inline PlatDDPixelFormat ZFormat16() {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_ZBUFFER;
  f.bitCount = 16;
  f.rMask = 0xFFFF;
  return f;
}

class DDrawTest : public HeadlessWindow {
 protected:
  PlatDDraw dd = 0;

  void SetUp() override {
    HeadlessWindow::SetUp();
    ResetDisplay();
    ASSERT_EQ(PlatDDrawCreate(&dd), PLAT_DD_OK);
  }
  void TearDown() override {
    ResetDisplay();
    HeadlessWindow::TearDown();
  }
  static void ResetDisplay() {
    PlatDDrawFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
  }

  static PlatDDSurfaceDesc Desc(uint32_t caps, uint32_t width = 0, uint32_t height = 0,
                                const PlatDDPixelFormat* format = nullptr) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    d.flags = PLAT_DDSD_CAPS | (width ? PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT : 0u);
    d.caps = caps;
    d.width = width;
    d.height = height;
    if (format) {
      d.flags |= PLAT_DDSD_PIXELFORMAT;
      d.pixelFormat = *format;
    }
    return d;
  }
  PlatDDSurface Make(uint32_t caps, uint32_t width, uint32_t height, const PlatDDPixelFormat* format = nullptr) {
    PlatDDSurfaceDesc d = Desc(caps, width, height, format);
    PlatDDSurface s = 0;
    EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &s), PLAT_DD_OK);
    return s;
  }
  PlatDDSurface MakePrimary(uint32_t extraCaps = 0) {
    PlatDDSurfaceDesc d = Desc(PLAT_DDSCAPS_PRIMARYSURFACE | extraCaps);
    if (extraCaps & PLAT_DDSCAPS_FLIP) {
      d.flags |= PLAT_DDSD_BACKBUFFERCOUNT;
      d.backBufferCount = 1;
    }
    PlatDDSurface s = 0;
    EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &s), PLAT_DD_OK);
    return s;
  }

  // Every pixel value of a surface, row by row (through a lock).
  static std::vector<uint32_t> Pixels(PlatDDSurface s) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    std::vector<uint32_t> out;
    if (PlatDDSurfaceLock(s, nullptr, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return out;
    const uint32_t bytes = d.pixelFormat.bitCount / 8;
    for (uint32_t y = 0; y < d.height; y++)
      for (uint32_t x = 0; x < d.width; x++) {
        uint32_t v = 0;
        std::memcpy(&v, static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, bytes);
        out.push_back(v);
      }
    PlatDDSurfaceUnlock(s, nullptr);
    return out;
  }
  static void SetPixels(PlatDDSurface s, const std::vector<uint32_t>& values) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    ASSERT_EQ(PlatDDSurfaceLock(s, nullptr, &d, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
    const uint32_t bytes = d.pixelFormat.bitCount / 8;
    ASSERT_EQ(values.size(), size_t(d.width) * d.height);
    for (uint32_t y = 0; y < d.height; y++)
      for (uint32_t x = 0; x < d.width; x++)
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &values[y * d.width + x],
                    bytes);
    ASSERT_EQ(PlatDDSurfaceUnlock(s, nullptr), PLAT_DD_OK);
  }
};
