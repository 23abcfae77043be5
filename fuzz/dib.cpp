// Feeds arbitrary DIB headers, colour tables, buffer sizes and rectangles to the GDI-like
// layer: SetDIBitsToDevice, StretchDIBits (negative sizes included) and GetDIBits onto a
// small memory device context, whose bitmap is a DIB section made from another fuzzed
// header when that one is accepted. Nothing may read or write past the buffers given;
// AddressSanitizer watches, as the bits live in an allocation of exactly the size told.
//
// Input: a 40-byte header, 12 bytes of colour table or masks (repeated over the table),
// a second header for the target section, 36 bytes of coordinates and sizes, then the
// bits.
#include "platform/gdi/gdi.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  void Take(void* out, size_t n) {
    std::memset(out, 0, n);
    const size_t got = n < size ? n : size;
    std::memcpy(out, data, got);
    data += got;
    size -= got;
  }
  int32_t Int() {
    int32_t v;
    Take(&v, 4);
    return v;
  }
};

// A small picture sometimes: the fuzzer finds the accepted sizes sooner.
PlatBitmapInfo InfoFrom(Reader& in) {
  PlatBitmapInfo info{};
  in.Take(&info.header, sizeof info.header);
  uint32_t table[3];
  in.Take(table, sizeof table);
  for (int i = 0; i < 256; i++) info.colors[i] = table[i % 3] * uint32_t(i + 1);
  if (info.header.size & 0x80000000u) {
    info.header.width = info.header.width % 70;
    info.header.height = info.header.height % 70;
  }
  return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const PlatBitmapInfo info = InfoFrom(in);
  PlatBitmapInfo targetInfo = InfoFrom(in);
  int32_t v[9];
  for (int32_t& x : v) x = in.Int();
  // The bits: exactly what is left, in an allocation of that size.
  std::vector<uint8_t> bits(in.data, in.data + in.size);

  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  if (!dc) return 0;
  void* sectionBits = nullptr;
  // Keep the target small: a section of the second header, at most 64 x 64.
  if (targetInfo.header.width > 64 || targetInfo.header.width < -64) targetInfo.header.width %= 64;
  if (targetInfo.header.height > 64 || targetInfo.header.height < -64) targetInfo.header.height %= 64;
  const PlatGdiObj section = PlatGdiCreateDIBSection(dc, &targetInfo, 0, &sectionBits);
  PlatGdiObj target = section ? section : PlatGdiCreateCompatibleBitmap(dc, 16 + (v[8] & 15), 16 + ((v[8] >> 4) & 15));
  const PlatGdiObj own = PlatGdiSelectObject(dc, target);

  const uint32_t lines = uint32_t(v[6]) % 100000u;
  PlatGdiSetDIBitsToDevice(dc, v[0] % 100, v[1] % 100, uint32_t(v[2]), uint32_t(v[3]), v[4], v[5], uint32_t(v[7]) % 70,
                           lines, bits.data(), bits.size(), &info, 0);
  PlatGdiStretchDIBits(dc, v[0] % 100, v[1] % 100, v[2] % 200, v[3] % 200, v[4], v[5], v[6], v[7], bits.data(),
                       bits.size(), &info, 0, PLAT_SRCCOPY);
  PlatGdiStretchDIBits(dc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], bits.data(), bits.size(), &info, 0,
                       PLAT_SRCCOPY);
  PlatGdiGetDIBits(dc, target, uint32_t(v[7]) % 70, lines, bits.data(), bits.size(), &info, 0);
  // A copy of the target into itself, overlapping.
  PlatGdiBitBlt(dc, v[0] % 80, v[1] % 80, v[2] % 80, v[3] % 80, dc, v[4] % 80, v[5] % 80, PLAT_SRCCOPY);

  // A section from the first header too, when it is small.
  void* more = nullptr;
  const int64_t area = int64_t(info.header.width) * int64_t(info.header.height);
  if (area >= -65536 && area <= 65536)
    if (PlatGdiObj second = PlatGdiCreateDIBSection(dc, &info, 0, &more)) {
      PlatBitmap bm{};
      if (PlatGdiGetObject(second, sizeof bm, &bm) != int(sizeof bm) || bm.bits != more) __builtin_trap();
      PlatGdiDeleteObject(second);
    }

  PlatGdiSelectObject(dc, own);
  PlatGdiDeleteObject(target);
  PlatGdiDeleteDC(dc);
  return 0;
}
