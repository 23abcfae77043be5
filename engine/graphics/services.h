// What the system layer (engine start and end, window procedure, message pump, window
// placement) asks of the graphics subsystem.
#pragma once

#include "engine/graphics/drawsettings.h"
#include "engine/graphics/maskscreen.h"
#include "engine/pixel/drawstate.h"
#include "platform/ddraw/ddraw.h"
#include "platform/window/window.h"

#include <cstdint>

struct GraphImage;

// Restores the screen surfaces and every lost 2D surface.
int RestoreAllSurfaces2D();
// Restores the screen surfaces and every graph (after the window was inactive).
int RestoreAllGraphSurfaces();
// Re-creates the display objects and the screen state after the display was lost or
// changed (keeping the DirectDraw object when it is still there), selects the draw target
// again, marks every graph for restoring, calls the restore handler and makes the fonts
// again; 0.
int RebuildGraphicsSystem();
// 1 while the engine has changed the display mode for full screen.
int IsDisplayModeChanged();
// 1 when the engine renders through DirectDraw, 0 in the software mode without it.
int IsDirectDrawUsed();
// Releases the palette, the clipper and the DirectDraw object.
int ReleaseDirectDraw();
// The DirectDraw object, or 0 while none exists.
PlatDDraw GetDirectDrawObject();
// 1 when a graph restore handler is set.
int HasGraphRestoreHandler();
// Presents the back screen on the window; in windowed mode a client rectangle (or null
// for all) limits the copy.
int PresentSoftwareImage(const PlatRect* rect);
// The screen's width, height and colour depth (640, 480, 16 unless set); null pointers
// are skipped.
int QueryScreenFormat(int32_t* width, int32_t* height, int32_t* depth);
// The screen size the screen mode asks for (640 x 480 unless set).
int QueryScreenSize(int32_t* width, int32_t* height);
// Reads the display's pixel format again and rebuilds the screen's colour format.
int SetupScreenColorFormat();

// ---- engine start and end -------------------------------------------------------------

// 1 when 3D is switched off for the screen (the start then renders in software).
int GetNo3DSetting();
int SetNo3DSetting(int32_t flag);
// 1 while the screens are software images drawn by the software renderer.
int IsSoftwareRendering();
// The size of a graph, or of the screen for DRAW_SCREEN_FRONT and DRAW_SCREEN_BACK; 0, or
// -1 for a dead graph. Either pointer may be null.
int QueryGraphSize(int32_t graph, int32_t* width, int32_t* height);
// 1 for a live graph handle, else 0.
int IsGraphHandleLive(int32_t graph);
struct GraphRecord;
// The record of a live graph, or null.
GraphRecord* LookupGraph(int32_t graph);
// 0 selects software rendering without DirectDraw (and 3D off), 1 hardware; 0.
int SetHardwareRendering(int32_t flag);
// Present through a temporary primary surface (only while no DirectDraw object exists).
int SetUseTemporaryPrimary(int32_t flag);
int GetUseTemporaryPrimary();
// The function called after every graph was marked for restoring; null selects the
// default one that reloads graphs from their files. 0.
int SetGraphRestoreHandler(GraphRestoreHandler handler);
// Starts the display objects on the main window (falling back to software rendering);
// 0, or -1 when graphics were started already.
int StartGraphicsWithFallback(PlatWnd window);
// Ends the display objects; 0.
int EndGraphics();
// Selects the draw target (-4 front screen, -2 back screen, else a graph) with its
// surface, the draw area (kept when the new target has the old one's size, else the
// whole target) and a camera that maps one unit at z = 0 to one pixel; 0, or -1 before
// graphics started, for a graph that is not valid (nothing changes) and when the surface
// cannot be selected (the previous target, or else the back screen, is selected again).
int SetDrawTargetCore(int32_t target);
// 1: graphs made next take no colour key and the alternative creation flags; 0 normal.
int SetGraphCreateMode(int32_t mode);
// An empty graph, or -1.
int MakeBlankGraph(int32_t width, int32_t height, int32_t not3D);
// A graph from a picture in memory with no alpha image and default flags, or -1.
int MakeGraphFromGraphImage(GraphImage* image);
// Deletes a graph (logging it for log flag 1); 0, or -1 for a bad handle.
int FreeGraph(int32_t graph, int32_t logFlag);
// Draws a graph at x, y / stretched to the rectangle; 0 or -1.
int DrawGraphAtCore(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int DrawGraphStretchedCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                           int32_t transparent);
// Deletes every soft image handle; 0.
int RemoveAllSoftImagesCore();

// ---- window placement -----------------------------------------------------------------

// IsMaskScreenEnabled and SwitchMaskScreen: engine/graphics/maskscreen.h.
// The requested GDI-surface mode and its application (flip to the GDI surface for 1).
int GetGdiSurfaceMode();
int SetGdiSurfaceMode(int32_t mode);

// ---- the table the other subsystems call through --------------------------------------

// What the system layer and the public entry points ask of graphics (from above and from
// drawsettings.h), as they reach it: through this table, so that a test can watch a call
// or script its result. It holds the graphics functions of the same names unless a test
// changed it; graphics itself calls its functions directly.
struct GraphicsServices {
  int (*restoreAllSurfaces2D)();
  int (*restoreAllGraphSurfaces)();
  int (*rebuildGraphicsSystem)();
  int (*isDisplayModeChanged)();
  int (*isDirectDrawUsed)();
  int (*releaseDirectDraw)();
  PlatDDraw (*getDirectDrawObject)();
  int (*hasGraphRestoreHandler)();
  int (*getDrawTargetHandle)();
  int (*getVBlankWait)();
  int (*setVBlankWait)(int32_t flag);
  int (*presentSoftwareImage)(const PlatRect* rect);
  int (*queryScreenFormat)(int32_t* width, int32_t* height, int32_t* depth);
  int (*queryScreenSize)(int32_t* width, int32_t* height);
  int (*setupScreenColorFormat)();

  int (*getNo3DSetting)();
  int (*setHardwareRendering)(int32_t flag);
  int (*setUseTemporaryPrimary)(int32_t flag);
  int (*getUseTemporaryPrimary)();
  int (*setGraphRestoreHandler)(GraphRestoreHandler handler);
  int (*startGraphicsWithFallback)(PlatWnd window);
  int (*endGraphics)();
  int (*setDrawTargetCore)(int32_t target);
  int (*setGraphCreateMode)(int32_t mode);
  int (*makeBlankGraph)(int32_t width, int32_t height, int32_t not3D);
  int (*makeGraphFromGraphImage)(GraphImage* image);
  int (*freeGraph)(int32_t graph, int32_t logFlag);
  int (*setBlendState)(int32_t mode, int32_t param);
  int (*drawGraphAtCore)(int32_t x, int32_t y, int32_t graph, int32_t transparent);
  int (*drawGraphStretchedCore)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                                int32_t transparent);
  int (*removeAllSoftImagesCore)();

  int (*isMaskScreenEnabled)();
  int (*switchMaskScreen)(int32_t flag);
  int (*setTargetRect)(const Rect* rect);
  int (*setClipArea)(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  int (*getGdiSurfaceMode)();
  int (*setGdiSurfaceMode)(int32_t mode);
};
extern GraphicsServices g_GraphicsServices;
// The table as it starts: the graphics functions.
extern const GraphicsServices kGraphicsServices;
