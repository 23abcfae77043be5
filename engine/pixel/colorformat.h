// Colour formats and images in memory.
//
// A ColorFormat says how a pixel value is laid out: a packed RGB(A) value of 1 to 4
// bytes, or an 8-bit index into a palette of 256 colours. A GraphImage is a picture in
// memory described by one; the image loaders make them, graph creation, texture upload,
// the software images and the converting copy read them.
#pragma once

#include <cstdint>
#include <cstring>

// One palette entry; read as a little-endian 32-bit value it is 0xAARRGGBB, which is
// what the channel masks of a palette format describe.
struct PaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

struct ColorFormat {
  uint16_t bitDepth;       // 8, 16, 24 or 32 (0 in a zeroed record)
  uint16_t bytesPerPixel;  // 1 to 4
  uint8_t redWidth, greenWidth, blueWidth, alphaWidth;  // alpha width 0: no alpha
  uint8_t redShift, greenShift, blueShift, alphaShift;
  uint32_t redMask, greenMask, blueMask, alphaMask;
  uint32_t noChannelMask;  // bits of no channel; always set when a colour is packed
  PaletteEntry palette[256];
  uint8_t noChannelShift;  // lowest bit of the no-channel mask
  uint8_t noChannelWidth;  // run of set bits of the no-channel mask from that bit
  uint32_t formatCode;     // 0 for every format built here
};

struct GraphImage {
  ColorFormat format;
  uint32_t width;
  uint32_t height;
  uint32_t pitch;  // bytes from one row to the next
  void* pixels;    // top row first; tracked memory owned by the record; null: empty image
};

// The largest pixel block an image may take; sizes from outside are checked against it
// in 64 bits before anything is allocated. A fuzzing build takes less, so that one input
// cannot spend the run decoding a gigabyte of nothing.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int64_t IMAGE_MAX_BYTES = int64_t(1) << 24;
#else
constexpr int64_t IMAGE_MAX_BYTES = int64_t(1) << 30;
#endif

// A raw pixel value of 1 to 4 bytes, little-endian, at any alignment (any other size
// reads 0 and writes nothing).
inline uint32_t ReadPixelValue(const void* at, int bytesPerPixel) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  switch (bytesPerPixel) {
    case 1: return p[0];
    case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 3: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    case 4: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default: return 0;
  }
}
inline void WritePixelValue(void* at, int bytesPerPixel, uint32_t value) {
  uint8_t* p = static_cast<uint8_t*>(at);
  switch (bytesPerPixel) {
    case 1: p[0] = uint8_t(value); break;
    case 2: p[0] = uint8_t(value); p[1] = uint8_t(value >> 8); break;
    case 3: p[0] = uint8_t(value); p[1] = uint8_t(value >> 8); p[2] = uint8_t(value >> 16); break;
    case 4: std::memcpy(p, &value, 4); break;
    default: break;
  }
}
// Palette entry i as its little-endian 32-bit value.
inline uint32_t PaletteEntryValue(const ColorFormat* format, int index) {
  const PaletteEntry& e = format->palette[index & 0xFF];
  return uint32_t(e.blue) | uint32_t(e.green) << 8 | uint32_t(e.red) << 16 |
         uint32_t(e.alpha) << 24;
}

// A 1-byte format whose masks describe a palette entry rather than the byte itself
// (the one-channel formats of the software images are 1-byte formats that are not).
int IsPaletteColorFormat(const ColorFormat* format);

// The standard formats; each returns 0. Only the fields of the format's layout and the
// format code are written (the gray format also fills the palette with its ramp).
int SetupPalette8Format(ColorFormat* format);
int SetupGray8Format(ColorFormat* format);
int SetupRgb888Format(ColorFormat* format);
int SetupArgb8888Format(ColorFormat* format);
// Builds a format from a bit depth and four channel masks: widths and shifts from the
// masks, the no-channel mask from the bits the masks leave free. Returns 0.
int SetupFormatFromMasksCore(ColorFormat* format, int32_t bitDepth, uint32_t redMask,
                             uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// 0 when the channel widths fill the depth, else the free bits of the depth. Returns 0.
int RecomputeNoChannelMask(ColorFormat* format);
// 1 when the depths and the four masks match (the format codes when both depths are 0).
int SameColorFormat(const ColorFormat* a, const ColorFormat* b);

// Packs a colour (components 0-255): the nearest palette entry (lowest index on a tie)
// for a palette format, else each channel truncated (or widened by a shift) to its width
// with the no-channel mask set.
uint32_t ColorToPixelValue(const ColorFormat* format, int32_t red, int32_t green, int32_t blue,
                           int32_t alpha);
// Moves each channel by shifting to the destination's width (no low-bit fill); a source
// without alpha gives full alpha.
uint32_t ConvertPixelValue(const ColorFormat* destination, const ColorFormat* source,
                           uint32_t value);
// Each channel scaled to 0-255 (channel x 255 / channel maximum); a null pointer skips a
// channel; alpha and any channel of width 0 read 0. Returns 0.
int PixelValueToColor(const ColorFormat* format, uint32_t value, int32_t* red, int32_t* green,
                      int32_t* blue, int32_t* alpha);
// The pixel at (x, y) as 0xAARRGGBB with each channel at the top of its byte; 0 for an
// empty image or a position outside it.
uint32_t ReadImagePixelARGB(const GraphImage* image, int32_t x, int32_t y);

// Zero the record, set the format and size and allocate the (uncleared) pixels.
// -1 for a size of 0 or less or past IMAGE_MAX_BYTES, or when the allocation fails.
int CreateGraphImageARGB8(int32_t width, int32_t height, GraphImage* image);
int CreateGraphImageRGB8(int32_t width, int32_t height, GraphImage* image);  // rows of 4n bytes
// Every pixel receives the packed colour (the nearest index for a palette image). 0.
int FillGraphImage(GraphImage* image, int32_t red, int32_t green, int32_t blue, int32_t alpha);
// -1 outside the image (negative positions too) or for an empty image, else 0.
int SetGraphImagePixel(GraphImage* image, int32_t x, int32_t y, int32_t red, int32_t green,
                       int32_t blue, int32_t alpha);
int GetGraphImagePixel(const GraphImage* image, int32_t x, int32_t y, int32_t* red,
                       int32_t* green, int32_t* blue, int32_t* alpha);
// Reverses every row in place; -1 for an image without pixels or of zero size.
int MirrorImageRows(GraphImage* image);
// Frees the pixels and zeroes the record. 0.
int FreeGraphImageCore(GraphImage* image);

// The 32-byte pixel-format record of the DirectDraw-style surfaces.
struct PixelFormatRecord {
  uint32_t size;
  uint32_t flags;
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};
enum : uint32_t { PIXEL_FORMAT_FLAG_RGB = 0x40 };

// Zeroes the record and fills size 32, the RGB flag, the bit count and the masks. 0.
int MakeRgbPixelFormatCore(PixelFormatRecord* record, uint32_t bitCount, uint32_t redMask,
                           uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
