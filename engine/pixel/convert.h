// The engine's one pixel converter: a rectangle copy from one memory image to another
// that converts between colour formats on the way, with mirroring, colour keys, alpha
// from a separate image, dithering and palette remapping. It works on raw memory
// (pointer, pitch, format), never allocates, never logs and does no clipping: the caller
// guarantees that the rectangle lies inside the source (and alpha) image and that the
// destination has room at (x, y).
#pragma once

#include "engine/base/rect.h"
#include "engine/pixel/colorformat.h"

#include <cstdint>

enum : int32_t {
  CONVERT_DITHER_NONE = 0,
  CONVERT_DITHER_ORDERED = 1,  // 4 x 4 threshold matrix
  CONVERT_DITHER_CARRY = 2,    // lost bits carried from pixel to pixel
};

// Returns -1 when the rectangle has no width or height (or an argument is missing);
// otherwise 0, except the plain copy between two 8-bit images, which returns the highest
// index copied.
//   mirror        each row is written right to left
//   keyToAlpha    destination alpha cleared where the colour equals key (0xRRGGBB), full
//                 elsewhere
//   key           the colour for keyToAlpha; for skipKey a raw source pixel value (for a
//                 palette source, the colour of its entry)
//   dither        CONVERT_DITHER_*
//   colourOff     red, green and blue written as 0
//   alphaFromRed  the written alpha takes the converted red
//   skipKey       source pixels equal to key are not written
//   paletteRemap  between two palette formats with different palettes, indexes are
//                 remapped to the destination's nearest colours
int ConvertBlitRect(void* dstPixels, int32_t dstPitch, const ColorFormat* dstFormat,
                    const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                    const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                    int32_t dstX, int32_t dstY, const Rect* srcRect, int32_t mirror,
                    int32_t keyToAlpha, uint32_t key, int32_t dither, int32_t colourOff,
                    int32_t alphaFromRed, int32_t skipKey, int32_t paletteRemap);

// Whether the processor's MMX unit may be used, as the engine's start found it; off
// unless set. The 5:6:5 <-> 1:5:5:5 conversions step as wide as the build allows either
// way: the results never depend on it.
void SetConvertBlitMmxUsable(int32_t usable);
int32_t GetConvertBlitMmxUsable();
