// 2D surface handles: the rectangular pieces of a graph, each a rectangle of a surface
// record (surfacedata.h) at a position inside the graph. A plain graph has one piece; a
// sub-graph's piece shares its parent's surface record at an offset. The operations over
// a graph's list walk it in order and stop with -1 at the first handle that is not valid.
#pragma once

#include "engine/base/handle.h"
#include "engine/base/rect.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/colorformat.h"
#include "platform/gdi/gdi.h"

#include <cstdint>

struct GraphRecord;

enum : int32_t { SURFACE2D_SLOTS = 32768 };

// Where the pixels written into a piece come from.
enum : int32_t {
  SURFACE2D_SOURCE_IMAGE = 0,   // GraphImage records
  SURFACE2D_SOURCE_BITMAP = 1,  // bitmaps of the GDI-like layer, with the format given
};

struct Surface2DRecord {
  uint32_t check;            // first, as the handle table wants
  int32_t* deletedFlag;      // registered by WatchSurface2DDeletion, set to 1 on deletion
  uint16_t x, y;             // the piece's place inside its graph
  uint16_t sourceX, sourceY; // its top-left inside the surface record's surface
  uint16_t width, height;
  int32_t owner;             // the graph's handle
  int32_t surfaceData;       // the surface record holding the pixels
};

struct Surface2DTable {
  void* slots[SURFACE2D_SLOTS];
  HandleTable table;
};
extern Surface2DTable g_Surface2DTable;

// A piece of width x height (1 to 65535 each) at (x, y) of the owner graph: over a new
// surface record with the draw state's transparent colour and the flags, or, with shared,
// over shared's surface record at (sourceX, sourceY). The handle, or -1 with a log line.
int32_t AddSurface2D(int32_t width, int32_t height, int32_t x, int32_t y, int32_t owner,
                     const Surface2DRecord* shared, int32_t sourceX, int32_t sourceY,
                     const SurfaceCreateFlags* flags);
// The record of a valid handle, or null.
Surface2DRecord* GetSurface2D(int32_t handle);
// Registers the flag (null takes it off) and sets it to 0; 0, or -1 for a bad handle.
int WatchSurface2DDeletion(int32_t handle, int32_t* flag);
// Deletes the piece (its surface record with the last reference) and sets the watched
// flag to 1; 0, also for a bad handle.
int DeleteSurface2D(int32_t handle);
// Every piece; 0, or -1 without a DirectDraw object outside the no-DirectDraw mode. The
// checked form is the graph manager's start's.
int DeleteAllSurfaces2D();
int DeleteAllSurfaces2DChecked();
// Release and make again the surface objects under every piece (the records stay). 0.
int ReleaseAllSurface2DObjects();
int RecreateAllSurface2DObjects();

// The graph's list becomes one piece of the graph's size; 0 or -1.
int CreateGraphSurface2D(GraphRecord* graph);
// The graph's list becomes one piece sharing the parent's first piece's record at
// (sourceX, sourceY); 0 or -1.
int CreateSharedSurface2D(GraphRecord* graph, int32_t sourceX, int32_t sourceY, int32_t width,
                          int32_t height, GraphRecord* parent);

// Writes the source rectangle of the picture to (x, y) of the graph, into every piece it
// covers; 0 or -1. The picture is image (with alpha, or null) for SURFACE2D_SOURCE_IMAGE,
// or the bitmaps (alphaBitmap may be 0) of sourceFormat for SURFACE2D_SOURCE_BITMAP.
int FillGraphSurfacesFromImage(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                               PlatGdiObj alphaBitmap, const Rect* sourceRect, int32_t x,
                               int32_t y, GraphRecord* graph, int32_t sourceKind,
                               const GraphImage* image, const GraphImage* alpha);
// Writes the source rectangle to (x, y) of the piece's own area (clipped to the piece and
// to the picture); 0 or -1.
int WriteImageToSurface2D(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                          PlatGdiObj alphaBitmap, const Rect* sourceRect, int32_t x, int32_t y,
                          int32_t handle, int32_t sourceKind, const GraphImage* image,
                          const GraphImage* alpha);
// Writes a rectangle of the piece's size at (x, y) of the picture into the whole piece.
int WriteImageToSurface2DAt(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                            PlatGdiObj alphaBitmap, int32_t x, int32_t y, int32_t handle,
                            int32_t sourceKind, const GraphImage* image, const GraphImage* alpha);

// The OR of RestoreSurfaceIfLost over the graph's pieces (-1: some need refilling).
int RestoreGraphSurfaces2D(GraphRecord* graph);
// RestoreAllSurfaces2D (services.h): the screen surfaces, then every piece.
// Fills every piece of the graph with the colour; 0 or -1.
int PaintGraphSurfaces2D(GraphRecord* graph, int32_t red, int32_t green, int32_t blue,
                         int32_t alpha);
// The blend graph's curve from the two values; 0.
int SetBlendGraphCurve(int32_t ignored, int32_t first, int32_t second);
