#include "engine/pixel/colorformat.h"

#include "engine/base/memory.h"

#include <cstring>

namespace {

// Shifts that give 0 past the word instead of undefined behaviour, for formats whose
// fields come from outside.
uint32_t Shl(uint32_t v, unsigned s) { return s < 32 ? v << s : 0; }
uint32_t Shr(uint32_t v, unsigned s) { return s < 32 ? v >> s : 0; }
uint32_t LowBits(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }

// Lowest set bit and the run of set bits from it; 0, 0 for an empty mask.
void AnalyseMask(uint32_t mask, uint8_t* shift, uint8_t* width) {
  *shift = 0;
  *width = 0;
  if (!mask) return;
  unsigned s = 0;
  while (!(mask >> s & 1)) s++;
  unsigned w = 0;
  while (s + w < 32 && (mask >> (s + w) & 1)) w++;
  *shift = uint8_t(s);
  *width = uint8_t(w);
}

void SetByteChannels(ColorFormat* f, uint16_t depth, uint16_t bytes) {
  f->bitDepth = depth;
  f->bytesPerPixel = bytes;
  f->redWidth = f->greenWidth = f->blueWidth = 8;
  f->redShift = 16;
  f->greenShift = 8;
  f->blueShift = 0;
  f->redMask = 0xFF0000;
  f->greenMask = 0xFF00;
  f->blueMask = 0xFF;
  f->alphaWidth = 0;
  f->alphaShift = 0;
  f->alphaMask = 0;
  f->noChannelMask = 0;
  f->formatCode = 0;
}

// A 0-255 component packed into a channel: truncated to a narrower channel, moved up by
// the difference into a wider one.
uint32_t PackChannel(int32_t value, unsigned width, unsigned shift) {
  uint32_t c = uint32_t(value) & 0xFF;
  c = width <= 8 ? c >> (8 - width) : Shl(c, width - 8);
  return Shl(c, shift);
}

uint32_t Channel(uint32_t value, uint32_t mask, unsigned shift) { return Shr(value & mask, shift); }

// A channel moved to the top of its byte (no low-bit fill).
uint32_t ChannelToByte(uint32_t value, uint32_t mask, unsigned shift, unsigned width) {
  uint32_t c = Channel(value, mask, shift);
  return width <= 8 ? Shl(c, 8 - width) & 0xFF : Shr(c, width - 8) & 0xFF;
}

int32_t ChannelTo255(uint32_t value, uint32_t mask, unsigned shift, unsigned width) {
  if (width == 0) return 0;
  uint64_t max = (uint64_t(1) << (width > 32 ? 32 : width)) - 1;
  return int32_t(uint64_t(Channel(value, mask, shift)) * 255 / max);
}

// Sets up an image's record for a new picture and allocates its rows.
int CreateGraphImage(int32_t width, int32_t height, int bytesPerPixel, GraphImage* image) {
  std::memset(image, 0, sizeof *image);
  if (bytesPerPixel == 4) {
    SetupArgb8888Format(&image->format);
  } else {
    SetupRgb888Format(&image->format);
  }
  if (width <= 0 || height <= 0) return -1;
  int64_t pitch = (int64_t(width) * bytesPerPixel + 3) / 4 * 4;
  if (pitch * height > IMAGE_MAX_BYTES) return -1;
  image->width = uint32_t(width);
  image->height = uint32_t(height);
  image->pitch = uint32_t(pitch);
  image->pixels = TrackedAlloc(size_t(pitch * height), "", 0);
  return image->pixels ? 0 : -1;
}

uint8_t* PixelAt(const GraphImage* image, uint32_t x, uint32_t y) {
  return static_cast<uint8_t*>(image->pixels) + size_t(y) * image->pitch +
         size_t(x) * image->format.bytesPerPixel;
}

}  // namespace

int IsPaletteColorFormat(const ColorFormat* format) {
  return format->bytesPerPixel == 1 &&
         ((format->redMask | format->greenMask | format->blueMask) & ~0xFFu) != 0;
}

int SetupPalette8Format(ColorFormat* format) {
  SetByteChannels(format, 8, 1);
  format->noChannelMask = 0xFF000000;
  return 0;
}

int SetupGray8Format(ColorFormat* format) {
  SetupPalette8Format(format);
  for (int i = 0; i < 256; i++) {
    format->palette[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  }
  return 0;
}

int SetupRgb888Format(ColorFormat* format) {
  SetByteChannels(format, 24, 3);
  return 0;
}

int SetupArgb8888Format(ColorFormat* format) {
  SetByteChannels(format, 32, 4);
  format->alphaWidth = 8;
  format->alphaShift = 24;
  format->alphaMask = 0xFF000000;
  return 0;
}

int SetupFormatFromMasksCore(ColorFormat* format, int32_t bitDepth, uint32_t redMask,
                             uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  format->bitDepth = uint16_t(bitDepth);
  format->bytesPerPixel = uint16_t(bitDepth / 8);
  format->redMask = redMask;
  format->greenMask = greenMask;
  format->blueMask = blueMask;
  format->alphaMask = alphaMask;
  format->formatCode = 0;
  uint32_t depthBits = bitDepth <= 0 ? 0 : LowBits(unsigned(bitDepth));
  format->noChannelMask = depthBits & ~(redMask | greenMask | blueMask | alphaMask);
  AnalyseMask(redMask, &format->redShift, &format->redWidth);
  AnalyseMask(greenMask, &format->greenShift, &format->greenWidth);
  AnalyseMask(blueMask, &format->blueShift, &format->blueWidth);
  AnalyseMask(alphaMask, &format->alphaShift, &format->alphaWidth);
  AnalyseMask(format->noChannelMask, &format->noChannelShift, &format->noChannelWidth);
  return 0;
}

int RecomputeNoChannelMask(ColorFormat* format) {
  unsigned widths =
      unsigned(format->redWidth) + format->greenWidth + format->blueWidth + format->alphaWidth;
  if (widths == format->bitDepth) {
    format->noChannelMask = 0;
  } else {
    format->noChannelMask = LowBits(format->bitDepth) & ~(format->redMask | format->greenMask |
                                                          format->blueMask | format->alphaMask);
  }
  return 0;
}

int SameColorFormat(const ColorFormat* a, const ColorFormat* b) {
  if (a->bitDepth == 0 && b->bitDepth == 0 && a->formatCode != b->formatCode) return 0;
  return a->bitDepth == b->bitDepth && a->redMask == b->redMask && a->greenMask == b->greenMask &&
         a->blueMask == b->blueMask && a->alphaMask == b->alphaMask;
}

uint32_t ColorToPixelValue(const ColorFormat* format, int32_t red, int32_t green, int32_t blue,
                           int32_t alpha) {
  if (IsPaletteColorFormat(format)) {
    int best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int i = 0; i < 256; i++) {
      const PaletteEntry& e = format->palette[i];
      int64_t dr = int64_t(e.red) - red, dg = int64_t(e.green) - green, db = int64_t(e.blue) - blue;
      int64_t distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = i;
      }
    }
    return uint32_t(best);
  }
  uint32_t v = PackChannel(red, format->redWidth, format->redShift) |
               PackChannel(green, format->greenWidth, format->greenShift) |
               PackChannel(blue, format->blueWidth, format->blueShift) | format->noChannelMask;
  if (format->alphaWidth) v |= PackChannel(alpha, format->alphaWidth, format->alphaShift);
  return v;
}

uint32_t ConvertPixelValue(const ColorFormat* destination, const ColorFormat* source,
                           uint32_t value) {
  auto move = [](uint32_t c, unsigned from, unsigned to) {
    return to > from ? Shl(c, to - from) : Shr(c, from - to);
  };
  const ColorFormat* d = destination;
  const ColorFormat* s = source;
  uint32_t r = move(Channel(value, s->redMask, s->redShift), s->redWidth, d->redWidth);
  uint32_t g = move(Channel(value, s->greenMask, s->greenShift), s->greenWidth, d->greenWidth);
  uint32_t b = move(Channel(value, s->blueMask, s->blueShift), s->blueWidth, d->blueWidth);
  uint32_t a = s->alphaWidth == 0 ? Shr(d->alphaMask, d->alphaShift)
                                  : move(Channel(value, s->alphaMask, s->alphaShift), s->alphaWidth,
                                         d->alphaWidth);
  return Shl(r, d->redShift) | Shl(g, d->greenShift) | Shl(b, d->blueShift) |
         Shl(a, d->alphaShift) | d->noChannelMask;
}

int PixelValueToColor(const ColorFormat* format, uint32_t value, int32_t* red, int32_t* green,
                      int32_t* blue, int32_t* alpha) {
  const ColorFormat* f = format;
  if (red) *red = ChannelTo255(value, f->redMask, f->redShift, f->redWidth);
  if (green) *green = ChannelTo255(value, f->greenMask, f->greenShift, f->greenWidth);
  if (blue) *blue = ChannelTo255(value, f->blueMask, f->blueShift, f->blueWidth);
  if (alpha) *alpha = ChannelTo255(value, f->alphaMask, f->alphaShift, f->alphaWidth);
  return 0;
}

uint32_t ReadImagePixelARGB(const GraphImage* image, int32_t x, int32_t y) {
  if (!image->pixels || uint32_t(x) >= image->width || uint32_t(y) >= image->height) return 0;
  const ColorFormat* f = &image->format;
  if (f->bytesPerPixel < 1 || f->bytesPerPixel > 4) return 0;
  uint32_t v = ReadPixelValue(PixelAt(image, uint32_t(x), uint32_t(y)), f->bytesPerPixel);
  // A palette pixel stands for its entry, whose layout the format's masks describe.
  if (IsPaletteColorFormat(f)) v = PaletteEntryValue(f, int(v));
  uint32_t argb = ChannelToByte(v, f->blueMask, f->blueShift, f->blueWidth) |
                  ChannelToByte(v, f->greenMask, f->greenShift, f->greenWidth) << 8 |
                  ChannelToByte(v, f->redMask, f->redShift, f->redWidth) << 16;
  if (f->alphaWidth) argb |= ChannelToByte(v, f->alphaMask, f->alphaShift, f->alphaWidth) << 24;
  return argb;
}

int CreateGraphImageARGB8(int32_t width, int32_t height, GraphImage* image) {
  return CreateGraphImage(width, height, 4, image);
}

int CreateGraphImageRGB8(int32_t width, int32_t height, GraphImage* image) {
  return CreateGraphImage(width, height, 3, image);
}

int FillGraphImage(GraphImage* image, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  if (!image->pixels) return 0;
  int bytes = image->format.bytesPerPixel;
  uint32_t value = ColorToPixelValue(&image->format, red, green, blue, alpha);
  for (uint32_t y = 0; y < image->height; y++) {
    uint8_t* p = PixelAt(image, 0, y);
    for (uint32_t x = 0; x < image->width; x++, p += bytes) WritePixelValue(p, bytes, value);
  }
  return 0;
}

int SetGraphImagePixel(GraphImage* image, int32_t x, int32_t y, int32_t red, int32_t green,
                       int32_t blue, int32_t alpha) {
  if (!image->pixels || uint32_t(x) >= image->width || uint32_t(y) >= image->height) return -1;
  uint32_t value = ColorToPixelValue(&image->format, red, green, blue, alpha);
  WritePixelValue(PixelAt(image, uint32_t(x), uint32_t(y)), image->format.bytesPerPixel, value);
  return 0;
}

int GetGraphImagePixel(const GraphImage* image, int32_t x, int32_t y, int32_t* red, int32_t* green,
                       int32_t* blue, int32_t* alpha) {
  if (!image->pixels || uint32_t(x) >= image->width || uint32_t(y) >= image->height) return -1;
  const ColorFormat* f = &image->format;
  if (f->bytesPerPixel < 1 || f->bytesPerPixel > 4) return -1;
  uint32_t v = ReadPixelValue(PixelAt(image, uint32_t(x), uint32_t(y)), f->bytesPerPixel);
  if (f->bytesPerPixel == 1 && IsPaletteColorFormat(f)) {
    const PaletteEntry& e = f->palette[v];
    if (red) *red = e.red;
    if (green) *green = e.green;
    if (blue) *blue = e.blue;
    if (alpha) *alpha = e.alpha;
    return 0;
  }
  return PixelValueToColor(f, v, red, green, blue, alpha);
}

int MirrorImageRows(GraphImage* image) {
  if (!image->pixels || image->width == 0 || image->height == 0) return -1;
  int bytes = image->format.bytesPerPixel;
  if (bytes < 1 || bytes > 4) return 0;
  for (uint32_t y = 0; y < image->height; y++) {
    for (uint32_t x = 0; x < image->width / 2; x++) {
      uint8_t* a = PixelAt(image, x, y);
      uint8_t* b = PixelAt(image, image->width - 1 - x, y);
      uint32_t va = ReadPixelValue(a, bytes);
      WritePixelValue(a, bytes, ReadPixelValue(b, bytes));
      WritePixelValue(b, bytes, va);
    }
  }
  return 0;
}

int FreeGraphImageCore(GraphImage* image) {
  if (image->pixels) TrackedFree(image->pixels);
  std::memset(image, 0, sizeof *image);
  return 0;
}

int MakeRgbPixelFormatCore(PixelFormatRecord* record, uint32_t bitCount, uint32_t redMask,
                           uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  std::memset(record, 0, sizeof *record);
  record->size = sizeof *record;
  record->flags = PIXEL_FORMAT_FLAG_RGB;
  record->bitCount = bitCount;
  record->redMask = redMask;
  record->greenMask = greenMask;
  record->blueMask = blueMask;
  record->alphaMask = alphaMask;
  return 0;
}
