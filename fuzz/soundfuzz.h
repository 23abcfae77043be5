// What the sound fuzz targets share: seeds made by the sound fixtures' helper (written
// into an empty corpus directory on the first run), and a converter run over the input
// that checks every block and codec stream is given back.
#pragma once

#include "engine/file/file.h"
#include "engine/base/memory.h"
#include "engine/sound/converter.h"
#include "platform/audio/codecfake.h"
#include "tests/sound/soundfiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace soundfuzz {

inline void WriteSeeds(int argc, char** argv, std::vector<std::string> (*make)()) {
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '-') continue;
    const std::string corpus = argv[i];
    std::error_code ec;
    if (!std::filesystem::is_directory(corpus, ec) || !std::filesystem::is_empty(corpus, ec)) continue;
    int n = 0;
    for (const std::string& seed : make()) {
      if (seed.empty()) abort();  // an encoder failed: no seed is better found out now
      const std::string path = corpus + "/seed" + std::to_string(n++);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(seed.data(), 1, seed.size(), f) != seed.size()) abort();
      std::fclose(f);
    }
  }
}

// Opens the bytes as a sound, converts it whole when that is small enough (else reads a
// bounded amount), seeks about, reads again and closes.
inline void RunConverter(const uint8_t* data, size_t size) {
  FillStreamFunctionRows();
  const int32_t blocks = GetTrackedBlockCount();
  const int streams = PlatCodecLiveStreams();
  MemStream* ms = MemStreamOpen(data, uint32_t(size));
  if (!ms) abort();
  SoundConverter c;
  if (OpenSoundConverter(GetMemStreamFunctions(), StreamHandle(ms), &c) == 0) {
    const int64_t whole = GetConvertedSize(&c);
    if (whole >= 0 && whole <= (int64_t(32) << 20)) {
      PlatWaveFormat f;
      void* memory = nullptr;
      int64_t bytes = 0;
      if (ConvertWholeSound(&c, &f, &memory, &bytes) == 0) {
        if (bytes > whole) abort();
        TrackedFree(memory);
      }
    }
    static unsigned char buffer[1 << 16];
    const int64_t frames = whole > 0 ? whole / std::max<int>(c.pcmFormat.blockAlign, 1) : 1000;
    for (int64_t sample : {frames / 2, int64_t(3), frames + 5, frames / 3, int64_t(0)}) {
      SeekConverter(&c, sample);
      for (int i = 0; i < 4 && DecodeConverter(&c, buffer, sizeof buffer - 7 * i) > 0; i++) {
      }
    }
    CloseSoundConverter(&c);
  }
  MemStreamClose(ms);
  if (GetTrackedBlockCount() != blocks || PlatCodecLiveStreams() != streams) abort();
}

}  // namespace soundfuzz

// The two entry points of a target that runs the converter over its input, seeded by
// `seeds` (a function returning the seed files).
#define SOUND_FUZZ_TARGET(seeds)                                              \
  extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {              \
    soundfuzz::WriteSeeds(*argc, *argv, seeds);                               \
    return 0;                                                                 \
  }                                                                           \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {   \
    soundfuzz::RunConverter(data, size);                                      \
    return 0;                                                                 \
  }
