// Loading pictures from memory through the engine's dispatch against the libraries' own
// plainest use of the same bytes: libpng's simplified reader into BGR or BGRA, and libjpeg
// reading every scan line into one buffer. The files (1024 x 768: an RGB PNG, an RGBA PNG
// and a quality-90 JPEG) are made at the start of the run.
#include "engine/graphics/imageload.h"
#include "ratio.h"
#include "tests/support/imagefiles.h"

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kWidth = 1024, kHeight = 768;

// A photograph-like picture: smooth gradients with some texture, so that both formats
// compress it the way they compress real pictures.
Bytes PicturePng(int colorType) {
  const int channels = PngChannels(colorType);
  const Bytes pixels = PatternPixels(kWidth, kHeight, channels);
  PngSpec spec;
  spec.width = kWidth;
  spec.height = kHeight;
  spec.colorType = colorType;
  spec.samples.assign(pixels.begin(), pixels.end());
  return WritePng(spec);
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

void BM_LoadImageData_PngRgb(benchmark::State& s) { LoadThroughEngine(s, RgbPng()); }
void BM_Libpng_PngRgb(benchmark::State& s) { LoadWithLibpng(s, RgbPng(), PNG_FORMAT_BGR); }
void BM_LoadImageData_PngRgba(benchmark::State& s) { LoadThroughEngine(s, RgbaPng()); }
void BM_Libpng_PngRgba(benchmark::State& s) { LoadWithLibpng(s, RgbaPng(), PNG_FORMAT_BGRA); }
void BM_LoadImageData_Jpeg(benchmark::State& s) { LoadThroughEngine(s, Jpeg()); }
void BM_Libjpeg_Jpeg(benchmark::State& s) { LoadWithLibjpeg(s, Jpeg()); }

BENCHMARK(BM_LoadImageData_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadImageData_Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Jpeg)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The files are made before the clock starts.
  RgbPng();
  RgbaPng();
  Jpeg();
  return RunWithRatios(argc, argv,
                       {{"BM_LoadImageData_PngRgb", "BM_Libpng_PngRgb"},
                        {"BM_LoadImageData_PngRgba", "BM_Libpng_PngRgba"},
                        {"BM_LoadImageData_Jpeg", "BM_Libjpeg_Jpeg"}},
                       "MPix/s", "library");
}
