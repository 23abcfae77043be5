// What the window procedure asks of the Direct3D renderer.
#pragma once

#include <cstdint>

// Restores the lost surfaces of every 3D texture record (on re-activation).
int RestoreAllTextures();
// Releases the Direct3D object (on deactivation of a full-screen program).
int ReleaseDirect3DObject();

// ---- what the draw state asks of the renderer ------------------------------------------
// Every one does nothing (or reports failure) while no Direct3D device exists.

struct GraphRecord;
struct Matrix4;
struct Rect;

// 1 when 3D drawing is available: a Direct3D device was made on the display objects.
int Is3DAvailable();
// The current Direct3D device, or null.
void* CurrentDevice3D();
// Recomputes the vertex colour from the blend parameter and the brightness.
int UpdateDrawVertexColor();
// Point (0) or linear (1) texture filtering.
int ApplyTextureStage3D(int32_t filterMode);
// The device's viewport from a rectangle of the draw target; negative on failure.
int SetViewportFromRect(const Rect* rect);
// Sets (or, for null, clears) the texture of the blend graph.
int BindGraphTexture(GraphRecord* graph, int32_t param1, int32_t param2);
int SetWorldTransform3D(const Matrix4* matrix, int32_t flag);
int SetViewTransform3D(const Matrix4* matrix);
int SetProjectionTransform3D(const Matrix4* matrix);

// ---- the table the window procedure calls through ---------------------------------------

// RestoreAllTextures and ReleaseDirect3DObject as the window procedure reaches them:
// through this table, so that a test can watch a call or script its result. It holds the
// functions above unless a test changed it.
struct D3dServices {
  int (*restoreAllTextures)();
  int (*releaseDirect3DObject)();
};
extern D3dServices g_D3dServices;
// The table as it starts: the functions above.
extern const D3dServices kD3dServices;
