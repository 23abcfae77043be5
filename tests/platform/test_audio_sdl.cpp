// The SDL output, heard through SDL's disk driver (which writes the mix to a file in real
// time), and its fall-back when no driver opens.
#include "audio_fixture.h"
#include "platform/kernel/kernel.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sets environment variables for the test and puts back what was there.
class EnvScope {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? old : "", old != nullptr});
    setenv(name, value, 1);
  }
  ~EnvScope() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) setenv(it->name.c_str(), it->value.c_str(), 1);
      else unsetenv(it->name.c_str());
    }
  }

 private:
  struct Saved {
    std::string name, value;
    bool had;
  };
  std::vector<Saved> saved_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? long(in.tellg()) : -1;
}

struct SdlAudio : AudioDeviceTest {
  EnvScope env;
};

TEST_F(SdlAudio, ToneReachesTheDiskDriversFileThenSilence) {
  const std::string file = "/tmp/kr_audio_disk_" + std::to_string(getpid()) + ".raw";
  std::remove(file.c_str());
  env.Set("SDL_AUDIODRIVER", "disk");
  env.Set("SDL_DISKAUDIOFILE", file.c_str());
  Open("sdl");
  ASSERT_STREQ(PlatAudioDeviceOutputName(device), "sdl");

  const int rate = 44100, frames = rate / 2, amplitude = 12000;
  std::vector<int16_t> tone;
  for (int i = 0; i < frames; i++) {
    const int16_t v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * 440.0 * i / rate)));
    tone.push_back(v);
    tone.push_back(v);
  }
  PlatAudioBuffer* b = Make(PcmFormat(2, rate, 16), Pcm16(tone));
  ASSERT_EQ(PlatAudioBufferPlay(b, 0), PLAT_DS_OK);

  // The driver writes in real time: wait for a second and a quarter of output.
  const long want = long(rate) * 5 / 4 * 4;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (FileSize(file) < want && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(Status(b), 0u);
  PlatAudioRelease(device);
  device = nullptr;

  const std::string raw = ReadAll(file);
  std::remove(file.c_str());
  ASSERT_GE(long(raw.size()), want);
  std::vector<int16_t> out(raw.size() / 2);
  std::memcpy(out.data(), raw.data(), out.size() * 2);

  // The tone comes whole from its first frame on, the same on both channels.
  size_t start = 0;
  while (start < out.size() && out[start] == 0 && out[start + 1] == 0 && out[start + 2] == 0) start += 2;
  ASSERT_LT(start + size_t(frames) * 2, out.size());
  int peak = 0, crossings = 0;
  for (int i = 0; i < frames; i++) {
    const int16_t l = out[start + 2 * i], r = out[start + 2 * i + 1];
    ASSERT_EQ(l, r) << i;
    peak = std::max(peak, std::abs(int(l)));
    if (i > 0 && (out[start + 2 * (i - 1)] < 0) != (l < 0)) crossings++;
  }
  EXPECT_NEAR(peak, amplitude, 2);
  EXPECT_NEAR(crossings * 2, 880, 8);  // per second
  for (size_t i = start + size_t(frames) * 2; i < out.size(); i++) ASSERT_EQ(out[i], 0) << "after the tone, at " << i;
}

TEST_F(SdlAudio, DriverThatDoesNotExistRunsSilentOnTheClock) {
  env.Set("SDL_AUDIODRIVER", "no-such-driver");
  std::string debug;
  PlatSetDebugSink([](const char* text, void* context) { *static_cast<std::string*>(context) += text; }, &debug);
  PlatClockSetManual(1, 1000);
  testing::internal::CaptureStderr();
  Open("sdl");
  const std::string heard = testing::internal::GetCapturedStderr();
  PlatSetDebugSink(nullptr, nullptr);
  EXPECT_STREQ(PlatAudioDeviceOutputName(device), "headless");
  EXPECT_NE(debug.find("running silent"), std::string::npos) << debug;
  EXPECT_NE(heard.find("No sound output could be opened ("), std::string::npos) << heard;
  EXPECT_NE(heard.find("): the game runs silent.\n"), std::string::npos) << heard;

  PlatAudioBuffer* b = Make(PcmFormat(2, 44100, 16), std::string(17640, '\0'));
  ASSERT_EQ(PlatAudioBufferPlay(b, 0), PLAT_DS_OK);
  PlatClockAdvance(99);
  EXPECT_EQ(Status(b), uint32_t(PLAT_DSBSTATUS_PLAYING));
  PlatClockAdvance(1);
  EXPECT_EQ(Status(b), 0u);
  PlatClockSetManual(0);

  // The listing names the silent output as well.
  int outputs = 0;
  ASSERT_EQ(PlatAudioListOutputs([](const PlatAudioGuid*, const char*, const char*, void* c) {
              ++*static_cast<int*>(c);
              return 1;
            }, &outputs), PLAT_AUDIO_LIST_OK);
  EXPECT_EQ(outputs, 1);
}

// On a machine without a sound card the sound library's own error lines (a dozen per try)
// stay off the terminal: the one line above says it.
TEST_F(SdlAudio, ASoundCardThatIsMissingIsSaidInOneLine) {
  env.Set("SDL_AUDIODRIVER", "alsa");
  testing::internal::CaptureStderr();
  Open("sdl");
  const std::string heard = testing::internal::GetCapturedStderr();
  if (std::string(PlatAudioDeviceOutputName(device)) != "headless") GTEST_SKIP() << "this machine has a sound card";
  EXPECT_EQ(heard.find("ALSA lib"), std::string::npos) << heard;
  EXPECT_NE(heard.find("No sound output could be opened ("), std::string::npos) << heard;
}

}  // namespace
