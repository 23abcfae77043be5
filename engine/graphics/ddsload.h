// The DDS loader's block decoding, for the loader and for whoever measures it: DXT1 to
// DXT5 blocks into 32-bit ARGB pixels. DecodeDdsImage itself is declared with the other
// loaders (imageload.h).
#pragma once

#include <cstdint>

// 1 to 5 for "DXT1" to "DXT5", 0 for any other FourCC.
int DxtVariant(uint32_t fourCC);
// Bytes of one 4 x 4 block: 8 for DXT1, 16 for the others.
inline uint32_t DxtBlockBytes(int variant) { return variant == 1 ? 8 : 16; }
// The blocks of a width x height picture, ceil(width / 4) a row, ceil(height / 4) rows,
// into pixels of blue, green, red, alpha `pitch` bytes a row; the pixels past the
// picture's right and bottom edges in the last blocks are not written. DXT2 and DXT4 come
// out with straight alpha. 0.
int DecodeDxtBlocks(int variant, const uint8_t* blocks, uint32_t width, uint32_t height,
                    uint8_t* pixels, uint32_t pitch);
