// What the rest of the engine asks of the Direct3D renderer: the window procedure and the
// screen mode change through the table at the end; the draw state, the screen model, the
// graph handles, the draw entry points and fonts by direct call.
#pragma once

#include "engine/base/servicetable.h"
#include "engine/pixel/colorformat.h"
#include "platform/d3d/d3d.h"

#include <cstdint>

// The functions of the table at the end: the textures' restore, the object's release and
// the device's start.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE

// ---- what the draw state asks of the renderer ------------------------------------------
// Every one does nothing (or reports failure) while no Direct3D device exists.

struct GraphRecord;
struct Matrix4;
struct Rect;

// 1 when 3D drawing is available: a Direct3D device was made on the display objects.
int Is3DAvailable();
// The current Direct3D device, or 0 (no checks).
PlatD3DDevice CurrentDevice3D();
// Recomputes the vertex colour from the blend parameter and the brightness.
int UpdateDrawVertexColor();
// Point (0) or linear (1) texture filtering; 0.
int ApplyTextureStage3D(int32_t filterMode);
// The device's viewport from a rectangle of the draw target; negative on failure.
int SetViewportFromRect(const Rect* rect);
// Makes the graph's first tile the device's blend texture (null: none), with the two
// parameters (-1 keeps one when clearing); 0, or -1 when the graph has no valid tile.
int BindGraphTexture(GraphRecord* graph, int32_t param1, int32_t param2);
// The device's world matrix of index 0 to 3 (a higher index sets nothing), its view and
// projection matrices; each sends the batch first. -1 while Direct3D is off.
int SetWorldTransform3D(const Matrix4* matrix, int32_t index);
int SetViewTransform3D(const Matrix4* matrix);
int SetProjectionTransform3D(const Matrix4* matrix);
// Makes the surface the device's render target (0: the surface it was made on); 0.
int SetDeviceRenderTarget(PlatDDSurface surface, int32_t device);
// 0, or -1 with a log line when the device refuses it or no render target was set.
int SetDeviceViewport(const PlatD3DViewport* viewport, int32_t device);
// The render target follows the draw target (-4 front, -2 back, else a graph); 0 or -1,
// and 0 while Direct3D is off.
int SwitchRenderTarget3D(int32_t target);
// Clears a texture draw target with the background colour and its depth buffer; 0 or -1.
int ClearDrawTargetTexture();

// ---- what the screen model asks of the renderer ------------------------------------------
// InitializeDirect3D, the device's start, is in the table's list.

// Releases the device and its textures; 0, or -1 when Direct3D was not on.
int TerminateDirect3D();
// Gets the Direct3D object of the DirectDraw object again (after a rebuild) and makes the
// device again with its cached states; 0, or -1 when the object cannot be had.
int AcquireDirect3DObject();
// Ends the open scene of the current device, if any; 0, or -1 while Direct3D is off.
int EndSceneCurrent();
// Submits the pending batched vertices of the current device; 0, or -1 while Direct3D
// is off.
int FlushCurrentVertexBatch();
// The Z-buffer format the set-up enumerated; the plain 16-bit one (0xFFFF) before a
// set-up or when none was found.
const PixelFormatRecord* DepthBufferPixelFormat(int32_t bits);

// ---- what the graph handles ask of the renderer -------------------------------------------
// A texture graph draws from texture tiles that the renderer keeps for it.

struct GraphImage;

// Deletes every texture record: -1 while Direct3D is not in use (the graph manager's test
// for 3D drawing).
int RemoveAllTexturesIfActive();
// Cuts a new texture graph into tiles, each with a texture of its own; 0, or -1 (with a
// log line for more than 64 tiles) leaving no tile behind.
int SplitGraphIntoTextures(GraphRecord* graph);
// Gives a sub-graph (x, y, width, height of the parent, which it must lie inside) one
// record per parent tile it covers, pointing into that tile's texture; 0, or -1 leaving
// none behind.
int DeriveSubGraphTextures(GraphRecord* graph, int32_t x, int32_t y, int32_t width,
                           int32_t height, GraphRecord* parent);
// Deletes a graph's texture records (the list is left as it is); 0, or -1 while Direct3D
// is off.
int RemoveGraphTextures(GraphRecord* graph);
// Restores the lost texture surfaces of one graph: 0 when none was lost, -1 when one was
// (it must be filled again) or the list holds a handle that is not valid.
int RestoreGraphTextures(GraphRecord* graph);
// Writes the picture (and its alpha picture, or null) into every tile of the graph from
// the offset (sourceX, sourceY) of the picture; 0 or -1.
int UploadImageToGraphTextures(int32_t sourceX, int32_t sourceY, GraphRecord* graph,
                               const GraphImage* image, const GraphImage* alpha);
// Writes the rectangle of the picture to (x, y) of the graph, into the tiles it covers;
// 0 or -1.
int UploadImageRectToGraphTextures(const Rect* sourceRect, int32_t x, int32_t y,
                                   GraphRecord* graph, const GraphImage* image,
                                   const GraphImage* alpha);
// Colour-fills every tile of the graph; 0 or -1. While the device cannot draw to its
// target nothing is painted and the result is 0.
int FillGraphTextures(GraphRecord* graph, int32_t red, int32_t green, int32_t blue,
                      int32_t alpha);
// Copies the screen's rectangle (x1, y1)-(x2, y2) (right and bottom exclusive) into a
// texture graph, by the first of the read-back ways that works (remembered for the next
// time); targetCoordinates 0 reads the desktop while a window draws on its front screen.
// 0, also without doing anything while the device cannot draw to its target; -1 when
// Direct3D is off, the graph has no tile, or no way worked.
int ReadBackScreenDispatch(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                           int32_t targetCoordinates);

// ---- what the draw entry points ask of the renderer ---------------------------------------
// A texture graph, or a box while 3D drawing is active, is drawn by the device: its
// triangles join the current device's batch. Each is 0 or -1 (-1 while Direct3D is off);
// while the device cannot draw to its target the graph draws give 0 and the boxes go to
// the 2D cores.

// The graph unscaled with its top-left corner at (x, y) (fx, fy: the same as floats, for
// the vertices). transparent: the graph's own transparency counts; keepAlphaTest: an
// alpha-test graph stays one under linear filtering.
int DrawGraphAt3D(int32_t x, int32_t y, float fx, float fy, GraphRecord* graph, int32_t transparent,
                  int32_t keepAlphaTest);
// The graph stretched to (x1, y1)-(x2, y2) (right and bottom exclusive; the floats the
// same for the vertices); x1 > x2 mirrors it, y1 > y2 turns it upside down. -1 also for
// an empty rectangle.
int DrawGraphStretched3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1, float fx2,
                         float fy2, GraphRecord* graph, int32_t transparent, int32_t keepAlphaTest);
// The graph's corners pinned to top-left (x1, y1), top-right (x2, y2), bottom-left
// (x3, y3) and bottom-right (x4, y4).
int DrawGraphQuad3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    GraphRecord* graph, int32_t transparent);
// The same on integer corners, the way a graph is drawn while a blend graph is set: the
// two triangles either side of the rising diagonal map the graph affinely.
int DrawGraphQuadTiles3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                         int32_t y4, GraphRecord* graph, int32_t transparent);
// A box in a packed screen colour, filled or outlined, in the current blend state; the
// corners in any order (right and bottom exclusive).
int FillBox3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
int DrawBoxOutline3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// The string in a font whose glyph cache lives in a texture, its glyphs batched on the
// device; 0, or -1 while the device cannot draw to its target. A font whose cache is in
// memory goes to DrawTextWithFontCore, and that result is returned.
int DrawTextWithFontByCache(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                            uint32_t edgeColour, int32_t vertical);

// ---- texture formats ---------------------------------------------------------------------
// Null while no device has enumerated its formats.

struct ColorFormat;

// The colour format of the texture format for graphs with those flags (any depth flag
// counts as 32 bits).
const ColorFormat* TextureFormatFor(int32_t alphaChannel, int32_t alphaTest, int32_t is32Bit, int32_t drawTarget);
// Entry n (0 to 8) of the texture formats; null past the table and while the entry is
// empty (no device has enumerated its formats, or it offered none of that kind).
const PixelFormatRecord* TextureFormatPixelFormat(int32_t n);
const ColorFormat* TextureFormatColorFormat(int32_t n);

// ---- the table the window procedure calls through ---------------------------------------

// The listed functions as the window procedure and the screen mode change reach them:
// through this table, so that a test can watch a call or script its result. It holds the
// functions of the list unless a test changed it.
struct D3dServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE
};
extern D3dServices g_D3dServices;
// The table as it starts: the functions of the list.
extern const D3dServices kD3dServices;
