// The sound file writers: WAVE and Standard MIDI Files byte for byte against files
// worked out by hand, Ogg Vorbis read back with vorbisfile.
#include "engine/sound/writer/soundwriter.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(char(b));
  return s;
}

TEST(SoundWriterWav, PcmFileHeaderFieldByField) {
  const int16_t samples[3] = {1, -2, 0x1234};
  const std::string wav = WavPcmFile(1, 44100, 16, WavSampleBytes(samples, 3));
  // The RIFF size counts everything after it: "WAVE", 24 bytes of fmt, 14 of data.
  const std::string expected = std::string("RIFF") + B({42, 0, 0, 0}) + "WAVE" +  //
                               "fmt " + B({16, 0, 0, 0}) + B({1, 0, 1, 0}) +    // PCM, mono
                               B({0x44, 0xAC, 0, 0}) +                          // 44100 Hz
                               B({0x88, 0x58, 1, 0}) +                          // 88200 bytes a second
                               B({2, 0, 16, 0}) +                               // align 2, 16 bits
                               "data" + B({6, 0, 0, 0}) + B({1, 0, 0xFE, 0xFF, 0x34, 0x12});
  EXPECT_EQ(wav, expected);
  EXPECT_EQ(wav.size(), 50u);
}

TEST(SoundWriterWav, OddChunksArePaddedAndSizesMayBeGiven) {
  EXPECT_EQ(WavChunk("LIST", "abc"), std::string("LIST") + B({3, 0, 0, 0}) + "abc" + B({0}));
  // A size that lies (for files that test a reader) is written as given.
  EXPECT_EQ(WavChunk("data", "ab", 0x12345678), std::string("data") + B({0x78, 0x56, 0x34, 0x12}) + "ab");
  // Stereo 8-bit: block align 2, byte rate twice the rate; or a block align of one's own.
  EXPECT_EQ(WavPcmFmt(2, 8000, 8), B({1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 8, 0}));
  EXPECT_EQ(WavPcmFmt(2, 8000, 8, 5), B({1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0x40, 0x9C, 0, 0, 5, 0, 8, 0}));
  EXPECT_EQ(WavRiff({}), std::string("RIFF") + B({4, 0, 0, 0}) + "WAVE");
}

// Frames vorbisfile decodes from an Ogg Vorbis file in memory, or -1.
long DecodedFrames(const std::string& ogg, int* channels) {
  struct Reader {
    const std::string* bytes;
    size_t at;
  } reader = {&ogg, 0};
  const ov_callbacks callbacks = {
      [](void* out, size_t size, size_t count, void* source) -> size_t {
        auto* r = static_cast<Reader*>(source);
        const size_t n = std::min(size * count, r->bytes->size() - r->at);
        std::memcpy(out, r->bytes->data() + r->at, n);
        r->at += n;
        return size ? n / size : 0;
      },
      nullptr, nullptr, nullptr};
  OggVorbis_File vf;
  if (ov_open_callbacks(&reader, &vf, nullptr, 0, callbacks) != 0) return -1;
  *channels = ov_info(&vf, -1)->channels;
  long frames = 0, n = 0;
  char buffer[4096];
  int section = 0;
  while ((n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) frames += n / (2 * *channels);
  ov_clear(&vf);
  return n < 0 ? -1 : frames;
}

int Pages(const std::string& ogg) {
  int pages = 0;
  for (size_t at = ogg.find("OggS"); at != std::string::npos; at = ogg.find("OggS", at + 4)) pages++;
  return pages;
}

TEST(SoundWriterOgg, ExactLengthSerialAndPages) {
  std::vector<float> stereo(2 * 5000);
  for (size_t i = 0; i < stereo.size(); i++) stereo[i] = 0.5f * float(std::sin(0.05 * double(i / 2)));
  std::string sized, paged;
  ASSERT_EQ(OggVorbisEncode(stereo.data(), 5000, 2, 22050, 0.4f, 0x01020304, 0, &sized), 0);
  ASSERT_EQ(OggVorbisEncode(stereo.data(), 5000, 2, 22050, 0.4f, 0x01020304, 1000, &paged), 0);
  int channels = 0;
  // The last granule position trims the decoder to the frames given, whatever the
  // encoder's block size.
  EXPECT_EQ(DecodedFrames(sized, &channels), 5000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(DecodedFrames(paged, &channels), 5000);
  // The serial number stands little-endian at byte 14 of every page.
  EXPECT_EQ(sized.substr(14, 4), B({4, 3, 2, 1}));
  // Headers, then a page after each 1000 frames of input, against pages cut by size.
  EXPECT_GE(Pages(paged), 6);
  EXPECT_LT(Pages(sized), Pages(paged));
  // The same input gives the same bytes.
  std::string again;
  ASSERT_EQ(OggVorbisEncode(stereo.data(), 5000, 2, 22050, 0.4f, 0x01020304, 0, &again), 0);
  EXPECT_EQ(again, sized);
}

TEST(SoundWriterOgg, RefusedFormatsLeaveNothing) {
  const float one[2] = {0, 0};
  std::string out = "stale";
  EXPECT_EQ(OggVorbisEncode(one, 1, 0, 44100, 0.4f, 1, 0, &out), -1);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(OggVorbisEncode(one, 1, 1, 1000000, 0.4f, 1, 0, &out), -1);  // no mode that fast
  EXPECT_TRUE(out.empty());
}

TEST(SoundWriterSmf, VariableLengthQuantities) {
  const struct {
    uint32_t value;
    std::string bytes;
  } cases[] = {
      {0, B({0x00})},
      {0x40, B({0x40})},
      {0x7F, B({0x7F})},
      {0x80, B({0x81, 0x00})},
      {0x2000, B({0xC0, 0x00})},
      {0x3FFF, B({0xFF, 0x7F})},
      {0x4000, B({0x81, 0x80, 0x00})},
      {0x1FFFFF, B({0xFF, 0xFF, 0x7F})},
      {0x200000, B({0x81, 0x80, 0x80, 0x00})},
      {0x0FFFFFFF, B({0xFF, 0xFF, 0xFF, 0x7F})},
      {0xFFFFFFFF, B({0xFF, 0xFF, 0xFF, 0x7F})},  // cut to the 28 bits a file can hold
  };
  for (const auto& c : cases) EXPECT_EQ(SmfVarLen(c.value), c.bytes) << std::hex << c.value;
}

TEST(SoundWriterSmf, FileWithConductorAndANoteRepeatedOnItsOwnEnd) {
  SmfTrack conductor;
  SmfTempo(&conductor, 0, 500000);
  SmfTimeSignature(&conductor, 0, 3, 2);
  SmfTrack piano;
  // Added out of order: the second note first. At tick 480 the first note must end
  // before the second starts, or a reader would end the new note at once.
  SmfNote(&piano, 480, 480, 0, 60, 100);
  SmfNote(&piano, 0, 480, 0, 60, 90);
  SmfProgram(&piano, 0, 0, 5);
  SmfTrack empty;
  const std::string file = SmfFile(1, 480, {conductor, piano, empty});

  const std::string header = std::string("MThd") + B({0, 0, 0, 6, 0, 1, 0, 3, 0x01, 0xE0});
  const std::string track0 = B({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,        // tempo
                                0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,  // 3/4
                                0x00, 0xFF, 0x2F, 0x00});
  const std::string track1 = B({0x00, 0xC0, 0x05,                    // program before the note
                                0x00, 0x90, 60, 90,                  //
                                0x83, 0x60, 0x80, 60, 64,            // off at 480
                                0x00, 0x90, 60, 100,                 // on again at 480
                                0x83, 0x60, 0x80, 60, 64,            // off at 960
                                0x00, 0xFF, 0x2F, 0x00});            // ends with its last event
  const std::string track2 = B({0x00, 0xFF, 0x2F, 0x00});
  auto chunk = [&](const std::string& body) {
    return std::string("MTrk") + B({0, 0, 0, int(body.size())}) + body;
  };
  EXPECT_EQ(file, header + chunk(track0) + chunk(track1) + chunk(track2));
}

TEST(SoundWriterSmf, AnEndOfTrackGivenIsKeptLastAndNotDoubled) {
  SmfTrack t;
  SmfMeta(&t, 100, 0x2F, "");
  SmfControl(&t, 100, 2, 7, 99);
  const std::string file = SmfFile(0, 96, {t});
  EXPECT_EQ(file.substr(14), std::string("MTrk") + B({0, 0, 0, 8}) + B({0x64, 0xB2, 7, 99, 0x00, 0xFF, 0x2F, 0x00}));
}

}  // namespace
