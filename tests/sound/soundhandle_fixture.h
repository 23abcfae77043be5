// The sound system started on a chosen output, with the log and the manual clock, and
// the leak checks every sound-handle test ends on.
#pragma once

#include "base/logfixture.h"
#include "engine/base/memory.h"
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/sound/soundsystem.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"
#include "platform/fs/fs.h"
#include "soundfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct SoundHandleTest : LogFixture {
  int32_t blocksBefore = 0;

  // Starts the sound system on the output ("headless" keeps time with the manual clock,
  // "manual" moves only when pulled).
  void Start(const char* output) {
    ASSERT_EQ(PlatAudioSelectBackend(output), 0);
    ASSERT_EQ(InitSoundSystem(), 0);
  }
  void SetUp() override {
    LogFixture::SetUp();
    FillStreamFunctionRows();
    PlatAudioFakeReset();
    blocksBefore = GetTrackedBlockCount();
  }
  void TearDown() override {
    EndSoundSystem();
    EXPECT_EQ(GetSoundCount(), 0);
    EXPECT_EQ(GetSoundHighWater(), 0);
    PlatAudioFakeReset();
    EXPECT_EQ(PlatAudioLiveObjects(), 0) << "devices or buffers left";
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left";
    PlatClockSetManual(0);
    LogFixture::TearDown();
  }

  bool LogHas(const std::string& text) { return ReadLog().find(text) != std::string::npos; }

  // Writes a file into the test's directory; its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    PlatFile* f = PlatFileOpen(path.c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    EXPECT_NE(f, nullptr);
    if (f) {
      EXPECT_EQ(PlatFileWrite(f, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
      PlatFileClose(f);
    }
    return path;
  }

  static int32_t Load(const std::string& wav, int32_t copies) {
    return LoadSoundFromMemory(wav.data(), int32_t(wav.size()), copies, -1);
  }

  static uint32_t CopyCursor(int32_t sound, int copy) {
    uint32_t bytes = 0xDEAD;
    EXPECT_EQ(GetSoundBufferOps()->getPosition(&GetSoundRecord(sound)->copies[copy], &bytes), 0);
    return bytes;
  }
  static bool CopyPlays(int32_t sound, int copy) {
    uint32_t status = 0;
    EXPECT_EQ(GetSoundBufferOps()->status(&GetSoundRecord(sound)->copies[copy], &status), 0);
    return (status & PLAT_DSBSTATUS_PLAYING) != 0;
  }
};

// 16-bit samples of a pseudo-random walk (no two stretches alike), `frames` frames of
// `channels` channels.
inline std::vector<int16_t> Noise(int frames, int channels, uint32_t seed) {
  std::vector<int16_t> out(size_t(frames) * channels);
  uint32_t x = seed * 2654435761u + 1;
  for (int16_t& s : out) {
    x = x * 1664525u + 1013904223u;
    s = int16_t(x >> 16);
  }
  return out;
}
