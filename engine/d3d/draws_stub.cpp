// Stubs until the device draws graphs, boxes and text. No texture graph exists yet, so the graph
// draws report failure; a box while 3D drawing is active is drawn by the 2D cores, so that
// a device changes nothing on the screen until it draws boxes itself.
#include "engine/d3d/direct3d.h"
#include "engine/d3d/services.h"
#include "engine/font/font.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawtarget.h"
#include "engine/pixel/drawstate.h"

#include <cstring>

int DrawGraphAt3D(int32_t, int32_t, float, float, GraphRecord*, int32_t, int32_t) { return -1; }
int DrawGraphStretched3D(int32_t, int32_t, int32_t, int32_t, float, float, float, float, GraphRecord*, int32_t,
                         int32_t) {
  return -1;
}
int DrawGraphQuad3D(float, float, float, float, float, float, float, float, GraphRecord*, int32_t) { return -1; }
int FillBox3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  return DrawFilledBoxCore(x1, y1, x2, y2, colour);
}
int DrawBoxOutline3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  return DrawBoxOutlineCore(x1, y1, x2, y2, colour);
}
int DrawTextWithFontByCache(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                            uint32_t edgeColour, int32_t vertical) {
  const FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  if (!f->textureCache) return DrawTextWithFontCore(x, y, text, colour, font, edgeColour, vertical);
  if (g_Direct3D.targetUnavailable) return -1;
  RestoreFontCacheGraphs(font);
  DrawStringThroughCache(TEXT_DRAW, x, y, 0, 1.0, 1.0, text, colour, nullptr, &g_DrawState.drawArea, 1, font,
                         edgeColour, int32_t(std::strlen(text)), vertical, nullptr);
  return 0;
}
