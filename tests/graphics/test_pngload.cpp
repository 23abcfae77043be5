#include "engine/graphics/imageload.h"

#include "imagetest.h"

#include <functional>
#include <string>
#include <vector>

namespace {

// What a PNG must turn into, pixel by pixel: samples below 8 bits widened to the full
// range, 16-bit ones cut to their high byte, colours stored blue first, tRNS as alpha
// only where the picture gains four channels.
Bytes ExpectedPixels(const PngFields& s, int* bytesPerPixel) {
  Bytes out;
  const int channels = PngChannels(s.colorType);
  auto to8 = [&](uint16_t v) {
    if (s.bitDepth == 16) return uint8_t(v >> 8);
    return uint8_t(v * 255 / ((1 << s.bitDepth) - 1));
  };
  for (size_t p = 0; p < size_t(s.width) * s.height; p++) {
    const uint16_t* px = &s.samples[p * channels];
    switch (s.colorType) {
      case PNG_COLOR_TYPE_PALETTE:
        if (s.paletteAlpha.empty()) {
          out.push_back(uint8_t(px[0]));
          *bytesPerPixel = 1;
        } else {
          const png_color& e = s.palette[px[0]];
          const uint8_t a = px[0] < s.paletteAlpha.size() ? s.paletteAlpha[px[0]] : 255;
          out.insert(out.end(), {e.blue, e.green, e.red, a});
          *bytesPerPixel = 4;
        }
        break;
      case PNG_COLOR_TYPE_GRAY:
        out.push_back(to8(px[0]));
        *bytesPerPixel = 1;
        if (s.transparentColor) {
          out.push_back(px[0] == s.transparent.gray ? 0 : 255);
          *bytesPerPixel = 2;
        }
        break;
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        out.insert(out.end(), {to8(px[0]), to8(px[1])});
        *bytesPerPixel = 2;
        break;
      case PNG_COLOR_TYPE_RGB:
        out.insert(out.end(), {to8(px[2]), to8(px[1]), to8(px[0])});
        *bytesPerPixel = 3;
        if (s.transparentColor) {
          const bool key = px[0] == s.transparent.red && px[1] == s.transparent.green &&
                           px[2] == s.transparent.blue;
          out.push_back(key ? 0 : 255);
          *bytesPerPixel = 4;
        }
        break;
      default:
        out.insert(out.end(), {to8(px[2]), to8(px[1]), to8(px[0]), to8(px[3])});
        *bytesPerPixel = 4;
        break;
    }
  }
  return out;
}

struct PngCase {
  const char* name;
  PngFields shape;
};

std::vector<PngCase> PngCases() {
  auto withPaletteAlpha = [](PngFields s, std::vector<uint8_t> alpha) {
    s.paletteAlpha = std::move(alpha);
    return s;
  };
  // The transparent colour is the first pixel's, so the key shows in the picture.
  auto withColorKey = [](PngFields s) {
    s.transparentColor = true;
    s.transparent.gray = s.transparent.red = s.samples[0];
    if (s.colorType == PNG_COLOR_TYPE_RGB) {
      s.transparent.green = s.samples[1];
      s.transparent.blue = s.samples[2];
    }
    return s;
  };
  const uint32_t w = 7, h = 5;  // odd: rows end part way through a byte and a word
  return {
      {"grey 16 bits", PatternPng(w, h, PNG_COLOR_TYPE_GRAY, 16)},
      {"grey 8 bits", PatternPng(w, h, PNG_COLOR_TYPE_GRAY, 8)},
      {"grey 2 bits", PatternPng(w, h, PNG_COLOR_TYPE_GRAY, 2)},
      {"grey with tRNS", withColorKey(PatternPng(w, h, PNG_COLOR_TYPE_GRAY, 8))},
      {"palette 1 bit", PatternPng(w, h, PNG_COLOR_TYPE_PALETTE, 1, 2)},
      {"palette 2 bits", PatternPng(w, h, PNG_COLOR_TYPE_PALETTE, 2, 3)},
      {"palette 4 bits", PatternPng(w, h, PNG_COLOR_TYPE_PALETTE, 4, 11)},
      {"palette 8 bits", PatternPng(w, h, PNG_COLOR_TYPE_PALETTE, 8, 200)},
      {"palette with tRNS",
       withPaletteAlpha(PatternPng(w, h, PNG_COLOR_TYPE_PALETTE, 4, 9), {0, 128, 7})},
      {"grey and alpha", PatternPng(w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 8)},
      {"grey and alpha 16 bits", PatternPng(w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 16)},
      {"RGB", PatternPng(w, h, PNG_COLOR_TYPE_RGB, 8)},
      {"RGB 16 bits", PatternPng(w, h, PNG_COLOR_TYPE_RGB, 16)},
      {"RGB with tRNS", withColorKey(PatternPng(w, h, PNG_COLOR_TYPE_RGB, 8))},
      {"RGBA", PatternPng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8)},
      {"RGBA 16 bits", PatternPng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 16)},
  };
}

// The format each pixel size must come with.
void ExpectFormat(const GraphImage& image, const PngFields& shape, int bytes) {
  const ColorFormat& f = image.format;
  EXPECT_EQ(f.bytesPerPixel, bytes);
  EXPECT_EQ(f.bitDepth, bytes * 8);
  switch (bytes) {
    case 1:
      EXPECT_EQ(f.redMask, 0xFF0000u);
      EXPECT_EQ(f.blueMask, 0xFFu);
      EXPECT_EQ(f.alphaWidth, 0);
      for (int i = 0; i < 256; i++) {
        SCOPED_TRACE(i);
        PaletteEntry want{uint8_t(i), uint8_t(i), uint8_t(i), 0};  // grey ramp
        if (shape.colorType == PNG_COLOR_TYPE_PALETTE) {
          want = PaletteEntry{0, 0, 0, 0};  // entries past the file's count are black
          if (size_t(i) < shape.palette.size())
            want = {shape.palette[i].blue, shape.palette[i].green, shape.palette[i].red, 0};
        }
        EXPECT_EQ(std::memcmp(&f.palette[i], &want, sizeof want), 0);
      }
      break;
    case 2:  // grey then an alpha byte that no channel reads
      EXPECT_EQ(f.redMask, 0xFFu);
      EXPECT_EQ(f.greenMask, 0xFFu);
      EXPECT_EQ(f.blueMask, 0xFFu);
      EXPECT_EQ(f.alphaWidth, 0);
      EXPECT_EQ(f.alphaMask, 0u);
      EXPECT_EQ(f.noChannelMask, 0xFF00u);
      break;
    case 3:
      EXPECT_EQ(f.redMask, 0xFF0000u);
      EXPECT_EQ(f.greenMask, 0xFF00u);
      EXPECT_EQ(f.blueMask, 0xFFu);
      EXPECT_EQ(f.alphaMask, 0u);
      break;
    case 4:
      EXPECT_EQ(f.redMask, 0xFF0000u);
      EXPECT_EQ(f.alphaMask, 0xFF000000u);
      EXPECT_EQ(f.alphaWidth, 8);
      EXPECT_EQ(f.alphaShift, 24);
      EXPECT_EQ(f.noChannelMask, 0u);
      break;
  }
}

using PngLoad = ImageTest;

TEST_F(PngLoad, EveryKindGivesItsFormatAndEveryPixel) {
  for (const PngCase& c : PngCases()) {
    for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
      SCOPED_TRACE(std::string(c.name) + (interlace ? ", interlaced" : ""));
      PngFields shape = c.shape;
      shape.interlace = interlace;
      int bytes = 0;
      const Bytes want = ExpectedPixels(shape, &bytes);
      GraphImage image;
      ASSERT_EQ(DecodeWith(DecodePngImage, WritePng(shape), &image), 0);
      EXPECT_EQ(image.width, shape.width);
      EXPECT_EQ(image.height, shape.height);
      EXPECT_EQ(image.pitch, shape.width * bytes);  // libpng's row size, not aligned
      ExpectFormat(image, shape, bytes);
      EXPECT_EQ(PixelRows(image), want);
      FreeGraphImageCore(&image);
    }
  }
}

// A damaged file: the bytes, and the loader's answer.
struct Damaged {
  std::string name;
  Bytes file;
};

// IHDR of a picture of the kind, saying another size (its CRC made right, so that the
// size itself is judged).
Bytes Resized(int colorType, uint32_t width, uint32_t height) {
  Bytes b = WritePng(PatternPng(7, 5, colorType, 8, colorType == PNG_COLOR_TYPE_PALETTE ? 20 : 0));
  const PngChunk ihdr = PngChunks(b)[0];
  WriteBigEndian32(b, ihdr.offset + 8, width);
  WriteBigEndian32(b, ihdr.offset + 12, height);
  FixPngCrc(b, ihdr);
  return b;
}

// Row size x height past IMAGE_MAX_BYTES; the second one's is 2^32 + 65536, 65536 in 32 bits.
std::vector<Damaged> OversizedPngs() {
  return {{"20000 x 20000 RGBA", Resized(PNG_COLOR_TYPE_RGB_ALPHA, 20000, 20000)},
          {"65537 x 65536 grey", Resized(PNG_COLOR_TYPE_GRAY, 65537, 65536)}};
}

std::vector<Damaged> DamagedPngs() {
  // A palette picture, so that the file has a PLTE chunk as well as IHDR, IDAT and IEND.
  const Bytes good = WritePng(PatternPng(7, 5, PNG_COLOR_TYPE_PALETTE, 8, 20));
  const std::vector<PngChunk> chunks = PngChunks(good);
  std::vector<Damaged> out;
  auto cut = [&](const std::string& name, size_t size) {
    out.push_back({"cut to " + std::to_string(size) + " (" + name + ")",
                   Bytes(good.begin(), good.begin() + long(size))});
  };
  cut("empty", 0);
  cut("inside the signature", 5);
  cut("inside IHDR", 8 + 12);
  for (const PngChunk& c : chunks) cut("before " + c.type, c.offset);
  const PngChunk* idat = FindPngChunk(chunks, "IDAT");
  cut("inside IDAT", idat->offset + idat->size / 2);
  cut("inside the last CRC", good.size() - 1);

  // One byte spoilt in each chunk (IEND has no data: its CRC), and in the signature.
  auto spoil = [&](const std::string& name, size_t at) {
    Bytes b = good;
    b[at] ^= 0x21;
    out.push_back({"spoilt " + name, b});
  };
  spoil("signature", 1);
  for (const PngChunk& c : chunks)
    spoil(c.type, c.size > 12 ? c.offset + 8 + (c.size - 12) / 2 : c.offset + 8);
  spoil("IDAT CRC", idat->offset + idat->size - 1);

  // Sizes in IHDR.
  out.push_back({"width 0", Resized(PNG_COLOR_TYPE_PALETTE, 0, 5)});
  out.push_back({"height 0", Resized(PNG_COLOR_TYPE_PALETTE, 7, 0)});
  out.push_back({"width 0x7FFFFFFF", Resized(PNG_COLOR_TYPE_PALETTE, 0x7FFFFFFF, 5)});
  out.push_back({"height 0x7FFFFFFF", Resized(PNG_COLOR_TYPE_PALETTE, 7, 0x7FFFFFFF)});
  // Within libpng's own limits but past what one picture may take (the next test).
  for (const Damaged& d : OversizedPngs()) out.push_back(d);
  return out;
}

TEST_F(PngLoad, DamagedFilesAreRefusedAndNothingLeaks) {
  for (const Damaged& d : DamagedPngs()) {
    SCOPED_TRACE(d.name);
    GraphImage image;
    EXPECT_EQ(DecodeWith(DecodePngImage, d.file, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(LoadImageData(nullptr, d.file.data(), uint32_t(d.file.size()), 1, 0, 0, &image,
                            nullptr, nullptr),
              -1);
  }
}

TEST_F(PngLoad, AnOversizedPictureIsRefusedAtItsHeader) {
  for (const Damaged& d : OversizedPngs()) {
    SCOPED_TRACE(d.name);
    const std::vector<PngChunk> chunks = PngChunks(d.file);
    const PngChunk* idat = FindPngChunk(chunks, "IDAT");
    GraphImage image;
    int64_t furthest = 0;
    EXPECT_EQ(DecodeWith(DecodePngImage, d.file, &image, UINT32_MAX, INT64_MAX, &furthest), -1);
    // Nothing of the pixel data was read: the size was judged before any of it.
    EXPECT_LE(furthest, int64_t(idat->offset + 8));
  }
}

// The largest single allocation made while a hook is in: the sanitizers' allocator can tell
// (the tests' own build); elsewhere the hook is not there and the largest stays unknown.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*))
    __attribute__((weak));
size_t g_largestAllocation = 0;
bool WatchAllocations() {
  static const bool installed =
      __sanitizer_install_malloc_and_free_hooks &&
      __sanitizer_install_malloc_and_free_hooks(
          [](const volatile void*, size_t size) {
            if (size > g_largestAllocation) g_largestAllocation = size;
          },
          [](const volatile void*) {}) != 0;
  g_largestAllocation = 0;
  return installed;
}

TEST_F(PngLoad, AncillaryChunksAreReadPastNotTrusted) {
  const Bytes plain = WritePng(PatternPng(7, 5, PNG_COLOR_TYPE_RGB, 8));
  const size_t afterIhdr = PngChunks(plain)[1].offset;
  GraphImage want;
  ASSERT_EQ(DecodeWith(DecodePngImage, plain, &want), 0);

  // Well-formed ones change nothing.
  Bytes dressed = InsertPngChunk(plain, afterIhdr, "gAMA", {0, 0, 0xB1, 0x8F});
  dressed = InsertPngChunk(dressed, afterIhdr, "tEXt", {'K', 'e', 'y', 0, 'v', 'a', 'l'});
  dressed = InsertPngChunk(dressed, afterIhdr, "sPLT", {'p', 0, 8, 1, 2, 3, 4, 0, 9});
  dressed = InsertPngChunk(dressed, afterIhdr, "zzZz", {1, 2, 3});
  GraphImage image;
  ASSERT_EQ(DecodeWith(DecodePngImage, dressed, &image), 0);
  EXPECT_EQ(PixelRows(image), PixelRows(want));
  FreeGraphImageCore(&image);
  FreeGraphImageCore(&want);

  // A chunk that claims 1.5 GB in a file of a hundred bytes is not allocated for.
  for (const char* type : {"sPLT", "tEXt", "iCCP", "zTXt", "zzZz"}) {
    SCOPED_TRACE(type);
    const Bytes liar = InsertPngChunk(plain, afterIhdr, type, {'p', 0, 8}, 0x5C00001B);
    const bool watching = WatchAllocations();
    EXPECT_EQ(DecodeWith(DecodePngImage, liar, &image), -1);
    if (watching) {
      EXPECT_LT(g_largestAllocation, size_t(1) << 20);
    }
  }
}

TEST_F(PngLoad, AStreamThatReadsShortIsAnErrorNotStaleBytes) {
  const Bytes file = WritePng(PatternPng(40, 30, PNG_COLOR_TYPE_RGB, 8));
  GraphImage image;
  // Whole reads load; a stream that hands over less than asked, or stops part way while
  // its size says there is more, is refused.
  ASSERT_EQ(DecodeWith(DecodePngImage, file, &image), 0);
  FreeGraphImageCore(&image);
  EXPECT_EQ(DecodeWith(DecodePngImage, file, &image, 64), -1);
  EXPECT_EQ(DecodeWith(DecodePngImage, file, &image, UINT32_MAX, int64_t(file.size()) / 2), -1);
}

}  // namespace
