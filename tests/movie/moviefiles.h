// Movies made by the movie writer for the movie tests, waiting on the decoder thread, and
// the fixture of the tests that need no screen.
#pragma once

#include "base/logfixture.h"
#include "engine/base/memory.h"
#include "engine/file/writer/archivewriter.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "tools/krmovie/moviewriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

inline std::string MovieBytes(const MovieWriterSpec& spec) {
  std::string bytes;
  EXPECT_EQ(WriteMovie(spec, &bytes), 0);
  return bytes;
}

// A tracked copy of the bytes, as CreateMovieDecoder takes them.
inline uint8_t* TrackedCopy(const std::string& bytes) {
  uint8_t* copy = static_cast<uint8_t*>(TrackedAlloc(bytes.size() ? bytes.size() : 1, "", 0));
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  return copy;
}

// Waits until the decoder thread has made the current frame. The thread runs by itself:
// nothing here depends on the clock, only on the thread finishing its work.
inline void WaitForFrame(const MovieDecoder* d) {
  while (!IsMovieFrameReady(d)) std::this_thread::yield();
}

// The frame number the picture shows (ReadMovieFrameNumber over an XRGB8888 image).
inline int32_t FrameNumberOf(const GraphImage* image) {
  return ReadMovieFrameNumber(image->pixels, int32_t(image->width), int32_t(image->height), int32_t(image->pitch));
}

// An archive of the file layer, as krapack packs one, holding one file.
inline void WriteArchive(const std::string& path, const char* entry, const std::string& bytes) {
  const ArchiveWriteItem item{entry, 0, bytes.data(), bytes.size(), 0, 0};
  const ArchiveWriteOptions options{3, ARCHIVE_COMPRESS_NONE, nullptr, 0};
  ArchiveBytes archive{};
  ASSERT_EQ(PackArchive(&item, 1, &options, &archive), 0);
  ASSERT_EQ(SaveArchiveBytes(path.c_str(), &archive), 0);
  FreeArchiveBytes(&archive);
}

// The frame number a movie-fed graph's pixels show; below 0 when they cannot be read.
inline int32_t GraphFrameNumber(int32_t graph) {
  const GraphRecord* g = LookupGraph(graph);
  if (!g || g->surfaceCount != 1) return -100;
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  int32_t pitch = 0;
  uint8_t* pixels = nullptr;
  const ColorFormat* format = nullptr;
  if (!piece || LockSurfaceData(piece->surfaceData, &pitch, &pixels, 0, nullptr, &format) != 0) return -101;
  std::vector<uint32_t> xrgb(size_t(g->width) * size_t(g->height));
  for (int32_t y = 0; y < g->height; y++)
    for (int32_t x = 0; x < g->width; x++) {
      const uint8_t* at = pixels + int64_t(piece->sourceY + y) * pitch + (piece->sourceX + x) * format->bytesPerPixel;
      int32_t r = 0, gr = 0, b = 0;
      PixelValueToColor(format, ReadPixelValue(at, format->bytesPerPixel), &r, &gr, &b, nullptr);
      xrgb[size_t(y) * size_t(g->width) + size_t(x)] = uint32_t(r) << 16 | uint32_t(gr) << 8 | uint32_t(b);
    }
  UnlockSurfaceData(piece->surfaceData, nullptr);
  return ReadMovieFrameNumber(xrgb.data(), g->width, g->height, g->width * 4);
}

// The log on the manual clock and the tables built; every test ends with no movie and no
// tracked block left.
struct MovieFixture : LogFixture {
  int32_t blocksBefore = 0;
  void SetUp() override {
    LogFixture::SetUp();
    BuildYuvTables();
    blocksBefore = GetTrackedBlockCount();
  }
  void TearDown() override {
    EXPECT_EQ(GetMovieCount(), 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left";
    LogFixture::TearDown();
  }
};
