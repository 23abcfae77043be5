// Device-independent bitmaps from pictures: the DIB form of a GraphImage (a header with a
// 256-entry colour table, and rows padded to 4 bytes, top row first), and a bitmap of the
// GDI-like layer drawn from a DIB.
#pragma once

#include "engine/pixel/colorformat.h"
#include "platform/gdi/gdi.h"

#include <cstdint>

// Fills the header (size 40, the width, the height negated for top-down rows, 8 bits with
// the palette for a palette image unless noPalette, else 24 bits, no compression) and
// *outBits. 0: the bits are the image's own pixels (its rows already have the DIB's
// length, and forceCopy is not 1); 1: they are a new tracked block the caller owns, and the
// image's pixels may go; -1 for an empty image or when no block can be had.
int GraphImageToDib(const GraphImage* image, PlatBitmapInfo* header, void** outBits,
                    int32_t forceCopy, int32_t noPalette);

// A top-down DIB section with the DIB (header and bits, which stay the caller's) drawn into
// it, mirrored left to right when mirror is not 0. wantedFormat, when given, chooses the
// section's layout: 16 bits, and more than 24 from a source that is not 24-bit, take its
// masks; a wanted 32 is rewritten to RGB888 in place and the section takes 24 bits; 8 bits
// take the source's colour table (an 8-bit source) or the wanted format's palette. Without
// one, an 8-bit source keeps its layout and table and any other gives 24 bits. The bitmap,
// or 0 with a log line.
PlatGdiObj CreateDIBGraph(const PlatBitmapInfo* header, const void* bits, int32_t mirror,
                          ColorFormat* wantedFormat);

// Whether DIBs must be made without bit-field masks: nothing sets it. 0.
int GetNoBitfieldDibFlag();
