// The screen started in a window on the headless display, with the fonts on the block-glyph
// fake and the font system started afresh; every font deleted and the fake put back after.
#pragma once

#include "engine/font/font.h"
#include "engine/font/services.h"
#include "graphics/surfacefixture.h"
#include "platform/gdi/fake/fontfake.h"

class FakeFontTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PlatFontFakeReset();
    ASSERT_EQ(PlatGdiSelectFontBackend("fake"), 0);
    Start(1, 32);
    ResetFontDefaults();
  }
  void TearDown() override {
    DeleteAllFonts();
    PlatGdiSelectFontBackend("freetype");
    PlatFontFakeReset();
    SurfaceTest::TearDown();
  }
};
