// End to end: the engine on its SDL back ends with SDL's disk audio driver, which writes
// the mix as raw 16-bit stereo at 44100 Hz in real time. Through the public entry points
// the program loads a WAV effect (3 copies) and an Ogg Vorbis loop, plays the loop, the
// effect twice, and stops the loop; then it reads the disk file back: the loop's tone
// from its start, each effect at its time as the file's own clock runs (within 100 ms),
// and silence after the stop.
// Exit 0 passed, 1 failed, 77 where it cannot run (no engine start, no disk output).
#include "diskaudio.h"
#include "engine/sound/writer/soundwriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace diskaudio;

constexpr int kRate = 44100;
constexpr double kLoopHz = 440, kEffectHz = 1200;
constexpr int kLoopAmplitude = 5000, kEffectAmplitude = 14000;
// Above what the loop alone reaches, below what loop and effect together reach in 10 ms.
constexpr int kEffectThreshold = 11000;
// Times after the loop's start: the two effects and the stop, and the end of the run.
constexpr int kEffect1Ms = 400, kEffect2Ms = 800, kStopMs = 1300, kEndMs = 2300;
constexpr int kToleranceMs = 100;

std::string EffectWav() {
  std::vector<int16_t> s(size_t(kRate) / 5);  // 200 ms
  for (size_t i = 0; i < s.size(); i++)
    s[i] = int16_t(std::lround(kEffectAmplitude * std::sin(2 * M_PI * kEffectHz * double(i) / kRate)));
  return WavPcmFile(1, kRate, 16, WavSampleBytes(s.data(), s.size()));
}

// One second of the loop's tone (a whole number of cycles, so the loop has no seam).
std::string LoopOgg() {
  std::vector<float> s(size_t(kRate) * 2);
  for (size_t i = 0; i < size_t(kRate); i++)
    s[2 * i] = s[2 * i + 1] = float(kLoopAmplitude / 32768.0 * std::sin(2 * M_PI * kLoopHz * double(i) / kRate));
  std::string out;
  if (OggVorbisEncode(s.data(), size_t(kRate), 2, kRate, 0.6f, 1, 0, &out) != 0) return "";
  return out;
}

}  // namespace

int main() {
  const std::string dir = EnterNewDirectory("kr_soundplay");
  if (dir.empty()) return 77;
  const std::string raw = dir + "/mix.raw";
  const std::string ogg = LoopOgg();
  if (ogg.empty() || !WriteBytes("effect.wav", EffectWav()) || !WriteBytes("loop.ogg", ogg)) return 77;
  if (StartEngine(raw) != 0) return 77;
  const int32_t effect = LoadSoundFile("effect.wav", 3, -1);
  const int32_t loop = LoadSoundFile("loop.ogg", 1, -1);
  if (effect == -1 || loop == -1) {
    std::printf("FAIL the sounds did not load (%d, %d)\n", effect, loop);
    EngineEnd();
    return 1;
  }
  const uint32_t start = GetTickMs();
  PlaySoundHandle(loop, 3, 1);
  PumpUntil(start, kEffect1Ms);
  const uint32_t effect1 = Now(start);
  PlaySoundHandle(effect, 1, 1);
  PumpUntil(start, kEffect2Ms);
  const uint32_t effect2 = Now(start);
  PlaySoundHandle(effect, 1, 1);
  PumpUntil(start, kStopMs);
  const uint32_t stop = Now(start);
  StopSoundHandle(loop);
  PumpUntil(start, kEndMs);
  EngineEnd();

  const std::vector<int16_t> pcm = ReadAndRemove(raw, dir);
  if (pcm.size() < size_t(kRate) * 2) {
    std::printf("no disk output (%zu bytes): skipped\n", pcm.size() * 2);
    return 77;
  }
  const auto ms = [](long frames) { return double(frames) * 1000.0 / kRate; };
  const long loopStart = FirstAbove(pcm, 0, 1000);
  if (loopStart < 0) {
    std::printf("FAIL the loop never sounds\n");
    return 1;
  }
  const size_t at = size_t(loopStart);
  Check(std::fabs(CrossingsPerSecond(pcm, at, at + kRate * 35 / 100) - kLoopHz) < 10, "loop tone from its start (Hz)",
        CrossingsPerSecond(pcm, at, at + kRate * 35 / 100), kLoopHz);
  // The disk driver sleeps a whole period after writing each one, so its file falls
  // behind the clock by the time each write takes: more on a busy machine. The file's
  // own time of the stop (the loop's last loud sample) against the program's gives the
  // rate at which the file's time runs, and the effects are looked for where the file
  // puts those times.
  const long loopEnd = LastAbove(pcm, 1000);
  const double rate = stop > 0 ? ms(loopEnd - loopStart) / stop : 0;
  Check(rate > 0.5 && rate < 1.03, "the disk file's time per program time (%)", 100 * rate, 100);
  const long e1 = FirstAbove(pcm, at, kEffectThreshold);
  Check(e1 >= 0 && std::fabs(ms(e1 - loopStart) - effect1 * rate) <= kToleranceMs, "first effect (ms)",
        e1 < 0 ? -1 : ms(e1 - loopStart), effect1 * rate);
  const long e2 = e1 < 0 ? -1 : FirstAbove(pcm, size_t(e1) + kRate * 3 / 10, kEffectThreshold);
  Check(e2 >= 0 && std::fabs(ms(e2 - loopStart) - effect2 * rate) <= kToleranceMs, "second effect (ms)",
        e2 < 0 ? -1 : ms(e2 - loopStart), effect2 * rate);
  // Between the effects only the loop sounds.
  if (e1 >= 0)
    Check(std::fabs(CrossingsPerSecond(pcm, size_t(e1) + kRate / 4, size_t(e1) + kRate * 35 / 100) - kLoopHz) < 15,
          "loop tone between the effects (Hz)",
          CrossingsPerSecond(pcm, size_t(e1) + kRate / 4, size_t(e1) + kRate * 35 / 100), kLoopHz);
  const size_t quiet = at + size_t((stop * rate + kToleranceMs) * kRate / 1000);
  int loudest = 0;
  for (size_t i = quiet; 2 * i < pcm.size(); i++) loudest = std::max(loudest, std::abs(int(pcm[2 * i])));
  Check(2 * quiet < pcm.size() && loudest == 0, "loudest sample after the stop", loudest, 0);
  Check(2 * quiet < pcm.size(), "output after the stop (ms)", 2 * quiet < pcm.size() ? ms(long(pcm.size() / 2 - quiet)) : 0,
        (kEndMs - stop) * rate - kToleranceMs);
  return failures ? 1 : 0;
}
