// Feeds arbitrary bytes to the JPEG loader: an accepted picture must be whole, and nothing
// may leak whichever way libjpeg gives up.
#include "imagefuzz.h"
#include "imageseeds.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  WriteSeedsIntoEmptyCorpora(*argc, *argv, JpegSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOneLoader(DecodeJpegImage, data, size);
}
