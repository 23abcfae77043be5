// The glyph cache: cells of one image, filled through the GDI-like layer's glyph outlines,
// taken as a ring when full. The image is memory of the font's own (1 bit a pixel for
// plain fonts, 8 for the others) or, on the Direct3D renderer, a 16-bit graph with alpha
// into which each glyph goes through the staging image, white with the coverage as alpha.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/font/font.h"
#include "engine/font/fonttest.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surface2d.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/fatal.h"

#include <algorithm>
#include <cstring>

namespace {

// The edge brushes of sizes 1 to 4, each occupying rows and columns 0 to 2 x size with
// its centre at (size, size); larger edges take the full square.
constexpr const char* kBrushRows[4][9] = {
    {".#.", "#.#", ".#."},
    {".###.", "#####", "#####", "#####", ".###."},
    {"...#...", ".#####.", ".#####.", "#######", ".#####.", ".#####.", "...#..."},
    {"..#####..", ".#######.", "#########", "#########", "#########", "#########", "#########", ".#######.",
     "..#####.."},
};

struct EdgeBrushes {
  uint8_t mask[4][9][9];
};

constexpr EdgeBrushes MakeBrushes() {
  EdgeBrushes b{};
  for (int s = 0; s < 4; s++)
    for (int y = 0; y <= 2 * (s + 1); y++)
      for (int x = 0; x <= 2 * (s + 1); x++) b.mask[s][y][x] = kBrushRows[s][y][x] == '#' ? 1 : 0;
  return b;
}
constexpr EdgeBrushes kEdgeBrushes = MakeBrushes();

bool Covered(int32_t edge, int32_t dx, int32_t dy) {
  if (edge > 4) return true;
  return kEdgeBrushes.mask[edge - 1][dy + edge][dx + edge] != 0;
}

bool DirectDrawMissing() { return IsDirectDrawUsed() && !GetDirectDrawObject(); }

// One glyph as the layer gave it, rows top first one pitch apart.
struct GlyphBits {
  const uint8_t* rows;
  uint32_t pitch;
  int32_t width, height;
  bool oneBit;
  uint32_t Level(int32_t x, int32_t y) const {
    const uint8_t* row = rows + size_t(y) * pitch;
    return oneBit ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x];
  }
};

// Calls visit(x, y, level) for every pixel (x, y) of the brush around each ink pixel of the
// glyph, in the cell's coordinates (the body at the edge-size offset), body pixels in order.
template <typename Visit>
void ForEachEdgePixel(const GlyphBits& g, int32_t e, Visit visit) {
  for (int32_t y = 0; y < g.height; y++)
    for (int32_t x = 0; x < g.width; x++) {
      const uint32_t v = g.Level(x, y);
      if (!v) continue;
      for (int32_t dy = -e; dy <= e; dy++)
        for (int32_t dx = -e; dx <= e; dx++)
          if (Covered(e, dx, dy)) visit(e + x + dx, e + y + dy, v);
    }
}

// Writes the glyph into the cell whose top-left byte row is cell, clipped to the cell:
// a glyph wider or taller than its cell would run into the next one and, in the last
// cell, past the cache.
void WriteGlyph(const FontRecord* f, uint8_t* cell, const GlyphBits& g) {
  const int32_t side = f->cellWidth;
  const int32_t pitch = f->cachePitch;
  if (f->fontType == 0) {
    const int32_t rows = std::min(g.height, side);
    const size_t bytes = std::min<size_t>((size_t(g.width) + 7) / 8, size_t(pitch));
    for (int32_t y = 0; y < rows; y++) std::memcpy(cell + size_t(y) * pitch, g.rows + size_t(y) * g.pitch, bytes);
    return;
  }
  const bool edged = f->fontType & FONT_TYPE_EDGE;
  const int32_t e = edged ? f->edgeSize : 0;
  auto at = [&](int32_t x, int32_t y) -> uint8_t* {
    return x < 0 || y < 0 || x >= side || y >= side ? nullptr : cell + size_t(y) * pitch + x;
  };
  // The body first: the edge pass below reads it.
  for (int32_t y = 0; y < g.height; y++)
    for (int32_t x = 0; x < g.width; x++) {
      const uint32_t v = g.Level(x, y);
      uint8_t* p = v ? at(e + x, e + y) : nullptr;
      if (!p) continue;
      if (f->fontType == FONT_TYPE_EDGE) *p = 1;
      else if (f->fontType == FONT_TYPE_ANTIALIAS) *p = uint8_t(v - 1);
      else *p = uint8_t(*p | (v - 1));
    }
  if (!edged) return;
  ForEachEdgePixel(g, e, [&](int32_t x, int32_t y, uint32_t v) {
    uint8_t* p = at(x, y);
    if (!p) return;
    if (f->fontType == FONT_TYPE_EDGE) {
      if (*p != 1) *p = 2;
    } else if ((*p >> 4) < v - 1) {
      *p = uint8_t((*p & 0x0F) | (v - 1) << 4);
    }
  });
}

// The staging image's pixel at (x, y) of one half (0 the body, 1 the edge; fonts without
// edge have only the first), or null outside it: a glyph wider or taller than its cell
// would run into the other half or past the image.
struct Staging {
  GraphImage* image;
  int32_t side;  // a half's width
  uint16_t* At(int32_t half, int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= side || y >= int32_t(image->height)) return nullptr;
    return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(image->pixels) + size_t(y) * image->pitch) +
           half * side + x;
  }
};

// Writes the glyph into the cleared staging image: white in every colour bit, the coverage
// in alpha. Levels of 0 to 16 become alpha by (L << (alpha width + shift - 4)) - 1, which
// turns 16 into full alpha and 1 into none.
void WriteGlyphTexture(const FontRecord* f, GraphImage* image, const GlyphBits& g) {
  const ColorFormat& format = image->format;
  const uint32_t white = format.redMask | format.greenMask | format.blueMask;
  const uint32_t alpha = format.alphaMask;
  const int32_t levelShift = format.alphaWidth + format.alphaShift - 4;
  auto levelColour = [&](uint32_t level) {
    return uint16_t(level ? ((level << levelShift) - 1) | white : white);
  };
  const Staging s{image, f->cellWidth};
  const bool edged = f->fontType & FONT_TYPE_EDGE;
  const int32_t e = edged ? f->edgeSize : 0;
  // Body first: the edges of type 3 read the levels it leaves.
  for (int32_t y = 0; y < g.height; y++)
    for (int32_t x = 0; x < g.width; x++) {
      uint16_t* p = s.At(0, e + x, e + y);
      if (!p) continue;
      const uint32_t v = g.Level(x, y);
      if (f->fontType == 0) *p = uint16_t(v ? white | alpha : white);
      else if (f->fontType == FONT_TYPE_ANTIALIAS) *p = levelColour(v);
      else if (v) *p = f->fontType == FONT_TYPE_EDGE ? uint16_t(white | alpha) : uint16_t(v);  // type 3: the level
    }
  if (!edged) return;
  ForEachEdgePixel(g, e, [&](int32_t x, int32_t y, uint32_t v) {
    uint16_t* p = s.At(1, x, y);
    if (!p) return;
    if (f->fontType == FONT_TYPE_EDGE) {
      if (!(*p & alpha)) *p = uint16_t(white | alpha);
    } else {
      // Coverages meet as 1 - (1 - e)(1 - L), in sixteenths.
      *p = uint16_t((256 - (16 - int32_t(*p)) * (16 - int32_t(v))) >> 4);
    }
  });
  if (f->fontType == FONT_TYPE_EDGE) return;
  // Type 3's levels of both halves become colours.
  for (int32_t y = 0; y < g.height + 2 * e; y++)
    for (int32_t x = 0; x < g.width + 2 * e; x++)
      for (int32_t half = 0; half < 2; half++)
        if (uint16_t* p = s.At(half, x, y)) *p = levelColour(*p);
}

// The staging image's cell into the cache graph: the whole cell (and, for edge fonts, the
// edge half at the same cell of the graph's right half), so that nothing of the glyph the
// cell held before is left beside the new one.
void UploadCell(FontRecord* f, int32_t cx, int32_t cy) {
  const int32_t side = f->cellWidth;
  const Rect body{0, 0, side, side};
  FillGraphFromImage(nullptr, &f->staging, nullptr, &body, cx, cy, f->cacheGraph, 0);
  if (!(f->fontType & FONT_TYPE_EDGE)) return;
  const Rect edge{side, 0, 2 * side, side};
  FillGraphFromImage(nullptr, &f->staging, nullptr, &edge, cx + f->cacheWidth, cy, f->cacheGraph, 0);
}

// The settings for new graphs switched for the cache graph and put back when it goes out
// of scope, on every path: a failed creation must not leave them to the program's next
// graphs.
class CacheGraphSettings {
 public:
  explicit CacheGraphSettings(bool antiAliased)
      : alpha_(GetNewGraphAlpha()), key_(GetNewGraphColorKey()), depth_(GetNewGraphBitDepth()),
        use3D_(g_DrawState.use3D) {
    // A 2D stand-in keeps the 1-bit alpha of plain fonts as an alpha channel, in the
    // screen's depth, which is what the cores draw from.
    const bool on2D = FontTextureCacheOn2DForTest() != 0;
    SetNewGraphAlpha(antiAliased || on2D ? 1 : 0);
    SetNewGraphColorKey(antiAliased ? 0 : 1);
    SetNewGraphBitDepth(on2D ? 0 : 16);
    g_DrawState.use3D = 1;
  }
  ~CacheGraphSettings() {
    SetNewGraphAlpha(alpha_);
    SetNewGraphColorKey(key_);
    SetNewGraphBitDepth(depth_);
    g_DrawState.use3D = use3D_;
  }
  CacheGraphSettings(const CacheGraphSettings&) = delete;
  CacheGraphSettings& operator=(const CacheGraphSettings&) = delete;

 private:
  int32_t alpha_, key_, depth_, use3D_;
};

// Makes the cache graph (and the edge graph over its right half), white at alpha 0; 0, or
// -1 with nothing of it left.
int MakeCacheGraph(FontRecord* f) {
  const bool edged = f->fontType & FONT_TYPE_EDGE;
  // An edge graph left from a cache graph freed on its own goes first.
  if (f->edgeCacheGraph != -1) FreeGraph(f->edgeCacheGraph, 0);
  f->cacheGraph = f->edgeCacheGraph = -1;
  {
    const CacheGraphSettings settings((f->fontType & FONT_TYPE_ANTIALIAS) != 0);
    const int32_t width = edged ? 2 * f->cacheWidth : f->cacheWidth;
    const int32_t failure = TakeFontCacheGraphFailure();
    f->cacheGraph = failure == 1 ? -1 : MakeBlankGraph(width, f->cacheHeight, FontTextureCacheOn2DForTest());
    if (f->cacheGraph != -1 && edged) {
      f->edgeCacheGraph =
          failure == 2 ? -1 : CreateSubGraph(f->cacheWidth, 0, f->cacheWidth, f->cacheHeight, f->cacheGraph);
      if (f->edgeCacheGraph == -1) {
        FreeGraph(f->cacheGraph, 0);
        f->cacheGraph = -1;
      }
    }
  }
  if (f->cacheGraph == -1) return -1;
  WatchGraphDeletion(f->cacheGraph, &f->cacheGraphLost);
  PaintGraphColor(f->cacheGraph, 255, 255, 255, 0);
  return 0;
}

}  // namespace

int ClearFontGlyphCache(int32_t font) {
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  std::memset(f->chars, 0, sizeof f->chars);
  std::memset(f->glyphs, 0, sizeof f->glyphs);
  for (int32_t i = 0; i < f->capacity; i++) f->glyphs[i].cell = i;
  f->glyphs[f->capacity].cell = -1;
  f->nextEntry = 0;
  return 0;
}

int RestoreFontCacheGraphs(int32_t font) {
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  if (f->drawingScreenLost == 1) {
    f->drawingScreenLost = 0;
    int32_t width = 0, height = 0;
    QueryScreenSize(&width, &height);
    SurfaceCreateFlags flags{};
    flags.alpha = (f->fontType & FONT_TYPE_ANTIALIAS) ? 1 : 0;
    flags.bitDepth = uint8_t(QueryScreenDepth());
    // Strings are written into it by the processor: a software image in every mode.
    flags.systemMemory = 1;
    f->drawingScreen = AddSurface2D(width, height, 0, 0, -1, nullptr, 0, 0, &flags);
    if (f->drawingScreen == -1) return -1;
    WatchSurface2DDeletion(f->drawingScreen, &f->drawingScreenLost);
  }
  if (f->cacheGraphLost != 1) return 0;
  f->cacheGraphLost = 0;
  if (MakeCacheGraph(f) != 0) return -1;
  ClearFontGlyphCache(font);
  return 0;
}

GlyphEntry* RenderGlyphsToCache(int32_t font, int32_t count, const GlyphCell* cells) {
  if (g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] || DirectDrawMissing()) return nullptr;
  FontRecord* f = GetFontRecord(font);
  if (!f || count < 1 || !cells) return nullptr;
  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  const PlatGdiObj old = dc ? PlatGdiSelectObject(dc, f->gdiFont) : 0;
  if (!dc || !old) FatalEngineExit("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  PlatTextMetrics tm{};
  PlatGetTextMetrics(dc, &tm);
  const uint32_t format = (f->fontType & FONT_TYPE_ANTIALIAS) ? PLAT_GGO_GRAY4_BITMAP : PLAT_GGO_BITMAP;
  const PlatMat2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  const int32_t edges = (f->fontType & FONT_TYPE_EDGE) ? 2 * f->edgeSize : 0;
  GlyphEntry* last = nullptr;
  for (int32_t i = 0; i < count; i++) {
    const GlyphCell& c = cells[i];
    GlyphEntry* e = &f->glyphs[f->nextEntry];
    if (e->inUse) {
      // The character may have moved to a later entry meanwhile (listed twice in a batch).
      if (e->character && e->character->glyph == e) {
        e->character->cached = 0;
        e->character->glyph = nullptr;
      }
      e->inUse = 0;
    }
    CharTableEntry* ch = &f->chars[GlyphCellKey(c)];
    ch->glyph = e;
    ch->cached = 1;
    e->character = ch;
    e->inUse = 1;

    int32_t cx, cy;
    GlyphCellPosition(f, e->cell, &cx, &cy);
    uint8_t* cell = nullptr;
    if (f->textureCache) {
      std::memset(f->staging.pixels, 0, size_t(f->staging.pitch) * f->staging.height);
    } else {
      cell = f->cacheMemory + size_t(cy) * size_t(f->cachePitch);
      std::memset(cell, 0, size_t(f->cachePitch) * size_t(f->cellWidth));
    }

    const uint32_t code = c.bytes[1] ? uint32_t(c.bytes[0]) << 8 | c.bytes[1] : c.bytes[0];
    const bool space = (c.bytes[0] == 0x20 && c.bytes[1] == 0) || (c.bytes[0] == 0x81 && c.bytes[1] == 0x40);
    PlatGlyphMetrics gm{};
    const uint32_t size = PlatGetGlyphOutline(dc, code, format, &gm, 0, nullptr, &identity);
    if (size == PLAT_GDI_GLYPH_ERROR) FatalEngineExit("GetGlyphOutline 関数が失敗しました");
    e->advance = gm.cellIncX;
    if (space) {
      e->xOffset = e->yOffset = 0;
      e->width = e->height = 0;
    } else {
      e->xOffset = int16_t(gm.originX);
      e->yOffset = int16_t(tm.ascent - gm.originY);
      e->width = e->height = 0;
      // An empty glyph (data size 0) has nothing to fetch or write.
      if (size != 0) {
        const uint32_t pitch = size / gm.blackBoxY / 4 * 4;
        uint8_t* buffer = static_cast<uint8_t*>(TrackedCalloc(size_t(size) + 2 * size_t(pitch), __FILE__, __LINE__));
        if (!buffer) FatalEngineExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
        if (PlatGetGlyphOutline(dc, code, format, &gm, size, buffer + pitch, &identity) == PLAT_GDI_GLYPH_ERROR)
          FatalEngineExit("GetGlyphOutline 関数が失敗しました");
        const GlyphBits bits{buffer + pitch, pitch, int32_t(gm.blackBoxX), int32_t(gm.blackBoxY),
                             format == PLAT_GGO_BITMAP};
        if (f->textureCache) WriteGlyphTexture(f, &f->staging, bits);
        else WriteGlyph(f, cell, bits);
        TrackedFree(buffer);
        e->width = int16_t(std::min<int64_t>(gm.blackBoxX, f->cellWidth));
        e->height = int16_t(std::min<int64_t>(gm.blackBoxY, f->cellWidth));
      }
    }
    if (edges) {
      e->advance = int16_t(e->advance + edges);
      // What was written stays inside the cell, and so does the entry.
      e->width = int16_t(std::min(e->width + edges, f->cellWidth));
      e->height = int16_t(std::min(e->height + edges, f->cellWidth));
    }
    // Also an empty glyph's cell: an edged one is drawn over its edges' extent.
    if (f->textureCache && !space) UploadCell(f, cx, cy);
    if (++f->nextEntry >= f->capacity) f->nextEntry = 0;
    last = e;
  }
  PlatGdiSelectObject(dc, old);
  PlatGdiDeleteDC(dc);
  return last;
}

int PrepareStringGlyphs(GlyphCell* cells, const char* text, int32_t font, int32_t length, int32_t* count) {
  FontRecord* f = GetFontRecord(font);
  if (!f || !text) return -1;
  FontSystem& fs = g_FontSystem;
  int32_t bytes = int32_t(std::min<size_t>(std::strlen(text), INT32_MAX));
  if (length != -1 && length < bytes) bytes = std::max(length, 0);
  if (!cells) {
    // One cell a byte at most: the list grows to the string, so a long one stays inside.
    if (bytes > fs.scratchCapacity) {
      const int32_t wanted = std::max(bytes, int32_t(FONT_SCRATCH_CELLS));
      GlyphCell* grown = static_cast<GlyphCell*>(TrackedAlloc(sizeof(GlyphCell) * size_t(wanted), __FILE__, __LINE__));
      if (!grown) {
        WriteLog("文字列処理用メモリの確保に失敗しました\n");
        return -1;
      }
      if (fs.scratchCells) TrackedFree(fs.scratchCells);
      fs.scratchCells = grown;
      fs.scratchCapacity = wanted;
    }
    cells = fs.scratchCells;
  }
  GlyphCell pending[FONT_SCRATCH_CELLS];
  int32_t pendingCount = 0;
  int32_t n = 0;
  for (int32_t i = 0; i < bytes; n++) {
    // A double-byte character is never split: its trail is taken even past the length.
    const bool two = IsLeadByte(text + i, f->charSet) && text[i + 1] != '\0';
    GlyphCell c{{uint8_t(text[i]), uint8_t(two ? text[i + 1] : 0), 0}};
    cells[n] = c;
    i += two ? 2 : 1;
    if (!f->chars[GlyphCellKey(c)].cached && pendingCount < FONT_SCRATCH_CELLS && pendingCount < f->capacity)
      pending[pendingCount++] = c;
  }
  if (pendingCount > 0) RenderGlyphsToCache(font, pendingCount, pending);
  if (count) *count = n;
  return 0;
}

const GlyphCell* FontScratchCells() { return g_FontSystem.scratchCells; }
