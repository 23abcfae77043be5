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
// hands over a buffer of its own.
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
                        {"BM_DecodeDdsImage_Dxt5", "BM_Memcpy_Bgra"}},
                       "MPix/s", "library or floor");
}
