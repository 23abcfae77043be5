// What the end-to-end sound programs share: a fresh working directory, the engine
// started windowed on its SDL back ends with SDL's disk audio driver (the mix written as
// raw 16-bit stereo at 44100 Hz in real time), the pump, reading the disk file back, the
// measures of a tone in it, and the checks' report.
#pragma once

#include "engine/engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace diskaudio {

// The disk file's frames per second.
inline constexpr int kDiskRate = 44100;

inline int failures = 0;

inline void Check(bool ok, const char* what, double got, double want) {
  std::printf("%s %s: %.1f (want %.1f)\n", ok ? "ok  " : "FAIL", what, got, want);
  if (!ok) failures++;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(f);
}

// Makes a directory of its own from the prefix and goes into it; its path, or "".
inline std::string EnterNewDirectory(const char* prefix) {
  std::string tmpl = std::string("/tmp/") + prefix + "_XXXXXX";
  if (!mkdtemp(tmpl.data()) || chdir(tmpl.c_str()) != 0) return "";
  return tmpl;
}

// The real back ends, whatever the test run chose for the unit tests, with no display
// (unless SDL_VIDEODRIVER names one) and the disk output into raw, windowed unless told;
// 0 when the engine started. The runtime directory is the program's own (the current
// one), so that another program of the engine running at the same time does not count as
// a second copy of this one.
inline int StartEngine(const std::string& raw, int32_t windowed = 1) {
  char here[4096];
  if (getcwd(here, sizeof here)) setenv("XDG_RUNTIME_DIR", here, 1);
  setenv("KR_PLATFORM", "sdl", 1);
  if (!getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  ChangeWindowMode(windowed);
  if (EngineInit() == 0) return 0;
  std::printf("the engine did not start: skipped\n");
  return -1;
}

inline uint32_t Now(uint32_t start) { return GetTickMs() - start; }

// Pumps until `ms` after start.
inline void PumpUntil(uint32_t start, uint32_t ms) {
  while (Now(start) < ms) {
    PumpMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The disk file's samples; the directory is removed.
inline std::vector<int16_t> ReadAndRemove(const std::string& raw, const std::string& dir) {
  std::ifstream f(raw, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  std::system(("rm -rf " + dir).c_str());
  return pcm;
}

// Upward crossings per second of the left channel in [from, to) frames.
inline double CrossingsPerSecond(const std::vector<int16_t>& pcm, size_t from, size_t to) {
  int crossings = 0;
  bool low = false;
  for (size_t i = from; i < to && 2 * i < pcm.size(); i++) {
    const int v = pcm[2 * i];
    if (v < -1000) low = true;
    if (low && v > 1000) {
      crossings++;
      low = false;
    }
  }
  return crossings * double(kDiskRate) / double(to - from);
}

// The first frame at or after `from` whose left sample's size passes `level`, or -1.
inline long FirstAbove(const std::vector<int16_t>& pcm, size_t from, int level) {
  for (size_t i = from; 2 * i < pcm.size(); i++)
    if (std::abs(pcm[2 * i]) > level) return long(i);
  return -1;
}

// The last frame whose left sample's size passes `level`, or -1.
inline long LastAbove(const std::vector<int16_t>& pcm, int level) {
  for (size_t i = pcm.size() / 2; i-- > 0;)
    if (std::abs(pcm[2 * i]) > level) return long(i);
  return -1;
}

}  // namespace diskaudio
