// Feeds arbitrary bytes to the TGA loader (colour-mapped and true colour, raw and
// run-length): an accepted picture must be whole, and nothing may stay allocated whichever
// way the loader refuses.
#include "imagefuzz.h"
#include "imageseeds.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  WriteSeedsIntoEmptyCorpora(*argc, *argv, TgaSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOneLoader(DecodeTgaImage, data, size);
}
