// The plain blit: one software image onto another at a whole-pixel position, through the
// current draw state (draw area, blend mode and parameter, brightness, blend graph).
#pragma once

#include "engine/softimage/memimg.h"

#include <cstdint>

// Draws src with its top-left pixel at (x, y) of dst. trans non-zero leaves out pixels of
// the transparent colour (alpha 0 for an alpha source in modes 0 to 3); trans 1 lets a
// whole, unclipped source with a valid run map be drawn run by run. blendImage, when not
// null, is the blend graph's one-channel 8-bit image, read under the source pixel by pixel.
// Draws nothing (silently) for images that are not live, sources of another kind than
// the destination, a paletted or alpha destination, kinds other than 0 and 1, a blend
// image that is not 8-bit one-channel or is smaller than the source, modes 5 to 9 and
// above 11 (negative values too), parameter 0 in modes 1 to 3, and an empty clip. Clips
// to the draw area and to the destination. One call at a time: it shares a palette cache.
void BlitMemImg(MEMIMG* dst, const MEMIMG* src, int32_t x, int32_t y, int32_t trans,
                const MEMIMG* blendImage);

// Whether the 32-bit add and subtract at parameter 255 take the per-byte saturating
// (MMX) form, which differs from the guard-bit form in its results. Off until set; the
// engine start sets it from IsMmxUsable, and tests set it directly.
void SetBlitMmxUsable(int32_t usable);
int32_t GetBlitMmxUsable();
