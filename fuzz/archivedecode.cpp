// Feeds arbitrary bytes to the compressed-block decoder as a block, into a destination of
// exactly the size its head claims, and checks that the encoder's block for the same
// bytes decodes back to them.
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int64_t decoded = DecodeArchiveData(data, size, nullptr, 0);
  if (decoded >= 0 && decoded <= (1 << 20)) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[size_t(decoded)]);
    DecodeArchiveData(data, size, out.get(), size_t(decoded));
    if (decoded > 0) DecodeArchiveData(data, size, out.get(), size_t(decoded) - 1);
  }

  size_t bound = ArchiveEncodeBound(size);
  std::unique_ptr<uint8_t[]> block(new uint8_t[bound]);
  int64_t encoded = EncodeArchiveData(data, size, block.get(), bound);
  if (encoded < 0) abort();
  std::unique_ptr<uint8_t[]> back(new uint8_t[size]);
  if (DecodeArchiveData(block.get(), size_t(encoded), back.get(), size) != int64_t(size)) abort();
  if (size && std::memcmp(back.get(), data, size) != 0) abort();
  return 0;
}
