// BMP files: 4-, 8- and 24-bit pixels copied as they stand, RLE8 and RLE4 decoded into
// one byte a pixel, and every other layout (1, 16 and 32 bits, bit-field masks) drawn by
// the GDI-like layer into a 24-bit DIB section, which judges what it can read.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"
#include "engine/graphics/imagestream.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int64_t kBmpFileHeaderBytes = 14, kBmpInfoHeaderBytes = 40;
// Where the three masks of a bit-field file stand, whatever the header's size: right
// after a 40-byte header, and inside the larger ones at the same place.
constexpr int32_t kBmpMasksAt = 54;
enum : uint32_t { BMP_RGB = 0, BMP_RLE8 = 1, BMP_RLE4 = 2, BMP_BITFIELDS = 3 };

struct BmpHeader {
  uint32_t size;
  int32_t width, height;
  uint32_t bitCount, compression, colorsUsed;
};

BmpHeader ParseBmpHeader(const uint8_t* h) {
  return BmpHeader{
      .size = ReadLe32(h),
      .width = int32_t(ReadLe32(h + 4)),
      .height = int32_t(ReadLe32(h + 8)),
      .bitCount = ReadLe16(h + 14),
      .compression = ReadLe32(h + 16),
      .colorsUsed = ReadLe32(h + 32),
  };
}

// Rows of one byte a pixel, as the palette formats keep them.
uint64_t BytePixelPitch(uint32_t width) { return (uint64_t(width) + 3) & ~uint64_t(3); }

// The 256-entry palette of an 8-bit result from the file's colour table (0x00RRGGBB
// each); entries the file does not give stay black.
void SetBmpPalette(const uint32_t* table, uint32_t count, ColorFormat* format) {
  SetupPalette8Format(format);
  std::memset(format->palette, 0, sizeof format->palette);
  for (uint32_t i = 0; i < count && i < 256; i++)
    format->palette[i] = PaletteEntry{uint8_t(table[i]), uint8_t(table[i] >> 8),
                                      uint8_t(table[i] >> 16), 0};
}

// The picture's size and rows; the format is set by the caller.
void SetBmpPicture(GraphImage* image, uint32_t width, uint32_t rows, uint64_t pitch, void* pixels) {
  image->width = width;
  image->height = rows;
  image->pitch = uint32_t(pitch);
  image->pixels = pixels;
}

// RLE8, or RLE4 (fourBit), into `height` rows of `pitch` bytes, one byte a pixel, the first
// decoded row at the bottom for a bottom-up file. Runs, literals and moves are clipped:
// pixels past a row's end are dropped, and an end of line or a move past the last row ends
// the picture as the end of the bitmap does. 0, or -1 when the data end before the
// bitmap's end. With no out, the stream is only followed: whether it ends well is known
// before the picture is allocated, however many rows the header claims.
int DecodeBmpRunLength(const uint8_t* data, size_t size, bool fourBit, uint8_t* out,
                       uint32_t width, uint32_t height, size_t pitch, bool bottomUp) {
  size_t at = 0;        // counted from the data's start, which the even alignment keeps to
  uint64_t x = 0, row = 0;  // row in decoding order
  auto rowStart = [&] { return out ? out + pitch * size_t(bottomUp ? height - 1 - row : row) : nullptr; };
  uint8_t* line = rowStart();
  // How many of n pixels from x on lie inside the row (none when nothing is written).
  auto inside = [&](uint64_t n) { return out && x < width ? std::min<uint64_t>(n, width - x) : 0; };
  for (;;) {
    if (size < at + 2) return -1;
    const uint32_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      const uint64_t kept = inside(count);
      if (kept == 0) {
        // nothing of the run is inside the row
      } else if (!fourBit) {
        std::memset(line + x, int(value), size_t(kept));
      } else {
        for (uint64_t i = 0; i < kept; i++) line[x + i] = uint8_t(i & 1 ? value & 15 : value >> 4);
      }
      x += count;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        if (++row >= height) return 0;
        line = rowStart();
        break;
      case 1:  // end of bitmap
        return 0;
      case 2:  // a move from here, right and on in the decoding direction
        if (size < at + 2) return -1;
        x += data[at];
        row += data[at + 1];
        at += 2;
        if (row >= height) return 0;
        line = rowStart();
        break;
      default: {  // a literal of `value` pixels, padded to an even length
        const size_t bytes = fourBit ? (value + 1) / 2 : value;
        if (size < at + bytes) return -1;
        const uint64_t kept = inside(value);
        if (kept == 0) {
          // nothing of the literal is inside the row
        } else if (!fourBit) {
          std::memcpy(line + x, data + at, size_t(kept));
        } else {
          for (uint64_t i = 0; i < kept; i++) {
            const uint8_t pair = data[at + i / 2];
            line[x + i] = uint8_t(i & 1 ? pair & 15 : pair >> 4);
          }
        }
        x += value;
        at += bytes + (bytes & 1);
        break;
      }
    }
  }
}

// Nibbles into bytes: each source row of `rowSize` bytes becomes `width` bytes of a row
// of `pitch`, the source's last row first for a bottom-up file.
void ExpandNibbleRows(const uint8_t* source, uint64_t rowSize, uint8_t* out, uint32_t width,
                      uint32_t rows, size_t pitch, bool bottomUp) {
  for (uint32_t y = 0; y < rows; y++) {
    const uint8_t* from = source + size_t(rowSize) * (bottomUp ? rows - 1 - y : y);
    uint8_t* to = out + pitch * y;
    for (uint32_t x = 0; x < width; x++)
      to[x] = uint8_t(x & 1 ? from[x / 2] & 15 : from[x / 2] >> 4);
  }
}

// Any other layout: the file's pixels drawn with its own header copy into a top-down
// 24-bit DIB section on a memory device context, whose rows become the picture. -1 when
// the layer cannot read the layout, or the section or the copy cannot be had.
int DrawBmpThroughDib(const PlatBitmapInfo* info, const void* bits, size_t bitsBytes,
                      uint32_t width, uint32_t rows, GraphImage* image) {
  const uint64_t pitch = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
  if (pitch * rows > uint64_t(IMAGE_MAX_BYTES)) return -1;
  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  PlatBitmapInfo section{};
  section.header.size = sizeof section.header;
  section.header.width = int32_t(width);
  section.header.height = -int32_t(rows);
  section.header.planes = 1;
  section.header.bitCount = 24;
  section.header.compression = PLAT_BI_RGB;
  void* sectionBits = nullptr;
  const PlatGdiObj bitmap =
      dc && rows <= INT32_MAX ? PlatGdiCreateDIBSection(dc, &section, PLAT_DIB_RGB_COLORS, &sectionBits)
                              : 0;
  if (!bitmap || !sectionBits) {
    WriteLog("ＤＩＢの作成に失敗しました3\n");
    if (bitmap) PlatGdiDeleteObject(bitmap);
    if (dc) PlatGdiDeleteDC(dc);
    return -1;
  }
  const PlatGdiObj previous = PlatGdiSelectObject(dc, bitmap);
  const int drawn = previous ? PlatGdiSetDIBitsToDevice(dc, 0, 0, width, rows, 0, 0, 0, rows, bits,
                                                        bitsBytes, info, PLAT_DIB_RGB_COLORS)
                             : 0;
  void* pixels = nullptr;
  if (drawn) {
    pixels = TrackedAlloc(size_t(pitch * rows), "", 0);
    if (pixels) {
      std::memcpy(pixels, sectionBits, size_t(pitch * rows));
    } else {
      WriteLog("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    }
  }
  if (previous) PlatGdiSelectObject(dc, previous);
  PlatGdiDeleteObject(bitmap);
  PlatGdiDeleteDC(dc);
  if (!pixels) return -1;
  SetupRgb888Format(&image->format);
  SetBmpPicture(image, width, rows, pitch, pixels);
  return 0;
}

}  // namespace

int DecodeBmpImage(const StreamRow* stream, GraphImage* image) {
  const StreamFunctions& f = stream->functions;
  const int64_t fileSize = StreamLength(stream);
  uint8_t fileHeader[kBmpFileHeaderBytes], infoHeader[kBmpInfoHeaderBytes];
  if (fileSize < kBmpFileHeaderBytes + kBmpInfoHeaderBytes ||
      !ReadStreamBytes(stream, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
      fileHeader[1] != 'M' || !ReadStreamBytes(stream, infoHeader, sizeof infoHeader))
    return -1;
  const BmpHeader h = ParseBmpHeader(infoHeader);
  const int64_t dataOffset = ReadLe32(fileHeader + 10);
  const int64_t tableAt = kBmpFileHeaderBytes + int64_t(h.size);
  // The header must be one of the 40-byte family, lie inside the file and end before the
  // pixels begin.
  if (h.size < kBmpInfoHeaderBytes || tableAt > fileSize || dataOffset < tableAt ||
      dataOffset > fileSize)
    return -1;
  if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return -1;
  const uint32_t width = uint32_t(h.width);
  const bool bottomUp = h.height > 0;
  const uint32_t rows = bottomUp ? uint32_t(h.height) : uint32_t(-h.height);

  // The header copy the DIB path hands on: 40 bytes, then the table or the masks.
  PlatBitmapInfo info{};
  std::memcpy(&info.header, infoHeader, sizeof info.header);
  info.header.size = sizeof info.header;
  info.header.clrUsed = 0;  // the table below always has every entry, the missing ones black
  uint32_t tableCount = 0;
  if (h.bitCount <= 8) {
    tableCount = 1u << h.bitCount;
    if (h.colorsUsed != 0 && h.colorsUsed < tableCount) tableCount = h.colorsUsed;
  }
  const uint32_t wordsToRead = h.bitCount <= 8 ? tableCount : h.compression == BMP_BITFIELDS ? 3 : 0;
  if (wordsToRead) {
    uint8_t raw[256 * 4];
    const int32_t at = h.bitCount <= 8 ? int32_t(tableAt) : kBmpMasksAt;
    if (f.seek(stream->handle, at, FILE_SEEK_SET) != 0 ||
        !ReadStreamBytes(stream, raw, uint64_t(wordsToRead) * 4))
      return -1;
    for (uint32_t i = 0; i < wordsToRead; i++) info.colors[i] = ReadLe32(raw + 4 * i);
  }

  if (f.seek(stream->handle, int32_t(dataOffset), FILE_SEEK_SET) != 0) return -1;
  const uint64_t dataLeft = uint64_t(fileSize - dataOffset);

  if (h.compression == BMP_RLE8 || h.compression == BMP_RLE4) {
    const uint64_t pitch = BytePixelPitch(width);
    if (pitch * rows > uint64_t(IMAGE_MAX_BYTES)) return -1;
    // A stream longer than any picture could need is cut; one that then lacks its end is
    // refused as a short one is.
    const uint64_t size = std::min<uint64_t>(dataLeft, uint64_t(IMAGE_MAX_BYTES));
    const bool fourBit = h.compression == BMP_RLE4;
    uint8_t* data = static_cast<uint8_t*>(TrackedAlloc(size_t(size) + 1, "", 0));
    uint8_t* pixels = nullptr;
    // A short stream is refused before its picture is allocated. One that ends well may
    // stand for a large picture from a few bytes (its end of bitmap leaves the rest at
    // index 0), and loads.
    if (data && ReadStreamBytes(stream, data, size) &&
        DecodeBmpRunLength(data, size_t(size), fourBit, nullptr, width, rows, size_t(pitch), bottomUp) == 0)
      pixels = static_cast<uint8_t*>(TrackedCalloc(size_t(pitch * rows), "", 0));
    const int decoded =
        pixels ? DecodeBmpRunLength(data, size_t(size), fourBit, pixels, width, rows, size_t(pitch), bottomUp) : -1;
    TrackedFree(data);
    if (decoded != 0) {
      TrackedFree(pixels);
      return -1;
    }
    SetBmpPalette(info.colors, fourBit ? std::min(tableCount, 16u) : tableCount, &image->format);
    SetBmpPicture(image, width, rows, pitch, pixels);
    return 0;
  }

  // Uncompressed rows and the DIB path alike need every row there: the layer is told the
  // rows' size, not trusted to stop at the data's end. A layout of no bits a pixel has
  // rows of no bytes, which any height would pass, and nothing the layer draws: it is
  // refused before the picture is made for it.
  const uint64_t rowSize = (uint64_t(h.bitCount) * width + 31) / 32 * 4;
  const uint64_t dataBytes = rowSize * rows;
  if (rowSize == 0 || dataBytes > uint64_t(IMAGE_MAX_BYTES) || dataBytes > dataLeft) return -1;

  if (h.compression == BMP_RGB && (h.bitCount == 8 || h.bitCount == 24)) {
    uint8_t* pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(dataBytes), "", 0));
    if (!pixels) return -1;
    bool read = true;
    if (bottomUp) {
      for (uint32_t y = rows; y-- > 0 && read;)
        read = ReadStreamBytes(stream, pixels + size_t(rowSize) * y, rowSize);
    } else {
      read = ReadStreamBytes(stream, pixels, dataBytes);
    }
    if (!read) {
      TrackedFree(pixels);
      return -1;
    }
    if (h.bitCount == 8) {
      SetBmpPalette(info.colors, tableCount, &image->format);
    } else {
      SetupRgb888Format(&image->format);
    }
    SetBmpPicture(image, width, rows, rowSize, pixels);
    return 0;
  }

  uint8_t* data = static_cast<uint8_t*>(TrackedAlloc(size_t(dataBytes) + 1, "", 0));
  if (!data || !ReadStreamBytes(stream, data, dataBytes)) {
    TrackedFree(data);
    return -1;
  }
  int result;
  if (h.compression == BMP_RGB && h.bitCount == 4) {
    const uint64_t pitch = BytePixelPitch(width);
    uint8_t* pixels = pitch * rows <= uint64_t(IMAGE_MAX_BYTES)
                          ? static_cast<uint8_t*>(TrackedCalloc(size_t(pitch * rows), "", 0))
                          : nullptr;
    result = pixels ? 0 : -1;
    if (pixels) {
      ExpandNibbleRows(data, rowSize, pixels, width, rows, size_t(pitch), bottomUp);
      SetBmpPalette(info.colors, tableCount, &image->format);
      SetBmpPicture(image, width, rows, pitch, pixels);
    }
  } else {
    result = DrawBmpThroughDib(&info, data, size_t(dataBytes), width, rows, image);
  }
  TrackedFree(data);
  return result;
}
