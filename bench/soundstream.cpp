// One pump's refill of four playing stream sounds, each looping an Ogg Vorbis source
// kept in memory and decoded while it plays. Between calls the manual output moves on by
// one game frame (17 ms), so each call decodes what a frame of play used up. Ours only:
// no library does this work.
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/sound/writer/soundwriter.h"
#include "platform/audio/audio.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kFrameFrames = kRate * 17 / 1000;

std::string ToneOgg(double hz) {
  std::vector<float> s(size_t(kRate) * 2 * 10);  // 10 s of stereo
  for (size_t i = 0; i < s.size() / 2; i++)
    s[2 * i] = s[2 * i + 1] = float(0.2 * std::sin(2 * M_PI * hz * double(i) / kRate));
  std::string out;
  if (OggVorbisEncode(s.data(), s.size() / 2, 2, kRate, 0.4f, 1, 0, &out) != 0) std::abort();
  return out;
}

void BM_Ours_RefillFourOggStreams(benchmark::State& state) {
  if (PlatAudioSelectBackend("manual") != 0 || InitSoundSystem() != 0) std::abort();
  FillStreamFunctionRows();
  std::vector<int32_t> sounds;
  for (int i = 0; i < 4; i++) {
    const std::string ogg = ToneOgg(220.0 + 110 * i);
    const int32_t s = AddSoundData(-1);
    if (AddStreamSourceMem(ogg.data(), int32_t(ogg.size()), 0, s, STREAM_DATA_MEMORY, -1) != 0) std::abort();
    if (PlayStreamSoundHandle(s, SOUND_PLAY_LOOP, 1) != 0) std::abort();
    sounds.push_back(s);
  }
  std::vector<int16_t> out(size_t(kFrameFrames) * 2);
  // Into the steady state: the rings' first fill is behind.
  for (int i = 0; i < 200; i++) {
    PlatAudioManualPull(kFrameFrames, out.data());
    RefillAllStreamSounds();
  }
  for (auto _ : state) {
    state.PauseTiming();
    PlatAudioManualPull(kFrameFrames, out.data());
    state.ResumeTiming();
    RefillAllStreamSounds();
  }
  state.counters["calls/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  for (int32_t s : sounds) DeleteSoundHandle(s);
  EndSoundSystem();
}

BENCHMARK(BM_Ours_RefillFourOggStreams)->Unit(benchmark::kMicrosecond);

}  // namespace
