// Seeds of the image-file fuzz targets, made with the libraries' writers: one small file of
// every PNG kind and of the JPEG codings the loaders meet, so that a run starts past the
// signatures and headers. A target writes them from LLVMFuzzerInitialize into each corpus
// directory it is given that is still empty, so no image file is kept in the tree.
#pragma once

#include "tests/support/imagefiles.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct FuzzSeed {
  std::string name;
  Bytes bytes;
};

inline std::vector<FuzzSeed> PngSeeds() {
  std::vector<FuzzSeed> out;
  struct Kind {
    const char* name;
    int colorType, bitDepth, paletteSize;
  } kinds[] = {
      {"grey1", PNG_COLOR_TYPE_GRAY, 1, 0},
      {"grey2", PNG_COLOR_TYPE_GRAY, 2, 0},
      {"grey4", PNG_COLOR_TYPE_GRAY, 4, 0},
      {"grey8", PNG_COLOR_TYPE_GRAY, 8, 0},
      {"grey16", PNG_COLOR_TYPE_GRAY, 16, 0},
      {"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 0},
      {"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 0},
      {"rgb8", PNG_COLOR_TYPE_RGB, 8, 0},
      {"rgb16", PNG_COLOR_TYPE_RGB, 16, 0},
      {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 0},
      {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, 0},
      {"palette1", PNG_COLOR_TYPE_PALETTE, 1, 2},
      {"palette2", PNG_COLOR_TYPE_PALETTE, 2, 4},
      {"palette4", PNG_COLOR_TYPE_PALETTE, 4, 11},
      {"palette8", PNG_COLOR_TYPE_PALETTE, 8, 64},
  };
  for (const Kind& k : kinds) {
    for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
      PngFields s = PatternPng(7, 5, k.colorType, k.bitDepth, k.paletteSize);
      s.interlace = interlace;
      out.push_back({std::string("png-") + k.name + (interlace ? "-adam7" : ""), WritePng(s)});
    }
  }
  PngFields keyed = PatternPng(7, 5, PNG_COLOR_TYPE_PALETTE, 4, 9);
  keyed.paletteAlpha = {0, 128, 7};
  out.push_back({"png-palette-trns", WritePng(keyed)});
  PngFields rgbKey = PatternPng(7, 5, PNG_COLOR_TYPE_RGB, 8);
  rgbKey.transparentColor = true;
  rgbKey.transparent.red = rgbKey.samples[0];
  rgbKey.transparent.green = rgbKey.samples[1];
  rgbKey.transparent.blue = rgbKey.samples[2];
  out.push_back({"png-rgb-trns", WritePng(rgbKey)});
  PngFields greyKey = PatternPng(7, 5, PNG_COLOR_TYPE_GRAY, 8);
  greyKey.transparentColor = true;
  greyKey.transparent.gray = greyKey.samples[0];
  out.push_back({"png-grey-trns", WritePng(greyKey)});
  const Bytes plain = WritePng(PatternPng(7, 5, PNG_COLOR_TYPE_RGB, 8));
  out.push_back({"png-ancillary", InsertPngChunk(InsertPngChunk(plain, 33, "tEXt", {'K', 0, 'v'}),
                                                 33, "gAMA", {0, 0, 0xB1, 0x8F})});
  return out;
}

inline std::vector<FuzzSeed> JpegSeeds() {
  return {
      {"jpeg-grey", PatternJpeg(13, 9, 1)},
      {"jpeg-colour", PatternJpeg(13, 9, 3)},
      {"jpeg-colour-444", PatternJpeg(13, 9, 3, 90, false,
                                      [](jpeg_compress_struct* c) {
                                        c->comp_info[0].h_samp_factor = 1;
                                        c->comp_info[0].v_samp_factor = 1;
                                      })},
      {"jpeg-colour-q10", PatternJpeg(16, 16, 3, 10)},
      {"jpeg-progressive", PatternJpeg(21, 13, 3, 75, true)},
      {"jpeg-progressive-grey", PatternJpeg(21, 13, 1, 75, true)},
      {"jpeg-restart", PatternJpeg(40, 24, 3, 80, false,
                                   [](jpeg_compress_struct* c) { c->restart_in_rows = 1; })},
      {"jpeg-arithmetic", PatternJpeg(17, 11, 3, 80, false,
                                      [](jpeg_compress_struct* c) { c->arith_code = TRUE; })},
      {"jpeg-cmyk", PatternJpeg(8, 8, 4)},
      {"jpeg-1x1", PatternJpeg(1, 1, 3)},
      // Headers far larger than their data, which end in the first rows.
      {"jpeg-claims-16384", ResizedJpeg(PatternJpeg(16, 16, 3), 16384, 16384)},
      {"jpeg-progressive-claims-4000", ResizedJpeg(PatternJpeg(16, 16, 3, 75, true), 4000, 4000)},
  };
}

// A few bytes of each stored pixel that differ from their neighbours, in pairs so that
// run-length files hold repeat packets too.
inline Bytes SeedPixels(size_t count, size_t unit) {
  Bytes out;
  for (size_t i = 0; i < count * unit; i++)
    out.push_back(uint8_t(PatternSample(i / unit / 2 * unit + i % unit, 8)));
  return out;
}

inline std::vector<FuzzSeed> TgaSeeds() {
  std::vector<FuzzSeed> out;
  const uint16_t width = 7, height = 5;
  for (uint8_t type : {1, 2, 9, 10}) {
    for (uint8_t bits : {16, 24, 32}) {
      const bool mapped = type == 1 || type == 9;
      TgaFields s;
      s.imageType = type;
      s.width = width;
      s.height = height;
      s.descriptor = uint8_t(bits == 24 ? 0x20 : bits == 16 ? 0x10 : 0x08);
      s.idLength = bits == 32 ? 3 : 0;
      s.footer = bits != 16;
      if (mapped) {
        s.colorMapType = 1;
        s.colorMapFirst = 2;
        s.colorMapLength = 9;
        s.colorMapEntrySize = bits;
        s.pixelDepth = 8;
        s.colorMap = SeedPixels(9, bits / 8);
      } else {
        s.pixelDepth = bits;
      }
      Bytes stored = SeedPixels(size_t(width) * height, mapped ? 1 : bits / 8);
      if (mapped)
        for (uint8_t& index : stored) index = uint8_t(2 + index % 9);
      s.data = type >= 9 ? TgaRunLength(stored, mapped ? 1 : bits / 8) : stored;
      out.push_back({"tga-type" + std::to_string(type) + "-" + std::to_string(bits), WriteTga(s)});
    }
  }
  return out;
}

inline std::vector<FuzzSeed> DdsSeeds() {
  std::vector<FuzzSeed> out;
  for (const char* code : {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"}) {
    DdsFields s;
    s.width = 6;
    s.height = 5;
    s.pixelFlags = 0x4;
    s.fourCC = FourCC(code);
    s.data = SeedPixels(4, code[3] == '1' ? 8 : 16);
    out.push_back({std::string("dds-") + code, WriteDds(s)});
  }
  for (uint32_t code : {20u, 21u, 23u, 25u, 27u, 29u, 31u}) {
    DdsFields s;
    s.width = 5;
    s.height = 3;
    s.pixelFlags = 0x4;
    s.fourCC = code;
    const size_t bytes = code == 20 ? 3 : code == 27 ? 1 : code == 21 || code == 31 ? 4 : 2;
    s.data = SeedPixels(15, bytes);
    out.push_back({"dds-d3d" + std::to_string(code), WriteDds(s)});
  }
  DdsFields rgb;
  rgb.flags |= 8;
  rgb.width = 5;
  rgb.height = 3;
  rgb.pitch = 12;
  rgb.pixelFlags = 0x40;
  rgb.rgbBitCount = 16;
  rgb.redMask = 0xF800, rgb.greenMask = 0x7E0, rgb.blueMask = 0x1F;
  rgb.data = SeedPixels(18, 2);
  out.push_back({"dds-rgb565-pitch", WriteDds(rgb)});
  rgb.flags &= ~8u;
  rgb.pixelFlags = 0x41;
  rgb.rgbBitCount = 8;
  rgb.redMask = 0xE0, rgb.greenMask = 0x1C, rgb.blueMask = 0x3, rgb.alphaMask = 0;
  rgb.data = SeedPixels(15, 1);
  out.push_back({"dds-rgb332", WriteDds(rgb)});
  return out;
}

inline std::vector<FuzzSeed> RawBgraSeeds() {
  return {
      {"bgra-8", WriteRawBgra(RAW_BGRA_8, 5, 3, SeedPixels(15, 4))},
      {"bgra-16", WriteRawBgra(RAW_BGRA_16, 5, 3, SeedPixels(15, 8))},
  };
}

inline std::vector<FuzzSeed> BmpSeeds() {
  std::vector<FuzzSeed> out;
  const uint32_t width = 7, height = 5;
  auto rows = [&](int bits) {
    std::vector<std::vector<uint32_t>> r(height);
    for (uint32_t y = 0; y < height; y++)
      for (uint32_t x = 0; x < width; x++)
        r[y].push_back(uint32_t(PatternSample(y * width + x, bits > 24 ? 24 : bits)) |
                       (bits == 32 ? 0xFF000000u : 0u));
    return r;
  };
  std::vector<uint32_t> table;
  for (uint32_t i = 0; i < 256; i++) table.push_back(uint32_t(PatternSample(i, 24)));
  auto file = [&](const char* name, int bits, bool topDown, uint32_t compression,
                  std::vector<uint32_t> masks, uint32_t headerSize = 40) {
    BmpFields s;
    s.width = int32_t(width);
    s.height = topDown ? -int32_t(height) : int32_t(height);
    s.bitCount = uint16_t(bits);
    s.compression = compression;
    s.headerSize = headerSize;
    s.masks = masks;
    if (bits <= 8) s.colors.assign(table.begin(), table.begin() + (1 << bits));
    s.data = BmpRows(bits, rows(bits), topDown);
    out.push_back({std::string("bmp-") + name, WriteBmp(s)});
  };
  file("24", 24, false, 0, {});
  file("24-topdown", 24, true, 0, {});
  file("8", 8, false, 0, {});
  file("8-v5", 8, false, 0, {}, 124);
  file("4", 4, true, 0, {});
  file("1", 1, false, 0, {});
  file("16-555", 16, false, 0, {});
  file("16-565", 16, true, 3, {0xF800, 0x07E0, 0x001F});
  file("32", 32, false, 0, {});
  file("32-fields", 32, false, 3, {0xFF, 0xFF00, 0xFF0000}, 108);
  const Bytes rle8 = {3, 5, 0, 3, 10, 11, 12, 0, 0, 0, 2, 7, 0, 2, 2, 1, 1, 9, 0, 0, 4, 200, 0, 1};
  const Bytes rle4 = {2, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 3, 0, 3, 0xAB, 0, 1};
  for (int bits : {8, 4}) {
    BmpFields s;
    s.width = int32_t(width);
    s.height = int32_t(height);
    s.bitCount = uint16_t(bits);
    s.compression = bits == 8 ? 1 : 2;
    s.colors.assign(table.begin(), table.begin() + (1 << bits));
    s.data = bits == 8 ? rle8 : rle4;
    out.push_back({std::string("bmp-rle") + std::to_string(bits), WriteBmp(s)});
  }
  // Headers that claim far more rows than the data give: no bits a pixel, a run-length
  // stream without its end; and a large run-length picture from a few bytes, which loads.
  auto tall = [&](const char* name, int32_t w, int32_t h, uint16_t bits, uint32_t compression, Bytes data) {
    BmpFields s;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    s.compression = compression;
    if (bits == 8) s.colors.assign(table.begin(), table.end());
    s.data = std::move(data);
    out.push_back({std::string("bmp-") + name, WriteBmp(s)});
  };
  tall("nobits-tall", 16, -8454112, 0, 0, SeedPixels(64, 3));
  tall("rle8-tall-noend", 2048, 2048, 8, 1, {255, 1, 0, 0, 255, 2});
  tall("rle8-large", 2048, -2048, 8, 1, {255, 1, 0, 0, 0, 2, 9, 40, 3, 7, 0, 1});
  return out;
}

// Writes the seeds into every directory among the arguments that exists and is empty.
inline void WriteSeedsIntoEmptyCorpora(int argc, char** argv, const std::vector<FuzzSeed>& seeds) {
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    if (argv[i][0] == '-' || !std::filesystem::is_directory(argv[i], ec) ||
        !std::filesystem::is_empty(argv[i], ec))
      continue;
    for (const FuzzSeed& s : seeds) {
      const std::string path = std::string(argv[i]) + "/" + s.name;
      FILE* f = std::fopen(path.c_str(), "wb");
      if (!f) continue;
      std::fwrite(s.bytes.data(), 1, s.bytes.size(), f);
      std::fclose(f);
    }
  }
}
