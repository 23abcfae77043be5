// The raw BGRA format: a 16-byte header ("BGRA", the channel code, width, height) and
// the pixels top row first, blue, green, red, alpha, in one or two bytes a channel.
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"
#include "engine/graphics/imagestream.h"

#include <cstring>

namespace {

constexpr uint32_t kRawBgraChannels8 = 0x08080808, kRawBgraChannels16 = 0x10101010;

// Two-byte channels: only the high byte of each (bytes 1, 3, 5 and 7 of a pixel) is kept.
int ReadRawBgraWideRows(const StreamRow* stream, uint8_t* pixels, uint32_t width, uint32_t height) {
  const uint64_t rowBytes = uint64_t(width) * 8;
  uint8_t* row = static_cast<uint8_t*>(TrackedAlloc(size_t(rowBytes), "", 0));
  if (!row) return -1;
  for (uint32_t y = 0; y < height; y++) {
    if (!ReadStreamBytes(stream, row, rowBytes)) {
      TrackedFree(row);
      return -1;
    }
    uint8_t* out = pixels + size_t(y) * width * 4;
    for (uint32_t x = 0; x < width; x++)
      for (int c = 0; c < 4; c++) out[x * 4 + c] = row[size_t(x) * 8 + c * 2 + 1];
  }
  TrackedFree(row);
  return 0;
}

}  // namespace

int DecodeRawBgraImage(const StreamRow* stream, GraphImage* image) {
  uint8_t header[16];
  if (!ReadStreamBytes(stream, header, sizeof header) || std::memcmp(header, "BGRA", 4) != 0)
    return -1;
  const uint32_t code = ReadLe32(header + 4);
  const uint32_t width = ReadLe32(header + 8), height = ReadLe32(header + 12);
  if (code != kRawBgraChannels8 && code != kRawBgraChannels16) return -1;
  const uint64_t bytesPerChannel = code == kRawBgraChannels8 ? 1 : 2;
  // Every size in 64 bits, and the pixels must all be there before anything is allocated.
  const uint64_t bytes = uint64_t(width) * height * 4;
  const int64_t left = StreamBytesLeft(stream);
  if (width == 0 || height == 0 || bytes > uint64_t(IMAGE_MAX_BYTES) ||
      uint64_t(width) * 4 * bytesPerChannel > uint64_t(IMAGE_MAX_BYTES) || left < 0 ||
      uint64_t(left) < bytes * bytesPerChannel)
    return -1;

  uint8_t* pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(bytes), "", 0));
  if (!pixels) return -1;
  const int read = bytesPerChannel == 1 ? (ReadStreamBytes(stream, pixels, bytes) ? 0 : -1)
                                        : ReadRawBgraWideRows(stream, pixels, width, height);
  if (read != 0) {
    TrackedFree(pixels);
    return -1;
  }
  SetupArgb8888Format(&image->format);
  image->width = width;
  image->height = height;
  image->pitch = width * 4;
  image->pixels = pixels;
  return 0;
}
