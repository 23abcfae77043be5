// The pixels of DirectDraw-style surfaces for the Direct3D-style device (platform/d3d),
// which draws into them directly. Not for the engine.
#pragma once

#include "platform/ddraw/ddraw.h"

#include <cstdint>

struct PlatDDSurfaceMemory {
  uint8_t* bits;  // pixel (0, 0); valid until the caller returns to its own caller
  int32_t width, height, pitch;
  PlatDDPixelFormat format;
  uint32_t caps;
  bool keyed;  // a source colour key
  PlatDDColorKey key;
  PlatDDSurface depth;  // the Z surface attached, or 0
};

// The surface's memory now: INVALIDOBJECT for no live surface, SURFACELOST for a lost one,
// SURFACEBUSY while it is locked or has its device context out.
int32_t PlatDDSurfaceGetMemory(PlatDDSurface surface, PlatDDSurfaceMemory* memory);
// Whether the handle names a live DirectDraw-style object.
bool PlatDDrawIsObject(PlatDDraw object);
// The one Z-buffer format (16 bits), and whether two formats are one.
PlatDDPixelFormat PlatDDDepthFormat16();
bool PlatDDSameFormat(const PlatDDPixelFormat& a, const PlatDDPixelFormat& b);
// A draw into the surface ended: the primary's frame is marked for upload.
void PlatDDSurfaceDrawn(PlatDDSurface surface);
