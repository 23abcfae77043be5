// Test seam of the texture glyph cache: with the switch on, every font takes the texture
// cache whatever the renderer, and its cache graph is a 2D graph with an alpha channel, so
// that the draw cores draw it (the 1-bit alpha of plain fonts standing in for the alpha
// test) before any Direct3D device exists.
#pragma once

#include <cstdint>

void SetFontTextureCacheOn2DForTest(int32_t on);
int32_t FontTextureCacheOn2DForTest();
// The next cache graph made fails at a step: 1 the graph itself, 2 its edge graph (after
// the graph was made); 0 none. Once.
void FailNextFontCacheGraphForTest(int32_t step);
// The failure asked for, cleared (the cache graph's making reads it).
int32_t TakeFontCacheGraphFailure();
