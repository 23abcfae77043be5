// The BMP loader over files from the byte builder: every layout it copies, decodes or
// hands to the GDI-like layer, compared pixel by pixel with the colours the file means;
// run-length streams that go past their row or picture; and damaged files, each refused
// with nothing left allocated on either side.
#include "engine/graphics/imageload.h"

#include "bmptest.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

struct BmpLoad : BmpTest {};

// A 24-bit file of the rows (top row first, 0xRRGGBB).
Bytes Bmp24(const std::vector<std::vector<uint32_t>>& rows, bool topDown) {
  BmpFields s;
  s.width = int32_t(rows[0].size());
  s.height = topDown ? -int32_t(rows.size()) : int32_t(rows.size());
  s.data = BmpRows(24, rows, topDown);
  return WriteBmp(s);
}

// A palette file: `bits` per index, the table given, the index rows top first.
BmpFields IndexedBmp(int bits, const std::vector<uint32_t>& table,
                     const std::vector<std::vector<uint32_t>>& rows, bool topDown = false) {
  BmpFields s;
  s.width = int32_t(rows[0].size());
  s.height = topDown ? -int32_t(rows.size()) : int32_t(rows.size());
  s.bitCount = uint16_t(bits);
  s.colors = table;
  s.data = BmpRows(bits, rows, topDown);
  return s;
}

// Masked pixels (16 or 32 bits) as a file, with the masks when bit fields are asked.
BmpFields MaskedBmp(int bits, const std::vector<std::vector<uint32_t>>& rows, bool topDown,
                    std::vector<uint32_t> masks = {}) {
  BmpFields s;
  s.width = int32_t(rows[0].size());
  s.height = topDown ? -int32_t(rows.size()) : int32_t(rows.size());
  s.bitCount = uint16_t(bits);
  if (!masks.empty()) {
    s.compression = 3;
    s.masks = masks;
  }
  s.data = BmpRows(bits, rows, topDown);
  return s;
}

// A stored run-length stream of a bottom-up or top-down picture.
BmpFields RunLengthBmp(int bits, int32_t width, int32_t height, const std::vector<uint32_t>& table,
                       const Bytes& stream) {
  BmpFields s;
  s.width = width;
  s.height = height;
  s.bitCount = uint16_t(bits);
  s.compression = bits == 8 ? 1 : 2;
  s.colors = table;
  s.data = stream;
  return s;
}

struct GoodCase {
  std::string name;
  Bytes file;
  std::vector<std::vector<uint32_t>> colours;  // top row first, 0xRRGGBB
  int bitDepth;                                // 8: palette result, 24: RGB888
};

void ExpectGoodCases(const std::vector<GoodCase>& cases) {
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeBmpImage, c.file, &image), 0);
    EXPECT_EQ(image.format.bitDepth, c.bitDepth);
    const uint32_t bytes = c.bitDepth / 8;
    EXPECT_EQ(image.pitch, (image.width * bytes + 3) & ~3u) << "rows of the DIB's length";
    EXPECT_EQ(Colours(image), c.colours);
    FreeGraphImageCore(&image);
  }
}

TEST_F(BmpLoad, EveryLayoutGivesTheColoursOfItsFile) {
  const std::vector<std::vector<uint32_t>> rgb = {{0x102030, 0x405060, 0x708090},
                                                  {0xA0B0C0, 0xD0E0F0, 0x0A0B0C}};
  const std::vector<uint32_t> table256 = Table(256), table16 = Table(16);
  const std::vector<std::vector<uint32_t>> indexes8 = {{0, 37, 74, 111, 255}, {148, 185, 222, 3, 1},
                                                       {9, 8, 7, 6, 5}};
  const std::vector<std::vector<uint32_t>> indexes4 = {{0, 15, 3, 12, 7}, {1, 2, 4, 8, 9}};

  // Two colours used: the table has two entries, and index 200 is black.
  BmpFields two = IndexedBmp(8, {0xFF0000, 0x00FF00}, {{0, 1, 200}, {1, 0, 1}});
  two.colorsUsed = 2;
  // A V5 header (124 bytes) with a palette of three colours right after it.
  BmpFields v5 = IndexedBmp(8, {0x123456, 0x654321, 0xABCDEF}, {{0, 1, 2, 7}});
  v5.headerSize = 124;
  v5.colorsUsed = 3;

  const std::vector<std::vector<uint32_t>> bits1 = {{0, 1, 1, 0, 1, 0, 0, 1, 1, 1},
                                                    {1, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  const std::vector<uint32_t> table2 = {0x112233, 0xAABBCC};
  const std::vector<std::vector<uint32_t>> x555 = {{0x7C00, 0x03E0, 0x001F}, {0x4210, 0x0000, 0x7FFF}};
  const std::vector<std::vector<uint32_t>> r565 = {{0xF800, 0x07E0, 0x001F}, {0x8410, 0x0821, 0xFFFF}};
  // Channels widened by repeating their bits: 16 of 5 bits is 0x84, 32 of 6 bits 0x82.
  const std::vector<std::vector<uint32_t>> rgb555 = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                     {0x848484, 0x000000, 0xFFFFFF}};
  const std::vector<std::vector<uint32_t>> rgb565 = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                     {0x848284, 0x080408, 0xFFFFFF}};
  const std::vector<std::vector<uint32_t>> x888 = {{0xFF102030, 0x00405060}, {0x7F708090, 0x00FFFFFF}};
  // Red in the low byte, blue in the third.
  const std::vector<std::vector<uint32_t>> bgr32 = {{0x00302010, 0x00605040}, {0x00908070, 0x00C0B0A0}};
  const std::vector<std::vector<uint32_t>> pixel565 = {{0xF81F}};

  std::vector<GoodCase> cases = {
      {"24-bit bottom-up", Bmp24(rgb, false), rgb, 24},
      {"24-bit top-down", Bmp24(rgb, true), rgb, 24},
      {"8-bit, 256 colours", WriteBmp(IndexedBmp(8, table256, indexes8)), Looked(table256, indexes8), 8},
      {"8-bit top-down", WriteBmp(IndexedBmp(8, table256, indexes8, true)), Looked(table256, indexes8), 8},
      {"8-bit, 2 colours used", WriteBmp(two), {{0xFF0000, 0x00FF00, 0}, {0x00FF00, 0xFF0000, 0x00FF00}}, 8},
      {"V5 header with a palette", WriteBmp(v5), {{0x123456, 0x654321, 0xABCDEF, 0}}, 8},
      {"4-bit bottom-up", WriteBmp(IndexedBmp(4, table16, indexes4)), Looked(table16, indexes4), 8},
      {"4-bit top-down", WriteBmp(IndexedBmp(4, table16, indexes4, true)), Looked(table16, indexes4), 8},
      // Through the DIB section, all becoming 24-bit.
      {"1-bit", WriteBmp(IndexedBmp(1, table2, bits1)), Looked(table2, bits1), 24},
      {"1-bit top-down", WriteBmp(IndexedBmp(1, table2, bits1, true)), Looked(table2, bits1), 24},
      {"16-bit 5:5:5", WriteBmp(MaskedBmp(16, x555, false)), rgb555, 24},
      {"16-bit 5:5:5 top-down", WriteBmp(MaskedBmp(16, x555, true)), rgb555, 24},
      {"16-bit 5:6:5 bit fields", WriteBmp(MaskedBmp(16, r565, false, {0xF800, 0x07E0, 0x001F})),
       rgb565, 24},
      {"32-bit", WriteBmp(MaskedBmp(32, x888, false)), {{0x102030, 0x405060}, {0x708090, 0xFFFFFF}}, 24},
      {"32-bit bit fields", WriteBmp(MaskedBmp(32, bgr32, true, {0xFF, 0xFF00, 0xFF0000})),
       {{0x102030, 0x405060}, {0x708090, 0xA0B0C0}}, 24},
      // A V4 header holds the masks at its offset 40, which is file offset 54 as well.
      {"32-bit bit fields, V4 header", [&] {
         BmpFields s = MaskedBmp(32, bgr32, true, {0xFF, 0xFF00, 0xFF0000});
         s.headerSize = 108;
         return WriteBmp(s);
       }(),
       {{0x102030, 0x405060}, {0x708090, 0xA0B0C0}}, 24},
      // Masks are read for bit fields only: a 1 x 1 file of 16 bits ends with its pixel.
      {"16-bit 1 x 1 without masks", WriteBmp(MaskedBmp(16, {{0x7FFF}}, false)), {{0xFFFFFF}}, 24},
      {"16-bit 5:6:5 1 x 1", WriteBmp(MaskedBmp(16, pixel565, false, {0xF800, 0x07E0, 0x001F})),
       {{0xFF00FF}}, 24},
  };
  ExpectGoodCases(cases);
}

TEST_F(BmpLoad, RunLengthStreamsDecodeRunsLiteralsLinesMovesAndTheEnd) {
  const std::vector<uint32_t> table = Table(256);
  // RLE8, 6 x 3, bottom-up: the first decoded row is the bottom one.
  const Bytes rle8 = {
      3,    5,                         // three pixels of 5
      0,    3, 10, 11, 12, 0,          // an odd literal, padded
      0,    0,                         // end of line: the middle row
      2,    7,                         // two of 7
      0,    2, 2,  1,                  // a move: 2 right, 1 row on (the top row), from here
      1,    9,                         // at column 4
      0,    1,                         // end of bitmap
  };
  // RLE4, 7 x 2, top-down.
  const Bytes rle4 = {
      2, 0x12,                          // 1, 2
      0, 5,    0x34, 0x56, 0x70, 0,     // five nibbles in three bytes, padded
      0, 0,                             // end of line
      0, 2,    3,    0,                 // a move 3 right in the same row
      3, 0xAB,                          // A, B, A
      0, 1,
  };
  const std::vector<std::vector<uint32_t>> rle8Indexes = {
      {0, 0, 0, 0, 9, 0}, {7, 7, 0, 0, 0, 0}, {5, 5, 5, 10, 11, 12}};
  const std::vector<std::vector<uint32_t>> rle4Indexes = {{1, 2, 3, 4, 5, 6, 7},
                                                          {0, 0, 0, 10, 11, 10, 0}};
  ExpectGoodCases({
      {"RLE8", WriteBmp(RunLengthBmp(8, 6, 3, table, rle8)), Looked(table, rle8Indexes), 8},
      {"RLE4", WriteBmp(RunLengthBmp(4, 7, -2, Table(16), rle4)), Looked(Table(16), rle4Indexes), 8},
  });
}

// Runs, literals and moves are cut at their row: the pixels past its end are dropped, not
// carried into the next row or past the buffer. An end of line or a move past the last
// row ends the picture (as writers that end every row with an end of line produce).
TEST_F(BmpLoad, RunLengthStreamsPastTheRowOrThePictureAreClipped) {
  const std::vector<uint32_t> table = Table(256);
  struct Case {
    const char* name;
    int bits;
    Bytes stream;  // 4 x 2, bottom-up
    std::vector<std::vector<uint32_t>> indexes;
  } cases[] = {
      {"RLE8 run past the row", 8, {6, 3, 0, 0, 2, 4, 0, 1}, {{4, 4, 0, 0}, {3, 3, 3, 3}}},
      {"RLE8 literal past the row", 8, {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 1, 6, 0, 1},
       {{6, 0, 0, 0}, {1, 2, 3, 4}}},
      {"RLE8 move past the row end", 8, {0, 2, 9, 0, 3, 8, 0, 0, 1, 6, 0, 1}, {{6, 0, 0, 0}, {0, 0, 0, 0}}},
      {"RLE8 run far past the row", 8, {255, 1, 255, 2, 0, 0, 1, 6, 0, 1}, {{6, 0, 0, 0}, {1, 1, 1, 1}}},
      {"RLE8 end of line past the last row", 8, {4, 1, 0, 0, 4, 2, 0, 0, 7, 7, 7},
       {{2, 2, 2, 2}, {1, 1, 1, 1}}},
      {"RLE8 move past the last row", 8, {1, 1, 0, 2, 1, 5, 9, 9, 9}, {{0, 0, 0, 0}, {1, 0, 0, 0}}},
      {"RLE4 run past the row", 4, {7, 0x12, 0, 0, 1, 0x30, 0, 1}, {{3, 0, 0, 0}, {1, 2, 1, 2}}},
      {"RLE4 literal past the row", 4, {0, 6, 0x12, 0x34, 0x56, 0, 0, 0, 0, 1}, {{0, 0, 0, 0}, {1, 2, 3, 4}}},
  };
  std::vector<GoodCase> good;
  for (const Case& c : cases) {
    const std::vector<uint32_t> t = c.bits == 8 ? table : Table(16);
    good.push_back({c.name, WriteBmp(RunLengthBmp(c.bits, 4, 2, t, c.stream)), Looked(t, c.indexes), 8});
  }
  ExpectGoodCases(good);
}

TEST_F(BmpLoad, DamagedFilesAreRefusedWithNothingLeft) {
  const std::vector<std::vector<uint32_t>> rgb = {{0x102030, 0x405060, 0x708090},
                                                  {0xA0B0C0, 0xD0E0F0, 0x0A0B0C}};
  const Bytes good24 = Bmp24(rgb, false);
  BmpFields base;
  base.width = 3;
  base.height = 2;
  base.data = BmpRows(24, rgb, false);
  auto with = [&](auto change) {
    BmpFields s = base;
    change(s);
    return WriteBmp(s);
  };
  // The size field says other than the 40 bytes the file has.
  auto sized = [&](uint32_t size) {
    Bytes b = good24;
    PutLe32At(b, 14, size);
    return b;
  };
  const Bytes good8 = WriteBmp(IndexedBmp(8, Table(256), {{1, 2, 3}}));
  const Bytes goodFields = WriteBmp(MaskedBmp(16, {{1, 2}}, false, {0xF800, 0x07E0, 0x001F}));
  const std::vector<uint32_t> table = Table(256);
  auto rle = [&](int bits, const Bytes& stream) {
    return WriteBmp(RunLengthBmp(bits, 4, 2, bits == 8 ? table : Table(16), stream));
  };

  std::vector<LoaderCase> cases = {
      {"empty", {}, -1},
      {"file header only", Prefix(good24, 14), -1},
      {"info header cut", Prefix(good24, 40), -1},
      {"no pixels", Prefix(good24, 54), -1},
      {"last row cut", Prefix(good24, good24.size() - 1), -1},
      {"colour table cut", Prefix(good8, 54 + 100), -1},
      {"masks cut", Prefix(goodFields, 60), -1},
      {"not BM", [&] {
         Bytes b = good24;
         b[0] = 'M';
         return b;
       }(), -1},
      {"header size 12", sized(12), -1},
      {"header size 0", sized(0), -1},
      {"header size 200", sized(200), -1},
      {"width 0", with([](BmpFields& s) { s.width = 0; }), -1},
      {"width -1", with([](BmpFields& s) { s.width = -1; }), -1},
      {"height 0", with([](BmpFields& s) { s.height = 0; }), -1},
      {"height INT_MIN", with([](BmpFields& s) { s.height = INT_MIN; }), -1},
      {"bit count 0", with([](BmpFields& s) { s.bitCount = 0; }), -1},
      {"bit count 2", with([](BmpFields& s) { s.bitCount = 2; }), -1},
      {"bit count 64", with([](BmpFields& s) { s.bitCount = 64; s.width = 1; }), -1},
      {"compression 4 (JPEG)", with([](BmpFields& s) { s.compression = 4; }), -1},
      {"compression 5 (PNG)", with([](BmpFields& s) { s.compression = 5; }), -1},
      {"compression 6", with([](BmpFields& s) { s.compression = 6; }), -1},
      {"bit fields on 8 bits", with([](BmpFields& s) { s.bitCount = 8; s.compression = 3; }), -1},
      {"data offset past the end", with([](BmpFields& s) { s.dataOffset = 4096; s.data.clear(); }), -1},
      {"data offset inside the header", [&] {
         Bytes b = good24;
         PutLe32At(b, 10, 30);
         return b;
       }(), -1},
      {"too many rows for the data", with([](BmpFields& s) { s.height = 3; }), -1},
      {"rows past the limit", with([](BmpFields& s) { s.width = 0x7FFFFFFF; s.height = 0x7FFFFFFF; }), -1},
      {"RLE8 without its end", rle(8, {4, 1, 0, 0, 4, 2}), -1},
      {"RLE8 cut inside a run", rle(8, {4, 1, 4}), -1},
      {"RLE8 literal past the data", rle(8, {0, 4, 1, 2}), -1},
      {"RLE8 move cut", rle(8, {0, 2, 1}), -1},
      {"RLE8 empty", rle(8, {}), -1},
      {"RLE4 literal past the data", rle(4, {0, 7, 0x12, 0x34}), -1},
      {"RLE4 without its end", rle(4, {4, 0x12, 0, 0, 4, 0x34}), -1},
      {"RLE4 too wide to allocate", [&] {
         BmpFields s = RunLengthBmp(4, 0x7FFFFFFF, 0x7FFFFFFF, Table(16), {0, 1});
         return WriteBmp(s);
       }(), -1},
  };
  ExpectLoaderResults(DecodeBmpImage, cases);
  // The file every change starts from loads as it stands.
  ExpectLoaderResults(DecodeBmpImage, {{"the base file", with([](BmpFields&) {}), 0}});
}

// The largest block the tracked allocator was asked for, through the heap's hook.
size_t g_largestAsked = 0;
int NoteLargest(size_t size) {
  g_largestAsked = std::max(g_largestAsked, size);
  return 0;
}

// Small files whose headers claim far more rows than their data can give: refused before
// the picture (or a DIB section for it) is made, so that they cost what the file does.
TEST_F(BmpLoad, HeadersTheDataContradictAreRefusedBeforeThePictureIsMade) {
  const Bytes filler(1900, 0x5A);
  auto shape = [&](int32_t width, int32_t height, uint16_t bits, uint32_t compression, const Bytes& data) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.bitCount = bits;
    s.compression = compression;
    if (bits <= 8 && bits > 0) s.colors = Table(size_t(1) << bits);
    s.data = data;
    return WriteBmp(s);
  };
  const Bytes rleWithoutEnd = {255, 1, 255, 2, 0, 0, 255, 3, 0, 0};
  const std::vector<LoaderCase> cases = {
      {"no bits a pixel, 8,454,112 rows top-down", shape(16, -8454112, 0, 0, filler), -1},
      {"no bits a pixel, 16384 rows bottom-up", shape(16384, 16384, 0, 0, filler), -1},
      {"24-bit rows the file cannot hold", shape(16384, 16384, 24, 0, filler), -1},
      {"1-bit rows the file cannot hold, top-down", shape(640, -8454112, 1, 0, filler), -1},
      {"RLE8 16384 x 16384 without its end", shape(16384, 16384, 8, 1, rleWithoutEnd), -1},
      {"RLE4 8,454,112 rows top-down cut in a literal", shape(64, -8454112, 4, 2, {0, 40, 0x12, 0x34}), -1},
  };
  PlatGdiFakeLogCalls(1);
  g_largestAsked = 0;
  PlatSetAllocFailHook(NoteLargest);
  ExpectLoaderResults(DecodeBmpImage, cases);
  PlatSetAllocFailHook(nullptr);
  EXPECT_LT(g_largestAsked, size_t(64) << 10);
  for (const std::string& call : PlatGdiFakeCalls()) EXPECT_EQ(call.find("CreateDIBSection"), std::string::npos);
  PlatGdiFakeLogCalls(0);
}

// A run-length picture may be far larger than its file and still be whole: its end of
// bitmap leaves every pixel it did not reach at index 0.
TEST_F(BmpLoad, ALargeRunLengthPictureFromAFewBytesLoads) {
  const std::vector<uint32_t> table = Table(256);
  const Bytes stream = {255, 7, 0, 0, 0, 2, 5, 2, 3, 9, 0, 1};
  GraphImage image;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, WriteBmp(RunLengthBmp(8, 4096, -4096, table, stream)), &image), 0);
  EXPECT_EQ(image.width, 4096u);
  EXPECT_EQ(image.height, 4096u);
  const uint8_t* p = static_cast<const uint8_t*>(image.pixels);
  EXPECT_EQ(p[0], 7);
  EXPECT_EQ(p[254], 7);
  EXPECT_EQ(p[255], 0);
  EXPECT_EQ(p[3 * size_t(image.pitch) + 5], 9);
  EXPECT_EQ(p[3 * size_t(image.pitch) + 8], 0);
  EXPECT_EQ(p[4095 * size_t(image.pitch) + 4095], 0);
  FreeGraphImageCore(&image);
}

// A stream that reads less than asked, or fails part way, gives no picture with rows
// nobody wrote: every layout's file is refused, with nothing left allocated.
TEST_F(BmpLoad, AStreamThatReadsShortIsRefused) {
  const std::vector<std::vector<uint32_t>> rows = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
  for (const Bytes& file : {WriteBmp(IndexedBmp(8, Table(256), rows)),
                            WriteBmp(IndexedBmp(4, Table(16), rows)),
                            WriteBmp(IndexedBmp(1, {0, 0xFFFFFF}, {{1, 0, 1}})),
                            WriteBmp(RunLengthBmp(8, 2, 1, Table(256), {2, 1, 0, 1}))}) {
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeBmpImage, file, &image), 0);
    FreeGraphImageCore(&image);
    const int32_t blocks = GetTrackedBlockCount();
    EXPECT_EQ(DecodeWith(DecodeBmpImage, file, &image, 3), -1);
    for (int64_t cut : {int64_t(20), int64_t(60), int64_t(file.size() - 1)})
      EXPECT_EQ(DecodeWith(DecodeBmpImage, file, &image, UINT32_MAX, cut), -1) << cut;
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
  }
}

// The GDI-like layer's failures on the DIB path, each with its line in the log.
TEST_F(BmpLoad, TheDibPathRefusesWhenTheLayerOrTheMemoryFails) {
  const Bytes file = WriteBmp(MaskedBmp(16, {{0x7FFF, 0}}, false));
  struct Case {
    const char* name;
    const char* failGdi;   // operation made to fail, or null
    bool failCopy;         // the 24-bit copy cannot be allocated
    const char* logLine;   // null: none
  } cases[] = {
      {"no device context", "CreateCompatibleDC", false, "ＤＩＢの作成に失敗しました3"},
      {"no section", "CreateDIBSection", false, "ＤＩＢの作成に失敗しました3"},
      {"the layer cannot draw it", "SetDIBitsToDevice", false, nullptr},
      {"no memory for the copy", nullptr, true,
       "２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logged.clear();
    if (c.failGdi) PlatGdiFakeFailNext(c.failGdi, 1);
    // The copy is the only block of one row of 8 bytes.
    if (c.failCopy)
      PlatSetAllocFailHook([](size_t size) { return size == 8 + sizeof(MemBlockHeader) ? 1 : 0; });
    GraphImage image;
    EXPECT_EQ(DecodeWith(DecodeBmpImage, file, &image), -1);
    PlatSetAllocFailHook(nullptr);
    FreeGraphImageCore(&image);
    if (c.logLine) EXPECT_NE(logged.find(c.logLine), std::string::npos) << logged;
    else EXPECT_EQ(logged, "");
    EXPECT_EQ(PlatGdiFakeLiveDCs(), 0);
    EXPECT_EQ(PlatGdiFakeLiveObjects(), 0);
  }
}

}  // namespace
