// The 3D renderer's entries: what graphics and fonts ask of the renderer that draws with a
// Direct3D device, one entry each (see engine/base/servicetable.h and
// engine/graphics/renderer3d.h). Each is answered by the function of the same name in
// namespace no3d while no device is started, as the renderer itself answers with Direct3D
// off. No include guard: read once for each thing made from it.

// ---- the draw state -------------------------------------------------------------------

// 1 when 3D drawing is available: a Direct3D device was made on the display objects.
KR_SERVICE(int, Is3DAvailable, is3DAvailable, ())
// The current Direct3D device, or 0 (no checks).
KR_SERVICE(PlatD3DDevice, CurrentDevice3D, currentDevice3D, ())
// Recomputes the vertex colour from the blend parameter and the brightness.
KR_SERVICE(int, UpdateDrawVertexColor, updateDrawVertexColor, ())
// Point (0) or linear (1) texture filtering; 0.
KR_SERVICE(int, ApplyTextureStage3D, applyTextureStage3D, (int32_t filterMode))
// The device's viewport from a rectangle of the draw target; negative on failure.
KR_SERVICE(int, SetViewportFromRect, setViewportFromRect, (const Rect* rect))
// Makes the graph's first tile the device's blend texture (null: none), with the two
// parameters (-1 keeps one when clearing); 0, or -1 when the graph has no valid tile.
KR_SERVICE(int, BindGraphTexture, bindGraphTexture, (GraphRecord * graph, int32_t param1, int32_t param2))
// The device's world matrix of index 0 to 3 (a higher index sets nothing), its view and
// projection matrices; each sends the batch first. -1 while Direct3D is off.
KR_SERVICE(int, SetWorldTransform3D, setWorldTransform3D, (const Matrix4* matrix, int32_t index))
KR_SERVICE(int, SetViewTransform3D, setViewTransform3D, (const Matrix4* matrix))
KR_SERVICE(int, SetProjectionTransform3D, setProjectionTransform3D, (const Matrix4* matrix))
// Makes the surface the current device's render target (0: the surface it was made on);
// 0, or -1 while Direct3D is off.
KR_SERVICE(int, SetCurrentRenderTarget, setCurrentRenderTarget, (PlatDDSurface surface))
// The current device's viewport; 0, or -1 with a log line when the device refuses it or
// no render target was set.
KR_SERVICE(int, SetCurrentViewport, setCurrentViewport, (const PlatD3DViewport* viewport))
// The render target follows the draw target (-4 front, -2 back, else a graph); 0 or -1,
// and 0 while Direct3D is off.
KR_SERVICE(int, SwitchRenderTarget3D, switchRenderTarget3D, (int32_t target))
// Clears a texture draw target with the background colour and its depth buffer; 0 or -1.
KR_SERVICE(int, ClearDrawTargetTexture, clearDrawTargetTexture, ())

// ---- the screen model -----------------------------------------------------------------

// Releases the device and its textures, and leaves every entry to namespace no3d; 0, or
// -1 when Direct3D was not on.
KR_SERVICE(int, TerminateDirect3D, terminateDirect3D, ())
// Releases the Direct3D object (the device's records stay for AcquireDirect3DObject).
KR_SERVICE(int, ReleaseDirect3DObject, releaseDirect3DObject, ())
// Gets the Direct3D object of the DirectDraw object again (after a rebuild) and makes the
// device again with its cached states; 0, or -1 when the object cannot be had.
KR_SERVICE(int, AcquireDirect3DObject, acquireDirect3DObject, ())
// Ends the open scene of the current device, if any; 0, or -1 while Direct3D is off.
KR_SERVICE(int, EndSceneCurrent, endSceneCurrent, ())
// Submits the pending batched vertices of the current device; 0, or -1 while Direct3D
// is off.
KR_SERVICE(int, FlushCurrentVertexBatch, flushCurrentVertexBatch, ())

// ---- the graph handles ----------------------------------------------------------------
// A texture graph draws from texture tiles that the renderer keeps for it.

// Deletes every texture record: -1 while Direct3D is not in use (the graph manager's test
// for 3D drawing).
KR_SERVICE(int, RemoveAllTexturesIfActive, removeAllTexturesIfActive, ())
// Cuts a new texture graph into tiles, each with a texture of its own; 0, or -1 (with a
// log line for more than 64 tiles) leaving no tile behind.
KR_SERVICE(int, SplitGraphIntoTextures, splitGraphIntoTextures, (GraphRecord * graph))
// Gives a sub-graph (x, y, width, height of the parent, which it must lie inside) one
// record per parent tile it covers, pointing into that tile's texture; 0, or -1 leaving
// none behind.
KR_SERVICE(int, DeriveSubGraphTextures, deriveSubGraphTextures,
           (GraphRecord * graph, int32_t x, int32_t y, int32_t width, int32_t height, GraphRecord* parent))
// Deletes a graph's texture records (the list is left as it is); 0, or -1 while Direct3D
// is off.
KR_SERVICE(int, RemoveGraphTextures, removeGraphTextures, (GraphRecord * graph))
// Restores the lost texture surfaces of one graph: 0 when none was lost, -1 when one was
// (it must be filled again) or the list holds a handle that is not valid.
KR_SERVICE(int, RestoreGraphTextures, restoreGraphTextures, (GraphRecord * graph))
// The SurfaceData handle of a texture tile and where the tile's pixels start in it, or -1
// for a handle that is not valid.
KR_SERVICE(int32_t, TileSurfaceData, tileSurfaceData, (int32_t tile, int32_t* x, int32_t* y))
// Writes the picture (and its alpha picture, or null) into every tile of the graph from
// the offset (sourceX, sourceY) of the picture; 0 or -1.
KR_SERVICE(int, UploadImageToGraphTextures, uploadImageToGraphTextures,
           (int32_t sourceX, int32_t sourceY, GraphRecord* graph, const GraphImage* image, const GraphImage* alpha))
// Writes the rectangle of the picture to (x, y) of the graph, into the tiles it covers;
// 0 or -1.
KR_SERVICE(int, UploadImageRectToGraphTextures, uploadImageRectToGraphTextures,
           (const Rect* sourceRect, int32_t x, int32_t y, GraphRecord* graph, const GraphImage* image,
            const GraphImage* alpha))
// Colour-fills every tile of the graph; 0 or -1. While the device cannot draw to its
// target nothing is painted and the result is 0.
KR_SERVICE(int, FillGraphTextures, fillGraphTextures,
           (GraphRecord * graph, int32_t red, int32_t green, int32_t blue, int32_t alpha))
// Copies the screen's rectangle (x1, y1)-(x2, y2) (right and bottom exclusive) into a
// texture graph, by the first of the read-back ways that works (remembered for the next
// time); targetCoordinates 0 reads the desktop while a window draws on its front screen.
// 0, also without doing anything while the device cannot draw to its target; -1 when
// Direct3D is off, the graph has no tile, or no way worked.
KR_SERVICE(int, ReadBackScreenDispatch, readBackScreenDispatch,
           (int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph, int32_t targetCoordinates))

// ---- the draw entry points ------------------------------------------------------------
// A texture graph, or a box while 3D drawing is active, is drawn by the device: its
// triangles join the current device's batch. Each is 0 or -1 (-1 while Direct3D is off);
// while the device cannot draw to its target the graph draws give 0 and the boxes go to
// the 2D cores.

// The graph unscaled with its top-left corner at (x, y) (fx, fy: the same as floats, for
// the vertices). transparent: the graph's own transparency counts; keepAlphaTest: an
// alpha-test graph stays one under linear filtering.
KR_SERVICE(int, DrawGraphAt3D, drawGraphAt3D,
           (int32_t x, int32_t y, float fx, float fy, GraphRecord* graph, int32_t transparent,
            int32_t keepAlphaTest))
// The graph stretched to (x1, y1)-(x2, y2) (right and bottom exclusive; the floats the
// same for the vertices); x1 > x2 mirrors it, y1 > y2 turns it upside down. -1 also for
// an empty rectangle.
KR_SERVICE(int, DrawGraphStretched3D, drawGraphStretched3D,
           (int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1, float fx2, float fy2,
            GraphRecord* graph, int32_t transparent, int32_t keepAlphaTest))
// The graph's corners pinned to top-left (x1, y1), top-right (x2, y2), bottom-left
// (x3, y3) and bottom-right (x4, y4).
KR_SERVICE(int, DrawGraphQuad3D, drawGraphQuad3D,
           (float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, GraphRecord* graph,
            int32_t transparent))
// A box in a packed screen colour, filled or outlined, in the current blend state; the
// corners in any order (right and bottom exclusive).
KR_SERVICE(int, FillBox3D, fillBox3D, (int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour))
KR_SERVICE(int, DrawBoxOutline3D, drawBoxOutline3D, (int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour))
