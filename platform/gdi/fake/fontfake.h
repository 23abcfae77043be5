// The font back ends of platform/gdi and the block-glyph fake ("fake") that tests choose.
//
// The fake's fonts have metrics from a table keyed by the asked height (or, when the
// table has no row for it, derived from it: ascent = height - height / 4, descent the
// rest, widths height - 2) and glyphs from a table keyed by the character code (or, when
// it has none, a block half the height wide and as tall as the ascent, standing on the
// baseline, with that width as its advance). A block glyph is ink in every pixel (format
// 1) or its level in every pixel (format 5). Every creation is recorded, renders (calls
// with a buffer) are counted, and failures can be injected by face, by char set and by
// character code. Device-context failures come from PlatGdiFakeFailNext.
#pragma once

#include "platform/gdi/gdi.h"

#include <string>
#include <vector>

// "freetype" (the default for every platform) or "fake"; 0, or -1 for another name.
// Each font keeps the back end it was made with.
int PlatGdiSelectFontBackend(const char* name);
const char* PlatGdiFontBackendName();

struct PlatFontFakeMetrics {
  int32_t height, ascent, descent, aveCharWidth, maxCharWidth;
};
struct PlatFontFakeGlyph {
  uint32_t width, height;  // the block; 0 x 0 is an empty glyph
  int32_t originX, originY;
  int16_t advance;
  uint8_t level;  // format 5's level in every pixel of the block, 1 to 16
};
struct PlatFontFakeCreate {
  int32_t height, weight;
  uint32_t italic, charSet, quality, pitchAndFamily;
  std::string face;  // Shift-JIS
  bool made;         // false when an injected failure refused it
};

// Empty tables, no failures, no records, no renders.
void PlatFontFakeReset();
void PlatFontFakeSetMetrics(int32_t askedHeight, const PlatFontFakeMetrics& metrics);
void PlatFontFakeSetGlyph(uint32_t code, const PlatFontFakeGlyph& glyph);
// Fonts asked for with this face (Shift-JIS) / this char set are refused.
void PlatFontFakeFailFace(const char* face);
void PlatFontFakeFailCharSet(uint32_t charSet);
// PlatGetGlyphOutline of this code answers PLAT_GDI_GLYPH_ERROR.
void PlatFontFakeFailGlyph(uint32_t code);
std::vector<PlatFontFakeCreate> PlatFontFakeCreates();
// Glyph calls with a buffer, of any code, since the reset.
int PlatFontFakeRenders();
// Faces of the fake still open.
int PlatFontFakeLiveFaces();
