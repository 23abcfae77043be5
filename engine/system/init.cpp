// Engine start and end and the component runtime.
#include "engine/base/lock.h"
#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/engine.h"
#include "engine/file/file.h"
#include "engine/font/services.h"
#include "engine/graphics/services.h"
#include "engine/movie/services.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/blit.h"
#include "engine/sound/services.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/calls.h"
#include "engine/system/screenlog.h"
#include "engine/system/system.h"
#include "platform/com/com.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>

namespace {

// The end sequence is running: a fatal exit raised inside it must not start it again.
int32_t g_ending = 0;

// How far a start got, so that a failure takes back exactly what it had brought up.
enum StartStage { STAGE_NONE, STAGE_COM, STAGE_WINDOW, STAGE_INPUT, STAGE_SOUND };

void EndCom() {
  SystemSettings& set = g_System.settings;
  if (!set.comStarted) return;
  PlatComUninitialize();
  WriteLog("ＣＯＭを終了... 完了\n");
  set.comStarted = 0;
}

// The window's destruction leaves a quit message for the thread; a later start must not
// read it as a request to end.
void TakeQuitMessage() {
  PlatMsg msg;
  while (PlatPeekMessage(&msg, PLAT_WND_THREAD, PLAT_WM_QUIT, PLAT_WM_QUIT, PLAT_PM_REMOVE)) {
  }
}

int FailStart(StartStage stage) {
  if (stage >= STAGE_SOUND) g_SoundServices.endSoundSystem();
  if (stage >= STAGE_INPUT) g_SystemCalls.shutdownInput();
  if (stage >= STAGE_WINDOW) {
    g_SystemCalls.destroyMainWindow();
    TakeQuitMessage();
  }
  if (stage >= STAGE_COM) EndCom();
  g_System.settings.initialising = 0;
  return -1;
}

// A black 256 x 256 graph made from a picture in memory (or -1); the picture is freed.
int MakeBlackGraph(GraphImage* image) {
  *image = GraphImage{};
  if (CreateGraphImageRGB8(256, 256, image) != 0) return -1;
  FillGraphImage(image, 0, 0, 0, 0);
  return g_GraphicsServices.makeGraphFromGraphImage(image);
}

// The first draws of each kind, made once so that their set-up costs fall in the start.
void WarmUpDraws() {
  g_GraphicsServices.setGraphCreateMode(1);
  int32_t graph = g_GraphicsServices.makeBlankGraph(256, 256, 0);
  g_GraphicsServices.setGraphCreateMode(0);
  g_GraphicsServices.setDrawTargetCore(graph);
  g_GraphicsServices.setDrawTargetCore(DRAW_SCREEN_FRONT);
  g_GraphicsServices.freeGraph(graph, 0);
  g_GraphicsServices.setDrawTargetCore(DRAW_SCREEN_BACK);

  GraphImage image;
  graph = MakeBlackGraph(&image);
  FreeGraphImageCore(&image);
  g_GraphicsServices.setBlendState(BLEND_SUBTRACT, 128);
  g_GraphicsServices.drawGraphAtCore(0, 0, graph, 1);
  g_GraphicsServices.setBlendState(BLEND_COPY, 0);
  g_GraphicsServices.setDrawTargetCore(DRAW_SCREEN_FRONT);
  g_GraphicsServices.drawGraphAtCore(0, 0, graph, 1);
  g_GraphicsServices.freeGraph(graph, 0);

  graph = MakeBlackGraph(&image);
  g_GraphicsServices.drawGraphStretchedCore(0, 0, 640, 480, graph, 1);
  g_GraphicsServices.freeGraph(graph, 0);
  FreeGraphImageCore(&image);
}

}  // namespace

int InitCom() {
  SystemSettings& set = g_System.settings;
  if (set.comStarted) return -1;
  WriteLog("ＣＯＭの初期化... ");
  if (PlatComInitialize() < 0) {
    WriteLog("ＣＯＭの初期化に失敗しました\n");
    return -1;
  }
  WriteLog("成功しました\n");
  set.comStarted = 1;
  return 0;
}

namespace {

// The start from the first line of the log on.
int StartAfterLog() {
  SystemSettings& set = g_System.settings;

  // A desktop of 24 colour bits counts only for a window; a screen of 24 bits never works.
  if ((PlatGetDesktopDepth() == 24 && set.windowed == 1) ||
      g_SystemCalls.queryScreenDepth() == 24) {
    WriteLog("ＫＲライブラリは２４ビットカラーモードに対応していません\n");
    return FailStart(STAGE_NONE);
  }
  g_System.perfFrequency = PlatPerfFrequency();
  g_System.perfUsable = g_System.perfFrequency != 0 ? 1 : 0;
  g_SystemCalls.logSystemInfo();
  if (set.osCode == 264) g_GraphicsServices.setUseTemporaryPrimary(1);
  g_SystemCalls.fillStreamFunctionRows();
  g_GraphicsServices.setGraphRestoreHandler(nullptr);

  if (InitCom() == -1) return FailStart(STAGE_NONE);
  // The window step undoes itself.
  if (g_SystemCalls.createMainWindow() == -1) return FailStart(STAGE_COM);
  g_SystemCalls.clearHttpTable();
  if (g_SystemCalls.startInputDevices() == -1) return FailStart(STAGE_INPUT);
  g_SoundServices.initSoundSystem();  // the engine runs silent without sound
  if (g_GraphicsServices.startGraphicsWithFallback(GetEngineWindowHandle()) < 0)
    return FailStart(STAGE_SOUND);
  g_SystemCalls.initCharCodeBuffer();
  // With the screen up, the software blits take the processor's MMX flag: the blit's add
  // and subtract at full strength give other results with it.
  SetBlitMmxUsable(int32_t(IsMmxUsable()));
  SetConvertBlitMmxUsable(int32_t(IsMmxUsable()));

  StoreFlag(g_System.initialised, 1);
  g_GraphicsServices.setVBlankWait(1);
  if (set.windowed == 0) g_SystemCalls.bringToForeground(GetEngineWindowHandle(), 1);
  g_SystemCalls.initScreenLog();
  g_GraphicsServices.setDrawTargetCore(DRAW_SCREEN_BACK);
  g_GraphicsServices.setDrawTargetCore(DRAW_SCREEN_FRONT);
  WarmUpDraws();
  set.initialising = 0;
  return 0;
}

}  // namespace

int EngineInitCore() {
  if (IsEngineInitialised()) return 0;
  SystemSettings& set = g_System.settings;
  set.initialising = 1;

  if (g_GraphicsServices.getNo3DSetting() == 1) g_GraphicsServices.setHardwareRendering(0);
  g_MovieServices.buildYuvTables();
  g_SystemCalls.initArchiveTables();
  g_SystemCalls.setFileFunctionTable(nullptr);
  FileGetCurrentDir(set.startDirectory, sizeof set.startDirectory);
  SetLogStartDirectory(set.startDirectory);
  // A copy already running keeps its log: this start's lines (up to its refusal at the
  // double-start check) go to the debugger output only, and Log.txt is left as it is.
  const int logWasDebuggerOnly = GetLogDebuggerOnly();
  if (PlatFindWindow(set.className[0] ? set.className : kDefaultClassName, nullptr))
    SetLogDebuggerOnly(1);
  g_SystemCalls.openLogFile();
  const int started = StartAfterLog();
  SetLogDebuggerOnly(logWasDebuggerOnly);
  return started;
}

int EngineEndCore() {
  if (!IsEngineInitialised()) return 0;
  g_ending = 1;
  SystemSettings& set = g_System.settings;

  ScreenLog& screenLog = g_ScreenLog;
  if (screenLog.setUp) {
    if (!screenLog.fontMissing) g_FontServices.deleteFontHandle(screenLog.fontHandle);
    screenLog.fontMissing = 1;
    screenLog.fontHandle = -1;
    screenLog.setUp = 0;
  }
  g_SystemCalls.endHttp();
  g_SystemCalls.endNetwork();
  g_SoundServices.stopMusicFileCore();
  g_GraphicsServices.endGraphics();
  g_SystemCalls.shutdownInput();
  g_SoundServices.endSoundSystem();
  g_SystemCalls.destroyMainWindow();
  EndCom();
  g_GraphicsServices.removeAllSoftImagesCore();
  StoreFlag(g_System.initialised, 0);
  // The window is gone by now: one pass takes what it left, and no pass waits for it.
  while (PumpMessagesCore() == 0 && !IsEndRequested() && GetEngineWindowHandle()) {
  }
  TakeQuitMessage();
  g_SystemCalls.fileSetCurrentDir(set.startDirectory);
  g_SystemCalls.endArchives();
  g_SystemCalls.dumpAllocations();
  g_ending = 0;
  return 0;
}

int IsEngineEnding() { return g_ending ? 1 : 0; }
