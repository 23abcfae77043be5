// TGA files: colour-mapped (types 1 and 9) and true colour (2 and 10, and 11 read as raw
// true colour), raw or run-length encoded, stored in any of the four orientations.
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"
#include "engine/graphics/imagestream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTgaHeaderBytes = 18, kTgaFooterBytes = 26;
constexpr uint32_t kTgaMaxSide = 8192;

struct TgaHeader {
  uint32_t idLength, colorMapType, imageType;
  uint32_t colorMapFirst, colorMapLength, colorMapEntrySize;
  uint32_t xOrigin, yOrigin, width, height;
  uint32_t pixelDepth, descriptor;
};

TgaHeader ParseTgaHeader(const uint8_t* h) {
  return TgaHeader{
      .idLength = h[0],
      .colorMapType = h[1],
      .imageType = h[2],
      .colorMapFirst = ReadLe16(h + 3),
      .colorMapLength = ReadLe16(h + 5),
      .colorMapEntrySize = h[7],
      .xOrigin = ReadLe16(h + 8),
      .yOrigin = ReadLe16(h + 10),
      .width = ReadLe16(h + 12),
      .height = ReadLe16(h + 14),
      .pixelDepth = h[16],
      .descriptor = h[17],
  };
}

// The footer counts only with its signature and an extension offset of 0.
bool HasTgaFooter(const StreamRow* stream, int64_t fileSize) {
  if (fileSize < kTgaFooterBytes || fileSize - kTgaFooterBytes > INT32_MAX) return false;
  uint8_t footer[kTgaFooterBytes];
  const int32_t at = int32_t(fileSize - kTgaFooterBytes);
  if (stream->functions.seek(stream->handle, at, FILE_SEEK_SET) != 0 ||
      !ReadStreamBytes(stream, footer, sizeof footer))
    return false;
  return std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && ReadLe32(footer) == 0;
}

void SetTgaFormat(uint32_t bitCount, ColorFormat* format) {
  if (bitCount == 16) {
    format->bitDepth = 16;
    format->bytesPerPixel = 2;
    format->redWidth = format->greenWidth = format->blueWidth = 5;
    format->redShift = 10;
    format->greenShift = 5;
    format->blueShift = 0;
    format->redMask = 0x7C00;
    format->greenMask = 0x3E0;
    format->blueMask = 0x1F;
    format->noChannelMask = 0x8000;
    format->formatCode = 0;
  } else if (bitCount == 24) {
    SetupRgb888Format(format);
  } else {
    SetupArgb8888Format(format);
  }
}

// Run-length packets into `count` units of `unit` bytes: a header byte, then one unit
// repeated or (h & 0x7F) + 1 units as they stand. A packet that passes the picture is cut
// to the units left; data that end before the picture is whole are refused.
int DecodeTgaRunLength(const uint8_t* data, size_t size, uint8_t* out, size_t count, size_t unit) {
  size_t at = 0, done = 0;
  while (done < count) {
    if (at >= size) return -1;
    const uint8_t h = data[at++];
    size_t run = size_t(h & 0x7F) + 1;
    if (run > count - done) run = count - done;
    if (h & 0x80) {
      if (size - at < unit) return -1;
      for (size_t i = 0; i < run; i++) std::memcpy(out + (done + i) * unit, data + at, unit);
      at += unit;
    } else {
      // A cut packet ends the picture, so its units past the cut are never needed.
      if ((size - at) / unit < run) return -1;
      std::memcpy(out + done * unit, data + at, run * unit);
      at += run * unit;
    }
    done += run;
  }
  return 0;
}

// Top row first, left pixel first, in place: a bottom-up picture (descriptor bit 5 clear)
// has its rows swapped end for end, a right-to-left one (bit 4) every row reversed.
void OrientTgaPixels(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                     bool bottomUp, bool rightToLeft) {
  const size_t pitch = size_t(width) * bytesPerPixel;
  if (bottomUp) {
    for (uint32_t y = 0; y < height / 2; y++)
      std::swap_ranges(pixels + pitch * y, pixels + pitch * (y + 1),
                       pixels + pitch * (height - 1 - y));
  }
  if (rightToLeft) {
    for (uint32_t y = 0; y < height; y++) {
      uint8_t* row = pixels + pitch * y;
      for (size_t left = 0, right = width - 1; left < right; left++, right--)
        std::swap_ranges(row + left * bytesPerPixel, row + (left + 1) * bytesPerPixel,
                         row + right * bytesPerPixel);
    }
  }
}

}  // namespace

int DecodeTgaImage(const StreamRow* stream, GraphImage* image) {
  const int64_t fileSize = StreamLength(stream);
  if (fileSize < kTgaHeaderBytes) return -1;
  const bool footer = HasTgaFooter(stream, fileSize);

  uint8_t raw[kTgaHeaderBytes];
  if (stream->functions.seek(stream->handle, 0, FILE_SEEK_SET) != 0 ||
      !ReadStreamBytes(stream, raw, sizeof raw))
    return -1;
  const TgaHeader h = ParseTgaHeader(raw);
  const uint32_t type = h.imageType;
  if (type == 0 || type == 3 || (type >= 4 && type <= 8) || type > 11) return -1;
  if (h.xOrigin != 0 || h.yOrigin != 0) return -1;
  if (h.width == 0 || h.height == 0 || h.width > kTgaMaxSide || h.height > kTgaMaxSide) return -1;
  const bool mapped = type == 1 || type == 9;
  const bool runLength = type == 9 || type == 10;
  const uint32_t bitCount = mapped ? h.colorMapEntrySize : h.pixelDepth;
  if (bitCount != 16 && bitCount != 24 && bitCount != 32) return -1;
  // One index byte a pixel, and every entry of the map inside the 256 of the palette.
  if (mapped && (h.pixelDepth != 8 || h.colorMapFirst + h.colorMapLength > 256)) return -1;

  const uint32_t bytesPerPixel = bitCount / 8;
  const size_t pixelCount = size_t(h.width) * h.height;
  const size_t pitch = size_t(h.width) * bytesPerPixel;
  const size_t unit = mapped ? 1 : bytesPerPixel;  // bytes a stored pixel takes
  if (uint64_t(pitch) * h.height > uint64_t(IMAGE_MAX_BYTES)) return -1;

  // The data follow the image ID and the colour map (skipped when a true-colour picture
  // carries one).
  int64_t dataStart = kTgaHeaderBytes + int64_t(h.idLength);
  uint8_t palette[256 * 4] = {};
  if (mapped) {
    if (stream->functions.seek(stream->handle, int32_t(dataStart), FILE_SEEK_SET) != 0 ||
        !ReadStreamBytes(stream, palette + size_t(h.colorMapFirst) * bytesPerPixel,
                         uint64_t(h.colorMapLength) * bytesPerPixel))
      return -1;
    dataStart += int64_t(h.colorMapLength) * bytesPerPixel;
  } else if (h.colorMapType == 1) {
    dataStart += int64_t(h.colorMapLength) * ((h.colorMapEntrySize + 7) / 8);
  }
  // Run-length data end where the footer starts, or at the end of the file.
  const int64_t dataEnd = fileSize - (footer ? kTgaFooterBytes : 0);
  if (dataStart > dataEnd || (!runLength && fileSize - dataStart < int64_t(pixelCount * unit)) ||
      stream->functions.seek(stream->handle, int32_t(dataStart), FILE_SEEK_SET) != 0)
    return -1;

  bool bottomUp = (h.descriptor & 0x20) == 0;
  const bool rightToLeft = (h.descriptor & 0x10) != 0;
  uint8_t* stored = static_cast<uint8_t*>(TrackedAlloc(pixelCount * unit, "", 0));
  if (!stored) return -1;
  int result = 0;
  if (!runLength && !mapped && bottomUp) {
    // Each row straight to its place, the bottom one first.
    for (uint32_t y = h.height; y-- > 0 && result == 0;)
      result = ReadStreamBytes(stream, stored + pitch * y, pitch) ? 0 : -1;
    bottomUp = false;
  } else if (!runLength) {
    result = ReadStreamBytes(stream, stored, uint64_t(pixelCount) * unit) ? 0 : -1;
  } else {
    // At most one header byte a stored pixel: nothing past that can belong to the picture.
    const uint64_t limit = uint64_t(pixelCount) * (unit + 1);
    const uint64_t size = std::min<uint64_t>(uint64_t(dataEnd - dataStart), limit);
    uint8_t* data = static_cast<uint8_t*>(TrackedAlloc(size_t(size) + 1, "", 0));
    result = data && ReadStreamBytes(stream, data, size) &&
                     DecodeTgaRunLength(data, size_t(size), stored, pixelCount, unit) == 0
                 ? 0
                 : -1;
    TrackedFree(data);
  }

  uint8_t* pixels = stored;
  if (result == 0 && mapped) {
    pixels = static_cast<uint8_t*>(TrackedAlloc(pixelCount * bytesPerPixel, "", 0));
    if (pixels) {
      for (size_t i = 0; i < pixelCount; i++)
        std::memcpy(pixels + i * bytesPerPixel, palette + size_t(stored[i]) * bytesPerPixel,
                    bytesPerPixel);
    } else {
      result = -1;
    }
    TrackedFree(stored);
    stored = nullptr;
  }
  if (result != 0) {
    TrackedFree(stored);
    return -1;
  }

  OrientTgaPixels(pixels, h.width, h.height, bytesPerPixel, bottomUp, rightToLeft);
  SetTgaFormat(bitCount, &image->format);
  image->width = h.width;
  image->height = h.height;
  image->pitch = uint32_t(pitch);
  image->pixels = pixels;
  return 0;
}
