// The sound device on the headless output: abilities, formats, locks, and play state
// that keeps time with the manual clock.
#include "audio_fixture.h"
#include "platform/kernel/kernel.h"

#include <string>
#include <vector>

namespace {

struct Headless : AudioDeviceTest {
  void SetUp() override {
    AudioDeviceTest::SetUp();
    PlatClockSetManual(1, 1000);
    Open("headless");
  }
  void TearDown() override {
    AudioDeviceTest::TearDown();
    PlatClockSetManual(0);
  }
  PlatAudioBuffer* Silent(const PlatWaveFormat& f, uint32_t bytes) {
    return Make(f, std::string(bytes, f.bitsPerSample == 8 ? '\x80' : '\0'));
  }
};

TEST_F(Headless, CapsOfferEveryFormatAndNoHardwareMemory) {
  PlatAudioCaps caps{};
  ASSERT_EQ(PlatAudioGetCaps(device, &caps), PLAT_DS_OK);
  for (uint32_t flag : {PLAT_DSCAPS_PRIMARYMONO, PLAT_DSCAPS_PRIMARYSTEREO, PLAT_DSCAPS_PRIMARY8BIT,
                        PLAT_DSCAPS_PRIMARY16BIT, PLAT_DSCAPS_SECONDARYMONO, PLAT_DSCAPS_SECONDARYSTEREO,
                        PLAT_DSCAPS_SECONDARY8BIT, PLAT_DSCAPS_SECONDARY16BIT})
    EXPECT_TRUE(caps.flags & flag) << flag;
  EXPECT_EQ(caps.minSecondaryRate, 100u);
  EXPECT_EQ(caps.maxSecondaryRate, 200000u);
  EXPECT_EQ(caps.totalHwMemBytes, 0u);
  EXPECT_EQ(caps.freeHwMemBytes, 0u);
  EXPECT_STREQ(PlatAudioDeviceOutputName(device), "headless");
}

TEST_F(Headless, OneSecondMovesTheCursorByOneSecondOfBytes) {
  PlatAudioBuffer* b = Silent(PcmFormat(2, 44100, 16), 176400 * 2);
  ASSERT_EQ(PlatAudioBufferPlay(b, PLAT_DSBPLAY_LOOPING), PLAT_DS_OK);
  PlatClockAdvance(1000);
  EXPECT_EQ(Cursor(b), 176400u);
  PlatClockAdvance(1500);  // 2.5 s in all: half a second into the second round
  EXPECT_EQ(Cursor(b), 88200u);
  // A buffer at another rate moves by its own rate.
  PlatAudioBuffer* slow = Silent(PcmFormat(1, 11025, 8), 11025 * 4);
  ASSERT_EQ(PlatAudioBufferPlay(slow, 0), PLAT_DS_OK);
  PlatClockAdvance(1000);
  EXPECT_EQ(Cursor(slow), 11025u);
}

TEST_F(Headless, HalfSecondOneShotStopsAfterHalfASecond) {
  PlatAudioBuffer* b = Silent(PcmFormat(2, 44100, 16), 88200);
  ASSERT_EQ(PlatAudioBufferPlay(b, 0), PLAT_DS_OK);
  PlatClockAdvance(499);
  EXPECT_EQ(Status(b), uint32_t(PLAT_DSBSTATUS_PLAYING));
  PlatClockAdvance(1);
  EXPECT_EQ(Status(b), 0u);
  EXPECT_EQ(Cursor(b), 0u);
}

TEST_F(Headless, ServiceKeepsTimeBetweenCalls) {
  PlatAudioBuffer* b = Silent(PcmFormat(2, 44100, 16), 88200);
  ASSERT_EQ(PlatAudioBufferPlay(b, PLAT_DSBPLAY_LOOPING), PLAT_DS_OK);
  // Stopping at 300 ms keeps the place reached then, though nothing asked before.
  PlatClockAdvance(300);
  PlatAudioService();
  PlatClockAdvance(0);
  ASSERT_EQ(PlatAudioBufferStop(b), PLAT_DS_OK);
  PlatClockAdvance(5000);
  EXPECT_EQ(Cursor(b), 300u * 176400 / 1000);
}

TEST_F(Headless, LockGivesTwoPartsAcrossTheEndAndRefusesMoreThanTheBuffer) {
  const PlatWaveFormat f = PcmFormat(2, 44100, 16);
  PlatAudioBuffer* b = Silent(f, 6 * 176400);
  void *p1, *p2;
  uint32_t n1, n2;
  ASSERT_EQ(PlatAudioBufferLock(b, 5 * 176400, 2 * 176400, &p1, &n1, &p2, &n2), PLAT_DS_OK);
  EXPECT_EQ(n1, 176400u);
  EXPECT_EQ(n2, 176400u);
  EXPECT_EQ(static_cast<char*>(p1) - static_cast<char*>(p2), 5 * 176400);
  ASSERT_EQ(PlatAudioBufferUnlock(b, p1, n1, p2, n2), PLAT_DS_OK);

  ASSERT_EQ(PlatAudioBufferLock(b, 100, 400, &p1, &n1, &p2, &n2), PLAT_DS_OK);
  EXPECT_EQ(n1, 400u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(n2, 0u);
  ASSERT_EQ(PlatAudioBufferUnlock(b, p1, n1, p2, n2), PLAT_DS_OK);

  struct Refused {
    uint32_t offset, bytes;
  };
  for (Refused r : {Refused{0, 6 * 176400 + 1}, Refused{6 * 176400, 4}, Refused{0, 0}}) {
    EXPECT_EQ(PlatAudioBufferLock(b, r.offset, r.bytes, &p1, &n1, &p2, &n2), PLAT_DSERR_INVALIDPARAM)
        << r.offset << " " << r.bytes;
    EXPECT_EQ(p1, nullptr);
  }
  // An unlock of memory that is not the buffer's.
  char other[4];
  EXPECT_EQ(PlatAudioBufferUnlock(b, other, 4, nullptr, 0), PLAT_DSERR_INVALIDPARAM);
}

TEST_F(Headless, BufferFormatsOutsideTheMixersAreRefused) {
  struct Case {
    const char* name;
    PlatWaveFormat format;
    uint32_t bytes;
    int32_t result;
  };
  PlatWaveFormat badAlign = PcmFormat(2, 44100, 16);
  badAlign.blockAlign = 2;
  PlatWaveFormat adpcm = PcmFormat(1, 44100, 16);
  adpcm.formatTag = PLAT_WAVE_FORMAT_IMAADPCM;
  const Case cases[] = {
      {"lowest rate", PcmFormat(1, 100, 8), 4, PLAT_DS_OK},
      {"highest rate", PcmFormat(2, 200000, 16), 4, PLAT_DS_OK},
      {"rate too low", PcmFormat(1, 99, 8), 4, PLAT_DSERR_INVALIDPARAM},
      {"rate too high", PcmFormat(1, 200001, 8), 4, PLAT_DSERR_INVALIDPARAM},
      {"24 bits", PcmFormat(1, 44100, 24), 6, PLAT_DSERR_INVALIDPARAM},
      {"3 channels", PcmFormat(3, 44100, 16), 6, PLAT_DSERR_INVALIDPARAM},
      {"block align", badAlign, 8, PLAT_DSERR_INVALIDPARAM},
      {"not PCM", adpcm, 8, PLAT_DSERR_INVALIDPARAM},
      {"too small", PcmFormat(1, 44100, 8), 3, PLAT_DSERR_INVALIDPARAM},
  };
  for (const Case& c : cases) {
    PlatAudioBufferDesc desc{0, c.bytes, &c.format};
    PlatAudioBuffer* b = nullptr;
    EXPECT_EQ(PlatAudioCreateBuffer(device, &desc, &b), c.result) << c.name;
    EXPECT_EQ(b != nullptr, c.result == PLAT_DS_OK) << c.name;
    PlatAudioBufferRelease(b);
  }
}

TEST_F(Headless, PrimaryBufferRecordsItsFormatAndPlaysNothing) {
  PlatAudioBufferDesc desc{PLAT_DSBCAPS_PRIMARYBUFFER, 0, nullptr};
  PlatAudioBuffer* primary = nullptr;
  ASSERT_EQ(PlatAudioCreateBuffer(device, &desc, &primary), PLAT_DS_OK);
  buffers.push_back(primary);
  PlatAudioBuffer* second = nullptr;
  EXPECT_EQ(PlatAudioCreateBuffer(device, &desc, &second), PLAT_DSERR_INVALIDCALL);
  const PlatWaveFormat f = PcmFormat(2, 44100, 16);
  EXPECT_EQ(PlatAudioBufferSetFormat(primary, &f), PLAT_DS_OK);
  void *p1, *p2;
  uint32_t n1, n2;
  EXPECT_EQ(PlatAudioBufferLock(primary, 0, 4, &p1, &n1, &p2, &n2), PLAT_DSERR_INVALIDPARAM);
  EXPECT_EQ(PlatAudioBufferStop(primary), PLAT_DS_OK);
  EXPECT_EQ(PlatAudioSetCooperativeLevel(device, 0, PLAT_DSSCL_PRIORITY), PLAT_DS_OK);
}

TEST_F(Headless, ListingNamesTheOneOutput) {
  std::vector<std::string> seen;
  auto each = [](const PlatAudioGuid* id, const char* description, const char* module, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(std::string(module) + "|" + description +
                                                                (id ? "|id" : "|default"));
    return 1;
  };
  ASSERT_EQ(PlatAudioListOutputs(each, &seen), PLAT_AUDIO_LIST_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"headless|Silent output keeping time with the clock|default"}));
}

// Every step a program takes can be made to fail, and reports so.
TEST_F(Headless, FakeFailsEachStepOnRequest) {
  const PlatWaveFormat f = PcmFormat(2, 44100, 16);
  PlatAudioBuffer* b = Silent(f, 400);
  struct Step {
    PlatAudioCall call;
    int32_t (*run)(PlatAudioDevice* d, PlatAudioBuffer* b);
    int32_t failure;
  };
  const Step steps[] = {
      {PLAT_AUDIO_CALL_CREATE,
       [](PlatAudioDevice*, PlatAudioBuffer*) {
         PlatAudioDevice* d = nullptr;
         int32_t r = PlatAudioCreate(&d);
         PlatAudioRelease(d);
         return r;
       },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_INITIALIZE,
       [](PlatAudioDevice*, PlatAudioBuffer*) {
         PlatAudioDevice* d = nullptr;
         PlatAudioCreate(&d);
         int32_t r = PlatAudioInitialize(d, nullptr);
         PlatAudioRelease(d);
         return r;
       },
       PLAT_DSERR_NODRIVER},
      {PLAT_AUDIO_CALL_COOPERATIVE_LEVEL,
       [](PlatAudioDevice* d, PlatAudioBuffer*) { return PlatAudioSetCooperativeLevel(d, 0, PLAT_DSSCL_PRIORITY); },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_CREATE_PRIMARY,
       [](PlatAudioDevice* d, PlatAudioBuffer*) {
         PlatAudioBufferDesc desc{PLAT_DSBCAPS_PRIMARYBUFFER, 0, nullptr};
         PlatAudioBuffer* p = nullptr;
         int32_t r = PlatAudioCreateBuffer(d, &desc, &p);
         PlatAudioBufferRelease(p);
         return r;
       },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_CREATE_BUFFER,
       [](PlatAudioDevice* d, PlatAudioBuffer*) {
         const PlatWaveFormat f = PcmFormat(1, 8000, 8);
         PlatAudioBufferDesc desc{0, 8, &f};
         PlatAudioBuffer* p = nullptr;
         int32_t r = PlatAudioCreateBuffer(d, &desc, &p);
         PlatAudioBufferRelease(p);
         return r;
       },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_DUPLICATE,
       [](PlatAudioDevice* d, PlatAudioBuffer* b) {
         PlatAudioBuffer* p = nullptr;
         int32_t r = PlatAudioDuplicateBuffer(d, b, &p);
         PlatAudioBufferRelease(p);
         return r;
       },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_LOCK,
       [](PlatAudioDevice*, PlatAudioBuffer* b) {
         void *p1, *p2;
         uint32_t n1, n2;
         return PlatAudioBufferLock(b, 0, 4, &p1, &n1, &p2, &n2);
       },
       PLAT_DSERR_GENERIC},
      {PLAT_AUDIO_CALL_LIST_LOAD,
       [](PlatAudioDevice*, PlatAudioBuffer*) {
         return PlatAudioListOutputs([](const PlatAudioGuid*, const char*, const char*, void*) { return 1; },
                                     nullptr);
       },
       PLAT_AUDIO_LIST_NOLOAD},
      {PLAT_AUDIO_CALL_LIST_LOOKUP,
       [](PlatAudioDevice*, PlatAudioBuffer*) {
         return PlatAudioListOutputs([](const PlatAudioGuid*, const char*, const char*, void*) { return 1; },
                                     nullptr);
       },
       PLAT_AUDIO_LIST_NOLOOKUP},
  };
  for (const Step& s : steps) {
    PlatAudioFakeReset();
    EXPECT_EQ(s.run(device, b), PLAT_DS_OK) << s.call;
    EXPECT_EQ(PlatAudioFakeCount(s.call), 1) << s.call;
    PlatAudioFakeFailFrom(s.call, 2);  // the second use from now on
    EXPECT_EQ(s.run(device, b), PLAT_DS_OK) << s.call;
    EXPECT_EQ(s.run(device, b), s.failure) << s.call;
    EXPECT_EQ(s.run(device, b), s.failure) << s.call;
  }
}

TEST_F(Headless, BuffersOutliveTheirDevice) {
  PlatAudioBuffer* b = Silent(PcmFormat(1, 44100, 16), 100);
  ASSERT_EQ(PlatAudioBufferPlay(b, PLAT_DSBPLAY_LOOPING), PLAT_DS_OK);
  PlatAudioRelease(device);
  device = nullptr;
  PlatClockAdvance(10);
  EXPECT_EQ(Status(b), uint32_t(PLAT_DSBSTATUS_PLAYING | PLAT_DSBSTATUS_LOOPING));
  EXPECT_EQ(Cursor(b), 0u);  // no mixer moves it any more
}

}  // namespace
