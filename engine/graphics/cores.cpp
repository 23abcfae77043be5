// Stubs until the graphics subsystem lands: a 16-bit 5:6:5 screen that nothing is
// drawn on, and no image file can be loaded.
#include "engine/graphics/cores.h"

#include "engine/pixel/colorformat.h"

const PixelFormatRecord* GetScreenPixelFormatCore() {
  static PixelFormatRecord record;
  MakeRgbPixelFormatCore(&record, 16, 0xF800, 0x07E0, 0x001F, 0);
  return &record;
}

uint32_t PackScreenColorCore(int32_t red, int32_t green, int32_t blue) {
  return (uint32_t(red & 0xFF) >> 3) << 11 | (uint32_t(green & 0xFF) >> 2) << 5 |
         uint32_t(blue & 0xFF) >> 3;
}

int PresentScreenCore() { return 0; }
int SetScreenModeCore(int32_t, int32_t, int32_t, int32_t) { return 0; }
int FreeAllGraphsCore(int32_t) { return 0; }

int LoadSplitGraphCore(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t*,
                       int32_t) {
  return -1;
}

int ClearDrawTargetCore() { return 0; }
int DrawColorBoxCore(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
