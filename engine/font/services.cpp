// The font system's least body until string drawing lands: text draws nothing.
#include "engine/font/services.h"

int DrawTextDefaultFontCore(int32_t, int32_t, const char*, uint32_t, uint32_t) { return 0; }
