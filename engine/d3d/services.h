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

// ---- what the screen model asks of the renderer ------------------------------------------

struct PixelFormatRecord;

// Sets the device up on the DirectDraw object and its back surface; 0, or negative on
// failure. Until the renderer lands it makes no device and answers 0, so the engine runs
// in DirectDraw mode without 3D.
int InitializeDirect3D();
// Releases the device and its textures; 0.
int TerminateDirect3D();
// Gets the Direct3D object of the DirectDraw object again (after a rebuild); 0.
int AcquireDirect3DObject();
// Ends the open scene of the current device, if any; 0.
int EndSceneCurrent();
// Submits the pending batched vertices of the current device; 0.
int FlushCurrentVertexBatch();
// The depth-buffer pixel format of that bit depth (16: DDPF_ZBUFFER, 16 bits, 0xFFFF).
const PixelFormatRecord* DepthBufferPixelFormat(int32_t bits);

// ---- texture formats ---------------------------------------------------------------------
// Null while no device has enumerated its formats.

struct ColorFormat;

// The colour format of the textures for such graphs.
const ColorFormat* TextureFormatFor(int32_t alpha, int32_t alphaTest, int32_t is32Bit,
                                    int32_t drawTarget);
// The pixel format and the colour format of texture format index 0-8.
const PixelFormatRecord* TextureFormatPixelFormat(int32_t index);
const ColorFormat* TextureFormatColorFormat(int32_t index);

// ---- the table the window procedure calls through ---------------------------------------

// RestoreAllTextures and ReleaseDirect3DObject as the window procedure reaches them, and
// InitializeDirect3D as the screen mode change does:
// through this table, so that a test can watch a call or script its result. It holds the
// functions above unless a test changed it.
struct D3dServices {
  int (*restoreAllTextures)();
  int (*releaseDirect3DObject)();
  // The screen mode change starts the device through here.
  int (*initializeDirect3D)();
};
extern D3dServices g_D3dServices;
// The table as it starts: the functions above.
extern const D3dServices kD3dServices;
