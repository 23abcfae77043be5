// DIBs from pictures and bitmaps from DIBs: when a picture's own rows serve as the DIB's,
// the copies and conversions otherwise, the section layouts a wanted format chooses, the
// mirror, and the failures, which leave the caller's header and bits to the caller.
#include "engine/graphics/dib.h"

#include "bmptest.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Dib : BmpTest {
  std::deque<GraphImage> images;  // freed at the end of the case; references stay valid
  void TearDown() override {
    for (GraphImage& image : images) FreeGraphImageCore(&image);
    BmpTest::TearDown();
  }
  // A picture of the format with the given pitch, every byte of each row's pixels from
  // the pattern and the padding 0xEE.
  GraphImage& Picture(const ColorFormat& format, uint32_t width, uint32_t height, uint32_t pitch) {
    GraphImage image{};
    image.format = format;
    image.width = width;
    image.height = height;
    image.pitch = pitch;
    uint8_t* pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(pitch) * height, "", 0));
    std::memset(pixels, 0xEE, size_t(pitch) * height);
    for (uint32_t y = 0; y < height; y++)
      for (uint32_t i = 0; i < width * format.bytesPerPixel; i++)
        pixels[y * pitch + i] = uint8_t(PatternSample(y * 97 + i, 8));
    image.pixels = pixels;
    images.push_back(image);
    return images.back();
  }
};

ColorFormat Palette8() {
  ColorFormat f{};
  SetupPalette8Format(&f);
  for (int i = 0; i < 256; i++)
    f.palette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
  return f;
}
ColorFormat Rgb888() {
  ColorFormat f{};
  SetupRgb888Format(&f);
  return f;
}
ColorFormat Argb8888() {
  ColorFormat f{};
  SetupArgb8888Format(&f);
  return f;
}
ColorFormat Rgb565() {
  ColorFormat f{};
  SetupFormatFromMasksCore(&f, 16, 0xF800, 0x07E0, 0x001F, 0);
  return f;
}

// The rows of a DIB, `rowBytes` each, `copy` bytes of each kept.
Bytes DibRows(const void* bits, uint32_t rows, size_t rowBytes, size_t copy) {
  Bytes out;
  for (uint32_t y = 0; y < rows; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(bits) + rowBytes * y;
    out.insert(out.end(), row, row + copy);
  }
  return out;
}

// A bitmap's pixels and its bits a pixel; the bitmap is deleted.
struct Section {
  int bits = 0;
  std::vector<std::vector<uint32_t>> values;  // raw pixel values, top row first
};
Section ReadAndDelete(PlatGdiObj bitmap) {
  Section s;
  PlatBitmap bm{};
  EXPECT_EQ(PlatGdiGetObject(bitmap, sizeof bm, &bm), int(sizeof bm));
  s.bits = bm.bitsPixel;
  for (int32_t y = 0; y < bm.height && bm.bits; y++) {
    s.values.emplace_back();
    const uint8_t* row = static_cast<const uint8_t*>(bm.bits) + size_t(bm.widthBytes) * y;
    for (int32_t x = 0; x < bm.width; x++)
      s.values.back().push_back(ReadPixelValue(row + size_t(x) * (bm.bitsPixel / 8), bm.bitsPixel / 8));
  }
  EXPECT_EQ(PlatGdiDeleteObject(bitmap), 1);
  return s;
}
std::vector<std::vector<uint32_t>> Values(const GraphImage& image) {
  std::vector<std::vector<uint32_t>> out;
  for (uint32_t y = 0; y < image.height; y++) {
    out.emplace_back();
    const uint8_t* row = static_cast<const uint8_t*>(image.pixels) + size_t(image.pitch) * y;
    for (uint32_t x = 0; x < image.width; x++)
      out.back().push_back(ReadPixelValue(row + x * image.format.bytesPerPixel, image.format.bytesPerPixel));
  }
  return out;
}

TEST_F(Dib, PicturesWhoseRowsFitAreUsedInPlaceAndOthersCopied) {
  struct Case {
    const char* name;
    ColorFormat format;
    uint32_t width, pitch;
    int32_t forceCopy, noPalette;
    int result;            // 0: the picture's own pixels
    uint16_t bitCount;
    uint32_t rowBytes;
  } cases[] = {
      {"8-bit, width 6, pitch 8", Palette8(), 6, 8, 0, 0, 0, 8, 8},
      {"8-bit, width 5, pitch 5", Palette8(), 5, 5, 0, 0, 1, 8, 8},
      {"8-bit forced copy", Palette8(), 6, 8, 1, 0, 1, 8, 8},
      {"24-bit, width 4, pitch 12", Rgb888(), 4, 12, 0, 0, 0, 24, 12},
      {"24-bit, width 5, pitch 15", Rgb888(), 5, 15, 0, 0, 1, 24, 16},
      {"24-bit forced copy", Rgb888(), 4, 12, 1, 0, 1, 24, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphImage& image = Picture(c.format, c.width, 3, c.pitch);
    PlatBitmapInfo header;
    std::memset(&header, 0xCD, sizeof header);
    void* bits = nullptr;
    ASSERT_EQ(GraphImageToDib(&image, &header, &bits, c.forceCopy, c.noPalette), c.result);
    EXPECT_EQ(header.header.size, 40u);
    EXPECT_EQ(header.header.width, int32_t(c.width));
    EXPECT_EQ(header.header.height, -3);
    EXPECT_EQ(header.header.planes, 1);
    EXPECT_EQ(header.header.bitCount, c.bitCount);
    EXPECT_EQ(header.header.compression, PLAT_BI_RGB);
    EXPECT_EQ(header.header.clrUsed, 0u);
    if (c.bitCount == 8) {
      for (int i = 0; i < 256; i++) EXPECT_EQ(header.colors[i], PaletteEntryValue(&image.format, i));
    }
    const size_t rowPixels = size_t(c.width) * c.bitCount / 8;
    EXPECT_EQ(DibRows(bits, 3, c.rowBytes, rowPixels), DibRows(image.pixels, 3, c.pitch, rowPixels));
    if (c.result == 0) {
      EXPECT_EQ(bits, image.pixels);
    } else {
      EXPECT_NE(bits, image.pixels);
      for (uint32_t y = 0; y < 3; y++)  // the padding of a copy is 0
        for (size_t i = rowPixels; i < c.rowBytes; i++)
          EXPECT_EQ(static_cast<uint8_t*>(bits)[y * c.rowBytes + i], 0);
      TrackedFree(bits);
    }
  }
}

TEST_F(Dib, OtherPicturesAreConvertedTo24Bits) {
  struct Case {
    const char* name;
    ColorFormat format;
    int32_t noPalette;
  } cases[] = {
      {"32-bit ARGB", Argb8888(), 0},
      {"16-bit 5:6:5", Rgb565(), 0},
      {"8-bit without its palette", Palette8(), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphImage& image = Picture(c.format, 5, 2, 5 * c.format.bytesPerPixel + 4);
    PlatBitmapInfo header;
    void* bits = nullptr;
    ASSERT_EQ(GraphImageToDib(&image, &header, &bits, 0, c.noPalette), 1);
    EXPECT_EQ(header.header.bitCount, 24);
    GraphImage dib{};
    dib.format = Rgb888();
    dib.width = 5;
    dib.height = 2;
    dib.pitch = 16;
    dib.pixels = bits;
    EXPECT_EQ(Colours(dib), Colours(image));
    TrackedFree(bits);
  }
}

TEST_F(Dib, NoPictureOrNoMemoryGivesNoDib) {
  PlatBitmapInfo header;
  void* bits = reinterpret_cast<void*>(1);
  GraphImage empty{};
  SetupRgb888Format(&empty.format);
  EXPECT_EQ(GraphImageToDib(&empty, &header, &bits, 0, 0), -1);
  EXPECT_EQ(bits, nullptr);
  PlatSetAllocFailHook([](size_t) { return 1; });
  for (const ColorFormat& f : {Palette8(), Rgb888(), Argb8888()}) {
    GraphImage image{};
    image.format = f;
    image.width = 5;
    image.height = 2;
    image.pitch = 5 * f.bytesPerPixel;
    uint8_t pixels[40] = {};
    image.pixels = pixels;
    EXPECT_EQ(GraphImageToDib(&image, &header, &bits, 0, 0), -1);
  }
  PlatSetAllocFailHook(nullptr);
}

TEST_F(Dib, TheWantedFormatChoosesTheSectionsLayout) {
  GraphImage& rgb = Picture(Rgb888(), 4, 3, 12);
  GraphImage& indexed = Picture(Palette8(), 4, 3, 4);
  PlatBitmapInfo rgbHeader, indexedHeader;
  void* rgbBits;
  void* indexedBits;
  ASSERT_EQ(GraphImageToDib(&rgb, &rgbHeader, &rgbBits, 0, 0), 0);
  ASSERT_EQ(GraphImageToDib(&indexed, &indexedHeader, &indexedBits, 0, 0), 0);

  // No wanted format: 8 bits keep their layout and table, others take 24 bits.
  Section s = ReadAndDelete(CreateDIBGraph(&indexedHeader, indexedBits, 0, nullptr));
  EXPECT_EQ(s.bits, 8);
  EXPECT_EQ(s.values, Values(indexed));
  s = ReadAndDelete(CreateDIBGraph(&rgbHeader, rgbBits, 0, nullptr));
  EXPECT_EQ(s.bits, 24);
  EXPECT_EQ(s.values, Values(rgb));

  // A wanted 32 with a 24-bit source: the format becomes RGB888 and the section 24 bits.
  ColorFormat wanted = Argb8888();
  s = ReadAndDelete(CreateDIBGraph(&rgbHeader, rgbBits, 0, &wanted));
  const ColorFormat plain = Rgb888();
  EXPECT_EQ(SameColorFormat(&wanted, &plain), 1);
  EXPECT_EQ(wanted.bitDepth, 24);
  EXPECT_EQ(s.bits, 24);
  EXPECT_EQ(s.values, Values(rgb));

  // A wanted 32 with an 8-bit source: bit fields of the wanted masks.
  wanted = Argb8888();
  s = ReadAndDelete(CreateDIBGraph(&indexedHeader, indexedBits, 0, &wanted));
  EXPECT_EQ(s.bits, 32);
  EXPECT_EQ(wanted.bitDepth, 32);
  for (uint32_t y = 0; y < 3; y++)
    for (uint32_t x = 0; x < 4; x++)
      EXPECT_EQ(s.values[y][x] & 0xFFFFFF, ReadImagePixelARGB(&indexed, int32_t(x), int32_t(y)) & 0xFFFFFF);

  // A wanted 16: 5:6:5 bit fields.
  wanted = Rgb565();
  s = ReadAndDelete(CreateDIBGraph(&rgbHeader, rgbBits, 0, &wanted));
  EXPECT_EQ(s.bits, 16);
  for (uint32_t y = 0; y < 3; y++)
    for (uint32_t x = 0; x < 4; x++) {
      const uint32_t c = ReadImagePixelARGB(&rgb, int32_t(x), int32_t(y));
      EXPECT_EQ(s.values[y][x], ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F));
    }

  // A wanted 8: the table is the source's for an 8-bit source (the indexes stay), the
  // wanted palette's otherwise (each colour becomes the index of its entry).
  wanted = Palette8();
  s = ReadAndDelete(CreateDIBGraph(&indexedHeader, indexedBits, 0, &wanted));
  EXPECT_EQ(s.bits, 8);
  EXPECT_EQ(s.values, Values(indexed));
  GraphImage& exact = Picture(Rgb888(), 3, 1, 12);
  uint8_t* p = static_cast<uint8_t*>(exact.pixels);
  const int entries[] = {10, 100, 200};
  for (int i = 0; i < 3; i++) {  // the colours of those entries
    const PaletteEntry& e = wanted.palette[entries[i]];
    p[i * 3] = e.blue, p[i * 3 + 1] = e.green, p[i * 3 + 2] = e.red;
  }
  PlatBitmapInfo exactHeader;
  void* exactBits;
  ASSERT_EQ(GraphImageToDib(&exact, &exactHeader, &exactBits, 0, 0), 0);
  s = ReadAndDelete(CreateDIBGraph(&exactHeader, exactBits, 0, &wanted));
  EXPECT_EQ(s.values, (std::vector<std::vector<uint32_t>>{{10, 100, 200}}));
}

TEST_F(Dib, TheMirrorReversesEveryRow) {
  for (const ColorFormat& format : {Rgb888(), Palette8()}) {
    GraphImage& image = Picture(format, 5, 3, format.bytesPerPixel == 3 ? 16 : 8);
    PlatBitmapInfo header;
    void* bits;
    ASSERT_EQ(GraphImageToDib(&image, &header, &bits, 0, 0), 0);
    Section s = ReadAndDelete(CreateDIBGraph(&header, bits, 1, nullptr));
    std::vector<std::vector<uint32_t>> mirrored = Values(image);
    for (auto& row : mirrored) std::reverse(row.begin(), row.end());
    EXPECT_EQ(s.values, mirrored);
  }
}

TEST_F(Dib, FailuresLeaveTheCallersHeaderAndBitsToTheCaller) {
  struct Case {
    const char* name;
    const char* failGdi;
    int32_t mirror;
    bool failHeader;
    const char* logLine;
  } cases[] = {
      {"no memory for the new header", nullptr, 0, true, "メモリの確保に失敗しました in CreateDIBGraph "},
      {"no device context", "CreateCompatibleDC", 0, false, "ＤＩＢの作成に失敗しました3"},
      {"no section", "CreateDIBSection", 0, false, "ＤＩＢの作成に失敗しました3"},
      {"the source cannot be drawn", "SetDIBitsToDevice", 0, false, "ＤＩＢの作成に失敗しました2"},
      {"the mirror cannot be drawn", "StretchDIBits", 1, false, "ＤＩＢの作成に失敗しました2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The header and the bits are the caller's tracked blocks, as LoadImageData gives them.
    PlatBitmapInfo* header = static_cast<PlatBitmapInfo*>(TrackedCalloc(sizeof(PlatBitmapInfo), "", 0));
    GraphImage& image = Picture(Palette8(), 6, 2, 8);
    void* bits;
    ASSERT_EQ(GraphImageToDib(&image, header, &bits, 1, 0), 1);
    const int32_t blocks = GetTrackedBlockCount();
    logged.clear();
    if (c.failGdi) PlatGdiFakeFailNext(c.failGdi, 1);
    if (c.failHeader)
      PlatSetAllocFailHook([](size_t size) { return size == sizeof(PlatBitmapInfo) + sizeof(MemBlockHeader) ? 1 : 0; });
    EXPECT_EQ(CreateDIBGraph(header, bits, c.mirror, nullptr), 0u);
    PlatSetAllocFailHook(nullptr);
    EXPECT_NE(logged.find(c.logLine), std::string::npos) << logged;
    EXPECT_EQ(GetTrackedBlockCount(), blocks) << "the caller's blocks are still there, nothing else";
    EXPECT_EQ(PlatGdiFakeLiveDCs(), 0);
    EXPECT_EQ(PlatGdiFakeLiveObjects(), 0);
    TrackedFree(bits);
    TrackedFree(header);
    EXPECT_EQ(GetTrackedBlockCount(), blocks - 2);
  }
  EXPECT_EQ(GetNoBitfieldDibFlag(), 0);
}

}  // namespace
