// Frames drawn straight into the engine's screen for presenting tests and benchmarks: a
// pattern (0xRRGGBB by position) written into a software image, a surface of the screen's
// format, or the back screen as the draws see it, past every draw function.
#pragma once

#include "engine/graphics/screen.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/memimg.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>
#include <cstring>

typedef uint32_t (*ScreenPattern)(int32_t x, int32_t y);

inline void FillPixels(uint8_t* pixels, int32_t pitch, int32_t width, int32_t height, const ColorFormat* format,
                       ScreenPattern pattern) {
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const uint32_t rgb = pattern(x, y);
      const uint32_t v =
          ColorToPixelValue(format, int32_t(rgb >> 16), int32_t(rgb >> 8 & 0xFF), int32_t(rgb & 0xFF), 255);
      std::memcpy(pixels + size_t(y) * size_t(pitch) + size_t(x) * format->bytesPerPixel, &v, format->bytesPerPixel);
    }
}

inline void FillImage(MEMIMG* image, ScreenPattern pattern) {
  FillPixels(image->pixels, image->data->pitch, image->width, image->height, image->data->format, pattern);
}

// A surface of the screen's format, whole; false when it cannot be locked.
inline bool FillSurface(PlatDDSurface surface, ScreenPattern pattern) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  if (!surface || PlatDDSurfaceLock(surface, nullptr, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return false;
  FillPixels(static_cast<uint8_t*>(d.surface), d.pitch, int32_t(d.width), int32_t(d.height), GetScreenColorFormat(),
             pattern);
  return PlatDDSurfaceUnlock(surface, nullptr) == PLAT_DD_OK;
}

// The back screen as the draws see it: the software back image, or the back surface.
inline bool FillBackScreen(ScreenPattern pattern) {
  const ScreenState& s = g_ScreenState;
  if (!s.backImage) return FillSurface(s.back, pattern);
  FillImage(s.backImage, pattern);
  return true;
}
