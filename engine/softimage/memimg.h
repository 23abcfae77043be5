// The software image: a small view record over a shared, reference-counted data record.
//
// A view of a rectangle of another image (a sub-image) shares its parent's pixels and
// raises the data record's count; the pixels go with the last release. Pixel (x, y) of a
// view lies at pixels + y x pitch + x x bytes per pixel, with the data record's pitch.
#pragma once

#include "engine/base/rect.h"
#include "engine/pixel/colorformat.h"

#include <cstdint>

enum : uint32_t { MEMIMG_MAGIC = 0x12345678 };

// Image kinds.
enum : int32_t {
  MEMIMG_KIND_RGB565 = 0,    // 2 bytes; 4 with the alpha flag (alpha in bits 16-23)
  MEMIMG_KIND_XRGB8888 = 1,  // 4 bytes; alpha in byte 3 with the alpha flag
  MEMIMG_KIND_GRAY8 = 2,     // one 8-bit channel
  MEMIMG_KIND_GRAY16 = 3,    // one 16-bit channel: the software depth buffer
};

// Run-map bytes: (type x 64) + (length - 1), runs of 1 to 64 pixels within a row; each
// row ends with MEMIMG_RUN_END.
enum : uint8_t {
  MEMIMG_RUN_SKIP = 0x00,     // transparent: nothing drawn
  MEMIMG_RUN_OPAQUE = 0x40,   // drawn as usual (alpha 255 in an alpha image)
  MEMIMG_RUN_PARTIAL = 0x80,  // alpha 1 to 254 (alpha images only)
  MEMIMG_RUN_END = 0xC0,
};

struct MemImgData {
  int32_t refCount;           // 1 at creation, +1 per sub-image view
  int32_t width;              // the whole image
  int32_t height;
  int32_t pitch;              // bytes from one row to the next
  int32_t rowShift;           // log2 of the pitch when it is a power of two, else -1
  const ColorFormat* format;  // the shared format of the kind
  uint32_t transparentColor;  // raw pixel value (a palette index for a palette image)
  int32_t kind;               // MEMIMG_KIND_*
  int32_t paletteFlag;        // 1: pixels are 8-bit indices into the palette
  int32_t paletteColorCount;  // entries in use
  int32_t alphaFlag;          // 1: every pixel carries an alpha byte
  int32_t premultipliedValid; // the premultiplied copy matches the pixels
  int32_t runMapValid;        // the run map matches the pixels
  int32_t callerOwnedPixels;  // 1: the pixel memory is the creator's and is never freed here
  void* palette;              // 256 entries in the kind's layout (u16 5:6:5 or u32 0x00RRGGBB)
  void* paletteCopy;          // 1024 bytes on: a copy of the first half
  uint8_t* pixelMemory;       // pitch x height bytes
  uint8_t* premultipliedCopy; // pitch x height bytes, or null
  uint8_t* runMap;            // (width + 5) x height bytes, or null
  uint32_t runMapKey;         // the transparent colour the run map was built with
};

struct MEMIMG {
  uint32_t magic;              // MEMIMG_MAGIC while live, 0 after release
  int32_t width;               // of the view
  int32_t height;
  uint8_t* pixels;             // the view's top-left pixel
  uint8_t* premultiplied;      // the same pixel's place in the premultiplied copy, or null
  MemImgData* data;
};

// Creates an image: pitch -1 picks bytes per pixel x width rounded up to 16; extraBuffers
// adds the run map (not for kind 2) and, with the alpha flag, the premultiplied copy;
// pixelMemory, when not null, is the caller's and is used as it is. A palette flag clears
// the alpha flag; kinds 2 and 3 clear both. -1 (nothing kept) for a live view, a kind
// outside 0-3, a size of 0 or less, a pitch smaller than a row, a size past
// IMAGE_MAX_BYTES, or a failed allocation.
int CreateMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColor, int32_t kind, int32_t paletteFlag, int32_t alphaFlag,
                 int32_t extraBuffers, void* pixelMemory);
// An image of the screen's kind when kind is -1 (kind 0 at 16 bits, else kind 1).
int CreateScreenMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t kind);
// A kind-3 image for the software depth buffer.
int CreateDepthMemImg(MEMIMG* img, int32_t width, int32_t height);
// Makes view a view of the rectangle (x, y, width, height) of source, sharing its data.
// Does nothing when source is not live or the rectangle does not lie inside it; a live
// view is released first.
void DeriveMemImg(MEMIMG* view, const MEMIMG* source, int32_t x, int32_t y, int32_t width,
                  int32_t height);
// Drops the view's reference (freeing the data with the last one) and clears the magic;
// a view that is not live is ignored.
void ReleaseMemImg(MEMIMG* img);
// 1 when the view is live and has its data record.
int IsMemImgValid(const MEMIMG* img);
// 1 when the view covers its whole image (its run map then describes the view).
int IsMemImgWholeImage(const MEMIMG* img);

// The shared format of a kind (built on first request, never freed); null above kind 3.
const ColorFormat* GetMemImgColorFormat(int32_t kind, int32_t alphaFlag, int32_t paletteFlag);
// The matching pixel-format record, cached the same way; null above kind 3.
const PixelFormatRecord* GetMemImgPixelFormat(int32_t kind, int32_t alphaFlag,
                                              int32_t paletteFlag);

// Writes the raw value into every pixel of the rectangle (the whole view when null),
// clipped to the view: no blending, brightness or transparency.
void ClearMemImgRect(MEMIMG* img, const Rect* rect, uint32_t value);
