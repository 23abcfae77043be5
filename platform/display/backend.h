// Between the display's common part (display.cpp: modes, the store, the raster) and its
// back ends (headless/, sdl/), and for platform/ddraw, which shares the store's memory.
// Not for the engine.
#pragma once

#include "platform/display/display.h"

#include <cstdint>
#include <memory>
#include <vector>

// Pixel memory that outlives whoever let go of it last: the store, and every surface of
// platform/ddraw. A pointer handed out from it stays valid while a holder keeps it.
struct PlatPixelMemory {
  std::vector<uint8_t> bytes;
};
typedef std::shared_ptr<PlatPixelMemory> PlatPixelRef;

// The store's memory as it is now; it is replaced (never freed under a holder) by a mode
// change.
PlatPixelRef PlatDisplayStoreMemory();
// Puts other memory of the store's size in as the store (a flip); the old is returned.
PlatPixelRef PlatDisplaySwapStoreMemory(PlatPixelRef memory);

// What an upload shows: a snapshot of the store and the windows.
struct PlatDisplayFrame {
  const uint8_t* pixels;
  PlatDisplayMode mode;  // size and format of the store
  int32_t pitch;
  const uint32_t* palette;  // 256 entries 0xRRGGBB
  PlatWnd fullScreenWindow; // shows the whole store scaled; 0 when none
  const PlatWnd* windows;   // show their client rectangles of the store
  int windowCount;
};

struct PlatDisplayBackend {
  const char* name;
  const char* description;
  // The desktop mode.
  void (*desktop)(PlatDisplayMode* mode);
  // 1 when a mode is accepted (asked after the common checks: depth 8, 16 or 32).
  int (*accepts)(const PlatDisplayMode& mode);
  // Shows the frame; called on the windows' thread with the store held still.
  void (*upload)(const PlatDisplayFrame& frame);
  // A shown window went away.
  void (*forget)(PlatWnd window);
};

const PlatDisplayBackend* PlatDisplayHeadlessBackend();
// The back end's desktop changed: the display takes it as its mode, with a new store
// and a loss; notify posts WM_DISPLAYCHANGE.
void PlatDisplayDesktopChanged(int notify);
const PlatDisplayBackend* PlatDisplaySdlBackend();

// Converts one pixel of a store format to 0xRRGGBB (8 bits through the palette).
uint32_t PlatPixelToRgb(const uint8_t* pixel, const PlatDisplayMode& format, const uint32_t* palette);
// Packs 0xRRGGBB into a store format (8 bits: the nearest palette entry is not searched;
// the low byte of the blue channel is taken as the index).
uint32_t PlatRgbToPixel(uint32_t rgb, const PlatDisplayMode& format);
