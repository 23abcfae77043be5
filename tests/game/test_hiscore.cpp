// HiScore.dat: reading it whole or in part, the ranges a hand-edited file is held to,
// and saves that never leave a cut file or a temporary behind.
#include "game/hiscore.h"
#include "gamefixture.h"

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class HiScore : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    MakeRecords();
  }
  static void Write(const Bytes& bytes) {
    std::ofstream("HiScore.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  static Bytes Read() {
    std::ifstream in("HiScore.dat", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static HiScoreValues Loaded() {
    LoadHiScore();
    return {g_Game->hiScore, g_Game->reach, g_Game->musicOn, g_Game->effectsOn};
  }
  static bool Exists(const char* name) { return std::filesystem::exists(name); }
};

// Four little-endian fields: 0x01020304, 3, 0, 1, then whatever follows.
Bytes File(size_t size) {
  Bytes b = {4, 3, 2, 1, 3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 9, 9, 9, 9};
  b.resize(size);
  return b;
}

void ExpectValues(const HiScoreValues& v, int32_t hi, int32_t reach, int32_t music,
                  int32_t effects) {
  EXPECT_EQ(v.hiScore, hi);
  EXPECT_EQ(v.reach, reach);
  EXPECT_EQ(v.musicOn, music);
  EXPECT_EQ(v.effectsOn, effects);
}

TEST_F(HiScore, AMissingFileGivesTheDefaultsAndStaysMissing) {
  ExpectValues(Loaded(), 50, 1, 1, 1);
  EXPECT_FALSE(Exists("HiScore.dat"));
  // Creating the game state reads it the same way.
  FreeGameState();
  CreateGameState();
  ExpectValues({g_Game->hiScore, g_Game->reach, g_Game->musicOn, g_Game->effectsOn}, 50, 1, 1, 1);
}

TEST_F(HiScore, SavedFieldsComeBackAsLittleEndianBytes) {
  g_Game->hiScore = 0x01020304;
  g_Game->reach = 3;
  g_Game->musicOn = 0;
  g_Game->effectsOn = 1;
  SaveHiScore();
  EXPECT_EQ(Read(), File(16));
  g_Game->hiScore = -7;  // the hi score is kept as it stands
  g_Game->reach = 2;
  g_Game->musicOn = 1;
  g_Game->effectsOn = 0;
  SaveHiScore();
  EXPECT_EQ(Read(), (Bytes{0xF9, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  ExpectValues(Loaded(), -7, 2, 1, 0);
  EXPECT_FALSE(Exists("HiScore.dat.tmp"));
}

// Each field not wholly in the file takes its default; bytes past 16 are ignored.
TEST_F(HiScore, AShortFileKeepsTheDefaultsOfTheFieldsItLacks) {
  struct Case {
    size_t size;
    int32_t hi, reach, music, effects;
  } cases[] = {
      {0, 50, 1, 1, 1},          {3, 50, 1, 1, 1},  {4, 0x01020304, 1, 1, 1},
      {7, 0x01020304, 1, 1, 1},  {8, 0x01020304, 3, 1, 1},
      {12, 0x01020304, 3, 0, 1}, {15, 0x01020304, 3, 0, 1},
      {16, 0x01020304, 3, 0, 1}, {20, 0x01020304, 3, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Write(File(c.size));
    ExpectValues(Loaded(), c.hi, c.reach, c.music, c.effects);
  }
}

// Only a hand-edited file holds these: reach takes the nearer of the bounds the game
// writes (1 and 3), a switch other than 0 or 1 is on.
TEST_F(HiScore, OutOfRangeValuesAreHeldToWhatTheGameWrites) {
  struct Case {
    int32_t reach, music, effects;
    int32_t wantReach, wantMusic, wantEffects;
  } cases[] = {
      {0, 1, 1, 1, 1, 1},   {-5, 1, 1, 1, 1, 1},   {4, 1, 1, 3, 1, 1},
      {1000, 1, 1, 3, 1, 1}, {1, 2, 0, 1, 1, 0},    {2, 0, 2, 2, 0, 1},
      {INT32_MIN, -1, INT32_MAX, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.reach << " " << c.music << " " << c.effects);
    uint8_t bytes[kHiScoreFileSize];
    EncodeHiScore({1234, c.reach, c.music, c.effects}, bytes);
    ExpectValues(ParseHiScore(bytes, sizeof bytes), 1234, c.wantReach, c.wantMusic,
                 c.wantEffects);
  }
}

// A save that cannot finish keeps the old file whole and leaves no temporary.
TEST_F(HiScore, AFailedSaveKeepsTheOldFile) {
  const Bytes old = File(16);
  Write(old);
  g_Game->hiScore = 999;
  // The temporary cannot be made.
  std::filesystem::create_directory("HiScore.dat.tmp");
  SaveHiScore();
  EXPECT_EQ(Read(), old);
  std::filesystem::remove("HiScore.dat.tmp");

  // The rename cannot replace what stands under the name: the temporary goes.
  std::filesystem::remove("HiScore.dat");
  std::filesystem::create_directories("HiScore.dat/inside");
  SaveHiScore();
  EXPECT_TRUE(std::filesystem::is_directory("HiScore.dat/inside"));
  EXPECT_FALSE(Exists("HiScore.dat.tmp"));
}

// A folder the game may not write in. Root writes anywhere, so as root the save runs
// under another file-system user (on this thread only).
TEST_F(HiScore, ASaveIntoAReadOnlyFolderKeepsTheOldFile) {
  const Bytes old = File(16);
  Write(old);
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  const bool asRoot = geteuid() == 0;
  if (asRoot) setfsuid(65534);
  std::FILE* probe = std::fopen("probe", "w");
  const bool refused = probe == nullptr;
  if (probe) std::fclose(probe);
  g_Game->hiScore = 999;
  if (refused) SaveHiScore();
  if (asRoot) setfsuid(0);
  chmod(dir.c_str(), 0755);
  std::filesystem::remove("probe");
  if (!refused) GTEST_SKIP() << "the folder could not be made read-only";
  EXPECT_EQ(Read(), old);
  EXPECT_FALSE(Exists("HiScore.dat.tmp"));
}

}  // namespace
