// Rectangle copies between software images and GraphImage records, converting between
// colour formats through ConvertBlitRect. Every rectangle is clipped to the images it
// reads and writes; a copy that is empty after clipping copies nothing.
#pragma once

#include "engine/base/rect.h"
#include "engine/pixel/colorformat.h"
#include "engine/softimage/memimg.h"

#include <cstdint>

// Copies the rectangle of source (the whole source when null) to (x, y) of destination.
// Returns ConvertBlitRect's result (-1 when nothing is left to copy).
int ConvertMemImgRect(MEMIMG* destination, const MEMIMG* source, const Rect* rect, int32_t x,
                      int32_t y);
// Copies the rectangle (x, y, width, height) of source, with its alpha from alpha when
// given, to (toX, toY) of destination; keyToAlpha clears the alpha where the colour is the
// destination's transparent colour. Brings a palette image's palette along, and rebuilds
// the run map and the premultiplied copy when the copy covers the whole image.
void GraphImageToMemImgRect(const GraphImage* source, const GraphImage* alpha,
                            MEMIMG* destination, int32_t x, int32_t y, int32_t width,
                            int32_t height, int32_t toX, int32_t toY, int32_t keyToAlpha);
// Copies a rectangle of an RGB image (kind 0 or 1, no palette, no alpha; anything else
// copies nothing) into memory described by destination, leaving out pixels equal to key
// when keyFlag is 1.
void CopyScreenMemImgRect(GraphImage* destination, const MEMIMG* source, int32_t x, int32_t y,
                          int32_t width, int32_t height, int32_t toX, int32_t toY, uint32_t key,
                          int32_t keyFlag);
