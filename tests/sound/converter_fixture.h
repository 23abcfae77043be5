// Converters over sound files held in memory, with the leak checks every sound test
// ends on: no tracked block and no codec stream outlives the test.
#pragma once

#include "engine/file/file.h"
#include "engine/base/memory.h"
#include "engine/sound/converter.h"
#include "platform/audio/codecfake.h"
#include "soundfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

struct SoundTest : ::testing::Test {
  int32_t blocksBefore = 0;
  int streamsBefore = 0;

  void SetUp() override {
    FillStreamFunctionRows();
    PlatCodecFakeReset();
    blocksBefore = GetTrackedBlockCount();
    streamsBefore = PlatCodecLiveStreams();
  }
  void TearDown() override {
    PlatCodecFakeReset();
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks leaked";
    EXPECT_EQ(PlatCodecLiveStreams(), streamsBefore) << "codec streams leaked";
  }
};

// A converter opened over bytes through a memory stream; closed with both at the end.
struct OpenedSound {
  std::string bytes;
  MemStream* stream = nullptr;
  SoundConverter c;
  int result = -1;

  explicit OpenedSound(std::string data) : bytes(std::move(data)) {
    stream = MemStreamOpen(bytes.data(), uint32_t(bytes.size()));
    result = OpenSoundConverter(GetMemStreamFunctions(), StreamHandle(stream), &c);
  }
  ~OpenedSound() {
    if (result == 0) CloseSoundConverter(&c);
    MemStreamClose(stream);
  }
  // The whole sound, as ConvertWholeSound gives it (empty on failure).
  std::string Whole(PlatWaveFormat* format = nullptr, int* status = nullptr) {
    PlatWaveFormat f = {};
    void* memory = nullptr;
    int64_t size = 0;
    const int r = ConvertWholeSound(&c, &f, &memory, &size);
    if (status) *status = r;
    if (format) *format = f;
    if (r != 0) return "";
    std::string out(static_cast<char*>(memory), size_t(size));
    TrackedFree(memory);
    return out;
  }
  // Everything DecodeConverter gives from here on, read `step` bytes at a time.
  std::string ReadAll(int32_t step = 4096) {
    std::string out;
    std::vector<char> buffer(static_cast<size_t>(step));
    for (int32_t n; (n = DecodeConverter(&c, buffer.data(), step)) > 0;) out.append(buffer.data(), size_t(n));
    return out;
  }
};

// Upward crossings per second of a mono or the left channel of stereo 16-bit PCM: from
// below -1000 to above 1000, so that noise about zero does not count.
inline double CrossingsPerSecond(const std::string& pcm, int channels, int rate) {
  const std::vector<int16_t> s = soundfiles::Samples(pcm);
  const size_t frames = s.size() / size_t(channels);
  int crossings = 0;
  bool low = false;
  for (size_t i = 0; i < frames; i++) {
    const int v = s[i * channels];
    if (v < -1000) low = true;
    if (v > 1000 && low) {
      crossings++;
      low = false;
    }
  }
  return frames ? crossings * double(rate) / double(frames) : 0;
}
