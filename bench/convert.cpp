// The converting copy over a 640 x 480 screen: the fast paths, the general rule, and a
// whole-image upload into a software image with its run map and premultiplied copy.
#include "engine/pixel/convert.h"
#include "engine/softimage/imgconvert.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetupFormatFromMasksCore(&f, depth, r, g, b, a);
  return f;
}

void Copy(benchmark::State& state, ColorFormat dst, ColorFormat src, int dither) {
  std::vector<uint8_t> from(size_t(kWidth) * kHeight * src.bytesPerPixel);
  std::vector<uint8_t> to(size_t(kWidth) * kHeight * dst.bytesPerPixel);
  for (size_t i = 0; i < from.size(); i++) from[i] = uint8_t(i * 7);
  Rect r{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    ConvertBlitRect(to.data(), kWidth * dst.bytesPerPixel, &dst, from.data(),
                    kWidth * src.bytesPerPixel, &src, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0,
                    dither, 0, 0, 0, 0);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const ColorFormat kRgb565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat kX555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorFormat kXrgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat kArgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

void BM_Rgb565ToXrgbFast(benchmark::State& s) { Copy(s, kXrgb, kRgb565, 0); }
void BM_Rgb565ToArgbGeneral(benchmark::State& s) { Copy(s, kArgb, kRgb565, 0); }
void BM_XrgbToRgb565Ordered(benchmark::State& s) { Copy(s, kRgb565, kXrgb, 1); }
void BM_Rgb565ToX555(benchmark::State& s) {
  SetConvertBlitMmxUsable(int32_t(s.range(0)));
  Copy(s, kX555, kRgb565, 0);
  SetConvertBlitMmxUsable(0);
}

void BM_UploadWithRunMap(benchmark::State& state) {
  GraphImage src;
  CreateGraphImageARGB8(kWidth, kHeight, &src);
  uint32_t* p = static_cast<uint32_t*>(src.pixels);
  for (int i = 0; i < kWidth * kHeight; i++) p[i] = (i % 97 < 40 ? 0u : 0xFF000000u) | uint32_t(i);
  MEMIMG img{};
  CreateMemImg(&img, kWidth, kHeight, -1, 0, 1, 0, 1, 1, nullptr);
  for (auto _ : state) {
    GraphImageToMemImgRect(&src, nullptr, &img, 0, 0, kWidth, kHeight, 0, 0, 0);
    benchmark::DoNotOptimize(img.data->runMap);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  ReleaseMemImg(&img);
  FreeGraphImageCore(&src);
}

}  // namespace

BENCHMARK(BM_Rgb565ToXrgbFast);
BENCHMARK(BM_Rgb565ToArgbGeneral);
BENCHMARK(BM_XrgbToRgb565Ordered);
BENCHMARK(BM_Rgb565ToX555)->Arg(0)->Arg(1);
BENCHMARK(BM_UploadWithRunMap);
