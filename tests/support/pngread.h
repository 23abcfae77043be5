// Reads a PNG file as 0xRRGGBB pixels, row by row, for checks and benchmarks that compare
// with the generated sprite sheets.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;
};

// false when the file cannot be read as a PNG.
inline bool ReadRgbPng(const std::string& path, RgbImage* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
  out->width = int32_t(image.width);
  out->height = int32_t(image.height);
  out->rgb.resize(size_t(image.width) * image.height);
  for (size_t i = 0; i < out->rgb.size(); i++)
    out->rgb[i] = uint32_t(bytes[i * 3]) << 16 | uint32_t(bytes[i * 3 + 1]) << 8 | bytes[i * 3 + 2];
  return true;
}
