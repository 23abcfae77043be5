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
#include <ogg/ogg.h>

#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

inline std::string MovieBytes(const MovieWriterSpec& spec) {
  std::string bytes;
  EXPECT_EQ(WriteMovie(spec, &bytes), 0);
  return bytes;
}

// The movie with the body of its page `index` (0 for the first) changed by patch, and
// the page's checksum made anew, so that libogg still takes the page and only what reads
// its packets can object. The bytes are returned unchanged when there is no such page.
inline std::string PatchOggPage(std::string bytes, int index, void (*patch)(unsigned char* body, size_t size)) {
  size_t at = 0;
  for (int page = 0; at + 27 <= bytes.size(); page++) {
    const size_t segments = uint8_t(bytes[at + 26]);
    const size_t headerLength = 27 + segments;
    if (at + headerLength > bytes.size()) break;
    size_t bodyLength = 0;
    for (size_t i = 0; i < segments; i++) bodyLength += uint8_t(bytes[at + 27 + i]);
    if (at + headerLength + bodyLength > bytes.size()) break;
    unsigned char* header = reinterpret_cast<unsigned char*>(bytes.data() + at);
    if (page == index) {
      patch(header + headerLength, bodyLength);
      ogg_page whole{header, long(headerLength), header + headerLength, long(bodyLength)};
      ogg_page_checksum_set(&whole);
      break;
    }
    at += headerLength + bodyLength;
  }
  return bytes;
}

// A picture packet made one that libtheora refuses: a keyframe whose three reserved bits
// are set.
inline void DamagePicturePacket(unsigned char* body, size_t size) {
  if (size == 0) return;
  body[0] = 0x3F;  // a picture, a keyframe, quality index 63
  std::memset(body + 1, 0xFF, size - 1);
}

// The movies with damaged pictures both movie ways play: ten frames of 50 x 30, a
// keyframe every fourth, one packet a page after the two header pages, so that page
// 2 + k holds frame k.
inline MovieWriterSpec DamagedMovieSpec() {
  return MovieWriterSpec{.width = 50, .height = 30, .offsetX = 3, .offsetY = 5, .frames = 10, .keyframeInterval = 4};
}
inline std::string DamagedMovie(const std::vector<int>& frames) {
  std::string bytes;
  EXPECT_EQ(WriteMovie(DamagedMovieSpec(), &bytes), 0);
  for (int k : frames) bytes = PatchOggPage(bytes, 2 + k, DamagePicturePacket);
  return bytes;
}

// What a picture shows: kNoPicture while it is black, as before a movie's first
// picture, else its frame number (ReadMovieFrameNumber). Pixels are 0x??RRGGBB.
constexpr int32_t kNoPicture = -2;
inline int32_t PictureShows(const void* pixels, int32_t width, int32_t height, int32_t pitch) {
  uint32_t centre = 0;
  std::memcpy(&centre, static_cast<const uint8_t*>(pixels) + size_t(height / 2) * size_t(pitch) + size_t(width / 2) * 4, 4);
  if ((centre & 0xFFFFFF) == 0) return kNoPicture;
  return ReadMovieFrameNumber(pixels, width, height, pitch);
}

// How each way shows the damaged movies, frame by frame: a picture that did not decode
// leaves the last good one, and none before the first. Frames not listed (inter frames
// made on a missing reference) show whatever they decode to.
struct DamagedMovieCase {
  const char* name;
  std::vector<int> damaged;                        // frames whose packets are damaged
  std::vector<std::pair<int32_t, int32_t>> shows;  // frame, what it shows
};
inline const std::vector<DamagedMovieCase>& DamagedMovieCases() {
  static const std::vector<DamagedMovieCase> cases = {
      {"the first picture (the third page)", {0}, {{0, kNoPicture}, {4, 4}, {5, 5}, {9, 9}}},
      {"a picture in the middle", {2}, {{0, 0}, {1, 1}, {2, 1}, {4, 4}, {9, 9}}},
      {"a whole group of pictures", {4, 5, 6, 7}, {{3, 3}, {4, 3}, {7, 3}, {8, 8}, {9, 9}}},
  };
  return cases;
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

// What the picture shows (PictureShows over an XRGB8888 image).
inline int32_t FrameNumberOf(const GraphImage* image) {
  return PictureShows(image->pixels, int32_t(image->width), int32_t(image->height), int32_t(image->pitch));
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

// What a movie-fed graph's pixels show (PictureShows); below -2 when they cannot be read.
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
  return PictureShows(xrgb.data(), g->width, g->height, g->width * 4);
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
