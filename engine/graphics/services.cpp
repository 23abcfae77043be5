// Stubs until the draw targets, the draw cores and the mask land: the draw state records
// what it is told. The screen itself is engine/graphics/screen.cpp, the presents present.cpp.
#include "engine/graphics/services.h"

#include "engine/graphics/present.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/system/state.h"

namespace {
int g_maskScreen = 0;
}  // namespace

int RebuildGraphicsSystem() { return 0; }

void ResetMaskScreenFlags() { g_maskScreen = 1; }

namespace {

// Of the surface switch only what the presents rely on: the window's clipper on the
// primary while the back screen is drawn (the windowed blit is clipped to the window),
// and the temporary primary shown by its timer while the front screen is.
void SwitchScreenSurface(int32_t target, int32_t previous) {
  ScreenState& s = g_ScreenState;
  const bool temporary = s.useTemporaryPrimary && s.temporaryPrimary;
  if (previous == DRAW_SCREEN_FRONT && temporary) {
    PlatKillTimer(s.window, FRONT_REFRESH_TIMER);
    ShowTemporaryPrimary();
  }
  const bool clipperRoad = !s.noDirectDraw && s.primary && (IsWindowedMode() || s.gdiSurfaceRequest || IsMenuInUse());
  if (target == DRAW_SCREEN_FRONT) {
    s.targetSurface = temporary ? s.temporaryPrimary : s.primary;
    if (clipperRoad) PlatDDSurfaceSetClipper(s.primary, 0);
    if (temporary) {
      if (s.clipper) PlatDDSurfaceSetClipper(s.primary, s.clipper);
      CaptureWindowToTemporaryPrimary();
      PlatSetTimer(s.window, FRONT_REFRESH_TIMER, FRONT_REFRESH_MS, RefreshFrontScreenTimerProc);
    }
  } else {
    s.targetSurface = s.back;
    if (clipperRoad && s.clipper) PlatDDSurfaceSetClipper(s.primary, s.clipper);
  }
}

}  // namespace

int SetDrawTargetCore(int32_t target) {
  if (target != DRAW_SCREEN_FRONT && target != DRAW_SCREEN_BACK) return -1;
  SwitchScreenSurface(target, g_DrawState.drawTarget);
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

