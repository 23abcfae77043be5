// PNG and JPEG files made in memory with the libraries' own writers, the libraries' own
// plainest decode for comparison, and the byte surgery the damaged-file tests need (chunk
// and marker lists, CRC repair). Tests, benchmarks and fuzz seeds make their images here,
// so no image file is kept in the tree.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

typedef std::vector<uint8_t> Bytes;

// ---- PNG ------------------------------------------------------------------------------

struct PngFields {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;                        // 1, 2, 4, 8 or 16
  int colorType = PNG_COLOR_TYPE_RGB;      // PNG_COLOR_TYPE_*
  int interlace = PNG_INTERLACE_NONE;      // or PNG_INTERLACE_ADAM7
  std::vector<uint16_t> samples;           // row by row, pixel by pixel, channel by channel
  std::vector<png_color> palette;          // PLTE
  std::vector<uint8_t> paletteAlpha;       // tRNS of a palette image
  bool transparentColor = false;           // tRNS of a grey or RGB image:
  png_color_16 transparent{};              //   the colour (gray, or red, green, blue)
};

inline int PngChannels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// Sample i of a picture: a spread of values below 2^bits that differs from its neighbours.
inline uint16_t PatternSample(size_t i, int bits) {
  uint32_t v = uint32_t(i) * 2654435761u;
  v ^= v >> 15;
  return uint16_t(v & ((1u << bits) - 1));
}

// Fields with every sample from PatternSample (palette indexes below the palette's size).
inline PngFields PatternPng(uint32_t width, uint32_t height, int colorType, int bitDepth,
                          int paletteSize = 0) {
  PngFields s;
  s.width = width;
  s.height = height;
  s.colorType = colorType;
  s.bitDepth = bitDepth;
  size_t count = size_t(width) * height * PngChannels(colorType);
  for (size_t i = 0; i < count; i++) {
    uint16_t v = PatternSample(i, bitDepth);
    s.samples.push_back(colorType == PNG_COLOR_TYPE_PALETTE ? uint16_t(v % paletteSize) : v);
  }
  for (int i = 0; i < paletteSize; i++)
    s.palette.push_back(png_color{uint8_t(40 + i * 7), uint8_t(200 - i * 5), uint8_t(i * 13)});
  return s;
}

inline Bytes WritePng(const PngFields& s) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        Bytes* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType, s.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty())
    png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
  if (!s.paletteAlpha.empty())
    png_set_tRNS(png, info, s.paletteAlpha.data(), int(s.paletteAlpha.size()), nullptr);
  if (s.transparentColor) png_set_tRNS(png, info, nullptr, 0, &s.transparent);
  png_write_info(png, info);

  // Rows as stored: samples below 8 bits packed from the high bits, 16-bit ones big-endian.
  const int channels = PngChannels(s.colorType);
  const size_t perRow = size_t(s.width) * channels;
  const size_t rowBytes = (perRow * s.bitDepth + 7) / 8;
  std::vector<Bytes> rows(s.height, Bytes(rowBytes, 0));
  std::vector<png_bytep> pointers;
  for (uint32_t y = 0; y < s.height; y++) {
    for (size_t i = 0; i < perRow; i++) {
      const uint16_t v = s.samples[y * perRow + i];
      if (s.bitDepth == 16) {
        rows[y][2 * i] = uint8_t(v >> 8);
        rows[y][2 * i + 1] = uint8_t(v);
      } else if (s.bitDepth == 8) {
        rows[y][i] = uint8_t(v);
      } else {
        const size_t bit = i * s.bitDepth;
        rows[y][bit / 8] |= uint8_t(v << (8 - s.bitDepth - bit % 8));
      }
    }
    pointers.push_back(rows[y].data());
  }
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// One chunk of a PNG file: where it starts (its length field), its whole size (length,
// type, data and CRC) and its type.
struct PngChunk {
  size_t offset;
  size_t size;
  std::string type;
};

inline uint32_t ReadBigEndian32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
inline void WriteBigEndian32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

inline std::vector<PngChunk> PngChunks(const Bytes& file) {
  std::vector<PngChunk> chunks;
  for (size_t at = 8; at + 12 <= file.size();) {
    const size_t size = 12 + size_t(ReadBigEndian32(file, at));
    chunks.push_back({at, size, std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8)});
    at += size;
  }
  return chunks;
}

inline const PngChunk* FindPngChunk(const std::vector<PngChunk>& chunks, const char* type) {
  for (const PngChunk& c : chunks)
    if (c.type == type) return &c;
  return nullptr;
}

// Writes the chunk's CRC as it should be for its type and data.
inline void FixPngCrc(Bytes& file, const PngChunk& chunk) {
  const size_t dataSize = chunk.size - 12;
  uint32_t crc = uint32_t(crc32(0, file.data() + chunk.offset + 4, uInt(dataSize + 4)));
  WriteBigEndian32(file, chunk.offset + 8 + dataSize, crc);
}

// A chunk put in before the chunk at `offset`: its length field (the data's size unless
// `claimedLength` says otherwise), type, data and the CRC of type and data.
inline Bytes InsertPngChunk(const Bytes& file, size_t offset, const char* type, const Bytes& data,
                            int64_t claimedLength = -1) {
  Bytes chunk(8 + data.size() + 4);
  WriteBigEndian32(chunk, 0, claimedLength < 0 ? uint32_t(data.size()) : uint32_t(claimedLength));
  std::memcpy(chunk.data() + 4, type, 4);
  if (!data.empty()) std::memcpy(chunk.data() + 8, data.data(), data.size());
  WriteBigEndian32(chunk, 8 + data.size(),
                   uint32_t(crc32(0, chunk.data() + 4, uInt(4 + data.size()))));
  Bytes out(file.begin(), file.begin() + long(offset));
  out.insert(out.end(), chunk.begin(), chunk.end());
  out.insert(out.end(), file.begin() + long(offset), file.end());
  return out;
}

// ---- JPEG -----------------------------------------------------------------------------

// Pixels of 1 (grey), 3 (RGB) or 4 (CMYK) components, row by row. `tweak`, when given,
// changes the compressor's parameters after the defaults and the quality are set.
inline Bytes WriteJpeg(uint32_t width, uint32_t height, int components, const uint8_t* pixels,
                       int quality, bool progressive = false,
                       void (*tweak)(jpeg_compress_struct*) = nullptr) {
  jpeg_compress_struct c;
  jpeg_error_mgr error;
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  if (tweak) tweak(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(c.next_scanline) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

// A smooth picture with some detail, so that JPEG keeps it close and a cut scan shows.
inline Bytes PatternPixels(uint32_t width, uint32_t height, int components) {
  Bytes p(size_t(width) * height * components);
  for (uint32_t y = 0; y < height; y++)
    for (uint32_t x = 0; x < width; x++)
      for (int c = 0; c < components; c++)
        p[(size_t(y) * width + x) * components + c] =
            uint8_t((x * (3 + c) + y * (5 - c) + ((x ^ y) & 7) * 9) & 0xFF);
  return p;
}

inline Bytes PatternJpeg(uint32_t width, uint32_t height, int components, int quality = 90,
                         bool progressive = false,
                         void (*tweak)(jpeg_compress_struct*) = nullptr) {
  Bytes pixels = PatternPixels(width, height, components);
  return WriteJpeg(width, height, components, pixels.data(), quality, progressive, tweak);
}

// The library's plainest decode of a whole file in memory: every parameter at its default,
// all scan lines into one buffer, which keeps its memory from one call to the next. The
// library ends the program on a file it cannot read, so fixtures give it good ones.
struct DirectJpeg {
  uint32_t width = 0, height = 0;
  int components = 0;
  Bytes pixels;
};
inline void DecodeJpegDirect(const Bytes& file, DirectJpeg* out) {
  jpeg_decompress_struct d;
  jpeg_error_mgr error;
  d.err = jpeg_std_error(&error);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  out->width = d.output_width;
  out->height = d.output_height;
  out->components = d.output_components;
  const size_t rowBytes = size_t(out->width) * out->components;
  out->pixels.resize(rowBytes * out->height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out->pixels.data() + size_t(d.output_scanline) * rowBytes;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
}
inline DirectJpeg DecodeJpegDirect(const Bytes& file) {
  DirectJpeg out;
  DecodeJpegDirect(file, &out);
  return out;
}

// One marker segment of a JPEG file (the marker, its length and contents), or the
// entropy-coded data that follows a start of scan (marker 0: offset and size of the data).
struct JpegSegment {
  size_t offset;
  size_t size;
  int marker;
};

inline std::vector<JpegSegment> JpegSegments(const Bytes& f) {
  std::vector<JpegSegment> out;
  size_t at = 0;
  while (at + 1 < f.size() && f[at] == 0xFF) {
    const int marker = f[at + 1];
    size_t size = 2;
    if (marker != 0xD8 && marker != 0xD9 && at + 3 < f.size())
      size = 2 + (size_t(f[at + 2]) << 8 | f[at + 3]);
    out.push_back({at, size, marker});
    at += size;
    if (marker == 0xDA) {  // scan data runs to the next marker that is not a stuffed 0 or RST
      size_t end = at;
      while (end + 1 < f.size() &&
             !(f[end] == 0xFF && f[end + 1] != 0 && (f[end + 1] < 0xD0 || f[end + 1] > 0xD7)))
        end++;
      out.push_back({at, end - at, 0});
      at = end;
    }
  }
  return out;
}

// A copy of the file whose frame header (baseline or progressive) claims another size.
inline Bytes ResizedJpeg(Bytes file, uint16_t width, uint16_t height) {
  for (const JpegSegment& s : JpegSegments(file)) {
    if (s.marker == 0xC0 || s.marker == 0xC2) {
      file[s.offset + 5] = uint8_t(height >> 8);
      file[s.offset + 6] = uint8_t(height);
      file[s.offset + 7] = uint8_t(width >> 8);
      file[s.offset + 8] = uint8_t(width);
    }
  }
  return file;
}

// ---- TGA, DDS and raw BGRA: byte builders ------------------------------------------------

inline void PutLe16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutLe32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutLe32At(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}

// A TGA file: the 18-byte header field by field, the image ID, the colour map, the data
// as given (raw pixels or run-length packets), and the 26-byte footer when asked.
struct TgaFields {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 2;
  uint16_t colorMapFirst = 0;
  uint16_t colorMapLength = 0;
  uint8_t colorMapEntrySize = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t pixelDepth = 24;
  uint8_t descriptor = 0x20;  // top row first
  Bytes id;                   // idLength bytes are written from here (zeros past its end)
  Bytes colorMap;
  Bytes data;
  bool footer = false;
  uint32_t extensionOffset = 0;
};
enum : size_t { TGA_HEADER_BYTES = 18, TGA_FOOTER_BYTES = 26 };

inline Bytes WriteTga(const TgaFields& s) {
  Bytes b;
  b.push_back(s.idLength);
  b.push_back(s.colorMapType);
  b.push_back(s.imageType);
  PutLe16(b, s.colorMapFirst);
  PutLe16(b, s.colorMapLength);
  b.push_back(s.colorMapEntrySize);
  PutLe16(b, s.xOrigin);
  PutLe16(b, s.yOrigin);
  PutLe16(b, s.width);
  PutLe16(b, s.height);
  b.push_back(s.pixelDepth);
  b.push_back(s.descriptor);
  for (size_t i = 0; i < s.idLength; i++) b.push_back(i < s.id.size() ? s.id[i] : 0);
  b.insert(b.end(), s.colorMap.begin(), s.colorMap.end());
  b.insert(b.end(), s.data.begin(), s.data.end());
  if (s.footer) {
    PutLe32(b, s.extensionOffset);
    PutLe32(b, 0);  // developer area offset
    const char signature[] = "TRUEVISION-XFILE.";
    b.insert(b.end(), signature, signature + 18);  // with its terminating 0
  }
  return b;
}

// Run-length packets for `count` units of `unit` bytes: runs of equal units become repeat
// packets, the rest raw packets, each of at most 128 units.
inline Bytes TgaRunLength(const Bytes& units, size_t unit) {
  Bytes out;
  const size_t count = units.size() / unit;
  auto same = [&](size_t a, size_t b) {
    return std::memcmp(&units[a * unit], &units[b * unit], unit) == 0;
  };
  for (size_t i = 0; i < count;) {
    size_t run = 1;
    while (i + run < count && run < 128 && same(i, i + run)) run++;
    if (run > 1) {
      out.push_back(uint8_t(0x80 | (run - 1)));
      out.insert(out.end(), units.begin() + long(i * unit), units.begin() + long((i + 1) * unit));
    } else {
      while (i + run < count && run < 128 && !same(i + run - 1, i + run)) run++;
      out.push_back(uint8_t(run - 1));
      out.insert(out.end(), units.begin() + long(i * unit),
                 units.begin() + long((i + run) * unit));
    }
    i += run;
  }
  return out;
}

// A DDS file: "DDS ", the 124-byte header with the fields the loader reads set, then the
// data.
struct DdsFields {
  uint32_t flags = 0x1007;  // caps, height, width, pixel format
  uint32_t height = 0;
  uint32_t width = 0;
  uint32_t pitch = 0;       // pitch or linear size
  uint32_t pixelFlags = 0;  // 0x1 alpha pixels, 0x4 FourCC, 0x40 RGB
  uint32_t fourCC = 0;
  uint32_t rgbBitCount = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
  Bytes data;
};
enum : size_t { DDS_HEADER_BYTES = 128 };  // magic and header

inline uint32_t FourCC(const char* code) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

inline Bytes WriteDds(const DdsFields& s) {
  Bytes b = {'D', 'D', 'S', ' '};
  PutLe32(b, 124);  // header size
  PutLe32(b, s.flags);
  PutLe32(b, s.height);
  PutLe32(b, s.width);
  PutLe32(b, s.pitch);
  PutLe32(b, 0);                               // depth
  PutLe32(b, 0);                               // mipmap count
  for (int i = 0; i < 11; i++) PutLe32(b, 0);  // reserved
  PutLe32(b, 32);                              // pixel format size
  PutLe32(b, s.pixelFlags);
  PutLe32(b, s.fourCC);
  PutLe32(b, s.rgbBitCount);
  PutLe32(b, s.redMask);
  PutLe32(b, s.greenMask);
  PutLe32(b, s.blueMask);
  PutLe32(b, s.alphaMask);
  for (int i = 0; i < 5; i++) PutLe32(b, 0);  // caps 1 to 4, reserved
  b.insert(b.end(), s.data.begin(), s.data.end());
  return b;
}

// A raw BGRA file: "BGRA", the channel code (0x08080808 or 0x10101010), width, height,
// then the pixels as given.
enum : uint32_t { RAW_BGRA_8 = 0x08080808, RAW_BGRA_16 = 0x10101010 };
enum : size_t { RAW_BGRA_HEADER_BYTES = 16 };
inline Bytes WriteRawBgra(uint32_t code, uint32_t width, uint32_t height, const Bytes& pixels) {
  Bytes b = {'B', 'G', 'R', 'A'};
  PutLe32(b, code);
  PutLe32(b, width);
  PutLe32(b, height);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// A BMP file: the 14-byte file header, the info header (its first 40 bytes field by
// field, then zeros up to its size; the masks stand at file offset 54 in every header
// size, so they are written there), the colour table, then the data at the data offset.
// File size and data offset are worked out unless given.
struct BmpFields {
  uint32_t fileSize = 0;    // 0: the real size
  uint32_t dataOffset = 0;  // 0: right after the colour table
  uint32_t headerSize = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: top-down
  uint16_t planes = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;  // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;   // red, green, blue for bit fields
  std::vector<uint32_t> colors;  // colour table, 0x00RRGGBB each
  Bytes data;
};
enum : size_t { BMP_FILE_HEADER_BYTES = 14, BMP_INFO_HEADER_BYTES = 40 };

inline Bytes WriteBmp(const BmpFields& s) {
  Bytes b = {'B', 'M'};
  PutLe32(b, 0);  // file size, below
  PutLe32(b, 0);  // reserved
  PutLe32(b, 0);  // data offset, below
  PutLe32(b, s.headerSize);
  PutLe32(b, uint32_t(s.width));
  PutLe32(b, uint32_t(s.height));
  PutLe16(b, s.planes);
  PutLe16(b, s.bitCount);
  PutLe32(b, s.compression);
  PutLe32(b, s.sizeImage);
  PutLe32(b, 2835);  // 72 dpi
  PutLe32(b, 2835);
  PutLe32(b, s.colorsUsed);
  PutLe32(b, 0);  // colours important
  const size_t headerEnd = BMP_FILE_HEADER_BYTES + std::max<size_t>(s.headerSize, 40);
  for (uint32_t m : s.masks) PutLe32(b, m);
  if (b.size() < headerEnd) b.resize(headerEnd, 0);
  for (uint32_t c : s.colors) PutLe32(b, c);
  if (s.dataOffset) b.resize(std::max<size_t>(b.size(), s.dataOffset), 0);
  PutLe32At(b, 10, s.dataOffset ? s.dataOffset : uint32_t(b.size()));
  if (s.dataOffset && s.dataOffset < b.size()) b.resize(s.dataOffset);
  b.insert(b.end(), s.data.begin(), s.data.end());
  PutLe32At(b, 2, s.fileSize ? s.fileSize : uint32_t(b.size()));
  return b;
}

// Rows of pixel values (top row first) packed at `bits` a pixel, padded to 4 bytes, stored
// bottom row first unless topDown.
inline Bytes BmpRows(int bits, const std::vector<std::vector<uint32_t>>& rows, bool topDown) {
  Bytes out;
  for (size_t n = 0; n < rows.size(); n++) {
    const std::vector<uint32_t>& row = rows[topDown ? n : rows.size() - 1 - n];
    Bytes packed((row.size() * bits + 31) / 32 * 4, 0);
    for (size_t x = 0; x < row.size(); x++) {
      const uint32_t v = row[x];
      if (bits < 8) {
        const size_t bit = x * bits;
        packed[bit / 8] |= uint8_t(v << (8 - bits - bit % 8));
      } else {
        for (int i = 0; i < bits / 8; i++) packed[x * (bits / 8) + i] = uint8_t(v >> (8 * i));
      }
    }
    out.insert(out.end(), packed.begin(), packed.end());
  }
  return out;
}
