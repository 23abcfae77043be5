// WAVE files through the converter: the PCM table, compressed WAVE against sox's
// decoding, and the release of everything a failed open or read made.
#include "converter_fixture.h"

namespace {

using soundfiles::Bytes;
using soundfiles::Chunk;
using soundfiles::PcmFmt;
using soundfiles::Riff;
using soundfiles::Tone;

std::string Le16(uint32_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }

const std::string kData = "abcdefghijklmnop";  // no byte of it looks like an MPEG sync

// A PNG of one pixel: signature, IHDR, IDAT and IEND (checksums not worked out).
std::string Png() {
  std::string s = "\x89PNG\r\n\x1a\n";
  auto chunk = [&](const std::string& type, const std::string& body) {
    const uint32_t n = uint32_t(body.size());
    s += {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    s += type + body + "\x12\x34\x56\x78";
  };
  chunk("IHDR", std::string("\0\0\0\1\0\0\0\1\x08\x06\0\0\0", 13));
  chunk("IDAT", std::string("x\x9c" "c\xf8\x0f\0\0\1\1\0\x05", 11));
  chunk("IEND", "");
  return s;
}

}  // namespace

TEST_F(SoundTest, PcmWaveTable) {
  struct Case {
    const char* what;
    std::string file;
    int result;
    int channels = 0, rate = 0, bits = 0;
    std::string pcm = "";
  } cases[] = {
      {"plain", Riff({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", kData)}), 0, 2, 44100, 16, kData},
      {"a LIST chunk and an odd-sized chunk before the data",
       Riff({Chunk("fmt ", PcmFmt(1, 22050, 8)), Chunk("LIST", "INFOx"), Chunk("junk", "abc"),
             Chunk("data", kData)}),
       0, 1, 22050, 8, kData},
      {"odd-sized data", Riff({Chunk("fmt ", PcmFmt(1, 8000, 8)), Chunk("data", "abcde")}), 0, 1, 8000, 8, "abcde"},
      {"16-byte fmt: bits from the block align",
       Riff({Chunk("fmt ", PcmFmt(2, 11025, 8, 4)), Chunk("data", kData)}), 0, 2, 11025, 16, kData},
      {"14-byte fmt", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16).substr(0, 14)), Chunk("data", kData)}),
       0, 1, 8000, 16, kData},
      {"18-byte fmt: the block align and rate recomputed",
       Riff({Chunk("fmt ", PcmFmt(2, 8000, 16, 7) + Le16(0)), Chunk("data", kData)}), 0, 2, 8000, 16, kData},
      {"the lowest and highest rates",
       Riff({Chunk("fmt ", PcmFmt(1, 100, 16)), Chunk("data", kData)}), 0, 1, 100, 16, kData},
      {"", Riff({Chunk("fmt ", PcmFmt(1, 200000, 16)), Chunk("data", kData)}), 0, 1, 200000, 16, kData},
      {"a truncated data chunk", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("data", kData, 1000)}),
       0, 1, 8000, 16, kData},
      {"a streaming data size", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("data", kData, 0xFFFFFFFF)}),
       0, 1, 8000, 16, kData},
      {"a 12-byte fmt", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16).substr(0, 12)), Chunk("data", kData)}), -1},
      {"a fmt above 64 KiB", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16) + std::string(65536, 'x')), Chunk("data", kData)}), -1},
      {"0 channels", Riff({Chunk("fmt ", PcmFmt(0, 8000, 16, 2)), Chunk("data", kData)}), -1},
      {"rate 0", Riff({Chunk("fmt ", PcmFmt(1, 0, 16)), Chunk("data", kData)}), -1},
      {"rate 99", Riff({Chunk("fmt ", PcmFmt(1, 99, 16)), Chunk("data", kData)}), -1},
      {"rate 200001", Riff({Chunk("fmt ", PcmFmt(1, 200001, 16)), Chunk("data", kData)}), -1},
      {"24-bit", Riff({Chunk("fmt ", PcmFmt(2, 44100, 24)), Chunk("data", kData)}), -1},
      {"6 channels", Riff({Chunk("fmt ", PcmFmt(6, 44100, 16)), Chunk("data", kData)}), -1},
      {"a chunk of size 0xFFFFFFF8",
       Riff({Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("junk", "", 0xFFFFFFF8), Chunk("data", kData)}), -1},
      {"a chunk past the end", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("junk", "", 100), Chunk("data", kData)}), -1},
      {"no data chunk", Riff({Chunk("fmt ", PcmFmt(1, 8000, 16))}), -1},
      {"no fmt chunk first", Riff({Chunk("LIST", "INFO"), Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("data", kData)}), -1},
      {"0 bytes", "", -1},
      {"3 bytes", "RIF", -1},
      {"a PNG", Png(), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what[0] ? c.what : "the highest rate");
    OpenedSound s(c.file);
    ASSERT_EQ(s.result, c.result);
    if (c.result != 0) {
      EXPECT_EQ(s.c.open, 0);
      continue;
    }
    EXPECT_EQ(s.c.kind, SOUND_CONVERTER_PCM);
    PlatWaveFormat f;
    EXPECT_EQ(GetConverterFormat(&s.c, &f), 0);
    EXPECT_EQ(f.formatTag, PLAT_WAVE_FORMAT_PCM);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(int(f.samplesPerSec), c.rate);
    EXPECT_EQ(f.bitsPerSample, c.bits);
    EXPECT_EQ(f.blockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(f.avgBytesPerSec, f.blockAlign * f.samplesPerSec);
    EXPECT_EQ(GetConvertedSize(&s.c), int64_t(c.pcm.size()));
    EXPECT_EQ(s.ReadAll(3), c.pcm);
    EXPECT_EQ(DecodeConverter(&s.c, nullptr, 10), 0) << "ended";
    PlatWaveFormat whole;
    EXPECT_EQ(s.Whole(&whole), c.pcm);
    EXPECT_EQ(std::memcmp(&whole, &f, sizeof f), 0);
  }
}

TEST_F(SoundTest, ReadingAndSeekingPcm) {
  const std::string pcm = Bytes(Tone(8000, 2, 20000, 300));
  OpenedSound s(soundfiles::PcmWav(2, 8000, 16, pcm));
  ASSERT_EQ(s.result, 0);
  EXPECT_EQ(s.c.pcmBufferSize, 32000u) << "one second";
  std::vector<char> buffer(100);
  EXPECT_EQ(DecodeConverter(&s.c, buffer.data(), 0), 0);
  EXPECT_EQ(DecodeConverter(&s.c, buffer.data(), 100), 100);
  EXPECT_EQ(SeekConverter(&s.c, 25), 0);  // 100 bytes: where it stands
  EXPECT_EQ(s.c.outputPosition, 100);
  EXPECT_EQ(SeekConverter(&s.c, 19000), 0);
  EXPECT_EQ(s.ReadAll(777), pcm.substr(19000 * 4));
  EXPECT_EQ(SeekConverter(&s.c, 3), 0);
  EXPECT_EQ(s.ReadAll(40000), pcm.substr(12)) << "the ended flag is cleared";
  EXPECT_EQ(SeekConverter(&s.c, 90000), 0);
  EXPECT_EQ(s.ReadAll(), "") << "past the end";

  SoundConverter closed = {};
  EXPECT_EQ(DecodeConverter(&closed, buffer.data(), 10), -1);
  EXPECT_EQ(CloseSoundConverter(&closed), -1);
}

// sox encodes; its own decoding and ours agree sample for sample. The cut files end in
// part of a block; the large blocks are larger than the 2048-byte chunk the converter
// takes at once.
TEST_F(SoundTest, CompressedWaveAgreesWithSox) {
  struct Case {
    const char* what;
    std::string encoding;  // for sox; empty: our own IMA ADPCM writer
    int channels, rate, frames;
    int blockAlign;  // our writer's
    size_t cut;
  } cases[] = {
      {"IMA ADPCM mono", "ima-adpcm", 1, 8000, 9000, 0, 0},
      {"IMA ADPCM stereo, cut", "ima-adpcm", 2, 22050, 30000, 0, 301},
      {"MS ADPCM mono, cut", "ms-adpcm", 1, 11025, 20000, 0, 97},
      {"MS ADPCM stereo", "ms-adpcm", 2, 44100, 30000, 0, 0},
      {"MS ADPCM stereo, 4096-byte blocks, cut", "ms-adpcm", 2, 96000, 50000, 0, 1001},
      {"MS ADPCM mono, cut inside a block header", "ms-adpcm", 1, 8000, 9000, 0, 252},
      {"IMA ADPCM mono, 4096-byte blocks", "", 1, 44100, 30000, 4096, 0},
      {"IMA ADPCM stereo, 8192-byte blocks, cut", "", 2, 44100, 30000, 8192, 777},
      {"A-law stereo", "a-law", 2, 8000, 5000, 0, 0},
      {"mu-law mono", "u-law", 1, 8000, 5000, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<int16_t> tone = Tone(c.rate, c.channels, c.frames, 440, 20000);
    std::string file = c.encoding.empty()
                           ? soundfiles::ImaAdpcmWav(tone, c.channels, c.rate, c.blockAlign)
                           : soundfiles::SoxEncode(soundfiles::PcmWav(c.channels, c.rate, 16, Bytes(tone)), c.encoding);
    ASSERT_FALSE(file.empty()) << "sox";
    if (c.cut) file = soundfiles::CutWavTail(file, c.cut);
    const std::vector<int16_t> sox = soundfiles::SoxDecode(file);
    ASSERT_FALSE(sox.empty());

    OpenedSound s(file);
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(s.c.kind, SOUND_CONVERTER_ACM);
    const int64_t size = GetConvertedSize(&s.c);
    PlatWaveFormat f;
    const std::string whole = s.Whole(&f);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(int(f.samplesPerSec), c.rate);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_GE(size, int64_t(whole.size()));
    EXPECT_EQ(soundfiles::Samples(whole), sox);
    // The padding of the last block is silence: the tone is in the frames given.
    EXPECT_NEAR(CrossingsPerSecond(whole.substr(0, size_t(c.frames) * c.channels * 2), c.channels, c.rate),
                440, 10);
    EXPECT_EQ(SeekConverter(&s.c, 0), 0);
    EXPECT_EQ(s.ReadAll(1001), whole) << "read in pieces after a seek back";
  }
}

// Each codec call failing at each use: the open fails and leaves nothing behind, or a
// read ends the sound early; the fixture checks that no block or stream is left.
TEST_F(SoundTest, FailuresReleaseWhatTheyMade) {
  const std::string ima = soundfiles::ImaAdpcmWav(Tone(8000, 1, 8000, 440), 1, 8000, 256);
  const std::string mp3 = soundfiles::Mp3(Tone(22050, 1, 11025, 440), 1, 22050, 32, false);
  struct Case {
    const char* what;
    const std::string* file;
    PlatCodecCall call;
    int from;
    int opens;        // 0 / -1
    bool readsWhole;  // when open
  } cases[] = {
      {"suggest", &ima, PLAT_CODEC_CALL_SUGGEST, 1, -1, false},
      {"main stream", &ima, PLAT_CODEC_CALL_OPEN, 1, -1, false},
      {"spare stream", &ima, PLAT_CODEC_CALL_OPEN, 2, -1, false},
      {"stream size", &ima, PLAT_CODEC_CALL_SIZE, 1, -1, false},
      {"prepare", &ima, PLAT_CODEC_CALL_PREPARE, 2, 0, false},
      {"convert", &ima, PLAT_CODEC_CALL_CONVERT, 2, 0, false},
      {"unprepare", &ima, PLAT_CODEC_CALL_UNPREPARE, 1, 0, false},
      {"MPEG audio: spare stream", &mp3, PLAT_CODEC_CALL_OPEN, 2, -1, false},
      {"MPEG audio: suggest", &mp3, PLAT_CODEC_CALL_SUGGEST, 1, -1, false},
      {"MPEG audio: metrics (the default size serves)", &mp3, PLAT_CODEC_CALL_METRICS, 1, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlatCodecFakeReset();
    OpenedSound whole(*c.file);
    ASSERT_EQ(whole.result, 0);
    const std::string pcm = whole.Whole();
    PlatCodecFakeFailFrom(c.call, c.from);
    {
      OpenedSound s(*c.file);
      ASSERT_EQ(s.result, c.opens);
      if (s.result == 0) {
        const std::string got = s.ReadAll();
        EXPECT_EQ(got == pcm, c.readsWhole);
        EXPECT_EQ(pcm.compare(0, got.size(), got), 0) << "what came is right";
        EXPECT_EQ(s.c.ended, 1);
      }
    }
    EXPECT_EQ(PlatCodecLiveStreams(), streamsBefore + 2) << "only the first converter's";
    PlatCodecFakeReset();
  }
}
