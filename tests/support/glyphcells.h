// A string's glyphs as a font's memory cache holds them, for the models of what drawing
// the string writes.
#pragma once

#include "engine/font/font.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Calls visit(entry, pen, i, j, value) for every pixel (column i, row j) of every glyph of
// the string, value being the cache's bit (type 0) or byte there and pen the advance of the
// characters before it (advances and the font's extra advance).
template <typename Visit>
void ForEachCachedGlyphPixel(int32_t font, const char* text, Visit visit) {
  const FontRecord* f = GetFontRecord(font);
  int32_t count = 0;
  ASSERT_EQ(PrepareStringGlyphs(nullptr, text, font, -1, &count), 0);
  const std::vector<GlyphCell> cells(FontScratchCells(), FontScratchCells() + count);
  int32_t pen = 0;
  for (const GlyphCell& c : cells) {
    const GlyphEntry* e = f->chars[GlyphCellKey(c)].glyph;
    ASSERT_NE(e, nullptr);
    int32_t cx, cy;
    GlyphCellPosition(f, e->cell, &cx, &cy);
    for (int32_t j = 0; j < e->height; j++) {
      const uint8_t* row = f->cacheMemory + size_t(cy + j) * f->cachePitch;
      for (int32_t i = 0; i < e->width; i++)
        visit(e, pen, i, j, f->fontType == 0 ? uint32_t(row[i >> 3] >> (7 - (i & 7))) & 1 : uint32_t(row[i]));
    }
    pen += e->advance + f->extraAdvance;
  }
}
