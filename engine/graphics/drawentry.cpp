// The draw entry points: the checks, the movie, the mask bracket and the front screen
// around each draw, and the route to the Direct3D renderer or to the draw cores.
#include "engine/graphics/drawentry.h"

#include "engine/base/strutil.h"
#include "engine/graphics/clients.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/maskscreen.h"
#include "engine/graphics/present.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/state/hooks.h"

#include <algorithm>
#include <climits>

namespace {

bool SoftwareRendered() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

Rect RectOf(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return {Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)};
}

// The graph to draw and a blend graph it fits, or null.
GraphRecord* CheckedGraph(int32_t graph) {
  GraphRecord* g = LookupGraph(graph);
  if (!g || (g_DrawState.blendGraph != -1 && CheckBlendGraphFits(g) != 0)) return nullptr;
  return g;
}

// A movie-fed graph is brought to its movie's frame first; true when the movie shows itself
// on the window instead (the draw then counts as -1).
bool MovieShowsItself(const GraphRecord* graph, int32_t x, int32_t y, int32_t scale, bool updateOnly) {
  const int overlay = graph->movie != -1 ? g_GraphicsClients.movieShowsOnOverlay(graph->movie) : -1;
  if (overlay < 0) return false;
  UpdateMovieGraphFrame(graph, 0);
  if (updateOnly || overlay != 1) return false;
  DrawMovieGraphDirect(graph, x, y, scale, 1);
  return true;
}

// The draw over rect with what goes around it: the mask bracket while masked drawing is on,
// and on a software-rendered front screen the front image read back from the window first
// (after a present) and the rectangle shown in the window afterwards.
template <typename Draw>
int AroundDraw(const Rect& rect, Draw draw) {
  const bool masked = IsMaskedDrawOn() != 0;
  if (masked) BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
  const bool front = SoftwareRendered() && g_DrawState.drawTarget == DRAW_SCREEN_FRONT;
  if (front) ReloadFrontImageFromScreen();
  const int result = draw();
  if (masked) EndMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
  if (front) UpdateFrontRect(&rect);
  return result;
}

// A draw on the Direct3D device; blend mode 3 goes between the subtract passes.
template <typename Draw>
int On3DDevice(const Rect& rect, Draw draw) {
  if (g_DrawState.blendMode != BLEND_SUBTRACT) return draw();
  BeginSubtractBlendPass(&rect);
  const int result = draw();
  EndSubtractBlendPass(&rect);
  return result;
}

int SubtractPass(const Rect* rect, int32_t closingMode) {
  const DrawState& d = g_DrawState;
  const uint32_t white = PackScreenColorCore(255, 255, 255);
  const uint32_t brightness = BrightnessWord(d);
  const int32_t param = d.blendParam;
  SetBrightness(255, 255, 255);
  SetBlendState(BLEND_SUBTRACT, 255);
  // In mode 3 the device's blend factors turn a white box into the destination inverted.
  if (rect) g_Renderer3D.fillBox3D(rect->left, rect->top, rect->right, rect->bottom, white);
  SetBrightnessPacked(brightness);
  return SetBlendState(closingMode, param);
}

int DrawBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, bool fill) {
  if (g_DrawState.areaEmpty) return 0;
  const bool device = IsHardware3DActive() != 0;
  g_SystemHooks.waitWhileInactive();
  // Corners in order: a box given right to left is the same box, outline included.
  Rect box{x1, y1, x2, y2};
  NormalizeRect(&box);
  return AroundDraw(box, [&] {
    if (!device)
      return fill ? DrawFilledBoxCore(box.left, box.top, box.right, box.bottom, colour)
                  : DrawBoxOutlineCore(box.left, box.top, box.right, box.bottom, colour);
    return On3DDevice(box, [&] {
      return fill ? g_Renderer3D.fillBox3D(box.left, box.top, box.right, box.bottom, colour)
                  : g_Renderer3D.drawBoxOutline3D(box.left, box.top, box.right, box.bottom, colour);
    });
  });
}

}  // namespace

namespace {

SavedArea NarrowAreaBy(int (*set)(int32_t, int32_t, int32_t, int32_t), int64_t left, int64_t top, int64_t right,
                       int64_t bottom) {
  const DrawState& d = g_DrawState;
  SavedArea saved{d.drawArea, {d.drawAreaF[0], d.drawAreaF[1], d.drawAreaF[2], d.drawAreaF[3]}, d.requestedArea,
                  d.areaEmpty};
  Rect narrow = RectOf(left, top, right, bottom);
  ClipRect(&narrow, &saved.area);
  set(narrow.left, narrow.top, narrow.right, narrow.bottom);
  return saved;
}

int SetAreaFieldsOnly(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  SetClipAreaFields(x1, y1, x2, y2);
  return 0;
}

// Whether the graph's draw at (x, y) goes to the device as quads cut to the draw area at
// their vertices, all of it: then a narrowed area needs no viewport of its own (the
// device's draw makes sure its viewport covers what it adds), and one narrowed draw after
// another (the glyphs of a line) stays in one batch. Not under the mask bracket or for a
// movie's graph, whose roads may draw otherwise.
bool CutAtVertices(const GraphRecord* g) {
  return g && g->flags.texture && g->movie == -1 && IsHardware3DActive() && !IsMaskedDrawOn() &&
         !(SoftwareRendered() && g_DrawState.drawTarget == DRAW_SCREEN_FRONT);
}

}  // namespace

SavedArea NarrowArea(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return NarrowAreaBy(SetClipArea, left, top, right, bottom);
}

void PutAreaBack(const SavedArea& saved) {
  DrawState& d = g_DrawState;
  SetClipArea(saved.area.left, saved.area.top, saved.area.right, saved.area.bottom);
  std::copy(saved.areaF, saved.areaF + 4, d.drawAreaF);
  d.requestedArea = saved.requested;
  d.areaEmpty = saved.empty;
}

// ---- graphs ------------------------------------------------------------------------------

int DrawGraphAtCore(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  if (g_DrawState.areaEmpty) return 0;
  GraphRecord* g = CheckedGraph(graph);
  if (!g) return -1;
  g_SystemHooks.waitWhileInactive();
  const Rect rect = RectOf(x, y, int64_t(x) + g->width, int64_t(y) + g->height);
  if (MovieShowsItself(g, x, y, 1, false)) return -1;
  return AroundDraw(rect, [&] {
    if (!g->flags.texture) return DrawGraphSurfaceCore(x, y, g, transparent);
    return On3DDevice(rect, [&] { return g_Renderer3D.drawGraphAt3D(x, y, float(x), float(y), g, transparent, 1); });
  });
}

int DrawGraphStretchedCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph, int32_t transparent) {
  if (g_DrawState.areaEmpty) return 0;
  GraphRecord* g = CheckedGraph(graph);
  if (!g) return -1;
  g_SystemHooks.waitWhileInactive();
  Rect rect{x1, y1, x2, y2};
  NormalizeRect(&rect);
  if (MovieShowsItself(g, x1, y1, Clamp32((int64_t(x2) - x1) / g->width), false)) return -1;
  return AroundDraw(rect, [&] {
    if (!g->flags.texture) return DrawStretchedCore(x1, y1, x2, y2, g, transparent);
    return On3DDevice(rect, [&] {
      return g_Renderer3D.drawGraphStretched3D(x1, y1, x2, y2, float(x1), float(y1), float(x2), float(y2), g, transparent, 1);
    });
  });
}

int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int32_t graph,
                  int32_t transparent) {
  if (g_DrawState.areaEmpty) return 0;
  GraphRecord* g = CheckedGraph(graph);
  if (!g) return -1;
  int64_t minX = 16777215, minY = 16777215, maxX = 0, maxY = 0;
  for (float x : {x1, x2, x3, x4}) minX = std::min<int64_t>(minX, FloatToInt(x)), maxX = std::max<int64_t>(maxX, FloatToInt(x));
  for (float y : {y1, y2, y3, y4}) minY = std::min<int64_t>(minY, FloatToInt(y)), maxY = std::max<int64_t>(maxY, FloatToInt(y));
  // The triangles fill the column of their rightmost corner too.
  const Rect rect = RectOf(minX, minY, maxX + 1, maxY);
  g_SystemHooks.waitWhileInactive();
  MovieShowsItself(g, 0, 0, 1, true);
  // Top-left, top-right, bottom-left, bottom-right for both roads.
  return AroundDraw(rect, [&] {
    if (!g->flags.texture) return DrawQuadCoreF(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent);
    return On3DDevice(rect, [&] { return g_Renderer3D.drawGraphQuad3D(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent); });
  });
}

int DrawGraphMirrored(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  const GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  return DrawGraphStretchedCore(Clamp32(int64_t(x) + g->width), y, x, Clamp32(int64_t(y) + g->height), graph,
                                transparent);
}

int DrawGraphSubRect(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t graph,
                     int32_t transparent, int32_t turn) {
  const GraphRecord* g = LookupGraph(graph);
  if (turn && !g) return -1;
  const int64_t right = int64_t(x) + width, bottom = int64_t(y) + height;
  const SavedArea saved = !turn && CutAtVertices(g) ? NarrowAreaBy(SetAreaFieldsOnly, x, y, right, bottom)
                                                    : NarrowArea(x, y, right, bottom);
  const int result =
      turn ? DrawGraphMirrored(Clamp32(int64_t(x) - g->width + srcX + width), Clamp32(int64_t(y) - srcY), graph,
                               transparent)
           : DrawGraphAtCore(Clamp32(int64_t(x) - srcX), Clamp32(int64_t(y) - srcY), graph, transparent);
  PutAreaBack(saved);
  return result;
}

int DrawGraphSubRectStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t srcX, int32_t srcY,
                              int32_t srcWidth, int32_t srcHeight, int32_t graph, int32_t transparent) {
  const GraphRecord* g = LookupGraph(graph);
  // A source of no width or height has no scale.
  if (!g || srcWidth == 0 || srcHeight == 0) return -1;
  const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
  const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  const SavedArea saved = NarrowArea(left, top, right, bottom);
  // Where the whole graph goes so that the source rectangle fills the destination.
  auto place = [](bool swapped, int64_t low, int64_t high, int32_t src, int32_t size, double scale, int64_t* a,
                  int64_t* b) {
    const int64_t before = DoubleToInt(double(src) * scale), after = DoubleToInt(double(size - int64_t(src)) * scale);
    *a = swapped ? high + before : low - before;
    *b = swapped ? high - after : low + after;
  };
  int64_t nx1, nx2, ny1, ny2;
  place(x1 > x2, left, right, srcX, g->width, double(right - left) / srcWidth, &nx1, &nx2);
  place(y1 > y2, top, bottom, srcY, g->height, double(bottom - top) / srcHeight, &ny1, &ny2);
  const int result = DrawGraphStretchedCore(Clamp32(nx1), Clamp32(ny1), Clamp32(nx2), Clamp32(ny2), graph, transparent);
  PutAreaBack(saved);
  return result;
}

// ---- boxes -------------------------------------------------------------------------------

int DrawFilledBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  return DrawBox(x1, y1, x2, y2, colour, true);
}

int DrawBoxOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  return DrawBox(x1, y1, x2, y2, colour, false);
}

int DrawColorBoxCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill) {
  return fill ? DrawFilledBox(x1, y1, x2, y2, color) : DrawBoxOutline(x1, y1, x2, y2, color);
}

// ---- what goes around the draws ----------------------------------------------------------

int CheckBlendGraphFits(const GraphRecord* graph) {
  const GraphRecord* blend = LookupGraph(g_DrawState.blendGraph);
  return graph && blend && blend->width >= graph->width && blend->height >= graph->height ? 0 : -1;
}

int UpdateMovieGraphFrame(const GraphRecord* graph, int32_t waitFlag) {
  if (!graph || g_GraphicsClients.movieShowsOnOverlay(graph->movie) < 0) return 0;
  return g_GraphicsClients.updateMovieFrame(graph->movie, waitFlag);
}

int DrawMovieGraphDirect(const GraphRecord* graph, int32_t x, int32_t y, int32_t scale, int32_t show) {
  if (!graph || g_GraphicsClients.movieShowsOnOverlay(graph->movie) < 0) return 0;
  return g_GraphicsClients.drawMovieToScreen(x, y, scale, graph->movie, show);
}

int BeginSubtractBlendPass(const Rect* rect) { return SubtractPass(rect, BLEND_ADD_3D); }
int EndSubtractBlendPass(const Rect* rect) { return SubtractPass(rect, BLEND_SUBTRACT); }
