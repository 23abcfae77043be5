// Font handles and their glyph caches. A font handle stands for one font object of the
// GDI-like layer at one size, thickness and style, with a cache of rendered glyphs from
// which strings are drawn. Up to 40 exist at a time; the font system also keeps one
// default font that follows the default settings.
#pragma once

#include "engine/base/handle.h"
#include "engine/pixel/colorformat.h"
#include "platform/gdi/gdi.h"

#include <cstdint>

enum : int32_t {
  FONT_SLOTS = 40,
  FONT_FACE_BYTES = 256,       // a font's face name field, terminator included
  FONT_DEFAULT_FACE_BYTES = 128,
  FONT_CACHE_MAX_GLYPHS = 2024,
  FONT_SCRATCH_CELLS = 256,    // the most codes one render batch takes
};

// Font type bits.
enum : int32_t {
  FONT_TYPE_EDGE = 1,
  FONT_TYPE_ANTIALIAS = 2,
};

struct CharTableEntry;

// One cache cell's glyph.
struct GlyphEntry {
  uint16_t inUse;
  int16_t xOffset;   // pen to the glyph's left edge
  int16_t yOffset;   // line top to the glyph's top edge
  int16_t advance;
  int32_t cell;      // fixed per entry; -1 in the entry after the last
  int16_t width, height;
  CharTableEntry* character;
};

struct CharTableEntry {
  uint32_t cached;
  GlyphEntry* glyph;
};

struct FontRecord {
  uint32_t check;
  int32_t* deletedFlag;
  GlyphEntry glyphs[FONT_CACHE_MAX_GLYPHS + 1];
  CharTableEntry chars[65536];
  int32_t nextEntry;
  int32_t capacity;
  uint8_t* cacheMemory;
  int32_t cachePitch;
  int32_t cacheBitsPerPixel;
  char faceName[FONT_FACE_BYTES];
  int32_t thickness;
  int32_t size;
  int32_t cellHeight;
  int32_t italic;
  int32_t extraAdvance;
  int32_t cellWidth;
  PlatGdiObj gdiFont;
  int32_t fontType;
  int32_t charSet;
  int32_t edgeSize;
  int32_t cacheWidth;
  int32_t cacheHeight;
  int32_t glyphsPerColumn;
  int32_t drawingScreen;      // 2D surface handle, -1 none
  int32_t drawingScreenLost;  // its watched flag
  int32_t cacheGraph;         // texture cache only; -1 none
  int32_t edgeCacheGraph;
  int32_t cacheGraphLost;
  GraphImage staging;         // texture cache only
  int32_t textureCache;
};

// A string's character as the cache keys it: its one or two bytes and a 0.
struct GlyphCell {
  uint8_t bytes[3];
};

struct FontSystem {
  void* slots[FONT_SLOTS];
  HandleTable table;  // its check counter is the font system's
  int32_t defaultFont;
  char defaultFace[FONT_DEFAULT_FACE_BYTES];
  int32_t defaultSize;
  int32_t defaultThickness;
  int32_t defaultType;
  int32_t defaultCharSet;
  int32_t defaultEdgeSize;
  int32_t defaultItalic;
  int32_t defaultExtraAdvance;
  // The cells of the string being prepared when the caller gives no list; it grows to
  // the longest string asked for (tracked memory, freed by DeleteAllFonts).
  GlyphCell* scratchCells;
  int32_t scratchCapacity;
};
extern FontSystem g_FontSystem;

// The GDI char set of each char set index (0 default, 1 Shift-JIS, 2 Hangul).
extern const uint32_t kFontCharSets[3];

// ---- font handles ---------------------------------------------------------------------

// A font, or -1 with a log line. size, thickness, type, char set and edge size take -1
// for their defaults; wantedSlot and wantedCheck are -1 except when fonts are made again.
int32_t CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t fontType,
                           int32_t charSet, int32_t edgeSize, int32_t italic, int32_t wantedSlot,
                           int32_t wantedCheck);
FontRecord* GetFontRecord(int32_t font);
int QueryFontSize(int32_t font);
int SetFontExtraAdvance(int32_t extraAdvance, int32_t font);
// Registers the flag (null removes the watcher) and clears it now; 0 or -1.
int WatchFontDeletion(int32_t font, int32_t* flag);
// Makes the default font again when the default settings differ from it; 0.
int RefreshDefaultFont();
// Deletes every font and makes the default font again; 0, or -1 when DirectDraw is in
// use and its object does not exist yet.
int InitializeFontSystem();

// The colour format of a texture cache's staging image: the alpha-blended 16-bit texture
// format (4 bits each) for anti-aliased fonts, the alpha-tested one (1:5:5:5) otherwise.
void StagingFormat(bool antiAliased, ColorFormat* format);

// ---- the glyph cache --------------------------------------------------------------------

// Empties the cache; 0 or -1.
int ClearFontGlyphCache(int32_t font);
// Makes the drawing screen and the texture cache's graphs again when their watched flags
// read 1; 0 or -1.
int RestoreFontCacheGraphs(int32_t font);
// Renders count characters into the cache; the entry of the last, or null, with nothing
// done, while drawing is suspended, while DirectDraw is in use without its object, or for
// a bad handle.
GlyphEntry* RenderGlyphsToCache(int32_t font, int32_t count, const GlyphCell* cells);
// Cuts the string (length bytes, -1 for all) into cells (or the font system's own list
// when cells is null; a caller's list holds one cell a byte) and renders the characters
// not yet cached; the character count goes to *count. 0 or -1.
int PrepareStringGlyphs(GlyphCell* cells, const char* text, int32_t font, int32_t length,
                        int32_t* count);
// The cells PrepareStringGlyphs wrote last when given no list.
const GlyphCell* FontScratchCells();
// The table key of a cell: first byte + 256 x second.
inline uint16_t GlyphCellKey(const GlyphCell& c) { return uint16_t(c.bytes[0] | c.bytes[1] << 8); }
// Where cell n lies in the cache image.
inline void GlyphCellPosition(const FontRecord* f, int32_t n, int32_t* x, int32_t* y) {
  *x = (n / f->glyphsPerColumn) * f->cellWidth;
  *y = (n % f->glyphsPerColumn) * f->cellWidth;
}

// ---- drawing strings ------------------------------------------------------------------

struct MEMIMG;
struct Rect;

enum : int32_t {
  TEXT_MEASURE = 0,  // DrawStringThroughCache's modes
  TEXT_DRAW = 1,
};

// Lays a string out from the font's glyph cache and, in TEXT_DRAW mode, writes the glyphs
// of a memory cache into destination in its own pixel size and format, clipped to clip
// and to the image: transparent 1 writes the ink alone, 0 the glyph's whole rectangle
// (0 off the ink). colour and edgeColour are packed in the screen's format and are scaled
// by the draw brightness. length is in bytes (-1 the whole string); vertical text runs
// top to bottom, each glyph a quarter turn clockwise. size, when not null, receives the
// string's box (width, height). Scale factors serve texture caches only. The advance in
// whole pixels; 0 for a null or empty string; -1 while drawing is suspended, while
// DirectDraw is in use without its object, and for a bad handle.
int DrawStringThroughCache(int32_t mode, int32_t x, int32_t y, uint8_t scaled, double scaleX, double scaleY,
                           const char* text, uint32_t colour, MEMIMG* destination, const Rect* clip,
                           int32_t transparent, int32_t font, uint32_t edgeColour, int32_t length,
                           int32_t vertical, int32_t* size);
// The box that the string drawn at (0, 0) covers: its advance by its cell height (turned
// for vertical text), grown to every drawn glyph's rectangle; 0, or -1 as
// DrawStringThroughCache.
int MeasureStringBox(int32_t font, const char* text, int32_t vertical, Rect* box);
// The text and edge colours (packed in the screen's format) as the memory path writes
// them into image: scaled by the draw brightness, in the image's format, opaque where the
// format has alpha.
void TextColoursInImage(const MEMIMG* image, uint32_t colour, uint32_t edgeColour, uint32_t* text,
                        uint32_t* edge);
// The string in the font (edge colour for an edged font, vertical for a vertical font) with
// its top-left at (x, y), by the text core from the glyph cache in memory; 0 or -1.
int DrawTextWithFontCore(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                         uint32_t edgeColour, int32_t vertical);
// The string in a font whose glyph cache lives in a texture, its glyphs batched on the
// device; 0, or -1 while the device cannot draw to its target. A font whose cache is in
// memory goes to DrawTextWithFontCore, and that result is returned.
int DrawTextWithFontByCache(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                            uint32_t edgeColour, int32_t vertical);
