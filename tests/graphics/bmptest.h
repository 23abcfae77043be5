// Shared by the BMP and DIB tests: the image fixture on the headless GDI-like layer, with
// what the engine writes to the log caught, and no device context or bitmap of the layer
// left behind by a case.
#pragma once

#include "engine/base/log.h"
#include "imagetest.h"
#include "platform/display/display.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/kernel/kernel.h"

#include <string>
#include <vector>

struct BmpTest : ImageTest {
  std::string logged;  // Shift-JIS, as the log writes it
  void SetUp() override {
    ImageTest::SetUp();
    PlatDisplaySelectBackend("headless");
    PlatGdiFakeReset();
    SetLogDebuggerOnly(1);
    PlatSetDebugSink([](const char* text, void* self) { static_cast<BmpTest*>(self)->logged += text; },
                     this);
  }
  void TearDown() override {
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
    PlatSetAllocFailHook(nullptr);
    EXPECT_EQ(PlatGdiFakeLiveDCs(), 0) << "device contexts left behind";
    EXPECT_EQ(PlatGdiFakeLiveObjects(), 0) << "bitmaps left behind";
    PlatGdiFakeReset();
    ImageTest::TearDown();
  }
};

// A colour table of n distinct colours (0x00RRGGBB).
inline std::vector<uint32_t> Table(size_t n) {
  std::vector<uint32_t> t;
  for (size_t i = 0; i < n; i++) t.push_back(uint32_t(PatternSample(i + 7, 24)) | 0x010101);
  return t;
}

// Index rows looked up in a table; indexes past its end are black.
inline std::vector<std::vector<uint32_t>> Looked(const std::vector<uint32_t>& table,
                                                 const std::vector<std::vector<uint32_t>>& rows) {
  std::vector<std::vector<uint32_t>> out;
  for (const auto& row : rows) {
    out.emplace_back();
    for (uint32_t i : row) out.back().push_back(i < table.size() ? table[i] : 0);
  }
  return out;
}

// The picture's pixels as 0xRRGGBB, top row first.
inline std::vector<std::vector<uint32_t>> Colours(const GraphImage& image) {
  std::vector<std::vector<uint32_t>> out;
  for (uint32_t y = 0; y < image.height; y++) {
    out.emplace_back();
    for (uint32_t x = 0; x < image.width; x++)
      out.back().push_back(ReadImagePixelARGB(&image, int32_t(x), int32_t(y)) & 0xFFFFFF);
  }
  return out;
}
