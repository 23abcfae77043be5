// Reads an X window dump (XWD, version 7): the file Xvfb started with `-fbdir DIR` keeps
// as DIR/Xvfb_screen0, for tests that look at what reached a real X screen. TrueColor dumps
// of 24 or 32 bits per pixel only, in either byte order.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct XwdImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0xRRGGBB, row by row
  uint32_t At(int32_t x, int32_t y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};

// false when the file is missing, cut short, or of a kind not read here.
inline bool ReadXwd(const std::string& path, XwdImage* image) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 100) return false;
  auto field = [&](size_t index) {  // the header's 32-bit fields are big-endian
    const uint8_t* p = bytes.data() + index * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  };
  const uint32_t headerSize = field(0), version = field(1), width = field(4), height = field(5);
  const uint32_t byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
  const uint32_t redMask = field(14), greenMask = field(15), blueMask = field(16), colors = field(19);
  if (version != 7 || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0 ||
      width > 16384 || height > 16384 || bytesPerLine < width * bitsPerPixel / 8)
    return false;
  const uint64_t start = uint64_t(headerSize) + uint64_t(colors) * 12;
  if (start + uint64_t(bytesPerLine) * height > bytes.size()) return false;
  auto shift = [](uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1)) mask >>= 1, s++;
    return s;
  };
  const int rs = shift(redMask), gs = shift(greenMask), bs = shift(blueMask);
  const uint32_t pixelBytes = bitsPerPixel / 8;
  image->width = int32_t(width);
  image->height = int32_t(height);
  image->rgb.resize(size_t(width) * height);
  for (uint32_t y = 0; y < height; y++)
    for (uint32_t x = 0; x < width; x++) {
      const uint8_t* p = bytes.data() + start + uint64_t(y) * bytesPerLine + uint64_t(x) * pixelBytes;
      uint32_t v = 0;
      for (uint32_t i = 0; i < pixelBytes; i++)
        v |= uint32_t(p[i]) << (8 * (byteOrder == 0 ? i : pixelBytes - 1 - i));
      image->rgb[size_t(y) * width + x] = ((v & redMask) >> rs) << 16 | ((v & greenMask) >> gs) << 8 |
                                          ((v & blueMask) >> bs);
    }
  return true;
}
