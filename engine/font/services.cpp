// Stubs until fonts land: there are no fonts, and text draws nothing.
#include "engine/font/services.h"

int DrawTextDefaultFontCore(int32_t, int32_t, const char*, uint32_t, uint32_t) { return 0; }
int DeleteFontHandle(int32_t) { return -1; }

int IsFontHandleValid(int32_t) { return 0; }
int QueryDefaultFont() { return -1; }
int QueryFontSettings(int32_t, int32_t*, int32_t*) { return -1; }
int ApplyDefaultFontSize(int32_t, int32_t) { return 0; }

int ResetFontDefaults() { return 0; }
int DeleteAllFonts() { return 0; }
int RefreshAllFontHandles() { return 0; }
