// The window step of the engine start: a fresh system data block, the machine's
// measurements, the fine timer, the double-start check and the main window.
#include "engine/base/log.h"
#include "engine/base/random.h"
#include "engine/base/strutil.h"
#include "engine/graphics/services.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/state/sysinfo.h"
#include "engine/system/calls.h"
#include "engine/system/placement.h"
#include "engine/system/system.h"
#include "engine/system/wndproc.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/osinfo.h"
#include "platform/window/window.h"

#include <cstdlib>
#include <string>

namespace {

// The random numbers start from the clock, or from the whole number KR_SEED gives, so
// that a test can play the same stage every run.
uint32_t StartSeed() {
  const char* text = PlatGetEnv("KR_SEED");
  if (text && *text) {
    char* end = nullptr;
    const unsigned long seed = std::strtoul(text, &end, 10);
    if (*end == '\0') return uint32_t(seed);
  }
  return PlatTimeMs();
}

constexpr int kTimerTestChanges = 60;
constexpr uint32_t kTimerTestMs = 1000;
constexpr uint32_t kSettleMs = 200;

// Counts how often each clock moves within a second (or until either moved 60 times) and
// keeps the performance counter only when it moved at least as often.
void TestTimers() {
  SystemData& s = g_System;
  WriteLog("タイマーの精度を検査します\n");
  uint32_t lastMm = PlatTimeMs();
  int64_t lastCounter = PlatPerfCounter();
  const uint32_t start = PlatTimeMs();
  int mmCount = 0, counterCount = 0;
  if (PumpMessagesCore() == 0) {
    while (mmCount < kTimerTestChanges && counterCount < kTimerTestChanges &&
           PlatTimeMs() - start < kTimerTestMs) {
      bool moved = false;
      const int64_t counter = PlatPerfCounter();
      if (counter != lastCounter) {
        counterCount++;
        lastCounter = counter;
        moved = true;
      }
      const uint32_t mm = PlatTimeMs();
      if (mm != lastMm) {
        mmCount++;
        lastMm = mm;
        moved = true;
      }
      if (PumpMessagesCore() != 0) break;
      // A pass in which neither clock moved gives the time slice away, rather than
      // spinning on a coarse (or stopped) clock.
      if (!moved) PlatSleep(1);
    }
  }
  WriteLogFmt("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", mmCount,
              counterCount);
  WriteLog(" ");
  if (mmCount > counterCount) {
    WriteLogFmt("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", int(s.timerMinPeriod));
    s.perfUsable = 0;
  } else {
    WriteLogFmt("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                double(s.perfFrequency) * 0.001);
  }
  WriteLog(" ");
}

// A start that fails after the class was registered leaves nothing behind, so that a
// later start can register it again.
int FailStart(const char* line, int classRegistered) {
  StoreFlag(g_System.endRequested, 1);
  WriteLog(line);
  if (classRegistered) PlatUnregisterClass(g_System.settings.className);
  PlatTimerEndPeriod(g_System.timerMinPeriod);
  PlatSetScreenSaverActive(1);
  g_System.windowCreating = 0;
  return -1;
}

PlatWnd CreateWindowForMode() {
  SystemSettings& set = g_System.settings;
  int32_t w = 640, h = 480;
  g_GraphicsServices.queryScreenSize(&w, &h);
  if (set.windowed) {
    WriteLog("ウインドウモード起動用のウインドウを作成します\n");
    g_System.cursorShown = 1;
    const double scale = GetWindowScale();
    PlatRect r{0, 0, DoubleToInt(double(w) * scale), DoubleToInt(double(h) * scale)};
    PlatAdjustWindowRectEx(&r, WINDOWED_STYLE, 0, WINDOWED_EX_STYLE);
    const int32_t width = r.right - r.left, height = r.bottom - r.top;
    const int32_t x = r.left + (g_System.desktopWidth - width) / 2;
    const int32_t y = r.top + (g_System.desktopHeight - height) / 2;
    return PlatCreateWindow(WINDOWED_EX_STYLE, set.className, set.windowText, WINDOWED_STYLE, x,
                            y, width, height);
  }
  WriteLog("フルスクリーンモード用のウインドウを作成します\n");
  PlatWnd window =
      PlatCreateWindow(FULLSCREEN_EX_STYLE, set.className, set.windowText, FULLSCREEN_STYLE, 0, 0, w, h);
  g_System.cursorShown = 0;
  // The screen stays 640 x 480 to the engine; the platform shows it over the desktop.
  if (window) PlatSetWindowFullScreen(window, 1);
  return window;
}

}  // namespace

int CreateMainWindow() {
  // Everything but the settings starts afresh (the log, the tracker and the engine lock
  // keep their state outside this block).
  const SystemSettings kept = g_System.settings;
  g_System = SystemData{};
  g_System.settings = kept;
  SystemData& s = g_System;
  SystemSettings& set = s.settings;
  if (set.className[0] == '\0') StrCopy(set.className, kDefaultClassName);

  s.mainThreadId = PlatThreadId();
  LogMemoryStatus();
  PlatGetDesktopSize(&s.desktopWidth, &s.desktopHeight);
  s.desktopDepth = PlatGetDesktopDepth();
  int32_t screenWidth = 640, screenHeight = 480;
  g_GraphicsServices.queryScreenSize(&screenWidth, &screenHeight);

  s.perfFrequency = PlatPerfFrequency();
  s.perfUsable = s.perfFrequency != 0 ? 1 : 0;
  s.timerMinPeriod = PlatTimerMinPeriod();
  PlatTimerBeginPeriod(s.timerMinPeriod);
  if (s.perfUsable) TestTimers();
  SeedRandom(StartSeed());
  PlatSetScreenSaverActive(0);

  WriteLog("ソフトの二重起動検査... ");
  if (PlatFindWindow(set.className, nullptr)) {
    PlatUserNotice("A copy of this program is already running on this display: this one ends.\n");
    return FailStart("二重起動されています、ソフトを終了します\n", 0);
  }
  WriteLog("二重起動はされていませんでした\n");

  s.windowCreating = 1;
  WriteLog("ウインドウクラスを登録します... ");
  const PlatWndClass wc{.style = PLAT_CS_HREDRAW | PLAT_CS_VREDRAW,
                        .proc = MainWindowProc,
                        .cursor = PLAT_CURSOR_ARROW,
                        .className = set.className};
  if (!PlatRegisterClass(&wc)) return FailStart("ウインドウクラスの登録に失敗しました\n", 0);
  WriteLog("登録に成功しました\n");

  if (set.windowText[0] == '\0') StrCopy(set.windowText, "Kestr");
  const PlatWnd window = CreateWindowForMode();
  if (!window) {
    // With no display at all the user must hear why, not just that it failed.
    if (const char* reason = PlatWindowUnavailableReason()) {
      const std::string line = std::string(reason) + "\n";
      PlatUserNotice(line.c_str());
      WriteLog("ウインドウの作成に失敗しました\n");
      return FailStart(line.c_str(), 1);
    }
    return FailStart("ウインドウの作成に失敗しました\n", 1);
  }
  WriteLog("ウインドウの作成に成功しました\n");
  __atomic_store_n(&s.mainWindow, window, __ATOMIC_RELAXED);

  PlatShowWindow(window, PLAT_SW_SHOWNORMAL);
  PlatUpdateWindow(window);
  StoreFlag(s.closePending, 0);
  StoreFlag(s.windowActive, 1);
  if (!set.windowed) {
    WriteLog("カーソルを不可視にしました\n");
    PlatSetCursor(PLAT_CURSOR_NONE);
  }
  WriteLog("ＩＭＥを無効にしました\n");
  PlatEnableWindowIme(window, 0);
  if (set.windowed) {
    PlatRect client{};
    PlatGetClientRect(window, &client);
    PlatPoint topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
    PlatClientToScreen(window, &topLeft);
    PlatClientToScreen(window, &bottomRight);
    s.clientRectOnScreen = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  }
  s.charSet = PlatGetOemCodePage() == 949 ? 2 : 1;
  g_SystemCalls.setMouseCursorVisible(s.cursorShown);
  PlatBringWindowToTop(window);

  // Let the window settle; a millisecond's sleep per pass rather than a spin.
  const uint32_t start = PlatTimeMs();
  while (PlatTimeMs() - start < kSettleMs) {
    PumpMessagesCore();
    PlatSleep(1);
  }
  g_SystemCalls.updateWindowPlacement();
  s.windowCreating = 0;
  return 0;
}
