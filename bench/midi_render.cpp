// Sixty seconds of a four-part MIDI song rendered to 44100 Hz 16-bit stereo: our reader
// and sequencer driving the synthesizer as a source of our mixer (the sequencer device on
// the manual output, pulled in SDL's 1024-frame periods), against the synthesizer's own
// file player (fluid_player) driving a synthesizer of the same settings, whose float
// output is converted to 16 bits the same way. Each case reports output frames per second.
#include "bench/ratio.h"
#include "engine/sound/writer/soundwriter.h"
#include "platform/audio/audio.h"
#include "platform/audio/midi.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 44100, kSeconds = 60, kPeriod = 1024;
constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Melody, bass, chords and drums at 120 quarters a minute (480 ticks a quarter).
std::string Song() {
  SmfTrack tempo, melody, bass, chords, drums;
  SmfTempo(&tempo, 0, 500000);
  SmfProgram(&melody, 0, 0, 73);
  SmfProgram(&bass, 0, 1, 33);
  SmfProgram(&chords, 0, 2, 0);
  const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12};
  const uint32_t quarters = kSeconds * 2;
  for (uint32_t q = 0; q < quarters; q++) {
    const uint32_t t = q * 480;
    SmfNote(&melody, t, 220, 0, 72 + scale[q % 8], 90);
    SmfNote(&melody, t + 240, 220, 0, 72 + scale[(q * 3) % 8], 80);
    SmfNote(&bass, t, 440, 1, 36 + scale[(q / 4) % 8], 100);
    if (q % 2 == 0)
      for (int k : {0, 4, 7}) SmfNote(&chords, t, 900, 2, 60 + scale[(q / 2) % 8] + k, 60);
    SmfNote(&drums, t, 100, 9, q % 2 ? 38 : 36, 110);
    SmfNote(&drums, t + 240, 60, 9, 42, 70);
  }
  return SmfFile(1, 480, {tempo, melody, bass, chords, drums});
}

const std::string& SongBytes() {
  static const std::string song = Song();
  return song;
}

void ReportFrames(benchmark::State& state) {
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()) * kRate * kSeconds, benchmark::Counter::kIsRate);
}

void BM_Ours_Sequencer60s(benchmark::State& state) {
  char dir[] = "/tmp/kr_bench_midi_XXXXXX";
  if (!mkdtemp(dir)) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = std::string(dir) + "/song.mid";
  std::ofstream(path, std::ios::binary) << SongBytes();
  PlatAudioSelectBackend("manual");
  PlatAudioDevice* device = nullptr;
  uint32_t id = 0;
  if (PlatAudioCreate(&device) != PLAT_DS_OK || PlatAudioInitialize(device, nullptr) != PLAT_DS_OK ||
      PlatMciOpenSequencer(path.c_str(), &id) != PLAT_MCI_OK) {
    state.SkipWithError("the sequencer did not open");
    PlatAudioRelease(device);
    return;
  }
  std::vector<int16_t> out(size_t(kPeriod) * 2);
  long long heard = 0;
  for (auto _ : state) {
    PlatMciPlay(id, 0, 1, 0);
    for (int done = 0; done < kRate * kSeconds; done += kPeriod) {
      PlatAudioManualPull(uint32_t(std::min(kPeriod, kRate * kSeconds - done)), out.data());
      heard += out[0];
    }
  }
  benchmark::DoNotOptimize(heard);
  ReportFrames(state);
  PlatMciClose(id);
  PlatAudioRelease(device);
  std::remove(path.c_str());
  rmdir(dir);
}

void QuietLog(int, const char*, void*) {}

void BM_FluidPlayer60s(benchmark::State& state) {
  for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, QuietLog, nullptr);
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (fluid_synth_sfload(synth, kSoundFont, 1) == FLUID_FAILED) {
    state.SkipWithError("no soundfont");
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return;
  }
  std::vector<float> left(kPeriod), right(kPeriod);
  std::vector<int16_t> out(size_t(kPeriod) * 2);
  long long heard = 0;
  for (auto _ : state) {
    fluid_synth_all_sounds_off(synth, -1);
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, SongBytes().data(), SongBytes().size());
    fluid_player_play(player);
    for (int done = 0; done < kRate * kSeconds; done += kPeriod) {
      const int n = std::min(kPeriod, kRate * kSeconds - done);
      fluid_synth_write_float(synth, n, left.data(), 0, 1, right.data(), 0, 1);
      for (int i = 0; i < n; i++) {
        out[2 * i] = int16_t(std::clamp(std::lrint(left[i] * 32768.0f), -32768L, 32767L));
        out[2 * i + 1] = int16_t(std::clamp(std::lrint(right[i] * 32768.0f), -32768L, 32767L));
      }
      heard += out[0];
    }
    fluid_player_stop(player);
    delete_fluid_player(player);
  }
  benchmark::DoNotOptimize(heard);
  ReportFrames(state);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
}

BENCHMARK(BM_Ours_Sequencer60s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FluidPlayer60s)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv, {{"BM_Ours_Sequencer60s", "BM_FluidPlayer60s"}}, "frames/s", "fluid_player");
}
