// The draw entry points: graphs at a point, stretched, on four corners, mirrored and in
// part, and boxes. Each returns 0 without drawing while the draw area is empty, checks the
// graph (-1 without a log line) and the blend graph, waits while the window is inactive,
// serves a movie-fed graph, brackets the draw with the mask while masked drawing is on,
// keeps a software-rendered front screen in step with the window, and routes the draw: a
// texture graph (or a box while 3D drawing is active) to the Direct3D renderer, the rest
// to the draw cores (cores.h). DrawGraphAtCore and DrawGraphStretchedCore are declared in
// services.h, DrawColorBoxCore in cores.h.
#pragma once

#include "engine/base/rect.h"

#include <cstdint>

struct GraphRecord;

// The graph on four corners given as top-left, top-right, bottom-right, bottom-left.
int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  int32_t graph, int32_t transparent);
// The graph mirrored left to right with its top-left at (x, y).
int DrawGraphMirrored(int32_t x, int32_t y, int32_t graph, int32_t transparent);
// The rectangle (srcX, srcY, width, height) of the graph at (x, y); turn draws the graph
// mirrored, so that the rectangle shows mirrored in place. The draw area is as it was
// afterwards.
int DrawGraphSubRect(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                     int32_t graph, int32_t transparent, int32_t turn);
// The rectangle (srcX, srcY, srcWidth, srcHeight) of the graph stretched to (x1, y1)-(x2,
// y2), mirrored on an axis whose corners come in reverse; -1 also for a source of no width
// or height.
int DrawGraphSubRectStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t srcX, int32_t srcY,
                              int32_t srcWidth, int32_t srcHeight, int32_t graph, int32_t transparent);
// A box (right and bottom exclusive) filled or outlined in a packed screen colour.
int DrawFilledBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
int DrawBoxOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);

// 0 when the blend graph is live and at least as wide and as high as the graph; else -1.
int CheckBlendGraphFits(const GraphRecord* graph);
// The frame update of the graph's movie; 0 for a graph no movie feeds.
int UpdateMovieGraphFrame(const GraphRecord* graph, int32_t waitFlag);
// The graph's movie shown straight on the window at (x, y), magnified scale times (show 1)
// or hidden (0); 0 for a graph no movie feeds.
int DrawMovieGraphDirect(const GraphRecord* graph, int32_t x, int32_t y, int32_t scale, int32_t show);
// The draw area with both its copies and what was asked for, as a narrowed draw finds it.
struct SavedArea {
  Rect area;
  float areaF[4];
  Rect requested;
  int32_t empty;
};
// Narrows the draw area to the rectangle (within the area); what to put back.
SavedArea NarrowArea(int64_t left, int64_t top, int64_t right, int64_t bottom);
void PutAreaBack(const SavedArea& saved);
// Blend mode 3 on the Direct3D path, around a draw over the rectangle: the destination is
// inverted, the draw added (Begin), and the destination inverted again (End), which leaves
// destination minus source. The result of the blend-state change that closes each.
int BeginSubtractBlendPass(const Rect* rect);
int EndSubtractBlendPass(const Rect* rect);
