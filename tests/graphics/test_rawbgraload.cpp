#include "engine/graphics/imageload.h"

#include "imagetest.h"

#include <string>
#include <vector>

namespace {

struct RawBgraLoad : ImageTest {};

TEST_F(RawBgraLoad, EightAndSixteenBitChannels) {
  const uint32_t width = 3, height = 2;
  Bytes narrow, wide;
  for (uint32_t i = 0; i < width * height * 4; i++) {
    narrow.push_back(uint8_t(PatternSample(i, 8)));
    // The low byte differs from the high one, so keeping the wrong one shows.
    wide.push_back(uint8_t(~narrow.back()));
    wide.push_back(narrow.back());
  }
  const std::pair<const char*, Bytes> files[] = {
      {"8-bit", WriteRawBgra(RAW_BGRA_8, width, height, narrow)},
      {"16-bit", WriteRawBgra(RAW_BGRA_16, width, height, wide)},
  };
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeRawBgraImage, file, &image), 0);
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    EXPECT_EQ(image.pitch, width * 4);
    EXPECT_EQ(image.format.bitDepth, 32);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.format.redMask, 0xFF0000u);
    EXPECT_EQ(PixelRows(image), narrow);
    FreeGraphImageCore(&image);
  }
  GraphImage image;
  const Bytes file = WriteRawBgra(RAW_BGRA_8, width, height, narrow);
  ASSERT_EQ(LoadImageData(nullptr, file.data(), uint32_t(file.size()), 1, 0, 0, &image, nullptr,
                          nullptr),
            0);
  EXPECT_EQ(PixelRows(image), narrow);
  FreeGraphImageCore(&image);
}

TEST_F(RawBgraLoad, DamagedFilesAreRefusedAndNothingLeaks) {
  const Bytes narrow = WriteRawBgra(RAW_BGRA_8, 3, 2, Bytes(24, 0x61));
  const Bytes wide = WriteRawBgra(RAW_BGRA_16, 3, 2, Bytes(48, 0x62));
  std::vector<LoaderCase> cases;
  for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(8), size_t(12), size_t(15),
                     size_t(16), narrow.size() - 1})
    cases.push_back({"8-bit cut at " + std::to_string(cut), Prefix(narrow, cut), -1});
  for (size_t cut : {size_t(16) + 24, wide.size() - 1})
    cases.push_back({"16-bit cut at " + std::to_string(cut), Prefix(wide, cut), -1});
  Bytes magic = narrow;
  magic[3] = 'B';
  cases.push_back({"magic BGRB", magic, -1});
  struct Header {
    const char* name;
    uint32_t code, width, height;
    int result;
  } headers[] = {
      {"code 0", 0, 3, 2, -1},
      {"code 0x08080810", 0x08080810, 3, 2, -1},
      {"code 0xFFFFFFFF", 0xFFFFFFFF, 3, 2, -1},
      {"width 0", RAW_BGRA_8, 0, 2, -1},
      {"height 0", RAW_BGRA_8, 3, 0, -1},
      {"width 1 height 1", RAW_BGRA_8, 1, 1, 0},
      {"width 0xFFFFFFFF", RAW_BGRA_8, 0xFFFFFFFF, 2, -1},
      {"height 0xFFFFFFFF", RAW_BGRA_16, 3, 0xFFFFFFFF, -1},
      // 2^16 x 2^16 x 4 bytes is 0 in 32 bits.
      {"width x height x 4 past 32 bits", RAW_BGRA_8, 0x10000, 0x10000, -1},
      {"width x 4 past 32 bits", RAW_BGRA_8, 0x40000000, 4, -1},
      // 2^29 x 8 is 0 in 32 bits: the 16-bit row.
      {"16-bit row past 32 bits", RAW_BGRA_16, 0x20000000, 1, -1},
  };
  for (const Header& h : headers) {
    Bytes file = narrow;
    PutLe32At(file, 4, h.code);
    PutLe32At(file, 8, h.width);
    PutLe32At(file, 12, h.height);
    cases.push_back({h.name, file, h.result});
  }

  ExpectLoaderResults(DecodeRawBgraImage, cases);
  // A stream that stops inside the rows.
  GraphImage image;
  const int64_t insideTheRows = int64_t(wide.size()) - 8;
  EXPECT_EQ(DecodeWith(DecodeRawBgraImage, wide, &image, UINT32_MAX, insideTheRows), -1);
  EXPECT_EQ(DecodeWith(DecodeRawBgraImage, narrow, &image, 8), -1);
}

}  // namespace
