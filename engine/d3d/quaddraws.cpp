// Texture graphs pinned to four free corners. Without a blend graph every tile corner goes
// through the bilinear map of the quadrilateral and each tile is drawn as a parallelogram
// or as a grid; with one the quadrilateral is cut along its rising diagonal and each half
// maps the graph affinely, every tile drawn at once as a four-vertex strip.
#include "engine/base/strutil.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/state.h"

#include <cmath>

namespace {

struct Point {
  float x, y;
};

constexpr int32_t kGridSide = 8;
// The grid's single buffer, row by row: the grid path is not reentrant.
PlatD3DTexturedVertex g_Grid[kGridSide * kGridSide];

// Whether something drawn at once may reach the device: not while the states say the
// draw shows nothing, nor while the program is ending (as a batch's flush decides).
bool MayDrawAtOnce(const Device3DRecord& r) { return !r.suppressDraw && !IsEndRequested(); }

// The texture surface of a tile, bound for the draw (with its states) when another is.
const SurfaceData* BindTile(int32_t device, Device3DRecord& r, const Surface3DData* tile) {
  const SurfaceData* texture = tile ? LookupSurfaceData(tile->surface) : nullptr;
  if (!texture) return nullptr;
  if (r.texture != texture->surface) {
    SetDeviceTexture(device, texture->surface);
    ApplyDrawStates(device);
  }
  return texture;
}

// The two turns of a quadrilateral 1 2 3 4 (top-left, top-right, bottom-left,
// bottom-right): A of the triangle 1 2 3, B of 4 3 2.
void Windings(const Point (&p)[4], double* a, double* b) {
  *a = (double(p[1].x) - p[0].x) * (double(p[2].y) - p[0].y) - (double(p[1].y) - p[0].y) * (double(p[2].x) - p[0].x);
  *b = (double(p[2].x) - p[3].x) * (double(p[1].y) - p[3].y) - (double(p[1].x) - p[3].x) * (double(p[2].y) - p[3].y);
}

bool IsParallelogram(const Point (&p)[4]) {
  return std::fabs((p[1].x - p[0].x) - (p[3].x - p[2].x)) < 1.0f &&
         std::fabs((p[1].y - p[0].y) - (p[3].y - p[2].y)) < 1.0f &&
         std::fabs((p[2].x - p[0].x) - (p[3].x - p[1].x)) < 1.0f &&
         std::fabs((p[2].y - p[0].y) - (p[3].y - p[1].y)) < 1.0f;
}

// a + t (b - a), exactly a at t = 0 and exactly b at t = 1.
double Lerp(double a, double b, double t) { return a * (1 - t) + b * t; }

void DrawGrid(int32_t device, const Device3DRecord& r, const Point (&p)[4], const PlatD3DTexturedVertex* t) {
  const float z = g_DrawState.direct3DDepth2D;
  const uint32_t colour = g_Direct3D.vertexColor;
  // Row r runs from the left edge's point r/7 to the right edge's; its vertex c lies c/7 of
  // the way. Every point is interpolated from the corners (not stepped to), so the last
  // column is the right edge itself: a tile beside this one, whose first column is that
  // edge, meets it point for point.
  for (int32_t row = 0; row < kGridSide; row++) {
    const double tr = double(row) / (kGridSide - 1);
    const double lx = Lerp(p[0].x, p[2].x, tr), ly = Lerp(p[0].y, p[2].y, tr);
    const double rx = Lerp(p[1].x, p[3].x, tr), ry = Lerp(p[1].y, p[3].y, tr);
    const float v = float(Lerp(t[0].v, t[3].v, tr));
    for (int32_t column = 0; column < kGridSide; column++) {
      const double tc = double(column) / (kGridSide - 1);
      g_Grid[row * kGridSide + column] = {float(Lerp(lx, rx, tc)), float(Lerp(ly, ry, tc)), z, 1.0f, colour,
                                          float(Lerp(t[0].u, t[3].u, tc)), v};
    }
  }
  if (MayDrawAtOnce(r)) DrawVertexGrid3D(device, kGridSide, g_Grid, kGridSide);
  else FlushVertexBatch(device);
}

// The graph's tile corners placed by the two affine maps of the triangles either side of
// the rising diagonal, with the half-pixel shift. Corners are in 64 bits: a corner may be
// FloatToInt's INT32_MIN and the draw origin is added to it.
struct AffinePlacement {
  float upperX, upperY, upperXg, upperXh, upperYg, upperYh;  // corners 1 2 3
  float lowerX, lowerY, lowerXg, lowerXh, lowerYg, lowerYh;  // corners 4 3 2
  float width, height;

  Point Place(float gx, float gy, bool upper) const {
    if (upper) return {upperX + gx * upperXg + gy * upperXh, upperY + gx * upperYg + gy * upperYh};
    return {lowerX + (gx - width) * lowerXg + (gy - height) * lowerXh,
            lowerY + (gx - width) * lowerYg + (gy - height) * lowerYh};
  }
};

AffinePlacement Affine(const int64_t (&x)[4], const int64_t (&y)[4], int32_t width, int32_t height) {
  const double rw = 1.0 / width, rh = 1.0 / height;
  AffinePlacement a;
  a.upperX = float(double(x[0]) - 0.5);
  a.upperY = float(double(y[0]) - 0.5);
  a.upperXg = float(double(x[1] - x[0]) * rw);
  a.upperXh = float(double(x[2] - x[0]) * rh);
  a.upperYg = float(double(y[1] - y[0]) * rw);
  a.upperYh = float(double(y[2] - y[0]) * rh);
  a.lowerX = float(double(x[3]) - 0.5);
  a.lowerY = float(double(y[3]) - 0.5);
  a.lowerXg = float(double(x[2] - x[3]) * -rw);
  a.lowerXh = float(double(x[1] - x[3]) * -rh);
  a.lowerYg = float(double(y[2] - y[3]) * -rw);
  a.lowerYh = float(double(y[1] - y[3]) * -rh);
  a.width = float(width);
  a.height = float(height);
  return a;
}

template <typename Vertex>
void DrawStrip(const Device3DRecord& r, Vertex (&q)[4]) {
  Point p[4];
  for (int i = 0; i < 4; i++) p[i] = {q[i].x, q[i].y};
  double a, b;
  Windings(p, &a, &b);
  if (a < 0 || (a == 0 && b <= 0)) std::swap(q[1], q[2]);
  if (MayDrawAtOnce(r)) PlatD3DDeviceDrawPrimitive(r.device, PLAT_D3DPT_TRIANGLESTRIP, kVertexKindFvf[r.batchKind], q, 4, 0);
}

}  // namespace

void DrawTexturedQuads3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                         int32_t tile) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  const Surface3DData* record = LookupTexture3D(tile);
  if (!r || !record || !BindTile(device, *r, record)) return;
  // Kind-1 vertices only: the road is taken while no blend graph is set.
  if (r->batchKind != VERTEX_KIND_TEXTURED) return;
  const Point p[4] = {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
  const PlatD3DTexturedVertex* t = record->vertices;
  if (!IsParallelogram(p)) {
    DrawGrid(device, *r, p, t);
    return;
  }
  if (r->statesDirty || r->textureDirty) ApplyDrawStates(device);
  auto* q = static_cast<PlatD3DTexturedVertex*>(ReserveBatchVertices(device, PLAT_D3DPT_TRIANGLELIST, 6));
  if (!q) return;
  static constexpr int kCorner[6] = {0, 1, 2, 3, 2, 1};
  const float z = g_DrawState.direct3DDepth2D;
  for (int i = 0; i < 6; i++) {
    const int k = kCorner[i];
    q[i].x = p[k].x;
    q[i].y = p[k].y;
    q[i].z = z;
    q[i].u = t[k].u;
    q[i].v = t[k].v;
  }
  q[0].diffuse = q[3].diffuse = g_Direct3D.vertexColor;
  double a, b;
  Windings(p, &a, &b);
  if (a <= 0 && b <= 0) {
    std::swap(q[1], q[2]);
    std::swap(q[4], q[5]);
  }
}

int DrawGraphQuad3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    GraphRecord* graph, int32_t transparent) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r || !graph) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  const DrawState& d = g_DrawState;
  if (d.blendGraph != -1)
    return DrawGraphQuadTiles3D(FloatToInt(x1), FloatToInt(y1), FloatToInt(x2), FloatToInt(y2), FloatToInt(x3),
                                FloatToInt(y3), FloatToInt(x4), FloatToInt(y4), graph, transparent);
  if (!r->sceneOpen) BeginSceneOnDevice(device);
  const Surface3DData* first = FirstTile(graph);
  if (!first) return -1;
  ChooseTextureStates(first, transparent ? uint32_t(DRAW_STATE_TEXTURE_ALPHA) : 0u);

  const float ox = float(d.targetRect.left), oy = float(d.targetRect.top);
  const Point p[4] = {{x1 + ox, y1 + oy}, {x2 + ox, y2 + oy}, {x3 + ox, y3 + oy}, {x4 + ox, y4 + oy}};
  if (graph->surfaceCount == 1) {
    DrawTexturedQuads3D(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, p[3].x, p[3].y, graph->surfaces[0]);
  } else {
    const double w = graph->width, h = graph->height;
    for (int32_t i = 0; i < graph->surfaceCount; i++) {
      const Surface3DData* tile = LookupTexture3D(graph->surfaces[i]);
      if (!tile) return -1;
      // Each tile corner through the bilinear map: a corner two tiles share is placed
      // from the same graph position, so neighbouring tiles meet without a seam.
      Point c[4];
      for (int k = 0; k < 4; k++) {
        const double t = tile->vertices[k].y / h, s = tile->vertices[k].x / w;
        const double lx = p[0].x + t * (double(p[2].x) - p[0].x), ly = p[0].y + t * (double(p[2].y) - p[0].y);
        const double rx = p[1].x + t * (double(p[3].x) - p[1].x), ry = p[1].y + t * (double(p[3].y) - p[1].y);
        c[k] = {float(lx + s * (rx - lx)), float(ly + s * (ry - ly))};
      }
      DrawTexturedQuads3D(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y, graph->surfaces[i]);
    }
  }
  if (g_Direct3D.endSceneAfterDraw) EndSceneOnDevice(device);
  return 0;
}

int DrawGraphQuadTiles3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                         int32_t y4, GraphRecord* graph, int32_t transparent) {
  if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4)
    return DrawGraphStretched3D(x1, y1, x4, y4, float(x1), float(y1), float(x4), float(y4), graph, transparent, 1);
  const DrawState& d = g_DrawState;
  if (d.blendGraph == -1)
    return DrawGraphQuad3D(float(x1), float(y1), float(x2), float(y2), float(x3), float(y3), float(x4), float(y4),
                           graph, transparent);
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r || !graph) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  if (graph->width <= 0 || graph->height <= 0) return -1;
  FlushVertexBatch(device);
  const int64_t ox = d.targetRect.left, oy = d.targetRect.top;
  const int64_t x[4] = {x1 + ox, x2 + ox, x3 + ox, x4 + ox}, y[4] = {y1 + oy, y2 + oy, y3 + oy, y4 + oy};
  if (!r->sceneOpen) BeginSceneOnDevice(device);
  const Surface3DData* first = FirstTile(graph);
  if (!first) return -1;
  ChooseTextureStates(first, DRAW_STATE_KEEP_ALPHA_TEST | (transparent ? uint32_t(DRAW_STATE_TEXTURE_ALPHA) : 0u));
  const AffinePlacement placement = Affine(x, y, graph->width, graph->height);

  if (r->batchKind == VERTEX_KIND_TEXTURED || r->batchKind == VERTEX_KIND_BLEND) {
    const float z = d.direct3DDepth2D;
    const uint32_t colour = g_Direct3D.vertexColor;
    const float rbw = g_Direct3D.blendTextureReciprocal[0], rbh = g_Direct3D.blendTextureReciprocal[1];
    for (int32_t i = 0; i < graph->surfaceCount; i++) {
      const Surface3DData* tile = LookupTexture3D(graph->surfaces[i]);
      if (!tile || !BindTile(device, *r, tile)) return -1;
      const PlatD3DTexturedVertex* t = tile->vertices;
      if (r->batchKind == VERTEX_KIND_BLEND) {
        PlatD3DBlendVertex q[4];
        for (int k = 0; k < 4; k++) {
          const Point at = placement.Place(t[k].x, t[k].y, tile->cornerSide[k] == 1);
          q[k] = {at.x, at.y, z, 1.0f, colour, 0xFFFFFFFFu, t[k].x * rbw, t[k].y * rbh, t[k].u, t[k].v};
        }
        DrawStrip(*r, q);
      } else {
        PlatD3DTexturedVertex q[4];
        for (int k = 0; k < 4; k++) {
          const Point at = placement.Place(t[k].x, t[k].y, tile->cornerSide[k] == 1);
          q[k] = t[k];
          q[k].x = at.x;
          q[k].y = at.y;
          q[k].z = z;
          q[k].diffuse = colour;
        }
        DrawStrip(*r, q);
      }
    }
  }
  if (g_Direct3D.endSceneAfterDraw) EndSceneOnDevice(device);
  return 0;
}
