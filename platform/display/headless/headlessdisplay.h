// The headless display: no screen. The store is kept for tests to read
// (PlatDisplayReadRgb, PlatDisplayReadRect) and to dump (PlatDisplayWritePng); uploads
// are only counted (PlatDisplayUploadCount).
#pragma once

#include "platform/display/display.h"

// The desktop (1024 x 768 x 32 at 60 Hz at start): the display returns to it with a new
// store, forgets any exclusive owner and counts a loss; notify posts WM_DISPLAYCHANGE.
void PlatDisplayHeadlessSetDesktop(const PlatDisplayMode& mode, int notify);
// The modes accepted from now on (rates as listed, and rate 0 for each). count 0 goes
// back to the default: 8, 16 (5:6:5 or 5:5:5) and 32 bits at any size from 320 x 200 to
// 2048 x 1536, rate 0 or 60.
void PlatDisplayHeadlessSetModes(const PlatDisplayMode* modes, int count);

// The same desktop for tests that play the headless window's user: 16 bits are 5:6:5,
// 60 Hz.
void PlatHeadlessSetDesktop(int32_t width, int32_t height, int32_t depth, int notify);
// A pixel of the window's client area (0xRRGGBB) as the store holds it, or 0xFFFFFFFF
// outside the client area or the store, or (32-bit store) where nothing was drawn since
// the store was made.
uint32_t PlatHeadlessClientPixel(PlatWnd window, int32_t x, int32_t y);
