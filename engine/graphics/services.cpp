// Stubs until the draw targets, the draw cores, the presents and the mask land: the draw
// state records what it is told. The screen itself is engine/graphics/screen.cpp.
#include "engine/graphics/services.h"

#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"

namespace {
int g_maskScreen = 0;
}  // namespace

int RebuildGraphicsSystem() { return 0; }

int PresentSoftwareImage(const PlatRect*) { return 0; }

void ResetMaskScreenFlags() { g_maskScreen = 1; }

int SetDrawTargetCore(int32_t target) {
  if (target != DRAW_SCREEN_FRONT && target != DRAW_SCREEN_BACK) return -1;
  g_DrawState.drawTarget = target;
  QueryGraphSize(target, &g_DrawState.targetWidth, &g_DrawState.targetHeight);
  SetClipArea(0, 0, g_DrawState.targetWidth, g_DrawState.targetHeight);
  return 0;
}

int DrawGraphAtCore(int32_t, int32_t, int32_t, int32_t) { return -1; }
int DrawGraphStretchedCore(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return -1; }

int EndMaskScreen() { return 0; }
int DeleteAllType40Handles() { return 0; }

int IsMaskScreenEnabled() { return g_maskScreen; }

int SwitchMaskScreen(int32_t flag) {
  g_maskScreen = flag;
  return 0;
}

int SetGdiSurfaceMode(int32_t mode) {
  g_ScreenState.gdiSurfaceRequest = mode;
  return 0;
}
