// The sequencer and the synthesizer as a source of the mixer: on the manual output, what
// is heard and when (a note starts within one block of the synthesizer, the sound dies
// away after the end, a close silences it at once); on the headless output, the
// performance's segments with their repeats.
#include "engine/sound/writer/soundwriter.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"
#include "platform/audio/midi.h"
#include "platform/audio/midifake.h"
#include "platform/kernel/kernel.h"
#include "soundfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Sequencer : ::testing::Test {
  PlatAudioDevice* device = nullptr;
  std::string dir;
  std::vector<uint32_t> opened;

  void Open(const char* backend) {
    ASSERT_EQ(PlatAudioSelectBackend(backend), 0);
    ASSERT_EQ(PlatAudioCreate(&device), PLAT_DS_OK);
    ASSERT_EQ(PlatAudioInitialize(device, nullptr), PLAT_DS_OK);
  }
  void SetUp() override {
    PlatAudioFakeReset();
    PlatMidiFakeReset();
    PlatClockSetManual(1, 1000);
    char tmpl[] = "/tmp/kr_midi_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    for (uint32_t id : opened) PlatMciClose(id);
    PlatAudioRelease(device);
    EXPECT_EQ(PlatAudioLiveObjects(), 0);
    EXPECT_EQ(PlatMidiLiveObjects(), 0);
    PlatMidiFakeReset();
    PlatClockSetManual(0);
    std::filesystem::remove_all(dir);
  }

  // Opens a sequencer on the bytes and plays it without a notification.
  uint32_t Play(const std::string& bytes) {
    const std::string path = dir + "/song.mid";
    std::ofstream(path, std::ios::binary) << bytes;
    uint32_t id = 0;
    EXPECT_EQ(PlatMciOpenSequencer(path.c_str(), &id), PLAT_MCI_OK);
    if (id) opened.push_back(id);
    EXPECT_EQ(PlatMciPlay(id, 0, 0, 0), PLAT_MCI_OK);
    return id;
  }
  static std::vector<int16_t> Pull(uint32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(PlatAudioManualPull(frames, out.data()), int32_t(frames));
    return out;
  }
  static int Peak(const std::vector<int16_t>& pcm) {
    int peak = 0;
    for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
    return peak;
  }
};

// One note at a tick of a millisecond.
std::string OneNote(uint32_t atMs, uint32_t lengthMs, int program = 0) {
  SmfTrack t;
  SmfTempo(&t, 0, 1000000);
  SmfProgram(&t, 0, 0, program);
  SmfNote(&t, atMs, lengthMs, 0, 60, 110);
  return SmfFile(0, 1000, {t});
}

// The first frame of a note at atMs that passes -40 dBFS, pulled in stretches of 997
// frames so that they fall across the note's frame at different places; -1 when none
// does. (The very first frames of an attack are too faint to time it by.)
int64_t FirstHeard(uint32_t atMs) {
  const uint64_t due = uint64_t(atMs) * 441 / 10;
  std::vector<int16_t> pcm;
  while (pcm.size() < (due + 4000) * 2) {
    std::vector<int16_t> part(997 * 2);
    EXPECT_EQ(PlatAudioManualPull(997, part.data()), 997);
    pcm.insert(pcm.end(), part.begin(), part.end());
  }
  for (size_t i = 0; i < pcm.size() / 2; i++)
    if (std::abs(pcm[2 * i]) > 327 || std::abs(pcm[2 * i + 1]) > 327) return int64_t(i);
  return -1;
}

// A note at the very start begins a block: what it takes to pass -40 dBFS then is the
// instrument's own attack. A note at any other time may wait for the next block, no more.
TEST_F(Sequencer, ANoteSoundsWithinOneBlockOfItsTime) {
  Open("manual");
  auto heardAt = [&](uint32_t atMs) {
    const uint32_t id = Play(OneNote(atMs, 300));
    const int64_t heard = FirstHeard(atMs);
    EXPECT_EQ(PlatMciClose(id), PLAT_MCI_OK);
    opened.clear();
    return heard;
  };
  for (uint32_t atMs : {1000u, 1234u, 321u, 7u}) {
    SCOPED_TRACE(atMs);
    const int64_t attack = heardAt(0);
    ASSERT_GE(attack, 0);
    const int64_t due = int64_t(atMs) * 441 / 10;
    const int64_t heard = heardAt(atMs);
    EXPECT_GE(heard, due) << "nothing before its time";
    EXPECT_LT(heard, due + attack + int64_t(PLAT_MIDI_BLOCK_FRAMES));
  }
}

TEST_F(Sequencer, TheSoundDiesAwayAfterTheEnd) {
  Open("manual");
  Play(soundfiles::Midi(1000));
  EXPECT_GT(Peak(Pull(44100)), 300);
  // -60 dBFS is 32.8 of 32768: the first tenth of a second below it, within 3 s.
  int tenths = 0;
  while (tenths < 30 && Peak(Pull(4410)) >= 33) tenths++;
  EXPECT_LT(tenths, 30);
  EXPECT_LT(Peak(Pull(44100)), 33) << "and it stays so";
}

TEST_F(Sequencer, ACloseSilencesAtOnce) {
  Open("manual");
  const uint32_t id = Play(OneNote(0, 5000, 19));  // an organ holds its note
  EXPECT_GT(Peak(Pull(22050)), 300);
  ASSERT_EQ(PlatMciClose(id), PLAT_MCI_OK);
  opened.clear();
  EXPECT_EQ(Peak(Pull(4096)), 0);
  uint32_t port = 0;
  EXPECT_EQ(PlatMciStatusPort(id, &port), PLAT_MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(PlatMciPlay(id, 0, 0, 0), PLAT_MCIERR_INVALID_DEVICE_ID);
}

TEST_F(Sequencer, OpenRefusesWhatItCannotPlay) {
  Open("manual");
  const std::string wav = dir + "/tone.wav";
  std::ofstream(wav, std::ios::binary) << soundfiles::PcmWav(1, 8000, 16, std::string(100, '\0'));
  uint32_t id = 7;
  EXPECT_EQ(PlatMciOpenSequencer(wav.c_str(), &id), PLAT_MCIERR_INVALID_FILE);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(PlatMciOpenSequencer((dir + "/none.mid").c_str(), &id), PLAT_MCIERR_FILE_NOT_FOUND);
  EXPECT_EQ(PlatMidiLiveObjects(), 0);
}

// A segment plays once and then as many times again as its repeats say, each in place of
// the one before; its length is the song's.
TEST_F(Sequencer, SegmentsPlayTheirRepeatsAndReplaceOneAnother) {
  PlatDmPerformance* performance = nullptr;
  PlatDmLoader* loader = nullptr;
  ASSERT_EQ(PlatAudioSelectBackend("headless"), 0);
  ASSERT_EQ(PlatDmPerformanceCreate(&performance), PLAT_DM_OK);
  ASSERT_EQ(PlatDmPerformanceInitAudio(performance, &device), PLAT_DM_OK);
  ASSERT_EQ(PlatDmLoaderCreate(&loader), PLAT_DM_OK);
  const std::string song = soundfiles::Midi(500);
  PlatDmSegment *a = nullptr, *b = nullptr;
  ASSERT_EQ(PlatDmLoaderGetObject(loader, song.data(), song.size(), &a), PLAT_DM_OK);
  EXPECT_EQ(PlatDmLoaderGetObject(loader, "RIFF", 4, &b), PLAT_DMERR_UNSUPPORTED);
  EXPECT_EQ(b, nullptr);
  ASSERT_EQ(PlatDmLoaderGetObject(loader, song.data(), song.size(), &b), PLAT_DM_OK);

  ASSERT_EQ(PlatDmSegmentSetRepeats(a, 2), PLAT_DM_OK);
  ASSERT_EQ(PlatDmPerformancePlaySegmentEx(performance, a), PLAT_DM_OK);
  PlatClockAdvance(1499);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, a), PLAT_DM_OK);
  PlatClockAdvance(1);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, a), PLAT_DM_FALSE);

  ASSERT_EQ(PlatDmSegmentSetRepeats(a, PLAT_DM_REPEAT_INFINITE), PLAT_DM_OK);
  ASSERT_EQ(PlatDmPerformancePlaySegmentEx(performance, a), PLAT_DM_OK);
  PlatClockAdvance(10000);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, a), PLAT_DM_OK);
  ASSERT_EQ(PlatDmPerformancePlaySegmentEx(performance, b), PLAT_DM_OK);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, a), PLAT_DM_FALSE);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, b), PLAT_DM_OK);
  EXPECT_EQ(PlatDmPerformanceStopEx(performance, a), PLAT_DM_OK) << "not the one playing: nothing";
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, b), PLAT_DM_OK);
  EXPECT_EQ(PlatDmPerformanceStopEx(performance, b), PLAT_DM_OK);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, b), PLAT_DM_FALSE);

  // Released by both holders, a playing segment stops.
  ASSERT_EQ(PlatDmPerformancePlaySegmentEx(performance, a), PLAT_DM_OK);
  EXPECT_EQ(PlatDmLoaderReleaseObject(loader, a), PLAT_DM_OK);
  EXPECT_EQ(PlatDmLoaderReleaseObject(loader, a), PLAT_DM_FALSE);
  PlatDmSegmentRelease(a);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(performance, b), PLAT_DM_FALSE);

  PlatDmSegmentRelease(b);
  PlatDmLoaderRelease(loader);
  EXPECT_EQ(PlatDmPerformanceCloseDown(performance), PLAT_DM_OK);
  PlatDmPerformanceRelease(performance);
}

}  // namespace
