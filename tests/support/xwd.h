// Reads an X window dump (XWD, version 7): the file Xvfb started with `-fbdir DIR` keeps
// as DIR/Xvfb_screen0, for tests that look at what reached a real X screen. TrueColor dumps
// of 24 or 32 bits per pixel only, in either byte order.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct XwdImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0xRRGGBB, row by row
  uint32_t At(int32_t x, int32_t y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};

// The width x height area whose top-left lies at (left, top) of the dump (the whole screen
// with a width of 0), in image; false when the file is missing, cut short, of a kind not
// read here, or the area leaves the screen. The file is read in one call and only the
// area decoded: the round's checks look at the screen many times a second, and a screen
// event as short as a bomb's flames must not fall between two looks.
inline bool ReadXwdArea(const std::string& path, int32_t left, int32_t top, int32_t width, int32_t height,
                        XwdImage* image) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return false;
  const std::streamoff size = file.tellg();
  if (size < 100) return false;
  // Kept from look to look: a fresh buffer of a few megabytes costs more than the look.
  static thread_local std::vector<uint8_t> bytes;
  bytes.resize(static_cast<size_t>(size));
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) return false;
  auto field = [&](size_t index) {  // the header's 32-bit fields are big-endian
    const uint8_t* p = bytes.data() + index * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  };
  const uint32_t headerSize = field(0), version = field(1), screenW = field(4), screenH = field(5);
  const uint32_t byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
  const uint32_t redMask = field(14), greenMask = field(15), blueMask = field(16), colors = field(19);
  if (version != 7 || (bitsPerPixel != 32 && bitsPerPixel != 24) || screenW == 0 || screenH == 0 ||
      screenW > 16384 || screenH > 16384 || bytesPerLine < screenW * bitsPerPixel / 8)
    return false;
  const uint64_t start = uint64_t(headerSize) + uint64_t(colors) * 12;
  if (start + uint64_t(bytesPerLine) * screenH > bytes.size()) return false;
  if (width == 0) left = top = 0, width = int32_t(screenW), height = int32_t(screenH);
  if (left < 0 || top < 0 || width < 0 || height < 0 || uint32_t(left + width) > screenW ||
      uint32_t(top + height) > screenH)
    return false;
  auto shift = [](uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1)) mask >>= 1, s++;
    return s;
  };
  const int rs = shift(redMask), gs = shift(greenMask), bs = shift(blueMask);
  const uint32_t pixelBytes = bitsPerPixel / 8;
  image->width = width;
  image->height = height;
  image->rgb.resize(size_t(width) * size_t(height));
  uint32_t* out = image->rgb.data();
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* p = bytes.data() + start + uint64_t(top + y) * bytesPerLine + uint64_t(left) * pixelBytes;
    for (int32_t x = 0; x < width; x++, p += pixelBytes) {
      uint32_t v = 0;
      for (uint32_t i = 0; i < pixelBytes; i++)
        v |= uint32_t(p[i]) << (8 * (byteOrder == 0 ? i : pixelBytes - 1 - i));
      *out++ = ((v & redMask) >> rs) << 16 | ((v & greenMask) >> gs) << 8 | ((v & blueMask) >> bs);
    }
  }
  return true;
}

// The whole screen; false when the file is missing, cut short, or of a kind not read here.
inline bool ReadXwd(const std::string& path, XwdImage* image) { return ReadXwdArea(path, 0, 0, 0, 0, image); }
