// The SDL back end with the engine's procedure and pump: SDL's dummy video driver in
// process, and a real X display under Xvfb in a child process.
#include "engine/base/strutil.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/charinput.h"
#include "engine/system/system.h"
#include "engine/system/wndproc.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/window/sdl/sdlwindow.h"

#include "sdl_engine_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

struct Message {
  uint32_t message;
  PlatWParam wParam;
  PlatLParam lParam;
};
std::mutex g_mu;
std::vector<Message> g_seen;

void Observe(PlatWnd, uint32_t m, PlatWParam wp, PlatLParam lp, void*) {
  std::lock_guard<std::mutex> l(g_mu);
  g_seen.push_back({m, wp, lp});
}

const Message* Find(uint32_t message, PlatWParam wParam) {
  std::lock_guard<std::mutex> l(g_mu);
  for (const Message& m : g_seen)
    if (m.message == message && m.wParam == wParam) return &m;
  return nullptr;
}

// What a test made is given back at its end: its window, the class, the observer and the
// manual clock.
class SdlWindow : public ::testing::Test {
 protected:
  PlatWnd window = 0;

  void SetUp() override {
    std::lock_guard<std::mutex> l(g_mu);
    g_seen.clear();
  }
  void TearDown() override {
    PlatSetMessageObserver(nullptr, nullptr);
    CloseSdlEngineWindow(window);
  }

  // A window of the class on SDL's dummy video driver, 640 x 480 at the origin.
  void CreateOnTheDummyDriver(const char* className, uint32_t style) {
    dummyDriver = std::make_unique<ScopedEnv>("SDL_VIDEODRIVER", "dummy");
    ASSERT_EQ(PlatWindowSelectBackend("sdl"), 0);
    PlatSetClassLockDirectory(nullptr);
    PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, className};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = PlatCreateWindow(0x8, className, "Kestr", style, 0, 0, 640, 480);
    ASSERT_NE(window, 0u);
  }
  std::unique_ptr<ScopedEnv> dummyDriver;

  // Opens the main window on SDL, types into it through SDL's own event queue and closes
  // it.
  void TypeIntoARealWindowAndCloseIt() {
    PlatSetMessageObserver(Observe, nullptr);
    window = OpenSdlEngineWindow();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(PlatSdlIsShown(window), 1);
    EXPECT_EQ(PlatGetDesktopDepth(), 32);  // 4-byte pixels, whatever SDL calls the depth
    EXPECT_EQ(PumpMessagesCore(), 0);       // paints the client area black

    ASSERT_EQ(PlatSdlPushKey(window, 'A', 1), 1);
    ASSERT_EQ(PlatSdlPushText(window, "a"), 1);
    ASSERT_EQ(PlatSdlPushKey(window, PLAT_VK_RSHIFT, 1), 1);
    EXPECT_EQ(PumpMessagesCore(), 0);
    const Message* down = Find(PLAT_WM_KEYDOWN, 'A');
    ASSERT_NE(down, nullptr);
    EXPECT_EQ((uint32_t(down->lParam) >> 16) & 0xFF, 0x1Eu);  // the PC scan code of A
    EXPECT_NE(Find(PLAT_WM_CHAR, 'a'), nullptr);
    EXPECT_EQ(g_CharCodeBuffer.data[g_CharCodeBuffer.writePos - 1], 'a');
    uint8_t keys[256];
    PlatGetKeyboardState(keys);
    EXPECT_EQ(keys[uint8_t{'A'}] & 0x80, 0x80);
    EXPECT_EQ(keys[PLAT_VK_RSHIFT] & 0x80, 0x80);
    EXPECT_EQ(keys[PLAT_VK_LSHIFT] & 0x80, 0);

    ASSERT_EQ(PlatSdlPushKey(window, 'A', 0), 1);
    ASSERT_EQ(PlatSdlPushKey(window, PLAT_VK_RSHIFT, 0), 1);
    EXPECT_EQ(PumpMessagesCore(), 0);
    EXPECT_NE(Find(PLAT_WM_KEYUP, 'A'), nullptr);
    EXPECT_EQ(PlatGetKeyState('A') & 0x80, 0);

    // Text typed through the input method comes as UTF-8 and enters the ring as Shift-JIS.
    ASSERT_EQ(PlatSdlPushText(window, "\xe3\x81\x82"), 1);  // HIRAGANA LETTER A
    EXPECT_EQ(PumpMessagesCore(), 0);
    EXPECT_NE(Find(PLAT_WM_CHAR, 0x82), nullptr);
    EXPECT_NE(Find(PLAT_WM_CHAR, 0xA0), nullptr);
    const int32_t end = g_CharCodeBuffer.writePos;
    EXPECT_EQ(g_CharCodeBuffer.data[end - 2], 0x82);
    EXPECT_EQ(g_CharCodeBuffer.data[end - 1], 0xA0);

    // The focus leaves and comes back through SDL's queue. While the window is inactive
    // the pump keeps the main thread, so the focus comes back from another thread, once
    // the procedure has seen it go.
    {
      std::lock_guard<std::mutex> l(g_mu);
      g_seen.clear();  // the activation at the window's start is not the one looked for
    }
    ASSERT_EQ(PlatSdlPushFocus(window, 0), 1);
    std::thread user([this] {
      for (int i = 0; i < 5000 && __atomic_load_n(&g_System.windowActive, __ATOMIC_RELAXED) != 0; i++) PlatSleep(1);
      PlatSdlPushFocus(window, 1);
    });
    EXPECT_EQ(PumpMessagesCore(), 0);
    user.join();
    const Message* lost = Find(PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE);
    const Message* regained = Find(PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE);
    ASSERT_NE(lost, nullptr);
    ASSERT_NE(regained, nullptr);
    EXPECT_LT(lost, regained);
    EXPECT_EQ(g_System.windowActive, 1);

    ASSERT_EQ(PlatSdlPushClose(window), 1);
    int result = 0;
    for (int i = 0; i < 10 && result == 0; i++) result = PumpMessagesCore();
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(PlatIsWindow(window));
    EXPECT_EQ(PlatSdlWindow(window), nullptr);
    EXPECT_NE(Find(PLAT_WM_SYSCOMMAND, PLAT_SC_CLOSE), nullptr);
    EXPECT_NE(Find(PLAT_WM_CLOSE, 0), nullptr);
  }

};

TEST_F(SdlWindow, DummyVideoDriver) {
  const ScopedEnv driver("SDL_VIDEODRIVER", "dummy");
  TypeIntoARealWindowAndCloseIt();
}

// Asks SDL for a driver that does not exist and tries to make a window: ends the process
// with 0 when none was made and the desktop reads as SDL's fallback.
[[noreturn]] void MakeAWindowWithoutADisplay() {
  setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  const bool refused = PlatWindowSelectBackend("sdl") == 0 && PlatRegisterClass(&wc) &&
                       PlatCreateWindow(0, "D123987X", "Kestr", 0x80000000, 0, 0, 640, 480) == 0;
  int32_t w = 0, h = 0;
  PlatGetDesktopSize(&w, &h);
  const int32_t depth = PlatGetDesktopDepth();
  std::fprintf(stderr, "refused %d width %d depth %d\n", int(refused), int(w), int(depth));
  _exit(refused && w == 640 && depth == 32 ? 0 : 1);
}

// A display that is named is asked for two seconds before the start gives up; one that
// is not, once. Ends with 0 when the manual clock shows those waits.
[[noreturn]] void OpenANamedDisplayThatNeverAnswers(const char* display) {
  setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  if (display) setenv("DISPLAY", display, 1);
  else unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  PlatClockSetManual(1, 0);
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  const bool refused = PlatWindowSelectBackend("sdl") == 0 && PlatRegisterClass(&wc) &&
                       PlatCreateWindow(0, "D123987X", "Kestr", 0x80000000, 0, 0, 640, 480) == 0;
  const uint32_t waited = PlatTimeMs();
  std::fprintf(stderr, "refused %d waited %u\n", int(refused), unsigned(waited));
  _exit(refused && waited == (display ? 1800u : 0u) ? 0 : 1);
}

// SDL opens its video once per process: these need a process where it never has, so each
// runs in a child of its own.
TEST(SdlWindowDeathTest, WithoutADisplayNoWindowIsMade) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(MakeAWindowWithoutADisplay(), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(OpenANamedDisplayThatNeverAnswers(":97"), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(OpenANamedDisplayThatNeverAnswers(nullptr), ::testing::ExitedWithCode(0), "");
}

// Full screen covers the desktop while the window keeps the geometry it was given.
TEST_F(SdlWindow, FullScreenCoversTheDesktop) {
  ASSERT_NO_FATAL_FAILURE(CreateOnTheDummyDriver("D123987X", 0x80000000));
  PlatSetWindowFullScreen(window, 1);
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  EXPECT_EQ(PlatSdlIsFullScreen(window), 1);
  PlatRect client{};
  PlatGetClientRect(window, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  PlatSetWindowFullScreen(window, 0);
  EXPECT_EQ(PlatSdlIsFullScreen(window), 0);
}

// A style without the visible bit leaves the real window on the screen until the window
// is shown or hidden: the engine's full-screen set-up sets the style, then shows the
// window, and unmapping it between the two handed the X focus away and back, which the
// engine took as the user leaving it (its graphics released in the middle of its start).
TEST_F(SdlWindow, AStyleWithoutTheVisibleBitKeepsTheWindowOnTheScreen) {
  ASSERT_NO_FATAL_FAILURE(CreateOnTheDummyDriver("D123987Y", 0x80000000 | PLAT_WS_VISIBLE));
  ASSERT_EQ(PlatSdlIsShown(window), 1);
  PlatSetWindowLong(window, PLAT_GWL_STYLE, 0x80000000);
  EXPECT_EQ(PlatIsWindowVisible(window), 0);
  EXPECT_EQ(PlatSdlIsShown(window), 1);
  PlatShowWindow(window, PLAT_SW_SHOW);
  EXPECT_EQ(PlatIsWindowVisible(window), 1);
  EXPECT_EQ(PlatSdlIsShown(window), 1);
  // Hiding is what takes it off the screen, by either call.
  PlatShowWindow(window, PLAT_SW_HIDE);
  EXPECT_EQ(PlatSdlIsShown(window), 0);
  PlatSetWindowPos(window, 0, 0, 0, 0, 0, PLAT_SWP_NOMOVE | PLAT_SWP_NOSIZE | PLAT_SWP_SHOWWINDOW);
  EXPECT_EQ(PlatSdlIsShown(window), 1);
  PlatSetWindowPos(window, 0, 0, 0, 0, 0, PLAT_SWP_NOMOVE | PLAT_SWP_NOSIZE | PLAT_SWP_HIDEWINDOW);
  EXPECT_EQ(PlatSdlIsShown(window), 0);
  // A style with the visible bit shows a hidden window, as before.
  PlatSetWindowLong(window, PLAT_GWL_STYLE, 0x80000000 | PLAT_WS_VISIBLE);
  EXPECT_EQ(PlatSdlIsShown(window), 1);
}

// The same on a real X display, in a child under Xvfb.
TEST_F(SdlWindow, RealXDisplayUnderXvfb) {
  if (InXvfbChild()) {
    TypeIntoARealWindowAndCloseIt();
    return;
  }
  const XvfbRun run = RunInXvfbChild("SdlWindow.RealXDisplayUnderXvfb");
  if (!run.available) GTEST_SKIP() << "no Xvfb";
  if (!run.ran) GTEST_SKIP() << "no X server could start:\n" << run.log;
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_NE(run.log.find("[  PASSED  ] 1 test"), std::string::npos) << run.log;
}

}  // namespace
