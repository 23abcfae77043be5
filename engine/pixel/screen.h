// The screen model's state: the display objects, the screen surfaces or the software
// images that stand in for them, the screen's size, depth and format, and the flags that
// choose how the engine renders. One global block, read by every layer that draws; the
// graphics subsystem (engine/graphics/screen.h) owns and changes it.
#pragma once

#include "engine/pixel/colorformat.h"
#include "platform/ddraw/ddraw.h"
#include "platform/window/window.h"

#include <cstdint>

struct MEMIMG;

// The screen's channel layout.
enum : int32_t {
  SCREEN_FORMAT_RGB565 = 0,
  SCREEN_FORMAT_RGB555 = 1,
  SCREEN_FORMAT_XRGB8888 = 2,
  SCREEN_FORMAT_OTHER = 3,
};

struct ScreenState {
  PlatDDraw ddraw = 0;          // the DirectDraw object, 0 while none exists
  PlatDDClipper clipper = 0;    // bound to the window; none in the no-DirectDraw mode
  PlatDDPalette palette = 0;    // an 8-bit screen's only
  PlatDDCaps driverCaps = {};   // read once at start
  ColorFormat colorFormat = {};
  PixelFormatRecord pixelFormat = {};  // the display's, as the layer reports it
  int32_t formatCode = SCREEN_FORMAT_RGB565;
  uint32_t depth = 0;           // in force; 0 reads as 16
  uint32_t refreshRate = 0;     // asked for; 0 is the display's own
  uint32_t width = 0, height = 0;  // 0 reads as 640 x 480
  uint32_t requestedDepth = 0;  // asked for; 0 reads as 16
  uint32_t cooperativeFlags = 0;
  int32_t overlayFormatIndex = -1;  // no row chosen until the probe finds one
  int32_t useTemporaryPrimary = 0;
  int32_t screenImages = 0;     // 1 while the screens are software images

  PlatDDSurface primary = 0;
  PlatDDSurface temporaryPrimary = 0;
  PlatDDSurface temporaryPrimary320 = 0;
  PlatDDSurface back = 0;
  PlatDDSurface work1 = 0;
  PlatDDSurface work2 = 0;
  PlatDDSurface zBuffer = 0;
  PlatDDSurface targetSurface = 0;  // the surface draws go to, 0 when the target has none
  // The software images, null while absent (the records themselves live in the
  // graphics subsystem).
  MEMIMG* primaryImage = nullptr;
  MEMIMG* backImage = nullptr;
  MEMIMG* zImage = nullptr;
  // 1 while the back image lives in the locked back surface: only then is there a lock
  // to give back.
  int32_t backLocked = 0;

  // The rest of the draw target (engine/graphics/drawtarget.h selects it). The target
  // image's (0, 0) is the target's own: a piece of a shared software image is a view of
  // its rectangle. The offset places the target inside targetSurface (a piece's source
  // position in a shared sheet, a texture tile's place in its texture).
  MEMIMG* targetImage = nullptr;   // where software draws go, null when none
  MEMIMG* targetZImage = nullptr;  // its depth image, null when none
  int32_t targetOffsetX = 0, targetOffsetY = 0;
  int32_t drawingSuspended = 0;    // cleared by every selection; nothing here sets it

  int32_t softwareRender = 0;
  int32_t noDirectDraw = 0;     // always comes with softwareRender
  int32_t no3D = 0;
  int32_t displayModeChanged = 0;
  int32_t gdiSurfaceRequest = 0;
  int32_t gdiSurfaceState = 0;  // 1 on the GDI surface, 0 not, -1 unknown
  int32_t copyMethod = 0;       // 1 GDI BitBlt, 0 BltFast
  int32_t screenReady = 0;
  int32_t mmxUsable = 0;
  int32_t directDrawStarted = 0;
  int32_t graphicsStarted = 0;
  PlatWnd window = 0;

  // What the last mode change measured.
  int32_t measuredRate = -1;    // Hz, -1 unknown
  int32_t frameTimeMs = -1;
  int32_t pacingBudgetMs = -1;
  int32_t scanLines = 0;
  uint32_t lastModeChangeMs = 0;  // 0 before the first change

  // What the presents keep.
  uint32_t lastBlankMs = 0;        // system time at the end of the last pacing wait
  uint32_t presentStartMs = 0;     // of the last software present
  uint32_t presentDurationMs = 0;
  int32_t presented = 0;           // 1: the front image is older than what the window shows
};

inline ScreenState g_ScreenState;

// The colour depth in bits that the screen asks for: 16 until a depth is set. In
// DirectDraw mode the surfaces' creation makes it the depth in force, so that new images
// and graphs match the display.
int32_t QueryScreenDepth();
// Records the requested depth (8, 16 or 32; 0 or less goes back to 16).
void SetRequestedScreenDepth(int32_t depth);
