// The graphics services: the functions of the graphics subsystem that the system layer
// and the public entry points reach through g_GraphicsServices, one entry each (see
// engine/base/servicetable.h). No include guard: read once for each thing made from it.

// Restores the screen surfaces and every lost 2D surface.
KR_SERVICE(int, RestoreAllSurfaces2D, restoreAllSurfaces2D, ())
// Restores the screen surfaces and every graph (after the window was inactive).
KR_SERVICE(int, RestoreAllGraphSurfaces, restoreAllGraphSurfaces, ())
// Re-creates the display objects and the screen state after the display was lost or
// changed (keeping the DirectDraw object when it is still there), selects the draw target
// again, marks every graph for restoring, calls the restore handler and makes the fonts
// again; 0.
KR_SERVICE(int, RebuildGraphicsSystem, rebuildGraphicsSystem, ())
// 1 while the engine has changed the display mode for full screen.
KR_SERVICE(int, IsDisplayModeChanged, isDisplayModeChanged, ())
// 1 when the engine renders through DirectDraw, 0 in the software mode without it.
KR_SERVICE(int, IsDirectDrawUsed, isDirectDrawUsed, ())
// Releases the palette, the clipper and the DirectDraw object.
KR_SERVICE(int, ReleaseDirectDraw, releaseDirectDraw, ())
// The DirectDraw object, or 0 while none exists.
KR_SERVICE(PlatDDraw, GetDirectDrawObject, getDirectDrawObject, ())
// 1 when a graph restore handler is set.
KR_SERVICE(int, HasGraphRestoreHandler, hasGraphRestoreHandler, ())
// The draw target and the wait for the vertical blank: engine/graphics/drawsettings.h.
KR_SERVICE(int, GetDrawTargetHandle, getDrawTargetHandle, ())
KR_SERVICE(int, GetVBlankWait, getVBlankWait, ())
KR_SERVICE(int, SetVBlankWait, setVBlankWait, (int32_t flag))
// Presents the back screen on the window; in windowed mode a client rectangle (or null
// for all) limits the copy.
KR_SERVICE(int, PresentSoftwareImage, presentSoftwareImage, (const PlatRect* rect))
// The screen's width, height and colour depth (640, 480, 16 unless set); null pointers
// are skipped.
KR_SERVICE(int, QueryScreenFormat, queryScreenFormat,
           (int32_t* width, int32_t* height, int32_t* depth))
// The screen size the screen mode asks for (640 x 480 unless set).
KR_SERVICE(int, QueryScreenSize, queryScreenSize, (int32_t* width, int32_t* height))
// Reads the display's pixel format again and rebuilds the screen's colour format.
KR_SERVICE(int, SetupScreenColorFormat, setupScreenColorFormat, ())
// A colour packed in the screen's format.
KR_SERVICE(uint32_t, PackScreenColorCore, packScreenColorCore, (int32_t red, int32_t green, int32_t blue))

// ---- engine start and end -------------------------------------------------------------

// 1 when 3D is switched off for the screen (the start then renders in software).
KR_SERVICE(int, GetNo3DSetting, getNo3DSetting, ())
// 0 selects software rendering without DirectDraw (and 3D off), 1 hardware; 0.
KR_SERVICE(int, SetHardwareRendering, setHardwareRendering, (int32_t flag))
// Present through a temporary primary surface (only while no DirectDraw object exists).
KR_SERVICE(int, SetUseTemporaryPrimary, setUseTemporaryPrimary, (int32_t flag))
KR_SERVICE(int, GetUseTemporaryPrimary, getUseTemporaryPrimary, ())
// The function called after every graph was marked for restoring; null selects the
// default one that reloads graphs from their files. 0.
KR_SERVICE(int, SetGraphRestoreHandler, setGraphRestoreHandler, (GraphRestoreHandler handler))
// Starts the display objects on the main window (falling back to software rendering);
// 0, or -1 when graphics were started already.
KR_SERVICE(int, StartGraphicsWithFallback, startGraphicsWithFallback, (PlatWnd window))
// Ends the display objects; 0.
KR_SERVICE(int, EndGraphics, endGraphics, ())
// Selects the draw target (-4 front screen, -2 back screen, else a graph) with its
// surface, the draw area (kept when the new target has the old one's size, else the
// whole target) and a camera that maps one unit at z = 0 to one pixel; 0, or -1 before
// graphics started, for a graph that is not valid (nothing changes) and when the surface
// cannot be selected (the previous target, or else the back screen, is selected again).
KR_SERVICE(int, SetDrawTargetCore, setDrawTargetCore, (int32_t target))
// 1: graphs made next take no colour key and the alternative creation flags; 0 normal.
KR_SERVICE(int, SetGraphCreateMode, setGraphCreateMode, (int32_t mode))
// An empty graph, or -1.
KR_SERVICE(int, MakeBlankGraph, makeBlankGraph, (int32_t width, int32_t height, int32_t not3D))
// A graph from a picture in memory with no alpha image and default flags, or -1.
KR_SERVICE(int, MakeGraphFromGraphImage, makeGraphFromGraphImage, (GraphImage* image))
// Deletes a graph (logging it for log flag 1); 0, or -1 for a bad handle.
KR_SERVICE(int, FreeGraph, freeGraph, (int32_t graph, int32_t logFlag))
// The blend mode and parameter: engine/graphics/drawsettings.h.
KR_SERVICE(int, SetBlendState, setBlendState, (int32_t mode, int32_t param))
// Draws a graph at x, y / stretched to the rectangle; 0 or -1.
KR_SERVICE(int, DrawGraphAtCore, drawGraphAtCore,
           (int32_t x, int32_t y, int32_t graph, int32_t transparent))
KR_SERVICE(int, DrawGraphStretchedCore, drawGraphStretchedCore,
           (int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph, int32_t transparent))
// Deletes every soft image handle; 0.
KR_SERVICE(int, RemoveAllSoftImagesCore, removeAllSoftImagesCore, ())

// ---- window placement -----------------------------------------------------------------

// The mask screen: engine/graphics/maskscreen.h.
KR_SERVICE(int, IsMaskScreenEnabled, isMaskScreenEnabled, ())
KR_SERVICE(int, SwitchMaskScreen, switchMaskScreen, (int32_t flag))
// Where the front screen lies on the desktop, and the draw area:
// engine/graphics/drawsettings.h.
KR_SERVICE(int, SetTargetRect, setTargetRect, (const Rect* rect))
KR_SERVICE(int, SetClipArea, setClipArea, (int32_t x1, int32_t y1, int32_t x2, int32_t y2))
// The requested GDI-surface mode and its application (flip to the GDI surface for 1).
KR_SERVICE(int, GetGdiSurfaceMode, getGdiSurfaceMode, ())
KR_SERVICE(int, SetGdiSurfaceMode, setGdiSurfaceMode, (int32_t mode))
