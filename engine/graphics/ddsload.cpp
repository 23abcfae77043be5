// DDS files: the top surface of an RGB format (from the pixel-format masks or from a
// D3DFORMAT number in the FourCC field) or of a DXT1 to DXT5 compressed one.
#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"
#include "engine/graphics/imagestream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kDdsFlagPitch = 0x8;
// Pixel-format flags: 0x1 (alpha pixels) changes nothing here, the masks say it all.
constexpr uint32_t kDdsPixelFourCC = 0x4, kDdsPixelRgb = 0x40;

// Bytes of one 4 x 4 block: 8 for DXT1, 16 for the others.
constexpr uint32_t DxtBlockBytes(int variant) { return variant == 1 ? 8 : 16; }

struct D3dFormatRow {
  uint32_t code;
  int32_t bitDepth;
  uint32_t redMask, greenMask, blueMask, alphaMask;
};

const D3dFormatRow kD3dFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},               // R8G8B8
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},      // A8R8G8B8
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},               // X8R8G8B8
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},                  // R5G6B5
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},                  // X1R5G5B5
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},             // A1R5G5B5
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},                // A4R4G4B4
    {27, 8, 0xE0, 0x1C, 0x3, 0},                       // R3G3B2
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},                 // A8R3G3B2
    {30, 16, 0xF00, 0xF0, 0xF, 0},                     // X4R4G4B4
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},  // A2B10G10R10
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},      // A8B8G8R8
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},               // X8B8G8R8
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},  // A2R10G10B10
    {0xFFFFFFFF, 0, 0, 0, 0, 0},
};

const D3dFormatRow* FindD3dFormat(uint32_t code) {
  for (const D3dFormatRow* row = kD3dFormats; row->code != 0xFFFFFFFF; row++)
    if (row->code == code) return row;
  return nullptr;
}

// Pixels travel as words whose bytes in memory are blue, green, red, alpha.
static_assert(std::endian::native == std::endian::little, "DXT texels are stored as little-endian words");

constexpr uint32_t PackBgra(uint32_t blue, uint32_t green, uint32_t red, uint32_t alpha) {
  return blue | green << 8 | red << 16 | alpha << 24;
}

// The channels of a colour end point, 0 to 255, blue first.
struct Rgb565 {
  uint32_t blue, green, red;
};

Rgb565 ExpandRgb565(uint32_t c) {
  return Rgb565{(c & 0x1F) * 255 / 31, (c >> 5 & 0x3F) * 255 / 63, (c >> 11 & 0x1F) * 255 / 31};
}

// The four colours of a colour block. Only DXT1 has the three-colour form, in which
// colour 3 is colour 2 made transparent.
inline void DxtColors(const uint8_t* block, bool threeColorForm, uint32_t colors[4]) {
  const uint32_t c0 = ReadLe16(block), c1 = ReadLe16(block + 2);
  const Rgb565 a = ExpandRgb565(c0), b = ExpandRgb565(c1);
  colors[0] = PackBgra(a.blue, a.green, a.red, 255);
  colors[1] = PackBgra(b.blue, b.green, b.red, 255);
  auto mix = [&](uint32_t wa, uint32_t wb, uint32_t d, uint32_t alpha) {
    return PackBgra((wa * a.blue + wb * b.blue) / d, (wa * a.green + wb * b.green) / d,
                    (wa * a.red + wb * b.red) / d, alpha);
  };
  if (threeColorForm && c0 <= c1) {
    colors[2] = mix(1, 1, 2, 255);
    colors[3] = mix(1, 1, 2, 0);
  } else {
    colors[2] = mix(2, 1, 3, 255);
    colors[3] = mix(1, 2, 3, 255);
  }
}

// The alpha of each of the 16 pixels of a DXT2/DXT3 block, in the top byte of a word: 4
// bits a pixel, lowest first, x 255 / 15.
void DxtExplicitAlphas(const uint8_t* block, uint32_t alphas[16]) {
  for (int i = 0; i < 16; i++) alphas[i] = uint32_t(block[i / 2] >> (i % 2 * 4) & 0xF) * 255 / 15 << 24;
}

// The eight alphas of a DXT4/DXT5 block, each in the top byte of a word, from its two end
// points; the block's 3-bit indexes into them, pixel 0 lowest, are the result.
inline uint64_t DxtInterpolatedAlphas(const uint8_t* block, uint32_t values[8]) {
  const uint32_t a0 = block[0], a1 = block[1];
  values[0] = a0 << 24;
  values[1] = a1 << 24;
  if (a0 > a1) {
    for (uint32_t i = 1; i <= 6; i++) values[i + 1] = ((7 - i) * a0 + i * a1) / 7 << 24;
  } else {
    for (uint32_t i = 1; i <= 4; i++) values[i + 1] = ((5 - i) * a0 + i * a1) / 5 << 24;
    values[6] = 0;
    values[7] = 255u << 24;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; i++) bits |= uint64_t(block[2 + i]) << (8 * i);
  return bits;
}

// Premultiplied to straight: each colour channel x 255 / alpha, kept to its low 8 bits. A
// pixel of alpha 0 keeps the colour it has.
uint32_t UnpremultiplyAlpha(uint32_t p) {
  const uint32_t alpha = p >> 24;
  if (alpha == 0) return p;
  auto channel = [&](int shift) { return (p >> shift & 0xFF) * 255 / alpha & 0xFF; };
  return PackBgra(channel(0), channel(8), channel(16), alpha);
}

// An 8-bit format becomes a palette picture: every byte value's colour through the masks,
// so that graph creation, which reads one-byte pictures as indexes, shows the colours.
void MakeMaskedPalette(ColorFormat* format) {
  const ColorFormat masks = *format;
  SetupPalette8Format(format);
  // A channel's maximum is what its mask allows within the byte: a mask from the file may
  // reach past the byte or have gaps.
  auto channel = [](uint32_t value, uint32_t mask, int shift) {
    const uint32_t maximum = (mask & 0xFF) >> shift;
    return maximum == 0 ? uint8_t(0) : uint8_t(((value & mask) >> shift) * 255 / maximum);
  };
  for (uint32_t i = 0; i < 256; i++)
    format->palette[i] = PaletteEntry{channel(i, masks.blueMask, masks.blueShift),
                                      channel(i, masks.greenMask, masks.greenShift),
                                      channel(i, masks.redMask, masks.redShift), 0};
}

int ReadDdsPixels(const StreamRow* stream, uint64_t bytes, uint8_t** out) {
  const int64_t left = StreamBytesLeft(stream);
  if (bytes == 0 || bytes > uint64_t(IMAGE_MAX_BYTES) || left < 0 || uint64_t(left) < bytes)
    return -1;
  *out = static_cast<uint8_t*>(TrackedAlloc(size_t(bytes), "", 0));
  if (!*out) return -1;
  if (!ReadStreamBytes(stream, *out, bytes)) {
    TrackedFree(*out);
    *out = nullptr;
    return -1;
  }
  return 0;
}

// 1 to 5 for "DXT1" to "DXT5", 0 for any other FourCC.
int DxtVariant(uint32_t fourCC) {
  const uint32_t dxt = uint32_t('D') | uint32_t('X') << 8 | uint32_t('T') << 16;
  const uint32_t digit = fourCC >> 24;
  return (fourCC & 0xFFFFFF) == dxt && digit >= '1' && digit <= '5' ? int(digit - '0') : 0;
}

// One block's 16 pixels, row by row. DXT2 and DXT4 come out with straight alpha.
template <int variant>
void DecodeDxtBlock(const uint8_t* block, uint32_t texels[16]) {
  const uint8_t* colorBlock = variant == 1 ? block : block + 8;
  uint32_t colors[4];
  DxtColors(colorBlock, variant == 1, colors);
  uint32_t indexes = ReadLe32(colorBlock + 4);
  if constexpr (variant == 1) {
    for (int i = 0; i < 16; i++, indexes >>= 2) texels[i] = colors[indexes & 3];
  } else if constexpr (variant == 4 || variant == 5) {
    uint32_t values[8];
    uint64_t bits = DxtInterpolatedAlphas(block, values);
    for (int i = 0; i < 16; i++, indexes >>= 2, bits >>= 3) {
      texels[i] = (colors[indexes & 3] & 0xFFFFFF) | values[bits & 7];
      if constexpr (variant == 4) texels[i] = UnpremultiplyAlpha(texels[i]);
    }
  } else {
    uint32_t alphas[16];
    DxtExplicitAlphas(block, alphas);
    for (int i = 0; i < 16; i++, indexes >>= 2) {
      texels[i] = (colors[indexes & 3] & 0xFFFFFF) | alphas[i];
      if constexpr (variant == 2) texels[i] = UnpremultiplyAlpha(texels[i]);
    }
  }
}

// The blocks of a width x height picture, ceil(width / 4) a row, ceil(height / 4) rows,
// as DDS files store them, into pixels of blue, green, red, alpha `pitch` bytes a row;
// the pixels past the picture's right and bottom edges in the last blocks are not
// written. Each block is decoded whole and stored a row of four at a time; one copy per
// variant, so that the block loop carries no test of it.
template <int variant>
void DecodeDxtBlocks(const uint8_t* blocks, uint32_t width, uint32_t height, uint8_t* pixels,
                     uint32_t pitch) {
  constexpr uint32_t blockBytes = DxtBlockBytes(variant);
  const uint32_t across = (width + 3) / 4, down = (height + 3) / 4;
  const uint8_t* block = blocks;
  for (uint32_t by = 0; by < down; by++) {
    const uint32_t rows = std::min<uint32_t>(4, height - by * 4);
    uint8_t* top = pixels + size_t(by) * 4 * pitch;
    for (uint32_t bx = 0; bx < across; bx++, block += blockBytes) {
      uint32_t texels[16];
      DecodeDxtBlock<variant>(block, texels);
      const uint32_t columns = std::min<uint32_t>(4, width - bx * 4);
      uint8_t* out = top + size_t(bx) * 16;
      if (rows == 4 && columns == 4) {
        for (uint32_t y = 0; y < 4; y++) std::memcpy(out + size_t(y) * pitch, texels + y * 4, 16);
      } else {
        for (uint32_t y = 0; y < rows; y++) std::memcpy(out + size_t(y) * pitch, texels + y * 4, columns * 4);
      }
    }
  }
}

void DecodeDxtBlocks(int variant, const uint8_t* blocks, uint32_t width, uint32_t height,
                     uint8_t* pixels, uint32_t pitch) {
  switch (variant) {
    case 1: DecodeDxtBlocks<1>(blocks, width, height, pixels, pitch); break;
    case 2: DecodeDxtBlocks<2>(blocks, width, height, pixels, pitch); break;
    case 3: DecodeDxtBlocks<3>(blocks, width, height, pixels, pitch); break;
    case 4: DecodeDxtBlocks<4>(blocks, width, height, pixels, pitch); break;
    default: DecodeDxtBlocks<5>(blocks, width, height, pixels, pitch); break;
  }
}

}  // namespace

int DecodeDdsImage(const StreamRow* stream, GraphImage* image) {
  uint8_t magic[4], h[124];
  if (!ReadStreamBytes(stream, magic, sizeof magic) || std::memcmp(magic, "DDS", 3) != 0 ||
      !ReadStreamBytes(stream, h, sizeof h))
    return -1;
  const uint32_t flags = ReadLe32(h + 4), height = ReadLe32(h + 8), width = ReadLe32(h + 12);
  const uint32_t pitchField = ReadLe32(h + 16), pixelFlags = ReadLe32(h + 76);
  const uint32_t fourCC = ReadLe32(h + 80), rgbBitCount = ReadLe32(h + 84);
  if (width == 0 || height == 0) return -1;

  const int variant = (pixelFlags & kDdsPixelFourCC) ? DxtVariant(fourCC) : 0;
  if (variant != 0) {
    const uint64_t pitch = uint64_t(width) * 4;
    const uint64_t blockBytes =
        (uint64_t(width) + 3) / 4 * ((uint64_t(height) + 3) / 4) * DxtBlockBytes(variant);
    if (pitch * height > uint64_t(IMAGE_MAX_BYTES)) return -1;
    uint8_t* blocks = nullptr;
    if (ReadDdsPixels(stream, blockBytes, &blocks) != 0) return -1;
    uint8_t* pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(pitch * height), "", 0));
    if (!pixels) {
      TrackedFree(blocks);
      return -1;
    }
    DecodeDxtBlocks(variant, blocks, width, height, pixels, uint32_t(pitch));
    TrackedFree(blocks);
    SetupArgb8888Format(&image->format);
    image->width = width;
    image->height = height;
    image->pitch = uint32_t(pitch);
    image->pixels = pixels;
    return 0;
  }

  const D3dFormatRow* row = pixelFlags == kDdsPixelFourCC ? FindD3dFormat(fourCC) : nullptr;
  uint32_t bitCount = 0;
  if (row) {
    bitCount = uint32_t(row->bitDepth);
    SetupFormatFromMasksCore(&image->format, row->bitDepth, row->redMask, row->greenMask,
                             row->blueMask, row->alphaMask);
  } else if (pixelFlags & kDdsPixelRgb) {
    bitCount = rgbBitCount;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return -1;
    SetupFormatFromMasksCore(&image->format, int32_t(bitCount), ReadLe32(h + 88), ReadLe32(h + 92),
                             ReadLe32(h + 96), ReadLe32(h + 100));
  } else {
    return -1;
  }
  const uint64_t rowBytes = uint64_t(width) * (bitCount / 8);
  const uint64_t pitch = (flags & kDdsFlagPitch) ? pitchField : rowBytes;
  if (pitch < rowBytes || pitch > UINT32_MAX) return -1;
  uint8_t* pixels = nullptr;
  if (ReadDdsPixels(stream, pitch * height, &pixels) != 0) return -1;
  if (bitCount == 8) MakeMaskedPalette(&image->format);
  image->width = width;
  image->height = height;
  image->pitch = uint32_t(pitch);
  image->pixels = pixels;
  return 0;
}
