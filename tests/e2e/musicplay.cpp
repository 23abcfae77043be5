// End to end: the engine on its SDL back ends with SDL's disk audio driver, which writes
// the mix as raw 16-bit stereo at 44100 Hz in real time. Through the public entry points
// the program plays a 2-second MIDI file of piano notes with no gap between them looping
// (PlayMusicFile type 3) for 5 seconds, then stops it. In the disk file the music sounds
// in every tenth of a second from its start to the stop, across both loop points, and is
// silent from 100 ms after the stop.
// Exit 0 passed, 1 failed, 77 where it cannot run (no engine start, no disk output).
#include "diskaudio.h"
#include "engine/sound/writer/soundwriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace diskaudio;

constexpr int kRate = 44100;
// Times after the play call's return (which loads the soundfont the first time).
constexpr int kSongMs = 2000, kStopMs = 5000, kEndMs = 6000, kToleranceMs = 100;
// Heard: above -56 dBFS; the notes' own quietest tenth of a second stays well above it.
constexpr int kHeard = 50;

// Notes of a quarter of a second each, one after the other, at one tick a millisecond.
std::string Song() {
  SmfTrack t;
  SmfTempo(&t, 0, 1000000);
  SmfProgram(&t, 0, 0, 0);
  const int keys[] = {60, 64, 67, 72, 67, 64, 62, 65};
  for (int i = 0; i < 8; i++) SmfNote(&t, uint32_t(i * 250), 250, 0, keys[i], 110);
  return SmfFile(0, 1000, {t});
}

int Peak(const std::vector<int16_t>& pcm, size_t from, size_t to) {
  int peak = 0;
  for (size_t i = from; i < to && 2 * i + 1 < pcm.size(); i++)
    peak = std::max({peak, std::abs(int(pcm[2 * i])), std::abs(int(pcm[2 * i + 1]))});
  return peak;
}


}  // namespace

int main() {
  const std::string dir = EnterNewDirectory("kr_musicplay");
  if (dir.empty()) return 77;
  const std::string raw = dir + "/mix.raw";
  if (!WriteBytes("song.mid", Song()) || StartEngine(raw) != 0) return 77;
  const uint32_t start = GetTickMs();
  if (PlayMusicFile("song.mid", 3) != 0) {
    std::printf("FAIL the music did not start\n");
    EngineEnd();
    return 1;
  }
  const uint32_t played = Now(start);
  PumpUntil(start, played + kStopMs);
  const int playing = IsMusicFilePlaying();
  const uint32_t stop = Now(start);
  StopMusicFile();
  PumpUntil(start, played + kEndMs);
  EngineEnd();

  const std::vector<int16_t> pcm = ReadAndRemove(raw, dir);
  if (pcm.size() < size_t(kRate) * 2) {
    std::printf("no disk output (%zu bytes): skipped\n", pcm.size() * 2);
    return 77;
  }
  Check(playing == 1, "playing just before the stop", playing, 1);
  size_t first = 0;
  while (2 * first + 1 < pcm.size() && std::abs(pcm[2 * first]) <= kHeard) first++;
  if (2 * first + 1 >= pcm.size()) {
    std::printf("FAIL the music never sounds\n");
    return 1;
  }
  // Times are taken in the file itself: SDL's disk driver writes a little slower than
  // the wall clock runs, so the wall clock's times drift against the file's.
  size_t last = pcm.size() / 2 - 1;
  while (last > first && pcm[2 * last] == 0 && pcm[2 * last + 1] == 0) last--;
  const auto ms = [](size_t frames) { return double(frames) * 1000 / kRate; };
  double quietAt = -1;
  for (size_t at = first; at + kRate / 10 <= last; at += kRate / 10)
    if (quietAt < 0 && Peak(pcm, at, at + kRate / 10) <= kHeard) quietAt = ms(at - first);
  Check(quietAt < 0, "a tenth of a second without the music before its end (at ms)", quietAt, -1);
  for (int loop = 1; first + size_t(loop) * kSongMs * kRate / 1000 + kRate / 20 < last; loop++) {
    const size_t at = first + size_t(loop) * kSongMs * kRate / 1000;
    Check(Peak(pcm, at - kRate / 20, at + kRate / 20) > kHeard, "music across the loop point (s)", loop * 2, loop * 2);
  }
  const double playedMs = double(stop - played);
  // The file falls further behind on a busy machine: a music cut short by a half would
  // still show, one going on past the stop as well.
  Check(ms(last - first) <= playedMs + kToleranceMs && ms(last - first) >= playedMs * 0.5,
        "music from its start to the silence (ms)", ms(last - first), playedMs);
  Check(ms(pcm.size() / 2 - last) >= 500, "silence after the music (ms)", ms(pcm.size() / 2 - last), 500);
  return failures ? 1 : 0;
}
