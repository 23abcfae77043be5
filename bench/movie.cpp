// The own movie decoder against SDL2 and libtheora's own decoding interface, 640 x 480:
//   - the conversion of a 4:2:0 picture (ConvertYuvPicture to XRGB8888) against
//     SDL_ConvertPixels from IYUV to ARGB8888 and to RGB565;
//   - decoding and converting a movie frame by frame (what the decoder thread does per
//     frame: the next packet through the old interface, its picture out, the conversion)
//     against th_decode_packetin, th_decode_ycbcr_out and SDL_ConvertPixels, with the
//     plane copy that SDL's one-buffer IYUV layout needs.
// The movie comes from the movie writer: 48 frames with a keyframe every 8, its cells
// changing with the frame number.
#include "ratio.h"

#include "engine/base/memory.h"
#include "engine/movie/decoder.h"
#include "platform/media/theora.h"
#include "tools/krmovie/moviewriter.h"

#include <SDL2/SDL.h>
#include <theora/theoradec.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;

struct Planes {
  std::vector<uint8_t> iyuv;  // Y, then U, then V, as SDL's IYUV
  uint8_t* y() { return iyuv.data(); }
  uint8_t* u() { return iyuv.data() + kW * kH; }
  uint8_t* v() { return u() + (kW / 2) * (kH / 2); }
};

Planes RandomPlanes() {
  Planes p;
  p.iyuv.resize(size_t(kW) * kH * 3 / 2);
  std::mt19937 random(7);
  for (uint8_t& b : p.iyuv) b = uint8_t(16 + random() % 220);
  return p;
}

void BM_Ours_ConvertYuv420ToXrgb8888(benchmark::State& state) {
  BuildYuvTables();
  Planes p = RandomPlanes();
  std::vector<uint8_t> out(size_t(kW) * kH * 4);
  for (auto _ : state) {
    ConvertYuvPicture(p.y(), kW, p.u(), p.v(), kW / 2, 1, 1, 0, 0, kW, kH, out.data(), kW * 4);
    benchmark::DoNotOptimize(out.data());
  }
  ReportPixels(state, double(kW) * kH);
}
BENCHMARK(BM_Ours_ConvertYuv420ToXrgb8888);

void SdlConvert(benchmark::State& state, uint32_t format, int bytes) {
  SDL_SetYUVConversionMode(SDL_YUV_CONVERSION_BT601);
  Planes p = RandomPlanes();
  std::vector<uint8_t> out(size_t(kW) * kH * size_t(bytes));
  for (auto _ : state) {
    if (SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_IYUV, p.iyuv.data(), kW, format, out.data(), kW * bytes) != 0) {
      state.SkipWithError(SDL_GetError());
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  ReportPixels(state, double(kW) * kH);
}
void BM_SDL_ConvertIyuvToArgb8888(benchmark::State& state) { SdlConvert(state, SDL_PIXELFORMAT_ARGB8888, 4); }
void BM_SDL_ConvertIyuvToRgb565(benchmark::State& state) { SdlConvert(state, SDL_PIXELFORMAT_RGB565, 2); }
BENCHMARK(BM_SDL_ConvertIyuvToArgb8888);
BENCHMARK(BM_SDL_ConvertIyuvToRgb565);

const std::string& Movie() {
  static const std::string bytes = [] {
    std::string out;
    WriteMovie(MovieWriterSpec{.width = kW, .height = kH, .frames = 48, .keyframeInterval = 8}, &out);
    return out;
  }();
  return bytes;
}

void BM_Ours_DecodeAndConvertFrames(benchmark::State& state) {
  BuildYuvTables();
  const std::string& movie = Movie();
  uint8_t* file = static_cast<uint8_t*>(TrackedAlloc(movie.size(), "", 0));
  std::memcpy(file, movie.data(), movie.size());
  MovieDecoder* d = CreateMovieDecoder(file, int64_t(movie.size()), nullptr, nullptr);
  if (!d) {
    state.SkipWithError("the decoder refused the movie");
    return;
  }
  PlatOggSource source{d->workBuffers[0], d->fileSize, 0};
  PlatTheoraRewind(&d->sync, &d->stream, &source, d->dataStart);
  for (auto _ : state) {
    ogg_packet packet;
    if (!PlatTheoraNextPacket(&d->sync, &d->stream, &source, &packet)) {
      PlatTheoraRewind(&d->sync, &d->stream, &source, d->dataStart);
      PlatTheoraNextPacket(&d->sync, &d->stream, &source, &packet);
    }
    theora_decode_packetin(&d->state, &packet);
    yuv_buffer yuv;
    theora_decode_YUVout(&d->state, &yuv);
    ConvertYuvPicture(yuv.y, yuv.y_stride, yuv.u, yuv.v, yuv.uv_stride, 1, 1, 0, 0, kW, kH, d->workBuffers[1],
                      int32_t(d->decodedImage.pitch));
    benchmark::DoNotOptimize(d->workBuffers[1]);
  }
  ReportPixels(state, double(kW) * kH);
  StopMovieDecoder(d);
}
BENCHMARK(BM_Ours_DecodeAndConvertFrames);

void BM_Theora_DecodeYcbcrOutAndSDL(benchmark::State& state) {
  SDL_SetYUVConversionMode(SDL_YUV_CONVERSION_BT601);
  const std::string& movie = Movie();
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_sync_init(&sync);
  ogg_stream_init(&stream, 0);
  PlatOggSource source{reinterpret_cast<const uint8_t*>(movie.data()), int64_t(movie.size()), 0};
  th_info info;
  th_comment comment;
  th_setup_info* setup = nullptr;
  th_info_init(&info);
  th_comment_init(&comment);
  int64_t dataStart = -1;
  ogg_page page;
  int64_t offset = 0;
  int headers = 0;
  while (headers < 3 && PlatOggNextPage(&sync, &source, &page, &offset)) {
    if (ogg_page_bos(&page)) ogg_stream_reset_serialno(&stream, ogg_page_serialno(&page));
    ogg_stream_pagein(&stream, &page);
    ogg_packet packet;
    while (headers < 3 && ogg_stream_packetout(&stream, &packet) == 1)
      if (th_decode_headerin(&info, &comment, &setup, &packet) > 0 && ++headers == 3) dataStart = offset;
  }
  th_dec_ctx* dec = headers == 3 ? th_decode_alloc(&info, setup) : nullptr;
  std::vector<uint8_t> iyuv(size_t(kW) * kH * 3 / 2), out(size_t(kW) * kH * 4);
  if (!dec) state.SkipWithError("libtheora refused the movie");
  for (auto _ : state) {
    ogg_packet packet;
    if (!PlatTheoraNextPacket(&sync, &stream, &source, &packet)) {
      PlatTheoraRewind(&sync, &stream, &source, dataStart);
      PlatTheoraNextPacket(&sync, &stream, &source, &packet);
    }
    th_decode_packetin(dec, &packet, nullptr);
    th_ycbcr_buffer buffer;
    th_decode_ycbcr_out(dec, buffer);
    uint8_t* to = iyuv.data();
    for (int plane = 0; plane < 3; plane++) {
      const int w = plane ? kW / 2 : kW, h = plane ? kH / 2 : kH;
      for (int row = 0; row < h; row++, to += w)
        std::memcpy(to, buffer[plane].data + int64_t(row) * buffer[plane].stride, size_t(w));
    }
    SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_IYUV, iyuv.data(), kW, SDL_PIXELFORMAT_ARGB8888, out.data(), kW * 4);
    benchmark::DoNotOptimize(out.data());
  }
  ReportPixels(state, double(kW) * kH);
  if (dec) th_decode_free(dec);
  th_setup_free(setup);
  th_comment_clear(&comment);
  th_info_clear(&info);
  ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
}
BENCHMARK(BM_Theora_DecodeYcbcrOutAndSDL);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_ConvertYuv420ToXrgb8888", "BM_SDL_ConvertIyuvToArgb8888"},
                        {"BM_Ours_ConvertYuv420ToXrgb8888", "BM_SDL_ConvertIyuvToRgb565"},
                        {"BM_Ours_DecodeAndConvertFrames", "BM_Theora_DecodeYcbcrOutAndSDL"}});
}
