// Boxes drawn by the device: a filled box as two untextured triangles clipped to the draw
// area, an outline as four thin rectangles the viewport clips, both in one colour
// modulated by the draw state's vertex colour.
#include "engine/d3d/direct3d.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/screen.h"
#include "engine/pixel/drawstate.h"

#include <algorithm>

namespace {

// The box colour (a pixel value of the screen) scaled by the vertex colour, which keeps
// its alpha.
uint32_t BoxVertexColour(uint32_t colour) {
  int32_t red = 0, green = 0, blue = 0;
  UnpackScreenColor(colour, &red, &green, &blue);
  const uint32_t v = g_Direct3D.vertexColor;
  const uint32_t r = (v >> 16 & 0xFF) * uint32_t(red) / 255, g = (v >> 8 & 0xFF) * uint32_t(green) / 255,
                 b = (v & 0xFF) * uint32_t(blue) / 255;
  return (v & 0xFF000000u) | r << 16 | g << 8 | b;
}

// A rectangle a to b by c to d as two listed triangles: (a, c), (b, c), (a, d) and
// (b, d), (a, d), (b, c).
void WriteRectangle(PlatD3DColorVertex* q, float a, float b, float c, float d, float z) {
  const float xs[6] = {a, b, a, b, a, b}, ys[6] = {c, c, d, d, d, c};
  for (int i = 0; i < 6; i++) {
    q[i].x = xs[i];
    q[i].y = ys[i];
    q[i].z = z;
  }
}

// Room for count untextured vertices with the box states; null when the batch is not of
// the untextured kind (nothing is drawn then).
PlatD3DColorVertex* BoxVertices(uint32_t count) {
  void* at = AddBatchVertices(nullptr, DRAW_STATE_MODULATE_COLOR, PLAT_D3DPT_TRIANGLELIST, count);
  const Device3DRecord* r = LiveDeviceRecord(g_Direct3D.currentDevice);
  if (!at || r->batchKind != VERTEX_KIND_COLOR) return nullptr;
  return static_cast<PlatD3DColorVertex*>(at);
}

}  // namespace

int FillBox3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  const int32_t device = g_Direct3D.currentDevice;
  if (!LiveDeviceRecord(device)) return -1;
  if (g_Renderer3DState.targetUnavailable) return DrawFilledBoxCore(x1, y1, x2, y2, colour);
  // No flush of its own: adding the box sends what is batched whenever the texture, a
  // state or the primitive differs, so boxes in a row go out as one batch and the pixels
  // are those of one draw after the other.
  const DrawState& d = g_DrawState;
  Rect box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  ClipRect(&box, &d.drawArea);
  if (box.left >= box.right || box.top >= box.bottom) return 0;
  BeginSceneOnDevice(device);
  PlatD3DColorVertex* q = BoxVertices(6);
  if (q) {
    // Inside the draw area, so the origin moves it by no more than the target is large.
    const int64_t ox = d.targetRect.left, oy = d.targetRect.top;
    WriteRectangle(q, float(box.left + ox), float(box.right + ox), float(box.top + oy), float(box.bottom + oy),
                   d.direct3DDepth2D);
    // Flat shading: the first vertex of each triangle gives it its colour.
    q[0].diffuse = q[3].diffuse = BoxVertexColour(colour);
  }
  if (g_Direct3D.endSceneAfterDraw) EndSceneOnDevice(device);
  return 0;
}

int DrawBoxOutline3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  const int32_t device = g_Direct3D.currentDevice;
  const Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (g_Renderer3DState.targetUnavailable) return DrawBoxOutlineCore(x1, y1, x2, y2, colour);
  if (!r->sceneOpen) BeginSceneOnDevice(device);
  if (x1 > x2 || y1 > y2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const DrawState& d = g_DrawState;
  // The corners may lie anywhere in the 32-bit range: the origin is added in 64 bits.
  const int64_t ox = d.targetRect.left, oy = d.targetRect.top;
  const float left = float(x1 + ox), top = float(y1 + oy), right = float(x2 + ox), bottom = float(y2 + oy);
  PlatD3DColorVertex* q = BoxVertices(24);
  if (q) {
    // Not clipped here: the viewport keeps it inside the draw area. The top edge takes
    // both top corners, the sides the bottom ones, so that each pixel of an outline at
    // least two pixels wide and high is covered once.
    const float z = d.direct3DDepth2D;
    WriteRectangle(q, left, right, top, top + 1, z);
    WriteRectangle(q + 6, right - 1, right, top + 1, bottom, z);
    WriteRectangle(q + 12, left, left + 1, top + 1, bottom, z);
    WriteRectangle(q + 18, left + 1, right - 1, bottom - 1, bottom, z);
    const uint32_t c = BoxVertexColour(colour);
    for (int i = 0; i < 24; i++) q[i].diffuse = c;
  }
  if (g_Direct3D.endSceneAfterDraw) EndSceneOnDevice(device);
  return 0;
}
