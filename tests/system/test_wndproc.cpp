#include "engine/graphics/services.h"
#include "engine/state/state.h"
#include "engine/system/charinput.h"
#include "engine/system/system.h"
#include "engine_window.h"
#include "platform/display/headless/headlessdisplay.h"

namespace {

using WindowProc = EngineWindow;

std::vector<uint8_t> Ring() {
  std::vector<uint8_t> bytes;
  const CharCodeBuffer& b = g_CharCodeBuffer;
  for (int32_t p = b.readPos; p != b.writePos; p = (p + 1) % 1025) bytes.push_back(b.data[p]);
  return bytes;
}

PlatLResult Send(PlatWnd w, uint32_t message, PlatWParam wParam = 0, PlatLParam lParam = 0) {
  return PlatSendMessage(w, message, wParam, lParam);
}

TEST_F(WindowProc, TypedCharactersEnterTheRingByTheTable) {
  struct Case {
    PlatWParam code;
    std::vector<uint8_t> ring;
  };
  const Case cases[] = {
      {10, {13}}, {7, {}},    {16, {16}},   {8, {8}},       {9, {9}},       {13, {13}},
      {27, {27}}, {1, {}},    {31, {}},     {32, {32}},     {'a', {'a'}},   {0x82, {0x82}},
      {0x1E0, {0xE0}},  // the low byte
  };
  for (const Case& c : cases) {
    g_CharCodeBuffer = {};
    Send(window, PLAT_WM_CHAR, c.code);
    EXPECT_EQ(Ring(), c.ring) << "WM_CHAR " << c.code;
  }
}

TEST_F(WindowProc, KeysOfTheControlTablePutTheirCodes) {
  struct Case {
    PlatWParam vk;
    std::vector<uint8_t> ring;
  };
  const Case cases[] = {{0x2E, {0x10}}, {0x25, {0x1D}}, {0x27, {0x1C}}, {0x26, {0x1E}},
                        {0x28, {0x1F}}, {'A', {}},      {0x0D, {}}};
  for (const Case& c : cases) {
    g_CharCodeBuffer = {};
    Send(window, PLAT_WM_KEYDOWN, c.vk);
    EXPECT_EQ(Ring(), c.ring) << "WM_KEYDOWN " << c.vk;
  }
}

TEST_F(WindowProc, KeysTypedAtTheWindowArriveThroughThePump) {
  PlatHeadlessKey(window, PLAT_VK_LEFT, 1);
  PlatHeadlessKey(window, PLAT_VK_LEFT, 0);
  PlatHeadlessKey(window, 'A', 1);
  PlatHeadlessKey(window, 'A', 0);
  PlatHeadlessKey(window, 'B', 1, "\x82\xa0");  // a key that types a double-byte character
  PlatHeadlessKey(window, PLAT_VK_RETURN, 1);
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(Ring(), (std::vector<uint8_t>{0x1D, 'a', 0x82, 0xA0, 13}));
}

TEST_F(WindowProc, CloseDestroysTheWindowAtOnceAndTheEndFollows) {
  EXPECT_EQ(Send(window, PLAT_WM_CLOSE), 0);
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(IsEndRequested(), 1u);
  EXPECT_EQ(Drain(PLAT_WM_QUIT), 1);
  std::vector<std::string> lines = LogLines();
  std::vector<std::string> expected = {"ウインドウを閉じようとしています",
                                       "ウインドウが破棄されようとしています",
                                       "ソフトを終了する準備が整いました"};
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), expected);
}

TEST_F(WindowProc, ScreenSaverAndMonitorPowerAreRefused) {
  const int starts = PlatHeadlessScreenSaverStarts();
  EXPECT_EQ(Send(window, PLAT_WM_SYSCOMMAND, PLAT_SC_SCREENSAVE), 1);
  EXPECT_EQ(Send(window, PLAT_WM_SYSCOMMAND, PLAT_SC_MONITORPOWER), 1);
  EXPECT_EQ(PlatHeadlessScreenSaverStarts(), starts);
  PlatDefWindowProc(window, PLAT_WM_SYSCOMMAND, PLAT_SC_SCREENSAVE, 0);
  EXPECT_EQ(PlatHeadlessScreenSaverStarts(), starts + 1);  // what the default would have done
  Send(window, PLAT_WM_SYSCOMMAND, PLAT_SC_CLOSE);  // goes to the default: closes
  EXPECT_FALSE(PlatIsWindow(window));
}

TEST_F(WindowProc, DisplayChangesTheScreenCannotFollowCloseTheProgramOnce) {
  struct Case {
    PlatWParam depth;
    int32_t width, height;
  };
  const Case refused[] = {{24, 1024, 768}, {8, 1024, 768}, {16, 600, 480}, {32, 640, 479}};
  for (const Case& c : refused) {
    g_System.closePending = 0;
    Send(window, PLAT_WM_DISPLAYCHANGE, c.depth, c.width | (c.height << 16));
    EXPECT_EQ(IsClosePending(), 1u) << c.depth << " " << c.width << "x" << c.height;
    EXPECT_EQ(Drain(PLAT_WM_CLOSE), 1);
  }
  EXPECT_TRUE(LogHas("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します"));
  EXPECT_TRUE(LogHas("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します"));
  Send(window, PLAT_WM_DISPLAYCHANGE, 24, 1024 | (768 << 16));  // a second refusal
  EXPECT_EQ(Drain(PLAT_WM_CLOSE), 0);
  Script("HasGraphRestoreHandler", 0);
  g_System.closePending = 0;
  Send(window, PLAT_WM_DISPLAYCHANGE, 32, 1024 | (768 << 16));
  EXPECT_EQ(Drain(PLAT_WM_CLOSE), 1);
}

TEST_F(WindowProc, DisplayChangesTheScreenCanFollowRebuildTheGraphics) {
  const std::vector<std::string> rebuild = {"ReleaseAllMovieObjects", "SetupScreenColorFormat",
                                            "RebuildGraphicsSystem", "ResumeAllMovieHandles"};
  Script("HasGraphRestoreHandler", 1);  // as the engine's start leaves it
  Send(window, PLAT_WM_DISPLAYCHANGE, 16, 640 | (480 << 16));  // no change at all
  EXPECT_TRUE(CallsAmong(rebuild).empty());
  Send(window, PLAT_WM_DISPLAYCHANGE, 32, 1280 | (1024 << 16));
  EXPECT_EQ(CallsAmong(rebuild), rebuild);
  EXPECT_EQ(IsClosePending(), 0u);
  ClearCalls();
  g_System.settings.windowed = 0;  // full screen leaves it alone
  Send(window, PLAT_WM_DISPLAYCHANGE, 24, 1024 | (768 << 16));
  EXPECT_EQ(CallCount("QueryScreenFormat"), 0);
  EXPECT_EQ(IsClosePending(), 0u);
}

const std::vector<std::string> kActivationCalls = {
    "RestoreAllSurfaces2D", "RestoreAllTextures",    "RebuildGraphicsSystem",
    "ResumeAllMovieHandles", "ReacquireInputDevices", "ApplyPadVibration",
    "PauseAllMovieHandles", "ReleaseDirectDraw",     "ReleaseDirect3DObject"};

TEST_F(WindowProc, ActivationSequences) {
  struct Case {
    const char* what;
    int windowed, initialised;
    uint32_t message;
    PlatWParam wParam;
    uint32_t active;
    std::vector<std::string> calls;
  };
  const std::vector<std::string> activated = {"RestoreAllSurfaces2D", "RestoreAllTextures",
                                              "ResumeAllMovieHandles", "ReacquireInputDevices",
                                              "ApplyPadVibration"};
  const std::vector<std::string> deactivated = {"PauseAllMovieHandles", "ReacquireInputDevices",
                                                "ApplyPadVibration"};
  const Case cases[] = {
      {"windowed activation", 1, 1, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE, 1, activated},
      {"click activation", 1, 0, PLAT_WM_ACTIVATE, PLAT_WA_CLICKACTIVE, 1, activated},
      {"full-screen activation", 0, 1, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE, 1,
       {"RestoreAllSurfaces2D", "RestoreAllTextures", "RebuildGraphicsSystem",
        "ResumeAllMovieHandles", "ReacquireInputDevices", "ApplyPadVibration"}},
      {"minimised full-screen activation", 0, 1, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE | (1u << 16), 1,
       activated},
      {"full-screen activation before initialisation", 0, 0, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE, 1,
       activated},
      {"deactivation", 1, 1, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0, deactivated},
      {"full-screen deactivation, display unchanged", 0, 1, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0,
       deactivated},
      {"another program activated", 1, 1, PLAT_WM_ACTIVATEAPP, 0, 0, deactivated},
      {"this program activated", 1, 1, PLAT_WM_ACTIVATEAPP, 1, 1, {}},
  };
  for (const Case& c : cases) {
    g_System.settings.windowed = c.windowed;
    g_System.initialised = c.initialised;
    g_System.windowActive = 1 - int32_t(c.active);
    if (c.message == PLAT_WM_ACTIVATEAPP && c.wParam == 1) g_System.windowActive = 1;
    ClearCalls();
    Send(window, c.message, c.wParam);
    EXPECT_EQ(CallsAmong(kActivationCalls), c.calls) << c.what;
    EXPECT_EQ(IsWindowActive(), c.active) << c.what;
  }
}

TEST_F(WindowProc, FullScreenDeactivationWithTheDisplayModeChanged) {
  struct Case {
    const char* what;
    int directDrawUsed, object, handler;
    std::vector<std::string> calls;
    bool minimised, closed;
  };
  const Case cases[] = {
      {"software rendering: release and minimise", 0, 0, 1,
       {"ReleaseDirectDraw", "PauseAllMovieHandles", "ReacquireInputDevices", "ApplyPadVibration"},
       true, false},
      {"DirectDraw with a restore handler", 1, 1, 1,
       {"ReleaseDirect3DObject", "PauseAllMovieHandles", "ApplyPadVibration"}, false, false},
      {"DirectDraw without a restore handler", 1, 1, 0, {"ReleaseDirect3DObject"}, false, true},
  };
  g_System.settings.windowed = 0;
  Script("IsDisplayModeChanged", 1);
  for (const Case& c : cases) {
    Script("IsDirectDrawUsed", c.directDrawUsed);
    Script("GetDirectDrawObject", c.object);
    Script("HasGraphRestoreHandler", c.handler);
    g_System.closePending = 0;
    ClearCalls();
    Send(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE);
    EXPECT_EQ(CallsAmong(kActivationCalls), c.calls) << c.what;
    EXPECT_EQ(PlatIsIconic(window) == 1, c.minimised) << c.what;
    EXPECT_EQ(Drain(PLAT_WM_CLOSE), c.closed ? 1 : 0) << c.what;
    // A minimise reports its size, which must not resize the window.
    EXPECT_EQ(CallCount("UpdateWindowPlacement"), 0) << c.what;
    PlatShowWindow(window, PLAT_SW_SHOWNOACTIVATE);
    PlatShowWindow(window, PLAT_SW_HIDE);
  }
  EXPECT_TRUE(LogHas("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します"));
  EXPECT_TRUE(LogHas("復元関数が登録されていないため終了します"));
  Send(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE);  // a close is already pending
  EXPECT_EQ(Drain(PLAT_WM_CLOSE), 0);
}

TEST_F(WindowProc, ActivationWhileTheWindowIsCreatedOnlySetsTheFlag) {
  g_System.windowCreating = 1;
  Send(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE);
  EXPECT_EQ(IsWindowActive(), 0u);
  Send(window, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE);
  EXPECT_EQ(IsWindowActive(), 1u);
  EXPECT_TRUE(CallsAmong(kActivationCalls).empty());
}

TEST_F(WindowProc, ActivationAsksForAnImeRefreshOnlyWhenTheImeIsOnAndOpen) {
  g_ImeState.enabled = 1;
  g_ImeState.openStatus = 0;
  Send(window, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE);
  EXPECT_EQ(g_ImeState.refreshStep, 0);
  g_ImeState.openStatus = 1;
  Send(window, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE);
  EXPECT_EQ(g_ImeState.refreshStep, 1);
}

TEST_F(WindowProc, PaintBeforeInitialisationShowsABlackClientArea) {
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  PlatUpdateWindow(window);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 0), 0u);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 639, 479), 0u);
  EXPECT_EQ(g_System.painting, 0);
  EXPECT_EQ(CallCount("PresentSoftwareImage"), 0);
}

TEST_F(WindowProc, PaintPresentsTheBackScreenIntoThePaintRectangleWithoutVBlankWait) {
  g_System.initialised = 1;
  Script("GetDrawTargetHandle", -2);
  SetVBlankWait(1);
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  PlatValidateRect(window, nullptr);
  const PlatRect part{10, 20, 30, 40};
  PlatInvalidateRect(window, &part);
  int32_t paintingDuring = -1;
  Hook("PresentSoftwareImage", [&] { paintingDuring = g_System.painting; });
  ClearCalls();
  PlatUpdateWindow(window);
  EXPECT_EQ(CallsAmong({"GetVBlankWait", "SetVBlankWait(0)", "PresentSoftwareImage", "SetVBlankWait(1)"}),
            (std::vector<std::string>{"GetVBlankWait", "SetVBlankWait(0)", "PresentSoftwareImage",
                                      "SetVBlankWait(1)"}));
  PlatRect r = LastPresentRect();
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.bottom, 40);
  EXPECT_EQ(paintingDuring, 1);
  EXPECT_EQ(g_System.painting, 0);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 15, 25), 0xFFFFFFFFu);  // not filled black
}

TEST_F(WindowProc, PaintingFlagIsClearedAlsoWhenNothingIsPresented) {
  g_System.initialised = 1;  // the draw target stays the front screen
  int32_t paintingDuring = -1;
  Hook("GetDrawTargetHandle", [&] { paintingDuring = g_System.painting; });
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  PlatUpdateWindow(window);
  EXPECT_EQ(paintingDuring, 1);
  EXPECT_EQ(g_System.painting, 0);
  EXPECT_EQ(CallCount("PresentSoftwareImage"), 0);
}

TEST_F(WindowProc, FullScreenPaintDrawsNothing) {
  g_System.settings.windowed = 0;
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  PlatUpdateWindow(window);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CallCount("GetDrawTargetHandle"), 0);
}

TEST_F(WindowProc, SizeAndMoveReachThePlacement) {
  Send(window, PLAT_WM_SIZE, PLAT_SIZE_RESTORED, 640 | (480 << 16));
  Send(window, PLAT_WM_SIZE, PLAT_SIZE_MINIMIZED, 0);
  Send(window, PLAT_WM_SIZE, PLAT_SIZE_MAXIMIZED, 1024 | (768 << 16));
  EXPECT_EQ(CallCount("UpdateWindowPlacement"), 1);
  Send(window, PLAT_WM_MOVE, 0, 5 | (20 << 16));
  g_System.settings.windowed = 0;
  Send(window, PLAT_WM_MOVE, 0, 6 | (20 << 16));
  EXPECT_EQ(CallsAmong({"OnWindowMoved(1310725)", "OnWindowMoved(1310726)"}),
            std::vector<std::string>{"OnWindowMoved(1310725)"});
}

TEST_F(WindowProc, HiddenCursorStaysHiddenOnMouseMessages) {
  g_System.cursorState = 0;
  PlatHeadlessMouse(window, PLAT_WM_MOUSEMOVE, 5, 5);
  PumpMessagesCore();
  EXPECT_EQ(PlatIsCursorVisible(), 0);  // WM_SETCURSOR's default set the arrow back
  Send(window, PLAT_WM_LBUTTONDOWN);
  EXPECT_LT(PlatShowCursor(1), 0);
}

TEST_F(WindowProc, DoubleClicksAndAShownCursorLeaveTheCursorAlone) {
  g_System.cursorState = 0;
  Send(window, PLAT_WM_LBUTTONDBLCLK);
  EXPECT_EQ(PlatIsCursorVisible(), 1);
  g_System.cursorState = 1;
  PlatHeadlessMouse(window, PLAT_WM_MOUSEMOVE, 5, 5);
  PumpMessagesCore();
  EXPECT_EQ(PlatIsCursorVisible(), 1);
}

TEST_F(WindowProc, MessagesHandedToOtherSubsystems) {
  Send(window, PLAT_MM_MCINOTIFY, 1, 2);
  EXPECT_EQ(CallCount("OnMciNotify"), 1);
  Send(window, PLAT_WM_HOOKED_F10, 1);
  Send(window, PLAT_WM_HOOKED_F10, 0);
  Send(window, PLAT_WM_HOOKED_F10, 2);
  EXPECT_EQ(CallsAmong({"SetHookedF10Flag", "ClearHookedF10Flag"}),
            (std::vector<std::string>{"SetHookedF10Flag", "ClearHookedF10Flag", "ClearHookedF10Flag"}));

  EXPECT_EQ(Send(window, PLAT_WM_SOCKET, 12, 0x00050020), 0);  // no connection: logged, 0
  EXPECT_TRUE(LogHas("通信エラー No.1"));
  Script("OnSocketEvent", 7);
  EXPECT_EQ(Send(window, PLAT_WM_SOCKET, 12, 0x00050020), 7);
  EXPECT_EQ(CallCount("OnSocketEvent(12,327712)"), 2);

  Script("CaptureImeCandidates", 5);
  for (uint32_t m : {PLAT_WM_IME_STARTCOMPOSITION, PLAT_WM_IME_ENDCOMPOSITION,
                     PLAT_WM_IME_COMPOSITION, PLAT_WM_IME_SETCONTEXT, PLAT_WM_IME_NOTIFY})
    EXPECT_EQ(Send(window, m), 5) << m;
}

}  // namespace
