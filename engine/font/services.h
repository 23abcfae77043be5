// What the engine start and end and the public entry points ask of fonts and text.
#pragma once

#include <cstdint>

// Draws a zero-terminated Shift-JIS string with the default font; 0 or -1.
int DrawTextDefaultFontCore(int32_t x, int32_t y, const char* text, uint32_t color,
                            uint32_t edgeColor);
// Deletes a font (setting the flag registered for it); 0, or -1 for a bad handle.
int DeleteFontHandle(int32_t font);
