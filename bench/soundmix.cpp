// One second of mixed output, ours against SDL2 doing the same work: 32 playing 16-bit
// stereo buffers summed (SDL_MixAudioFormat per source), and 8 mono 8-bit 22050 Hz
// buffers stepped to 44100 Hz stereo and summed (an SDL_AudioStream conversion per
// source, then SDL_MixAudioFormat). Each case reports output frames per second.
#include "bench/ratio.h"
#include "platform/audio/audio.h"

#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 44100;

// A tone of the format, one second long, its phase set by `seed`.
std::vector<unsigned char> Tone(int channels, int rate, int bits, int seed) {
  std::vector<unsigned char> out;
  for (int i = 0; i < rate; i++) {
    const double v = std::sin(2 * M_PI * (220.0 + 10 * seed) * i / rate + seed);
    for (int c = 0; c < channels; c++) {
      if (bits == 8) {
        out.push_back(uint8_t(128 + std::lround(60 * v)));
      } else {
        const int16_t s = int16_t(std::lround(3000 * v));
        out.push_back(uint8_t(s));
        out.push_back(uint8_t(uint16_t(s) >> 8));
      }
    }
  }
  return out;
}

void ReportFrames(benchmark::State& state) {
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()) * kRate, benchmark::Counter::kIsRate);
}

// Ours: a manual device with the buffers looping, pulled for one second.
void Ours(benchmark::State& state, int count, int channels, int rate, int bits) {
  if (PlatAudioSelectBackend("manual") != 0) std::abort();
  PlatAudioDevice* device = nullptr;
  if (PlatAudioCreate(&device) != PLAT_DS_OK || PlatAudioInitialize(device, nullptr) != PLAT_DS_OK) std::abort();
  const uint16_t align = uint16_t(channels * bits / 8);
  const PlatWaveFormat format = {PLAT_WAVE_FORMAT_PCM, uint16_t(channels), uint32_t(rate), uint32_t(rate) * align,
                                 align, uint16_t(bits), 0};
  std::vector<PlatAudioBuffer*> buffers;
  for (int i = 0; i < count; i++) {
    const std::vector<unsigned char> pcm = Tone(channels, rate, bits, i);
    const PlatAudioBufferDesc desc = {0, uint32_t(pcm.size()), &format};
    PlatAudioBuffer* b = nullptr;
    if (PlatAudioCreateBuffer(device, &desc, &b) != PLAT_DS_OK) std::abort();
    void *p1, *p2;
    uint32_t n1, n2;
    PlatAudioBufferLock(b, 0, uint32_t(pcm.size()), &p1, &n1, &p2, &n2);
    std::memcpy(p1, pcm.data(), n1);
    PlatAudioBufferUnlock(b, p1, n1, p2, n2);
    PlatAudioBufferPlay(b, PLAT_DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(size_t(kRate) * 2);
  for (auto _ : state) {
    PlatAudioManualPull(kRate, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  ReportFrames(state);
  for (PlatAudioBuffer* b : buffers) PlatAudioBufferRelease(b);
  PlatAudioRelease(device);
}

void BM_Ours_Mix32Stereo16(benchmark::State& state) { Ours(state, 32, 2, kRate, 16); }
void BM_Ours_Mix8Mono8At22050(benchmark::State& state) { Ours(state, 8, 1, 22050, 8); }

void BM_SDL_MixAudioFormat32Stereo16(benchmark::State& state) {
  std::vector<std::vector<unsigned char>> sources;
  for (int i = 0; i < 32; i++) sources.push_back(Tone(2, kRate, 16, i));
  std::vector<Uint8> out(size_t(kRate) * 4);
  for (auto _ : state) {
    std::memset(out.data(), 0, out.size());
    for (const auto& s : sources)
      SDL_MixAudioFormat(out.data(), s.data(), AUDIO_S16LSB, Uint32(out.size()), SDL_MIX_MAXVOLUME);
    benchmark::DoNotOptimize(out.data());
  }
  ReportFrames(state);
}

void BM_SDL_StreamAndMix8Mono8At22050(benchmark::State& state) {
  std::vector<std::vector<unsigned char>> sources;
  std::vector<SDL_AudioStream*> streams;
  for (int i = 0; i < 8; i++) {
    sources.push_back(Tone(1, 22050, 8, i));
    SDL_AudioStream* s = SDL_NewAudioStream(AUDIO_U8, 1, 22050, AUDIO_S16LSB, 2, kRate);
    if (!s) std::abort();
    streams.push_back(s);
  }
  std::vector<Uint8> out(size_t(kRate) * 4), converted(out.size());
  for (auto _ : state) {
    std::memset(out.data(), 0, out.size());
    for (int i = 0; i < 8; i++) {
      SDL_AudioStreamPut(streams[i], sources[i].data(), int(sources[i].size()));
      SDL_AudioStreamFlush(streams[i]);
      const int got = SDL_AudioStreamGet(streams[i], converted.data(), int(converted.size()));
      SDL_AudioStreamClear(streams[i]);
      SDL_MixAudioFormat(out.data(), converted.data(), AUDIO_S16LSB, Uint32(got > 0 ? got : 0), SDL_MIX_MAXVOLUME);
    }
    benchmark::DoNotOptimize(out.data());
  }
  ReportFrames(state);
  for (SDL_AudioStream* s : streams) SDL_FreeAudioStream(s);
}

BENCHMARK(BM_Ours_Mix32Stereo16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_MixAudioFormat32Stereo16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Mix8Mono8At22050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_StreamAndMix8Mono8At22050)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_Mix32Stereo16", "BM_SDL_MixAudioFormat32Stereo16"},
                        {"BM_Ours_Mix8Mono8At22050", "BM_SDL_StreamAndMix8Mono8At22050"}},
                       "frames/s", "SDL2");
}
