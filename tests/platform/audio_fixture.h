// A sound device on a chosen back end, with buffers made from bytes, and the leak check
// every audio test ends on.
#pragma once

#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

inline PlatWaveFormat PcmFormat(int channels, int rate, int bits) {
  const uint16_t align = uint16_t(channels * bits / 8);
  return {PLAT_WAVE_FORMAT_PCM, uint16_t(channels), uint32_t(rate), uint32_t(rate) * align, align,
          uint16_t(bits), 0};
}

// Little-endian bytes of 16-bit samples.
inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string out(samples.size() * 2, '\0');
  std::memcpy(out.data(), samples.data(), out.size());
  return out;
}

struct AudioDeviceTest : ::testing::Test {
  PlatAudioDevice* device = nullptr;
  std::vector<PlatAudioBuffer*> buffers;

  // Opens a device on the back end.
  void Open(const char* backend) {
    ASSERT_EQ(PlatAudioSelectBackend(backend), 0);
    ASSERT_EQ(PlatAudioCreate(&device), PLAT_DS_OK);
    ASSERT_EQ(PlatAudioInitialize(device, nullptr), PLAT_DS_OK);
  }
  void SetUp() override { PlatAudioFakeReset(); }
  void TearDown() override {
    for (PlatAudioBuffer* b : buffers) PlatAudioBufferRelease(b);
    PlatAudioRelease(device);
    PlatAudioFakeReset();
    EXPECT_EQ(PlatAudioLiveObjects(), 0) << "devices or buffers leaked";
  }

  // A buffer of the format holding the bytes (the buffer is as long as they are).
  PlatAudioBuffer* Make(const PlatWaveFormat& format, const std::string& bytes) {
    PlatAudioBufferDesc desc{PLAT_DSBCAPS_STATIC, uint32_t(bytes.size()), &format};
    PlatAudioBuffer* b = nullptr;
    EXPECT_EQ(PlatAudioCreateBuffer(device, &desc, &b), PLAT_DS_OK);
    if (!b) return nullptr;
    buffers.push_back(b);
    Write(b, 0, bytes);
    return b;
  }
  static void Write(PlatAudioBuffer* b, uint32_t offset, const std::string& bytes) {
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(PlatAudioBufferLock(b, offset, uint32_t(bytes.size()), &p1, &n1, &p2, &n2), PLAT_DS_OK);
    std::memcpy(p1, bytes.data(), n1);
    if (n2) std::memcpy(p2, bytes.data() + n1, n2);
    ASSERT_EQ(PlatAudioBufferUnlock(b, p1, n1, p2, n2), PLAT_DS_OK);
  }
  static uint32_t Status(PlatAudioBuffer* b) {
    uint32_t s = 0xDEAD;
    EXPECT_EQ(PlatAudioBufferGetStatus(b, &s), PLAT_DS_OK);
    return s;
  }
  static uint32_t Cursor(PlatAudioBuffer* b) {
    uint32_t play = 0xDEAD;
    EXPECT_EQ(PlatAudioBufferGetCurrentPosition(b, &play, nullptr), PLAT_DS_OK);
    return play;
  }
};
