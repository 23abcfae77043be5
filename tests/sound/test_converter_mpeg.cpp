// MPEG audio: the header parse, the frame walk with ID3 tags, and lame files through the
// converter.
#include "converter_fixture.h"
#include "engine/sound/mpegaudio.h"

namespace {

using soundfiles::Tone;

}  // namespace

TEST_F(SoundTest, MpegAudioHeaderTable) {
  struct Case {
    const char* what;
    unsigned char bytes[4];
    int result;
    int mpeg1 = 0, layer = 0, bitRate = 0, rate = 0, channels = 0, length = 0, samples = 0;
  } cases[] = {
      {"MPEG-1 Layer III 128 kbit/s 44100 Hz", {0xFF, 0xFB, 0x90, 0x44}, 0, 1, 2, 128, 44100, 2, 417, 1152},
      {"the same, padded", {0xFF, 0xFB, 0x92, 0x44}, 0, 1, 2, 128, 44100, 2, 418, 1152},
      {"the same, mono", {0xFF, 0xFB, 0x90, 0xC4}, 0, 1, 2, 128, 44100, 1, 417, 1152},
      {"MPEG-2 Layer III 64 kbit/s 22050 Hz", {0xFF, 0xF3, 0x80, 0x44}, 0, 0, 2, 64, 22050, 2, 208, 576},
      {"MPEG-1 Layer III 320 kbit/s 48000 Hz", {0xFF, 0xFB, 0xE4, 0x00}, 0, 1, 2, 320, 48000, 2, 960, 1152},
      {"MPEG-1 Layer II 192 kbit/s 48000 Hz", {0xFF, 0xFD, 0xA4, 0x00}, 0, 1, 1, 192, 48000, 2, 576, 1152},
      {"MPEG-2 Layer II 64 kbit/s 24000 Hz", {0xFF, 0xF5, 0x84, 0x00}, 0, 0, 1, 64, 24000, 2, 384, 1152},
      {"MPEG-1 Layer I 384 kbit/s 32000 Hz, padded", {0xFF, 0xFF, 0xCA, 0x00}, 0, 1, 0, 384, 32000, 2, 580, 384},
      {"a reserved layer", {0xFF, 0xF9, 0x90, 0x44}, -1},
      {"bit-rate index 15", {0xFF, 0xFB, 0xF0, 0x44}, -1},
      {"bit-rate index 0 (free format)", {0xFF, 0xFB, 0x00, 0x44}, -1},
      {"sample-rate index 3", {0xFF, 0xFB, 0x9C, 0x44}, -1},
      {"an MPEG 2.5 sync", {0xFF, 0xE3, 0x90, 0x44}, -1},
      {"no sync", {0xFE, 0xFB, 0x90, 0x44}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MpegFrameHeader h = {};
    ASSERT_EQ(ParseMpegAudioHeader(c.bytes, &h), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(h.mpeg1, c.mpeg1);
    EXPECT_EQ(h.layer, c.layer);
    EXPECT_EQ(h.bitRate, c.bitRate);
    EXPECT_EQ(h.sampleRate, c.rate);
    EXPECT_EQ(h.channels, c.channels);
    EXPECT_EQ(h.frameLength, c.length);
    EXPECT_EQ(h.samplesPerFrame, c.samples);
  }
}

// One second of a 440 Hz tone from lame, with tags around it: the first frame is found
// past an ID3v2 tag (and its footer), an ID3v1 trailer is left out, and the frames lame
// wrote are the frames counted.
TEST_F(SoundTest, MpegAudioFilesWithTags) {
  int frames = 0;
  const std::string mp3 = soundfiles::Mp3(Tone(44100, 2, 44100, 440), 2, 44100, 128, false, &frames);
  ASSERT_FALSE(mp3.empty());
  struct Case {
    const char* what;
    std::string head, tail;
    int dropFromEnd;  // bytes cut off the last frame
    int result = 0;
    bool noFrames = false;
  } cases[] = {
      {"bare", "", "", 0},
      {"ID3v2.3", soundfiles::Id3v2(3, false, 300), "", 0},
      {"ID3v2.4 with footer", soundfiles::Id3v2(4, true, 300), "", 0},
      {"ID3v2.4 with footer and an ID3v1 trailer", soundfiles::Id3v2(4, true, 77), soundfiles::Id3v1(), 0},
      {"an ID3v1 trailer", "", soundfiles::Id3v1(), 0},
      {"the last frame cut short", "", "", 10},
      {"the last frame cut short, then a trailer", "", soundfiles::Id3v1(), 10},
      {"an ID3v2 tag past the end", soundfiles::Id3v2(3, false, 300).substr(0, 10) + "x", "", 0, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string body = c.noFrames ? "" : mp3.substr(0, mp3.size() - size_t(c.dropFromEnd));
    const std::string file = c.head + body + c.tail;
    MpegFrameScan scan = {};
    ASSERT_EQ(ScanMpegAudioFrames(reinterpret_cast<const unsigned char*>(file.data()), int64_t(file.size()), &scan), c.result);
    OpenedSound s(file);
    ASSERT_EQ(s.result, c.result);
    if (c.result != 0) continue;
    const int counted = c.dropFromEnd ? frames - 1 : frames;
    EXPECT_EQ(scan.firstFrame, int64_t(c.head.size()));
    EXPECT_EQ(scan.frames, counted);
    EXPECT_EQ(scan.totalSamples, counted * 1152);
    EXPECT_EQ(s.c.dataStart, int64_t(c.head.size()));
    EXPECT_EQ(s.c.dataSize, scan.dataEnd - scan.firstFrame);
    EXPECT_LE(scan.dataEnd, int64_t(file.size() - c.tail.size()));
    EXPECT_EQ(s.c.kind, SOUND_CONVERTER_ACM);
    const PlatWaveFormat* src = s.c.sourceFormat;
    EXPECT_EQ(src->formatTag, PLAT_WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(src->avgBytesPerSec, 16000u);
    EXPECT_EQ(src->extraSize, PLAT_MPEGLAYER3_EXTRA);
    EXPECT_EQ(s.c.pcmBufferSize, 176400u * 4 / 3);
    EXPECT_EQ(GetConvertedSize(&s.c), int64_t(counted) * 1152 * 4);
    PlatWaveFormat f;
    const std::string pcm = s.Whole(&f);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 44100u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(int64_t(pcm.size()), GetConvertedSize(&s.c)) << "every frame decodes whole";
    // Past the encoder's delay, the tone.
    EXPECT_NEAR(CrossingsPerSecond(pcm.substr(4096 * 4, 40000 * 4), 2, 44100), 440, 5);
  }
}

TEST_F(SoundTest, MpegAudioInformationFrameDecodesAsSilence) {
  struct Case {
    int channels, kbps;
  } cases[] = {{2, 320}, {1, 96}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kbps << " kbit/s");
    int frames = 0;
    const std::string mp3 = soundfiles::Mp3(Tone(44100, c.channels, 44100, 440), c.channels, 44100,
                                            c.kbps, true, &frames);
    ASSERT_NE(mp3.substr(0, 200).find("Info"), std::string::npos) << "lame wrote its frame";
    OpenedSound s(mp3);
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(s.c.totalSamples, int64_t(frames + 1) * 1152);
    const std::string pcm = s.Whole();
    EXPECT_EQ(int64_t(pcm.size()), GetConvertedSize(&s.c));
    const std::string first = pcm.substr(0, size_t(1152) * c.channels * 2);
    EXPECT_EQ(first, std::string(first.size(), '\0')) << "the information frame";
    EXPECT_NEAR(CrossingsPerSecond(pcm.substr(size_t(4096) * c.channels * 2, size_t(40000) * c.channels * 2),
                                   c.channels, 44100),
                440, 5);
  }
}

// Seeks on codec data: forward inside the buffer only moves the read offset; forward
// past it converts and skips; backward restarts through the spare stream. Each gives
// the bytes a fresh decode gives from there.
TEST_F(SoundTest, SeekingCodecData) {
  const std::vector<int16_t> tone = Tone(22050, 2, 3 * 22050, 330, 15000);
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"MS ADPCM", soundfiles::SoxEncode(soundfiles::PcmWav(2, 22050, 16, soundfiles::Bytes(tone)), "ms-adpcm")},
      {"MPEG audio", soundfiles::Mp3(tone, 2, 22050, 64, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(c.file.empty());
    OpenedSound fresh(c.file);
    ASSERT_EQ(fresh.result, 0);
    const std::string whole = fresh.Whole();
    OpenedSound s(c.file);
    ASSERT_EQ(s.result, 0);
    auto read = [&](int32_t bytes) {
      std::string out(size_t(bytes), '\0');
      out.resize(size_t(std::max(DecodeConverter(&s.c, out.data(), bytes), 0)));
      return out;
    };
    EXPECT_EQ(read(1000), whole.substr(0, 1000));
    const int converts = PlatCodecFakeCount(PLAT_CODEC_CALL_CONVERT);
    const int opens = PlatCodecFakeCount(PLAT_CODEC_CALL_OPEN);
    ASSERT_GT(s.c.pcmValid, 5000u);
    EXPECT_EQ(SeekConverter(&s.c, 1000), 0);  // 4000 bytes: inside the buffer
    EXPECT_EQ(s.c.outputPosition, 4000);
    EXPECT_EQ(read(500), whole.substr(4000, 500));
    EXPECT_EQ(PlatCodecFakeCount(PLAT_CODEC_CALL_CONVERT), converts) << "nothing converted";
    EXPECT_EQ(SeekConverter(&s.c, 1126), 0) << "within 16 bytes: nothing";
    EXPECT_EQ(s.c.outputPosition, 4500);

    EXPECT_EQ(SeekConverter(&s.c, 50000), 0);  // past the buffer
    EXPECT_EQ(read(3000), whole.substr(200000, 3000));
    EXPECT_EQ(PlatCodecFakeCount(PLAT_CODEC_CALL_OPEN), opens);

    EXPECT_EQ(SeekConverter(&s.c, 777), 0);  // backward
    EXPECT_EQ(PlatCodecFakeCount(PLAT_CODEC_CALL_OPEN), opens + 1) << "a new spare";
    EXPECT_EQ(s.ReadAll(1234), whole.substr(777 * 4));
    EXPECT_EQ(s.c.ended, 1);
    EXPECT_EQ(SeekConverter(&s.c, 0), 0);
    EXPECT_EQ(s.c.ended, 0);
    EXPECT_EQ(s.ReadAll(), whole);
    EXPECT_EQ(SeekConverter(&s.c, int64_t(whole.size())), 0) << "the end";
    EXPECT_EQ(s.ReadAll(), "");
  }
}

// The samples a file's frames count are trusted only so far: 11 MB of the smallest frames
// (24 bytes, 576 stereo samples each) would convert to more than 1 GiB, which is refused
// before anything is allocated.
TEST_F(SoundTest, MpegAudioPastOneGibibyteIsNotConvertedWhole) {
  const std::string frame = std::string("\xFF\xF3\x14\x00", 4) + std::string(20, '\0');
  std::string file;
  for (int i = 0; i < 470000; i++) file += frame;
  OpenedSound s(file);
  ASSERT_EQ(s.result, 0);
  EXPECT_EQ(s.c.totalSamples, 470000 * 576);
  EXPECT_GT(GetConvertedSize(&s.c), SOUND_CONVERT_WHOLE_MAX);
  int status = 0;
  EXPECT_EQ(s.Whole(nullptr, &status), "");
  EXPECT_EQ(status, -1);
}
