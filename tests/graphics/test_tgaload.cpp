#include "engine/graphics/imageload.h"

#include "imagetest.h"

#include <string>
#include <vector>

namespace {

struct TgaLoad : ImageTest {};

// The picture every case stores, top row first: pairs of equal pixels, so the run-length
// cases hold repeat packets as well as raw ones.
constexpr uint16_t kWidth = 5, kHeight = 3;
Bytes TopDownPixels(size_t bytesPerPixel) {
  Bytes out;
  for (size_t i = 0; i < size_t(kWidth) * kHeight; i++)
    for (size_t c = 0; c < bytesPerPixel; c++)
      out.push_back(uint8_t(PatternSample(i / 2 * 4 + c, 8)));
  return out;
}

// The rows as a file stores them under the descriptor's bits 5 (top first) and 4 (right
// to left).
Bytes StoredOrder(const Bytes& topDown, size_t unit, uint8_t descriptor) {
  Bytes out;
  for (size_t row = 0; row < kHeight; row++) {
    const size_t y = (descriptor & 0x20) ? row : kHeight - 1 - row;
    for (size_t col = 0; col < kWidth; col++) {
      const size_t x = (descriptor & 0x10) ? kWidth - 1 - col : col;
      const uint8_t* p = &topDown[(y * kWidth + x) * unit];
      out.insert(out.end(), p, p + unit);
    }
  }
  return out;
}

struct TgaForm {
  const char* name;
  uint8_t imageType;
  uint8_t bitCount;  // pixel depth, or the colour map's entry size for types 1 and 9
  uint8_t descriptor;
  uint8_t idLength = 0;
  bool footer = false;
  bool carriedMap = false;  // a true-colour picture with a colour map to skip
};

// A file of the form and the picture it must give.
Bytes TgaOfForm(const TgaForm& f, Bytes* expected) {
  const size_t bytes = f.bitCount / 8;
  const bool mapped = f.imageType == 1 || f.imageType == 9;
  TgaFields s;
  s.imageType = f.imageType;
  s.width = kWidth;
  s.height = kHeight;
  s.descriptor = f.descriptor;
  s.idLength = f.idLength;
  s.id = Bytes(f.idLength, 0xEE);
  s.footer = f.footer;
  Bytes stored;
  if (mapped) {
    // Entries 3 to 9 of the palette; the indexes use all of them.
    s.colorMapType = 1;
    s.colorMapFirst = 3;
    s.colorMapLength = 7;
    s.colorMapEntrySize = f.bitCount;
    s.pixelDepth = 8;
    for (size_t i = 0; i < 7 * bytes; i++) s.colorMap.push_back(uint8_t(PatternSample(i + 99, 8)));
    Bytes indexes;
    for (size_t i = 0; i < size_t(kWidth) * kHeight; i++) indexes.push_back(uint8_t(3 + i / 2 % 7));
    expected->clear();
    for (uint8_t index : indexes)
      expected->insert(expected->end(), s.colorMap.begin() + long((index - 3) * bytes),
                       s.colorMap.begin() + long((index - 2) * bytes));
    stored = StoredOrder(indexes, 1, f.descriptor);
  } else {
    s.pixelDepth = f.bitCount;
    *expected = TopDownPixels(bytes);
    stored = StoredOrder(*expected, bytes, f.descriptor);
    if (f.carriedMap) {
      s.colorMapType = 1;
      s.colorMapLength = 4;
      s.colorMapEntrySize = 15;  // two bytes an entry
      s.colorMap = Bytes(8, 0x77);
    }
  }
  const bool runLength = f.imageType == 9 || f.imageType == 10;
  s.data = runLength ? TgaRunLength(stored, mapped ? 1 : bytes) : stored;
  return WriteTga(s);
}

TEST_F(TgaLoad, EveryFormGivesItsFormatAndEveryPixel) {
  const TgaForm forms[] = {
      {"raw 24 top-down", 2, 24, 0x20},
      {"raw 24 bottom-up", 2, 24, 0x00},
      {"raw 24 top-down right-to-left", 2, 24, 0x30},
      {"raw 24 bottom-up right-to-left", 2, 24, 0x10},
      {"raw 16", 2, 16, 0x20},
      {"raw 32 with attribute bits", 2, 32, 0x28},
      {"raw 24 with an image ID", 2, 24, 0x20, 11},
      {"raw 24 carrying a colour map", 2, 24, 0x00, 0, false, true},
      {"raw 32 with a footer", 2, 32, 0x00, 0, true},
      {"type 11 read as raw", 11, 24, 0x20},
      {"run-length 24", 10, 24, 0x00},
      {"run-length 16 right-to-left", 10, 16, 0x30},
      {"run-length 32 with a footer and an ID", 10, 32, 0x20, 3, true},
      {"mapped 24", 1, 24, 0x20},
      {"mapped 16 bottom-up", 1, 16, 0x00},
      {"mapped 32 with an ID", 1, 32, 0x10, 4},
      {"run-length mapped 24 ending at the file's end", 9, 24, 0x20},
      {"run-length mapped 32 with a footer", 9, 32, 0x00, 0, true},
      {"run-length mapped 16 with an ID", 9, 16, 0x30, 2},
  };
  for (const TgaForm& f : forms) {
    SCOPED_TRACE(f.name);
    Bytes expected;
    const Bytes file = TgaOfForm(f, &expected);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeTgaImage, file, &image), 0);
    const uint32_t bytes = f.bitCount / 8;
    EXPECT_EQ(image.width, kWidth);
    EXPECT_EQ(image.height, kHeight);
    EXPECT_EQ(image.pitch, kWidth * bytes);  // not aligned
    EXPECT_EQ(image.format.bytesPerPixel, bytes);
    EXPECT_EQ(image.format.bitDepth, f.bitCount);
    if (f.bitCount == 16) {
      EXPECT_EQ(image.format.redMask, 0x7C00u);
      EXPECT_EQ(image.format.greenMask, 0x3E0u);
      EXPECT_EQ(image.format.blueMask, 0x1Fu);
      EXPECT_EQ(image.format.noChannelMask, 0x8000u);
    } else {
      EXPECT_EQ(image.format.redMask, 0xFF0000u);
      EXPECT_EQ(image.format.alphaMask, f.bitCount == 32 ? 0xFF000000u : 0u);
    }
    EXPECT_EQ(PixelRows(image), expected);
    FreeGraphImageCore(&image);
  }
}

TEST_F(TgaLoad, LoadsThroughTheDispatch) {
  Bytes expected;
  const Bytes file = TgaOfForm({"run-length 24", 10, 24, 0x00}, &expected);
  GraphImage image;
  ASSERT_EQ(LoadImageData(nullptr, file.data(), uint32_t(file.size()), 1, 0, 0, &image,
                          nullptr, nullptr),
            0);
  EXPECT_EQ(PixelRows(image), expected);
  FreeGraphImageCore(&image);
}

// Sides up to 8192 and origins of 0 only.
TEST_F(TgaLoad, SidesAndOrigins) {
  struct Case {
    const char* name;
    uint16_t width, height, xOrigin, yOrigin;
    int result;
  } cases[] = {
      {"8192 wide", 8192, 1, 0, 0, 0},     {"8192 high", 1, 8192, 0, 0, 0},
      {"8193 wide", 8193, 1, 0, 0, -1},    {"8193 high", 1, 8193, 0, 0, -1},
      {"x origin 1", 2, 2, 1, 0, -1},      {"y origin 1", 2, 2, 0, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TgaFields s;
    s.width = c.width;
    s.height = c.height;
    s.xOrigin = c.xOrigin;
    s.yOrigin = c.yOrigin;
    s.data.resize(size_t(c.width) * c.height * 3, 0x5A);
    GraphImage image;
    EXPECT_EQ(DecodeWith(DecodeTgaImage, WriteTga(s), &image), c.result);
    if (c.result == 0) {
      EXPECT_EQ(image.pitch, c.width * 3u);
    }
    FreeGraphImageCore(&image);
  }
}

// Run-length data one pixel short: with a footer the data end before it and the file is
// refused; a footer whose extension offset is not 0 is no footer, so its bytes are read as
// packets (the offset 1 is a raw packet of two pixels of zeros, cut to the one missing).
TEST_F(TgaLoad, AFooterCountsOnlyWithExtensionOffsetZero) {
  Bytes expected = TopDownPixels(3);
  TgaFields s;
  s.imageType = 10;
  s.width = kWidth;
  s.height = kHeight;
  s.footer = true;
  s.data = TgaRunLength(Bytes(expected.begin(), expected.end() - 3), 3);
  GraphImage image;
  EXPECT_EQ(DecodeWith(DecodeTgaImage, WriteTga(s), &image), -1);
  s.extensionOffset = 1;
  ASSERT_EQ(DecodeWith(DecodeTgaImage, WriteTga(s), &image), 0);
  expected[expected.size() - 3] = expected[expected.size() - 2] = expected[expected.size() - 1] = 0;
  EXPECT_EQ(PixelRows(image), expected);
  FreeGraphImageCore(&image);
}

TEST_F(TgaLoad, DamagedFilesAreRefusedAndNothingLeaks) {
  Bytes unused;
  const Bytes raw = TgaOfForm({"raw", 2, 24, 0x20, 4}, &unused);
  const Bytes mappedRle = TgaOfForm({"mapped rle", 9, 24, 0x20, 4, true}, &unused);
  std::vector<LoaderCase> cases;
  // Cut at each field boundary and inside the data.
  for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(12), size_t(16),
                     size_t(17), size_t(18), size_t(20), raw.size() / 2, raw.size() - 1})
    cases.push_back({"raw cut at " + std::to_string(cut), Prefix(raw, cut), -1});
  // The mapped file: inside its ID, its colour map and its last packet (the footer gone
  // with it), and inside its footer, which then is none: the packets are whole before it.
  for (size_t cut : {size_t(20), size_t(22) + 10, mappedRle.size() - TGA_FOOTER_BYTES - 1})
    cases.push_back({"mapped cut at " + std::to_string(cut), Prefix(mappedRle, cut), -1});
  cases.push_back({"mapped cut inside the footer, packets whole",
                   Prefix(mappedRle, mappedRle.size() - 1), 0});
  auto field = [&](const char* name, const Bytes& base, size_t at, std::initializer_list<uint8_t> v,
                   int result) {
    Bytes b = base;
    size_t i = at;
    for (uint8_t x : v) b[i++] = x;
    cases.push_back({name, b, result});
  };
  field("image type 0", raw, 2, {0}, -1);
  field("image type 3 (grey)", raw, 2, {3}, -1);
  field("image type 8", raw, 2, {8}, -1);
  field("image type 12", raw, 2, {12}, -1);
  field("image type 255", raw, 2, {255}, -1);
  field("width 0", raw, 12, {0, 0}, -1);
  field("height 0", raw, 14, {0, 0}, -1);
  field("width 65535", raw, 12, {0xFF, 0xFF}, -1);
  field("width 1 with its data", raw, 12, {1, 0}, 0);
  field("x origin 65535", raw, 8, {0xFF, 0xFF}, -1);
  field("pixel depth 0", raw, 16, {0}, -1);
  field("pixel depth 8 (true colour)", raw, 16, {8}, -1);
  field("pixel depth 255", raw, 16, {255}, -1);
  field("ID length 255 (data past the end)", raw, 0, {255}, -1);
  field("map entry size 0", mappedRle, 7, {0}, -1);
  field("map entry size 15", mappedRle, 7, {15}, -1);
  field("map entry size 255", mappedRle, 7, {255}, -1);
  field("mapped pixel depth 16", mappedRle, 16, {16}, -1);
  field("mapped pixel depth 0", mappedRle, 16, {0}, -1);
  field("map first 250 + length 7 = 257", mappedRle, 3, {250, 0}, -1);
  field("map first 249 + length 7 = 256", mappedRle, 3, {249, 0}, 0);
  field("map first 65535", mappedRle, 3, {0xFF, 0xFF}, -1);
  field("map length 65535", mappedRle, 5, {0xFF, 0xFF}, -1);
  // Run-length packets past the picture are cut; packets past the data are refused.
  TgaFields s;
  s.imageType = 10;
  s.width = 2;
  s.height = 2;
  s.data = {0xFF, 1, 2, 3};  // one repeat packet of 128 pixels for a picture of 4
  cases.push_back({"repeat packet past the picture", WriteTga(s), 0});
  s.data = {0x81, 1, 2, 3, 0x03, 4, 5, 6, 7, 8, 9};  // raw packet of four, two needed
  cases.push_back({"raw packet past the picture", WriteTga(s), 0});
  s.data = {0x81, 1, 2, 3};  // two pixels of four
  cases.push_back({"packets end before the picture", WriteTga(s), -1});
  s.data = {0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9};  // raw packet of four, three pixels there
  cases.push_back({"raw packet past the data", WriteTga(s), -1});
  s.data = {0x82, 1, 2, 3, 0x80, 1, 2};  // the last repeat packet's pixel cut
  cases.push_back({"repeat packet past the data", WriteTga(s), -1});

  ExpectLoaderResults(DecodeTgaImage, cases);
}

TEST_F(TgaLoad, AStreamThatReadsShortIsRefused) {
  Bytes unused;
  const Bytes file = TgaOfForm({"raw", 2, 24, 0x20}, &unused);
  GraphImage image;
  EXPECT_EQ(DecodeWith(DecodeTgaImage, file, &image, 7), -1);
  EXPECT_EQ(DecodeWith(DecodeTgaImage, file, &image, UINT32_MAX, int64_t(file.size()) - 2), -1);
}

}  // namespace
