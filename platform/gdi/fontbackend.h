// Between the font calls of the GDI-like layer (gdifont.cpp) and their back ends. Not for
// the engine. A back end makes one face instance per font object; the layer keeps the
// object records, device-context selection and the lock, and calls the back end under it.
#pragma once

#include "platform/gdi/gdi.h"

#include <string>

struct PlatFontRequest {
  int32_t height;
  int32_t weight;
  uint32_t italic;
  uint32_t charSet;
  uint32_t quality;
  uint32_t pitchAndFamily;
  std::string face;  // Shift-JIS
};

struct PlatFontBackend {
  const char* name;
  // The face instance for the request, or null when it cannot be made.
  void* (*open)(const PlatFontRequest& request);
  void (*close)(void* face);
  void (*textMetrics)(void* face, PlatTextMetrics* out);
  // As PlatGetGlyphOutline, with format and matrix already checked.
  uint32_t (*glyphOutline)(void* face, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics,
                           uint32_t bufferSize, void* buffer, const PlatMat2& matrix);
};

const PlatFontBackend* PlatFontFreeTypeBackend();
const PlatFontBackend* PlatFontFakeBackend();

// Data sizes of the two formats for a bitmap of width x rows: rows padded to 4 bytes.
inline uint32_t PlatGlyphPitch(uint32_t format, uint32_t width) {
  return format == PLAT_GGO_BITMAP ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
}
