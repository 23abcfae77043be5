#include "engine/graphics/pngload.h"

#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"

#include <csetjmp>
#include <cstring>

int SetPngStreamSource(png_structp png, PngInput* input, const StreamRow* stream) {
  const StreamFunctions& f = stream->functions;
  input->stream = stream;
  const int64_t position = f.tell(stream->handle);
  f.seek(stream->handle, 0, FILE_SEEK_END);
  input->end = f.tell(stream->handle);
  f.seek(stream->handle, int32_t(position), FILE_SEEK_SET);
  png_set_read_fn(png, input, ReadPngStream);
  return 0;
}

void ReadPngStream(png_structp png, png_bytep data, size_t length) {
  const PngInput* input = static_cast<const PngInput*>(png_get_io_ptr(png));
  const StreamRow* s = input->stream;
  const int64_t position = s->functions.tell(s->handle);
  // Counted in bytes, so that a short read shows: a stale buffer must never reach libpng.
  if (position < 0 || length > UINT32_MAX || input->end - position < int64_t(length) ||
      s->functions.read(data, 1, uint32_t(length), s->handle) != int64_t(length))
    png_error(png, "Read Error");
}

namespace {

// The pixel layout libpng leaves after the transforms of DecodePngImage.
void SetPngFormat(png_structp png, png_infop info, int colorType, bool expanded,
                  uint32_t width, size_t rowBytes, ColorFormat* format) {
  if (colorType == PNG_COLOR_TYPE_PALETTE && !expanded) {
    SetupPalette8Format(format);
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) && palette) {
      for (int i = 0; i < count && i < 256; i++)
        format->palette[i] = PaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (rowBytes / 2 < width) {
      SetupGray8Format(format);
    } else {
      // Grey then alpha: the grey byte stands for all three colours, the alpha byte is
      // left out.
      format->bitDepth = 16;
      format->bytesPerPixel = 2;
      format->redWidth = format->greenWidth = format->blueWidth = 8;
      format->redShift = format->greenShift = format->blueShift = 0;
      format->redMask = format->greenMask = format->blueMask = 0xFF;
      format->noChannelMask = 0xFF00;
      format->formatCode = 0;
    }
  } else if (png_get_channels(png, info) == 4) {
    SetupRgb888Format(format);
    format->bitDepth = 32;
    format->bytesPerPixel = 4;
    format->alphaWidth = 8;
    format->alphaShift = 24;
    format->alphaMask = 0xFF000000;
  } else {
    SetupRgb888Format(format);
  }
}

}  // namespace

// libpng answers an error by jumping back to the setjmp below: nothing here has a
// destructor, and whatever the jump path frees sits in a volatile pointer.
int DecodePngImage(const StreamRow* stream, GraphImage* image) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  PngInput input;
  png_bytep* volatile rows = nullptr;
  uint8_t* volatile pixels = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    TrackedFree(rows);
    TrackedFree(pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }

  // Of the ancillary chunks only tRNS changes the picture. The others are skipped unread:
  // some (sPLT, tEXt) would have libpng allocate whatever length the file claims for them,
  // gigabytes from a file of a hundred bytes.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  SetPngStreamSource(png, &input, stream);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

  png_set_strip_16(png);
  png_set_packing(png);
  png_set_packswap(png);
  const bool expanded = (colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) ||
                        png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (expanded) png_set_expand(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  // Sizes from the file are checked before anything of that size is allocated.
  const size_t rowBytes = png_get_rowbytes(png, info);
  const uint64_t total = uint64_t(rowBytes) * height;
  if (rowBytes == 0 || height == 0 || total > uint64_t(IMAGE_MAX_BYTES))
    png_error(png, "Image too large");

  // The rows go straight into the picture's own block.
  rows = static_cast<png_bytep*>(TrackedAlloc(size_t(height) * sizeof(png_bytep), "", 0));
  if (!rows) png_error(png, "Out of memory");
  pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(total), "", 0));
  if (!pixels) png_error(png, "Out of memory");
  for (png_uint_32 y = 0; y < height; y++) rows[y] = pixels + size_t(y) * rowBytes;
  png_read_image(png, rows);
  TrackedFree(rows);
  rows = nullptr;
  png_read_end(png, nullptr);

  image->width = width;
  image->height = height;
  image->pitch = uint32_t(rowBytes);
  image->pixels = pixels;
  SetPngFormat(png, info, colorType, expanded, width, rowBytes, &image->format);
  png_destroy_read_struct(&png, &info, nullptr);
  return 0;
}
