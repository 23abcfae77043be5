// Text through a font whose glyph cache lives in a texture: the string is laid out from
// that cache and its glyphs join the device's batch. A font whose cache is in memory is
// the text core's, so every font takes exactly one of the two roads.
#include "engine/font/font.h"
#include "engine/graphics/renderer3d.h"
#include "engine/pixel/drawstate.h"

#include <cstring>

int DrawTextWithFontByCache(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                            uint32_t edgeColour, int32_t vertical) {
  const FontRecord* f = GetFontRecord(font);
  if (!f || !f->textureCache) return DrawTextWithFontCore(x, y, text, colour, font, edgeColour, vertical);
  if (g_Renderer3DState.targetUnavailable) return -1;
  // A cache texture lost with the device is made again before its glyphs are used.
  RestoreFontCacheGraphs(font);
  DrawStringThroughCache(TEXT_DRAW, x, y, 0, 1.0, 1.0, text, colour, nullptr, &g_DrawState.drawArea, 1, font,
                         edgeColour, text ? int32_t(strlen(text)) : 0, vertical, nullptr);
  return 0;
}
