#include "engine/graphics/dib.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/rect.h"
#include "engine/pixel/convert.h"

#include <cstring>

namespace {

void FillDibHeader(const GraphImage* image, uint16_t bitCount, PlatBitmapInfo* header) {
  std::memset(&header->header, 0, sizeof header->header);
  header->header.size = sizeof header->header;
  header->header.width = int32_t(image->width);
  header->header.height = -int32_t(image->height);
  header->header.planes = 1;
  header->header.bitCount = bitCount;
  header->header.compression = PLAT_BI_RGB;
}

// A new block of `rows` rows of `rowBytes`, each taking `copyBytes` from the image's rows
// and zero past them; null when it cannot be had.
void* CopyRows(const GraphImage* image, uint64_t rowBytes, size_t copyBytes) {
  uint8_t* out = static_cast<uint8_t*>(TrackedCalloc(size_t(rowBytes * image->height), "", 0));
  if (!out) return nullptr;
  const uint8_t* from = static_cast<const uint8_t*>(image->pixels);
  for (uint32_t y = 0; y < image->height; y++)
    std::memcpy(out + size_t(rowBytes) * y, from + size_t(image->pitch) * y, copyBytes);
  return out;
}

int64_t DibStride(int64_t width, int64_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

}  // namespace

int GraphImageToDib(const GraphImage* image, PlatBitmapInfo* header, void** outBits,
                    int32_t forceCopy, int32_t noPalette) {
  *outBits = nullptr;
  if (!image->pixels || image->width == 0 || image->height == 0 || image->width > INT32_MAX ||
      image->height > INT32_MAX)
    return -1;
  const GraphImage& im = *image;
  if (im.format.bitDepth == 8 && IsPaletteColorFormat(&im.format) && noPalette == 0) {
    const uint64_t rowBytes = (uint64_t(im.width) + 3) & ~uint64_t(3);
    if (rowBytes * im.height > uint64_t(IMAGE_MAX_BYTES)) return -1;
    FillDibHeader(image, 8, header);
    for (int i = 0; i < 256; i++) header->colors[i] = PaletteEntryValue(&im.format, i);
    if (forceCopy != 1 && im.pitch == rowBytes) {
      *outBits = im.pixels;
      return 0;
    }
    *outBits = CopyRows(image, rowBytes, im.width);
    return *outBits ? 1 : -1;
  }

  const uint64_t rowBytes = (uint64_t(im.width) * 3 + 3) & ~uint64_t(3);
  if (rowBytes * im.height > uint64_t(IMAGE_MAX_BYTES)) return -1;
  FillDibHeader(image, 24, header);
  std::memset(header->colors, 0, sizeof header->colors);
  if (forceCopy != 1 && im.format.bitDepth == 24 && im.format.redMask == 0xFF0000 &&
      im.format.greenMask == 0xFF00 && im.format.blueMask == 0xFF) {
    if (im.pitch == rowBytes) {
      *outBits = im.pixels;
      return 0;
    }
    *outBits = CopyRows(image, rowBytes, size_t(im.width) * 3);
    return *outBits ? 1 : -1;
  }
  void* out = TrackedCalloc(size_t(rowBytes * im.height), "", 0);
  if (!out) return -1;
  ColorFormat rgb{};
  SetupRgb888Format(&rgb);
  const Rect whole = {0, 0, int32_t(im.width), int32_t(im.height)};
  if (ConvertBlitRect(out, int32_t(rowBytes), &rgb, im.pixels, int32_t(im.pitch), &im.format,
                      nullptr, 0, nullptr, 0, 0, &whole, 0, 0, 0, 0, 0, 0, 0, 0) == -1) {
    TrackedFree(out);
    return -1;
  }
  *outBits = out;
  return 1;
}

PlatGdiObj CreateDIBGraph(const PlatBitmapInfo* header, const void* bits, int32_t mirror,
                          ColorFormat* wantedFormat) {
  const PlatBitmapInfoHeader& source = header->header;
  const int32_t width = source.width;
  const int64_t height = source.height < 0 ? -int64_t(source.height) : int64_t(source.height);
  const uint32_t sourceBits = source.bitCount;

  PlatBitmapInfo* made = static_cast<PlatBitmapInfo*>(TrackedCalloc(sizeof(PlatBitmapInfo), "", 0));
  if (!made) {
    WriteLog("メモリの確保に失敗しました in CreateDIBGraph \n");
    return 0;
  }
  PlatBitmapInfoHeader& h = made->header;
  h.size = sizeof h;
  h.width = width;
  h.height = int32_t(-height);
  h.planes = 1;
  if (wantedFormat) {
    const uint32_t wanted = wantedFormat->bitDepth;
    if (wanted == 16 || (wanted > 24 && sourceBits != 24)) {
      h.compression = PLAT_BI_BITFIELDS;
      h.bitCount = uint16_t(wanted);
      made->colors[0] = wantedFormat->redMask;
      made->colors[1] = wantedFormat->greenMask;
      made->colors[2] = wantedFormat->blueMask;
    } else {
      h.compression = PLAT_BI_RGB;
      if (wanted == 32) {
        SetupRgb888Format(wantedFormat);
        h.bitCount = 24;
      } else {
        h.bitCount = uint16_t(wanted);
      }
      // An 8-bit section draws through its own table, which would otherwise be all black.
      if (h.bitCount == 8) {
        for (int i = 0; i < 256; i++)
          made->colors[i] = sourceBits == 8 ? header->colors[i]
                                            : PaletteEntryValue(wantedFormat, i) & 0xFFFFFF;
      }
    }
  } else if (sourceBits == 8) {
    h.bitCount = 8;
    h.compression = source.compression;
    std::memcpy(made->colors, header->colors, sizeof made->colors);
  } else {
    h.bitCount = 24;
    h.compression = PLAT_BI_RGB;
  }

  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  void* sectionBits = nullptr;
  const PlatGdiObj bitmap =
      dc && width > 0 && height > 0 && height <= INT32_MAX
          ? PlatGdiCreateDIBSection(dc, made, PLAT_DIB_RGB_COLORS, &sectionBits)
          : 0;
  TrackedFree(made);
  if (!bitmap) {
    WriteLog("ＤＩＢの作成に失敗しました3\n");
    if (dc) PlatGdiDeleteDC(dc);
    return 0;
  }
  // The caller's bits are as long as its header says: that many rows of its row length.
  const size_t bytes = size_t(DibStride(width, sourceBits) * height);
  const PlatGdiObj previous = sectionBits ? PlatGdiSelectObject(dc, bitmap) : 0;
  int drawn = 0;
  if (previous) {
    const int32_t h32 = int32_t(height);
    drawn = mirror != 0 ? PlatGdiStretchDIBits(dc, 0, 0, width, h32, width - 1, 0, -width, h32, bits,
                                               bytes, header, PLAT_DIB_RGB_COLORS, PLAT_SRCCOPY)
                        : PlatGdiSetDIBitsToDevice(dc, 0, 0, uint32_t(width), uint32_t(h32), 0, 0,
                                                   0, uint32_t(h32), bits, bytes, header,
                                                   PLAT_DIB_RGB_COLORS);
    PlatGdiSelectObject(dc, previous);
  }
  PlatGdiDeleteDC(dc);
  // A section without pixels, or one the source could not be drawn into, is no picture.
  if (!drawn) {
    WriteLog("ＤＩＢの作成に失敗しました2\n");
    PlatGdiDeleteObject(bitmap);
    return 0;
  }
  return bitmap;
}

int GetNoBitfieldDibFlag() { return 0; }
