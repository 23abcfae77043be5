#include "engine/base/log.h"
#include "engine/engine.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/services.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/blit.h"
#include "engine/softimage/memimg.h"
#include "engine/state/fatal.h"
#include "engine/state/state.h"
#include "engine/system/screenlog.h"
#include "engine/system/wndproc.h"
#include "engine_start.h"
#include "platform/com/com.h"
#include "platform/display/headless/headlessdisplay.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Init = EngineStart;
using InitDeathTest = EngineStart;

const std::set<std::string> kStartSteps = {
    "GetNo3DSetting", "BuildYuvTables", "InitArchiveTables", "SetFileFunctionTable",
    "OpenLogFile", "QueryScreenDepth", "LogSystemInfo", "FillStreamFunctionRows",
    "SetGraphRestoreHandler", "PlatComInitialize", "CreateMainWindow", "ClearHttpTable",
    "StartInputDevices", "InitSoundSystem", "StartGraphicsWithFallback", "InitCharCodeBuffer",
    "SetVBlankWait", "BringToForeground", "InitScreenLog", "SetDrawTargetCore",
    "SetGraphCreateMode", "MakeBlankGraph", "FreeGraph", "MakeGraphFromGraphImage",
    "SetBlendState", "DrawGraphAtCore", "DrawGraphStretchedCore"};

const std::set<std::string> kEndSteps = {
    "DeleteFontHandle", "EndHttp", "EndNetwork", "StopMusicFileCore", "EndGraphics",
    "ShutdownInput", "EndSoundSystem", "DestroyMainWindow", "PlatComUninitialize",
    "RemoveAllSoftImagesCore", "FileSetCurrentDir", "EndArchives", "DumpAllocations"};

// fontGraphs: the graphs the fonts hold after the start (the texture glyph caches of the
// default and the log font on the Direct3D renderer; none for memory caches).
std::vector<std::string> ExpectedStart(PlatWnd window, bool fullScreen, int32_t fontGraphs) {
  std::vector<std::string> steps = {
      "GetNo3DSetting", "BuildYuvTables", "InitArchiveTables", "SetFileFunctionTable(null)",
      "OpenLogFile", "QueryScreenDepth", "LogSystemInfo", "FillStreamFunctionRows",
      "SetGraphRestoreHandler(null)", "PlatComInitialize", "CreateMainWindow", "ClearHttpTable",
      "StartInputDevices", "InitSoundSystem",
      "StartGraphicsWithFallback(" + std::to_string(window) + ")", "InitCharCodeBuffer",
      "SetVBlankWait(1)"};
  if (fullScreen) steps.push_back("BringToForeground(" + std::to_string(window) + ",1)");
  // The warm-up draws, on the three graphs made after the fonts' in the fresh graph
  // table: the first free slot each time, with the next three check values.
  auto graph = [fontGraphs](int n) { return std::to_string(0x08000000 | (fontGraphs + n) << 16 | fontGraphs); };
  const std::vector<std::string> rest = {
      "InitScreenLog", "SetDrawTargetCore(-2)", "SetDrawTargetCore(-4)",
      "SetGraphCreateMode(1)", "MakeBlankGraph(256,256,0)", "SetGraphCreateMode(0)",
      "SetDrawTargetCore(" + graph(0) + ")", "SetDrawTargetCore(-4)", "FreeGraph(" + graph(0) + ",0)",
      "SetDrawTargetCore(-2)", "MakeGraphFromGraphImage", "SetBlendState(3,128)",
      "DrawGraphAtCore(0,0," + graph(1) + ",1)", "SetBlendState(0,0)", "SetDrawTargetCore(-4)",
      "DrawGraphAtCore(0,0," + graph(1) + ",1)", "FreeGraph(" + graph(1) + ",0)", "MakeGraphFromGraphImage",
      "DrawGraphStretchedCore(0,0,640,480," + graph(2) + ",1)", "FreeGraph(" + graph(2) + ",0)"};
  steps.insert(steps.end(), rest.begin(), rest.end());
  return steps;
}

const std::vector<std::string> kExpectedEnd = {
    "EndHttp", "EndNetwork", "StopMusicFileCore", "EndGraphics", "ShutdownInput",
    "EndSoundSystem", "DestroyMainWindow", "PlatComUninitialize", "RemoveAllSoftImagesCore",
    "FileSetCurrentDir", "EndArchives", "DumpAllocations"};

TEST_F(Init, StartAndEndRunTheirStepsInOrder) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  ASSERT_NE(window, 0u);
  EXPECT_EQ(CallsNamed(kStartSteps), ExpectedStart(window, false, g_GraphTable.table.count));
  EXPECT_EQ(IsEngineInitialised(), 1);
  EXPECT_EQ(g_System.settings.initialising, 0);
  EXPECT_EQ(GetDrawTargetHandle(), -4);
  EXPECT_EQ(GetVBlankWait(), 1);
  EXPECT_EQ(PlatComStartCount(), 1);
  for (const char* line : {"ＣＯＭの初期化... 成功しました", "タイマーの精度を検査します",
                           // after the blank that closes the timer test's output
                           " ソフトの二重起動検査... 二重起動はされていませんでした",
                           "ウインドウクラスを登録します... 登録に成功しました",
                           "ウインドウモード起動用のウインドウを作成します",
                           "ウインドウの作成に成功しました", "ＩＭＥを無効にしました"})
    EXPECT_TRUE(LogHas(line)) << line;

  // The on-screen log was set up on the display: its font goes first.
  ASSERT_EQ(g_ScreenLog.setUp, 1);
  std::vector<std::string> end = {"DeleteFontHandle(" + std::to_string(g_ScreenLog.fontHandle) + ")"};
  end.insert(end.end(), kExpectedEnd.begin(), kExpectedEnd.end());
  ClearCalls();
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_EQ(CallsNamed(kEndSteps), end);
  EXPECT_EQ(g_ScreenLog.setUp, 0);
  EXPECT_EQ(g_ScreenLog.fontHandle, -1);
  EXPECT_EQ(IsEngineInitialised(), 0);
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(PlatComStartCount(), 0);
  EXPECT_TRUE(LogHas("ＣＯＭを終了... 完了"));
  const std::vector<std::string> lines = LogLines();
  auto dump = std::find(lines.begin(), lines.end(), "Alloc memory dump");
  ASSERT_NE(dump, lines.end());
  EXPECT_EQ(dump[1], "Total size:0(0.000kb)  Alloc num:0");  // nothing leaked

  // Everything comes up again, and the new window is not taken for an ending one.
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_NE(GetEngineWindowHandle(), 0u);
  EXPECT_EQ(PumpMessagesCore(), 0);
}

TEST_F(Init, FullScreenBringsTheWindowToTheFront) {
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  EXPECT_EQ(CallsNamed(kStartSteps), ExpectedStart(window, true, g_GraphTable.table.count));
  EXPECT_EQ(PlatGetForegroundWindow(), window);
  EXPECT_NE(PlatGetWindowLong(window, PLAT_GWL_EXSTYLE) & PLAT_WS_EX_TOPMOST, 0u);
}

TEST_F(Init, TwentyFourBitColourIsRefused) {
  struct Case {
    int windowed, desktopDepth, screenDepth, result;
  } cases[] = {
      {1, 24, 16, -1}, {0, 24, 16, 0}, {1, 32, 24, -1}, {0, 32, 24, -1}, {1, 32, 16, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.windowed << " " << c.desktopDepth << " " << c.screenDepth);
    ResetFakes();
    CaptureLog();
    g_System.settings.windowed = c.windowed;
    PlatHeadlessSetDesktop(1024, 768, c.desktopDepth, 0);
    SetRequestedScreenDepth(c.screenDepth);
    EXPECT_EQ(EngineInitCore(), c.result);
    EXPECT_EQ(LogHas("ＫＲライブラリは２４ビットカラーモードに対応していません"), c.result == -1);
    EXPECT_EQ(g_System.settings.initialising, 0);
    if (c.result == -1) {
      EXPECT_EQ(CallCount("CreateMainWindow"), 0);
      EXPECT_EQ(PlatComStartCount(), 0);
    }
    EngineEndCore();
  }
}

TEST_F(Init, TheSoftwareBlitFollowsTheProcessorsMmxFlag) {
  // The 32-bit add of white on white at full strength: the MMX form saturates every byte,
  // the plain form leaves red's carry in byte 3.
  struct Case {
    const char* what;
    uint32_t features;  // leaf 1, EDX
    uint32_t sum;
  } cases[] = {{"MMX", 1u << 23, 0xFFFFFFFF}, {"no MMX", 0, 0x01FFFFFF}};
  const DrawState saved = g_DrawState;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetFakes();
    CaptureLog();
    ScriptCpuid(0, 1, 0x756E6547, 0x6C65746E, 0x49656E69);  // "GenuineIntel"
    ScriptCpuid(1, 0, 0, 0, c.features);
    SetBlitMmxUsable(c.features ? 0 : 1);  // the start must set it either way
    ASSERT_EQ(EngineInitCore(), 0);
    EXPECT_EQ(IsMmxUsable(), c.features ? 1u : 0u);

    MEMIMG src{}, dst{};
    ASSERT_EQ(CreateMemImg(&src, 1, 1, -1, 0, MEMIMG_KIND_XRGB8888, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(CreateMemImg(&dst, 1, 1, -1, 0, MEMIMG_KIND_XRGB8888, 0, 0, 0, nullptr), 0);
    std::memset(src.pixels, 0xFF, 4);
    std::memset(dst.pixels, 0xFF, 4);
    g_DrawState.blendMode = BLEND_ADD;
    g_DrawState.blendParam = 255;
    g_DrawState.brightRed = g_DrawState.brightGreen = g_DrawState.brightBlue = 255;
    BlitMemImg(&dst, &src, 0, 0, 0, nullptr);
    uint32_t sum;
    std::memcpy(&sum, dst.pixels, 4);
    EXPECT_EQ(sum, c.sum);
    ReleaseMemImg(&src);
    ReleaseMemImg(&dst);
    EngineEndCore();
  }
  g_DrawState = saved;
  SetBlitMmxUsable(0);
}

TEST_F(Init, ASecondStartChangesNothing) {
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  ClearCalls();
  EXPECT_EQ(EngineInitCore(), 0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(GetEngineWindowHandle(), window);
}

TEST_F(Init, AnEndWithoutAStartDoesNothing) {
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(Calls().empty());  // no leak report, no start directory made current
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(Init, AFailedComStartFailsTheStartAndARetrySucceeds) {
  PlatComFailNextStarts(1, PLAT_COM_E_FAIL);
  EXPECT_EQ(EngineInitCore(), -1);
  EXPECT_TRUE(LogHas("ＣＯＭの初期化... ＣＯＭの初期化に失敗しました"));
  EXPECT_EQ(CallCount("CreateMainWindow"), 0);
  EXPECT_EQ(IsEngineInitialised(), 0);
  EXPECT_EQ(g_System.settings.initialising, 0);
  EXPECT_EQ(EngineInitCore(), 0);
  EXPECT_EQ(PlatComStartCount(), 1);
}

// Without a sound device the engine starts all the same, and ends without one.
TEST_F(Init, AStartWithoutSoundGoesOn) {
  PlatAudioFakeFailFrom(PLAT_AUDIO_CALL_CREATE, 1);
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_TRUE(LogHas("DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました"));
  EXPECT_EQ(CallsNamed({"StartGraphicsWithFallback"}).size(), 1u);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_FALSE(LogHas("DirectSound の終了処理は正常に終了しました"));
}

// With the device, the pump keeps its clock: the start and end lines frame the run.
TEST_F(Init, SoundStartsAndEndsWithTheEngine) {
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_TRUE(LogHas("DirectSound の初期化は正常に終了しました"));
  EXPECT_EQ(PlatAudioLiveObjects(), 3);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(LogHas("DirectSound の終了処理は正常に終了しました"));
  EXPECT_EQ(PlatAudioLiveObjects(), 0);
}

TEST_F(Init, InitComRefusesASecondStart) {
  EXPECT_EQ(InitCom(), 0);
  ClearCalls();
  EXPECT_EQ(InitCom(), -1);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(PlatComStartCount(), 1);
}

// A start that fails after the window came up takes back what it had done, in reverse.
TEST_F(Init, AFailedGraphicsStartUndoesTheStart) {
  Script("StartGraphicsWithFallback", -1);
  EXPECT_EQ(EngineInitCore(), -1);
  const std::vector<std::string> undo = CallsNamed(
      {"EndSoundSystem", "ShutdownInput", "DestroyMainWindow", "PlatComUninitialize"});
  EXPECT_EQ(undo, (std::vector<std::string>{"EndSoundSystem", "ShutdownInput", "DestroyMainWindow",
                                            "PlatComUninitialize"}));
  EXPECT_EQ(GetEngineWindowHandle(), 0u);
  EXPECT_EQ(PlatFindWindow("D123987X", nullptr), 0u);
  EXPECT_EQ(PlatComStartCount(), 0);
  EXPECT_EQ(g_System.settings.comStarted, 0);

  ResetFakes();
  CaptureLog();
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_EQ(PumpMessagesCore(), 0);  // no quit message left over from the failed start
}

TEST_F(Init, AFailedWindowStartEndsComAndARetrySucceeds) {
  // A class of that name already registered: the start cannot register its own.
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  ASSERT_EQ(PlatRegisterClass(&wc), 1);
  EXPECT_EQ(EngineInitCore(), -1);
  EXPECT_TRUE(LogHas("ウインドウクラスを登録します... ウインドウクラスの登録に失敗しました"));
  EXPECT_EQ(IsEndRequested(), 1u);
  EXPECT_EQ(PlatComStartCount(), 0);
  EXPECT_EQ(CallCount("StartInputDevices"), 0);
  ASSERT_EQ(PlatUnregisterClass("D123987X"), 1);
  EXPECT_EQ(EngineInitCore(), 0);
  EXPECT_EQ(IsEndRequested(), 0u);
}

// A copy of the program running in another process holds the class name.
TEST_F(Init, ASecondProcessIsRefusedByTheClassName) {
  char directory[] = "/tmp/kr-classlock-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  PlatSetClassLockDirectory(directory);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    close(release[1]);
    PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
    const bool made = PlatRegisterClass(&wc) &&
                      PlatCreateWindow(0, "D123987X", "Kestr", 0x80000000, 0, 0, 640, 480) != 0;
    char byte = made ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    if (read(release[0], &byte, 1) < 0) _exit(3);  // until the parent closes its end
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char made = 0;
  ASSERT_EQ(read(ready[0], &made, 1), 1);
  ASSERT_EQ(made, 1);

  // The running copy's log, in the folder both copies start in, keeps every byte; the
  // refused copy's lines still reach the debugger output.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(directory);
  const std::string running = "0:ＣＯＭの初期化... 成功しました\r\n";
  { std::ofstream(std::string(directory) + "/Log.txt", std::ios::binary) << running; }
  SetLogDebuggerOnly(0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(EngineInitCore(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "A copy of this program is already running on this display: this one ends.\n");
  EXPECT_EQ(GetLogDebuggerOnly(), 0);
  SetLogDebuggerOnly(1);
  std::filesystem::current_path(before);
  std::ifstream log(std::string(directory) + "/Log.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), running);
  EXPECT_TRUE(LogHas(" ソフトの二重起動検査... 二重起動されています、ソフトを終了します"));
  EXPECT_EQ(IsEndRequested(), 1u);
  EXPECT_EQ(CallCount("StartInputDevices"), 0);

  close(release[1]);  // the other copy ends, and its mark goes with it
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(ready[0]);
  EXPECT_EQ(EngineInitCore(), 0);
  EngineEndCore();
  std::filesystem::remove_all(directory);
}

// Death tests read the log on stderr, where the debugger output goes without a sink.
void LogToStderr() {
  PlatSetDebugSink(nullptr, nullptr);
  setenv("KR_DEBUG_OUTPUT", "1", 1);
}

TEST_F(InitDeathTest, FatalExitLogsItsMessageAndEndsWith255) {
  EXPECT_EXIT(
      {
        LogToStderr();
        FatalEngineExit("fatal: the disk is on fire");
      },
      testing::ExitedWithCode(255), "fatal: the disk is on fire");
  EXPECT_EXIT(
      {
        LogToStderr();
        FatalEngineExitFmt("fatal: code %d", 42);
      },
      testing::ExitedWithCode(255), "fatal: code 42");
}

TEST_F(InitDeathTest, FatalExitRunsTheEndSequence) {
  EXPECT_EXIT(
      {
        if (EngineInitCore() != 0) _exit(1);
        LogToStderr();
        FatalEngineExit("fatal: after the start");
      },
      testing::ExitedWithCode(255), "fatal: after the start(.|\n)*Alloc memory dump");
}

// Raised again inside the end sequence, a fatal exit ends the process at once instead of
// starting the end sequence over (which would raise it again, without end).
TEST_F(InitDeathTest, FatalExitInsideTheEndSequenceDoesNotRunItAgain) {
  EXPECT_EXIT(
      {
        if (EngineInitCore() != 0) _exit(1);
        Hook("EndGraphics", [] { FatalEngineExit("fatal: inside the end"); });
        LogToStderr();
        FatalEngineExit("fatal: first");
      },
      testing::ExitedWithCode(255), "fatal: first(.|\n)*fatal: inside the end");
}

}  // namespace
