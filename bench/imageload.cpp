// Loading pictures from memory through the engine's dispatch against the libraries' own
// plainest use of the same bytes: libpng's simplified reader into BGR or BGRA, and libjpeg
// reading every scan line into one buffer. The files (1024 x 768: an RGB PNG, an RGBA PNG
// and a quality-90 JPEG) are made at the start of the run.
//
// BMP files (1024 x 768, bottom-up as writers store them, 24 bits and 8 bits with a full
// table) go through the same dispatch against SDL2's own BMP reader over the same bytes in
// memory (SDL_LoadBMP_RW over SDL_RWFromConstMem), which makes a surface of the file's
// layout as the loader makes a picture.
//
// Raw BGRA, TGA and DDS have no library here to compare with; their loaders are timed by
// themselves over a memory stream (the dispatch would first have libjpeg and libpng print
// their refusals) against memcpy of the picture's bytes, the floor of any loader that
// hands over a buffer of its own. DXT1 and DXT5 are also timed against what a program
// would write for itself: a plain block decoder over the file in memory, four colours and
// (DXT5) eight alphas a block, then each pixel looked up and stored.
#include "engine/graphics/imageload.h"
#include "ratio.h"
#include "tests/support/imagefiles.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kWidth = 1024, kHeight = 768;

// A photograph-like picture: smooth gradients with some texture, so that both formats
// compress it the way they compress real pictures.
Bytes PicturePng(int colorType) {
  const int channels = PngChannels(colorType);
  const Bytes pixels = PatternPixels(kWidth, kHeight, channels);
  PngFields shape;
  shape.width = kWidth;
  shape.height = kHeight;
  shape.colorType = colorType;
  shape.samples.assign(pixels.begin(), pixels.end());
  return WritePng(shape);
}

const Bytes& RgbPng() {
  static const Bytes b = PicturePng(PNG_COLOR_TYPE_RGB);
  return b;
}
const Bytes& RgbaPng() {
  static const Bytes b = PicturePng(PNG_COLOR_TYPE_RGB_ALPHA);
  return b;
}
const Bytes& Jpeg() {
  static const Bytes b = PatternJpeg(kWidth, kHeight, 3, 90);
  return b;
}

// The pattern's bytes as BMP rows, bottom row first: 24-bit colours, or 8-bit indexes into
// a table of 256 colours.
Bytes PatternBmp(int bits) {
  const Bytes pixels = PatternPixels(kWidth, kHeight, 3);
  std::vector<std::vector<uint32_t>> rows(kHeight);
  for (uint32_t y = 0; y < kHeight; y++)
    for (uint32_t x = 0; x < kWidth; x++) {
      const uint8_t* p = &pixels[(size_t(y) * kWidth + x) * 3];
      const uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
      rows[y].push_back(bits == 24 ? rgb : (p[0] ^ p[2]));
    }
  BmpFields s;
  s.width = kWidth;
  s.height = kHeight;
  s.bitCount = uint16_t(bits);
  if (bits == 8)
    for (uint32_t i = 0; i < 256; i++) s.colors.push_back(uint32_t(PatternSample(i, 24)));
  s.data = BmpRows(bits, rows, false);
  return WriteBmp(s);
}
const Bytes& Bmp24() {
  static const Bytes b = PatternBmp(24);
  return b;
}
const Bytes& Bmp8() {
  static const Bytes b = PatternBmp(8);
  return b;
}

void LoadWithSdl(benchmark::State& state, const Bytes& file) {
  for (auto _ : state) {
    SDL_Surface* surface = SDL_LoadBMP_RW(SDL_RWFromConstMem(file.data(), int(file.size())), 1);
    if (!surface) {
      state.SkipWithError(SDL_GetError());
      break;
    }
    benchmark::DoNotOptimize(surface->pixels);
    SDL_FreeSurface(surface);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

void LoadThroughEngine(benchmark::State& state, const Bytes& file) {
  for (auto _ : state) {
    GraphImage image;
    if (LoadImageData(nullptr, file.data(), uint32_t(file.size()), 1, 0, 0, &image, nullptr,
                      nullptr) != 0) {
      state.SkipWithError("LoadImageData refused the file");
      break;
    }
    benchmark::DoNotOptimize(image.pixels);
    FreeGraphImageCore(&image);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

void LoadWithLibpng(benchmark::State& state, const Bytes& file, uint32_t format) {
  Bytes out(size_t(kWidth) * kHeight * 4);
  for (auto _ : state) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
      state.SkipWithError(image.message);
      break;
    }
    image.format = format;
    if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) {
      state.SkipWithError(image.message);
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

void LoadWithLibjpeg(benchmark::State& state, const Bytes& file) {
  DirectJpeg out;
  for (auto _ : state) {
    DecodeJpegDirect(file, &out);
    benchmark::DoNotOptimize(out.pixels.data());
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

// The BGRA pattern as files: raw BGRA, a bottom-up 32-bit TGA (as most TGA files are
// stored, so the loader turns the rows over), and DXT1 and DXT5 blocks of varied colours
// and alphas.
const Bytes& PatternBgra() {
  static const Bytes b = PatternPixels(kWidth, kHeight, 4);
  return b;
}
const Bytes& RawBgraFile() {
  static const Bytes b = WriteRawBgra(RAW_BGRA_8, kWidth, kHeight, PatternBgra());
  return b;
}
const Bytes& TgaFile() {
  static const Bytes b = [] {
    TgaFields s;
    s.width = kWidth;
    s.height = kHeight;
    s.pixelDepth = 32;
    s.descriptor = 0x08;  // bottom row first, 8 attribute bits
    s.data = PatternBgra();
    return WriteTga(s);
  }();
  return b;
}
Bytes DxtFile(const char* fourCC) {
  DdsFields s;
  s.width = kWidth;
  s.height = kHeight;
  s.pixelFlags = 0x4;
  s.fourCC = FourCC(fourCC);
  const size_t bytes = size_t(kWidth / 4) * (kHeight / 4) * (fourCC[3] == '1' ? 8 : 16);
  for (size_t i = 0; i < bytes; i++) s.data.push_back(uint8_t(PatternSample(i, 8)));
  return WriteDds(s);
}
const Bytes& Dxt1File() {
  static const Bytes b = DxtFile("DXT1");
  return b;
}
const Bytes& Dxt5File() {
  static const Bytes b = DxtFile("DXT5");
  return b;
}

void LoadWithLoader(benchmark::State& state, ImageLoader loader, const Bytes& file) {
  for (auto _ : state) {
    MemStream* memory = MemStreamOpen(file.data(), uint32_t(file.size()));
    StreamRow row{*GetMemStreamFunctions(), StreamHandle(memory)};
    GraphImage image{};
    const int result = loader(&row, &image);
    MemStreamClose(memory);
    if (result != 0) {
      state.SkipWithError("the loader refused the file");
      break;
    }
    benchmark::DoNotOptimize(image.pixels);
    FreeGraphImageCore(&image);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

// The plain block decoder: the same colours and alphas as the loader's rules, into a block
// allocated for each picture.
struct PlainColor {
  uint8_t blue, green, red, alpha;
};
PlainColor PlainExpand565(uint32_t c) {
  return {uint8_t((c & 0x1F) * 255 / 31), uint8_t((c >> 5 & 0x3F) * 255 / 63), uint8_t((c >> 11) * 255 / 31), 255};
}
void PlainDecode(benchmark::State& state, const Bytes& file, bool dxt5) {
  constexpr size_t kHeader = 128;
  const size_t blockBytes = dxt5 ? 16 : 8;
  for (auto _ : state) {
    uint8_t* out = static_cast<uint8_t*>(std::malloc(size_t(kWidth) * kHeight * 4));
    const uint8_t* block = file.data() + kHeader;
    for (uint32_t by = 0; by < kHeight / 4; by++)
      for (uint32_t bx = 0; bx < kWidth / 4; bx++, block += blockBytes) {
        uint8_t alphas[8] = {255, 255, 255, 255, 255, 255, 255, 255};
        uint64_t alphaBits = 0;
        if (dxt5) {
          const int a0 = block[0], a1 = block[1];
          alphas[0] = uint8_t(a0);
          alphas[1] = uint8_t(a1);
          if (a0 > a1) {
            for (int i = 1; i <= 6; i++) alphas[i + 1] = uint8_t(((7 - i) * a0 + i * a1) / 7);
          } else {
            for (int i = 1; i <= 4; i++) alphas[i + 1] = uint8_t(((5 - i) * a0 + i * a1) / 5);
            alphas[6] = 0;
            alphas[7] = 255;
          }
          for (int i = 0; i < 6; i++) alphaBits |= uint64_t(block[2 + i]) << (8 * i);
        }
        const uint8_t* c = dxt5 ? block + 8 : block;
        const uint32_t c0 = uint32_t(c[0] | c[1] << 8), c1 = uint32_t(c[2] | c[3] << 8);
        PlainColor colors[4] = {PlainExpand565(c0), PlainExpand565(c1)};
        const PlainColor a = colors[0], b = colors[1];
        if (!dxt5 && c0 <= c1) {
          colors[2] = {uint8_t((a.blue + b.blue) / 2), uint8_t((a.green + b.green) / 2), uint8_t((a.red + b.red) / 2), 255};
          colors[3] = {colors[2].blue, colors[2].green, colors[2].red, 0};
        } else {
          colors[2] = {uint8_t((2 * a.blue + b.blue) / 3), uint8_t((2 * a.green + b.green) / 3),
                       uint8_t((2 * a.red + b.red) / 3), 255};
          colors[3] = {uint8_t((a.blue + 2 * b.blue) / 3), uint8_t((a.green + 2 * b.green) / 3),
                       uint8_t((a.red + 2 * b.red) / 3), 255};
        }
        const uint32_t indexes = uint32_t(c[4] | c[5] << 8 | c[6] << 16 | uint32_t(c[7]) << 24);
        for (uint32_t i = 0; i < 16; i++) {
          PlainColor p = colors[indexes >> (2 * i) & 3];
          if (dxt5) p.alpha = alphas[alphaBits >> (3 * i) & 7];
          std::memcpy(out + (size_t(by * 4 + i / 4) * kWidth + bx * 4 + i % 4) * 4, &p, 4);
        }
      }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
    std::free(out);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

// The floor: the picture's bytes copied into a block allocated for each copy, as a loader
// allocates its picture.
void CopyPixels(benchmark::State& state) {
  const Bytes& from = PatternBgra();
  for (auto _ : state) {
    void* to = std::malloc(from.size());
    std::memcpy(to, from.data(), from.size());
    benchmark::DoNotOptimize(to);
    benchmark::ClobberMemory();
    std::free(to);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

void BM_DecodeRawBgraImage(benchmark::State& s) {
  LoadWithLoader(s, DecodeRawBgraImage, RawBgraFile());
}
void BM_DecodeTgaImage(benchmark::State& s) { LoadWithLoader(s, DecodeTgaImage, TgaFile()); }
void BM_DecodeDdsImage_Dxt1(benchmark::State& s) { LoadWithLoader(s, DecodeDdsImage, Dxt1File()); }
void BM_DecodeDdsImage_Dxt5(benchmark::State& s) { LoadWithLoader(s, DecodeDdsImage, Dxt5File()); }
void BM_Memcpy_Bgra(benchmark::State& s) { CopyPixels(s); }
void BM_PlainBlockDecoder_Dxt1(benchmark::State& s) { PlainDecode(s, Dxt1File(), false); }
void BM_PlainBlockDecoder_Dxt5(benchmark::State& s) { PlainDecode(s, Dxt5File(), true); }

void BM_LoadImageData_Bmp24(benchmark::State& s) { LoadThroughEngine(s, Bmp24()); }
void BM_SDL_LoadBMP_Bmp24(benchmark::State& s) { LoadWithSdl(s, Bmp24()); }
void BM_LoadImageData_Bmp8(benchmark::State& s) { LoadThroughEngine(s, Bmp8()); }
void BM_SDL_LoadBMP_Bmp8(benchmark::State& s) { LoadWithSdl(s, Bmp8()); }
void BM_LoadImageData_PngRgb(benchmark::State& s) { LoadThroughEngine(s, RgbPng()); }
void BM_Libpng_PngRgb(benchmark::State& s) { LoadWithLibpng(s, RgbPng(), PNG_FORMAT_BGR); }
void BM_LoadImageData_PngRgba(benchmark::State& s) { LoadThroughEngine(s, RgbaPng()); }
void BM_Libpng_PngRgba(benchmark::State& s) { LoadWithLibpng(s, RgbaPng(), PNG_FORMAT_BGRA); }
void BM_LoadImageData_Jpeg(benchmark::State& s) { LoadThroughEngine(s, Jpeg()); }
void BM_Libjpeg_Jpeg(benchmark::State& s) { LoadWithLibjpeg(s, Jpeg()); }

BENCHMARK(BM_LoadImageData_Bmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_LoadBMP_Bmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_Bmp8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_LoadBMP_Bmp8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRawBgraImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsImage_Dxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsImage_Dxt5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_Bgra)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainBlockDecoder_Dxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainBlockDecoder_Dxt5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The files are made before the clock starts.
  Bmp24();
  Bmp8();
  RgbPng();
  RgbaPng();
  Jpeg();
  RawBgraFile();
  TgaFile();
  Dxt1File();
  Dxt5File();
  return RunWithRatios(argc, argv,
                       {{"BM_LoadImageData_Bmp24", "BM_SDL_LoadBMP_Bmp24"},
                        {"BM_LoadImageData_Bmp8", "BM_SDL_LoadBMP_Bmp8"},
                        {"BM_LoadImageData_PngRgb", "BM_Libpng_PngRgb"},
                        {"BM_LoadImageData_PngRgba", "BM_Libpng_PngRgba"},
                        {"BM_LoadImageData_Jpeg", "BM_Libjpeg_Jpeg"},
                        {"BM_DecodeRawBgraImage", "BM_Memcpy_Bgra"},
                        {"BM_DecodeTgaImage", "BM_Memcpy_Bgra"},
                        {"BM_DecodeDdsImage_Dxt1", "BM_Memcpy_Bgra"},
                        {"BM_DecodeDdsImage_Dxt5", "BM_Memcpy_Bgra"},
                        {"BM_DecodeDdsImage_Dxt1", "BM_PlainBlockDecoder_Dxt1"},
                        {"BM_DecodeDdsImage_Dxt5", "BM_PlainBlockDecoder_Dxt5"}},
                       "MPix/s", "library or floor");
}
