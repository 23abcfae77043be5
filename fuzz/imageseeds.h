// Seeds of the image-file fuzz targets, made with the libraries' writers: one small file of
// every PNG kind and of the JPEG codings the loaders meet, so that a run starts past the
// signatures and headers. A target writes them from LLVMFuzzerInitialize into each corpus
// directory it is given that is still empty, so no image file is kept in the tree.
#pragma once

#include "tests/support/imagefiles.h"

#include <cstdio>
#include <filesystem>
#include <string>
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
      PngSpec s = PatternPng(7, 5, k.colorType, k.bitDepth, k.paletteSize);
      s.interlace = interlace;
      out.push_back({std::string("png-") + k.name + (interlace ? "-adam7" : ""), WritePng(s)});
    }
  }
  PngSpec keyed = PatternPng(7, 5, PNG_COLOR_TYPE_PALETTE, 4, 9);
  keyed.paletteAlpha = {0, 128, 7};
  out.push_back({"png-palette-trns", WritePng(keyed)});
  PngSpec rgbKey = PatternPng(7, 5, PNG_COLOR_TYPE_RGB, 8);
  rgbKey.transparentColor = true;
  rgbKey.transparent.red = rgbKey.samples[0];
  rgbKey.transparent.green = rgbKey.samples[1];
  rgbKey.transparent.blue = rgbKey.samples[2];
  out.push_back({"png-rgb-trns", WritePng(rgbKey)});
  PngSpec greyKey = PatternPng(7, 5, PNG_COLOR_TYPE_GRAY, 8);
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
  };
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
