// The screen started on the headless display (DirectDraw mode unless a test picks
// another), for tests of the surface records and the 2D surface handles.
#pragma once

#include "engine/font/services.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "graphics/screenfixture.h"

class SurfaceTest : public HeadlessScreenTest {
 protected:
  // Mode: 0 DirectDraw, 1 software rendering with DirectDraw, 2 no DirectDraw.
  void Start(int windowed, int32_t desktopDepth, int mode = 0) {
    if (mode >= 1) g_ScreenState.softwareRender = 1;
    if (mode == 2) g_ScreenState.noDirectDraw = 1;
    PlatDisplayHeadlessSetDesktop(HeadlessDesktop(desktopDepth), 0);
    g_System.settings.windowed = windowed;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    // The start makes the default font, whose drawing screen holds a 2D surface and its
    // record; the tables' counts and walks below are about the tests' own surfaces.
    DeleteAllFonts();
  }

  static SurfaceCreateFlags Flags(int32_t depth, uint8_t alpha = 0) {
    SurfaceCreateFlags f{};
    f.bitDepth = uint8_t(depth);
    f.alpha = alpha;
    return f;
  }
};
