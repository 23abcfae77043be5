// The main window's procedure: keeps the engine's view of the window (active, ending,
// close pending, painting), feeds typed characters to the character ring, hands the
// input-method, sequencer and socket messages on, repairs the graphics on re-activation
// and display changes, and refuses the screen saver.
#include "engine/system/wndproc.h"

#include "engine/base/log.h"
#include "engine/d3d/services.h"
#include "engine/graphics/services.h"
#include "engine/movie/services.h"
#include "engine/sound/services.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/calls.h"
#include "engine/system/charinput.h"
#include "platform/gdi/gdi.h"

namespace {

uint32_t LowWord(uintptr_t v) { return uint32_t(v) & 0xFFFF; }
uint32_t HighWord(uintptr_t v) { return (uint32_t(v) >> 16) & 0xFFFF; }

// The engine closes its own window at most once per run.
void PostEngineClose() {
  if (IsClosePending()) return;
  StoreFlag(g_System.closePending, 1);
  PlatPostMessage(GetEngineWindowHandle(), PLAT_WM_CLOSE, 0, 0);
}

void OnActivated(PlatWParam wParam) {
  if (g_ImeState.enabled && g_ImeState.openStatus == 1) g_ImeState.refreshStep = 1;
  g_GraphicsServices.restoreAllSurfaces2D();
  g_D3dServices.restoreAllTextures();
  if (!IsWindowedMode() && g_System.initialised && HighWord(wParam) == 0)
    g_GraphicsServices.rebuildGraphicsSystem();
  g_MovieServices.resumeAllMovieHandles();
  g_SystemCalls.reacquireInputDevices();
  g_SystemCalls.applyPadVibration();
}

void OnDeactivated(PlatWnd window) {
  const bool fullScreen = !IsWindowedMode();
  if (fullScreen && g_GraphicsServices.isDisplayModeChanged()) {
    if (!g_GraphicsServices.isDirectDrawUsed()) {
      g_GraphicsServices.releaseDirectDraw();
      PlatShowWindow(window, PLAT_SW_MINIMIZE);
    } else {
      g_D3dServices.releaseDirect3DObject();
    }
  }
  if (fullScreen && g_GraphicsServices.isDisplayModeChanged() &&
      g_GraphicsServices.getDirectDrawObject()) {
    if (!g_GraphicsServices.hasGraphRestoreHandler()) {
      WriteLog("復元関数が登録されていないため終了します\n");
      PostEngineClose();
      return;
    }
    g_MovieServices.pauseAllMovieHandles();
  } else {
    g_MovieServices.pauseAllMovieHandles();
    g_SystemCalls.reacquireInputDevices();
  }
  g_SystemCalls.applyPadVibration();
}

void OnActivate(PlatWnd window, PlatWParam wParam) {
  const bool active = LowWord(wParam) != 0;
  StoreFlag(g_System.windowActive, active ? 1 : 0);
  if (g_System.windowCreating) return;
  if (active) OnActivated(wParam);
  else OnDeactivated(window);
}

void OnPaint(PlatWnd window) {
  PlatPaint paint;
  if (!PlatBeginPaint(window, &paint)) return;
  if (IsWindowedMode()) {
    StoreFlag(g_System.painting, 1);
    if (!g_System.initialised) {
      PlatFillRect(window, &paint.paintRect, 0x000000);
    } else if (g_GraphicsServices.getDrawTargetHandle() == -2) {
      const int wait = g_GraphicsServices.getVBlankWait();
      g_GraphicsServices.setVBlankWait(0);
      g_GraphicsServices.presentSoftwareImage(&paint.paintRect);
      g_GraphicsServices.setVBlankWait(wait);
    }
    // On every path: a flag left set would let WaitWhileInactive pass for good.
    StoreFlag(g_System.painting, 0);
  }
  PlatEndPaint(window, &paint);
}

void OnDisplayChange(PlatWParam wParam, PlatLParam lParam) {
  int32_t width = 0, height = 0, depth = 0;
  g_GraphicsServices.queryScreenFormat(&width, &height, &depth);
  const int32_t newDepth = int32_t(wParam);
  const int32_t newWidth = int32_t(LowWord(uintptr_t(lParam)));
  const int32_t newHeight = int32_t(HighWord(uintptr_t(lParam)));
  if (newDepth == depth && newWidth == width && newHeight == height) return;
  if (!g_GraphicsServices.hasGraphRestoreHandler() || newDepth == 24 ||
      (newDepth != depth && newDepth == 8) || width > newWidth || height > newHeight) {
    WriteLog("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
    WriteLog("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
    PostEngineClose();
    return;
  }
  g_MovieServices.releaseAllMovieObjects();
  g_GraphicsServices.setupScreenColorFormat();
  g_GraphicsServices.rebuildGraphicsSystem();
  g_MovieServices.resumeAllMovieHandles();
}

void OnChar(PlatWParam wParam) {
  const uintptr_t code = wParam;
  if (code == 10) {
    PushCharCode(13);
  } else if (code >= 32 || code == 8 || code == 9 || code == 13 || code == 16 || code == 27) {
    PushCharCode(uint8_t(code & 0xFF));
  }
}

void OnKeyDown(PlatWParam wParam) {
  if (IsCharCodeBufferFull()) return;
  for (const KeyControlCode* k = KeyControlCodeTable; k->vk; k++) {
    if (k->vk == wParam) {
      PushCharCode(k->code);
      return;
    }
  }
}

}  // namespace

PlatLResult MainWindowProc(PlatWnd window, uint32_t message, PlatWParam wParam,
                           PlatLParam lParam) {
  switch (message) {
    case PLAT_WM_DESTROY:
      WriteLog("ウインドウが破棄されようとしています\n");
      WriteLog("ソフトを終了する準備が整いました\n");
      PlatPostQuitMessage(0);
      StoreFlag(g_System.endRequested, 1);
      break;
    case PLAT_WM_MOVE:
      if (IsWindowedMode()) g_SystemCalls.onWindowMoved(lParam);
      break;
    case PLAT_WM_SIZE:
      // A minimised window keeps its size: placing it would resize it around an empty
      // client area.
      if (wParam != PLAT_SIZE_MAXIMIZED && wParam != PLAT_SIZE_MINIMIZED)
        g_SystemCalls.updateWindowPlacement();
      break;
    case PLAT_WM_ACTIVATE: OnActivate(window, wParam); break;
    case PLAT_WM_ACTIVATEAPP:
      if (wParam == 0) OnActivate(window, 0);
      break;
    case PLAT_WM_PAINT: OnPaint(window); break;
    case PLAT_WM_CLOSE:
      WriteLog("ウインドウを閉じようとしています\n");
      PlatDestroyWindow(GetEngineWindowHandle());
      return 0;
    case PLAT_WM_SETCURSOR:
    case PLAT_WM_MOUSEMOVE:
    case PLAT_WM_LBUTTONDOWN:
    case PLAT_WM_LBUTTONUP:
    case PLAT_WM_RBUTTONDOWN:
    case PLAT_WM_RBUTTONUP:
    case PLAT_WM_MBUTTONDOWN:
    case PLAT_WM_MBUTTONUP:
      if (g_System.cursorState == 0) {
        PlatSetCursor(PLAT_CURSOR_NONE);
        while (PlatShowCursor(0) >= 0) {
        }
      }
      break;
    case PLAT_WM_DISPLAYCHANGE:
      if (IsWindowedMode()) OnDisplayChange(wParam, lParam);
      break;
    case PLAT_WM_KEYDOWN: OnKeyDown(wParam); break;
    case PLAT_WM_CHAR: OnChar(wParam); break;
    case PLAT_WM_IME_STARTCOMPOSITION:
    case PLAT_WM_IME_ENDCOMPOSITION:
    case PLAT_WM_IME_COMPOSITION:
    case PLAT_WM_IME_SETCONTEXT:
    case PLAT_WM_IME_NOTIFY:
      return g_SystemCalls.captureImeCandidates(window, message, wParam, lParam);
    case PLAT_WM_SYSCOMMAND:
      if (wParam == PLAT_SC_SCREENSAVE || wParam == PLAT_SC_MONITORPOWER) return 1;
      break;
    case PLAT_MM_MCINOTIFY: g_SoundServices.onMciNotify(); break;
    case PLAT_WM_HOOKED_F10:
      if (wParam == 1) g_SystemCalls.setHookedF10Flag();
      else g_SystemCalls.clearHookedF10Flag();
      break;
    case PLAT_WM_SOCKET: return g_SystemCalls.onSocketEvent(wParam, uint32_t(lParam));
    default: break;
  }
  return PlatDefWindowProc(window, message, wParam, lParam);
}
