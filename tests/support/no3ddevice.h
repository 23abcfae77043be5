// The screen mode change with no Direct3D device started: DirectDraw mode without 3D, where
// graphs are surfaces and every draw is the 2D cores'. Tests that compare those cores'
// pixels, or that start the device themselves under a script, pin this path in code, since
// the engine starts the device by default.
#pragma once

#include "engine/d3d/d3d.h"
#include "engine/d3d/services.h"
#include "engine/graphics/renderer3d.h"

inline int StartNo3DDevice() { return 0; }

inline void PinNo3DDevice() {
  g_D3dServices = kD3dServices;
  g_Renderer3DStart = StartNo3DDevice;
}

// The renderer's table and start as the engine has them.
inline void UnpinNo3DDevice() {
  g_D3dServices = kD3dServices;
  g_Renderer3DStart = InitializeDirect3D;
}
