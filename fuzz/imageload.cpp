// Feeds arbitrary bytes to the whole dispatch from memory, once as they are and once
// mirrored: both must agree on whether the bytes are a picture, the mirrored one must be
// the other with every row reversed, and nothing may leak.
#include "imagefuzz.h"
#include "imageseeds.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::vector<FuzzSeed> seeds = PngSeeds();
  for (auto more : {BmpSeeds, JpegSeeds, TgaSeeds, DdsSeeds, RawBgraSeeds})
    for (FuzzSeed& s : more()) seeds.push_back(std::move(s));
  WriteSeedsIntoEmptyCorpora(*argc, *argv, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const int32_t blocks = GetTrackedBlockCount();
  GraphImage plain{}, mirrored{};
  const int a = LoadImageData(nullptr, data, uint32_t(size), 1, 0, 0, &plain, nullptr, nullptr);
  const int b = LoadImageData(nullptr, data, uint32_t(size), 1, 0, 1, &mirrored, nullptr, nullptr);
  if (a != b) abort();
  if (a == 0) {
    CheckPicture(plain);
    CheckPicture(mirrored);
    if (plain.width != mirrored.width || plain.height != mirrored.height ||
        plain.pitch != mirrored.pitch ||
        std::memcmp(&plain.format, &mirrored.format, sizeof plain.format) != 0)
      abort();
    const int bytes = plain.format.bytesPerPixel;
    for (uint32_t y = 0; y < plain.height; y++) {
      const uint8_t* p = static_cast<const uint8_t*>(plain.pixels) + size_t(y) * plain.pitch;
      const uint8_t* m = static_cast<const uint8_t*>(mirrored.pixels) + size_t(y) * plain.pitch;
      for (uint32_t x = 0; x < plain.width; x++)
        if (std::memcmp(p + size_t(x) * bytes, m + size_t(plain.width - 1 - x) * bytes,
                        size_t(bytes)) != 0)
          abort();
    }
  }
  FreeGraphImageCore(&plain);
  FreeGraphImageCore(&mirrored);
  if (GetTrackedBlockCount() != blocks) abort();
  return 0;
}
