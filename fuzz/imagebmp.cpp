// Feeds arbitrary bytes to the BMP loader, its DIB path on the headless GDI-like layer
// included: an accepted picture must be whole, and is then turned into a DIB and drawn
// into a bitmap (mirrored when the first byte is odd), as graph creation would. Nothing
// may stay allocated, tracked or in the layer, whichever way any step refuses.
#include "engine/graphics/dib.h"
#include "imagefuzz.h"
#include "imageseeds.h"
#include "platform/display/display.h"
#include "platform/gdi/fake/gdifake.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  PlatDisplaySelectBackend("headless");
  WriteSeedsIntoEmptyCorpora(*argc, *argv, BmpSeeds());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const int32_t blocks = GetTrackedBlockCount();
  MemStream* memory = MemStreamOpen(data, uint32_t(size));
  StreamRow row{*GetMemStreamFunctions(), StreamHandle(memory)};
  GraphImage image{};
  if (DecodeBmpImage(&row, &image) == 0) {
    CheckPicture(image);
    PlatBitmapInfo header;
    void* bits = nullptr;
    const int made = GraphImageToDib(&image, &header, &bits, 0, 0);
    if (made == -1) abort();
    const PlatGdiObj bitmap = CreateDIBGraph(&header, bits, size && (data[0] & 1), nullptr);
    // The layer takes sides up to 32767; within them every picture must make a bitmap.
    const bool fits = image.width <= 32767 && image.height <= 32767;
    if (bitmap ? PlatGdiDeleteObject(bitmap) != 1 : fits) abort();
    if (made == 1) TrackedFree(bits);
  }
  FreeGraphImageCore(&image);
  MemStreamClose(memory);
  if (GetTrackedBlockCount() != blocks || PlatGdiFakeLiveDCs() != 0 || PlatGdiFakeLiveObjects() != 0)
    abort();
  return 0;
}
