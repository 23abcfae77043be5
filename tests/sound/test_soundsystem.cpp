// The sound system's start and end on the headless output, its log, the failures the
// device can give, the buffer copies of both back ends, and the software mix's WAV
// recording.
#include "base/logfixture.h"
#include "engine/base/memory.h"
#include "engine/sound/services.h"
#include "engine/sound/soundbuffer.h"
#include "engine/sound/soundsystem.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct SoundSystem : LogFixture {
  int32_t blocksBefore = 0;
  SoundBufferCopy copies[SOUND_MAX_COPIES];

  void SetUp() override {
    LogFixture::SetUp();
    ASSERT_EQ(PlatAudioSelectBackend("headless"), 0);
    PlatAudioFakeReset();
    std::memset(static_cast<void*>(copies), 0, sizeof copies);
    blocksBefore = GetTrackedBlockCount();
  }
  void TearDown() override {
    for (SoundBufferCopy& c : copies)
      if (c.created) GetSoundBufferOps()->release(&c);
    CloseWavRecording();
    EndSoundSystem();
    SetSoftwareBufferMode(0);
    SetMusicMode(MUSIC_MODE_SEQUENCER);
    PlatAudioFakeReset();
    EXPECT_EQ(PlatAudioLiveObjects(), 0) << "devices or buffers left";
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left";
    PlatClockSetManual(0);
    LogFixture::TearDown();
  }

  // The log's lines without their CR LF.
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    const std::string log = ReadLog();
    size_t at = 0;
    for (size_t end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) out.push_back(log.substr(at, end - at));
    if (at < log.size()) out.push_back(log.substr(at));
    return out;
  }
  bool LogHas(const std::string& text) { return ReadLog().find(text) != std::string::npos; }
};

const std::vector<std::string> kStartLines = {
    "0:DirectSound の初期化を行います",
    "0:DirectSound インターフェースの取得を行います....  成功",
    "0:引き続きインターフェースの初期化処理...  成功",
};
const std::vector<std::string> kAbilityLines = {
    "0:\tDirectSound デバイスを列挙します",
    "0:\t\tモジュール名:       headless  ドライバ記述:Silent output keeping time with the clock ",
    "0:\t最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz "
    "総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB ",
    "0:\t利用可能サンプリング精度",
    "0:\t プライマリ １６bit = OK  ８bit = OK  セカンダリ １６bit = OK  ８bit = OK ",
    "0:\t利用可能チャンネル",
    "0:\t プライマリ MONO = OK  STEREO = OK  セカンダリ MONO = OK  STEREO = OK ",
};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(SoundSystem, StartAndEndWriteTheirLinesAndASecondStartChangesNothing) {
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(IsSoundSystemStarted(), 1);
  const std::vector<std::string> started =
      Join({kStartLines, kAbilityLines, {"0:DirectSound の初期化は正常に終了しました"}});
  EXPECT_EQ(Lines(), started);
  // The silent buffer loops; the primary buffer's format is the mixer's.
  ASSERT_NE(g_Sound.silent, nullptr);
  uint32_t status = 0;
  ASSERT_EQ(PlatAudioBufferGetStatus(g_Sound.silent, &status), PLAT_DS_OK);
  EXPECT_EQ(status, PLAT_DSBSTATUS_PLAYING | PLAT_DSBSTATUS_LOOPING);
  EXPECT_EQ(PlatAudioLiveObjects(), 3);  // device, primary and silent buffers

  PlatAudioDevice* device = g_Sound.device;
  EXPECT_EQ(InitSoundSystem(), -1);
  EXPECT_EQ(g_Sound.device, device);
  EXPECT_EQ(PlatAudioFakeCount(PLAT_AUDIO_CALL_CREATE), 1);
  EXPECT_EQ(Lines(), started);

  EXPECT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(IsSoundSystemStarted(), 0);
  EXPECT_EQ(PlatAudioLiveObjects(), 0);
  EXPECT_EQ(Lines().back(), "0:DirectSound の終了処理は正常に終了しました");
  EXPECT_EQ(EndSoundSystem(), -1);
  EXPECT_EQ(Lines().size(), started.size() + 1);
}

struct FailureCase {
  const char* name;
  PlatAudioCall call;
  int result;
  std::vector<std::string> lines;  // the log, whole
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SoundSystemFailures : public SoundSystem, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SoundSystemFailures, EachStepsFailureLogsItsLineAndGivesItsResult) {
  const FailureCase& c = GetParam();
  PlatAudioFakeFailFrom(c.call, 1);
  EXPECT_EQ(InitSoundSystem(), c.result);
  EXPECT_EQ(Lines(), c.lines);
  EXPECT_EQ(IsSoundSystemStarted(), c.result == 0 ? 1 : 0);
  if (c.result != 0) {
    EXPECT_EQ(PlatAudioLiveObjects(), 0);
  }
  // The end takes only what is there.
  EXPECT_EQ(EndSoundSystem(), c.result);
  EXPECT_EQ(PlatAudioLiveObjects(), 0);
}

const std::string kDone = "0:DirectSound の初期化は正常に終了しました";

INSTANTIATE_TEST_SUITE_P(
    Steps, SoundSystemFailures,
    ::testing::Values(
        FailureCase{"Create", PLAT_AUDIO_CALL_CREATE, -1,
                    {"0:DirectSound の初期化を行います",
                     "0:DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました"}},
        FailureCase{"Initialize", PLAT_AUDIO_CALL_INITIALIZE, -1,
                    {kStartLines[0], kStartLines[1], "0:引き続きインターフェースの初期化処理...  初期化に失敗しました"}},
        FailureCase{"CooperativeLevel", PLAT_AUDIO_CALL_COOPERATIVE_LEVEL, -1,
                    Join({kStartLines, {"0:DirectSoundの協調レベルの設定に失敗しました"}})},
        FailureCase{"Primary", PLAT_AUDIO_CALL_CREATE_PRIMARY, -1,
                    Join({kStartLines, {"0:DirectSoundのプライマリサウンドバッファの作成に失敗しました"}})},
        FailureCase{"PrimaryFormat", PLAT_AUDIO_CALL_SET_FORMAT, 0,
                    Join({kStartLines, {"0:DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました"},
                          kAbilityLines, {kDone}})},
        // The silent buffer's lines carry no line feed: the next text goes on after them.
        FailureCase{"SilentBuffer", PLAT_AUDIO_CALL_CREATE_BUFFER, 0,
                    Join({kStartLines,
                          {"0:無音バッファの作成に失敗しましたDirectSound デバイスを列挙します"},
                          std::vector<std::string>(kAbilityLines.begin() + 1, kAbilityLines.end()), {kDone}})},
        FailureCase{"SilentLock", PLAT_AUDIO_CALL_LOCK, 0,
                    Join({kStartLines,
                          {"0:無音バッファのロックに失敗しましたDirectSound デバイスを列挙します"},
                          std::vector<std::string>(kAbilityLines.begin() + 1, kAbilityLines.end()), {kDone}})},
        FailureCase{"ListingLoad", PLAT_AUDIO_CALL_LIST_LOAD, 0,
                    Join({kStartLines, {kAbilityLines[0], "0:\t\tDSOUND.DLL のロードに失敗しました", kDone}})},
        FailureCase{"ListingLookup", PLAT_AUDIO_CALL_LIST_LOOKUP, 0,
                    Join({kStartLines,
                          {kAbilityLines[0], "0:\t\tDirectSound デバイスの列挙用関数のポインタ取得に失敗しました",
                           kDone}})}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(SoundSystem, PerformanceModeWithoutItsLoaderFallsBackToTheSequencerStart) {
  SetMusicMode(MUSIC_MODE_PERFORMANCE);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(GetMusicMode(), MUSIC_MODE_SEQUENCER);
  EXPECT_EQ(Lines(), Join({{"0:DirectSound8 の初期化を行います", "0:DirectMusicLoader8 オブジェクトの作成に失敗しました",
                            "0:前バージョンでの初期化処理に移ります"},
                           kStartLines, kAbilityLines, {kDone}}));
}

PlatWaveFormat Pcm(int channels, int rate, int bits) {
  const uint16_t align = uint16_t(channels * bits / 8);
  return {PLAT_WAVE_FORMAT_PCM, uint16_t(channels), uint32_t(rate), uint32_t(rate) * align, align, uint16_t(bits), 0};
}

void Fill(const SoundBufferOps* ops, SoundBufferCopy* c, const std::string& bytes) {
  void *p1, *p2;
  uint32_t n1, n2;
  ASSERT_EQ(ops->lock(c, 0, uint32_t(bytes.size()), &p1, &n1, &p2, &n2), 0);
  std::memcpy(p1, bytes.data(), n1);
  ASSERT_EQ(ops->unlock(c, p1, n1, p2, n2), 0);
}

// Both back ends: copies 1 and on play the sound, a lock across the end gives two parts
// and a lock of more than the buffer is refused.
TEST_F(SoundSystem, CopiesOfBothBackEndsLockAndPlayAlike) {
  ASSERT_EQ(InitSoundSystem(), 0);
  for (int software : {0, 1}) {
    SCOPED_TRACE(software);
    ASSERT_EQ(SetSoftwareBufferMode(software), 0);
    const SoundBufferOps* ops = GetSoundBufferOps();
    const PlatWaveFormat f = Pcm(1, 11025, 8);  // 6 s are 66150 bytes
    ASSERT_EQ(CreateSoundBufferCopies(&f, 66150, SOUND_KIND_NORMAL, 3, copies), 3);
    for (int i = 0; i < 3; i++) {
      Fill(ops, &copies[i], std::string(66150, char(i)));
      EXPECT_EQ(copies[i].created, 1);
    }
    EXPECT_EQ(copies[3].created, 0);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(ops->lock(&copies[0], 55125, 22050, &p1, &n1, &p2, &n2), 0);
    EXPECT_EQ(n1, 11025u);
    EXPECT_EQ(n2, 11025u);
    EXPECT_EQ(static_cast<char*>(p1) - static_cast<char*>(p2), 55125);
    ASSERT_EQ(ops->unlock(&copies[0], p1, n1, p2, n2), 0);
    EXPECT_EQ(ops->lock(&copies[0], 0, 66151, &p1, &n1, &p2, &n2), -1);
    EXPECT_EQ(ops->lock(&copies[0], 66150, 1, &p1, &n1, &p2, &n2), -1);

    // A 6 s one-shot: 2 s in, its cursor; at 6 s it has stopped at 0.
    ASSERT_EQ(ops->play(&copies[2], 0), 0);
    PlatClockAdvance(2000);
    uint32_t cursor = 0, status = 0;
    ASSERT_EQ(ops->getPosition(&copies[2], &cursor), 0);
    EXPECT_EQ(cursor, 22050u);
    ASSERT_EQ(ops->status(&copies[2], &status), 0);
    EXPECT_EQ(status, PLAT_DSBSTATUS_PLAYING);
    PlatClockAdvance(4000);
    ASSERT_EQ(ops->status(&copies[2], &status), 0);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(ops->getPosition(&copies[2], &cursor), 0);
    EXPECT_EQ(cursor, 0u);
    ASSERT_EQ(ops->setPosition(&copies[1], 4321), 0);
    ASSERT_EQ(ops->getPosition(&copies[1], &cursor), 0);
    EXPECT_EQ(cursor, 4321u);

    for (SoundBufferCopy& c : copies)
      if (c.created) {
        EXPECT_EQ(ops->release(&c), 0);
      }
    EXPECT_EQ(ops->release(&copies[0]), -1);  // not created any more
    EXPECT_EQ(ops->play(&copies[0], 0), -1);
  }
}

TEST_F(SoundSystem, FailedDuplicateLeavesFewerCopiesAndNoCountGivesNone) {
  ASSERT_EQ(InitSoundSystem(), 0);
  const PlatWaveFormat f = Pcm(2, 44100, 16);
  PlatAudioFakeFailFrom(PLAT_AUDIO_CALL_DUPLICATE, 2);
  EXPECT_EQ(CreateSoundBufferCopies(&f, 400, SOUND_KIND_NORMAL, 5, copies), 2);
  for (SoundBufferCopy& c : copies)
    if (c.created) GetSoundBufferOps()->release(&c);
  EXPECT_EQ(CreateSoundBufferCopies(&f, 400, SOUND_KIND_NORMAL, 0, copies), 0);
  EXPECT_EQ(copies[0].created, 0);
  // A stream sound's ring: six seconds.
  ASSERT_EQ(CreateSoundBufferCopies(&f, 0, SOUND_KIND_STREAM, 1, copies), 1);
  void *p1, *p2;
  uint32_t n1, n2;
  EXPECT_EQ(GetSoundBufferOps()->lock(&copies[0], 0, 6 * 176400, &p1, &n1, &p2, &n2), 0);
  EXPECT_EQ(n1, 6u * 176400);
}

// The refill steps software copies on the clock and mixes them into the recording.
TEST_F(SoundSystem, RecordingHoldsTheSoftwareMixAndItsHeader) {
  EXPECT_EQ(CloseWavRecording(), -1);
  ASSERT_EQ(SetSoftwareBufferMode(1), 0);
  ASSERT_EQ(InitSoundSystem(), 0);
  const SoundBufferOps* ops = GetSoundBufferOps();
  // Two copies: 16-bit stereo at the mix's rate, and 8-bit mono at half of it.
  const PlatWaveFormat f = Pcm(2, 44100, 16);
  ASSERT_EQ(CreateSoundBufferCopies(&f, 16, SOUND_KIND_NORMAL, 1, copies), 1);
  Fill(ops, &copies[0], std::string("\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00\x07\x00\x08\x00", 16));
  SoundBufferCopy eight[SOUND_MAX_COPIES];
  const PlatWaveFormat g = Pcm(1, 22050, 8);
  ASSERT_EQ(CreateSoundBufferCopies(&g, 4, SOUND_KIND_NORMAL, 1, eight), 1);
  Fill(ops, &eight[0], std::string("\x80\x90\x80\x80", 4));

  const std::string path = dir + "/rec.wav";
  ASSERT_EQ(StartWavRecording(path.c_str()), 0);
  EXPECT_EQ(StartWavRecording(path.c_str()), -1);
  ASSERT_EQ(ops->play(&copies[0], 0), 0);
  ASSERT_EQ(ops->play(&eight[0], 0), 0);
  PlatClockAdvance(10);  // 441 frames
  ASSERT_EQ(RefillAllStreamSounds(), 0);
  EXPECT_EQ(GetWavRecordingFrames(), 441u);
  uint32_t status = 1;
  ASSERT_EQ(ops->status(&copies[0], &status), 0);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(CloseWavRecording(), 0);
  EXPECT_EQ(CloseWavRecording(), -1);
  ops->release(&eight[0]);

  const std::string wav = ReadFile("rec.wav");
  ASSERT_EQ(wav.size(), 46u + 4 * 441);
  auto u32 = [&](size_t at) { return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
                                     uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24; };
  const std::string header = std::string("RIFF") + "...." + "WAVEfmt " + std::string("\x12\0\0\0\x01\0\x02\0", 8) +
                             std::string("\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0\0\0", 14) + "data";
  for (size_t i = 0; i < header.size(); i++)
    if (i < 4 || i >= 8) {
      EXPECT_EQ(wav[i], header[i]) << i;
    }
  EXPECT_EQ(u32(4), 38u + 4 * 441);
  EXPECT_EQ(u32(42), 4u * 441);
  std::vector<int16_t> frames(441 * 2);
  std::memcpy(frames.data(), wav.data() + 46, frames.size() * 2);
  // The 8-bit copy: 0, half way to 0x1000, 0x1000, half way back, 0, 0, 0, (held) 0.
  const std::vector<int16_t> first = {1, 2, 3 + 0x800, 4 + 0x800, 5 + 0x1000, 6 + 0x1000, 7 + 0x800, 8 + 0x800,
                                      0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<int16_t>(frames.begin(), frames.begin() + 16), first);
  for (size_t i = 16; i < frames.size(); i++) ASSERT_EQ(frames[i], 0) << i;
}

}  // namespace
