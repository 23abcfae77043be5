// Drawing strings from the glyph cache: the layout every path shares, the memory cache's
// pixel writers, the draw with a font handle and the default font's draw.
#include "engine/base/log.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawentry.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/maskscreen.h"
#include "engine/graphics/present.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/memimg.h"
#include "engine/state/fatal.h"
#include "engine/state/hooks.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>

namespace {

bool DirectDrawMissing() { return IsDirectDrawUsed() && !GetDirectDrawObject(); }

bool ScreenDrawnAsImages() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

// How the memory path writes one pixel of its destination: its size, the fields the
// type-3 mix works on, and where alpha goes (nowhere for an image without alpha).
struct PixelLayout {
  int32_t bytes;
  int32_t fields;
  uint32_t mask[3];
  uint8_t shift[3];
  uint32_t alphaMask;
  uint8_t alphaShift;
  bool rgb;  // the colours are packed in the image's own format
};

PixelLayout LayoutOf(const MEMIMG* image) {
  const MemImgData* d = image->data;
  const ColorFormat* f = d->format;
  PixelLayout p{};
  p.bytes = f->bytesPerPixel;
  p.rgb = (d->kind == MEMIMG_KIND_RGB565 || d->kind == MEMIMG_KIND_XRGB8888) && !d->paletteFlag;
  if (p.rgb) {
    p.fields = 3;
    p.mask[0] = f->redMask, p.mask[1] = f->greenMask, p.mask[2] = f->blueMask;
    p.shift[0] = f->redShift, p.shift[1] = f->greenShift, p.shift[2] = f->blueShift;
    if (d->alphaFlag) {
      p.alphaMask = f->alphaMask;
      p.alphaShift = f->alphaShift;
    }
  } else {
    // A palette index or one channel: the screen's packed value, cut to the pixel.
    p.fields = 1;
    p.mask[0] = p.bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * p.bytes)) - 1;
  }
  return p;
}

// A packed screen colour scaled by the draw brightness, as it goes into an image laid out
// as p (opaque where it has alpha).
uint32_t InkValue(const MEMIMG* image, const PixelLayout& p, uint32_t packed) {
  int32_t red = 0, green = 0, blue = 0;
  UnpackScreenColor(packed, &red, &green, &blue);
  const DrawState& d = g_DrawState;
  red = red * d.brightRed / 255;
  green = green * d.brightGreen / 255;
  blue = blue * d.brightBlue / 255;
  if (p.rgb) {
    const ColorFormat* f = image->data->format;
    return ColorToPixelValue(f, red, green, blue, 255) & ~f->noChannelMask;
  }
  return PackScreenColorCore(red, green, blue) & ~PackScreenColorCore(0, 0, 0) & p.mask[0];
}

// Type 3's pixel between the edge colour and the text colour, b the body level and e the
// edge level (1 to 14 and 0 to 15): alpha e(15 - b) + 16b, each field moved from the
// edge's toward the text's by the weight b x 4096 / alpha, the step shifted right so that
// a negative one rounds down.
uint32_t MixedInk(const PixelLayout& p, uint32_t text, uint32_t edge, int32_t b, int32_t e) {
  const int32_t alpha = e * (15 - b) + 16 * b;
  const int32_t weight = b * 4096 / alpha;
  uint32_t out = 0;
  for (int32_t k = 0; k < p.fields; k++) {
    const int32_t c = int32_t((text & p.mask[k]) >> p.shift[k]);
    const int32_t from = int32_t((edge & p.mask[k]) >> p.shift[k]);
    out |= uint32_t(from + ((c - from) * weight >> 8)) << p.shift[k] & p.mask[k];
  }
  return out | (uint32_t(alpha) << p.alphaShift & p.alphaMask);
}

// What each byte of an 8-bit cache cell writes (byte 0 is blank in every type).
void BuildInkTable(int32_t fontType, const PixelLayout& p, uint32_t text, uint32_t edge, uint32_t table[256]) {
  const uint32_t opaqueText = text & ~p.alphaMask, opaqueEdge = edge & ~p.alphaMask;
  auto withAlpha = [&](uint32_t colour, uint32_t alpha) { return colour | (alpha << p.alphaShift & p.alphaMask); };
  switch (fontType) {
    case FONT_TYPE_EDGE:
      table[1] = text;
      table[2] = edge;
      break;
    case FONT_TYPE_ANTIALIAS:
      for (uint32_t v = 1; v < 16; v++) table[v] = withAlpha(opaqueText, v * 16);
      break;
    case FONT_TYPE_EDGE | FONT_TYPE_ANTIALIAS:
      for (uint32_t v = 1; v < 256; v++) {
        const int32_t b = int32_t(v & 15), e = int32_t(v >> 4);
        if (b == 0) table[v] = withAlpha(opaqueEdge, uint32_t(e) * 16);
        else if (b == 15) table[v] = withAlpha(opaqueText, 255);
        else table[v] = MixedInk(p, opaqueText, opaqueEdge, b, e);
      }
      break;
    default:
      break;
  }
}

// One glyph's write: glyph pixel (i, j) (column i, row j of the cache cell) lands at
// pixels + origin + i x stepI + j x stepJ; only columns i0..i1 and rows j0..j1 (exclusive)
// lie inside the clip.
struct GlyphJob {
  const uint8_t* cell;
  int32_t cellPitch;
  int32_t i0, i1, j0, j1;
  uint8_t* pixels;
  ptrdiff_t origin, stepI, stepJ;
  uint32_t ink;           // a one-bit cell's ink
  const uint32_t* table;  // an 8-bit cell's values
};

template <typename Pixel, bool OneBit, bool Transparent>
void WriteGlyphPixels(const GlyphJob& g) {
  for (int32_t j = g.j0; j < g.j1; j++) {
    const uint8_t* row = g.cell + ptrdiff_t(j) * g.cellPitch;
    ptrdiff_t at = g.origin + ptrdiff_t(j) * g.stepJ + ptrdiff_t(g.i0) * g.stepI;
    for (int32_t i = g.i0; i < g.i1; i++, at += g.stepI) {
      const uint32_t source = OneBit ? (row[i >> 3] >> (7 - (i & 7))) & 1u : row[i];
      if (source == 0 && Transparent) continue;
      const Pixel value = Pixel(source == 0 ? 0u : OneBit ? g.ink : g.table[source]);
      std::memcpy(g.pixels + at, &value, sizeof value);
    }
  }
}

using GlyphWriter = void (*)(const GlyphJob&);

template <typename Pixel>
constexpr GlyphWriter kWritersOf[2][2] = {
    {WriteGlyphPixels<Pixel, false, false>, WriteGlyphPixels<Pixel, false, true>},
    {WriteGlyphPixels<Pixel, true, false>, WriteGlyphPixels<Pixel, true, true>},
};

// The writer for a pixel size (1, 2 or 4 bytes), a cell of one bit or one byte a pixel,
// and the transparent flag.
GlyphWriter WriterFor(int32_t bytes, bool oneBit, bool transparent) {
  const auto& writers = bytes == 1 ? kWritersOf<uint8_t> : bytes == 2 ? kWritersOf<uint16_t> : kWritersOf<uint32_t>;
  return writers[oneBit ? 1 : 0][transparent ? 1 : 0];
}

// The memory path's state for one string.
struct MemoryDraw {
  MEMIMG* image;
  Rect clip;  // the clip rectangle within the image
  PixelLayout layout;
  GlyphWriter writer;
  uint32_t ink;
  uint32_t table[256];
  bool wrote;
};

// The glyph's entry, rendered when it is not cached.
const GlyphEntry* CachedGlyph(int32_t font, FontRecord* f, const GlyphCell& c) {
  const CharTableEntry& ch = f->chars[GlyphCellKey(c)];
  if (ch.cached && ch.glyph) return ch.glyph;
  const GlyphEntry* e = RenderGlyphsToCache(font, 1, &c);
  if (!e) FatalEngineExit("テキストキャッシュの作成に失敗しました");
  return e;
}

bool IsSpace(const GlyphCell& c) {
  return (c.bytes[0] == 0x20 && c.bytes[1] == 0) || (c.bytes[0] == 0x81 && c.bytes[1] == 0x40);
}

// Where a glyph drawn with the pen at p lands, relative to the string's (x, y):
// horizontally its rectangle, vertically the quarter-turned one (the glyph's row 0 at
// the rightmost column).
Rect GlyphBox(const FontRecord* f, const GlyphEntry* e, int64_t p, bool vertical) {
  if (!vertical) {
    const int64_t left = e->xOffset + p, top = e->yOffset;
    return {int32_t(left), int32_t(top), int32_t(left + e->width), int32_t(top + e->height)};
  }
  const int64_t right = int64_t(f->cellHeight) - e->yOffset + 1, top = e->xOffset + p;
  return {int32_t(right - e->height), int32_t(top), int32_t(right), int32_t(top + e->width)};
}

void WriteGlyph(MemoryDraw& m, const FontRecord* f, const GlyphEntry* e, int64_t x, int64_t y, int64_t p,
                bool vertical) {
  const MEMIMG* img = m.image;
  const int64_t bytes = m.layout.bytes, pitch = img->data->pitch;
  GlyphJob g{};
  int32_t cx, cy;
  GlyphCellPosition(f, e->cell, &cx, &cy);
  g.cell = f->cacheMemory + ptrdiff_t(cy) * f->cachePitch;
  g.cellPitch = f->cachePitch;
  const Rect& c = m.clip;
  if (!vertical) {
    const int64_t left = x + e->xOffset + p, top = y + e->yOffset;
    g.i0 = int32_t(std::max<int64_t>(0, c.left - left));
    g.i1 = int32_t(std::min<int64_t>(e->width, c.right - left));
    g.j0 = int32_t(std::max<int64_t>(0, c.top - top));
    g.j1 = int32_t(std::min<int64_t>(e->height, c.bottom - top));
    g.origin = ptrdiff_t(top * pitch + left * bytes);
    g.stepI = ptrdiff_t(bytes);
    g.stepJ = ptrdiff_t(pitch);
  } else {
    // Glyph pixel (i, j) goes to column right - j and row top + i.
    const int64_t right = x + f->cellHeight - e->yOffset, top = y + e->xOffset + p;
    g.j0 = int32_t(std::max<int64_t>(0, right - c.right + 1));
    g.j1 = int32_t(std::min<int64_t>(e->height, right - c.left + 1));
    g.i0 = int32_t(std::max<int64_t>(0, c.top - top));
    g.i1 = int32_t(std::min<int64_t>(e->width, c.bottom - top));
    g.origin = ptrdiff_t(top * pitch + right * bytes);
    g.stepI = ptrdiff_t(pitch);
    g.stepJ = -ptrdiff_t(bytes);
  }
  if (g.i0 >= g.i1 || g.j0 >= g.j1) return;
  g.pixels = img->pixels;
  g.ink = m.ink;
  g.table = m.table;
  m.writer(g);
  m.wrote = true;
}

// The memory draw into image clipped to clip, or false when there is nothing to draw into.
bool StartMemoryDraw(MemoryDraw& m, const FontRecord* f, MEMIMG* image, const Rect* clip, int32_t transparent,
                     uint32_t colour, uint32_t edgeColour) {
  if (!image || !IsMemImgValid(image) || !image->data->format) return false;
  m.image = image;
  m.clip = {0, 0, image->width, image->height};
  if (clip) {
    Rect within = *clip;
    NormalizeRect(&within);
    ClipRect(&m.clip, &within);
  }
  if (m.clip.left >= m.clip.right || m.clip.top >= m.clip.bottom) return false;
  m.layout = LayoutOf(image);
  if (m.layout.bytes != 1 && m.layout.bytes != 2 && m.layout.bytes != 4) return false;
  const bool oneBit = f->cacheBitsPerPixel == 1;
  m.writer = WriterFor(m.layout.bytes, oneBit, transparent != 0);
  m.ink = InkValue(image, m.layout, colour);
  std::memset(m.table, 0, sizeof m.table);
  if (!oneBit) BuildInkTable(f->fontType, m.layout, m.ink, InkValue(image, m.layout, edgeColour), m.table);
  m.wrote = false;
  return true;
}

// The texture path's state for one string: the colours as tints, what the draw puts back.
class TextureDraw {
 public:
  TextureDraw(const FontRecord* f, uint32_t colour, uint32_t edgeColour, bool scaled, double scaleX, double scaleY)
      : f_(f), scaled_(scaled), sx_(scaleX), sy_(scaleY), text_(Tint(colour)), edge_(Tint(edgeColour)) {
    const DrawState& d = g_DrawState;
    blendGraph_ = d.blendGraph;
    blendParams_[0] = d.blendGraphParam[0];
    blendParams_[1] = d.blendGraphParam[1];
    brightness_ = BrightnessWord(d);
    // The glyphs are drawn without the blend graph; the blend mode stays as set.
    SetBlendGraphState(-1, blendParams_[0], blendParams_[1]);
  }
  ~TextureDraw() {
    SetBlendGraphState(blendGraph_, blendParams_[0], blendParams_[1]);
    SetBrightnessPacked(brightness_);
  }
  TextureDraw(const TextureDraw&) = delete;
  TextureDraw& operator=(const TextureDraw&) = delete;

  // The edge (edge fonts) and then the body of a glyph, each tinted by its colour.
  void Glyph(const GlyphEntry* e, int32_t x, int32_t y, double pen, bool vertical) const {
    if (f_->fontType & FONT_TYPE_EDGE) {
      SetBrightnessPacked(edge_);
      From(f_->edgeCacheGraph, e, x, y, pen, vertical);
    }
    SetBrightnessPacked(text_);
    From(f_->cacheGraph, e, x, y, pen, vertical);
  }

 private:
  // A packed screen colour scaled by the draw brightness, as 0xRRGGBB.
  static uint32_t Tint(uint32_t packed) {
    int32_t red = 0, green = 0, blue = 0;
    UnpackScreenColor(packed, &red, &green, &blue);
    const DrawState& d = g_DrawState;
    return uint32_t(red * d.brightRed / 255) << 16 | uint32_t(green * d.brightGreen / 255) << 8 |
           uint32_t(blue * d.brightBlue / 255);
  }
  static int32_t T(double v) { return int32_t(std::clamp(v, -2147483648.0, 2147483647.0)); }

  void From(int32_t graph, const GlyphEntry* e, int32_t x, int32_t y, double pen, bool vertical) const {
    int32_t cx, cy;
    GlyphCellPosition(f_, e->cell, &cx, &cy);
    const int64_t p = int64_t(pen);
    const int32_t w = e->width, h = e->height;
    if (!vertical && !scaled_) {
      DrawGraphSubRect(T(double(x) + e->xOffset + double(p)), T(double(y) + e->yOffset), cx, cy, w, h, graph, 1, 0);
      return;
    }
    if (!vertical) {
      const int64_t left = int64_t(x) + T(e->xOffset * sx_ + pen), top = int64_t(y) + T(e->yOffset * sy_);
      DrawGraphSubRectStretched(T(double(left)), T(double(top)), T(double(left + T(w * sx_))),
                                T(double(top + T(h * sy_))), cx, cy, w, h, graph, 1);
      return;
    }
    if (!scaled_) {
      // A quarter turn clockwise, the glyph's top toward the right: the whole graph turned
      // so that the cell lands at (X, Y), the draw area cutting away the rest.
      const int64_t X = int64_t(x) + f_->cellHeight - e->yOffset, Y = int64_t(y) + e->xOffset + p;
      int32_t gw = 0, gh = 0;
      QueryGraphSize(graph, &gw, &gh);
      const SavedArea saved = NarrowArea(X - h - 1, Y, X + 1, Y + w);
      const float left = float(X + cy) - 0.5f, top = float(Y - cx) - 0.5f;
      if (!g_DrawState.areaEmpty)
        DrawGraphQuad(left, top, left, top + float(gw), left - float(gh), top + float(gw), left - float(gh), top, graph,
                      1);
      PutAreaBack(saved);
      return;
    }
    const int64_t X = int64_t(x) + T((f_->cellHeight - e->yOffset) * sx_), Y = int64_t(y) + T(e->xOffset * sy_ + pen);
    const int64_t X2 = X + T(-h * sx_), Y2 = Y + T(w * sy_);
    const SavedArea saved = NarrowArea(X - T(h * sx_) - 1, Y, X + 1, Y2);
    const int32_t cell = g_DrawState.areaEmpty ? -1 : CreateSubGraph(cx, cy, w, h, graph);
    if (cell != -1) {
      DrawGraphQuad(float(X) - 0.5f, float(Y) - 0.5f, float(X) - 0.5f, float(Y2) - 0.5f, float(X2) - 0.5f,
                    float(Y2) - 0.5f, float(X2) - 0.5f, float(Y) - 0.5f, cell, 1);
      FreeGraph(cell, 0);
    }
    PutAreaBack(saved);
  }

  const FontRecord* f_;
  bool scaled_;
  double sx_, sy_;
  uint32_t text_, edge_;
  int32_t blendGraph_;
  int32_t blendParams_[2];
  uint32_t brightness_;
};

// What walking a string found: the pen at its end and the box of the glyphs drawn,
// relative to the string's (x, y) (empty when none is drawn).
struct StringWalk {
  double pen;
  Rect ink;
};

bool DrawingSuspended() {
  return g_ScreenState.drawingSuspended || g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED];
}

// DrawStringThroughCache with the box of the drawn glyphs also given back.
int WalkString(int32_t mode, int32_t x, int32_t y, uint8_t scaled, double scaleX, double scaleY, const char* text,
               uint32_t colour, MEMIMG* destination, const Rect* clip, int32_t transparent, int32_t font,
               uint32_t edgeColour, int32_t length, int32_t vertical, int32_t* size, StringWalk* walk) {
  if (DrawingSuspended() || DirectDrawMissing()) return -1;
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  // Only a texture cache is drawn scaled; memory glyphs go one pixel for one.
  if (!f->textureCache || (mode != TEXT_MEASURE && !scaled)) {
    scaled = 0;
    scaleX = scaleY = 1.0;
  }
  const double advanceScale = vertical ? scaleY : scaleX;
  if (!text || !*text) return 0;
  int32_t count = 0;
  if (PrepareStringGlyphs(nullptr, text, font, length, &count) != 0) return -1;
  const GlyphCell* cells = FontScratchCells();

  // A texture cache is drawn from its graphs; a memory cache is written into the
  // destination.
  MemoryDraw m{};
  const bool draw = mode == TEXT_DRAW && !f->textureCache &&
                    StartMemoryDraw(m, f, destination, clip, transparent, colour, edgeColour);
  std::optional<TextureDraw> texture;
  if (mode == TEXT_DRAW && f->textureCache) texture.emplace(f, colour, edgeColour, scaled != 0, scaleX, scaleY);
  Rect ink{0, 0, 0, 0};
  bool inked = false;
  double pen = 0.0;
  for (int32_t k = 0; k < count; k++) {
    const GlyphCell& c = cells[k];
    const GlyphEntry* e = CachedGlyph(font, f, c);
    if (!IsSpace(c) && (e->width != 0 || e->height != 0)) {
      const int64_t p = int64_t(pen);
      if (draw) WriteGlyph(m, f, e, x, y, p, vertical != 0);
      if (texture) texture->Glyph(e, x, y, pen, vertical != 0);
      if (walk && e->width > 0 && e->height > 0) {
        const Rect box = GlyphBox(f, e, p, vertical != 0);
        if (!inked) ink = box;
        ink = {std::min(ink.left, box.left), std::min(ink.top, box.top), std::max(ink.right, box.right),
               std::max(ink.bottom, box.bottom)};
        inked = true;
      }
    }
    pen += (e->advance + f->extraAdvance) * advanceScale;
  }
  // What the image derived from its pixels is stale now.
  if (draw && m.wrote) {
    m.image->data->runMapValid = 0;
    m.image->data->premultipliedValid = 0;
  }
  const int32_t advance = int32_t(pen);
  if (size) {
    size[0] = vertical ? f->cellHeight : advance;
    size[1] = vertical ? advance : f->cellHeight;
  }
  if (walk) *walk = {pen, ink};
  return advance;
}

}  // namespace

int DrawStringThroughCache(int32_t mode, int32_t x, int32_t y, uint8_t scaled, double scaleX, double scaleY,
                           const char* text, uint32_t colour, MEMIMG* destination, const Rect* clip,
                           int32_t transparent, int32_t font, uint32_t edgeColour, int32_t length,
                           int32_t vertical, int32_t* size) {
  return WalkString(mode, x, y, scaled, scaleX, scaleY, text, colour, destination, clip, transparent, font,
                    edgeColour, length, vertical, size, nullptr);
}

int MeasureStringBox(int32_t font, const char* text, int32_t vertical, Rect* box) {
  int32_t size[2] = {0, 0};
  StringWalk walk{0.0, {0, 0, 0, 0}};
  const int result =
      WalkString(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 0, font, 0, -1, vertical, size, &walk);
  if (result < 0) return -1;
  Rect b{0, 0, size[0], size[1]};
  if (walk.ink.right > walk.ink.left && walk.ink.bottom > walk.ink.top)
    b = {std::min(b.left, walk.ink.left), std::min(b.top, walk.ink.top), std::max(b.right, walk.ink.right),
         std::max(b.bottom, walk.ink.bottom)};
  if (box) *box = b;
  return 0;
}

void TextColoursInImage(const MEMIMG* image, uint32_t colour, uint32_t edgeColour, uint32_t* text, uint32_t* edge) {
  if (!image || !IsMemImgValid(image) || !image->data->format) return;
  const PixelLayout p = LayoutOf(image);
  if (text) *text = InkValue(image, p, colour);
  if (edge) *edge = InkValue(image, p, edgeColour);
}

int DrawStringWithFont(int32_t x, int32_t y, const char* text, uint32_t color, int32_t font, uint32_t edgeColor,
                       int32_t vertical) {
  const DrawState& d = g_DrawState;
  if (!text || !*text || DrawingSuspended() || d.areaEmpty) return 0;
  if (!GetFontRecord(font)) return WriteLog("フォントハンドル値が異常です\n");
  g_SystemHooks.waitWhileInactive();
  // The wait may have rebuilt the graphics, and with them every font's record.
  const FontRecord* f = GetFontRecord(font);
  if (!f) return WriteLog("フォントハンドル値が異常です\n");

  const bool front = d.drawTarget == DRAW_SCREEN_FRONT && ScreenDrawnAsImages();
  const bool masked = IsMaskedDrawOn() != 0;
  // Subtraction on the device goes through passes over the line (a 2D stand-in of the
  // cache graph subtracts in the cores).
  const GraphRecord* cache = f->textureCache ? LookupGraph(f->cacheGraph) : nullptr;
  const bool subtract = d.blendMode == BLEND_SUBTRACT && cache && cache->flags.texture;
  Rect update{0, 0, 0, 0};
  if (front || masked || subtract) {
    // The line's cell height, edges included, and a little below it.
    const int64_t extent = int64_t(f->cellHeight) + 3;
    auto fit = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    update = vertical ? Rect{x, y, fit(x + extent), d.drawArea.bottom} : Rect{x, y, d.drawArea.right, fit(y + extent)};
    if (update.left >= d.drawArea.right) return 0;
    if (masked) BeginMaskedDraw(update.left, update.top, update.right, update.bottom);
  }
  if (front && g_ScreenState.presented) ReloadFrontImageFromScreen();
  int result = 0;
  if (f->textureCache) {
    if (subtract) BeginSubtractBlendPass(&update);
    result = DrawTextWithFontByCache(x, y, text, color, font, edgeColor, vertical);
    if (subtract) EndSubtractBlendPass(&update);
  } else {
    result = DrawTextWithFontCore(x, y, text, color, font, edgeColor, vertical);
  }
  if (masked) EndMaskedDraw(update.left, update.top, update.right, update.bottom);
  if (front) UpdateFrontRect(&update);
  return result;
}

int DrawTextDefaultFontCore(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor) {
  RefreshDefaultFont();
  return DrawStringWithFont(x, y, text, color, g_FontSystem.defaultFont, edgeColor, 0);
}
