#include "fake_engine.h"

#include "engine/base/random.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sstream>

namespace {

constexpr int32_t kGraphType = 0x08000000;
constexpr int32_t kSoundType = 0x10000000;
constexpr int32_t kTypeMask = 0x78000000;

FakeEngine g_fake;
std::vector<std::string> g_calls;
std::atomic<uint32_t> g_clock{0};
bool g_clockStop = false;
// Guards the log, the clock's waiters and the stop: the clock thread reaches these.
std::mutex g_mutex;
std::condition_variable g_wake;

void Arg(std::ostringstream& out, const char* s) { out << (s ? s : "(null)"); }
void Arg(std::ostringstream& out, const std::string& s) { out << s; }
template <typename T>
void Arg(std::ostringstream& out, T v) {
  out << int64_t(v);
}

template <typename... Args>
std::string Call(const char* name, Args... args) {
  std::ostringstream out;
  out << name << '(';
  int i = 0;
  ((out << (i++ ? "," : ""), Arg(out, args)), ...);
  out << ')';
  return out.str();
}

template <typename... Args>
void Log(const char* name, Args... args) {
  FakeLog(Call(name, args...));
}

bool Fails(const char* file) { return file && g_fake.failingLoads.count(file); }

// The sheet and cell of a live graph handle, or false.
bool DecodeGraph(int32_t handle, int32_t* sheet, int32_t* cell) {
  if ((handle & kTypeMask) != kGraphType) return false;
  const int32_t s = ((handle >> 16) & 0x7FF) - 1;
  const int32_t c = handle & 0xFFFF;
  if (g_fake.graphsFreed || s < 0 || s >= int32_t(g_fake.sheetFiles.size()) ||
      c >= g_fake.sheetCells[s])
    return false;
  *sheet = s;
  *cell = c;
  return true;
}

std::string SoundName(int32_t handle) {
  const int32_t n = handle - kSoundType;
  if ((handle & kTypeMask) != kSoundType || n < 0 || n >= int32_t(g_fake.soundFiles.size()))
    return "bad:" + std::to_string(handle);
  return g_fake.soundFiles[n];
}

void Audio(const std::string& call) { g_fake.audio.push_back({g_fake.frames.size(), call}); }

int DrawGraph(FakeDraw::Kind kind, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              int32_t graph, int32_t transparent) {
  FakeDraw d;
  d.kind = kind;
  d.x1 = x1, d.y1 = y1, d.x2 = x2, d.y2 = y2;
  d.transparent = transparent;
  const bool ok = DecodeGraph(graph, &d.sheet, &d.cell);
  if (ok) d.sheetFile = g_fake.sheetFiles[d.sheet];
  g_fake.current.draws.push_back(d);
  return ok ? 0 : -1;
}

int DrawText(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor) {
  FakeDraw d;
  d.kind = FakeDraw::kText;
  d.x1 = x, d.y1 = y;
  d.text = text;
  d.color = color;
  d.edgeColor = edgeColor;
  g_fake.current.draws.push_back(d);
  return 0;
}

// ---- the table's slots ----

int EngineInit() {
  Log("EngineInit");
  if (g_fake.engineInitResult == 0) g_fake.engineUp = 1;
  return g_fake.engineInitResult;
}

int EngineEnd() {
  Log("EngineEnd");
  g_fake.engineUp = 0;
  return 0;
}

int PumpMessages() {
  Log("PumpMessages");
  if (!g_fake.engineUp) return -1;
  if (g_fake.endPass >= 0 && int32_t(g_fake.input.pass) >= g_fake.endPass) return -1;
  g_fake.input.EndPass();
  return 0;
}

int ChangeWindowMode(int32_t windowed) {
  Log("ChangeWindowMode", windowed);
  return 0;
}

int SetScreenMode(int32_t width, int32_t height, int32_t depth, int32_t rate) {
  Log("SetScreenMode", width, height, depth, rate);
  return 0;
}

int PresentScreen() {
  Log("PresentScreen");
  g_fake.frames.push_back(std::move(g_fake.current));
  g_fake.current = FakeFrame{};
  return 0;
}

int SetDrawTarget(int32_t target) {
  Log("SetDrawTarget", target);
  return 0;
}

int ClearDrawTarget() {
  Log("ClearDrawTarget");
  g_fake.current.draws.push_back(FakeDraw{});
  return 0;
}

int LoadSplitGraph(const char* file, int32_t total, int32_t across, int32_t down,
                   int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag) {
  Log("LoadSplitGraph", file, total, across, down, cellWidth, cellHeight, flag);
  if (Fails(file)) return -1;
  g_fake.sheetFiles.push_back(file);
  g_fake.sheetCells.push_back(total);
  const int32_t sheet = int32_t(g_fake.sheetFiles.size()) - 1;
  for (int32_t i = 0; i < total; i++) handles[i] = FakeGraphHandle(sheet, i);
  return 0;
}

int FreeAllGraphs(int32_t logFlag) {
  Log("FreeAllGraphs", logFlag);
  g_fake.graphsFreed = 1;
  return 0;
}

int DrawGraphAt(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  Log("DrawGraphAt", x, y, graph, transparent);
  return DrawGraph(FakeDraw::kGraph, x, y, 0, 0, graph, transparent);
}

int DrawGraphStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                       int32_t transparent) {
  Log("DrawGraphStretched", x1, y1, x2, y2, graph, transparent);
  return DrawGraph(FakeDraw::kStretched, x1, y1, x2, y2, graph, transparent);
}

int DrawColorBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill) {
  Log("DrawColorBox", x1, y1, x2, y2, color, fill);
  FakeDraw d;
  d.kind = FakeDraw::kBox;
  d.x1 = x1, d.y1 = y1, d.x2 = x2, d.y2 = y2;
  d.color = color;
  d.fill = fill;
  g_fake.current.draws.push_back(d);
  return 0;
}

// The 16-bit 5:6:5 screen the game asks for.
uint32_t PackScreenColor(int32_t red, int32_t green, int32_t blue) {
  Log("PackScreenColor", red, green, blue);
  return (uint32_t(red & 0xFF) >> 3) << 11 | (uint32_t(green & 0xFF) >> 2) << 5 |
         uint32_t(blue & 0xFF) >> 3;
}

int DrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t color,
                        uint32_t edgeColor) {
  Log("DrawTextDefaultFont", x, y, text, color, edgeColor);
  return DrawText(x, y, text, color, edgeColor);
}

__attribute__((format(printf, 4, 5))) int DrawTextFormatted(int32_t x, int32_t y,
                                                            uint32_t color, const char* format,
                                                            ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Log("DrawTextFormatted", x, y, color, text);
  return DrawText(x, y, text, color, 0);
}

int LoadSoundFile(const char* file, int32_t copies, int32_t stream) {
  Log("LoadSoundFile", file, copies, stream);
  if (Fails(file)) return -1;
  g_fake.soundFiles.push_back(file);
  return kSoundType + int32_t(g_fake.soundFiles.size()) - 1;
}

int PlaySoundHandle(int32_t sound, int32_t playType, int32_t fromTop) {
  Log("PlaySoundHandle", sound, playType, fromTop);
  Audio(Call("PlaySoundHandle", SoundName(sound), playType, fromTop));
  return SoundName(sound).rfind("bad:", 0) == 0 ? -1 : 0;
}

int StopSoundHandle(int32_t sound) {
  Log("StopSoundHandle", sound);
  Audio(Call("StopSoundHandle", SoundName(sound)));
  return SoundName(sound).rfind("bad:", 0) == 0 ? -1 : 0;
}

int PlayMusicFile(const char* file, int32_t playType) {
  Log("PlayMusicFile", file, playType);
  Audio(Call("PlayMusicFile", file, playType));
  if (Fails(file)) return -1;
  g_fake.musicPlaying = 1;
  return 0;
}

int StopMusicFile() {
  Log("StopMusicFile");
  Audio(Call("StopMusicFile"));
  g_fake.musicPlaying = 0;
  return 0;
}

int IsMusicFilePlaying() {
  Log("IsMusicFilePlaying");
  return g_fake.musicPlaying;
}

int ReadPadState(int32_t pad) {
  Log("ReadPadState", pad);
  return g_fake.input.Pad(pad);
}

int IsKeyDown(int32_t key) {
  Log("IsKeyDown", key);
  return g_fake.input.Key(key);
}

int WaitAnyInput() {
  Log("WaitAnyInput");
  return g_fake.input.NextWaitAnyInput();
}

int32_t RandomInt(uint32_t max) {
  Log("RandomInt", max);
  g_fake.randomMaxes.push_back(max);
  if (!g_fake.randomValues.empty()) {
    const int32_t v = g_fake.randomValues.front();
    g_fake.randomValues.pop_front();
    EXPECT_TRUE(v >= 0 && uint32_t(v) <= max) << "scripted " << v << " for RandomInt(" << max << ")";
    return v;
  }
  if (!g_fake.seeded) {
    SeedRandom(g_fake.seed);
    g_fake.seeded = true;
  }
  return RandomIntCore(int32_t(max));
}

uint32_t GetTickMs() {
  Log("GetTickMs");
  return g_clock.load();
}

void Sleep(uint32_t ms) {
  Log("Sleep", ms);
  FakeAdvanceClock(ms);
}

int AskYesNo(const char* text, const char* caption) {
  Log("AskYesNo", text, caption);
  return g_fake.input.NextAskYesNo();
}

int WriteLog(const char* text) {
  Log("WriteLog", text);
  return -1;
}

void TellUser(const char* text) { Log("TellUser", text); }

// Waits on the fake clock: only the main thread's Sleep (or the test) moves it.
int WaitClockStop(uint32_t ms) {
  std::unique_lock<std::mutex> lock(g_mutex);
  const uint32_t start = g_clock.load();
  g_wake.wait(lock, [&] { return g_clockStop || g_clock.load() - start >= ms; });
  if (!g_clockStop) return 0;
  g_calls.push_back("WaitClockStop->1");
  return 1;
}

void SignalClockStop(int32_t stop) {
  Log("SignalClockStop", stop);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_clockStop = stop != 0;
  g_wake.notify_all();
}

const GameApi kFakeApi = {
    .EngineInit = EngineInit,
    .EngineEnd = EngineEnd,
    .PumpMessages = PumpMessages,
    .ChangeWindowMode = ChangeWindowMode,
    .SetScreenMode = SetScreenMode,
    .PresentScreen = PresentScreen,
    .SetDrawTarget = SetDrawTarget,
    .ClearDrawTarget = ClearDrawTarget,
    .LoadSplitGraph = LoadSplitGraph,
    .FreeAllGraphs = FreeAllGraphs,
    .DrawGraphAt = DrawGraphAt,
    .DrawGraphStretched = DrawGraphStretched,
    .DrawColorBox = DrawColorBox,
    .PackScreenColor = PackScreenColor,
    .DrawTextDefaultFont = DrawTextDefaultFont,
    .DrawTextFormatted = DrawTextFormatted,
    .LoadSoundFile = LoadSoundFile,
    .PlaySoundHandle = PlaySoundHandle,
    .StopSoundHandle = StopSoundHandle,
    .PlayMusicFile = PlayMusicFile,
    .StopMusicFile = StopMusicFile,
    .IsMusicFilePlaying = IsMusicFilePlaying,
    .ReadPadState = ReadPadState,
    .IsKeyDown = IsKeyDown,
    .WaitAnyInput = WaitAnyInput,
    .RandomInt = RandomInt,
    .GetTickMs = GetTickMs,
    .Sleep = Sleep,
    .AskYesNo = AskYesNo,
    .WriteLog = WriteLog,
    .TellUser = TellUser,
    .WaitClockStop = WaitClockStop,
    .SignalClockStop = SignalClockStop,
};

}  // namespace

void ResetFakeEngine(const InputScript& script, uint32_t clockMs) {
  g_fake = FakeEngine{};
  g_fake.input.Start(script);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
  g_clock = clockMs;
  g_clockStop = false;
}

FakeEngine& Fake() { return g_fake; }
const GameApi* FakeEngineApi() { return &kFakeApi; }

uint32_t FakeClock() { return g_clock.load(); }

void FakeAdvanceClock(uint32_t ms) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_clock += ms;
  g_wake.notify_all();
}

std::vector<std::string> FakeCalls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls;
}

std::vector<std::string> FakeCallsNamed(const std::set<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& c : FakeCalls())
    if (names.count(c.substr(0, c.find_first_of("(-")))) out.push_back(c);
  return out;
}

void ClearFakeCalls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
}

void FakeLog(const std::string& entry) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.push_back(entry);
}

int32_t FakeGraphHandle(int32_t sheet, int32_t cell) {
  return kGraphType | (sheet + 1) << 16 | cell;
}
