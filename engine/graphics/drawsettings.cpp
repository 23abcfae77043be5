#include "engine/graphics/drawsettings.h"

#include "engine/base/log.h"
#include "engine/graphics/lights.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/services.h"
#include "engine/softimage/blendtables.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"

#include <algorithm>
#include <cstring>

namespace {

int32_t Clamp255(int32_t v) { return std::clamp(v, 0, 255); }

const char* TargetName(int32_t target) {
  if (target == DRAW_SCREEN_FRONT) return "Front Buffer";
  if (target == DRAW_SCREEN_BACK) return "Back Buffer";
  return "Image Buffer";
}

// The width and height the draw area is clamped to, and the corrections the front screen
// makes for a window partly off the desktop. false when the target is a freed graph.
bool TargetBounds(int32_t target, int32_t* x1, int32_t* y1, int32_t* width, int32_t* height) {
  if (target == DRAW_SCREEN_FRONT) {
    PlatRect client{};
    GetClientRectBelowToolbar(&client);
    QueryScreenSize(width, height);
    int32_t desktopWidth = 0, desktopHeight = 0;
    GetDesktopSizeAndDepth(&desktopWidth, &desktopHeight, nullptr);
    if (client.left < 0) *x1 = -client.left;
    if (client.top < 0) *y1 = -client.top;
    // A window past the desktop's right or bottom edge leaves nothing to draw on, never a
    // negative size.
    if (int64_t(client.left) + *width >= desktopWidth)
      *width = int32_t(std::max<int64_t>(0, int64_t(desktopWidth) - client.left));
    if (int64_t(client.top) + *height >= desktopHeight)
      *height = int32_t(std::max<int64_t>(0, int64_t(desktopHeight) - client.top));
    return true;
  }
  if (target == DRAW_SCREEN_BACK) {
    QueryScreenSize(width, height);
    return true;
  }
  return QueryGraphSize(target, width, height) == 0;
}

}  // namespace

int SetBlendState(int32_t mode, int32_t param) {
  DrawState& s = g_DrawState;
  if (mode == s.blendMode && param == s.blendParam) return 0;
  g_SystemHooks.waitWhileInactive();
  s.blendMode = mode;
  s.blendParam = Clamp255(param);
  g_Renderer3D.updateDrawVertexColor();
  return 0;
}

int SetBlendGraphState(int32_t graph, int32_t param1, int32_t param2) {
  DrawState& s = g_DrawState;
  if (graph == s.blendGraph && param1 == s.blendGraphParam[0] && param2 == s.blendGraphParam[1])
    return 0;
  if (graph != -1 && !IsGraphHandleLive(graph)) return -1;
  s.blendGraph = graph;
  g_SystemHooks.waitWhileInactive();
  s.blendGraphParam[0] = Clamp255(param1);
  s.blendGraphParam[1] = Clamp255(param2);
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.bindGraphTexture(LookupGraph(graph), s.blendGraphParam[0], s.blendGraphParam[1]);
  BuildBlendGraphCurve(s.blendGraphParam[0], s.blendGraphParam[1]);
  return 0;
}

int SetBrightness(int32_t red, int32_t green, int32_t blue) {
  DrawState& s = g_DrawState;
  if (red == s.brightRed && green == s.brightGreen && blue == s.brightBlue) return 0;
  s.brightRed = uint8_t(Clamp255(red));
  s.brightGreen = uint8_t(Clamp255(green));
  s.brightBlue = uint8_t(Clamp255(blue));
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.updateDrawVertexColor();
  return 0;
}

void SetBrightnessPacked(uint32_t rgb) {
  DrawState& s = g_DrawState;
  rgb &= 0xFFFFFF;
  if (rgb == BrightnessWord(s)) return;
  s.brightBlue = uint8_t(rgb);
  s.brightGreen = uint8_t(rgb >> 8);
  s.brightRed = uint8_t(rgb >> 16);
  g_Renderer3D.updateDrawVertexColor();
}

bool SetClipAreaFields(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  DrawState& s = g_DrawState;
  s.requestedArea = {x1, y1, x2, y2};
  int32_t width = 640, height = 480;
  if (!TargetBounds(s.drawTarget, &x1, &y1, &width, &height)) return false;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  s.drawArea = {std::clamp(x1, 0, width), std::clamp(y1, 0, height), std::clamp(x2, 0, width),
                std::clamp(y2, 0, height)};
  s.drawAreaF[0] = float(s.drawArea.left);
  s.drawAreaF[1] = float(s.drawArea.top);
  s.drawAreaF[2] = float(s.drawArea.right);
  s.drawAreaF[3] = float(s.drawArea.bottom);
  s.areaEmpty = s.drawArea.left == s.drawArea.right || s.drawArea.top == s.drawArea.bottom ? 1 : 0;
  return !s.areaEmpty;
}

int SetClipArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!SetClipAreaFields(x1, y1, x2, y2)) return 0;
  const DrawState& s = g_DrawState;
  if (g_Renderer3D.is3DAvailable() && g_Renderer3D.setViewportFromRect(&s.drawArea) < 0)
    WriteLogFmt("ビューポートの設定に失敗しました %s", TargetName(s.drawTarget));
  return 0;
}

int QueryClipArea(Rect* out) {
  if (out) *out = g_DrawState.drawArea;
  return 0;
}

int SetTargetRect(const Rect* rect) {
  if (rect) g_DrawState.targetRect = *rect;
  return 0;
}

int GetDrawTargetHandle() { return g_DrawState.drawTarget; }

int SetFilterMode(int32_t mode) {
  if (mode == g_DrawState.filterMode) return 0;
  g_DrawState.filterMode = mode;
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.applyTextureStage3D(mode);
  return 0;
}

int GetFilterMode() { return g_DrawState.filterMode; }

int EnableHardware3D(int32_t flag) {
  if (!GetDirectDrawObject()) SetNo3DSetting(flag ? 0 : 1);
  g_DrawState.use3D = flag;
  return 0;
}

int SetVBlankWait(int32_t flag) {
  g_DrawState.vblankWaitOff = !flag;
  return 0;
}

int GetVBlankWait() { return !g_DrawState.vblankWaitOff; }

int ResetFrameCount() {
  g_DrawState.frameCount = 0;
  return 0;
}

int CountFrame() {
  g_DrawState.frameCount++;
  return 0;
}

uint64_t GetFrameCount() { return g_DrawState.frameCount; }

int ResetDrawSettings() {
  // The lights are records of their own: delete them before the block forgets them.
  DeleteAllLights();
  const GraphRestoreHandler handler = g_DrawState.restoreHandler;
  std::memset(&g_DrawState, 0, sizeof g_DrawState);
  DrawState& s = g_DrawState;
  s.restoreHandler = handler;
  s.defaultLight = -1;
  s.blendGraph = -1;
  static constexpr int32_t kDirect3DDefaults[7] = {0, 0, 4, 0, 0, 3, 0};
  std::memcpy(s.direct3DSettings, kDirect3DDefaults, sizeof kDirect3DDefaults);
  s.direct3DDepth2D = 0.2f;
  s.use3D = 1;
  s.newGraphColorKey = 1;
  s.filterMode = 0;
  s.blendMode = BLEND_COPY;
  SetBrightness(255, 255, 255);
  s.newGraphDepth = 0;
  ResetMaskScreenFlags();
  s.drawTarget = DRAW_SCREEN_BACK;
  SetDrawTargetCore(DRAW_SCREEN_FRONT);
  int32_t width = 640, height = 480;
  QueryGraphSize(s.drawTarget, &width, &height);
  SetClipArea(0, 0, width, height);
  s.defaultLight = AddDirectionalLight(1.0f, -1.0f, 1.0f);
  return 0;
}

int IsHardware3DActive() {
  return g_DrawState.use3D == 1 && g_Renderer3D.is3DAvailable() && !IsSoftwareRendering() && g_Renderer3D.currentDevice3D();
}
