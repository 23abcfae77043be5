// The codec streams on their own: formats they take and refuse, blocks worked by hand,
// G.711 against sox, and conversions into destinations of every size.
#include "converter_fixture.h"
#include "platform/audio/codec.h"

#include <memory>

namespace {

using soundfiles::Bytes;
using soundfiles::Samples;

std::string Le16(uint32_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// A format record followed by its extra bytes, in one block as the codecs take it.
struct Format {
  std::string bytes;
  const PlatWaveFormat* get() const { return reinterpret_cast<const PlatWaveFormat*>(bytes.data()); }
};

Format Make(uint16_t tag, int channels, int rate, int blockAlign, int bits, const std::string& extra) {
  Format f;
  f.bytes = Le16(tag) + Le16(uint32_t(channels)) + Le32(uint32_t(rate)) + Le32(uint32_t(rate)) +
            Le16(uint32_t(blockAlign)) + Le16(uint32_t(bits)) + Le16(uint32_t(extra.size())) + extra;
  return f;
}

const int16_t kStandardPairs[7][2] = {{256, 0},   {512, -256}, {0, 0},     {192, 64},
                                      {240, 0},   {460, -208}, {392, -232}};

// MS ADPCM extra bytes: samples per block, the pair count and the pairs.
std::string MsExtra(int samplesPerBlock, int pairs) {
  std::string s = Le16(uint32_t(samplesPerBlock)) + Le16(uint32_t(pairs));
  for (int i = 0; i < pairs; i++)
    s += Le16(uint16_t(kStandardPairs[i % 7][0])) + Le16(uint16_t(kStandardPairs[i % 7][1]));
  return s;
}

Format MsFormat(int channels, int blockAlign) {
  return Make(PLAT_WAVE_FORMAT_MSADPCM, channels, 8000, blockAlign, 4,
              MsExtra((blockAlign - 7 * channels) * 2 / channels + 2, 7));
}
Format ImaFormat(int channels, int blockAlign) {
  return Make(PLAT_WAVE_FORMAT_IMAADPCM, channels, 8000, blockAlign, 4,
              Le16(uint32_t((blockAlign - 4 * channels) / (4 * channels) * 8 + 1)));
}

PlatWaveFormat Suggested(const Format& f) {
  PlatWaveFormat pcm = {};
  pcm.formatTag = PLAT_WAVE_FORMAT_PCM;
  EXPECT_EQ(PlatCodecFormatSuggest(f.get(), &pcm, sizeof pcm, PLAT_CODEC_SUGGEST_TAG), 0);
  return pcm;
}

// One conversion through a prepared header.
int Convert(PlatCodecStream s, const std::string& source, unsigned char* out, uint32_t outSize,
            uint32_t flags, uint32_t* taken, uint32_t* made) {
  PlatCodecStreamHeader h = {};
  h.source = reinterpret_cast<const unsigned char*>(source.data());
  h.sourceLength = uint32_t(source.size());
  h.destination = out;
  h.destinationLength = outSize;
  if (PlatCodecStreamPrepareHeader(s, &h) != 0) return -1;
  const int r = PlatCodecStreamConvert(s, &h, flags);
  PlatCodecStreamUnprepareHeader(s, &h);
  *taken = h.sourceLengthUsed;
  *made = h.destinationLengthUsed;
  return r;
}

// Decodes a whole source the way the converter does (pieces of `piece` bytes, whole
// blocks but for the last piece) into destinations of exactly `room` bytes, each its own
// allocation so that a write past it is caught. Checks every call against the stream
// size and the destination.
std::string Drive(const Format& f, const std::string& source, uint32_t piece, uint32_t room) {
  PlatCodecStream s = nullptr;
  const PlatWaveFormat pcm = Suggested(f);
  EXPECT_EQ(PlatCodecStreamOpen(&s, f.get(), &pcm, 0), 0);
  std::string out;
  size_t at = 0;
  for (int idle = 0; at < source.size() && idle < 2;) {
    const std::string chunk = source.substr(at, piece);
    const uint32_t flags = at + chunk.size() == source.size() ? PLAT_CODEC_CONVERT_END
                                                               : PLAT_CODEC_CONVERT_BLOCKALIGN;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[room ? room : 1]);
    uint32_t taken = 0, made = 0;
    EXPECT_EQ(Convert(s, chunk, buffer.get(), room, flags, &taken, &made), 0);
    EXPECT_LE(taken, chunk.size());
    EXPECT_LE(made, room);
    uint64_t bound = 0;
    EXPECT_EQ(PlatCodecStreamSize(s, uint32_t(chunk.size()), &bound, PLAT_CODEC_SIZE_SOURCE), 0);
    EXPECT_GE(bound, made) << "piece of " << chunk.size();
    out.append(reinterpret_cast<char*>(buffer.get()), made);
    at += taken;
    idle = taken || made ? 0 : idle + 1;
  }
  EXPECT_EQ(at, source.size()) << "the whole source is taken";
  PlatCodecStreamClose(s);
  return out;
}

}  // namespace

TEST_F(SoundTest, CodecFormatsTakenAndRefused) {
  struct Case {
    const char* what;
    Format format;
    int result;
  } cases[] = {
      {"MS ADPCM mono", MsFormat(1, 256), 0},
      {"MS ADPCM stereo, 4096-byte blocks", MsFormat(2, 4096), 0},
      {"MS ADPCM, 8 pairs", Make(2, 1, 8000, 256, 4, MsExtra(500, 8)), 0},
      {"MS ADPCM, 6 pairs", Make(2, 1, 8000, 256, 4, MsExtra(500, 6)), -1},
      {"MS ADPCM, pairs past the extra bytes",
       Make(2, 1, 8000, 256, 4, MsExtra(500, 7).substr(0, 28)), -1},
      {"MS ADPCM, samples per block off by one", Make(2, 1, 8000, 256, 4, MsExtra(501, 7)), -1},
      {"MS ADPCM, 3 channels", Make(2, 3, 8000, 258, 4, MsExtra(160, 7)), -1},
      {"MS ADPCM, 3 bits", Make(2, 1, 8000, 256, 3, MsExtra(500, 7)), -1},
      {"MS ADPCM, block smaller than its header", Make(2, 2, 8000, 13, 4, MsExtra(2, 7)), -1},
      {"IMA ADPCM mono", ImaFormat(1, 256), 0},
      {"IMA ADPCM stereo", ImaFormat(2, 2048), 0},
      {"IMA ADPCM, no samples-per-block field", Make(0x11, 1, 8000, 256, 4, ""), 0},
      {"IMA ADPCM, samples per block off by one", Make(0x11, 1, 8000, 256, 4, Le16(506)), -1},
      {"IMA ADPCM, block not whole groups", Make(0x11, 2, 8000, 260, 4, Le16(0)), -1},
      {"IMA ADPCM, 0 channels", Make(0x11, 0, 8000, 256, 4, Le16(505)), -1},
      {"IMA ADPCM, 8 bits", Make(0x11, 1, 8000, 256, 8, Le16(505)), -1},
      {"A-law stereo", Make(6, 2, 8000, 2, 8, ""), 0},
      {"mu-law, block align ignored", Make(7, 1, 8000, 0, 8, ""), 0},
      {"mu-law, 16 bits", Make(7, 1, 8000, 2, 16, ""), -1},
      {"MPEG audio", Make(0x55, 2, 44100, 1, 0, std::string(12, '\0')), 0},
      {"PCM is not a codec's", Make(1, 2, 44100, 4, 16, ""), -1},
      {"unknown tag", Make(0x161, 2, 44100, 4, 16, ""), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlatWaveFormat pcm = {};
    pcm.formatTag = PLAT_WAVE_FORMAT_PCM;
    EXPECT_EQ(PlatCodecFormatSuggest(c.format.get(), &pcm, sizeof pcm, PLAT_CODEC_SUGGEST_TAG), c.result);
    PlatCodecStream s = nullptr;
    EXPECT_EQ(PlatCodecStreamOpen(&s, c.format.get(), &pcm, 0), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(pcm.formatTag, PLAT_WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm.channels, c.format.get()->channels);
    EXPECT_EQ(pcm.samplesPerSec, c.format.get()->samplesPerSec);
    EXPECT_EQ(pcm.bitsPerSample, 16);
    EXPECT_EQ(pcm.blockAlign, pcm.channels * 2);
    EXPECT_EQ(pcm.avgBytesPerSec, pcm.samplesPerSec * pcm.blockAlign);
    EXPECT_EQ(PlatCodecStreamClose(s), 0);
  }
  uint32_t largest = 0;
  EXPECT_EQ(PlatCodecMaxFormatSize(&largest), 0);
  EXPECT_EQ(largest, 50u);
  EXPECT_EQ(uint32_t(MsFormat(1, 256).bytes.size()), largest);
}

TEST_F(SoundTest, AdpcmBlocksWorkedByHand) {
  struct Case {
    const char* what;
    Format format;
    std::string block;
    std::vector<int16_t> pcm;
  } cases[] = {
      // Pair 1 (512, -256), delta 16, newer sample 3, older 1; nibbles 1 and -1.
      // (3*512 - 1*256) >> 8 = 5, + 1*16 = 21; delta 230*16 >> 8 = 14, raised to 16.
      // (21*512 - 3*256) >> 8 = 39, - 16 = 23.
      {"MS ADPCM, pair 1", MsFormat(1, 8), std::string("\x01\x10\x00\x03\x00\x01\x00\x1F", 8),
       {1, 3, 21, 23}},
      // Pair 4 (240, 0) on a negative sample: -3*240 = -720, and -720 >> 8 is -3 (a
      // division by 256 would give -2).
      {"MS ADPCM, a negative sum", MsFormat(1, 8),
       std::string("\x04\x10\x00\xFD\xFF\x00\x00\x00", 8), {0, -3, -3, -3}},
      // Stereo: the high nibble is the left channel's. Left pair 0 (256, 0) delta 32,
      // 100 and 50: 100 + 2*32 = 164. Right pair 2 (0, 0) delta 16: 0 - 8*16 = -128.
      {"MS ADPCM, stereo", MsFormat(2, 15),
       std::string("\x00\x02\x20\x00\x10\x00\x64\x00\x00\x00\x32\x00\x00\x00\x28", 15),
       {50, 0, 100, 0, 164, -128}},
      // Sample 0, step index 0; nibble 7: 0 + 7 + 3 + 1 (step 7) = 11, index 8; then
      // nibble 0 adds step >> 3 of steps 16, 14, 13, 12, 11, 10, 9 as the index falls.
      {"IMA ADPCM", ImaFormat(1, 8), std::string("\x00\x00\x00\x00\x07\x00\x00\x00", 8),
       {0, 11, 13, 14, 15, 16, 17, 18, 19}},
      // A header that names a predictor or a step outside the tables: a silent block.
      {"MS ADPCM, predictor 7 of 7", MsFormat(1, 8), std::string("\x07\x10\x00\x03\x00\x01\x00\x1F", 8),
       {0, 0, 0, 0}},
      {"IMA ADPCM, step index 89", ImaFormat(1, 8), std::string("\x10\x00\x59\x00\x77\x77\x77\x77", 8),
       std::vector<int16_t>(9, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Samples(Drive(c.format, c.block, 2048, 4096)), c.pcm);
  }
}

// The expansions of all 256 codes, against sox's, with the values the G.711 tables give
// for a few codes.
TEST_F(SoundTest, G711ExpandsEveryCodeAsSoxDoes) {
  std::string codes;
  for (int i = 0; i < 256; i++) codes.push_back(char(i));
  struct Case {
    uint16_t tag;
    const char* name;
    std::vector<std::pair<int, int16_t>> known;
  } cases[] = {
      {PLAT_WAVE_FORMAT_MULAW, "mu-law", {{0x00, -32124}, {0x80, 32124}, {0xFF, 0}, {0x7F, 0}}},
      {PLAT_WAVE_FORMAT_ALAW, "A-law", {{0xD5, 8}, {0x55, -8}, {0xAA, 32256}, {0x2A, -32256}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Format f = Make(c.tag, 1, 8000, 1, 8, Le16(0).substr(0, 0));
    const std::vector<int16_t> ours = Samples(Drive(f, codes, 2048, 4096));
    ASSERT_EQ(ours.size(), 256u);
    for (const auto& [code, value] : c.known) EXPECT_EQ(ours[size_t(code)], value) << code;
    const std::string wav = soundfiles::Riff(
        {soundfiles::Chunk("fmt ", f.bytes.substr(0, 18)), soundfiles::Chunk("data", codes)});
    EXPECT_EQ(soundfiles::SoxDecode(wav), ours);
  }
}

// Destinations from none to more than enough, and source pieces of odd sizes: each call
// stays inside its destination and its stream size, the whole source is taken, and the
// PCM is the same as in one go.
TEST_F(SoundTest, ConversionsFitAnyDestination) {
  using soundfiles::Tone;
  const std::string mono = soundfiles::PcmWav(1, 8000, 16, Bytes(Tone(8000, 1, 3000, 440)));
  const std::string stereo = soundfiles::PcmWav(2, 8000, 16, Bytes(Tone(8000, 2, 3000, 440)));
  auto data = [](const std::string& wav) {
    const size_t at = wav.rfind("data");
    return wav.substr(at + 8);
  };
  auto fmt = [](const std::string& wav) {
    Format f;
    const size_t size = uint8_t(wav[16]) | (uint8_t(wav[17]) << 8);
    f.bytes = wav.substr(20, size);
    if (size < 18) f.bytes += Le16(0);
    return f;
  };
  struct Source {
    const char* what;
    std::string wav;
  };
  std::vector<Source> sources = {
      {"MS ADPCM mono", soundfiles::CutWavTail(soundfiles::SoxEncode(mono, "ms-adpcm"), 37)},
      {"IMA ADPCM stereo", soundfiles::CutWavTail(soundfiles::SoxEncode(stereo, "ima-adpcm"), 101)},
      {"A-law stereo", soundfiles::SoxEncode(stereo, "a-law")},
  };
  for (const Source& s : sources) {
    SCOPED_TRACE(s.what);
    ASSERT_FALSE(s.wav.empty()) << "sox";
    const Format f = fmt(s.wav);
    const std::string src = data(s.wav);
    const std::string whole = Drive(f, src, uint32_t(src.size()), 1 << 20);
    EXPECT_FALSE(whole.empty());
    // Every room holds at least one block's PCM (IMA stereo: 2020 bytes), and every piece
    // at least one block, as the converter gives them.
    for (uint32_t room : {2020u, 2021u, 4097u}) {
      for (uint32_t piece : {512u, 2048u, 3001u}) {
        SCOPED_TRACE(testing::Message() << "room " << room << ", pieces of " << piece);
        EXPECT_EQ(Drive(f, src, piece, room), whole);
      }
    }
  }

  // MPEG audio: the frames of a lame file; the frame that does not fit waits, and the
  // last byte is held back while it does.
  const std::string mp3 = soundfiles::Mp3(Tone(22050, 2, 22050, 440), 2, 22050, 64, false);
  ASSERT_FALSE(mp3.empty());
  const Format f = Make(0x55, 2, 22050, 1, 0, std::string(12, '\0'));
  const std::string whole = Drive(f, mp3, uint32_t(mp3.size()), 8 << 20);
  EXPECT_EQ(whole.size() % (576 * 4), 0u);
  EXPECT_GT(whole.size(), 22050u * 4 - 576 * 4);
  for (uint32_t room : {1u, 333u, 2304u, 5000u}) {
    for (uint32_t piece : {1u, 100u, 2048u}) {
      SCOPED_TRACE(testing::Message() << "MPEG audio: room " << room << ", pieces of " << piece);
      if (piece == 1 && room < 2304) continue;  // slow, and no different from 100
      EXPECT_EQ(Drive(f, mp3, piece, room), whole);
    }
  }
}

TEST_F(SoundTest, HeadersMustBePreparedAndTheFakeFailsCallsOnRequest) {
  const Format f = ImaFormat(1, 8);
  const PlatWaveFormat pcm = Suggested(f);
  PlatCodecStream s = nullptr;
  ASSERT_EQ(PlatCodecStreamOpen(&s, f.get(), &pcm, 0), 0);
  EXPECT_EQ(PlatCodecLiveStreams(), streamsBefore + 1);
  unsigned char out[64];
  PlatCodecStreamHeader h = {};
  const std::string block(8, '\0');
  h.source = reinterpret_cast<const unsigned char*>(block.data());
  h.sourceLength = 8;
  h.destination = out;
  h.destinationLength = sizeof out;
  EXPECT_EQ(PlatCodecStreamConvert(s, &h, 0), -1) << "not prepared";
  EXPECT_EQ(PlatCodecStreamUnprepareHeader(s, &h), -1) << "not prepared";
  ASSERT_EQ(PlatCodecStreamPrepareHeader(s, &h), 0);
  EXPECT_EQ(PlatCodecStreamPrepareHeader(s, &h), -1) << "prepared twice";
  EXPECT_EQ(PlatCodecStreamConvert(s, &h, 0), 0);
  EXPECT_TRUE(h.status & PLAT_CODEC_HEADER_DONE);
  EXPECT_EQ(h.destinationLengthUsed, 18u);
  EXPECT_EQ(PlatCodecStreamUnprepareHeader(s, &h), 0);

  PlatCodecFakeFailFrom(PLAT_CODEC_CALL_PREPARE, 2);
  EXPECT_EQ(PlatCodecStreamPrepareHeader(s, &h), 0);
  EXPECT_EQ(PlatCodecStreamUnprepareHeader(s, &h), 0);
  EXPECT_EQ(PlatCodecStreamPrepareHeader(s, &h), -1);
  EXPECT_EQ(PlatCodecStreamPrepareHeader(s, &h), -1) << "and every use after";
  PlatCodecFakeFailFrom(PLAT_CODEC_CALL_PREPARE, 0);
  EXPECT_EQ(PlatCodecStreamPrepareHeader(s, &h), 0);
  EXPECT_EQ(PlatCodecFakeCount(PLAT_CODEC_CALL_PREPARE), 6);
  EXPECT_EQ(PlatCodecStreamClose(s), 0);

  PlatCodecFakeFailFrom(PLAT_CODEC_CALL_OPEN, 1);
  EXPECT_EQ(PlatCodecStreamOpen(&s, f.get(), &pcm, 0), -1);
  EXPECT_EQ(s, nullptr);
  PlatCodecFakeFailFrom(PLAT_CODEC_CALL_METRICS, 1);
  uint32_t largest = 0;
  EXPECT_EQ(PlatCodecMaxFormatSize(&largest), -1);
}
