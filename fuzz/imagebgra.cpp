// Feeds arbitrary bytes to the raw BGRA loader (8- and 16-bit channels): an accepted
// picture must be whole, and nothing may stay allocated whichever way the loader refuses.
#include "imagefuzz.h"
#include "imageseeds.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  WriteSeedsIntoEmptyCorpora(*argc, *argv, RawBgraSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOneLoader(DecodeRawBgraImage, data, size);
}
