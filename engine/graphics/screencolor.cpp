// Colours in the screen's format, and the colour format of a display pixel format.
#include "engine/graphics/cores.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/softimage/memimg.h"

namespace {

const ColorFormat* SoftwareFormat(int32_t depth) {
  return GetMemImgColorFormat(depth == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888, 0, 0);
}

// The screen's format; before the screen exists, the 16-bit format it starts with.
const ColorFormat* ScreenFormat() {
  const ColorFormat* format = &g_ScreenState.colorFormat;
  return format->bitDepth ? format : SoftwareFormat(16);
}

// The 8-bit screen's colours, 0xRRGGBB.
void ScreenPalette(uint32_t rgb[256]) {
  const ScreenState& s = g_ScreenState;
  PlatDDPaletteEntry entries[256];
  if (s.palette && PlatDDPaletteGetEntries(s.palette, 0, 0, 256, entries) == PLAT_DD_OK) {
    for (int i = 0; i < 256; i++)
      rgb[i] = uint32_t(entries[i].red) << 16 | uint32_t(entries[i].green) << 8 | entries[i].blue;
    return;
  }
  const uint32_t* defaults = DefaultScreenPalette();
  for (int i = 0; i < 256; i++) rgb[i] = defaults[i];
}

uint32_t PackChannel(int32_t value, uint8_t width, uint8_t shift) {
  const uint32_t v = uint32_t(value) & 0xFF;
  const uint32_t narrowed = width <= 8 ? v >> (8 - width) : v << (width - 8);
  return width ? narrowed << shift : 0;
}

int32_t UnpackChannel(uint32_t value, uint32_t mask, uint8_t shift, uint8_t width) {
  // A channel the format does not have reads 0 rather than dividing by zero.
  if (width == 0) return 0;
  const uint64_t top = (uint64_t(1) << width) - 1;
  return int32_t(uint64_t((value & mask) >> shift) * 255 / top);
}

}  // namespace

uint32_t PackScreenColorCore(int32_t red, int32_t green, int32_t blue) {
  const ScreenState& s = g_ScreenState;
  if (s.depth == 8) {
    uint32_t rgb[256];
    ScreenPalette(rgb);
    int64_t best = 16777215;
    uint32_t index = 0;
    for (uint32_t i = 0; i < 256; i++) {
      const int64_t dr = int64_t(rgb[i] >> 16 & 0xFF) - red, dg = int64_t(rgb[i] >> 8 & 0xFF) - green,
                    db = int64_t(rgb[i] & 0xFF) - blue;
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        index = i;
      }
    }
    return index;
  }
  const ColorFormat* f = s.softwareRender ? SoftwareFormat(QueryScreenDepth()) : ScreenFormat();
  return PackChannel(red, f->redWidth, f->redShift) + PackChannel(green, f->greenWidth, f->greenShift) +
         PackChannel(blue, f->blueWidth, f->blueShift) + f->noChannelMask;
}

int UnpackScreenColor(uint32_t value, int32_t* red, int32_t* green, int32_t* blue) {
  const ScreenState& s = g_ScreenState;
  int32_t r, g, b;
  if (s.depth == 8) {
    if (value > 255) return -1;
    uint32_t rgb[256];
    ScreenPalette(rgb);
    r = int32_t(rgb[value] >> 16 & 0xFF);
    g = int32_t(rgb[value] >> 8 & 0xFF);
    b = int32_t(rgb[value] & 0xFF);
  } else {
    const bool own = s.softwareRender && s.depth != uint32_t(QueryScreenDepth());
    const ColorFormat* f = own ? SoftwareFormat(QueryScreenDepth()) : ScreenFormat();
    r = UnpackChannel(value, f->redMask, f->redShift, f->redWidth);
    g = UnpackChannel(value, f->greenMask, f->greenShift, f->greenWidth);
    b = UnpackChannel(value, f->blueMask, f->blueShift, f->blueWidth);
  }
  if (red) *red = r;
  if (green) *green = g;
  if (blue) *blue = b;
  return 0;
}

int ColorFormatFromPixelFormat(const PixelFormatRecord* pixelFormat, ColorFormat* out) {
  SetupFormatFromMasksCore(out, int32_t(pixelFormat->bitCount), pixelFormat->redMask, pixelFormat->greenMask,
                           pixelFormat->blueMask, pixelFormat->alphaMask);
  return 0;
}
