// Music handles and music files on the headless output and the manual clock: the
// sequencer device's plays, its end notification through the window procedure, loops and
// stops, the temporary file, the fallback to stream sounds, the failures of a play, and
// the performance mode's segments.
#include "music_fixture.h"

#include <filesystem>

namespace {

using Music = MusicTest;

TEST_F(Music, BackgroundPlayEndsAtTheNotificationAndClosesTheDevice) {
  const std::string mid = MidiFile("two.mid", 2000);
  ASSERT_EQ(PlayMusicFileCore(mid.c_str(), 1), 0);
  EXPECT_EQ(IsMusicFilePlayingCore(), 1);
  EXPECT_TRUE(TempFileExists());
  EXPECT_EQ(PlatMidiLiveObjects(), 1);  // the sequencer device
  const std::string temp = g_SequencerMusic.tempPath;
  const uint32_t ms = PumpWhile([] { return IsMusicFilePlayingCore() == 1; }, 3000);
  EXPECT_GE(ms, 2000u);
  EXPECT_LE(ms, 2002u);
  EXPECT_EQ(g_SequencerMusic.deviceId, 0u);
  EXPECT_EQ(PlatMidiLiveObjects(), 0) << "the notification closed the device";
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_PLAY), 1);
  // The file stays until the play is stopped.
  EXPECT_TRUE(std::filesystem::exists(temp));
  EXPECT_EQ(StopMusicFileCore(), 0);
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(Music, LoopRestartsAtEachNotificationUntilStoppedAndNotAfter) {
  const std::string mid = MidiFile("two.mid", 2000);
  ASSERT_EQ(PlayMusicFileCore(mid.c_str(), 3), 0);
  const std::string temp = g_SequencerMusic.tempPath;
  EXPECT_EQ(PumpWhile([] { return IsMusicFilePlayingCore() == 1; }, 5000), 5000u);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_PLAY), 3);  // at 0, 2 s and 4 s
  EXPECT_EQ(StopMusicFileCore(), 0);
  EXPECT_EQ(g_SequencerMusic.loop, 0);
  EXPECT_EQ(IsMusicFilePlayingCore(), 0);
  EXPECT_FALSE(std::filesystem::exists(temp));
  PumpFor(3000);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_PLAY), 3);
  EXPECT_EQ(PlatMidiLiveObjects(), 0);
}

// The end of the first music is told (queued) just as the second one starts: the stale
// notification is taken back with the first device and neither ends nor restarts the
// second.
TEST_F(Music, SecondMusicStopsTheFirstAndAQueuedNotificationOfTheFirstIsGone) {
  const std::string first = MidiFile("first.mid", 2000);
  const std::string second = MidiFile("second.mid", 1000);
  ASSERT_EQ(PlayMusicFileCore(first.c_str(), 3), 0);
  const std::string firstTemp = g_SequencerMusic.tempPath;
  PlatClockAdvance(2000);
  PlatAudioService();  // the first one's end is posted and not yet taken
  ASSERT_EQ(PlayMusicFileCore(second.c_str(), 1), 0);
  EXPECT_FALSE(std::filesystem::exists(firstTemp));
  EXPECT_EQ(PlatMidiLiveObjects(), 1);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_CLOSE), 1);
  const uint32_t ms = PumpWhile([] { return IsMusicFilePlayingCore() == 1; }, 3000);
  EXPECT_GE(ms, 1000u);
  EXPECT_LE(ms, 1002u);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_PLAY), 2) << "no restart of either";
}

TEST_F(Music, WaitingPlayReturnsAtTheEndAndTakesItsFileAway) {
  const std::string mid = MidiFile("two.mid", 2000);
  const uint32_t start = PlatTimeMs();
  ASSERT_EQ(PlayMusicFileCore(mid.c_str(), 0), 0);
  EXPECT_GE(PlatTimeMs() - start, 2000u);
  EXPECT_LE(PlatTimeMs() - start, 2003u);
  EXPECT_EQ(IsMusicFilePlayingCore(), 0);
  EXPECT_FALSE(TempFileExists());
  EXPECT_EQ(g_SequencerMusic.tempFileFlag, 0);
}

// Ogg Vorbis and WAVE files are no MIDI: the sequencer refuses them at its open and they
// play as stream sounds, whose state the music file reports.
TEST_F(Music, SampledFilesPlayAsStreamSounds) {
  const auto tone = soundfiles::Tone(44100, 2, 44100, 440);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"tone.wav", soundfiles::PcmWav(2, 44100, 16, soundfiles::Bytes(tone))},
      {"tone.ogg", soundfiles::OggVorbis(tone, 2, 44100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlatMidiFakeReset();
    const std::string path = WriteFile(c.name, c.bytes);
    ASSERT_EQ(PlayMusicFileCore(path.c_str(), 1), 0);
    EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_OPEN), 1);
    EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_MCI_STATUS), 0);
    EXPECT_FALSE(TempFileExists());
    EXPECT_EQ(g_CurrentMusicFile.isSound, 1);
    ASSERT_NE(GetSoundRecord(g_CurrentMusicFile.handle), nullptr);
    EXPECT_EQ(GetSoundRecord(g_CurrentMusicFile.handle)->kind, SOUND_KIND_STREAM);
    EXPECT_EQ(GetMusicCount(), 0);
    EXPECT_EQ(IsMusicFilePlayingCore(), 1);
    const uint32_t ms = PumpWhile([] { return IsMusicFilePlayingCore() == 1; }, 3000);
    EXPECT_GE(ms, 1000u);
    EXPECT_LT(ms, 1200u);
    EXPECT_EQ(StopMusicFileCore(), 0);
    EXPECT_EQ(GetSoundCount(), 0);
  }
}

struct PlayFailure {
  const char* name;
  void (*arrange)();
  const char* line;  // null: none
};

// Every failure of a sequencer play closes the device and takes the temporary file away.
TEST_F(Music, SequencerPlayFailuresLogTheirLineAndLeaveNoFileNorDevice) {
  const PlayFailure cases[] = {
      {"open", [] { PlatMidiFakeFailFrom(PLAT_MIDI_CALL_MCI_OPEN, 1); }, nullptr},
      {"port status", [] { PlatMidiFakeFailFrom(PLAT_MIDI_CALL_MCI_STATUS, 1); }, "ＭＩＤＩ演奏開始処理でエラーが起きました１\r\n"},
      {"a port other than the mapper", [] { PlatMidiFakeSetPort(0); }, "ＭＩＤＩ演奏開始処理でエラーが起きました２\r\n"},
      {"play", [] { PlatMidiFakeFailFrom(PLAT_MIDI_CALL_MCI_PLAY, 1); }, "ＭＩＤＩ演奏に失敗しました\r\n"},
  };
  const std::string mid = MidiFile("two.mid", 2000);
  const int32_t music = LoadMusicMem(mid.c_str());
  ASSERT_NE(music, -1);
  for (const PlayFailure& c : cases) {
    SCOPED_TRACE(c.name);
    PlatMidiFakeReset();
    const size_t logBefore = ReadLog().size();
    c.arrange();
    EXPECT_EQ(PlayMusicHandle(music, 1), -1);
    const std::string written = ReadLog().substr(logBefore);
    if (c.line) {
      EXPECT_NE(written.find(c.line), std::string::npos) << written;
    } else {
      EXPECT_EQ(written, "");
    }
    EXPECT_FALSE(TempFileExists());
    EXPECT_EQ(g_SequencerMusic.tempFileFlag, 0);
    EXPECT_EQ(PlatMidiLiveObjects(), 0);
    EXPECT_EQ(IsMusicHandlePlaying(music), 0);
  }
  EXPECT_EQ(DeleteMusicHandle(music), 0);
}

TEST_F(Music, WithoutTheSoundFontAMidiFileFailsWithOneLine) {
  PlatMidiSetSoundFontPath((dir + "/missing.sf2").c_str());
  const std::string mid = MidiFile("two.mid", 2000);
  EXPECT_EQ(PlayMusicFileCore(mid.c_str(), 1), -1);
  EXPECT_EQ(g_CurrentMusicFile.handle, 0);
  EXPECT_FALSE(TempFileExists());
  // One line from the sequencer.
  size_t lines = 0;
  for (size_t at = 0; (at = debugLines.find("midi:", at)) != std::string::npos; at++) lines++;
  EXPECT_EQ(lines, 1u) << debugLines;
  EXPECT_NE(debugLines.find("missing.sf2 is missing"), std::string::npos) << debugLines;
}

TEST_F(Music, HandleTableTakesTheSlotsInTurnAndRefusesThe257th) {
  std::vector<int32_t> handles;
  const std::string mid = soundfiles::Midi(100);
  for (int i = 0; i < MUSIC_TABLE_SIZE; i++) {
    const int32_t music = LoadMusicFromMemory(mid.data(), int32_t(mid.size()));
    ASSERT_NE(music, -1);
    EXPECT_EQ(music & 0x78000000, 0x58000000);
    EXPECT_EQ(music & 0xFFFF, i);
    handles.push_back(music);
  }
  EXPECT_EQ(AddMusicData(), -1);
  EXPECT_TRUE(LogHas("ミュージックデータの数が許容量を越えました終了します"));
  // A freed slot below the top is taken again, with a new check value.
  ASSERT_EQ(DeleteMusicHandle(handles[10]), 0);
  EXPECT_EQ(IsMusicHandlePlaying(handles[10]), -1);
  const int32_t again = AddMusicData();
  EXPECT_EQ(again & 0xFFFF, 10);
  EXPECT_NE(again, handles[10]);
  EXPECT_EQ(DeleteAllMusic(), 0);
  EXPECT_EQ(GetMusicCount(), 0);
  EXPECT_EQ(GetMusicHighWater(), 0);
}

TEST_F(Music, MissingFileAndStoppedSystemGiveMinusOne) {
  EXPECT_EQ(LoadMusicMem((dir + "/none.mid").c_str()), -1);
  EXPECT_TRUE(LogHas("の読み込みに失敗しました in LoadMusicMem"));
  EXPECT_EQ(PlayMusicFileCore((dir + "/none.mid").c_str(), 1), -1);
  EndSoundSystem();
  const std::string mid = MidiFile("two.mid", 2000);
  EXPECT_EQ(LoadMusicMem(mid.c_str()), -1);
  EXPECT_EQ(PlayMusicFileCore(mid.c_str(), 1), -1);
  EXPECT_EQ(UpdateMusicPlayStates(), -1);
}

// ---- the performance mode -------------------------------------------------------------

struct PerformanceMusic : MusicTest {
  void SetUp() override {
    MusicTest::SetUp();
    SetMusicMode(MUSIC_MODE_PERFORMANCE);
    EndSoundSystem();
    ASSERT_EQ(InitSoundSystem(), 0);
    ASSERT_EQ(GetMusicMode(), MUSIC_MODE_PERFORMANCE);
  }
};

TEST_F(PerformanceMusic, SegmentsPlayLoopAndStopAndThePumpSeesTheirEnd) {
  const std::string mid = MidiFile("two.mid", 2000);
  const int32_t music = LoadMusicMem(mid.c_str());
  ASSERT_NE(music, -1);
  ASSERT_NE(GetMusicRecord(music)->segment, nullptr);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_LOADER_CLEAR_CACHE), 1);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_SEGMENT_SET_PARAM), 1);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_SEGMENT_DOWNLOAD), 1);

  ASSERT_EQ(PlayMusicHandle(music, 1), 0);
  EXPECT_FALSE(TempFileExists());
  EXPECT_EQ(IsMusicHandlePlaying(music), 1);
  uint32_t ms = PumpWhile([&] { return IsMusicHandlePlaying(music) == 1; }, 3000);
  EXPECT_GE(ms, 2000u);
  EXPECT_LE(ms, 2002u);
  EXPECT_EQ(GetMusicRecord(music)->started, 1);

  ASSERT_EQ(PlayMusicHandle(music, 3), 0);
  EXPECT_EQ(PumpWhile([&] { return IsMusicHandlePlaying(music) == 1; }, 5000), 5000u);
  EXPECT_EQ(StopMusicHandle(music), 0);
  EXPECT_EQ(IsMusicHandlePlaying(music), 0);
  EXPECT_EQ(PlatDmPerformanceIsPlaying(g_Sound.performance, GetMusicRecord(music)->segment), PLAT_DM_FALSE);
  // The waiting play returns at the end.
  const uint32_t start = PlatTimeMs();
  ASSERT_EQ(PlayMusicHandle(music, 0), 0);
  EXPECT_GE(PlatTimeMs() - start, 2000u);
  EXPECT_LE(PlatTimeMs() - start, 2003u);

  ASSERT_EQ(DeleteMusicHandle(music), 0);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_SEGMENT_UNLOAD), 1);
  EXPECT_EQ(PlatMidiFakeCount(PLAT_MIDI_CALL_LOADER_RELEASE_OBJECT), 1);
  EXPECT_EQ(PlatMidiLiveObjects(), 2) << "the segment went; the loader and the performance stay";
}

TEST_F(PerformanceMusic, AFileThatIsNotMidiFailsToLoadAndAFailedPlayIsNoPlay) {
  const std::string wav = WriteFile("tone.wav", soundfiles::PcmWav(1, 8000, 16, std::string(800, '\0')));
  EXPECT_EQ(PlayMusicFileCore(wav.c_str(), 1), -1);
  EXPECT_TRUE(LogHas("ミュージックデータから DirectMusicSegment8 を取得する処理が失敗しました"));
  EXPECT_EQ(GetMusicCount(), 0);
  const std::string mid = MidiFile("two.mid", 2000);
  const int32_t music = LoadMusicMem(mid.c_str());
  PlatMidiFakeFailFrom(PLAT_MIDI_CALL_PERFORMANCE_PLAY_SEGMENT, 1);
  EXPECT_EQ(PlayMusicHandle(music, 0), -1) << "and the wait does not wait for ever";
  EXPECT_EQ(IsMusicHandlePlaying(music), 0);
}

}  // namespace
