// The sound system with the engine's main window (whose procedure takes the sequencer's
// end notification) on the headless back ends and the manual clock, MIDI files made by
// the sound helper, and the checks every music test ends on: no handle, device, music
// object, tracked block or temporary file left.
#pragma once

#include "engine/sound/music.h"
#include "engine/system/system.h"
#include "platform/audio/midifake.h"
#include "soundhandle_fixture.h"
#include "support/enginewindow.h"

#include <filesystem>

struct MusicTest : SoundHandleTest {
  PlatWnd window = 0;
  std::string debugLines;

  void SetUp() override {
    SoundHandleTest::SetUp();
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    PlatMidiFakeReset();
    g_System = SystemData{};
    window = MakeEngineMainWindow();
    ASSERT_NE(window, 0u);
    PlatSetDebugSink(
        [](const char* text, void* self) { static_cast<MusicTest*>(self)->debugLines += text; }, this);
    Start("headless");
  }
  void TearDown() override {
    StopMusicFileCore();
    const std::string temp = g_SequencerMusic.tempPath;
    EndSoundSystem();
    EXPECT_EQ(GetMusicCount(), 0);
    EXPECT_EQ(GetMusicHighWater(), 0);
    EXPECT_EQ(g_CurrentMusicFile.handle, 0);
    if (!temp.empty()) {
      EXPECT_FALSE(std::filesystem::exists(temp)) << "temporary file left";
    }
    EXPECT_EQ(PlatMidiLiveObjects(), 0) << "music objects left";
    g_SequencerMusic = SequencerMusicState{};
    SetMusicMode(MUSIC_MODE_SEQUENCER);
    PlatMidiFakeReset();
    PlatMidiSetSoundFontPath("");
    PlatDestroyWindow(window);
    PlatUnregisterClass("D123987X");
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    g_System = SystemData{};
    SoundHandleTest::TearDown();
  }

  // A MIDI file of the length in the test's directory.
  std::string MidiFile(const std::string& name, int lengthMs) { return WriteFile(name, soundfiles::Midi(lengthMs)); }

  // Pumps a millisecond at a time until `what` turns false or `limitMs` pass; the
  // milliseconds that passed.
  template <typename F>
  static uint32_t PumpWhile(F what, uint32_t limitMs) {
    const uint32_t start = PlatTimeMs();
    while (what() && PlatTimeMs() - start < limitMs) {
      PlatClockAdvance(1);
      PumpMessagesCore();
    }
    return PlatTimeMs() - start;
  }
  static void PumpFor(uint32_t ms) {
    PumpWhile([] { return true; }, ms);
  }
  static bool TempFileExists() {
    return g_SequencerMusic.tempPath[0] && std::filesystem::exists(g_SequencerMusic.tempPath);
  }
};
