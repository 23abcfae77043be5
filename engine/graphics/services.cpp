// Stubs until the draw cores and the mask land: the mask records what it is told and is
// never made. The screen itself is engine/graphics/screen.cpp, the presents present.cpp,
// the draw target drawtarget.cpp, the rebuild rebuild.cpp.
#include "engine/graphics/services.h"


namespace {
int g_maskScreen = 0;
}  // namespace

void ResetMaskScreenFlags() { g_maskScreen = 1; }

int DrawGraphAtCore(int32_t, int32_t, int32_t, int32_t) { return -1; }
int DrawGraphStretchedCore(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return -1; }

int EndMaskScreen() { return 0; }
int DeleteAllType40Handles() { return 0; }

int IsMaskScreenEnabled() { return g_maskScreen; }

int SwitchMaskScreen(int32_t flag) {
  g_maskScreen = flag;
  return 0;
}

int IsMaskScreenMade() { return 0; }
int IsMaskedDrawOn() { return 0; }
PlatDDSurface GetMaskSurface() { return 0; }
int IsMaskSurfaceInVideoMemory() { return 0; }
int ReleaseMaskScreen() { return 0; }
int RecreateMaskScreen() { return 0; }
int BeginMaskedDraw(int32_t, int32_t, int32_t, int32_t) { return 0; }
int EndMaskedDraw(int32_t, int32_t, int32_t, int32_t) { return 0; }
