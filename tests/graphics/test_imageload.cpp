#include "engine/graphics/imageload.h"

#include "imagetest.h"
#include "platform/fs/fs.h"
#include "platform/gdi/gdi.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Image files in a temporary directory; the loader table as it was on the way out.
struct ImageLoad : ImageTest {
  std::string dir;
  ImageLoaderTable savedLoaders{};
  void SetUp() override {
    ImageTest::SetUp();
    savedLoaders = ImageLoaders;
    char tmpl[] = "/tmp/kr_image_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    ImageLoaders = savedLoaders;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    ImageTest::TearDown();
  }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    PlatFile* f = PlatFileOpen(path.c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(PlatFileWrite(f, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
    PlatFileClose(f);
    return path;
  }
};

const Bytes& RgbPng() {  // 5 pixels a row: 15 bytes, an unaligned pitch
  static const Bytes b = WritePng(PatternPng(5, 3, PNG_COLOR_TYPE_RGB, 8));
  return b;
}
const Bytes& PalettePng() {
  static const Bytes b = WritePng(PatternPng(9, 4, PNG_COLOR_TYPE_PALETTE, 4, 16));
  return b;
}
const Bytes& ColourJpeg() {  // 13 pixels a row: 39 bytes
  static const Bytes b = PatternJpeg(13, 7, 3);
  return b;
}

int LoadFromMemory(const Bytes& b, GraphImage* image, int mirror = 0) {
  return LoadImageData(nullptr, b.data(), uint32_t(b.size()), 1, 0, mirror, image, nullptr,
                       nullptr);
}

TEST_F(ImageLoad, CompanionNames) {
  const std::string long259(259, 'n'), long257(257, 'n');
  struct Case {
    const char* name;
    const char* given;
    const char* companion;  // null: refused
  } cases[] = {
      {"extension", "pict.png", "pict_a.png"},
      {"no extension", "pict", "pict_a"},
      {"dot only in a directory", "dir.old/pict", "dir.old/pict_a"},
      {"backslash directory", "dir.old\\pict.bmp", "dir.old\\pict_a.bmp"},
      {"last dot counts", "a.b.c", "a.b_a.c"},
      // 0x95 0x5C is one double-byte character, not a directory separator.
      {"double-byte 0x5C", "a.b\x95\x5C", "a_a.b\x95\x5C"},
      {"257 bytes: just fits", long257.c_str(), nullptr},
      {"259 bytes", long259.c_str(), nullptr},
      {"null", nullptr, nullptr},
  };
  const std::string long257Companion = long257 + "_a";
  cases[6].companion = long257Companion.c_str();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char out[IMAGE_NAME_BUFFER_SIZE];
    std::memset(out, 'x', sizeof out);
    if (c.companion) {
      ASSERT_EQ(MakeAlphaCompanionName(c.given, out), 0);
      EXPECT_STREQ(out, c.companion);
    } else {
      EXPECT_EQ(MakeAlphaCompanionName(c.given, out), -1);
      EXPECT_STREQ(out, "");
    }
  }
}

TEST_F(ImageLoad, DataNoLoaderTakesIsRefusedAndClosed) {
  const Bytes junk(300, 0x5A);
  const std::string path = Write("junk.png", junk);
  GraphImage image{};
  EXPECT_EQ(LoadImageData(path.c_str(), nullptr, 0, 0, 0, 0, &image, nullptr, nullptr), -1);
  EXPECT_EQ(LoadFromMemory(junk, &image), -1);
  EXPECT_EQ(LoadImageData((dir + "/missing.png").c_str(), nullptr, 0, 0, 0, 0, &image, nullptr,
                          nullptr),
            -1);
  EXPECT_EQ(LoadImageFileData(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &image, 0), -1);
  EXPECT_EQ(image.pixels, nullptr);
}

// A loader that looks at what the dispatch hands it, spoils the image record and refuses.
int g_probeCalls = 0;
int64_t g_probePosition = -1;
bool g_probeImageZeroed = false;
int RefusingProbe(const StreamRow* s, GraphImage* image) {
  g_probeCalls++;
  g_probePosition = s->functions.tell(s->handle);
  const GraphImage zero{};
  g_probeImageZeroed = std::memcmp(image, &zero, sizeof zero) == 0;
  uint8_t skip[5];
  s->functions.read(skip, 1, sizeof skip, s->handle);
  std::memset(image, 0x7E, sizeof *image);
  return -1;
}
int Accepting(const StreamRow*, GraphImage* image) {
  image->width = 77;
  return 0;
}

TEST_F(ImageLoad, UserLoadersComeFirstAndEachLoaderStartsAfresh) {
  g_probeCalls = 0;
  ImageLoaders.user[0] = RefusingProbe;
  ImageLoaders.user[1] = RefusingProbe;
  ImageLoaders.userCount = 2;
  GraphImage image;
  ASSERT_EQ(LoadFromMemory(RgbPng(), &image), 0);
  EXPECT_EQ(g_probeCalls, 2);
  // The second probe came after the first had read and spoilt the record: rewound, zeroed.
  EXPECT_EQ(g_probePosition, 0);
  EXPECT_TRUE(g_probeImageZeroed);
  EXPECT_EQ(image.width, 5u);  // the PNG loader, after both refused
  FreeGraphImageCore(&image);

  ImageLoaders.user[1] = Accepting;
  ASSERT_EQ(LoadFromMemory(RgbPng(), &image), 0);
  EXPECT_EQ(image.width, 77u);
}

TEST_F(ImageLoad, MirrorTurnsEveryRowAndNoMirrorKeepsTheLoadersLayout) {
  for (const Bytes* file : {&RgbPng(), &PalettePng(), &ColourJpeg()}) {
    GraphImage plain, mirrored;
    ASSERT_EQ(LoadFromMemory(*file, &plain, 0), 0);
    ASSERT_EQ(LoadFromMemory(*file, &mirrored, 1), 0);
    // Mirror 0 hands the loader's own record through: format and unaligned pitch.
    GraphImage direct;
    ASSERT_EQ(DecodeWith(file == &ColourJpeg() ? DecodeJpegImage : DecodePngImage, *file,
                         &direct),
              0);
    EXPECT_EQ(std::memcmp(&plain.format, &direct.format, sizeof plain.format), 0);
    EXPECT_EQ(plain.pitch, direct.pitch);
    EXPECT_EQ(PixelRows(plain), PixelRows(direct));
    EXPECT_EQ(mirrored.pitch, plain.pitch);
    const int bytes = plain.format.bytesPerPixel;
    for (uint32_t y = 0; y < plain.height; y++) {
      for (uint32_t x = 0; x < plain.width; x++) {
        const uint8_t* a = static_cast<uint8_t*>(plain.pixels) + y * plain.pitch + x * bytes;
        const uint8_t* b = static_cast<uint8_t*>(mirrored.pixels) + y * plain.pitch +
                           (plain.width - 1 - x) * bytes;
        ASSERT_EQ(std::memcmp(a, b, size_t(bytes)), 0) << x << "," << y;
      }
    }
    FreeGraphImageCore(&plain);
    FreeGraphImageCore(&mirrored);
    FreeGraphImageCore(&direct);
  }
}

TEST_F(ImageLoad, CompanionFileOrBlock) {
  const Bytes& alpha = PalettePng();
  const std::string picture = Write("pict.png", RgbPng());
  const std::string bare = Write("dir.old/pict", RgbPng());
  Write("dir.old/pict_a", alpha);
  const std::string named = Write("named.png", RgbPng());
  Write("named_a.png", alpha);
  struct Case {
    const char* name;
    const char* file;  // null: the picture from memory
    const void* alphaData;
    int32_t alphaFromMemory;
    int result;
  } cases[] = {
      {"companion missing", picture.c_str(), nullptr, 0, 1},
      {"companion beside it", named.c_str(), nullptr, 0, 0},
      {"no extension, dot in the directory", bare.c_str(), nullptr, 0, 0},
      {"companion block", picture.c_str(), alpha.data(), 1, 0},
      {"companion block missing", picture.c_str(), nullptr, 1, 1},
      {"neither file nor block", named.c_str(), alpha.data(), 2, 1},
      {"picture from memory, no name for a companion file", nullptr, nullptr, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphImage image, alphaImage;
    std::memset(&alphaImage, 0x5C, sizeof alphaImage);
    ASSERT_EQ(LoadImageFileData(c.file, RgbPng().data(), uint32_t(RgbPng().size()), c.file ? 0 : 1,
                                c.alphaData, uint32_t(alpha.size()), c.alphaFromMemory, &image,
                                &alphaImage, 0),
              c.result);
    EXPECT_EQ(image.width, 5u);
    if (c.result == 0) {
      EXPECT_EQ(alphaImage.width, 9u);
    } else {
      const GraphImage empty{};
      EXPECT_EQ(std::memcmp(&alphaImage, &empty, sizeof empty), 0);  // frees as nothing
    }
    FreeGraphImageCore(&image);
    FreeGraphImageCore(&alphaImage);
  }
}

TEST_F(ImageLoad, ACompanionNameTooLongIsNotLookedFor) {
  // A path of 258 bytes: its companion's name needs 261 with the terminator, one more than
  // the buffer holds. The companion is there, so only the bound keeps it from loading.
  const std::string name = std::string(258 - dir.size() - 1 - 4, 'p') + ".png";
  const std::string path = Write(name, RgbPng());
  ASSERT_EQ(path.size(), 258u);
  Write(name.substr(0, name.size() - 4) + "_a.png", PalettePng());
  GraphImage image, alphaImage;
  EXPECT_EQ(LoadImageFileData(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0),
            1);
  EXPECT_EQ(alphaImage.pixels, nullptr);
  FreeGraphImageCore(&image);
}

// A loader whose picture the mirror step cannot copy (no width), as a loader of another
// kind might give.
int NoWidth(const StreamRow*, GraphImage* image) {
  SetupRgb888Format(&image->format);
  image->height = 1;
  image->pitch = 4;
  image->pixels = TrackedAlloc(4, "", 0);
  return 0;
}

TEST_F(ImageLoad, EveryStreamIsClosedOnceWhateverFails) {
  ImageLoaders.user[0] = NoWidth;
  ImageLoaders.userCount = 1;
  const std::string path = Write("x.png", RgbPng());
  GraphImage image{};
  // A memory stream is closed right after the load: a failing mirror must not close it
  // again. A file stays open until the end and is closed on the failing way out too.
  EXPECT_EQ(LoadFromMemory(RgbPng(), &image, 1), -1);
  EXPECT_EQ(LoadImageData(path.c_str(), nullptr, 0, 0, 0, 1, &image, nullptr, nullptr), -1);
  ImageLoaders.userCount = 0;

  // The DIB form without somewhere to put it: refused, with the file and the pixels let go.
  EXPECT_EQ(LoadImageData(path.c_str(), nullptr, 0, 0, 1, 0, &image, nullptr, nullptr), -1);
  EXPECT_EQ(image.pixels, nullptr);
  // No block to read from.
  EXPECT_EQ(LoadImageData(nullptr, nullptr, 10, 1, 0, 0, &image, nullptr, nullptr), -1);
}

// The DIB form: a header with the picture's size (top-down) and layout, and bits whose
// rows are the picture's, padded to 4 bytes; both are the caller's tracked blocks. An
// 8-bit BMP's rows already have that length, a 5-pixel RGB PNG's (15 bytes) do not.
TEST_F(ImageLoad, TheDibFormHoldsThePicture) {
  BmpFields bmp;
  bmp.width = 5;
  bmp.height = 2;
  bmp.bitCount = 8;
  for (uint32_t i = 0; i < 256; i++) bmp.colors.push_back(i * 0x010203);
  bmp.data = BmpRows(8, {{1, 2, 3, 4, 5}, {250, 251, 252, 253, 254}}, false);
  const Bytes bmpFile = WriteBmp(bmp);
  const std::string path = Write("pict.bmp", bmpFile);
  struct Case {
    const char* name;
    const char* fileName;
    const Bytes* memory;
    int32_t mirror;
    uint16_t bitCount;
  } cases[] = {
      {"8-bit BMP file", path.c_str(), nullptr, 0, 8},
      {"8-bit BMP in memory, mirrored", nullptr, &bmpFile, 1, 8},
      {"RGB PNG", nullptr, &RgbPng(), 0, 24},
      {"palette PNG, mirrored", nullptr, &PalettePng(), 1, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const void* data = c.memory ? c.memory->data() : nullptr;
    const uint32_t size = c.memory ? uint32_t(c.memory->size()) : 0;
    GraphImage image{};
    ASSERT_EQ(LoadImageData(c.fileName, data, size, c.memory ? 1 : 0, 0, c.mirror, &image,
                            nullptr, nullptr),
              0);
    void* bits = nullptr;
    void* block = nullptr;
    GraphImage untouched{};
    ASSERT_EQ(LoadImageData(c.fileName, data, size, c.memory ? 1 : 0, 1, c.mirror, &untouched,
                            &bits, &block),
              0);
    EXPECT_EQ(untouched.pixels, nullptr);
    const PlatBitmapInfo* info = static_cast<const PlatBitmapInfo*>(block);
    EXPECT_EQ(info->header.size, 40u);
    EXPECT_EQ(info->header.width, int32_t(image.width));
    EXPECT_EQ(info->header.height, -int32_t(image.height));
    EXPECT_EQ(info->header.bitCount, c.bitCount);
    EXPECT_EQ(info->header.compression, PLAT_BI_RGB);
    const uint32_t rowBytes = (image.width * c.bitCount / 8 + 3) & ~3u;
    for (uint32_t y = 0; y < image.height; y++) {
      for (uint32_t x = 0; x < image.width; x++) {
        const uint8_t* p = static_cast<const uint8_t*>(bits) + y * rowBytes + x * (c.bitCount / 8);
        const uint32_t rgb = c.bitCount == 8 ? info->colors[*p] & 0xFFFFFF
                                             : uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        EXPECT_EQ(rgb, ReadImagePixelARGB(&image, int32_t(x), int32_t(y)) & 0xFFFFFF) << x << "," << y;
      }
    }
    TrackedFree(bits);
    TrackedFree(block);
    FreeGraphImageCore(&image);
  }
}

TEST_F(ImageLoad, A24BitBmpWithoutItsCompanionLoadsAlone) {
  BmpFields bmp;
  bmp.width = 2;
  bmp.height = 2;
  bmp.data = BmpRows(24, {{0x010203, 0x040506}, {0x070809, 0x0A0B0C}}, false);
  const std::string path = Write("pict.bmp", WriteBmp(bmp));
  GraphImage image{}, alpha{};
  EXPECT_EQ(LoadImageFileData(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), 1);
  EXPECT_EQ(image.width, 2u);
  EXPECT_EQ(image.format.bitDepth, 24);
  EXPECT_EQ(ReadImagePixelARGB(&image, 0, 0) & 0xFFFFFF, 0x010203u);
  EXPECT_EQ(alpha.pixels, nullptr);
  FreeGraphImageCore(&image);
  // With its companion beside it, both load.
  Write("pict_a.bmp", WriteBmp(bmp));
  EXPECT_EQ(LoadImageFileData(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), 0);
  FreeGraphImageCore(&image);
  FreeGraphImageCore(&alpha);
}

}  // namespace
