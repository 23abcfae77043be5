#include "game/hiscore.h"

#include "game/gameapi.h"
#include "game/gamestate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kFileName[] = "HiScore.dat";
constexpr char kTempName[] = "HiScore.dat.tmp";
constexpr int32_t kLowestStage = 1;
constexpr int32_t kHighestStage = 3;

int32_t ReadLe32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                 uint32_t(p[3]) << 24);
}

void WriteLe32(uint8_t* p, int32_t value) {
  const uint32_t v = uint32_t(value);
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

int32_t Switch(int32_t value) { return value == 0 ? 0 : 1; }

}  // namespace

HiScoreValues ParseHiScore(const uint8_t* bytes, size_t size) {
  int32_t fields[4] = {50, 1, 1, 1};
  for (size_t i = 0; i < 4; i++)
    if (size >= (i + 1) * 4) fields[i] = ReadLe32(bytes + i * 4);
  HiScoreValues v{fields[0], fields[1], Switch(fields[2]), Switch(fields[3])};
  // The stage line runs up to reach and the stage number indexes the stage table: only a
  // hand-edited file holds a value beyond what the game writes.
  if (v.reach < kLowestStage) v.reach = kLowestStage;
  if (v.reach > kHighestStage) v.reach = kHighestStage;
  return v;
}

void EncodeHiScore(const HiScoreValues& values, uint8_t bytes[kHiScoreFileSize]) {
  WriteLe32(bytes, values.hiScore);
  WriteLe32(bytes + 4, values.reach);
  WriteLe32(bytes + 8, values.musicOn);
  WriteLe32(bytes + 12, values.effectsOn);
}

void LoadHiScore() {
  uint8_t bytes[kHiScoreFileSize];
  size_t size = 0;
  if (std::FILE* f = std::fopen(kFileName, "rb")) {
    size = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
  }
  const HiScoreValues v = ParseHiScore(bytes, size);
  g_Game->hiScore = v.hiScore;
  g_Game->reach = v.reach;
  g_Game->musicOn = v.musicOn;
  g_Game->effectsOn = v.effectsOn;
}

int SaveHiScore() {
  uint8_t bytes[kHiScoreFileSize];
  EncodeHiScore({g_Game->hiScore, g_Game->reach, g_Game->musicOn, g_Game->effectsOn}, bytes);
  errno = 0;
  std::FILE* f = std::fopen(kTempName, "wb");
  bool written = f != nullptr;
  if (f) {
    written = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    written = std::fflush(f) == 0 && written;
    written = std::fclose(f) == 0 && written;
    written = written && std::rename(kTempName, kFileName) == 0;
  }
  if (written) return 0;
  const int why = errno;
  if (f) std::remove(kTempName);
  const char* reason = why ? std::strerror(why) : "a short write";
  char line[256];
  std::snprintf(line, sizeof line, "%s の保存に失敗しました（%s）\n", kFileName, reason);
  g_Api->WriteLog(line);
  std::snprintf(line, sizeof line, "Saving %s failed (%s): the hi score and options are not kept.\n",
                kFileName, reason);
  g_Api->TellUser(line);
  return -1;
}
