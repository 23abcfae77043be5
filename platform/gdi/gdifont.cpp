// Fonts of the GDI-like layer: each a face of the font back end chosen when it was made.
#include "platform/gdi/gdi.h"

#include "platform/backend/chooser.h"
#include "platform/gdi/fake/fontfake.h"
#include "platform/gdi/gdistate.h"

using namespace gdicore;

namespace {

const PlatBackendOption<PlatFontBackend> kFontBackends[] = {
    {.table = PlatFontFreeTypeBackend, .platforms = PLAT_PLATFORM_SDL | PLAT_PLATFORM_HEADLESS},
    {.table = PlatFontFakeBackend, .platforms = 0},
};
// Each font keeps the back end it was made with, so a choice applies to the next font.
PlatBackendChoice<PlatFontBackend> fontBackend(kFontBackends, PLAT_BACKEND_SWITCHABLE);

// The font selected into a device context, or null for a bad dc or the stock font.
Font* FontOfDC(Gdi& g, PlatDC handle) {
  DC* dc = FindDC(g, handle);
  return dc ? FindFont(g, dc->font) : nullptr;
}

}  // namespace

// ---- fonts -----------------------------------------------------------------------------------

PlatGdiObj PlatCreateFont(int32_t height, int32_t weight, uint32_t italic, uint32_t charSet, uint32_t quality,
                          uint32_t pitchAndFamily, const char* face) {
  ENTER("CreateFont", 0);
  const PlatFontBackend* backend = fontBackend.Get();
  const PlatFontRequest request{height, weight, italic, charSet, quality, pitchAndFamily, face ? face : ""};
  void* made = backend->open(request);
  if (!made) return 0;
  const PlatGdiObj handle = NewHandle(g, KIND_FONT);
  g.fonts[handle] = Font{backend, made};
  return handle;
}

int PlatGetTextMetrics(PlatDC dc, PlatTextMetrics* out) {
  ENTER("GetTextMetrics", 0);
  Font* f = FontOfDC(g, dc);
  if (!f || !out) return 0;
  f->backend->textMetrics(f->face, out);
  return 1;
}

uint32_t PlatGetGlyphOutline(PlatDC dc, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics,
                             uint32_t bufferSize, void* buffer, const PlatMat2* matrix) {
  ENTER("GetGlyphOutline", PLAT_GDI_GLYPH_ERROR);
  Font* f = FontOfDC(g, dc);
  if (!f || !matrix || (format != PLAT_GGO_BITMAP && format != PLAT_GGO_GRAY4_BITMAP)) return PLAT_GDI_GLYPH_ERROR;
  return f->backend->glyphOutline(f->face, code, format, metrics, bufferSize, buffer, *matrix);
}

int PlatGdiSelectFontBackend(const char* name) { return fontBackend.Select(name); }
const char* PlatGdiFontBackendName() { return fontBackend.Name(); }
