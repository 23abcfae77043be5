// Feeds arbitrary bytes to the PNG loader: an accepted picture must be whole, and nothing
// may leak whichever way libpng gives up.
#include "imagefuzz.h"
#include "imageseeds.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  WriteSeedsIntoEmptyCorpora(*argc, *argv, PngSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOneLoader(DecodePngImage, data, size);
}
