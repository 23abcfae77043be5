// The Direct3D renderer's interface: its start, and the functions it fills the table of
// engine/graphics/renderer3d.h with (which graphics and fonts call through that table, and
// the layers above and the tests may call directly).
#pragma once

#include "engine/graphics/renderer3d.h"
#include "platform/d3d/d3d.h"

#include <cstdint>

// Sets the device up on the DirectDraw object and its front surface and fills
// g_Renderer3D with kDirect3DRenderer; 0, or -1 on failure with Direct3D left off.
int InitializeDirect3D();

// The functions of the renderer's table (the list says what each does). TerminateDirect3D
// and the loss of the device's records leave the table "no 3D" again.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/graphics/renderer3dlist.h"
#undef KR_SERVICE

// The table filled with the functions above.
extern const Renderer3D kDirect3DRenderer;

// The same on integer corners, the way a graph is drawn while a blend graph is set: the
// two triangles either side of the rising diagonal map the graph affinely.
int DrawGraphQuadTiles3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                         int32_t y4, GraphRecord* graph, int32_t transparent);
// Makes the surface the device's render target (0: the surface it was made on); 0.
int SetDeviceRenderTarget(PlatDDSurface surface, int32_t device);
// 0, or -1 with a log line when the device refuses it or no render target was set.
int SetDeviceViewport(const PlatD3DViewport* viewport, int32_t device);
