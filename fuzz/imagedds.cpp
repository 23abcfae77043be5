// Feeds arbitrary bytes to the DDS loader (DXT blocks, D3DFORMAT codes, RGB masks): an
// accepted picture must be whole, and nothing may stay allocated whichever way the loader
// refuses.
#include "imagefuzz.h"
#include "imageseeds.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  WriteSeedsIntoEmptyCorpora(*argc, *argv, DdsSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOneLoader(DecodeDdsImage, data, size);
}
