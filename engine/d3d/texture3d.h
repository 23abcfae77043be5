// The 3D texture records: one tile of a texture-backed graph in one texture surface,
// behind handles of type 0x30000000 in the table of the Direct3D state block; the cutting
// of graphs into tiles, the uploads of pictures into them and the read-back of the screen.
// What graphics and fonts call of these goes through engine/graphics/renderer3d.h.
#pragma once

#include "engine/base/rect.h"
#include "engine/graphics/surfacedata.h"
#include "platform/d3d/d3d.h"

#include <cstdint>

struct GraphImage;
struct GraphRecord;

struct Surface3DData {
  uint32_t check;
  int32_t* deletionWatcher;  // set to 1 when the record goes
  uint16_t tileX, tileY;     // the tile's corner in its graph
  uint16_t texelX, texelY;   // where its pixels start in the texture (from its corner)
  uint16_t usedWidth, usedHeight;
  PlatD3DTexturedVertex vertices[4];  // top-left, top-right, bottom-left, bottom-right
  uint8_t cornerSide[4];     // 1: the corner lies on or above the graph's rising diagonal
  int32_t ownerGraph;
  int32_t surface;  // the SurfaceData handle of the texture, shared with derived records
};

// The most tiles a graph is cut into (its list of handles holds as many).
constexpr int32_t GRAPH_TILE_LIMIT = 64;

// ---- records -------------------------------------------------------------------------------

// A new record for the tile at (tileX, tileY) of ownerGraph, showing usedWidth x
// usedHeight. With a parent it shares the parent's texture and its texels start at
// (texelX, texelY) inside the parent's area; without one a texture of textureWidth x
// textureHeight is made from the creation flags. The handle, or -1 (logged but for a
// texture that could not be made).
int32_t AddSurface3DData(int32_t textureWidth, int32_t textureHeight, int32_t tileX, int32_t tileY,
                         int32_t usedWidth, int32_t usedHeight, int32_t ownerGraph, const Surface3DData* parent,
                         int32_t texelX, int32_t texelY, const SurfaceCreateFlags* flags);
// The record of a valid handle, or null (whether Direct3D is on or not).
Surface3DData* LookupTexture3D(int32_t handle);
// Removes the record, and its texture surface when no other record shares it; 0, or -1
// for a handle that is not valid.
int RemoveTexture3D(int32_t handle);
// Removes every record; 0.
int RemoveAllTextures();
// Ends a direct write into the record's texture; UnlockSurfaceData's result, or -1 for a
// handle that is not valid.
int UnlockTexture3D(int32_t handle, const Rect* rect);
// Calls visit with the surface handle of every record, slot by slot up to the slots in
// use (read again after each slot).
void ForEachTextureSurface(void (*visit)(int32_t surface));
// Sets the record's cornerSide flags against the diagonal of a graph of width x height.
void SetCornerSides(Surface3DData* record, int32_t width, int32_t height);
// A texture in system memory of the texture's size and format, for copies that cannot
// go into the texture directly; the platform's result.
int32_t CreateWorkTexture(const SurfaceData* texture, PlatDDSurface* out);

// ---- tiling --------------------------------------------------------------------------------

// The tile sizes along a length: the count, with sizes[0 .. count - 1] written. A count
// above GRAPH_TILE_LIMIT is reported without writing past sizes[GRAPH_TILE_LIMIT - 1].
// singleTextureFlag lets a tile reach the device's largest size.
int32_t ChooseTextureSize(int32_t length, int32_t* sizes, int32_t singleTextureFlag);

// ---- uploads -------------------------------------------------------------------------------

// Writes the picture's source rectangle into the tile at (x, y) of the tile's area,
// converting to the texture's format (with alpha from alphaImage when given, else from
// the colour key when the texture has alpha and the picture none). What lies outside the
// picture, the alpha picture or the tile is not touched. 0, or -1 when Direct3D is off or
// the handle is not valid.
int UploadImageToTextures(int32_t handle, const Rect* sourceRect, int32_t x, int32_t y, const GraphImage* image,
                          const GraphImage* alphaImage);

// ---- reading the screen back ---------------------------------------------------------------

// The five ways to copy the screen's rectangle (x1, y1)-(x2, y2) into a texture graph's
// tiles, each 0 or -1 with its own log lines: 1 BltFast, 2 GDI into the texture, 3 GDI
// into a work texture then a converting copy, 4 GDI into a work texture then Load, 5 the
// work surface then a converting copy. targetCoordinates 0 reads the desktop while a
// window draws on its front screen.
int G_D3D_GetDrawScreenGraphFunction1(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates);
int G_D3D_GetDrawScreenGraphFunction2(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates);
int G_D3D_GetDrawScreenGraphFunction3(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates);
int G_D3D_GetDrawScreenGraphFunction4(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates);
int G_D3D_GetDrawScreenGraphFunction5(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates);
