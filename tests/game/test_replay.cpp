// The whole program replayed on the engine itself: the headless back ends, the manual
// clock and the generated pictures, sounds and music in the working folder. A fixed script
// walks the menus (the options with their save screen, the stage data, one player) and
// plays 600 frames. Every present leaves a checksum of the display's store; the same
// script in another process must present the same frames. The engine's RandomInt answers
// are recorded, and the fake engine, given them, must play the same sounds in the same
// frames: the fake is a faithful stand-in for the engine as far as the game can tell.
#include "engine/state/sysdata.h"
#include "gamefixture.h"
#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/input/input.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"
#include "scriptwrapper.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int32_t kDown = 1, kLeft = 2, kRight = 4, kUp = 8, kButton1 = 16;
constexpr int32_t kPlayFrames = 600;
constexpr uint32_t kStartMs = 20000;

// What the engine's table was asked and answered, as the game saw it.
struct Recording {
  std::vector<uint64_t> frames;        // a checksum of the window's pixels at each present
  std::vector<int32_t> randomAnswers;  // RandomInt, in order
  std::vector<FakeAudioCall> audio;    // as the fake engine names them
};

struct Recorder {
  const GameApi* inner = nullptr;
  GameApi table{};
  Recording rec;
  std::map<int32_t, std::string> soundFiles;
};
Recorder g_recorder;

void Audio(const std::string& call) {
  g_recorder.rec.audio.push_back({g_recorder.rec.frames.size(), call});
}

std::string SoundName(int32_t sound) {
  const auto it = g_recorder.soundFiles.find(sound);
  return it == g_recorder.soundFiles.end() ? "bad:" + std::to_string(sound) : it->second;
}

// FNV-1a over the client area as the display's store holds it after the present.
int PresentScreen() {
  const int result = g_recorder.inner->PresentScreen();
  PlatRect client{};
  PlatGetClientRect(g_System.mainWindow, &client);
  PlatPoint origin{0, 0};
  PlatClientToScreen(g_System.mainWindow, &origin);
  const PlatRect area{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  // One buffer for the whole run: a fresh, zeroed one at every present costs more than
  // the frame's drawing.
  static std::vector<uint32_t> rgb;
  const size_t count = size_t(client.right) * size_t(client.bottom);
  if (rgb.size() < count) rgb.resize(count);
  uint64_t hash = 0;  // no picture to read
  if (count != 0 && PlatDisplayReadRect(area, rgb.data()) == 0) {
    hash = 1469598103934665603ull;
    const uint32_t* p = rgb.data();
    for (size_t i = 0; i < count; i++) hash = (hash ^ p[i]) * 1099511628211ull;
  }
  g_recorder.rec.frames.push_back(hash);
  return result;
}

int32_t RandomInt(uint32_t max) {
  const int32_t v = g_recorder.inner->RandomInt(max);
  g_recorder.rec.randomAnswers.push_back(v);
  return v;
}

int LoadSoundFile(const char* file, int32_t copies, int32_t stream) {
  const int handle = g_recorder.inner->LoadSoundFile(file, copies, stream);
  if (handle != -1) g_recorder.soundFiles[handle] = file;
  return handle;
}

int PlaySoundHandle(int32_t sound, int32_t playType, int32_t fromTop) {
  Audio("PlaySoundHandle(" + SoundName(sound) + "," + std::to_string(playType) + "," +
        std::to_string(fromTop) + ")");
  return g_recorder.inner->PlaySoundHandle(sound, playType, fromTop);
}

int StopSoundHandle(int32_t sound) {
  Audio("StopSoundHandle(" + SoundName(sound) + ")");
  return g_recorder.inner->StopSoundHandle(sound);
}

int PlayMusicFile(const char* file, int32_t playType) {
  Audio("PlayMusicFile(" + std::string(file) + "," + std::to_string(playType) + ")");
  return g_recorder.inner->PlayMusicFile(file, playType);
}

int StopMusicFile() {
  Audio("StopMusicFile()");
  return g_recorder.inner->StopMusicFile();
}

const GameApi* RecordingTable(const GameApi* inner) {
  g_recorder = {};
  g_recorder.inner = inner;
  g_recorder.table = *inner;
  g_recorder.table.PresentScreen = PresentScreen;
  g_recorder.table.RandomInt = RandomInt;
  g_recorder.table.LoadSoundFile = LoadSoundFile;
  g_recorder.table.PlaySoundHandle = PlaySoundHandle;
  g_recorder.table.StopSoundHandle = StopSoundHandle;
  g_recorder.table.PlayMusicFile = PlayMusicFile;
  g_recorder.table.StopMusicFile = StopMusicFile;
  return &g_recorder.table;
}

// The walk: into the options, music off and on again, the save screen, back to the
// title; normal mode, the stage data, one player; then 600 frames of walking about and
// laying bombs, and Escape.
InputScript Walk() {
  InputScript s;
  auto add = [&s](InputPass p, int32_t count) {
    for (int32_t i = 0; i < count; i++) s.passes.push_back(p);
  };
  auto press = [&add](int32_t bits) {
    add(Pad1(bits), 1);
    add({}, 2);
  };
  add({}, 3);
  for (int32_t bits : {kDown, kDown, kButton1,                 // the options
                       kDown, kButton1, kButton1,              // music off, and on
                       kDown, kDown, kButton1,                 // the save screen
                       kUp, kUp, kUp, kButton1,                // back to the title
                       kButton1, kButton1, kDown, kButton1})   // stage data, one player
    press(bits);
  const size_t playStart = s.passes.size();
  const int32_t moves[] = {kRight, kDown, kLeft, kUp};
  for (int32_t i = 0; s.passes.size() < playStart + kPlayFrames; i++) {
    add(Pad1(moves[i % 4]), 12 + i % 5);
    add(Pad1(kButton1), 1);
    add({}, 3);
  }
  s.passes.resize(playStart + kPlayFrames);
  add(Keys({1}), 1);
  s.waitAnyInput = {1, 1};
  s.askYesNo = {0};  // a window, not full screen
  return s;
}

class Replay : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    SetGameStandIns(false);
    CopyAssets();
  }

  // One run on the engine: the recording, and whether the game ended as it should.
  static Recording RunOnEngine() {
    EXPECT_EQ(PlatWindowSelectBackend("headless"), 0);
    EXPECT_EQ(PlatInputSelectBackend("headless"), 0);
    PlatClockSetManual(1, kStartMs);
    PlatHeadlessSetDesktop(1024, 768, 32, 0);
    EXPECT_EQ(WinMain(ScriptWrapper(RecordingTable(EngineGameApi()), Walk())), 0);
    PlatClockSetManual(0);
    return g_recorder.rec;
  }

  static std::string LogText() {
    std::ifstream in("Log.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// Starts the engine's replay in a child process, in a folder of its own; the child writes
// its frame checksums to dir/frames.bin. It runs beside this process's own replay.
pid_t StartAnotherProcess(const std::filesystem::path& dir) {
  const std::filesystem::path child = dir / "child", list = dir / "frames.bin";
  std::filesystem::create_directory(child);
  for (const auto& f : std::filesystem::directory_iterator(KR_ASSET_DIR))
    std::filesystem::copy_file(f.path(), child / f.path().filename());
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    std::filesystem::current_path(child);
    PlatWindowSelectBackend("headless");
    PlatInputSelectBackend("headless");
    PlatClockSetManual(1, kStartMs);
    PlatHeadlessSetDesktop(1024, 768, 32, 0);
    const int result = WinMain(ScriptWrapper(RecordingTable(EngineGameApi()), Walk()));
    std::ofstream out(list, std::ios::binary);
    out.write(reinterpret_cast<const char*>(g_recorder.rec.frames.data()),
              std::streamsize(g_recorder.rec.frames.size() * sizeof(uint64_t)));
    out.close();
    _exit(result == 0 && out ? 0 : 1);
  }
  return pid;
}

// Waits for the child and reads back its checksums.
std::vector<uint64_t> FramesOfAnotherProcess(pid_t pid, const std::filesystem::path& dir) {
  const std::filesystem::path list = dir / "frames.bin";
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::ifstream in(list, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  std::vector<uint64_t> frames(bytes.size() / sizeof(uint64_t));
  std::memcpy(frames.data(), bytes.data(), frames.size() * sizeof(uint64_t));
  return frames;
}

TEST_F(Replay, TheEngineRunRepeatsInAnotherProcessAndTheFakePlaysItsSounds) {
  // The other process starts from the state this one is in now, and runs beside it.
  const pid_t other = StartAnotherProcess(dir);
  const Recording real = RunOnEngine();
  const std::vector<uint64_t> otherFrames = FramesOfAnotherProcess(other, dir);
  // The walk reached play and stayed there for its 600 frames, and the frames changed.
  ASSERT_GT(real.frames.size(), size_t(kPlayFrames));
  EXPECT_GT(std::set<uint64_t>(real.frames.begin(), real.frames.end()).size(), size_t(50));
  EXPECT_EQ(std::count(real.frames.begin(), real.frames.end(), uint64_t(0)), 0);

  // Every picture and sound loaded, and the engine freed everything it took.
  const std::string log = LogText();
  EXPECT_EQ(log.find("右記のグラフィックファイルのロードに失敗しました"), std::string::npos) << log;
  EXPECT_EQ(log.find("右記の音声ファイルのロードに失敗しました"), std::string::npos) << log;
  EXPECT_NE(log.find("Total size:0(0.000kb)  Alloc num:0"), std::string::npos) << log;

  EXPECT_EQ(otherFrames, real.frames);

  // The fake, answering RandomInt as the engine did, plays the same sounds in the same
  // frames and presents as many frames.
  std::filesystem::remove("HiScore.dat");
  ResetFakeEngine({}, kStartMs);
  Fake().randomValues.assign(real.randomAnswers.begin(), real.randomAnswers.end());
  g_Api = FakeEngineApi();
  EXPECT_EQ(WinMain(ScriptWrapper(FakeEngineApi(), Walk())), 0);
  EXPECT_EQ(Fake().randomMaxes.size(), real.randomAnswers.size());
  EXPECT_EQ(Fake().frames.size(), real.frames.size());
  std::vector<std::string> want, got;
  for (const FakeAudioCall& a : real.audio) want.push_back(std::to_string(a.frame) + " " + a.call);
  for (const FakeAudioCall& a : Fake().audio) got.push_back(std::to_string(a.frame) + " " + a.call);
  EXPECT_EQ(got, want);
  // Bombs were laid and burst on the way.
  EXPECT_NE(std::find_if(want.begin(), want.end(),
                         [](const std::string& s) { return s.find("bom09.wav") != std::string::npos; }),
            want.end());
}

}  // namespace
