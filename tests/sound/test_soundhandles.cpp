// Sound handles: the table, loading into buffer copies, the round robin over the copies
// on the headless output and the manual clock, lengths, positions and deletion.
#include "engine/base/handle.h"
#include "platform/kernel/kernel.h"
#include "soundhandle_fixture.h"

#include <functional>

namespace {

using soundfiles::Bytes;
using soundfiles::PcmWav;

// One second of 16-bit mono at 44100 Hz.
const std::string kSecondWav = PcmWav(1, 44100, 16, Bytes(Noise(44100, 1, 1)));

struct SoundHandles : SoundHandleTest {
  void SetUp() override {
    SoundHandleTest::SetUp();
    Start("headless");
  }
};

TEST_F(SoundHandles, EveryOperationFailsBeforeTheSoundSystemStarts) {
  const int32_t made = Load(kSecondWav, 1);
  ASSERT_NE(made, -1);
  EndSoundSystem();
  const std::string path = WriteFile("a.wav", kSecondWav);
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"AddSoundData", [] { return AddSoundData(-1); }},
      {"LoadSoundFileCore", [&] { return LoadSoundFileCore(path.c_str(), 1, -1); }},
      {"LoadSoundFromMemory", [] { return Load(kSecondWav, 1); }},
      {"PlaySoundHandleCore", [&] { return PlaySoundHandleCore(made, 1, 1); }},
      {"StopSoundHandleCore", [&] { return StopSoundHandleCore(made); }},
      {"IsSoundPlaying", [&] { return IsSoundPlaying(made); }},
      {"GetSoundLengthSamples", [&] { return GetSoundLengthSamples(made); }},
      {"GetSoundLengthMs", [&] { return GetSoundLengthMs(made); }},
      {"GetSoundPositionMs", [&] { return GetSoundPositionMs(made); }},
      {"DeleteSoundHandle", [&] { return DeleteSoundHandle(made); }},
      {"AddStreamSourceMem",
       [&] { return AddStreamSourceMem(kSecondWav.data(), int32_t(kSecondWav.size()), 0, made, 2, -1); }},
      {"AddStreamSourceFile", [&] { return AddStreamSourceFile(path.c_str(), 0, made, 2, -1); }},
      {"PrimeStreamSoundHandle", [&] { return PrimeStreamSoundHandle(made); }},
      {"PlayStreamSoundHandle", [&] { return PlayStreamSoundHandle(made, 1, 1); }},
      {"StopStreamSoundHandle", [&] { return StopStreamSoundHandle(made); }},
      {"IsStreamSoundPlaying", [&] { return IsStreamSoundPlaying(made); }},
      {"GetStreamPositionMs", [&] { return GetStreamPositionMs(made); }},
      {"RefillStreamSound", [&] { return RefillStreamSound(made); }},
      {"RefillAllStreamSounds", [] { return RefillAllStreamSounds(); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), -1) << name;
  EXPECT_EQ(GetSoundCount(), 0);
}

TEST_F(SoundHandles, TheTableHoldsFourThousandNinetySixAndReusesSlotsByTheHighWaterRule) {
  std::vector<int32_t> h;
  for (int i = 0; i < 3; i++) h.push_back(AddSoundData(-1));
  ASSERT_EQ(HandleSlot(h[2]), 2);
  // A slot below the top is not reused while the level is below the table's size.
  ASSERT_EQ(DeleteSoundHandle(h[1]), 0);
  const int32_t third = AddSoundData(-1);
  EXPECT_EQ(HandleSlot(third), 3);
  // The top slot is: the level drops to one past the highest slot in use.
  ASSERT_EQ(DeleteSoundHandle(third), 0);
  EXPECT_EQ(GetSoundHighWater(), 3);
  EXPECT_EQ(HandleSlot(AddSoundData(-1)), 3);
  while (GetSoundCount() < SOUND_TABLE_SIZE) ASSERT_NE(AddSoundData(-1), -1);
  EXPECT_EQ(GetSoundHighWater(), SOUND_TABLE_SIZE);
  EXPECT_FALSE(LogHas("サウンドの数が許容量を越えました"));
  EXPECT_EQ(AddSoundData(-1), -1);
  EXPECT_TRUE(LogHas("サウンドの数が許容量を越えました\r\n"));
  // Once the level has reached the size, the first free slot is taken.
  ASSERT_EQ(DeleteSoundHandle(h[0]), 0);
  EXPECT_EQ(HandleSlot(AddSoundData(-1)), 0);
  ASSERT_EQ(DeleteAllSounds(0), 0);
  EXPECT_EQ(GetSoundCount(), 0);
}

TEST_F(SoundHandles, AStaleHandleIsRefusedAndAGivenHandleTakesItsSlot) {
  const int32_t first = AddSoundData(-1);
  ASSERT_EQ(DeleteSoundHandle(first), 0);
  const int32_t second = AddSoundData(-1);
  ASSERT_EQ(HandleSlot(second), HandleSlot(first));
  EXPECT_NE(second, first);
  EXPECT_EQ(GetSoundRecord(first), nullptr);
  EXPECT_EQ(DeleteSoundHandle(first), -1);
  EXPECT_EQ(IsSoundPlaying(first), -1);
  for (int32_t bad : {-1, int32_t(HANDLE_TYPE_GRAPH | HandleSlot(second)), MakeHandle(HANDLE_TYPE_SOUND, 0, 4096)})
    EXPECT_EQ(GetSoundLengthMs(bad), -1) << bad;

  // A given handle keeps its check value; its slot taken, it is refused; above the level
  // it raises the level past its slot.
  const int32_t given = MakeHandle(HANDLE_TYPE_SOUND, 77, 10);
  EXPECT_EQ(AddSoundData(given), given);
  EXPECT_EQ(AddSoundData(given), -1);
  EXPECT_EQ(AddSoundData(MakeHandle(HANDLE_TYPE_SOUND, 5, 10)), -1);
  EXPECT_EQ(GetSoundHighWater(), 11);
  EXPECT_EQ(HandleSlot(AddSoundData(-1)), 11);
  ASSERT_EQ(DeleteAllSounds(0), 0);
}

TEST_F(SoundHandles, ThreeCopiesPlayInTurnAndAPlayingCopyIsLeftOrRestarted) {
  for (int fromTop : {0, 1}) {
    SCOPED_TRACE(fromTop);
    const int32_t s = Load(kSecondWav, 3);
    ASSERT_NE(s, -1);
    ASSERT_EQ(GetSoundRecord(s)->copyCount, 3);
    for (int expected : {1, 2, 0}) {
      ASSERT_EQ(PlaySoundHandleCore(s, 1, 0), 0);
      EXPECT_EQ(GetSoundRecord(s)->currentCopy, expected);
      EXPECT_TRUE(CopyPlays(s, expected));
    }
    PlatClockAdvance(100);
    const uint32_t at = CopyCursor(s, 1);
    EXPECT_EQ(at, 4410u * 2);
    ASSERT_EQ(PlaySoundHandleCore(s, 1, fromTop), 0);
    EXPECT_EQ(GetSoundRecord(s)->currentCopy, 1);
    EXPECT_TRUE(CopyPlays(s, 1));
    EXPECT_EQ(CopyCursor(s, 1), fromTop ? 0u : at);
    ASSERT_EQ(StopSoundHandleCore(s), 0);
    for (int c = 0; c < 3; c++) EXPECT_FALSE(CopyPlays(s, c));
    EXPECT_EQ(IsSoundPlaying(s), 0);
    ASSERT_EQ(DeleteSoundHandle(s), 0);
  }
}

TEST_F(SoundHandles, ACopyThatIsNotPlayingGoesOnFromThePreviousCopysCursor) {
  const int32_t s = Load(kSecondWav, 2);
  ASSERT_EQ(PlaySoundHandleCore(s, 1, 0), 0);  // copy 1 from copy 0's cursor: 0
  EXPECT_EQ(CopyCursor(s, 1), 0u);
  PlatClockAdvance(250);
  ASSERT_EQ(StopSoundHandleCore(s), 0);
  EXPECT_EQ(GetSoundPositionMs(s), 250);
  ASSERT_EQ(PlaySoundHandleCore(s, 1, 0), 0);  // copy 0 goes on where copy 1 stopped
  EXPECT_EQ(GetSoundRecord(s)->currentCopy, 0);
  EXPECT_EQ(CopyCursor(s, 0), 11025u * 2);
  EXPECT_EQ(GetSoundPositionMs(s), 250);
  PlatClockAdvance(100);
  EXPECT_EQ(GetSoundPositionMs(s), 350);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(SoundHandles, ALoopPlaysUntilStoppedAndAWaitingPlayReturnsAfterTheLength) {
  const int32_t s = Load(kSecondWav, 1);
  EXPECT_EQ(GetSoundLengthSamples(s), 44100);
  EXPECT_EQ(GetSoundLengthMs(s), 1000);
  ASSERT_EQ(PlaySoundHandleCore(s, 3, 1), 0);
  for (int i = 0; i < 5; i++) {
    PlatClockAdvance(700);
    EXPECT_EQ(IsSoundPlaying(s), 1) << i;
  }
  ASSERT_EQ(StopSoundHandleCore(s), 0);
  EXPECT_EQ(IsSoundPlaying(s), 0);

  const uint32_t before = PlatTimeMs();
  ASSERT_EQ(PlaySoundHandleCore(s, 0, 1), 0);
  const uint32_t waited = PlatTimeMs() - before;
  EXPECT_GE(waited, 1000u);
  EXPECT_LE(waited, 1002u);
  EXPECT_EQ(IsSoundPlaying(s), 0);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(SoundHandles, ASoundWithoutCopiesRefusesEveryPlayAndKeepsItsTurn) {
  for (int32_t copies : {0, -3}) {
    const int32_t s = Load(kSecondWav, copies);
    ASSERT_NE(s, -1) << copies;
    EXPECT_EQ(GetSoundRecord(s)->copyCount, 0);
    for (int i = 0; i < 21; i++) EXPECT_EQ(PlaySoundHandleCore(s, 1, i % 2), -1);
    EXPECT_EQ(GetSoundRecord(s)->currentCopy, 0);
    EXPECT_EQ(IsSoundPlaying(s), 0);
    EXPECT_EQ(StopSoundHandleCore(s), 0);
    EXPECT_EQ(GetSoundPositionMs(s), 0);
    ASSERT_EQ(DeleteSoundHandle(s), 0);
  }
}

TEST_F(SoundHandles, ElevenCopiesAreCappedFromAFileAndRefusedFromMemory) {
  const std::string path = WriteFile("a.wav", kSecondWav);
  const int32_t s = LoadSoundFileCore(path.c_str(), 11, -1);
  ASSERT_NE(s, -1);
  EXPECT_EQ(GetSoundRecord(s)->copyCount, 10);
  for (int i = 0; i < 10; i++) ASSERT_EQ(PlaySoundHandleCore(s, 1, 0), 0);
  for (int c = 0; c < 10; c++) EXPECT_TRUE(CopyPlays(s, c)) << c;
  EXPECT_EQ(Load(kSecondWav, 11), -1);
  EXPECT_EQ(GetSoundCount(), 1);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(SoundHandles, AFailedLoadSaysWhyAndLeavesNothing) {
  struct Case {
    const char* name;
    std::string bytes;  // empty: no file at all
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"missing", "", {"右記のファイルのオープンに失敗しました：", "右記の音声ファイルのロードに失敗しました_1："}},
      {"not a sound", std::string(300, 'x'),
       {"音声ファイルのＰＣＭへの変換に失敗しました", "右記の音声ファイルのロードに失敗しました_2："}},
      // Nothing to play would make a buffer the device refuses, which ends the engine.
      {"no samples", PcmWav(2, 44100, 16, ""),
       {"音声ファイルのＰＣＭへの変換に失敗しました", "右記の音声ファイルのロードに失敗しました_2："}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.bytes.empty() ? dir + "/none.wav" : WriteFile("bad.wav", c.bytes);
    EXPECT_EQ(LoadSoundFileCore(path.c_str(), 2, -1), -1);
    for (const std::string& line : c.lines) EXPECT_TRUE(LogHas(line)) << line;
    EXPECT_EQ(GetSoundCount(), 0);
    EXPECT_EQ(GetSoundHighWater(), 0);
  }
}

// Long sounds: samples x 1000 and cursor bytes x 1000 pass 32 bits.
TEST_F(SoundHandles, LengthAndPositionOfALongSoundAreExact) {
  const int32_t frames = 11025 * 300;  // 300 s of 8-bit mono at 11025 Hz
  const int32_t s = Load(PcmWav(1, 11025, 8, std::string(size_t(frames), '\x80')), 1);
  ASSERT_NE(s, -1);
  EXPECT_EQ(GetSoundLengthMs(s), 300000);
  ASSERT_EQ(PlaySoundHandleCore(s, 1, 1), 0);
  PlatClockAdvance(290000);
  EXPECT_EQ(GetSoundPositionMs(s), 290000);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

}  // namespace
