#include "engine/graphics/imageload.h"

#include "imagetest.h"

#include <string>
#include <vector>

namespace {

// What the loader must give for a file: libjpeg's own decode, colour bytes reversed
// (red, green, blue become blue, green, red: RGB888 is little-endian), rows not padded.
void ExpectLoaded(const GraphImage& image, const Bytes& file) {
  DirectJpeg want = DecodeJpegDirect(file);
  if (want.components == 3)
    for (size_t i = 0; i + 2 < want.pixels.size(); i += 3)
      std::swap(want.pixels[i], want.pixels[i + 2]);
  EXPECT_EQ(image.width, want.width);
  EXPECT_EQ(image.height, want.height);
  EXPECT_EQ(image.pitch, want.width * want.components);
  EXPECT_EQ(image.format.bytesPerPixel, want.components);
  if (want.components == 1) {
    EXPECT_EQ(image.format.palette[200].red, 200);  // the grey ramp
  } else {
    EXPECT_EQ(image.format.redMask, 0xFF0000u);
    EXPECT_EQ(image.format.blueMask, 0xFFu);
  }
  EXPECT_EQ(PixelRows(image), want.pixels);
}

struct JpegCase {
  const char* name;
  Bytes file;
};

std::vector<JpegCase> JpegCases() {
  return {
      {"grey", PatternJpeg(13, 9, 1)},
      {"colour", PatternJpeg(13, 9, 3)},
      {"colour, progressive", PatternJpeg(37, 21, 3, 75, true)},
      {"grey, progressive", PatternJpeg(37, 21, 1, 75, true)},
  };
}

using JpegLoad = ImageTest;

TEST_F(JpegLoad, GreyAndColourEqualTheLibrarysOwnDecode) {
  for (const JpegCase& c : JpegCases()) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeJpegImage, c.file, &image), 0);
    ExpectLoaded(image, c.file);
    FreeGraphImageCore(&image);
  }
}

TEST_F(JpegLoad, AStreamThatReadsShortDecodesTheSame) {
  // The source takes the bytes actually read, so a stream that hands over a few bytes a
  // call is no different from one that hands over all it is asked.
  for (const JpegCase& c : JpegCases()) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    ASSERT_EQ(DecodeWith(DecodeJpegImage, c.file, &image, 7), 0);
    ExpectLoaded(image, c.file);
    FreeGraphImageCore(&image);
  }
}

// Where the first scan's entropy-coded data starts and how long it is.
JpegSegment FirstScan(const Bytes& file) {
  for (const JpegSegment& s : JpegSegments(file))
    if (s.marker == 0) return s;
  return {0, 0, -1};
}

// A file cut at a given length is refused wherever it ends before its end-of-image
// marker: inside a scan (libjpeg would fill what is missing with grey, for as many rows
// as the header says), after the last scan, or in a progressive file between two scans
// (libjpeg would show the picture at the quality of the scans it had). The whole file
// loads, and nothing reaches the terminal.
TEST_F(JpegLoad, AFileThatEndsBeforeItsEndOfImageMarkerIsRefused) {
  struct Cut {
    std::string name;
    Bytes file;
    int result;
  };
  std::vector<Cut> cuts = {{"empty", {}, -1}, {"not a JPEG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, -1}};
  for (const bool progressive : {false, true}) {
    const Bytes whole = PatternJpeg(24, 16, 3, 75, progressive);
    const std::string kind = progressive ? "progressive, " : "baseline, ";
    auto cut = [&](const std::string& name, size_t size, int result) {
      cuts.push_back({kind + name, Bytes(whole.begin(), whole.begin() + long(size)), result});
    };
    cut("inside SOI", 1, -1);
    int scans = 0;
    for (const JpegSegment& s : JpegSegments(whole)) {
      if (s.offset == 0) continue;
      if (s.marker == 0xDA) scans++;
      cut("before marker " + std::to_string(s.marker) + " (scan " + std::to_string(scans) + ")", s.offset, -1);
      if (s.marker == 0xC0 || s.marker == 0xC2 || s.marker == 0xDA)
        cut("inside marker " + std::to_string(s.marker), s.offset + 5, -1);
      if (s.marker == 0) {
        cut("inside scan " + std::to_string(scans), s.offset + s.size / 2, -1);
        cut("one byte before the end of scan " + std::to_string(scans), s.offset + s.size - 1, -1);
      }
    }
    cut("whole", whole.size(), 0);
    // The cuts between scans are what this table is for.
    EXPECT_GT(scans, progressive ? 2 : 0);
  }
  for (Cut& c : cuts) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeWith(DecodeJpegImage, c.file, &image), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    if (c.result == 0) ExpectLoaded(image, c.file);
    FreeGraphImageCore(&image);
  }
  // A stream that stops delivering inside the scan while its size says there is more
  // ends the data there too, rather than offering its old buffer again.
  const Bytes whole = PatternJpeg(24, 16, 3);
  const JpegSegment scan = FirstScan(whole);
  GraphImage image;
  EXPECT_EQ(DecodeWith(DecodeJpegImage, whole, &image, UINT32_MAX, int64_t(scan.offset + scan.size / 2)), -1);
  EXPECT_EQ(image.pixels, nullptr);
}

Bytes Spoilt(Bytes file, int marker, size_t at, uint8_t value) {
  for (const JpegSegment& s : JpegSegments(file))
    if (s.marker == marker) {
      file[s.offset + at] = value;
      break;
    }
  return file;
}

TEST_F(JpegLoad, RefusedFiles) {
  const Bytes colour = PatternJpeg(16, 16, 3);
  const std::vector<JpegCase> refused = {
      {"CMYK", PatternJpeg(16, 16, 4)},
      {"width 0", ResizedJpeg(colour, 0, 16)},
      {"height 0", ResizedJpeg(colour, 16, 0)},
      // 65500 x 65500 x 3 bytes: past what one picture may take, refused at the header.
      {"65500 x 65500", ResizedJpeg(colour, 65500, 65500)},
      // The output (900 MB) would pass, but a progressive file keeps every coefficient
      // (twice that), which the library's memory bound refuses.
      {"progressive 30000 x 30000 grey", ResizedJpeg(PatternJpeg(16, 16, 1, 75, true), 30000, 30000)},
      // Headers that claim far more than the data hold: the data end in the first rows.
      {"16384 x 16384 on the data of 16 x 16", ResizedJpeg(colour, 16384, 16384)},
      {"progressive 4000 x 4000 on the data of 16 x 16", ResizedJpeg(PatternJpeg(16, 16, 3, 75, true), 4000, 4000)},
      {"not a JPEG (SOI spoilt)", Spoilt(colour, 0xD8, 1, 0xD9)},
      {"12-bit precision", Spoilt(colour, 0xC0, 4, 12)},
      {"SOF's component count spoilt", Spoilt(colour, 0xC0, 9, 0)},
      {"DHT table class spoilt", Spoilt(colour, 0xC4, 4, 0x35)},
      {"SOS component spoilt", Spoilt(colour, 0xDA, 5, 0x77)},
  };
  for (const JpegCase& c : refused) {
    SCOPED_TRACE(c.name);
    GraphImage image;
    EXPECT_EQ(DecodeWith(DecodeJpegImage, c.file, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
  }
}

TEST_F(JpegLoad, BothLibraryLoadersRefuseAnEmptyStream) {
  for (ImageLoader loader : {DecodeJpegImage, DecodePngImage}) {
    GraphImage image;
    EXPECT_EQ(DecodeWith(loader, Bytes(), &image), -1);
  }
}

}  // namespace
