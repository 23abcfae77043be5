// The font services: the functions of fonts and text that the rest of the engine reaches
// through g_FontServices, one entry each (see engine/base/servicetable.h).
// No include guard: read once for each thing made from it.

// Draws a zero-terminated Shift-JIS string with the default font (made again first when
// the default settings changed); 0 or -1.
KR_SERVICE(int, DrawTextDefaultFontCore, drawTextDefaultFontCore,
           (int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor))
// Deletes a font (setting the flag registered for it); 0, or -1 for a bad handle.
KR_SERVICE(int, DeleteFontHandle, deleteFontHandle, (int32_t font))
