#include "tools/makeassets/assets.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace {

void AppendBytes(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void NoFlush(png_structp) {}

}  // namespace

int EncodePng(const Canvas& canvas, std::string* out) {
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::fprintf(stderr, "makeassets: libpng would not start\n");
    return -1;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fprintf(stderr, "makeassets: libpng failed\n");
    return -1;
  }
  png_set_write_fn(png, out, AppendBytes, NoFlush);
  // Plain 8-bit RGB with no alpha and no time chunk: the same bytes every build.
  png_set_IHDR(png, info, png_uint_32(canvas.width), png_uint_32(canvas.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < canvas.height; y++) {
    const Rgb* row = &canvas.pixels[size_t(y) * size_t(canvas.width)];
    png_write_row(png, reinterpret_cast<png_const_bytep>(row));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return 0;
}
