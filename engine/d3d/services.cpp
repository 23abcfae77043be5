// Least bodies until the Direct3D renderer lands.
#include "engine/d3d/services.h"

#include "engine/base/log.h"

int RestoreAllTextures() { return 0; }

int ReleaseDirect3DObject() {
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  return 0;
}
