// Stubs until the graph handles, the draw targets, the presents and the mask land: no
// graphs (every graph handle is bad), nothing to restore; the draw state records what it
// is told. The screen itself is engine/graphics/screen.cpp.
#include "engine/graphics/services.h"

#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"

namespace {
int g_maskScreen = 0;
}  // namespace

int RestoreAllGraphSurfaces() { return 0; }
int RebuildGraphicsSystem() { return 0; }
int HasGraphRestoreHandler() { return 1; }

int PresentSoftwareImage(const PlatRect*) { return 0; }

int QueryGraphSize(int32_t graph, int32_t* width, int32_t* height) {
  if (graph != DRAW_SCREEN_FRONT && graph != DRAW_SCREEN_BACK) return -1;
  return QueryScreenSize(width, height);
}

int IsGraphLive(int32_t) { return 0; }
GraphRecord* GetGraphRecord(int32_t) { return nullptr; }

void ResetMaskScreenFlags() { g_maskScreen = 1; }

int SetGraphRestoreHandler(GraphRestoreHandler) { return 0; }

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

int SetGdiSurfaceMode(int32_t mode) {
  g_ScreenState.gdiSurfaceRequest = mode;
  return 0;
}
