// What the movie targets share: their seeds, six movies from the movie writer (4:2:0,
// 4:2:2 and 4:4:4, a picture offset, one with a tone, one of a single frame) written into
// an empty corpus directory, and the engine's start, once, headless and windowed on the
// manual clock.
#pragma once

#include "engine/base/log.h"
#include "engine/engine.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"
#include "tools/krmovie/moviewriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline void WriteMovieSeeds(const std::string& corpus) {
  std::error_code ec;
  if (!std::filesystem::is_directory(corpus, ec) || !std::filesystem::is_empty(corpus, ec)) return;
  auto spec = [](int32_t w, int32_t h, int32_t x, int32_t y, int32_t frames, int32_t chroma, int32_t tone) {
    return MovieWriterSpec{.width = w, .height = h, .offsetX = x, .offsetY = y, .frames = frames,
                           .keyframeInterval = 4, .chroma = chroma, .toneHz = tone};
  };
  const MovieWriterSpec seeds[] = {
      spec(32, 32, 0, 0, 6, 420, 0), spec(30, 18, 3, 5, 9, 420, 0), spec(24, 16, 1, 1, 5, 422, 0),
      spec(16, 16, 7, 2, 5, 444, 0), spec(32, 16, 0, 0, 3, 420, 440), spec(16, 16, 0, 0, 1, 420, 0),
  };
  int n = 0;
  for (const MovieWriterSpec& s : seeds) {
    std::string bytes;
    if (WriteMovie(s, &bytes) != 0) abort();
    const std::string path = corpus + "/seed" + std::to_string(n++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
    std::fclose(f);
  }
}

// Writes the seeds into the corpus directories among the arguments, starts the engine and
// gives the path each input is written to (in a fresh directory named after prefix).
inline std::string StartMovieFuzzing(int* argc, char*** argv, const char* prefix) {
  for (int i = 1; i < *argc; i++)
    if ((*argv)[i][0] != '-') WriteMovieSeeds((*argv)[i]);
  std::string tmpl = std::string("/tmp/") + prefix + "_XXXXXX";
  if (!mkdtemp(tmpl.data())) abort();
  setenv("KR_PLATFORM", "headless", 1);
  PlatClockSetManual(1, 1000);
  SetLogOff(1);
  ChangeWindowMode(1);
  if (EngineInitCore() != 0) abort();
  return tmpl + "/movie.ogg";
}
