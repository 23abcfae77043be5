// The screen model: DirectDraw start and end, the DirectDraw object's acquisition and
// release, the screen surfaces (or the software images standing in for them) in the
// three rendering modes, the screen's colour format and palette, and the screen mode
// change with its display-mode fallbacks and its timing. The state is g_ScreenState
// (engine/pixel/screen.h).
#pragma once

#include "engine/pixel/colorformat.h"
#include "engine/pixel/screen.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>

// ---- start and end, the DirectDraw object ---------------------------------------------

int StartDirectDraw();
int ShutdownDirectDraw();
int AcquireDirectDraw(PlatDDraw* object);
int CreateWindowClipper(PlatDDraw object, PlatDDClipper* clipper, PlatWnd window);
int ReacquireDirectDraw();
int ReleaseClipper();
int RecreateClipper();

// ---- surfaces, format, palette --------------------------------------------------------

int CreateScreenSurfaces();
int ReleaseScreenSurfaces();
int RestoreLostScreenSurfaces();
int CreateScreenPalette();
int RebuildScreenPalette();
// The 256 entries an 8-bit screen starts with, 0xRRGGBB: 0 black, 255 white.
const uint32_t* DefaultScreenPalette();

// ---- accessors --------------------------------------------------------------------------

const ColorFormat* GetScreenColorFormat();
PlatDDSurface GetTargetSurface();
PlatDDSurface GetFrontSurface();
PlatDDSurface GetBackSurface();
PlatDDSurface GetWorkSurface();
int IsTargetFrontSurface();
// The chosen overlay row's pixel format; null on a screen narrower than 640 or lower
// than 400, or when the probe chose none.
const PlatDDPixelFormat* GetOverlayPixelFormat();
PlatDDCaps* CopyDirectDrawCaps(PlatDDCaps* out);

// ---- screen mode ------------------------------------------------------------------------

int ApplyScreenMode(int32_t width, int32_t height, int32_t depth, int32_t force, int32_t rate);
int SwitchDisplayMode(PlatDDraw object, int32_t desktopWidth, int32_t desktopHeight, int32_t width,
                      int32_t height, int32_t depth, uint32_t* outDepth, uint32_t* outCooperative,
                      int32_t windowed, int32_t* displayModeChanged, PlatWnd window);
int RestoreDesktopDisplayMode();
int LeaveFullScreenDisplayMode();
int ReapplyDisplayMode();

// ---- pieces of the mode change's timing, open to tests -------------------------------------

// Sleeps on the platform clock so that mode changes lie at least 2060 ms apart (60 ms
// after a change long ago), and records now as the time of the last change; the ms slept.
uint32_t SpaceModeChange();
// The first sample that occurs again later among count samples, or -1.
int32_t FindRepeatedSample(const int32_t* samples, int32_t count);
// The refresh rate from the microseconds and the number of the samples taken; -1 when
// an average of 0 leaves it unknown.
int32_t RefreshRateFromTotals(int64_t totalMicroseconds, int64_t totalSamples);
// (2 x frame time - 4) / 3, or -1 for an unknown frame time.
int32_t PacingBudgetFor(int32_t frameTimeMs);

// ---- what the screen model asks of the graph and surface handles ------------------------
// The 2D surface ones are engine/graphics/surface2d.cpp; the graph manager's are least
// bodies until the graph handles land.

int StartGraphManager();
int TerminateGraphManager();
int DeleteAllSurfaces2D();
int ReleaseAllSurface2DObjects();
int RecreateAllSurface2DObjects();
// 0: new graphs are software images; 1: surfaces.
int SetGraphSoftwareSurfaceMode(int32_t mode);

// ---- screen colours ----------------------------------------------------------------------

// r, g, b (0-255 each) from a value in the screen's format; 0, or -1 for an 8-bit screen
// and a value past 255. A channel of width 0 reads 0.
int UnpackScreenColor(uint32_t value, int32_t* red, int32_t* green, int32_t* blue);
int ColorFormatFromPixelFormat(const PixelFormatRecord* pixelFormat, ColorFormat* out);
