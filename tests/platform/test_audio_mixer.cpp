// The mixer through the manual output: exactly the samples mixed, bit for bit.
#include "audio_fixture.h"

#include <vector>

namespace {

struct Mixer : AudioDeviceTest {
  void SetUp() override {
    AudioDeviceTest::SetUp();
    Open("manual");
  }
  std::vector<int16_t> Pull(uint32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 0x5555);
    EXPECT_EQ(PlatAudioManualPull(frames, out.data()), int32_t(frames));
    return out;
  }
};

// Interleaved stereo from left and right channels.
std::vector<int16_t> Stereo(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  std::vector<int16_t> out;
  for (size_t i = 0; i < left.size(); i++) {
    out.push_back(left[i]);
    out.push_back(right[i]);
  }
  return out;
}

struct FormatCase {
  const char* name;
  int channels, rate, bits;
  std::string bytes;
  std::vector<int16_t> expected;  // stereo output frames, then silence once it ends
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class MixerFormats : public Mixer, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(MixerFormats, OneBufferPlayedOnceGivesExactlyTheseFrames) {
  const FormatCase& c = GetParam();
  PlatAudioBuffer* b = Make(PcmFormat(c.channels, c.rate, c.bits), c.bytes);
  ASSERT_EQ(PlatAudioBufferPlay(b, 0), PLAT_DS_OK);
  const uint32_t frames = uint32_t(c.expected.size() / 2);
  std::vector<int16_t> expected = c.expected;
  expected.insert(expected.end(), 4, 0);  // then silence
  EXPECT_EQ(Pull(frames + 2), expected);
  EXPECT_EQ(Status(b), 0u);
  EXPECT_EQ(Cursor(b), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MixerFormats,
    ::testing::Values(
        // 0x80 is silence; 0xFF is 127 << 8; 0x00 the most negative.
        FormatCase{"EightBitMono", 1, 44100, 8, std::string("\x80\xFF\x00\x81\x7F", 5),
                   Stereo({0, 0x7F00, -32768, 256, -256}, {0, 0x7F00, -32768, 256, -256})},
        FormatCase{"EightBitStereo", 2, 44100, 8, std::string("\xFF\x00\x80\x90", 4),
                   Stereo({0x7F00, 0}, {-32768, 0x1000})},
        FormatCase{"SixteenBitMonoFeedsBoth", 1, 44100, 16, Pcm16({1, -2, 32767, -32768}),
                   Stereo({1, -2, 32767, -32768}, {1, -2, 32767, -32768})},
        FormatCase{"SixteenBitStereo", 2, 44100, 16, Pcm16({1, 2, -3, -4}), {1, 2, -3, -4}},
        // Half the rate: every other frame lies half way, s0 + ((s1 - s0) * 0x8000 >> 16),
        // rounded toward minus infinity; the last frame has no neighbour and holds.
        FormatCase{"HalfRateInterpolated", 1, 22050, 16, Pcm16({0, -1001, 1000, 32767}),
                   Stereo({0, -501, -1001, -1, 1000, 16883, 32767, 32767},
                          {0, -501, -1001, -1, 1000, 16883, 32767, 32767})},
        // A quarter step: f16 runs 0, 0x4000, 0x8000, 0xC000.
        FormatCase{"QuarterStepInterpolated", 2, 11025, 16, Pcm16({0, 400, 4000, -400}),
                   Stereo({0, 1000, 2000, 3000, 4000, 4000, 4000, 4000},
                          {400, 200, 0, -200, -400, -400, -400, -400})},
        FormatCase{"EightBitHalfRate", 1, 22050, 8, std::string("\x80\xFF\x80\x00", 4),
                   Stereo({0, 16256, 32512, 16256, 0, -16384, -32768, -32768},
                          {0, 16256, 32512, 16256, 0, -16384, -32768, -32768})}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(Mixer, SourcesAreSummedThenClippedOnce) {
  const PlatWaveFormat f = PcmFormat(2, 44100, 16);
  PlatAudioBuffer* a = Make(f, Pcm16({20000, -20000, 30000, 100, -5, 7}));
  PlatAudioBuffer* b = Make(f, Pcm16({20000, -20000, -30000, 200, 6, -7}));
  // A third that cancels the overflow of the first two: clipping comes after the sum.
  PlatAudioBuffer* c = Make(f, Pcm16({-10000, 10000, 0, 0, 0, 0}));
  for (PlatAudioBuffer* x : {a, b, c}) ASSERT_EQ(PlatAudioBufferPlay(x, 0), PLAT_DS_OK);
  EXPECT_EQ(Pull(3), (std::vector<int16_t>{30000, -30000, 0, 300, 1, 0}));

  for (PlatAudioBuffer* x : {a, b}) ASSERT_EQ(PlatAudioBufferPlay(x, 0), PLAT_DS_OK);
  EXPECT_EQ(Pull(1), (std::vector<int16_t>{32767, -32768}));
}

TEST_F(Mixer, OneShotEndsAtZeroAndLoopingWrapsWithoutGap) {
  const PlatWaveFormat f = PcmFormat(1, 44100, 16);
  PlatAudioBuffer* once = Make(f, Pcm16({1, 2, 3}));
  PlatAudioBuffer* loop = Make(f, Pcm16({100, 200, 300}));
  ASSERT_EQ(PlatAudioBufferPlay(once, 0), PLAT_DS_OK);
  ASSERT_EQ(PlatAudioBufferPlay(loop, PLAT_DSBPLAY_LOOPING), PLAT_DS_OK);
  EXPECT_EQ(Pull(7), Stereo({101, 202, 303, 100, 200, 300, 100}, {101, 202, 303, 100, 200, 300, 100}));
  EXPECT_EQ(Status(once), 0u);
  EXPECT_EQ(Cursor(once), 0u);
  EXPECT_EQ(Status(loop), uint32_t(PLAT_DSBSTATUS_PLAYING | PLAT_DSBSTATUS_LOOPING));
  EXPECT_EQ(Cursor(loop), 2u);  // one frame into its third round

  // Stopped keeps its place; played again goes on from there.
  ASSERT_EQ(PlatAudioBufferStop(loop), PLAT_DS_OK);
  EXPECT_EQ(Pull(1), Stereo({0}, {0}));
  ASSERT_EQ(PlatAudioBufferPlay(loop, 0), PLAT_DS_OK);
  EXPECT_EQ(Pull(3), Stereo({200, 300, 0}, {200, 300, 0}));
  EXPECT_EQ(Cursor(loop), 0u);
}

TEST_F(Mixer, LoopingAtAnotherRateInterpolatesAcrossTheWrap) {
  PlatAudioBuffer* b = Make(PcmFormat(1, 22050, 16), Pcm16({0, 1000}));
  ASSERT_EQ(PlatAudioBufferPlay(b, PLAT_DSBPLAY_LOOPING), PLAT_DS_OK);
  // Between the last frame and the first of the next round.
  EXPECT_EQ(Pull(6), Stereo({0, 500, 1000, 500, 0, 500}, {0, 500, 1000, 500, 0, 500}));
}

TEST_F(Mixer, DuplicatePlaysWhatTheFirstBuffersLockWrote) {
  const PlatWaveFormat f = PcmFormat(2, 44100, 16);
  PlatAudioBuffer* first = Make(f, Pcm16({0, 0, 0, 0}));
  PlatAudioBuffer* dup = nullptr;
  ASSERT_EQ(PlatAudioDuplicateBuffer(device, first, &dup), PLAT_DS_OK);
  buffers.push_back(dup);
  Write(first, 0, Pcm16({7, -7, 9, -9}));  // after the duplicate was made
  ASSERT_EQ(PlatAudioBufferPlay(dup, 0), PLAT_DS_OK);
  EXPECT_EQ(Status(first), 0u);  // its own play state
  EXPECT_EQ(Pull(3), (std::vector<int16_t>{7, -7, 9, -9, 0, 0}));
}

TEST_F(Mixer, SetPositionStartsThereInWholeBlocks) {
  PlatAudioBuffer* b = Make(PcmFormat(2, 44100, 16), Pcm16({1, 1, 2, 2, 3, 3}));
  ASSERT_EQ(PlatAudioBufferSetCurrentPosition(b, 7), PLAT_DS_OK);  // inside the second block
  EXPECT_EQ(Cursor(b), 4u);
  ASSERT_EQ(PlatAudioBufferPlay(b, 0), PLAT_DS_OK);
  EXPECT_EQ(Pull(3), (std::vector<int16_t>{2, 2, 3, 3, 0, 0}));
  EXPECT_EQ(PlatAudioBufferSetCurrentPosition(b, 12), PLAT_DSERR_INVALIDPARAM);
}

}  // namespace
