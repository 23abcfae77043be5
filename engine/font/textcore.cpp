// The text core: a string from a font's glyph cache onto the draw target, straight into
// the target's pixels for a plain draw of a plain font, and otherwise through the font's
// drawing screen, which the surface core then draws with the blend and the brightness.
#include "engine/font/font.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/memimg.h"

namespace {

bool ScreenDrawnAsImages() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

// The draw area and the brightness, put back after the text's own.
struct SavedDrawState {
  Rect area;
  float areaF[4];
  int32_t areaEmpty;
  uint8_t red, green, blue;
};

SavedDrawState SaveDrawState() {
  const DrawState& d = g_DrawState;
  SavedDrawState s{d.drawArea, {d.drawAreaF[0], d.drawAreaF[1], d.drawAreaF[2], d.drawAreaF[3]}, d.areaEmpty,
                   d.brightRed, d.brightGreen, d.brightBlue};
  return s;
}

void PutBack(const SavedDrawState& s) {
  DrawState& d = g_DrawState;
  d.drawArea = s.area;
  for (int k = 0; k < 4; k++) d.drawAreaF[k] = s.areaF[k];
  d.areaEmpty = s.areaEmpty;
  SetBrightness(s.red, s.green, s.blue);
}

void SetArea(const Rect& r) {
  DrawState& d = g_DrawState;
  d.drawArea = r;
  d.drawAreaF[0] = float(r.left);
  d.drawAreaF[1] = float(r.top);
  d.drawAreaF[2] = float(r.right);
  d.drawAreaF[3] = float(r.bottom);
  d.areaEmpty = r.left >= r.right || r.top >= r.bottom ? 1 : 0;
}

Rect Moved(const Rect& r, int32_t dx, int32_t dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// The font's drawing screen image, made again when it was lost; null when it cannot be.
MEMIMG* DrawingScreenImage(int32_t font) {
  if (RestoreFontCacheGraphs(font) != 0) return nullptr;
  const FontRecord* f = GetFontRecord(font);
  const Surface2DRecord* piece = f ? GetSurface2D(f->drawingScreen) : nullptr;
  SurfaceData* data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!data || !data->softwareImage || !IsMemImgValid(&data->image)) return nullptr;
  return &data->image;
}

// The string written into the font's drawing screen with its box at the screen's (0, 0),
// over a key that no written colour equals, then the screen's box drawn at the string's
// place with the draw state's blend and full brightness.
int DrawThroughDrawingScreen(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                             uint32_t edgeColour, int32_t vertical, const Rect& box) {
  MEMIMG* image = DrawingScreenImage(font);
  if (!image) return -1;
  MemImgData* data = image->data;
  uint32_t ink = 0, edgeInk = 0;
  TextColoursInImage(image, colour, edgeColour, &ink, &edgeInk);
  uint32_t key = 0;
  if (!data->alphaFlag) {
    const int32_t bytes = data->format->bytesPerPixel;
    const uint32_t bits = bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    key = data->transparentColor & bits;
    while (key == ink || key == edgeInk) key = (key + 1) & bits;
  }
  data->transparentColor = key;

  int32_t screenWidth = 0, screenHeight = 0;
  QueryScreenSize(&screenWidth, &screenHeight);
  Rect inImage{0, 0, box.right - box.left, box.bottom - box.top};
  const Rect screen{0, 0, screenWidth, screenHeight};
  ClipRect(&inImage, &screen);
  ClearMemImgRect(image, &inImage, key);
  if (DrawStringThroughCache(TEXT_DRAW, -box.left, -box.top, 0, 1.0, 1.0, text, colour, image, &inImage, 1, font,
                             edgeColour, -1, vertical, nullptr) < 0)
    return -1;

  const SavedDrawState saved = SaveDrawState();
  SetBrightness(255, 255, 255);
  Rect area = Moved(box, x, y);
  ClipRect(&area, &saved.area);
  SetArea(area);
  const FontRecord* f = GetFontRecord(font);
  if (!g_DrawState.areaEmpty && f) DrawSurface2DCore(x + box.left, y + box.top, f->drawingScreen, 1);
  PutBack(saved);
  return 0;
}

}  // namespace

int DrawTextWithFontCore(int32_t x, int32_t y, const char* text, uint32_t color, int32_t font, uint32_t edgeColor,
                         int32_t vertical) {
  const ScreenState& s = g_ScreenState;
  if (!s.ddraw && !s.noDirectDraw) return -1;
  const FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  // A texture cache's glyphs are the device's to draw.
  if (f->textureCache) return DrawTextWithFontByCache(x, y, text, color, font, edgeColor, vertical);
  // The box the string covers from (x, y): its advance by its cell height, and wherever a
  // glyph reaches past that (a bearing before the pen, the last column of a turned glyph),
  // so that every road draws the same pixels.
  Rect box{};
  if (MeasureStringBox(font, text, vertical, &box) != 0) return -1;
  const DrawState& d = g_DrawState;
  const bool plain = d.blendMode == BLEND_COPY || (d.blendMode == BLEND_MIX && d.blendParam == 255);
  if (QueryScreenDepth() != 8 && (!plain || (f->fontType & FONT_TYPE_ANTIALIAS)))
    return DrawThroughDrawingScreen(x, y, text, color, font, edgeColor, vertical, box);

  const Rect onTarget = Moved(box, x, y);
  if (ScreenDrawnAsImages()) {
    if (!s.targetImage || !IsMemImgValid(s.targetImage)) return -1;
    DrawStringThroughCache(TEXT_DRAW, x, y, 0, 1.0, 1.0, text, color, s.targetImage, &d.drawArea, 1, font, edgeColor,
                           -1, vertical, nullptr);
    return 0;
  }
  g_Renderer3D.endSceneCurrent();
  g_Renderer3D.flushCurrentVertexBatch();
  // The text writes its ink alone, so the box is read before it is written (not a
  // covering draw); the colours go into the work image's format with the glyphs.
  if (BeginWorkDraw(nullptr, 0, nullptr, &onTarget, 0, nullptr, nullptr) != 0) return -1;
  if (g_WorkDraw.destination)
    DrawStringThroughCache(TEXT_DRAW, x, y, 0, 1.0, 1.0, text, color, g_WorkDraw.destination, &g_WorkDraw.box, 1,
                           font, edgeColor, -1, vertical, nullptr);
  EndWorkDraw();
  return 0;
}
