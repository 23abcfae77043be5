// The engine's main window on the SDL back end, and a test run again in a child process
// on a virtual X display of its own (support/virtualdisplay.h), with SDL on it. The child
// says through a marker file that it ran, so a server that could not start lets the
// parent skip rather than fail.
#pragma once

#include "engine/base/strutil.h"
#include "engine/state/sysdata.h"
#include "engine/system/wndproc.h"
#include "platform/kernel/kernel.h"
#include "platform/window/sdl/sdlwindow.h"
#include "support/virtualdisplay.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

// The main window as the window start leaves it (class "D123987X", windowed, active, this
// thread the main thread), shown on SDL, with the manual clock at 1000 ms; 0 on failure.
inline PlatWnd OpenSdlEngineWindow() {
  if (PlatWindowSelectBackend("sdl") != 0) return 0;
  PlatSetClassLockDirectory(nullptr);  // a program running beside the tests keeps its class
  PlatClockSetManual(1, 1000);
  g_System = SystemData{};
  g_System.settings.windowed = 1;
  StrCopy(g_System.settings.className, "D123987X");
  PlatWndClass wc{PLAT_CS_HREDRAW | PLAT_CS_VREDRAW, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  if (!PlatRegisterClass(&wc)) return 0;
  PlatWnd window = PlatCreateWindow(0x300, "D123987X", "Kestr", 0x80CA0000, 100, 100, 650, 510);
  if (!window) return 0;
  g_System.mainWindow = window;
  g_System.mainThreadId = PlatThreadId();
  g_System.windowActive = 1;
  PlatShowWindow(window, PLAT_SW_SHOW);
  return PlatSdlWindow(window) ? window : 0;
}

// Gives back what OpenSdlEngineWindow (or a test) made: the window if it still exists,
// the class, the class locks' directory, the manual clock, and the quit message the
// window's end left in this thread's queue.
inline void CloseSdlEngineWindow(PlatWnd window) {
  if (PlatIsWindow(window)) PlatDestroyWindow(window);
  PlatUnregisterClass("D123987X");
  PlatSetClassLockDirectory(nullptr);
  PlatClockSetManual(0);
  PlatMsg m;
  while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
  }
}

// An environment variable set for a scope, and put back as it was after it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

struct XvfbRun {
  bool available = false;  // Xvfb exists
  bool ran = false;        // the child started under a server
  int status = -1;
  std::string log;         // the child's output
};

// True in the child: the caller then does the test's work there.
inline bool InXvfbChild() {
  const char* marker = std::getenv("KR_XVFB_CHILD");
  if (!marker) return false;
  std::ofstream(marker) << "ran";
  return true;
}

// Runs the test of that full name (Suite.Name) in the child and reports how it went.
inline XvfbRun RunInXvfbChild(const std::string& test) {
  XvfbRun run;
  if (!HaveVirtualDisplay()) return run;
  run.available = true;
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return run;
  exe[n] = '\0';
  const std::string marker = std::string(P_tmpdir) + "/kr_xvfb_" + std::to_string(getpid());
  const std::string output = marker + ".out";
  std::remove(marker.c_str());
  // X and SDL keep allocations of their own to the end: leak checks stay in process.
  const std::string command =
      OnVirtualDisplay() + " env KR_XVFB_CHILD='" + marker +
      "' SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" + exe +
      "' --gtest_filter=" + test + " >'" + output + "' 2>&1";
  run.status = std::system(command.c_str());
  auto read = [](const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  run.ran = read(marker) == "ran";
  run.log = read(output);
  std::remove(marker.c_str());
  std::remove(output.c_str());
  return run;
}
