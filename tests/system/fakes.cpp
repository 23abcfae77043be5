#include "fakes.h"

#include "engine/base/log.h"
#include "engine/d3d/services.h"
#include "engine/font/services.h"
#include "engine/graphics/services.h"
#include "engine/movie/services.h"
#include "engine/sound/services.h"
#include "engine/system/calls.h"
#include "platform/com/com.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/osinfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>

namespace {

struct Fakes {
  std::mutex mu;
  std::vector<std::string> calls;
  std::map<std::string, int64_t> scripted;
  std::map<std::string, std::function<void()>> hooks;
  std::map<uint32_t, std::vector<uint32_t>> cpuid;
  bool osScripted = false;
  PlatOsVersion os{};
  std::vector<uint64_t> tsc;
  size_t tscRead = 0;
  bool memoryScripted = false;
  PlatMemoryStatus memory{};
  PlatRect presentRect{};
  std::string drawnText;
  std::string log;
};

Fakes& F() {
  static Fakes* f = new Fakes;
  return *f;
}

// Records the call; true (and the result) when a test scripted it.
bool Enter(const std::string& name, const std::string& record, int64_t* result) {
  Fakes& f = F();
  std::function<void()> hook;
  bool scripted = false;
  {
    std::lock_guard<std::mutex> l(f.mu);
    f.calls.push_back(record);
    auto h = f.hooks.find(name);
    if (h != f.hooks.end()) hook = h->second;
    auto s = f.scripted.find(name);
    if (s != f.scripted.end()) {
      scripted = true;
      *result = s->second;
    }
  }
  if (hook) hook();
  return scripted;
}

void LogSink(const char* text, void*) {
  Fakes& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  f.log += text;
}

}  // namespace

void ResetFakes() {
  Fakes& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  f.calls.clear();
  f.scripted.clear();
  f.hooks.clear();
  f.cpuid.clear();
  f.osScripted = false;
  f.tsc.clear();
  f.tscRead = 0;
  f.memoryScripted = false;
  f.presentRect = PlatRect{};
  f.drawnText.clear();
  f.log.clear();
}

std::vector<std::string> Calls() {
  std::lock_guard<std::mutex> l(F().mu);
  return F().calls;
}

void ClearCalls() {
  std::lock_guard<std::mutex> l(F().mu);
  F().calls.clear();
}

int CallCount(const std::string& record) {
  int n = 0;
  for (const std::string& c : Calls()) n += c == record;
  return n;
}

std::vector<std::string> CallsAmong(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& c : Calls())
    for (const std::string& n : names)
      if (c == n) out.push_back(c);
  return out;
}

void Script(const std::string& name, int64_t result) {
  std::lock_guard<std::mutex> l(F().mu);
  F().scripted[name] = result;
}

void Hook(const std::string& name, std::function<void()> hook) {
  std::lock_guard<std::mutex> l(F().mu);
  F().hooks[name] = std::move(hook);
}

void ScriptCpuid(uint32_t leaf, uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx) {
  std::lock_guard<std::mutex> l(F().mu);
  F().cpuid[leaf] = {eax, ebx, ecx, edx};
}

void ScriptOsVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                     const char* serviceText) {
  std::lock_guard<std::mutex> l(F().mu);
  Fakes& f = F();
  f.osScripted = true;
  f.os = PlatOsVersion{};
  f.os.platformId = platformId;
  f.os.major = major;
  f.os.minor = minor;
  f.os.build = build;
  std::strncpy(f.os.serviceText, serviceText, sizeof f.os.serviceText - 1);
}

void ScriptTscReads(const std::vector<uint64_t>& values) {
  std::lock_guard<std::mutex> l(F().mu);
  F().tsc = values;
  F().tscRead = 0;
}

void ScriptMemory(uint64_t totalPhys, uint64_t availPhys) {
  std::lock_guard<std::mutex> l(F().mu);
  F().memoryScripted = true;
  F().memory = PlatMemoryStatus{};
  F().memory.totalPhys = totalPhys;
  F().memory.availPhys = availPhys;
}

PlatRect LastPresentRect() {
  std::lock_guard<std::mutex> l(F().mu);
  return F().presentRect;
}

std::string LastDrawnText() {
  std::lock_guard<std::mutex> l(F().mu);
  return F().drawnText;
}

// Log lines reach the capture through the debugger output, with no log file behind them.
void CaptureLog() {
  SetLogDebuggerOnly(1);
  PlatSetDebugSink(LogSink, nullptr);
}

std::vector<std::string> LogLines() {
  std::string text;
  {
    std::lock_guard<std::mutex> l(F().mu);
    text = F().log;
  }
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tabs = line.find_first_not_of('\t');
    lines.push_back(tabs == std::string::npos ? std::string() : line.substr(tabs));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool LogHas(const std::string& line) {
  for (const std::string& l : LogLines())
    if (l == line) return true;
  return false;
}

// ---- the recorded calls ----------------------------------------------------------------

namespace {

// An argument as the record shows it: a number as it is; a pointer only when it is null
// ("SetFileFunctionTable(null)"), since an address says nothing a test could expect.
template <typename T>
std::string ArgText(T value) {
  if constexpr (std::is_pointer_v<T>) return value ? std::string() : std::string("null");
  else return std::to_string(value);
}

// "Name" or "Name(1,2)".
template <typename... A>
std::string Record(const std::string& name, A... args) {
  std::string list;
  for (const std::string& a : {std::string(), ArgText(args)...}) {
    if (a.empty()) continue;
    list += (list.empty() ? "" : ",") + a;
  }
  return list.empty() ? name : name + "(" + list + ")";
}

// One table entry, recorded and passed on to the engine's own function unless a test
// scripted its result. Tag makes each entry a type of its own.
template <typename Tag, typename F>
struct Recorder;
template <typename Tag, typename R, typename... A>
struct Recorder<Tag, R (*)(A...)> {
  // Plain arrays and pointers: set up before any constructor of the program runs, so the
  // recorders can be installed from a static initializer.
  static inline char name[64];
  static inline R (*real)(A...) = nullptr;

  static R Call(A... args) {
    int64_t scripted;
    if (Enter(name, Record(name, args...), &scripted)) {
      if constexpr (std::is_void_v<R>) return;
      else if constexpr (std::is_pointer_v<R>) return reinterpret_cast<R>(intptr_t(scripted));
      else return R(scripted);
    }
    return real(args...);
  }
  static void Install(R (*&entry)(A...), R (*engineOwn)(A...), const char* function) {
    std::strncpy(name, function, sizeof name - 1);
    real = engineOwn;
    entry = Call;
  }
};

// The entry member of the table g_<table>, recorded under the function's name. The second
// form lets the table's name come from a macro.
#define KR_RECORD(table, member, function)                                               \
  do {                                                                                   \
    struct Tag;                                                                          \
    Recorder<Tag, decltype(g_##table.member)>::Install(g_##table.member, k##table.member, \
                                                       #function);                       \
  } while (0)
#define KR_RECORD_IN(table, member, function) KR_RECORD(table, member, function)

// Stand-ins for the machine: each answers once a test scripted it, else the machine does.
int HasCpuid(int* answer) {
  std::lock_guard<std::mutex> l(F().mu);
  auto s = F().scripted.find("PlatHasCpuid");
  if (s == F().scripted.end()) return 0;
  *answer = int(s->second);
  return 1;
}

int Cpuid(uint32_t leaf, uint32_t regs[4]) {
  std::lock_guard<std::mutex> l(F().mu);
  if (F().cpuid.empty()) return 0;
  auto it = F().cpuid.find(leaf);
  for (int i = 0; i < 4; i++) regs[i] = it == F().cpuid.end() ? 0 : it->second[size_t(i)];
  return 1;
}

int ReadTsc(uint64_t* answer) {
  std::lock_guard<std::mutex> l(F().mu);
  Fakes& f = F();
  if (f.tsc.empty()) return 0;
  *answer = f.tsc[std::min(f.tscRead, f.tsc.size() - 1)];
  f.tscRead++;
  return 1;
}

int ScriptedValue(const char* name, int64_t* answer) {
  std::lock_guard<std::mutex> l(F().mu);
  auto s = F().scripted.find(name);
  if (s == F().scripted.end()) return 0;
  *answer = s->second;
  return 1;
}

int PerfCounter(int64_t* answer) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> l(F().mu);
    auto h = F().hooks.find("PlatPerfCounter");
    if (h != F().hooks.end()) hook = h->second;
  }
  if (hook) hook();  // before the read, which then sees what the hook did
  return ScriptedValue("PlatPerfCounter", answer);
}

int PerfFrequency(int64_t* answer) { return ScriptedValue("PlatPerfFrequency", answer); }

int OsVersion(PlatOsVersion* answer) {
  std::lock_guard<std::mutex> l(F().mu);
  if (!F().osScripted) return 0;
  *answer = F().os;
  return 1;
}

int MemoryStatus(PlatMemoryStatus* answer) {
  std::lock_guard<std::mutex> l(F().mu);
  if (!F().memoryScripted) return 0;
  *answer = F().memory;
  return 1;
}

constexpr PlatMachineHooks kMachine = {
    .hasCpuid = HasCpuid,
    .cpuid = Cpuid,
    .readTsc = ReadTsc,
    .perfCounter = PerfCounter,
    .perfFrequency = PerfFrequency,
    .osVersion = OsVersion,
    .memoryStatus = MemoryStatus,
};

// The component runtime's starts and ends, recorded where they fall among the steps.
void ObserveCom(const char* call, void*) {
  int64_t ignored;
  Enter(call, call, &ignored);
}

// Calls whose arguments a test looks at beyond the record.
int (*g_recordPresent)(const PlatRect*);
int PresentAndKeepRect(const PlatRect* rect) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    F().presentRect = rect ? *rect : PlatRect{};
  }
  return g_recordPresent(rect);
}

int (*g_recordDrawText)(int32_t, int32_t, const char*, uint32_t, uint32_t);
int DrawTextAndKeepIt(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edge) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    F().drawnText = text ? text : "";
  }
  return g_recordDrawText(x, y, text, color, edge);
}

// Every call through the engine's tables is recorded from the start of the program on:
// the fixtures only clear what was recorded and scripted. The entries come from the
// tables' lists, so a new entry is recorded without a word here.
bool InstallRecorders() {
#define KR_SERVICE(result, function, member, parameters) KR_RECORD_IN(KR_TABLE, member, function);
#define KR_TABLE GraphicsServices
#include "engine/graphics/servicelist.h"
#undef KR_TABLE
#define KR_TABLE SoundServices
#include "engine/sound/servicelist.h"
#undef KR_TABLE
#define KR_TABLE MovieServices
#include "engine/movie/servicelist.h"
#undef KR_TABLE
#define KR_TABLE D3dServices
#include "engine/d3d/servicelist.h"
#undef KR_TABLE
#define KR_TABLE FontServices
#include "engine/font/servicelist.h"
#undef KR_TABLE
#define KR_TABLE SystemCalls
#include "engine/system/calllist.h"
#undef KR_TABLE
#undef KR_SERVICE

  g_recordPresent = g_GraphicsServices.presentSoftwareImage;
  g_GraphicsServices.presentSoftwareImage = PresentAndKeepRect;
  g_recordDrawText = g_FontServices.drawTextDefaultFontCore;
  g_FontServices.drawTextDefaultFontCore = DrawTextAndKeepIt;

  PlatSetMachineHooks(&kMachine);
  PlatComSetObserver(ObserveCom, nullptr);
  return true;
}

[[maybe_unused]] const bool g_installed = InstallRecorders();

// Nothing scripted, hooked or captured outlives the test that set it up.
class ResetAroundEachTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { Reset(); }
  void OnTestEnd(const ::testing::TestInfo&) override { Reset(); }
  static void Reset() {
    ResetFakes();
    // The log goes back to its file and the debugger output to stderr.
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
  }
};

[[maybe_unused]] const bool g_listening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetAroundEachTest);
  return true;
}();

}  // namespace
