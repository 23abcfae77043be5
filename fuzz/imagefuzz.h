// Shared by the image-file fuzz targets: a loader run over the input as a memory stream,
// and the checks every accepted picture must pass.
#pragma once

#include "engine/file/file.h"
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"

#include <cstdint>
#include <cstdlib>

// Reads every byte of every row (the sanitizers see any row past the block) and checks
// that the record is one the rest of the engine can walk. A checksum of the rows.
inline uint32_t CheckPicture(const GraphImage& image) {
  const int bytes = image.format.bytesPerPixel;
  if (!image.pixels || image.width == 0 || image.height == 0 || bytes < 1 || bytes > 4 ||
      uint64_t(image.width) * bytes > image.pitch ||
      int64_t(image.pitch) * image.height > IMAGE_MAX_BYTES)
    abort();
  uint32_t sum = 0;
  for (uint32_t y = 0; y < image.height; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(image.pixels) + size_t(y) * image.pitch;
    for (uint32_t i = 0; i < image.width * uint32_t(bytes); i++) sum = sum * 31 + row[i];
  }
  return sum;
}

// One loader over the input; whatever it answers, nothing tracked may stay allocated.
inline int FuzzOneLoader(ImageLoader loader, const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const int32_t blocks = GetTrackedBlockCount();
  MemStream* memory = MemStreamOpen(data, uint32_t(size));
  StreamRow row{*GetMemStreamFunctions(), StreamHandle(memory)};
  GraphImage image{};
  if (loader(&row, &image) == 0) CheckPicture(image);
  FreeGraphImageCore(&image);
  MemStreamClose(memory);
  if (GetTrackedBlockCount() != blocks) abort();
  return 0;
}
