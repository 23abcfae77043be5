// Feeds arbitrary bytes to the HiScore.dat parser: every result lies in the ranges the
// game relies on (reach 1 to 3, switches 0 or 1), the hi score is the file's first field
// as it stands, and a file the game itself could have written comes back byte for byte.
//
// With an empty corpus directory the first run writes seeds made by the game's own
// encoder into it.
#include "game/hiscore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

void WriteSeeds(const std::string& corpus) {
  std::error_code ec;
  if (!std::filesystem::is_directory(corpus, ec) || !std::filesystem::is_empty(corpus, ec)) return;
  const HiScoreValues values[] = {
      {50, 1, 1, 1}, {123456, 3, 0, 1}, {-1, 2, 1, 0}, {0, 0, 2, -1}, {INT32_MAX, 1000, 0, 0},
  };
  int n = 0;
  for (const HiScoreValues& v : values) {
    uint8_t bytes[kHiScoreFileSize];
    EncodeHiScore(v, bytes);
    for (size_t size : {size_t(16), size_t(7)}) {
      const std::string path = corpus + "/seed" + std::to_string(n++);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (!f) abort();
      if (std::fwrite(bytes, 1, size, f) != size) abort();
      std::fclose(f);
    }
  }
}

int32_t Le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; i++)
    if ((*argv)[i][0] != '-') WriteSeeds((*argv)[i]);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const HiScoreValues v = ParseHiScore(data, size);
  if (v.reach < 1 || v.reach > 3) abort();
  if (v.musicOn != 0 && v.musicOn != 1) abort();
  if (v.effectsOn != 0 && v.effectsOn != 1) abort();
  if (v.hiScore != (size >= 4 ? Le32(data) : 50)) abort();
  uint8_t bytes[kHiScoreFileSize];
  EncodeHiScore(v, bytes);
  const HiScoreValues again = ParseHiScore(bytes, sizeof bytes);
  if (std::memcmp(&again, &v, sizeof v) != 0) abort();
  // What the game writes is read back unchanged.
  if (size == kHiScoreFileSize && v.reach == Le32(data + 4) && v.musicOn == Le32(data + 8) &&
      v.effectsOn == Le32(data + 12) && std::memcmp(bytes, data, size) != 0)
    abort();
  return 0;
}
