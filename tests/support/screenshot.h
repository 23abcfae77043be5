// Screenshots of the engine's window for the checks on a real X display: the client area
// cut from the screen Xvfb keeps as an X window dump (support/xwd.h), pixels reduced to
// 5:6:5 for comparison with a frame the headless back ends kept, and PNG files of either
// for the run's artefacts.
#pragma once

#include "support/xwd.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

// 0xRRGGBB with the bits 5:6:5 keeps, the rest cleared.
inline uint32_t ReduceTo565(uint32_t rgb) { return rgb & 0xF8FCF8u; }

// The width x height area whose top-left lies at (left, top) of the dumped screen, as
// 0xRRGGBB row by row; false when the dump cannot be read or the area leaves it.
inline bool ScreenshotArea(const char* xwdPath, int32_t left, int32_t top, int32_t width, int32_t height,
                           std::vector<uint32_t>* rgb) {
  XwdImage area;
  if (width <= 0 || height <= 0 || !ReadXwdArea(xwdPath, left, top, width, height, &area)) return false;
  *rgb = std::move(area.rgb);
  return true;
}

// Writes 0xRRGGBB pixels, row by row, as an 8-bit RGB PNG; false when it cannot.
inline bool WriteRgbPng(const char* path, int32_t width, int32_t height, const std::vector<uint32_t>& rgb) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(size_t(width) * 3);
  bool ok = png && info && setjmp(png_jmpbuf(png)) == 0;
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
      for (int32_t x = 0; x < width; x++) {
        const uint32_t v = rgb[size_t(y) * size_t(width) + size_t(x)];
        row[size_t(x) * 3] = uint8_t(v >> 16);
        row[size_t(x) * 3 + 1] = uint8_t(v >> 8);
        row[size_t(x) * 3 + 2] = uint8_t(v);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}
