// Ogg Vorbis through the converter: format and sizes, seeking and chained files.
#include "converter_fixture.h"

namespace {

using soundfiles::OggVorbis;
using soundfiles::Tone;

}  // namespace

TEST_F(SoundTest, OggVorbisFormatAndSizes) {
  struct Case {
    int channels, rate, frames;
  } cases[] = {{2, 44100, 44100}, {1, 22050, 30000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
    OpenedSound s(OggVorbis(Tone(c.rate, c.channels, c.frames, 440), c.channels, c.rate));
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(s.c.kind, SOUND_CONVERTER_OGG);
    EXPECT_EQ(s.c.pcmBufferSize, 4096u);
    PlatWaveFormat f;
    GetConverterFormat(&s.c, &f);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(int(f.samplesPerSec), c.rate);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 2 * c.channels);
    EXPECT_EQ(GetConvertedSize(&s.c), int64_t(c.channels) * (c.frames + 44100) * 2);
    const std::string pcm = s.Whole();
    EXPECT_EQ(pcm.size(), size_t(c.channels) * c.frames * 2);
    EXPECT_NEAR(CrossingsPerSecond(pcm, c.channels, c.rate), 440, 5);
  }
}

TEST_F(SoundTest, OggVorbisSeeksLandOnTheSampleAsked) {
  OpenedSound s(OggVorbis(Tone(44100, 2, 44100, 440), 2, 44100));
  ASSERT_EQ(s.result, 0);
  const std::string whole = s.Whole();
  ASSERT_EQ(whole.size(), 44100u * 4);
  for (int64_t sample : {int64_t(12345), int64_t(3), int64_t(40000), int64_t(0)}) {
    SCOPED_TRACE(sample);
    EXPECT_EQ(SeekConverter(&s.c, sample), 0);
    EXPECT_EQ(s.c.outputPosition, sample * 4);
    std::string got(4000, '\0');
    got.resize(size_t(DecodeConverter(&s.c, got.data(), 4000)));
    EXPECT_EQ(got, whole.substr(size_t(sample) * 4, 4000));
  }
  // Where it stands: nothing happens, and reading goes on from there.
  EXPECT_EQ(SeekConverter(&s.c, 1000), 0);
  EXPECT_EQ(s.c.outputPosition, 4000);
  EXPECT_EQ(s.ReadAll(999), whole.substr(4000));
}

TEST_F(SoundTest, OggVorbisChainedFiles) {
  const std::string stereo = OggVorbis(Tone(44100, 2, 20000, 440), 2, 44100);
  const std::string mono = OggVorbis(Tone(44100, 1, 20000, 440), 1, 44100);
  const std::string stereoAgain = OggVorbis(Tone(44100, 2, 10000, 660), 2, 44100);
  struct Case {
    const char* what;
    std::string file;
    int64_t delivered;  // bytes of PCM
  } cases[] = {
      {"a second link of the same layout", stereo + stereoAgain, 30000 * 4},
      {"a second link in mono ends the sound", stereo + mono, 20000 * 4},
      {"a first link in mono: the stereo one after it is not read", mono + stereo, 20000 * 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedSound s(c.file);
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(int64_t(s.Whole().size()), c.delivered);
  }
}
