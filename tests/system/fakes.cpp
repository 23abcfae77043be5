#include "engine/base/log.h"
#include "engine/file/file.h"
#include "engine/graphics/services.h"
#include "fakes.h"

#include "platform/kernel/kernel.h"
#include "platform/kernel/osinfo.h"

#include <cstring>
#include <map>
#include <mutex>

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

// ---- the wrapped calls ------------------------------------------------------------------

#define KR_WRAP_INT(sym, name)                        \
  extern "C" int __real_##sym();                      \
  extern "C" int __wrap_##sym() {                     \
    int64_t r;                                        \
    if (Enter(name, name, &r)) return int(r);         \
    return __real_##sym();                            \
  }

KR_WRAP_INT(_Z18RestoreAllTexturesv, "RestoreAllTextures")
KR_WRAP_INT(_Z21ReleaseDirect3DObjectv, "ReleaseDirect3DObject")
KR_WRAP_INT(_Z13GetVBlankWaitv, "GetVBlankWait")
KR_WRAP_INT(_Z16IsDirectDrawUsedv, "IsDirectDrawUsed")
KR_WRAP_INT(_Z17ReleaseDirectDrawv, "ReleaseDirectDraw")
KR_WRAP_INT(_Z19GetDrawTargetHandlev, "GetDrawTargetHandle")
KR_WRAP_INT(_Z20IsDisplayModeChangedv, "IsDisplayModeChanged")
KR_WRAP_INT(_Z20RestoreAllSurfaces2Dv, "RestoreAllSurfaces2D")
KR_WRAP_INT(_Z21RebuildGraphicsSystemv, "RebuildGraphicsSystem")
KR_WRAP_INT(_Z22HasGraphRestoreHandlerv, "HasGraphRestoreHandler")
KR_WRAP_INT(_Z22SetupScreenColorFormatv, "SetupScreenColorFormat")
KR_WRAP_INT(_Z23RestoreAllGraphSurfacesv, "RestoreAllGraphSurfaces")
KR_WRAP_INT(_Z19DrawAllScreenMoviesv, "DrawAllScreenMovies")
KR_WRAP_INT(_Z20PauseAllMovieHandlesv, "PauseAllMovieHandles")
KR_WRAP_INT(_Z21ResumeAllMovieHandlesv, "ResumeAllMovieHandles")
KR_WRAP_INT(_Z22ReleaseAllMovieObjectsv, "ReleaseAllMovieObjects")
KR_WRAP_INT(_Z11OnMciNotifyv, "OnMciNotify")
KR_WRAP_INT(_Z21RefillAllStreamSoundsv, "RefillAllStreamSounds")
KR_WRAP_INT(_Z21UpdateMusicPlayStatesv, "UpdateMusicPlayStates")
KR_WRAP_INT(_Z16StepAllHttpSlotsv, "StepAllHttpSlots")
KR_WRAP_INT(_Z16SetHookedF10Flagv, "SetHookedF10Flag")
KR_WRAP_INT(_Z17ApplyPadVibrationv, "ApplyPadVibration")
KR_WRAP_INT(_Z18ClearHookedF10Flagv, "ClearHookedF10Flag")
KR_WRAP_INT(_Z19ServicePadVibrationv, "ServicePadVibration")
KR_WRAP_INT(_Z21ReacquireInputDevicesv, "ReacquireInputDevices")
KR_WRAP_INT(_Z14UpdateKeyInputv, "UpdateKeyInput")
KR_WRAP_INT(_Z24DeleteAllKeyInputHandlesv, "DeleteAllKeyInputHandles")
KR_WRAP_INT(_Z21UpdateWindowPlacementv, "UpdateWindowPlacement")
KR_WRAP_INT(_Z22RefreshFullScreenStatev, "RefreshFullScreenState")

KR_WRAP_INT(_Z14GetNo3DSettingv, "GetNo3DSetting")
KR_WRAP_INT(_Z14BuildYuvTablesv, "BuildYuvTables")
KR_WRAP_INT(_Z17InitArchiveTablesv, "InitArchiveTables")
KR_WRAP_INT(_Z11OpenLogFilev, "OpenLogFile")
KR_WRAP_INT(_Z16QueryScreenDepthv, "QueryScreenDepth")
KR_WRAP_INT(_Z13LogSystemInfov, "LogSystemInfo")
KR_WRAP_INT(_Z17PlatComInitializev, "PlatComInitialize")
KR_WRAP_INT(_Z16CreateMainWindowv, "CreateMainWindow")
KR_WRAP_INT(_Z14ClearHttpTablev, "ClearHttpTable")
KR_WRAP_INT(_Z17StartInputDevicesv, "StartInputDevices")
KR_WRAP_INT(_Z15InitSoundSystemv, "InitSoundSystem")
KR_WRAP_INT(_Z18InitCharCodeBufferv, "InitCharCodeBuffer")
KR_WRAP_INT(_Z13InitScreenLogv, "InitScreenLog")
KR_WRAP_INT(_Z7EndHttpv, "EndHttp")
KR_WRAP_INT(_Z10EndNetworkv, "EndNetwork")
KR_WRAP_INT(_Z17StopMusicFileCorev, "StopMusicFileCore")
KR_WRAP_INT(_Z11EndGraphicsv, "EndGraphics")
KR_WRAP_INT(_Z13ShutdownInputv, "ShutdownInput")
KR_WRAP_INT(_Z14EndSoundSystemv, "EndSoundSystem")
KR_WRAP_INT(_Z17DestroyMainWindowv, "DestroyMainWindow")
KR_WRAP_INT(_Z23RemoveAllSoftImagesCorev, "RemoveAllSoftImagesCore")
KR_WRAP_INT(_Z11EndArchivesv, "EndArchives")

#define KR_WRAP_VOID(sym, name)              \
  extern "C" void __real_##sym();            \
  extern "C" void __wrap_##sym() {           \
    int64_t r;                               \
    if (!Enter(name, name, &r)) __real_##sym(); \
  }

KR_WRAP_VOID(_Z22FillStreamFunctionRowsv, "FillStreamFunctionRows")
KR_WRAP_VOID(_Z19PlatComUninitializev, "PlatComUninitialize")
KR_WRAP_VOID(_Z15DumpAllocationsv, "DumpAllocations")

// Calls recorded with their arguments: "SetDrawTargetCore(-2)".
template <typename... A>
std::string Record(const char* name, A... args) {
  std::string record = std::string(name) + "(";
  const char* comma = "";
  ((record += comma + std::to_string(args), comma = ","), ...);
  return record + ")";
}

#define KR_WRAP_ARGS(sym, name, params, args)                                   \
  extern "C" int __real_##sym params;                                           \
  extern "C" int __wrap_##sym params {                                          \
    int64_t r;                                                                  \
    if (Enter(name, Record args, &r)) return int(r);                            \
    return __real_##sym(KR_UNPACK args);                                        \
  }
#define KR_UNPACK(name, ...) __VA_ARGS__

KR_WRAP_ARGS(_Z20SetHardwareRenderingi, "SetHardwareRendering", (int32_t a),
             ("SetHardwareRendering", a))
KR_WRAP_ARGS(_Z22SetUseTemporaryPrimaryi, "SetUseTemporaryPrimary", (int32_t a),
             ("SetUseTemporaryPrimary", a))
KR_WRAP_ARGS(_Z17SetDrawTargetCorei, "SetDrawTargetCore", (int32_t a), ("SetDrawTargetCore", a))
KR_WRAP_ARGS(_Z18SetGraphCreateModei, "SetGraphCreateMode", (int32_t a), ("SetGraphCreateMode", a))
KR_WRAP_ARGS(_Z16DeleteFontHandlei, "DeleteFontHandle", (int32_t a), ("DeleteFontHandle", a))
KR_WRAP_ARGS(_Z14MakeBlankGraphiii, "MakeBlankGraph", (int32_t a, int32_t b, int32_t c),
             ("MakeBlankGraph", a, b, c))
KR_WRAP_ARGS(_Z9FreeGraphii, "FreeGraph", (int32_t a, int32_t b), ("FreeGraph", a, b))
KR_WRAP_ARGS(_Z13SetBlendStateii, "SetBlendState", (int32_t a, int32_t b), ("SetBlendState", a, b))
KR_WRAP_ARGS(_Z15DrawGraphAtCoreiiii, "DrawGraphAtCore", (int32_t a, int32_t b, int32_t c, int32_t d),
             ("DrawGraphAtCore", a, b, c, d))
KR_WRAP_ARGS(_Z22DrawGraphStretchedCoreiiiiii, "DrawGraphStretchedCore",
             (int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f),
             ("DrawGraphStretchedCore", a, b, c, d, e, f))
KR_WRAP_ARGS(_Z17BringToForegroundji, "BringToForeground", (PlatWnd a, int32_t b),
             ("BringToForeground", a, b))
KR_WRAP_ARGS(_Z25StartGraphicsWithFallbackj, "StartGraphicsWithFallback", (PlatWnd a),
             ("StartGraphicsWithFallback", a))

// Calls recorded by name alone.
#define KR_WRAP_NAMED(sym, name, params, args)                                  \
  extern "C" int __real_##sym params;                                           \
  extern "C" int __wrap_##sym params {                                          \
    int64_t r;                                                                  \
    if (Enter(name, name, &r)) return int(r);                                   \
    return __real_##sym args;                                                   \
  }

KR_WRAP_NAMED(_Z23MakeGraphFromGraphImageP10GraphImage, "MakeGraphFromGraphImage",
              (GraphImage * a), (a))
KR_WRAP_NAMED(_Z17FileSetCurrentDirPKc, "FileSetCurrentDir", (const char* a), (a))

extern "C" int __real__Z20SetFileFunctionTablePK17FileFunctionTable(const FileFunctionTable*);
extern "C" int __wrap__Z20SetFileFunctionTablePK17FileFunctionTable(const FileFunctionTable* t) {
  int64_t r;
  if (Enter("SetFileFunctionTable", t ? "SetFileFunctionTable" : "SetFileFunctionTable(null)", &r))
    return int(r);
  return __real__Z20SetFileFunctionTablePK17FileFunctionTable(t);
}

extern "C" int __real__Z22SetGraphRestoreHandlerPFvvE(GraphRestoreHandler);
extern "C" int __wrap__Z22SetGraphRestoreHandlerPFvvE(GraphRestoreHandler h) {
  int64_t r;
  if (Enter("SetGraphRestoreHandler", h ? "SetGraphRestoreHandler" : "SetGraphRestoreHandler(null)", &r))
    return int(r);
  return __real__Z22SetGraphRestoreHandlerPFvvE(h);
}

extern "C" int __real__Z23DrawTextDefaultFontCoreiiPKcjj(int32_t, int32_t, const char*, uint32_t, uint32_t);
extern "C" int __wrap__Z23DrawTextDefaultFontCoreiiPKcjj(int32_t x, int32_t y, const char* text,
                                                          uint32_t color, uint32_t edge) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    F().drawnText = text ? text : "";
  }
  int64_t r;
  if (Enter("DrawTextDefaultFontCore", Record("DrawTextDefaultFontCore", x, y, color, edge), &r))
    return int(r);
  return __real__Z23DrawTextDefaultFontCoreiiPKcjj(x, y, text, color, edge);
}

extern "C" int __real__Z13SetVBlankWaiti(int);
extern "C" int __wrap__Z13SetVBlankWaiti(int flag) {
  int64_t r;
  if (Enter("SetVBlankWait", "SetVBlankWait(" + std::to_string(flag) + ")", &r)) return int(r);
  return __real__Z13SetVBlankWaiti(flag);
}

extern "C" int __real__Z17QueryScreenFormatPiS_S_(int32_t*, int32_t*, int32_t*);
extern "C" int __wrap__Z17QueryScreenFormatPiS_S_(int32_t* w, int32_t* h, int32_t* d) {
  int64_t r;
  Enter("QueryScreenFormat", "QueryScreenFormat", &r);
  return __real__Z17QueryScreenFormatPiS_S_(w, h, d);
}

extern "C" void* __real__Z19GetDirectDrawObjectv();
extern "C" void* __wrap__Z19GetDirectDrawObjectv() {
  int64_t r;
  if (Enter("GetDirectDrawObject", "GetDirectDrawObject", &r)) return (void*)intptr_t(r);
  return __real__Z19GetDirectDrawObjectv();
}

extern "C" int __real__Z20PresentSoftwareImagePK8PlatRect(const PlatRect*);
extern "C" int __wrap__Z20PresentSoftwareImagePK8PlatRect(const PlatRect* rect) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    F().presentRect = rect ? *rect : PlatRect{};
  }
  int64_t r;
  if (Enter("PresentSoftwareImage", "PresentSoftwareImage", &r)) return int(r);
  return __real__Z20PresentSoftwareImagePK8PlatRect(rect);
}

extern "C" PlatLResult __real__Z20CaptureImeCandidatesjjml(PlatWnd, uint32_t, PlatWParam, PlatLParam);
extern "C" PlatLResult __wrap__Z20CaptureImeCandidatesjjml(PlatWnd w, uint32_t m, PlatWParam wp,
                                                           PlatLParam lp) {
  int64_t r;
  if (Enter("CaptureImeCandidates", "CaptureImeCandidates(" + std::to_string(m) + ")", &r))
    return PlatLResult(r);
  return __real__Z20CaptureImeCandidatesjjml(w, m, wp, lp);
}

extern "C" int __real__Z13OnSocketEventmj(uintptr_t, uint32_t);
extern "C" int __wrap__Z13OnSocketEventmj(uintptr_t socket, uint32_t event) {
  int64_t r;
  std::string record = "OnSocketEvent(" + std::to_string(socket) + "," + std::to_string(event) + ")";
  if (Enter("OnSocketEvent", record, &r)) return int(r);
  return __real__Z13OnSocketEventmj(socket, event);
}

extern "C" int __real__Z19PumpNetworkMessagesi(int);
extern "C" int __wrap__Z19PumpNetworkMessagesi(int mode) {
  int64_t r;
  if (Enter("PumpNetworkMessages", "PumpNetworkMessages(" + std::to_string(mode) + ")", &r))
    return int(r);
  return __real__Z19PumpNetworkMessagesi(mode);
}

extern "C" int __real__Z13OnWindowMovedl(PlatLParam);
extern "C" int __wrap__Z13OnWindowMovedl(PlatLParam lParam) {
  int64_t r;
  if (Enter("OnWindowMoved", "OnWindowMoved", &r)) return int(r);
  return __real__Z13OnWindowMovedl(lParam);
}

extern "C" int __real__Z21SetMouseCursorVisiblei(int32_t);
extern "C" int __wrap__Z21SetMouseCursorVisiblei(int32_t visible) {
  int64_t r;
  Enter("SetMouseCursorVisible", "SetMouseCursorVisible(" + std::to_string(visible) + ")", &r);
  return __real__Z21SetMouseCursorVisiblei(visible);
}

// The machine: each goes to the real one until a test scripts it.

extern "C" int __real__Z12PlatHasCpuidv();
extern "C" int __wrap__Z12PlatHasCpuidv() {
  std::lock_guard<std::mutex> l(F().mu);
  auto s = F().scripted.find("PlatHasCpuid");
  if (s != F().scripted.end()) return int(s->second);
  return __real__Z12PlatHasCpuidv();
}

extern "C" void __real__Z9PlatCpuidjPj(uint32_t, uint32_t*);
extern "C" void __wrap__Z9PlatCpuidjPj(uint32_t leaf, uint32_t* regs) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    if (!F().cpuid.empty()) {
      auto it = F().cpuid.find(leaf);
      for (int i = 0; i < 4; i++) regs[i] = it == F().cpuid.end() ? 0 : it->second[size_t(i)];
      return;
    }
  }
  __real__Z9PlatCpuidjPj(leaf, regs);
}

extern "C" uint64_t __real__Z11PlatReadTscv();
extern "C" uint64_t __wrap__Z11PlatReadTscv() {
  {
    std::lock_guard<std::mutex> l(F().mu);
    Fakes& f = F();
    if (!f.tsc.empty()) {
      uint64_t v = f.tsc[std::min(f.tscRead, f.tsc.size() - 1)];
      f.tscRead++;
      return v;
    }
  }
  return __real__Z11PlatReadTscv();
}

extern "C" int64_t __real__Z15PlatPerfCounterv();
extern "C" int64_t __wrap__Z15PlatPerfCounterv() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> l(F().mu);
    auto h = F().hooks.find("PlatPerfCounter");
    if (h != F().hooks.end()) hook = h->second;
  }
  if (hook) hook();  // before the read, which then sees what the hook did
  {
    std::lock_guard<std::mutex> l(F().mu);
    auto s = F().scripted.find("PlatPerfCounter");
    if (s != F().scripted.end()) return s->second;
  }
  return __real__Z15PlatPerfCounterv();
}

extern "C" int64_t __real__Z17PlatPerfFrequencyv();
extern "C" int64_t __wrap__Z17PlatPerfFrequencyv() {
  {
    std::lock_guard<std::mutex> l(F().mu);
    auto s = F().scripted.find("PlatPerfFrequency");
    if (s != F().scripted.end()) return s->second;
  }
  return __real__Z17PlatPerfFrequencyv();
}

extern "C" void __real__Z16PlatGetOsVersionP13PlatOsVersion(PlatOsVersion*);
extern "C" void __wrap__Z16PlatGetOsVersionP13PlatOsVersion(PlatOsVersion* v) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    if (F().osScripted) {
      *v = F().os;
      return;
    }
  }
  __real__Z16PlatGetOsVersionP13PlatOsVersion(v);
}

extern "C" void __real__Z19PlatGetMemoryStatusP16PlatMemoryStatus(PlatMemoryStatus*);
extern "C" void __wrap__Z19PlatGetMemoryStatusP16PlatMemoryStatus(PlatMemoryStatus* m) {
  {
    std::lock_guard<std::mutex> l(F().mu);
    if (F().memoryScripted) {
      *m = F().memory;
      return;
    }
  }
  __real__Z19PlatGetMemoryStatusP16PlatMemoryStatus(m);
}

extern "C" int __real__Z20PlatBringWindowToTopj(PlatWnd);
extern "C" int __wrap__Z20PlatBringWindowToTopj(PlatWnd window) {
  int64_t r;
  if (Enter("BringWindowToTop", "BringWindowToTop", &r)) return int(r);
  return __real__Z20PlatBringWindowToTopj(window);
}
