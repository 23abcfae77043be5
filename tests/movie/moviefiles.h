// Movies made by the movie writer for the movie tests, waiting on the decoder thread, and
// the fixture of the tests that need no screen.
#pragma once

#include "base/logfixture.h"
#include "engine/base/memory.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "tools/krmovie/moviewriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

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
