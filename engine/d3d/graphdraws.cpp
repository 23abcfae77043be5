// Texture graphs drawn unscaled and stretched: every tile of the graph becomes two
// triangles in the current device's batch, placed from the tile's corner template and
// clipped to the draw area vertex by vertex, the texture coordinates moving with the
// clipped positions so that every pixel samples the texel it would have unclipped.
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// One corner of a tile quad while it is placed and clipped.
struct Corner {
  float x, y;    // screen position
  float u, v;    // the tile texture's coordinates
  float bu, bv;  // the blend texture's coordinates (kind 2 only)
};

// How a tile's texture coordinates follow a move of its positions, and the clip bounds.
struct ClipRule {
  float left, top, right, bottom;
  float uPerX, vPerY;    // own coordinates per pixel moved
  float buPerX, bvPerY;  // blend coordinates per pixel moved
};

// One axis: a corner past an edge moves onto it, its coordinates by as much as it moved.
void ClipAxis(float& p, float& t, float& bt, float low, float high, float tPer, float btPer) {
  if (p < low) {
    const float d = low - p;
    t += d * tPer;
    bt += d * btPer;
    p = low;
  } else if (p > high) {
    const float d = p - high;
    t -= d * tPer;
    bt -= d * btPer;
    p = high;
  }
}

void ClipCorner(Corner& c, const ClipRule& k) {
  ClipAxis(c.x, c.u, c.bu, k.left, k.right, k.uPerX, k.buPerX);
  ClipAxis(c.y, c.v, c.bv, k.top, k.bottom, k.vPerY, k.bvPerY);
}

// The six list vertices of a quad in the layout of the batch kind: (top-left, top-right,
// bottom-left) and (bottom-right, bottom-left, top-right). Only the first vertex of each
// triangle takes the colour (flat shading); rhw and specular stay as the buffer holds them.
template <typename Vertex>
void WriteQuad(Vertex* q, const Corner (&c)[4], float z, uint32_t colour) {
  static constexpr int kCorner[6] = {0, 1, 2, 3, 2, 1};
  for (int i = 0; i < 6; i++) {
    const Corner& k = c[kCorner[i]];
    q[i].x = k.x;
    q[i].y = k.y;
    q[i].z = z;
    if constexpr (sizeof(Vertex) == sizeof(PlatD3DBlendVertex)) {
      q[i].u0 = k.bu;
      q[i].v0 = k.bv;
      q[i].u1 = k.u;
      q[i].v1 = k.v;
    } else {
      q[i].u = k.u;
      q[i].v = k.v;
    }
  }
  q[0].diffuse = colour;
  q[3].diffuse = colour;
}

// The pixels a quad may cover: those whose centres lie from its left and top edges up to
// (not on) its right and bottom ones, give or take the device's snap of 1/512.
int32_t Edge(double v) { return int32_t(std::clamp(std::ceil(v), double(INT32_MIN), double(INT32_MAX))); }
void PixelsOf(const Corner (&c)[4], int32_t (&rect)[4]) {
  double x0 = c[0].x, x1 = c[0].x, y0 = c[0].y, y1 = c[0].y;
  for (const Corner& k : c) {
    x0 = std::min<double>(x0, k.x), x1 = std::max<double>(x1, k.x);
    y0 = std::min<double>(y0, k.y), y1 = std::max<double>(y1, k.y);
  }
  constexpr double kSnap = 1.0 / 512;
  rect[0] = Edge(x0 - kSnap), rect[1] = Edge(y0 - kSnap), rect[2] = Edge(x1 + kSnap), rect[3] = Edge(y1 + kSnap);
}

// Quads are cut to the draw area at their vertices, so the device's viewport has only to
// cover the part of the area they reach: an area narrowed without a viewport of its own
// (DrawGraphSubRect on the device) leaves the wider one standing, and the glyphs of a line
// go out in one batch. Where it does not cover that part, the area's viewport goes out
// first.
void CoverWithViewport(const Device3DRecord& r, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  const DrawState& d = g_DrawState;
  const Rect& a = d.drawArea;
  const int64_t ox = d.targetRect.left, oy = d.targetRect.top;
  const int64_t l = std::max<int64_t>(left, a.left) + ox, t = std::max<int64_t>(top, a.top) + oy;
  const int64_t rr = std::min<int64_t>(right, a.right) + ox, b = std::min<int64_t>(bottom, a.bottom) + oy;
  const PlatD3DViewport& v = r.viewport;
  if (l >= rr || t >= b ||
      (l >= v.x && t >= v.y && rr <= int64_t(v.x) + v.width && b <= int64_t(v.y) + v.height))
    return;
  SetViewportFromRect(&a);
}

// The draws' common road. scaleX, scaleY: 1 for the unscaled draw; stretched: the scale,
// negative for a mirrored axis. originX, originY: where the graph's (0, 0) lands (the
// half-pixel shift and the draw origin included). rect: the integer rectangle the graph
// covers, ordered, in 64 bits so that no sum overflows.
int DrawTiles(GraphRecord* graph, int32_t transparent, uint32_t flags, bool stretched, float originX, float originY,
              float scaleX, float scaleY, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  // Before the scene opens: a viewport sent ends the scene.
  CoverWithViewport(*r, left, top, right, bottom);
  if (!r->sceneOpen) BeginSceneOnDevice(device);
  const Surface3DData* first = FirstTile(graph);
  if (!first) return -1;
  // Cells of two sheets in turn: each sheet's quads batched beside the other's.
  TakeBatchLane(r, LookupSurfaceData(first->surface)->surface);
  ChooseTextureStates(first, flags | (transparent ? uint32_t(DRAW_STATE_TEXTURE_ALPHA) : 0u));

  const DrawState& d = g_DrawState;
  const uint32_t colour = g_Direct3D.vertexColor;
  const float z = d.direct3DDepth2D;
  const Rect& area = d.drawArea;
  if (right <= area.left || bottom <= area.top || left >= area.right || top >= area.bottom) return 0;
  const bool clip = !(left >= area.left && top >= area.top && right <= area.right && bottom <= area.bottom);

  if (r->batchKind == VERTEX_KIND_TEXTURED || r->batchKind == VERTEX_KIND_BLEND) {
    const float shift = stretched ? -0.5f : 0.0f;
    const float ox = float(d.targetRect.left), oy = float(d.targetRect.top);
    const float rbw = g_Direct3D.blendTextureReciprocal[0], rbh = g_Direct3D.blendTextureReciprocal[1];
    for (int32_t i = 0; i < graph->surfaceCount; i++) {
      const Surface3DData* tile = LookupTexture3D(graph->surfaces[i]);
      const SurfaceData* texture = tile ? LookupSurfaceData(tile->surface) : nullptr;
      if (!texture) return -1;
      if (r->texture != texture->surface) SetDeviceTexture(device, texture->surface);
      if (r->statesDirty || r->textureDirty) ApplyDrawStates(device);

      const PlatD3DTexturedVertex* t = tile->vertices;  // TL, TR, BL, BR
      const float xs[2] = {originX + scaleX * t[0].x, originX + scaleX * t[1].x};
      const float ys[2] = {originY + scaleY * t[0].y, originY + scaleY * t[2].y};
      const float us[2] = {t[0].u, t[1].u}, vs[2] = {t[0].v, t[2].v};
      const float bus[2] = {t[0].x * rbw, t[1].x * rbw}, bvs[2] = {t[0].y * rbh, t[2].y * rbh};
      Corner c[4];
      for (int k = 0; k < 4; k++) c[k] = {xs[k & 1], ys[k >> 1], us[k & 1], vs[k >> 1], bus[k & 1], bvs[k >> 1]};
      if (clip) {
        const float tw = 1.0f / float(texture->width), th = 1.0f / float(texture->height);
        const ClipRule rule{d.drawAreaF[0] + shift + ox,
                            d.drawAreaF[1] + shift + oy,
                            d.drawAreaF[2] + shift + ox,
                            d.drawAreaF[3] + shift + oy,
                            stretched ? 1.0f / (float(texture->width) * scaleX) : tw,
                            stretched ? 1.0f / (float(texture->height) * scaleY) : th,
                            stretched ? rbw / scaleX : rbw,
                            stretched ? rbh / scaleY : rbh};
        for (Corner& k : c) ClipCorner(k, rule);
      }
      int32_t pixels[4];
      PixelsOf(c, pixels);
      void* at = ReserveBatchQuad(device, pixels);
      if (!at) return -1;
      if (r->batchKind == VERTEX_KIND_BLEND)
        WriteQuad(static_cast<PlatD3DBlendVertex*>(at), c, z, colour);
      else
        WriteQuad(static_cast<PlatD3DTexturedVertex*>(at), c, z, colour);
    }
  }
  if (g_Direct3D.endSceneAfterDraw) EndSceneOnDevice(device);
  return 0;
}

}  // namespace

const Surface3DData* FirstTile(const GraphRecord* graph) {
  if (!graph || graph->surfaceCount < 1) return nullptr;
  const Surface3DData* tile = LookupTexture3D(graph->surfaces[0]);
  return tile && LookupSurfaceData(tile->surface) ? tile : nullptr;
}

int DrawGraphAt3D(int32_t x, int32_t y, float fx, float fy, GraphRecord* graph, int32_t transparent,
                  int32_t keepAlphaTest) {
  if (!LiveDeviceRecord(g_Direct3D.currentDevice) || !graph) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  const DrawState& d = g_DrawState;
  const float originX = fx - 0.5f + float(d.targetRect.left), originY = fy - 0.5f + float(d.targetRect.top);
  return DrawTiles(graph, transparent, keepAlphaTest ? uint32_t(DRAW_STATE_KEEP_ALPHA_TEST) : 0u, false, originX, originY, 1.0f,
                   1.0f, x, y, int64_t(x) + graph->width, int64_t(y) + graph->height);
}

int DrawGraphStretched3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1, float fx2,
                         float fy2, GraphRecord* graph, int32_t transparent, int32_t keepAlphaTest) {
  if (!LiveDeviceRecord(g_Direct3D.currentDevice) || !graph) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  if (x1 == x2 || y1 == y2 || graph->width <= 0 || graph->height <= 0) return -1;
  const DrawState& d = g_DrawState;
  const float scaleX = (fx2 - fx1) / float(graph->width), scaleY = (fy2 - fy1) / float(graph->height);
  const float originX = fx1 - 0.5f + float(d.targetRect.left), originY = fy1 - 0.5f + float(d.targetRect.top);
  const uint32_t flags = keepAlphaTest && d.filterMode != 1 ? uint32_t(DRAW_STATE_KEEP_ALPHA_TEST) : 0u;
  return DrawTiles(graph, transparent, flags, true, originX, originY, scaleX, scaleY, std::min(x1, x2),
                   std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
}
