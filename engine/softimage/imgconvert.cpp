#include "engine/softimage/imgconvert.h"

#include "engine/pixel/convert.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// One axis of a copy: the source span [from, from + length) lands at to. Trims it to
// the source's and the destination's sizes; false when nothing is left.
bool ClipAxis(int64_t* from, int64_t* to, int64_t* length, int64_t sourceSize,
              int64_t destinationSize) {
  if (*from < 0) {
    *to -= *from;
    *length += *from;
    *from = 0;
  }
  if (*to < 0) {
    *from -= *to;
    *length += *to;
    *to = 0;
  }
  *length = std::min(*length, sourceSize - *from);
  *length = std::min(*length, destinationSize - *to);
  return *length > 0;
}

// The copy of rectangle (x, y, width, height) to (toX, toY), clipped to both images.
struct CopyRect {
  Rect source;
  int32_t toX;
  int32_t toY;
};

bool ClipCopy(int64_t x, int64_t y, int64_t width, int64_t height, int64_t toX, int64_t toY,
              int64_t sourceWidth, int64_t sourceHeight, int64_t destinationWidth,
              int64_t destinationHeight, CopyRect* out) {
  if (!ClipAxis(&x, &toX, &width, sourceWidth, destinationWidth)) return false;
  if (!ClipAxis(&y, &toY, &height, sourceHeight, destinationHeight)) return false;
  out->source = Rect{int32_t(x), int32_t(y), int32_t(x + width), int32_t(y + height)};
  out->toX = int32_t(toX);
  out->toY = int32_t(toY);
  return true;
}

// Fills the premultiplied copy of a whole alpha image from its pixels.
void BuildPremultiplied(MEMIMG* img) {
  MemImgData* d = img->data;
  for (int32_t y = 0; y < img->height; y++) {
    const uint8_t* s = img->pixels + ptrdiff_t(y) * d->pitch;
    uint8_t* p = img->premultiplied + ptrdiff_t(y) * d->pitch;
    for (int32_t x = 0; x < img->width; x++, s += 4, p += 4) {
      uint32_t v = ReadPixelValue(s, 4), out;
      if (d->kind == MEMIMG_KIND_RGB565) {
        uint32_t a = v >> 16 & 0xFF;
        uint32_t r = (v >> 11 & 0x1F) * a >> 8, g = (v >> 5 & 0x3F) * a >> 8,
                 b = (v & 0x1F) * a >> 8;
        out = r << 11 | g << 5 | b | a << 16;
      } else {
        uint32_t a = v >> 24;
        uint32_t r = (v >> 16 & 0xFF) * a >> 8, g = (v >> 8 & 0xFF) * a >> 8,
                 b = (v & 0xFF) * a >> 8;
        out = b | g << 8 | r << 16 | a << 24;
      }
      WritePixelValue(p, 4, out);
    }
  }
}

// Run classes: 0 transparent, 1 opaque, 2 partly transparent.
int PixelClass(const MemImgData* d, const uint8_t* p) {
  if (d->paletteFlag) return *p == d->transparentColor ? 0 : 1;
  if (d->alphaFlag) {
    uint32_t a = d->kind == MEMIMG_KIND_RGB565 ? p[2] : p[3];
    return a == 0 ? 0 : a == 255 ? 1 : 2;
  }
  uint32_t v = ReadPixelValue(p, d->kind == MEMIMG_KIND_RGB565 ? 2 : 4);
  return v == d->transparentColor ? 0 : 1;
}

// Each row as runs of up to 64 pixels of one class, then the end byte.
void BuildRunMap(MEMIMG* img) {
  MemImgData* d = img->data;
  int bytes = d->format->bytesPerPixel;
  uint8_t* out = d->runMap;
  d->runMapKey = d->transparentColor;
  for (int32_t y = 0; y < img->height; y++) {
    const uint8_t* p = img->pixels + ptrdiff_t(y) * d->pitch;
    int32_t x = 0;
    while (x < img->width) {
      int cls = PixelClass(d, p + ptrdiff_t(x) * bytes);
      int32_t length = 1;
      while (length < 64 && x + length < img->width &&
             PixelClass(d, p + ptrdiff_t(x + length) * bytes) == cls) {
        length++;
      }
      *out++ = uint8_t(cls * 64 + length - 1);
      x += length;
    }
    *out++ = MEMIMG_RUN_END;
  }
}

// The source palette in the image's own layout, in both halves.
void ConvertPalette(MemImgData* d, const ColorFormat* source) {
  size_t half = d->kind == MEMIMG_KIND_RGB565 ? 512 : 1024;
  for (int i = 0; i < 256; i++) {
    const PaletteEntry& e = source->palette[i];
    if (d->kind == MEMIMG_KIND_RGB565) {
      uint16_t v = uint16_t((e.red >> 3) << 11 | (e.green >> 2) << 5 | (e.blue >> 3));
      std::memcpy(static_cast<uint8_t*>(d->palette) + 2 * i, &v, 2);
    } else {
      uint32_t v = uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
      std::memcpy(static_cast<uint8_t*>(d->palette) + 4 * i, &v, 4);
    }
  }
  std::memcpy(d->paletteCopy, d->palette, half);
}

}  // namespace

int ConvertMemImgRect(MEMIMG* destination, const MEMIMG* source, const Rect* rect, int32_t x,
                      int32_t y) {
  if (!IsMemImgValid(destination) || !IsMemImgValid(source)) return -1;
  Rect r = rect ? *rect : Rect{0, 0, source->width, source->height};
  CopyRect c;
  if (!ClipCopy(r.left, r.top, int64_t(r.right) - r.left, int64_t(r.bottom) - r.top, x, y,
                source->width, source->height, destination->width, destination->height, &c)) {
    return -1;
  }
  return ConvertBlitRect(destination->pixels, destination->data->pitch, destination->data->format,
                         source->pixels, source->data->pitch, source->data->format, nullptr, 0,
                         nullptr, c.toX, c.toY, &c.source, 0, 0, 0, 0, 0, 0, 0, 0);
}

void GraphImageToMemImgRect(const GraphImage* source, const GraphImage* alpha, MEMIMG* destination,
                            int32_t x, int32_t y, int32_t width, int32_t height, int32_t toX,
                            int32_t toY, int32_t keyToAlpha) {
  if (!source || !source->pixels || !IsMemImgValid(destination)) return;
  if (alpha && !alpha->pixels) alpha = nullptr;
  MemImgData* d = destination->data;
  int64_t sourceWidth = source->width, sourceHeight = source->height;
  if (alpha) {
    sourceWidth = std::min<int64_t>(sourceWidth, alpha->width);
    sourceHeight = std::min<int64_t>(sourceHeight, alpha->height);
  }
  CopyRect c;
  bool copied = ClipCopy(x, y, width, height, toX, toY, sourceWidth, sourceHeight,
                         destination->width, destination->height, &c);
  const ColorFormat* df = d->format;
  if (d->kind == MEMIMG_KIND_GRAY8 || d->kind == MEMIMG_KIND_GRAY16) {
    // One channel: it takes the source's red.
    if (copied) {
      ConvertBlitRect(destination->pixels, d->pitch, df, source->pixels, int32_t(source->pitch),
                      &source->format, nullptr, 0, nullptr, c.toX, c.toY, &c.source, 0, 0, 0, 0, 1,
                      1, 0, 0);
    }
  } else {
    if (!copied) return;
    int result =
        ConvertBlitRect(destination->pixels, d->pitch, df, source->pixels, int32_t(source->pitch),
                        &source->format, alpha ? alpha->pixels : nullptr,
                        alpha ? int32_t(alpha->pitch) : 0, alpha ? &alpha->format : nullptr, c.toX,
                        c.toY, &c.source, 0, keyToAlpha, d->transparentColor, 0, 0, 0, 0, 0);
    if (result < 0) return;
    if (d->paletteFlag) {
      // A copy between 8-bit images reports the highest index it copied.
      if (!alpha) d->paletteColorCount = result + 1;
      ConvertPalette(d, &source->format);
    }
  }
  d->premultipliedValid = 0;
  d->runMapValid = 0;

  // The maps describe the whole image: rebuilt only by a copy that covers all of it.
  if (!copied || d->kind > MEMIMG_KIND_XRGB8888 || !d->runMap || !IsMemImgWholeImage(destination))
    return;
  if (c.source.right - c.source.left != destination->width ||
      c.source.bottom - c.source.top != destination->height) {
    return;
  }
  d->runMapValid = 1;
  if (d->alphaFlag && d->premultipliedCopy) {
    d->premultipliedValid = 1;
    BuildPremultiplied(destination);
  }
  BuildRunMap(destination);
}

void CopyScreenMemImgRect(GraphImage* destination, const MEMIMG* source, int32_t x, int32_t y,
                          int32_t width, int32_t height, int32_t toX, int32_t toY, uint32_t key,
                          int32_t keyFlag) {
  if (!destination || !destination->pixels || !IsMemImgValid(source)) return;
  const MemImgData* d = source->data;
  if (d->kind > MEMIMG_KIND_XRGB8888 || d->paletteFlag || d->alphaFlag) return;
  CopyRect c;
  if (!ClipCopy(x, y, width, height, toX, toY, source->width, source->height, destination->width,
                destination->height, &c)) {
    return;
  }
  ConvertBlitRect(destination->pixels, int32_t(destination->pitch), &destination->format,
                  source->pixels, d->pitch, d->format, nullptr, 0, nullptr, c.toX, c.toY, &c.source,
                  0, 0, key, 0, 0, 0, keyFlag, 0);
}
