// The font services: the functions of fonts and text that the rest of the engine reaches
// through g_FontServices, one entry each (see engine/base/servicetable.h).
// No include guard: read once for each thing made from it.

// Draws a zero-terminated Shift-JIS string with the default font (made again first when
// the default settings changed); 0 or -1.
KR_SERVICE(int, DrawTextDefaultFontCore, drawTextDefaultFontCore,
           (int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor))
// Deletes a font (setting the flag registered for it); 0, or -1 for a bad handle.
KR_SERVICE(int, DeleteFontHandle, deleteFontHandle, (int32_t font))
// The on-screen log's font and its lines.
KR_SERVICE(int32_t, CreateFontToHandle, createFontToHandle,
           (const char* face, int32_t size, int32_t thickness, int32_t fontType, int32_t charSet,
            int32_t edgeSize, int32_t italic, int32_t wantedSlot, int32_t wantedCheck))
KR_SERVICE(int, IsFontHandleValid, isFontHandleValid, (int32_t font))
KR_SERVICE(int, WatchFontDeletion, watchFontDeletion, (int32_t font, int32_t* flag))
KR_SERVICE(int, DrawStringWithFont, drawStringWithFont,
           (int32_t x, int32_t y, const char* text, uint32_t color, int32_t font, uint32_t edgeColor,
            int32_t vertical))
