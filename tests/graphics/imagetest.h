// Shared by the image-loading tests: a fixture that checks the tracked allocator and the
// file table are back where they were after each case, loaders run over bytes in memory,
// and a stream that reads less than it is asked for.
#pragma once

#include "engine/file/archivefile.h"
#include "engine/file/file.h"
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"
#include "tests/support/imagefiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

struct ImageTest : ::testing::Test {
  int32_t blocksBefore = 0;
  int32_t filesBefore = 0;
  void SetUp() override {
    blocksBefore = GetTrackedBlockCount();
    filesBefore = GetOpenFileCount();
  }
  void TearDown() override {
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left behind";
    EXPECT_EQ(GetOpenFileCount(), filesBefore) << "files left open";
  }
};

// A memory stream over bytes that reads at most `maxRead` bytes a call and nothing at all
// from position `failAt` on, while still telling the whole size: a pipe, or a device that
// fails part way. It keeps the furthest position it was read to.
struct ShortStream {
  MemStream* memory;
  uint32_t maxRead;
  int64_t failAt;
  int64_t furthest;
};
inline ShortStream* Short(StreamHandle h) { return reinterpret_cast<ShortStream*>(h); }
inline const StreamFunctions kShortStreamRow = {
    .tell = [](StreamHandle h) { return MemStreamTell(Short(h)->memory); },
    .seek = [](StreamHandle h, int32_t offset, int origin) {
      return MemStreamSeek(Short(h)->memory, offset, origin);
    },
    .read = [](void* to, uint32_t size, uint32_t count, StreamHandle h) -> int64_t {
      ShortStream* s = Short(h);
      const int64_t position = MemStreamTell(s->memory);
      int64_t bytes = int64_t(size) * count;
      if (bytes > s->maxRead) bytes = s->maxRead;
      if (position + bytes > s->failAt) bytes = s->failAt - position;
      if (bytes <= 0 || size == 0) return 0;
      const int64_t read = MemStreamRead(to, 1, uint32_t(bytes / size * size), s->memory) / size;
      if (MemStreamTell(s->memory) > s->furthest) s->furthest = MemStreamTell(s->memory);
      return read;
    },
    .eof = [](StreamHandle h) { return MemStreamEof(Short(h)->memory); },
    .idleCheck = [](StreamHandle) { return 1; },
    .close = [](StreamHandle) { return 0; },
};

// Runs one loader over the bytes, from a zeroed image, as the dispatch would; `furthest`
// receives how far into the bytes the loader read.
inline int DecodeWith(ImageLoader loader, const Bytes& bytes, GraphImage* image,
                      uint32_t maxRead = UINT32_MAX, int64_t failAt = INT64_MAX,
                      int64_t* furthest = nullptr) {
  ShortStream s{MemStreamOpen(bytes.data(), uint32_t(bytes.size())), maxRead, failAt, 0};
  StreamRow row{kShortStreamRow, StreamHandle(&s)};
  std::memset(image, 0, sizeof *image);
  const int result = loader(&row, image);
  MemStreamClose(s.memory);
  if (furthest) *furthest = s.furthest;
  return result;
}

// The first `size` bytes.
inline Bytes Prefix(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + long(size));
}

// A file a loader must answer `result` for (a damaged one: -1), with nothing of the
// tracked allocator's left behind either way.
struct LoaderCase {
  std::string name;
  Bytes file;
  int result;
};
inline void ExpectLoaderResults(ImageLoader loader, const std::vector<LoaderCase>& cases) {
  for (const LoaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t blocks = GetTrackedBlockCount();
    GraphImage image;
    EXPECT_EQ(DecodeWith(loader, c.file, &image), c.result);
    FreeGraphImageCore(&image);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
  }
}

// The picture's rows without the padding past each row's last pixel.
inline Bytes PixelRows(const GraphImage& image) {
  Bytes out;
  const size_t rowBytes = size_t(image.width) * image.format.bytesPerPixel;
  for (uint32_t y = 0; y < image.height; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(image.pixels) + size_t(y) * image.pitch;
    out.insert(out.end(), row, row + rowBytes);
  }
  return out;
}
