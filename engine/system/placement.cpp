// Window mode and placement.
#include "engine/system/placement.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/calls.h"

namespace {

int32_t Width(const PlatRect& r) { return r.right - r.left; }
int32_t Height(const PlatRect& r) { return r.bottom - r.top; }

void OffsetRect(PlatRect* r, int32_t dx, int32_t dy) {
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
}

// The client area in screen coordinates, as the window has it now.
PlatRect ClientRectOnScreen(PlatWnd window) {
  PlatRect r{};
  PlatGetClientRect(window, &r);
  PlatPoint topLeft{r.left, r.top}, bottomRight{r.right, r.bottom};
  PlatClientToScreen(window, &topLeft);
  PlatClientToScreen(window, &bottomRight);
  return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void ApplyFullScreenStyle(PlatWnd window, int32_t w, int32_t h) {
  WriteLog("ウインドウスタイルをフルスクリーンモード用に変更します... ");
  PlatSetWindowLong(window, PLAT_GWL_EXSTYLE, FULLSCREEN_EX_STYLE);
  PlatSetWindowLong(window, PLAT_GWL_STYLE, FULLSCREEN_STYLE);
  g_System.clientRectOnScreen = {0, 0, w, h};
  PlatShowWindow(window, PLAT_SW_SHOW);
  PlatUpdateWindow(window);
  PlatSetWindowPos(window, PLAT_HWND_TOPMOST, 0, 0, w, h, PLAT_SWP_NOREDRAW);
  PlatSetWindowFullScreen(window, 1);
  g_SystemCalls.setMouseCursorVisible(0);
}

void ApplyWindowedStyle(PlatWnd window, int32_t w, int32_t h) {
  WriteLog("ウインドウスタイルをウインドウモード用に変更します... ");
  const uint32_t style = uint32_t(WINDOWED_STYLE) | PLAT_WS_VISIBLE;
  const uint32_t exStyle = WINDOWED_EX_STYLE;
  PlatSetWindowFullScreen(window, 0);
  PlatSetWindowLong(window, PLAT_GWL_EXSTYLE, exStyle);
  PlatSetWindowLong(window, PLAT_GWL_STYLE, style);

  const double scale = GetWindowScale();
  const int32_t cw = DoubleToInt(double(w) * scale);
  const int32_t ch = DoubleToInt(double(h) * scale);
  PlatRect r{0, 0, cw, ch};
  PlatAdjustWindowRectEx(&r, style, 0, exStyle);
  OffsetRect(&r, (g_System.desktopWidth - Width(r)) / 2, (g_System.desktopHeight - Height(r)) / 2);
  PlatSetWindowPos(window, PLAT_HWND_TOP, r.left, r.top, Width(r), Height(r), 0);

  PlatRect client = ClientRectOnScreen(window);
  g_System.clientRectOnScreen = client;
  if (client.left < 0 || client.top < 0) {
    // Larger than the desktop: the client area's corner goes to the screen origin.
    OffsetRect(&r, -client.left, -client.top);
    g_System.clientRectOnScreen = {0, 0, Width(client), Height(client)};
    PlatSetWindowPos(window, PLAT_HWND_TOP, r.left, r.top, Width(r), Height(r), 0);
  }
  g_SystemCalls.setMouseCursorVisible(1);
}

}  // namespace

int ChangeWindowModeCore(int32_t mode) {
  WriteLog("ChangeWindowMode実行 \n");
  if (mode == LoadFlag(g_System.settings.windowed)) return 0;
  SetWindowModeFlag(mode);
  return 0;
}

int SetWindowModeFlag(int32_t mode) {
  StoreFlag(g_System.settings.windowed, mode);
  WriteLog(mode != 0 ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  return 0;
}

int ApplyWindowStyle() {
  const PlatWnd window = GetEngineWindowHandle();
  if (!window) return 0;
  int32_t w = 640, h = 480;
  g_GraphicsServices.queryScreenSize(&w, &h);
  if (IsWindowedMode()) ApplyWindowedStyle(window, w, h);
  else ApplyFullScreenStyle(window, w, h);
  WriteLog("完了\n");
  PlatSetActiveWindow(window);
  PlatPostMessage(window, PLAT_WM_SETCURSOR, window, 0);
  return 0;
}

int UpdateWindowPlacement() {
  const PlatWnd window = GetEngineWindowHandle();
  int32_t w = 640, h = 480;
  g_GraphicsServices.queryScreenSize(&w, &h);
  const double scale = IsWindowedMode() ? GetWindowScale() : 1.0;
  const int32_t cw = DoubleToInt(double(w) * scale);
  const int32_t ch = DoubleToInt(double(h) * scale);
  PlatRect frame{}, client{};
  PlatGetWindowRect(window, &frame);
  if (!PlatGetClientRect(window, &client)) return 0;
  // The frame keeps its thickness; the client area gets cw x ch.
  const int32_t right = frame.right - Width(client) + cw;
  const int32_t bottom = frame.bottom - Height(client) + ch;
  PlatMoveWindow(window, frame.left, frame.top, right - frame.left, bottom - frame.top, 1);
  if (IsWindowedMode() && g_System.styleApplied == 0) {
    g_System.styleApplied = 1;
    ApplyWindowStyle();
  }
  return 0;
}

int OnWindowMoved(PlatLParam lParam) {
  const PlatWnd window = GetEngineWindowHandle();
  PlatRect client{};
  if (!PlatGetClientRect(window, &client)) return 0;
  const int32_t x = int16_t(uint32_t(lParam) & 0xFFFF);
  const int32_t y = int16_t((uint32_t(lParam) >> 16) & 0xFFFF);
  g_System.clientRectOnScreen = {x, y, x + Width(client), y + Height(client)};
  if (g_GraphicsServices.getDrawTargetHandle() == DRAW_SCREEN_FRONT) {
    const int mask = g_GraphicsServices.isMaskScreenEnabled();
    g_GraphicsServices.switchMaskScreen(0);
    const PlatRect& c = g_System.clientRectOnScreen;
    const Rect target = {c.left, c.top, c.right, c.bottom};
    if (!g_GraphicsServices.getUseTemporaryPrimary()) g_GraphicsServices.setTargetRect(&target);
    g_GraphicsServices.switchMaskScreen(mask);
  }
  const Rect& area = g_DrawState.drawArea;
  g_GraphicsServices.setClipArea(area.left, area.top, area.right, area.bottom);
  return 0;
}

int BringToForeground(PlatWnd window, int32_t topmost) {
  // The platform lets any window take the foreground; the system's refusal time is
  // still lifted for the moment and put back, as the window system expects.
  const uint32_t saved = PlatGetForegroundLockTimeout();
  PlatSetForegroundLockTimeout(0);
  PlatSetForegroundWindow(window);
  PlatSetForegroundLockTimeout(saved);
  if (topmost == 1)
    PlatSetWindowPos(GetEngineWindowHandle(), PLAT_HWND_TOPMOST, 0, 0, 0, 0,
                     PLAT_SWP_NOSIZE | PLAT_SWP_NOMOVE | PLAT_SWP_NOREDRAW);
  return 0;
}

int RefreshFullScreenState() {
  if (IsWindowedMode()) return 0;
  g_GraphicsServices.setGdiSurfaceMode(g_GraphicsServices.getGdiSurfaceMode());
  g_SystemCalls.setMouseCursorVisible(g_System.cursorShown);
  return 0;
}

int SetMouseCursorVisible(int32_t visible) {
  g_System.cursorShown = visible;
  const int32_t show = visible == 1 ? 1 : 0;
  if (show == g_System.cursorState) return 0;
  if (show) {
    while (PlatShowCursor(1) < 0) {
    }
  } else {
    while (PlatShowCursor(0) >= 0) {
    }
  }
  PlatWnd window = GetEngineWindowHandle();
  PlatPostMessage(window, PLAT_WM_SETCURSOR, window, 0);
  g_System.cursorState = show;
  return 0;
}

int GetMousePosition(int32_t* x, int32_t* y) {
  PlatPoint p{};
  PlatGetCursorPos(&p);
  int32_t mx = p.x, my = p.y;
  if (IsWindowedMode()) {
    // Through GetWindowScale, which never leaves a scale of 0 to divide by.
    const double scale = GetWindowScale();
    mx = DoubleToInt(double(p.x - g_System.clientRectOnScreen.left) / scale);
    my = DoubleToInt(double(p.y - g_System.clientRectOnScreen.top) / scale);
  }
  if (x) *x = mx;
  if (y) *y = my;
  return 0;
}
