// The screen mode change: tear down what depends on the display, set the cooperative
// level and the display mode (falling back to 640 x 480 x 16), build the screen again,
// choose the surface copy method by timing and measure the display's frame.
#include "engine/base/log.h"
#include "engine/graphics/clients.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/rasterpoll.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/state/fatal.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/state/sysinfo.h"
#include "platform/display/display.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"

namespace {

struct Mode {
  uint32_t width, height, depth, rate;
  bool operator==(const Mode&) const = default;
};

Mode CurrentMode() {
  const ScreenState& s = g_ScreenState;
  return {s.width, s.height, s.depth, s.refreshRate};
}

void StoreMode(const Mode& m) {
  ScreenState& s = g_ScreenState;
  s.width = m.width;
  s.height = m.height;
  s.depth = m.depth;
  s.refreshRate = m.rate;
}

uint32_t Keep(int32_t value, uint32_t current) { return value == -1 ? current : uint32_t(value); }

constexpr Mode kFallbackMode = {640, 480, 16, 0};

const char kCooperativeFatal[] = "DirectDrawの協調レベルの設定に失敗しました、ソフトを終了します";

// Full screen and exclusive; another object or window already holding the display is
// taken as success.
void SetExclusiveCooperative(PlatDDraw object, PlatWnd window) {
  const int32_t r =
      PlatDDrawSetCooperativeLevel(object, window, PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE);
  if (r != PLAT_DD_OK && r != PLAT_DDERR_EXCLUSIVEMODEALREADYSET && r != PLAT_DDERR_HWNDALREADYSET &&
      r != PLAT_DDERR_HWNDSUBCLASSED)
    FatalEngineExit(kCooperativeFatal);
}

void SetNormalCooperative(PlatDDraw object, PlatWnd window) {
  if (PlatDDrawSetCooperativeLevel(object, window, PLAT_DDSCL_NORMAL) != PLAT_DD_OK)
    FatalEngineExit(kCooperativeFatal);
}

bool ChangeSettings(const Mode& m, uint32_t flags) {
  PlatDevMode dm{};
  dm.size = sizeof dm;
  dm.fields = PLAT_DM_BITSPERPEL | PLAT_DM_PELSWIDTH | PLAT_DM_PELSHEIGHT;
  dm.bitsPerPel = m.depth;
  dm.pelsWidth = m.width;
  dm.pelsHeight = m.height;
  if (m.rate) {
    dm.fields |= PLAT_DM_DISPLAYFREQUENCY;
    dm.displayFrequency = m.rate;
  }
  return PlatChangeDisplaySettings(&dm, flags) == PLAT_DISP_CHANGE_SUCCESSFUL;
}

// One try of a full-screen mode on the road in force.
bool TryFullScreenMode(const Mode& m) {
  const ScreenState& s = g_ScreenState;
  if (s.noDirectDraw) return ChangeSettings(m, PLAT_CDS_FULLSCREEN);
  return PlatDDrawSetDisplayMode(s.ddraw, m.width, m.height, m.depth, m.rate) == PLAT_DD_OK;
}

// The four tries of a later change: as asked, without the rate, the previous mode, and
// 640 x 480 x 16. -2 for the last; the process ends when none can be set.
int SetFullScreenWithFallbacks(const Mode& asked, const Mode& previous) {
  ScreenState& s = g_ScreenState;
  int result = 0;
  Mode tries[4] = {asked, {asked.width, asked.height, asked.depth, 0},
                   {previous.width, previous.height, previous.depth, s.noDirectDraw ? previous.rate : 0},
                   kFallbackMode};
  int i = 0;
  for (; i < 4; i++) {
    if (i > 0) StoreMode(tries[i]);
    if (TryFullScreenMode(tries[i])) break;
  }
  if (i == 4) FatalEngineExit("予期せぬ画面モード変更不能現象が起きました2\n");
  if (i == 3) result = -2;
  s.displayModeChanged = 1;
  WriteLog("成功しました\n");
  return result;
}

// The road of a change after the start: the DirectDraw object made again with its
// cooperative level, or the display settings of the no-DirectDraw mode.
int ChangeDisplayAfterStart(const Mode& asked, const Mode& previous) {
  ScreenState& s = g_ScreenState;
  const bool windowed = IsWindowedMode();
  DeleteAllSurfaces2D();
  s.displayModeChanged = 0;
  if (!s.noDirectDraw) {
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
    PlatDDrawSetCooperativeLevel(s.ddraw, s.window, PLAT_DDSCL_NORMAL);
    s.cooperativeFlags = PLAT_DDSCL_NORMAL;
    PlatDDrawRelease(s.ddraw);
    s.ddraw = 0;
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
    if (AcquireDirectDraw(&s.ddraw) != 0) return -1;
    if (windowed) {
      SetNormalCooperative(s.ddraw, s.window);
      s.cooperativeFlags = PLAT_DDSCL_NORMAL;
      return 0;
    }
    SetExclusiveCooperative(s.ddraw, s.window);
    s.cooperativeFlags = PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE;
    WriteLog("画面解像度を変更します... ");
    return SetFullScreenWithFallbacks(asked, previous);
  }
  if (windowed) {
    PlatChangeDisplaySettings(nullptr, 0);
    return 0;
  }
  return SetFullScreenWithFallbacks(asked, previous);
}

// The display mode at the first start: the requested mode, the previous one, then
// 640 x 480 x 16; -2 for the last, and the end of the process when it fails too.
int ChangeDisplayAtStart(const Mode& previous) {
  ScreenState& s = g_ScreenState;
  const bool windowed = IsWindowedMode();
  if (!windowed) g_SystemHooks.applyWindowStyle();
  int32_t desktopWidth = 0, desktopHeight = 0;
  GetDesktopSizeAndDepth(&desktopWidth, &desktopHeight, nullptr);
  if (!s.width) s.width = 640;
  if (!s.height) s.height = 480;
  if (!s.depth) s.depth = 16;
  auto Switch = [&]() {
    return SwitchDisplayMode(s.ddraw, desktopWidth, desktopHeight, int32_t(s.width), int32_t(s.height),
                             int32_t(s.depth), &s.depth, &s.cooperativeFlags, windowed ? 1 : 0,
                             &s.displayModeChanged, s.window);
  };
  const Mode asked = CurrentMode();
  if (Switch() == 0) return 0;
  Mode back = previous;
  if (!back.width) back.width = 640;
  if (!back.height) back.height = 480;
  if (!back.depth) back.depth = 16;
  StoreMode(back);
  if (!windowed) g_SystemHooks.applyWindowStyle();
  const bool sameAsAsked = back.width == asked.width && back.height == asked.height &&
                           back.depth == asked.depth && back.rate == 0;
  if (!sameAsAsked && Switch() == 0) return 0;
  StoreMode(kFallbackMode);
  if (windowed) g_SystemHooks.applyWindowStyle();
  if (Switch() != 0) FatalEngineExit("予期せぬ画面モード変更不能現象が起きました\n");
  return -2;
}

void ChooseCopyMethod() {
  ScreenState& s = g_ScreenState;
  const PlatDDSurface source = GetFrontSurface();
  int32_t width = 640, height = 480;
  QueryScreenSize(&width, &height);
  const PlatRect quarter{0, 0, width / 2, height / 2};
  const uint64_t t0 = GetTimeMicroseconds(0);
  for (int i = 0; i < 2; i++) PlatDDSurfaceBltFast(s.work1, 0, 0, source, &quarter, PLAT_DDBLTFAST_NOCOLORKEY);
  const uint64_t t1 = GetTimeMicroseconds(0);
  for (int i = 0; i < 2; i++) {
    PlatDC from = 0, to = 0;
    if (PlatGdiGetSurfaceDC(source, &from) == PLAT_DD_OK) {
      if (PlatGdiGetSurfaceDC(s.work1, &to) == PLAT_DD_OK) {
        PlatGdiBitBlt(to, 0, 0, quarter.right, quarter.bottom, from, 0, 0, PLAT_SRCCOPY);
        PlatGdiReleaseSurfaceDC(s.work1, to);
      }
      PlatGdiReleaseSurfaceDC(source, from);
    }
  }
  const uint64_t t2 = GetTimeMicroseconds(0);
  const double bltFast = double(t1 - t0), bitBlt = double(t2 - t1);
  s.copyMethod = bltFast < bitBlt ? 0 : 1;
  WriteLogFmt("サーフェス間転送には %s を使用します", s.copyMethod == 0 ? "BltFast" : "BitBlt");
  WriteLogFmt("BitBlt:%.0lfμs   BltFast:%.0lfμs", bitBlt, bltFast);
}

void MeasureFrame() {
  ScreenState& s = g_ScreenState;
  const int32_t count = s.measuredRate > 0 ? 4 : 20;
  int32_t desktopHeight = 0;
  PlatGetDesktopSize(nullptr, &desktopHeight);
  s.scanLines = desktopHeight;
  WriteLogFmt("スキャンラインの数:%d\n", s.scanLines);

  RasterPoll poll{s.ddraw};
  for (int i = 0; i < 3; i++) {
    poll.UntilWrapOrBlank();
    poll.Until([&] { return !poll.InBlank(); });
  }
  poll.Until([&] { return poll.InBlank(); });

  int32_t samples[20] = {};
  int64_t totalMicroseconds = 0, totalSamples = 0;
  int32_t frameTime = -1;
  for (int pass = 0; pass < 5 && !poll.timedOut; pass++) {
    for (int i = 0; i < count && !poll.timedOut; i++) {
      const uint32_t ms = PlatTimeMs();
      const uint64_t us = GetTimeMicroseconds(0);
      poll.Until([&] { return !poll.InBlank(); });
      poll.UntilWrapOrBlank();
      samples[i] = int32_t(PlatTimeMs() - ms);
      totalMicroseconds += int64_t(GetTimeMicroseconds(0) - us);
    }
    if (poll.timedOut) break;
    totalSamples += count;
    if (pass < 4) {
      frameTime = FindRepeatedSample(samples, count);
      if (s.measuredRate < 0) s.measuredRate = RefreshRateFromTotals(totalMicroseconds, totalSamples);
      if (frameTime >= 0) break;
    }
  }
  if (poll.timedOut) frameTime = -1;
  if (frameTime < 0) WriteLog("１フレームの時間を正常に取得できませんでした\n");
  else WriteLogFmt("１フレーム当たりの時間は %d msecです", frameTime);
  if (!poll.timedOut)
    for (int i = 0; i < count; i++) WriteLogFmt("\tTri%02d:%d msec", i, samples[i]);
  s.frameTimeMs = frameTime;
  s.pacingBudgetMs = PacingBudgetFor(frameTime);
}

void MeasureDisplay() {
  ScreenState& s = g_ScreenState;
  s.measuredRate = -1;
  if (g_System.settings.osCode >= 260) {
    const PlatDC dc = PlatGdiGetDC(s.window);
    const int rate = PlatGdiGetDeviceCaps(dc, PLAT_VREFRESH);
    if (dc) PlatGdiReleaseDC(s.window, dc);
    s.measuredRate = rate < 60 ? -1 : rate;
  }
  if (s.noDirectDraw || !s.ddraw) {
    s.measuredRate = 60;
    s.pacingBudgetMs = -1;
    return;
  }
  MeasureFrame();
}

}  // namespace

// ---- pieces of the timing ----------------------------------------------------------------

uint32_t SpaceModeChange() {
  ScreenState& s = g_ScreenState;
  const uint32_t now = PlatTimeMs();
  const uint32_t since = now - s.lastModeChangeMs;
  const uint32_t sleep = s.lastModeChangeMs != 0 && since < 2000 ? 2060 - since : 60;
  PlatSleep(sleep);
  s.lastModeChangeMs = PlatTimeMs();
  return sleep;
}

int32_t FindRepeatedSample(const int32_t* samples, int32_t count) {
  for (int32_t i = 0; i < count; i++)
    for (int32_t j = i + 1; j < count; j++)
      if (samples[j] == samples[i]) return samples[i];
  return -1;
}

int32_t RefreshRateFromTotals(int64_t totalMicroseconds, int64_t totalSamples) {
  if (totalSamples <= 0) return -1;
  const int64_t average = totalMicroseconds / totalSamples;
  if (average <= 0) return -1;
  const int64_t x = 10000000 / average;
  return int32_t(x / 10 + (x % 10 > 5 ? 1 : 0));
}

int32_t PacingBudgetFor(int32_t frameTimeMs) { return frameTimeMs < 0 ? -1 : (2 * frameTimeMs - 4) / 3; }

// ---- the display mode ------------------------------------------------------------------

int SwitchDisplayMode(PlatDDraw object, int32_t desktopWidth, int32_t desktopHeight, int32_t width,
                      int32_t height, int32_t depth, uint32_t* outDepth, uint32_t* outCooperative,
                      int32_t windowed, int32_t* displayModeChanged, PlatWnd window) {
  ScreenState& s = g_ScreenState;
  WriteLogFmt("画面モードの変更処理を開始します %u x %u  %u bit ", unsigned(width), unsigned(height),
              unsigned(depth));
  LogIndentIn();
  if (windowed) {
    WriteLog("ウインドウモードにします\n");
    if (width > desktopWidth || height > desktopHeight) {
      LogIndentOut();
      FatalEngineExit("デスクトップ画面のサイズが足りません、ソフトを終了します");
    }
    if (displayModeChanged && *displayModeChanged == 1) {
      WriteLog("フルスクリーンモードから抜けます\n");
      if (s.noDirectDraw) PlatChangeDisplaySettings(nullptr, 0);
      else PlatDDrawRestoreDisplayMode(object);
      *displayModeChanged = 0;
    }
    const PlatDC screen = PlatGdiGetDC(0);
    const int desktopDepth = PlatGdiGetDeviceCaps(screen, PLAT_BITSPIXEL) * PlatGdiGetDeviceCaps(screen, PLAT_PLANES);
    if (screen) PlatGdiReleaseDC(0, screen);
    if (desktopDepth == 24) {
      LogIndentOut();
      return -1;
    }
    if (outDepth) *outDepth = uint32_t(desktopDepth);
    if (!s.noDirectDraw) SetNormalCooperative(object, window);
    if (outCooperative) *outCooperative = PLAT_DDSCL_NORMAL;
    LogIndentOut();
    WriteLog("画面モードの変更は正常に終了しました \n");
    return 0;
  }
  if (depth == 24) {
    LogIndentOut();
    return -1;
  }
  WriteLog("画面解像度を変更します... ");
  if (!s.noDirectDraw) SetExclusiveCooperative(object, window);
  if (outCooperative) *outCooperative = PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE;
  const Mode asked{uint32_t(width), uint32_t(height), uint32_t(depth), s.refreshRate};
  bool set;
  if (s.noDirectDraw) {
    set = ChangeSettings(asked, PLAT_CDS_FULLSCREEN);
    if (!set) {
      s.refreshRate = 0;
      set = ChangeSettings({asked.width, asked.height, asked.depth, 0}, 0);
    }
  } else {
    set = PlatDDrawSetDisplayMode(object, asked.width, asked.height, asked.depth, asked.rate) == PLAT_DD_OK;
    if (!set) {
      s.refreshRate = 0;
      set = PlatDDrawSetDisplayMode(object, asked.width, asked.height, asked.depth, 0) == PLAT_DD_OK;
    }
  }
  if (!set) {
    WriteLog("画面モードの変更に失敗しました\n");
    LogIndentOut();
    return -1;
  }
  if (outDepth) *outDepth = uint32_t(depth);
  if (displayModeChanged) *displayModeChanged = 1;
  WriteLog("成功しました\n");
  LogIndentOut();
  WriteLog("画面モードの変更は正常に終了しました \n");
  return 0;
}

int RestoreDesktopDisplayMode() {
  ScreenState& s = g_ScreenState;
  if (s.noDirectDraw) {
    PlatChangeDisplaySettings(nullptr, 0);
  } else {
    if (!s.ddraw) {
      // Releasing the object gave the display back already.
      s.displayModeChanged = 0;
      return -1;
    }
    if (s.cooperativeFlags & PLAT_DDSCL_EXCLUSIVE) {
      PlatDDrawSetCooperativeLevel(s.ddraw, s.window, PLAT_DDSCL_NORMAL);
      PlatDDrawRestoreDisplayMode(s.ddraw);
    }
  }
  s.displayModeChanged = 0;
  WriteLog("画面モードを元に戻す処理は正常に終了しました\n");
  return 0;
}

int LeaveFullScreenDisplayMode() {
  ScreenState& s = g_ScreenState;
  if (IsWindowedMode() || !s.displayModeChanged) return 0;
  if (s.noDirectDraw) {
    PlatChangeDisplaySettings(nullptr, 0);
    return 0;
  }
  if (s.ddraw) {
    PlatDDrawSetCooperativeLevel(s.ddraw, s.window, PLAT_DDSCL_NORMAL);
    PlatDDrawRestoreDisplayMode(s.ddraw);
  }
  s.displayModeChanged = 0;
  return 0;
}

int ReapplyDisplayMode() {
  ScreenState& s = g_ScreenState;
  int32_t desktopWidth = 0, desktopHeight = 0;
  GetDesktopSizeAndDepth(&desktopWidth, &desktopHeight, nullptr);
  SwitchDisplayMode(s.ddraw, desktopWidth, desktopHeight, int32_t(s.width), int32_t(s.height), int32_t(s.depth),
                    nullptr, &s.cooperativeFlags, IsWindowedMode() ? 1 : 0, &s.displayModeChanged, s.window);
  return 0;
}

// ---- the mode change ---------------------------------------------------------------------

int ApplyScreenMode(int32_t width, int32_t height, int32_t depth, int32_t force, int32_t rate) {
  ScreenState& s = g_ScreenState;
  const bool started = s.directDrawStarted != 0;
  const uint32_t transparent = g_DrawState.transparentColor;
  const Mode previous = CurrentMode();
  const Mode asked{Keep(width, s.width), Keep(height, s.height), Keep(depth, s.depth), Keep(rate, s.refreshRate)};
  if (!force && asked == previous) return 0;

  WriteLog("画面モード変更処理を開始します\n");
  LogIndentIn();
  int32_t fontSize = 0, fontThickness = 0;
  const int32_t font = g_GraphicsClients.queryDefaultFont();
  const bool fontKept = g_GraphicsClients.isFontHandleValid(font) && g_GraphicsClients.queryFontSettings(nullptr, &fontSize, &fontThickness, font) == 0;
  StoreMode(asked);
  const bool engineUp = g_System.settings.initialising || IsEngineInitialised();
  // Once the window has gone the program is ending: the mode is only recorded, since the
  // display objects could not be bound to the window again.
  if (!engineUp || (!s.noDirectDraw && !s.ddraw) || IsEndRequested() || !PlatIsWindow(s.window)) {
    LogIndentOut();
    return 0;
  }
  s.gdiSurfaceState = -1;
  SpaceModeChange();

  FreeAllGraphsCore(0);
  TerminateGraphManager();
  g_Renderer3D.terminateDirect3D();
  if (s.palette) PlatDDPaletteRelease(s.palette);
  s.palette = 0;
  ReleaseScreenSurfaces();

  int result = started ? ChangeDisplayAfterStart(asked, previous) : ChangeDisplayAtStart(previous);

  SetupScreenColorFormat();
  if (IsWindowedMode() || s.noDirectDraw) g_SystemHooks.applyWindowStyle();
  if (result == -1 || CreateScreenSurfaces() != 0) {
    // Nothing half made stays behind: every surface and image pointer is null.
    ReleaseScreenSurfaces();
    LogIndentOut();
    WriteLog("DirectDrawSurface の初期化に失敗しました\n");
    return -1;
  }
  if (!s.noDirectDraw && !s.no3D && !s.softwareRender && g_Renderer3DStart() < 0) {
    LogIndentOut();
    ReleaseScreenSurfaces();
    return -1;
  }
  StartGraphManager();
  if (fontKept) g_GraphicsClients.applyDefaultFontSize(fontSize, fontThickness);
  g_SystemHooks.initScreenLog();
  CreateScreenPalette();
  if (!(s.softwareRender && s.depth != 8) && s.ddraw) ChooseCopyMethod();
  MeasureDisplay();

  if (started) g_DrawState.transparentColor = transparent;
  LogIndentOut();
  WriteLog("画面モード変更処理は正常に終了しました\n");
  g_SystemHooks.pumpMessages();
  ResetFrameCount();
  return result;
}

int SetScreenModeCore(int32_t width, int32_t height, int32_t depth, int32_t rate) {
  ScreenState& s = g_ScreenState;
  // Every graph goes, whatever follows, also for arguments that are refused.
  FreeAllGraphsCore(0);
  const Mode before = CurrentMode();
  const Mode asked{Keep(width, s.width), Keep(height, s.height), Keep(depth, s.depth), Keep(rate, s.refreshRate)};
  const int32_t w = width == -1 ? int32_t(s.width) : width, h = height == -1 ? int32_t(s.height) : height;
  if (w <= 0 || h <= 0 || (asked.depth != 8 && asked.depth != 16 && asked.depth != 32)) return -1;
  s.requestedDepth = asked.depth;
  ApplyScreenMode(int32_t(asked.width), int32_t(asked.height), int32_t(asked.depth), 0, int32_t(asked.rate));
  const Mode now = CurrentMode();
  if (now == asked) return 0;
  if (now == before) return -1;
  if (now == kFallbackMode) return -2;
  return -1;
}

int SetHardwareRendering(int32_t flag) {
  ScreenState& s = g_ScreenState;
  const bool wasNoDirectDraw = s.noDirectDraw != 0;
  if (wasNoDirectDraw || flag == 0) {
    EnableHardware3D(0);
    SetGraphSoftwareSurfaceMode(0);
    s.noDirectDraw = 1;
  }
  s.softwareRender = wasNoDirectDraw ? 1 : (flag ? 0 : 1);
  if (!s.ddraw) return 0;
  const int32_t target = GetDrawTargetHandle();
  FreeAllGraphsCore(0);
  ApplyScreenMode(-1, -1, -1, 1, -1);
  if (target == DRAW_SCREEN_FRONT || target == DRAW_SCREEN_BACK) SetDrawTargetCore(target);
  return 0;
}
