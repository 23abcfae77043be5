// Stubs until the graphics subsystem lands: no display objects and no graphs (every
// graph handle is bad), nothing to restore, the default screen of 640 x 480 x 16; the
// draw state records what it is told.
#include "engine/graphics/services.h"

#include "engine/base/log.h"
#include "engine/pixel/drawstate.h"

namespace {
int g_temporaryPrimary = 0;
int g_no3D = 0;
int g_graphicsStarted = 0;
int g_maskScreen = 0;
int g_gdiSurfaceMode = 0;
}  // namespace

int RestoreAllSurfaces2D() { return 0; }
int RestoreAllGraphSurfaces() { return 0; }
int RebuildGraphicsSystem() { return 0; }
int IsDisplayModeChanged() { return 0; }
int IsDirectDrawUsed() { return 0; }

int ReleaseDirectDraw() {
  WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  return 0;
}

void* GetDirectDrawObject() { return nullptr; }
int HasGraphRestoreHandler() { return 1; }


int PresentSoftwareImage(const PlatRect*) { return 0; }

int QueryScreenFormat(int32_t* width, int32_t* height, int32_t* depth) {
  if (width) *width = 640;
  if (height) *height = 480;
  if (depth) *depth = 16;
  return 0;
}

int QueryScreenSize(int32_t* width, int32_t* height) {
  if (width) *width = 640;
  if (height) *height = 480;
  return 0;
}

int SetupScreenColorFormat() { return 0; }

int GetNo3DSetting() { return g_no3D; }

int SetNo3DSetting(int32_t flag) {
  g_no3D = flag;
  return 0;
}

int IsSoftwareRendering() { return 0; }

int QueryGraphSize(int32_t graph, int32_t* width, int32_t* height) {
  if (graph != DRAW_SCREEN_FRONT && graph != DRAW_SCREEN_BACK) return -1;
  return QueryScreenSize(width, height);
}

int IsGraphLive(int32_t) { return 0; }
GraphRecord* GetGraphRecord(int32_t) { return nullptr; }

void ResetMaskScreenFlags() { g_maskScreen = 1; }
int SetHardwareRendering(int32_t) { return 0; }

int SetUseTemporaryPrimary(int32_t flag) {
  g_temporaryPrimary = flag;
  return 0;
}
int GetUseTemporaryPrimary() { return g_temporaryPrimary; }

int SetGraphRestoreHandler(GraphRestoreHandler) { return 0; }

int StartGraphicsWithFallback(PlatWnd) {
  if (g_graphicsStarted) return -1;
  g_graphicsStarted = 1;
  return 0;
}

int EndGraphics() {
  g_graphicsStarted = 0;
  return 0;
}

int SetDrawTargetCore(int32_t target) {
  if (target != DRAW_SCREEN_FRONT && target != DRAW_SCREEN_BACK) return -1;
  g_DrawState.drawTarget = target;
  QueryGraphSize(target, &g_DrawState.targetWidth, &g_DrawState.targetHeight);
  SetClipArea(0, 0, g_DrawState.targetWidth, g_DrawState.targetHeight);
  return 0;
}

int SetGraphCreateMode(int32_t) { return 0; }
int MakeBlankGraph(int32_t, int32_t, int32_t) { return -1; }
int MakeGraphFromGraphImage(GraphImage*) { return -1; }
int FreeGraph(int32_t, int32_t) { return -1; }


int DrawGraphAtCore(int32_t, int32_t, int32_t, int32_t) { return -1; }
int DrawGraphStretchedCore(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return -1; }

int IsMaskScreenEnabled() { return g_maskScreen; }

int SwitchMaskScreen(int32_t flag) {
  g_maskScreen = flag;
  return 0;
}



int GetGdiSurfaceMode() { return g_gdiSurfaceMode; }

int SetGdiSurfaceMode(int32_t mode) {
  g_gdiSurfaceMode = mode;
  return 0;
}
