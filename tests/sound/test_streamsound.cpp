// Stream sounds through the manual output, bit for bit: the output is pulled 100 ms at a
// time with the pump's refill between, as the game's frames would.
#include "platform/kernel/kernel.h"
#include "soundhandle_fixture.h"

#include <algorithm>

namespace {

using soundfiles::Bytes;
using soundfiles::PcmWav;

constexpr int kPullFrames = 4410;  // 100 ms

struct StreamSounds : SoundHandleTest {
  void SetUp() override {
    SoundHandleTest::SetUp();
    Start("manual");
  }

  static std::vector<int16_t> Pull(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(PlatAudioManualPull(uint32_t(frames), out.data()), frames);
    return out;
  }
  // `ms` of output (a multiple of 100), refilling after every pull unless told not to.
  static std::vector<int16_t> Play(int ms, bool refill = true) {
    std::vector<int16_t> out;
    for (int t = 0; t < ms; t += 100) {
      const std::vector<int16_t> part = Pull(kPullFrames);
      out.insert(out.end(), part.begin(), part.end());
      if (refill) RefillAllStreamSounds();
    }
    return out;
  }
  // A source of 16-bit stereo samples at 44100 Hz, added from memory.
  static int AddSource(int32_t sound, const std::vector<int16_t>& stereo, int repeat, int type = 2,
                       int32_t share = -1) {
    const std::string wav = PcmWav(2, 44100, 16, Bytes(stereo));
    return AddStreamSourceMem(wav.data(), int32_t(wav.size()), repeat, sound, type, share);
  }
  static uint32_t PlayCursor(int32_t sound) {
    SoundRecord* r = GetSoundRecord(sound);
    SoundRecord* ring = r->bufferOwner == -1 ? r : GetSoundRecord(r->bufferOwner);
    uint32_t p = 0;
    EXPECT_EQ(GetSoundBufferOps()->getPosition(&ring->copies[0], &p), 0);
    return p;
  }
};

// The index of the first sample where the output leaves the expected samples (which it
// must not run out of), or -1.
long FirstDifference(const std::vector<int16_t>& out, const std::vector<int16_t>& expected) {
  if (expected.size() < out.size()) return long(expected.size());
  const auto m = std::mismatch(out.begin(), out.end(), expected.begin());
  return m.first == out.end() ? -1 : long(m.first - out.begin());
}

// The parts in turn, again and again until there are at least `atLeast` samples (once
// at least).
std::vector<int16_t> Concat(std::initializer_list<const std::vector<int16_t>*> parts, size_t atLeast) {
  std::vector<int16_t> out;
  for (const auto* p : parts) out.insert(out.end(), p->begin(), p->end());
  while (out.size() < atLeast)
    for (const auto* p : parts) out.insert(out.end(), p->begin(), p->end());
  return out;
}

TEST_F(StreamSounds, SourcesPlayInOrderWithTheirRepeatsAndTheLastLoops) {
  const auto a = Noise(13230, 2, 1), b = Noise(8820, 2, 2), c = Noise(11025, 2, 3);
  const int32_t s = AddSoundData(-1);
  ASSERT_EQ(AddSource(s, a, 0), 0);
  ASSERT_EQ(AddSource(s, b, 2), 0);
  ASSERT_EQ(AddSource(s, c, 255), 0);
  EXPECT_EQ(GetSoundLengthSamples(s), 13230 + 8820 + 11025);
  ASSERT_EQ(PlayStreamSoundHandle(s, 1, 1), 0);
  const std::vector<int16_t> out = Play(5000);
  std::vector<int16_t> expected = Concat({&a, &b, &b, &b}, 1);
  const std::vector<int16_t> loop = Concat({&c}, out.size());
  expected.insert(expected.end(), loop.begin(), loop.end());
  EXPECT_EQ(FirstDifference(out, expected), -1);
  EXPECT_EQ(IsStreamSoundPlaying(s), 1);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(StreamSounds, PlayingOnceEndsInSilenceAndStopsOnceTheCursorPassesTheEnd) {
  struct Case {
    const char* name;
    int channels, bits, type;
    bool fromFile;
  };
  for (const Case& k : {Case{"16-bit stereo kept undecoded", 2, 16, 2, false},
                        Case{"8-bit mono decoded whole", 1, 8, 0, false},
                        Case{"16-bit stereo read from its file", 2, 16, 3, true}}) {
    SCOPED_TRACE(k.name);
    const int frames = 15435;  // 350 ms
    const std::vector<int16_t> noise = Noise(frames, k.channels, 7);
    std::string data = Bytes(noise);
    std::vector<int16_t> expected;
    if (k.bits == 8) {
      data.resize(size_t(frames));
      for (int i = 0; i < frames; i++) {
        expected.push_back(int16_t((uint8_t(data[size_t(i)]) - 128) << 8));
        expected.push_back(expected.back());
      }
    } else {
      expected = noise;
    }
    expected.resize(size_t(kPullFrames) * 2 * 10, 0);  // then silence: 128 for 8 bits
    const std::string wav = PcmWav(k.channels, 44100, k.bits, data);
    const int32_t s = AddSoundData(-1);
    if (k.fromFile) {
      const std::string path = WriteFile("stream.wav", wav);
      ASSERT_EQ(AddStreamSourceFile(path.c_str(), 0, s, k.type, -1), 0);
    } else {
      ASSERT_EQ(AddStreamSourceMem(wav.data(), int32_t(wav.size()), 0, s, k.type, -1), 0);
    }
    ASSERT_EQ(PlayStreamSoundHandle(s, 1, 1), 0);
    std::vector<int16_t> out = Play(300);
    EXPECT_EQ(IsStreamSoundPlaying(s), 1);
    const std::vector<int16_t> rest = Play(700);
    EXPECT_EQ(IsStreamSoundPlaying(s), 0);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(FirstDifference(out, expected), -1);
    EXPECT_EQ(GetStreamPositionMs(s), 350);
    ASSERT_EQ(DeleteSoundHandle(s), 0);
  }
}

TEST_F(StreamSounds, LoopingStartsTheFirstSourceAgainWithoutAGap) {
  const auto a = Noise(7000, 2, 4), b = Noise(5000, 2, 5);
  const int32_t s = AddSoundData(-1);
  ASSERT_EQ(AddSource(s, a, 0), 0);
  ASSERT_EQ(AddSource(s, b, 0), 0);
  ASSERT_EQ(PlayStreamSoundHandle(s, 3, 1), 0);
  const std::vector<int16_t> out = Play(3000);
  EXPECT_EQ(FirstDifference(out, Concat({&a, &b}, out.size())), -1);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(StreamSounds, SourcesThatDoNotFitAreRefusedWithTheirMessages) {
  const auto a = Noise(4410, 2, 1);
  const int32_t s = AddSoundData(-1);
  for (int i = 0; i < 3; i++) ASSERT_EQ(AddSource(s, a, 0), 0);
  EXPECT_EQ(AddSource(s, a, 0), -1);
  EXPECT_TRUE(LogHas("ストリーム風サウンドの制御データ領域がいっぱいです"));

  const int32_t t = AddSoundData(-1);
  ASSERT_EQ(AddSource(t, a, 0), 0);
  const std::string mono = PcmWav(1, 44100, 16, Bytes(Noise(4410, 1, 2)));
  EXPECT_EQ(AddStreamSourceMem(mono.data(), int32_t(mono.size()), 0, t, 2, -1), -1);
  EXPECT_TRUE(LogHas("フォーマットの違う音声データは同時に使うことは出来ません"));
  ASSERT_EQ(PlayStreamSoundHandle(t, 3, 1), 0);
  EXPECT_EQ(AddSource(t, a, 0), -1);
  EXPECT_TRUE(LogHas("既に再生中のストリームサウンドデータにデータを追加しようとしました"));

  const int32_t normal = Load(PcmWav(2, 44100, 16, Bytes(a)), 1);
  EXPECT_EQ(AddSource(normal, a, 0), -1);
  EXPECT_TRUE(LogHas("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"));
  EXPECT_EQ(GetSoundRecord(s)->sourceCount, 3);
  EXPECT_EQ(GetSoundRecord(t)->sourceCount, 1);
  ASSERT_EQ(DeleteAllSounds(0), 0);
}

TEST_F(StreamSounds, SharersPlayOneAtATimeAndTheOwnerStaysUntilItsLastSharerGoes) {
  const auto a = Noise(44100, 2, 8), b = Noise(44100, 2, 9);
  for (bool ownerFirst : {true, false}) {
    SCOPED_TRACE(ownerFirst);
    const int32_t owner = AddSoundData(-1), sharer = AddSoundData(-1);
    ASSERT_EQ(AddSource(owner, a, 0), 0);
    ASSERT_EQ(AddSource(sharer, b, 0, 2, owner), 0);
    EXPECT_EQ(GetSoundRecord(sharer)->bufferOwner, owner);
    EXPECT_EQ(GetSoundRecord(owner)->sharerCount, 1);
    EXPECT_FALSE(GetSoundRecord(sharer)->copies[0].created);

    ASSERT_EQ(PlayStreamSoundHandle(owner, 3, 1), 0);
    std::vector<int16_t> out = Play(200);
    EXPECT_EQ(FirstDifference(out, a), -1);
    ASSERT_EQ(PlayStreamSoundHandle(sharer, 3, 1), 0);
    EXPECT_EQ(IsStreamSoundPlaying(owner), 0);
    EXPECT_EQ(IsStreamSoundPlaying(sharer), 1);
    out = Play(200);
    EXPECT_EQ(FirstDifference(out, b), -1);

    if (ownerFirst) {
      ASSERT_EQ(DeleteSoundHandle(owner), 0);
      ASSERT_NE(GetSoundRecord(owner), nullptr);
      EXPECT_EQ(GetSoundRecord(owner)->deletePending, 1);
      const std::vector<int16_t> more = Play(200);
      EXPECT_EQ(FirstDifference(more, std::vector<int16_t>(b.begin() + 2 * 8820, b.end())), -1);
      ASSERT_EQ(DeleteSoundHandle(sharer), 0);
    } else {
      ASSERT_EQ(DeleteSoundHandle(sharer), 0);
      EXPECT_EQ(GetSoundRecord(owner)->sharerCount, 0);
      // The sharer's data is over the ring: the owner primes afresh and goes on with its
      // own source where its decoding stood.
      const size_t from = size_t(GetSoundRecord(owner)->bytesDecoded / 2);
      ASSERT_EQ(PlayStreamSoundHandle(owner, 3, 0), 0);
      EXPECT_EQ(IsStreamSoundPlaying(owner), 1);
      std::vector<int16_t> expected(a.begin() + long(from), a.end());
      const std::vector<int16_t> again = Concat({&a}, size_t(kPullFrames) * 4);
      expected.insert(expected.end(), again.begin(), again.end());
      EXPECT_EQ(FirstDifference(Play(200), expected), -1);
      ASSERT_EQ(DeleteSoundHandle(owner), 0);
    }
    EXPECT_EQ(GetSoundCount(), 0);
  }
}

TEST_F(StreamSounds, NothingIsWrittenWhileTheCursorIsOutsideTheWindowThenWritingGoesOn) {
  const auto a = Noise(88200, 2, 10);
  const int32_t s = AddSoundData(-1);
  ASSERT_EQ(AddSource(s, a, 0), 0);
  ASSERT_EQ(PlayStreamSoundHandle(s, 3, 1), 0);
  Play(2000);
  SoundRecord* r = GetSoundRecord(s);
  const uint32_t ring = r->ringBytes, fourSeconds = 4 * 176400;
  Play(4500, false);
  int refused = 0;
  bool resumed = false;
  for (int i = 0; i < 30 && !resumed; i++) {
    const int32_t write = r->writeCursor;
    const uint32_t lead = (uint32_t(write) + ring - PlayCursor(s)) % ring;
    if (lead > fourSeconds) {
      EXPECT_EQ(RefillStreamSound(s), -1);
      EXPECT_EQ(r->writeCursor, write);
      refused++;
    } else {
      EXPECT_EQ(RefillStreamSound(s), 0);
      EXPECT_NE(r->writeCursor, write);
      resumed = true;
    }
    Pull(kPullFrames);
  }
  EXPECT_GT(refused, 0);
  EXPECT_TRUE(resumed);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(StreamSounds, SourcesThatDecodeNothingEndTheRefill) {
  struct Case {
    const char* name;
    int playType, repeat;
  };
  for (const Case& k : {Case{"looping play", 3, 0}, Case{"endless repeat", 1, 255}}) {
    SCOPED_TRACE(k.name);
    const int32_t s = AddSoundData(-1);
    ASSERT_EQ(AddSource(s, {}, k.repeat), 0);
    ASSERT_EQ(PlayStreamSoundHandle(s, k.playType, 1), 0);
    const std::vector<int16_t> out = Play(300);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(out.size(), 0)), -1);
    EXPECT_EQ(IsStreamSoundPlaying(s), 0);
    ASSERT_EQ(DeleteSoundHandle(s), 0);
  }
}

TEST_F(StreamSounds, ThePositionAfterThirtySecondsIsThirtyThousandMilliseconds) {
  const int32_t s = AddSoundData(-1);
  ASSERT_EQ(AddSource(s, std::vector<int16_t>(size_t(44100) * 2 * 35, 0), 0), 0);
  ASSERT_EQ(PlayStreamSoundHandle(s, 1, 1), 0);
  Play(30000);
  EXPECT_NEAR(GetStreamPositionMs(s), 30000, 125);
  EXPECT_EQ(GetSoundLengthMs(s), 35000);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(StreamSounds, WithASoundDataTypeAFileLoadsAsAPrimedStreamSoundThatPlaysAndStops) {
  const auto a = Noise(22050, 2, 12);
  const std::string path = WriteFile("s.wav", PcmWav(2, 44100, 16, Bytes(a)));
  ASSERT_EQ(SetSoundDataType(2), 0);
  const int32_t s = LoadSoundFileCore(path.c_str(), 3, -1);
  ASSERT_NE(s, -1);
  EXPECT_EQ(GetSoundRecord(s)->kind, SOUND_KIND_STREAM);
  EXPECT_EQ(GetSoundRecord(s)->playFlag, 1);
  EXPECT_EQ(GetSoundRecord(s)->writeCursor, 4 * 176400);
  ASSERT_EQ(PlaySoundHandleCore(s, 1, 0), 0);
  EXPECT_EQ(IsSoundPlaying(s), 1);
  const std::vector<int16_t> out = Play(300);
  EXPECT_EQ(FirstDifference(out, a), -1);
  ASSERT_EQ(StopSoundHandleCore(s), 0);
  EXPECT_EQ(IsSoundPlaying(s), 0);
  EXPECT_EQ(GetSoundPositionMs(s), 300);
  ASSERT_EQ(SetSoundDataType(0), 0);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

TEST_F(StreamSounds, AFinishedSoundPlayedAgainStartsFromItsFirstSource) {
  const auto a = Noise(4410, 2, 11);
  const int32_t s = AddSoundData(-1);
  ASSERT_EQ(AddSource(s, a, 0), 0);
  ASSERT_EQ(PlayStreamSoundHandle(s, 1, 1), 0);
  Play(500);
  ASSERT_EQ(IsStreamSoundPlaying(s), 0);
  ASSERT_EQ(PlayStreamSoundHandle(s, 1, 0), 0);
  const std::vector<int16_t> out = Play(200);
  std::vector<int16_t> expected = a;
  expected.resize(out.size(), 0);
  EXPECT_EQ(FirstDifference(out, expected), -1);
  ASSERT_EQ(DeleteSoundHandle(s), 0);
}

}  // namespace
