// What the engine start and end and the public entry points ask of fonts and text.
#pragma once

#include "engine/base/servicetable.h"

#include <cstdint>

// Draws a zero-terminated Shift-JIS string with a font on the draw target, horizontally
// (vertical 0) or from top to bottom; 0, also for a null or empty string, while drawing
// is suspended and with an empty draw area, or -1 (a bad handle logs it).
int DrawStringWithFont(int32_t x, int32_t y, const char* text, uint32_t color, int32_t font,
                       uint32_t edgeColor, int32_t vertical);
// The functions of the table below: the default font's text, a font's deletion, and what
// the on-screen log draws with.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/font/servicelist.h"
#undef KR_SERVICE

// ---- what the screen mode change asks of fonts -------------------------------------------

// 1 for a live font handle.
int IsFontHandleValid(int32_t font);
// The default font's handle, or -1 while there is none.
int QueryDefaultFont();
// A font's face name (into 256 bytes), size and thickness, each out pointer may be null;
// 0, or -1 for a bad handle.
int QueryFontSettings(char* face, int32_t* size, int32_t* thickness, int32_t font);
// Makes the default font again with this size and thickness; 0.
int ApplyDefaultFontSize(int32_t size, int32_t thickness);

// ---- what the graph manager asks of fonts -------------------------------------------------

// Puts the default font's settings back (the graph manager's start); 0.
int ResetFontDefaults();
// Deletes every font handle (the graph manager's end); 0.
int DeleteAllFonts();
// Makes every font's glyph cache again under its own handle (after the graphs were lost); 0.
int RefreshAllFontHandles();

// The listed functions as the rest of the engine reaches them: through this table, so
// that a test can watch a call or script its result. It holds the functions of the list
// unless a test changed it; fonts themselves call their functions directly.
struct FontServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/font/servicelist.h"
#undef KR_SERVICE
};
extern FontServices g_FontServices;
// The table as it starts: the functions of the list.
extern const FontServices kFontServices;
