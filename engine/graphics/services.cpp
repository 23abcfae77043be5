// Least bodies until the graphics subsystem lands: no display objects, nothing to
// restore, the default screen of 640 x 480 x 16.
#include "engine/graphics/services.h"

#include "engine/base/log.h"

namespace {
int g_vblankWait = 0;
}

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
int GetDrawTargetHandle() { return -4; }
int GetVBlankWait() { return g_vblankWait; }

int SetVBlankWait(int flag) {
  g_vblankWait = flag;
  return 0;
}

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
