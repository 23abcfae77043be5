// Graph handles: the graph table, making and freeing graphs, the settings that shape new
// graphs, building graphs from pictures in memory (whole, or cut into cells), the file
// each graph came from, and restoring graphs whose surfaces were lost. The record itself
// is graphrecord.h; a graph draws from 2D surfaces (surface2d.h) or from the Direct3D
// renderer's textures, fixed when it is made.
//
// Declared with the layers that call them: the manager's start and end and the graph
// memory setting in screen.h; the restore handler, the create mode, blank graphs, graphs
// from a picture, freeing, the lookups, the size query and the restore of every graph in
// services.h; freeing every graph and the split load's public form in cores.h.
#pragma once

#include "engine/base/handle.h"
#include "engine/base/rect.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/drawstate.h"

#include <cstdint>

enum : int32_t { GRAPH_SLOTS = 32768 };

struct GraphTable {
  void* slots[GRAPH_SLOTS];
  HandleTable table;
  int32_t available3D;  // the Direct3D renderer answered the graph manager's start
};
extern GraphTable g_GraphTable;

// ---- the settings that shape new graphs ---------------------------------------------------
// The fonts save and restore them around making their cache pages. Each setter returns 0.

// 0: the screen's depth (32 with alpha for texture graphs); else this depth.
int SetNewGraphBitDepth(int32_t depth);
int GetNewGraphBitDepth();
// Whether new graphs take the transparent colour as a colour key (1 by default).
int SetNewGraphColorKey(int32_t flag);
int GetNewGraphColorKey();
// Whether blank graphs get an alpha channel (0 by default).
int SetNewGraphAlpha(int32_t flag);
int GetNewGraphAlpha();

// ---- records --------------------------------------------------------------------------------

// A record in the table with its flags set by the settings, no surfaces yet; the handle.
// A full table and a failed allocation end the program.
int32_t AllocGraphRecord(int32_t width, int32_t height, int32_t want3D, GraphRecord** out,
                         int32_t alpha, int32_t palette);
// A record with its textures or its one 2D surface; the handle, or -1 with a log line (no
// record is left behind).
int32_t MakeGraphWithSurfaces(int32_t width, int32_t height, int32_t want3D, int32_t alpha,
                              int32_t palette);
// The flag becomes 0 now and 1 when the graph is freed; 0, or -1 for a bad handle.
int WatchGraphDeletion(int32_t graph, int32_t* flag);
// Records where the graph's pixels come from: with a name, the name and the current
// directory; without, the other graph's name and directory (the current one when that is
// empty), or "" and the current directory when other is -1. 0, or -1 for a bad handle or a
// name too long for the record (which then keeps "").
int SetGraphSourcePath(int32_t graph, const char* name, int32_t other);

// The current directory into a buffer of PATH_MAX bytes, the size of a record's directory
// ("" when it cannot be read).
void CurrentDirectoryInto(char* out);

// ---- graphs from pictures ---------------------------------------------------------------

// A graph sized for the picture (alpha must have its size): alpha when either carries
// it, a palette for a 1-byte picture without alpha. The handle, or -1.
int32_t MakeGraphForImage(const GraphImage* image, const GraphImage* alpha, int32_t want3D);
// A graph holding the picture, mirrored left to right for turn and mirror both 1 (the
// pictures are mirrored back before it returns). The handle, or -1.
int32_t BuildGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int32_t want3D,
                                 int32_t turn, int32_t mirror);
// Records the name (SetGraphSourcePath with -1), the load mirror flag and the offset, then
// writes the part of the picture at that offset into the graph; 0 or -1.
int ReloadGraphImage(const char* name, const GraphImage* image, const GraphImage* alpha,
                     int32_t sourceX, int32_t sourceY, int32_t graph, int32_t loadMirror);
// Writes the rectangle of the picture to (x, y) of the graph after recording the name ("" for
// null) and the load mirror flag; 0 or -1.
int FillGraphFromImage(const char* name, const GraphImage* image, const GraphImage* alpha,
                       const Rect* rect, int32_t x, int32_t y, int32_t graph, int32_t loadMirror);

// ---- cells ----------------------------------------------------------------------------------

// A graph over the rectangle of the parent, sharing its pixels; clamped to the parent's
// edges. -1 for a bad parent, an offset outside it, a size of 0 or less, or a failure.
int32_t CreateSubGraph(int32_t x, int32_t y, int32_t width, int32_t height, int32_t parent);
// Cuts the picture into xCount x yCount cells, row by row (right to left for turn), up to
// count handles; 0, or -1 with no handle left made.
int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int32_t count,
                                 int32_t xCount, int32_t yCount, int32_t cellWidth,
                                 int32_t cellHeight, int32_t* handles, int32_t want3D,
                                 int32_t turn, int32_t mirror);
// Loads the file with its alpha companion and cuts it into cells, each remembering the
// file for restoring; 0 or -1.
int LoadSplitGraphFromFile(const char* fileName, int32_t count, int32_t xCount, int32_t yCount,
                           int32_t cellWidth, int32_t cellHeight, int32_t* handles,
                           int32_t want3D, int32_t turn);

// ---- colour and loss --------------------------------------------------------------------

// Fills the whole graph with the colour; the fill's result, or -1 for a bad handle.
int PaintGraphColor(int32_t graph, int32_t red, int32_t green, int32_t blue, int32_t alpha);
// Flags every graph lost, calls the restore handler and refreshes the font handles; 0.
int FlagAllGraphsLost();
// Restores the lost surfaces of one graph; 0 or -1.
int RestoreGraphSurfaces(int32_t graph);
// The default restore handler: reloads every lost graph made from a file, one load for
// the consecutive cells of a sheet, each from its own directory.
void RestoreFileGraphs();
