// The graphics operations behind the public entry points (engine/engine.h).
#pragma once

#include <cstdint>

struct ColorFormat;
struct GraphRecord;
struct LineRecord;
struct PixelFormatRecord;
struct Rect;
struct TriangleVertex;

// The display's 32-byte pixel-format record.
const PixelFormatRecord* GetScreenPixelFormatCore();
// A colour (0-255 each) as a pixel value of the screen format.
uint32_t PackScreenColorCore(int32_t red, int32_t green, int32_t blue);
// Shows the back screen; 0, or -1 when the screen is not set up.
int PresentScreenCore();
// Width, height, colour depth, refresh rate (-1 keeps a value); 0, -1, or -2 when it fell
// back to 640 x 480 x 16.
int SetScreenModeCore(int32_t width, int32_t height, int32_t depth, int32_t rate);
// Deletes every graph (logging each for a non-zero flag); 0.
int FreeAllGraphsCore(int32_t logFlag);
// Loads an image file cut into cells, one graph each, into handles; 0 or -1.
int LoadSplitGraphCore(const char* fileName, int32_t total, int32_t across, int32_t down,
                       int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag);
// A box in a packed colour, filled (1) or outlined (0); 0 or -1.
int DrawColorBoxCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color,
                     int32_t fill);

// ---- the draw cores ----------------------------------------------------------------------
// Each draws onto the current target (masked draws too) through the draw state: on a
// software-rendered screen straight into the target image, else through the work-image
// bracket of drawtarget.h. Each gives -1 when there is neither a DirectDraw object nor the
// mode without it. Colours are packed in the screen's format (PackScreenColorCore).

// The 2D surface with its top-left at (x, y), leaving out the colour key for a non-zero
// transparent; 0, or -1 for a dead surface and when the work draw is refused. A surface
// wholly outside the draw area draws nothing and gives 0.
int DrawSurface2DCore(int32_t x, int32_t y, int32_t surface2D, int32_t transparent);
// The graph's first 2D surface at (x, y), after the Direct3D batch went out; 0.
int DrawGraphSurfaceCore(int32_t x, int32_t y, const GraphRecord* graph, int32_t transparent);
// The graph stretched to (x1, y1)-(x2, y2), mirrored on an axis whose corners come in
// reverse; 0, or -1 when the work draw is refused (also for an empty rectangle, or one
// outside the draw area, on the DirectDraw path).
int DrawStretchedCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                      int32_t transparent);
// A triangle of the graph's pixels: three vertices of screen and texture positions; 0 or -1.
int DrawGraphTriangleCore(const TriangleVertex* vertices, const GraphRecord* graph,
                          int32_t transparent);
// The graph on four corners, top-left, top-right, bottom-left, bottom-right, as two
// triangles; 0. The float form truncates each coordinate toward zero.
int DrawQuadCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                 int32_t x4, int32_t y4, const GraphRecord* graph, int32_t transparent);
int DrawQuadCoreF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  const GraphRecord* graph, int32_t transparent);
// The box (right and bottom exclusive, corners in any order) filled with the colour; 0 or -1.
int DrawFilledBoxCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Draws count line records into the draw target; 0 or -1.
int DrawLinesCore(const LineRecord* lines, int32_t count);
// The whole target in the background colour, its depth buffer at 0xFFFF; 0 (also for a
// texture graph, which is left alone).
int FillTargetBackgroundCore();
// Clears the draw target (after the window is active again) and shows a cleared
// software-rendered front screen in the window; 0.
int ClearDrawTargetCore();
// Copies the rectangle of the draw target into the 2D graph, which must have exactly its
// size; the rectangle must lie inside the target. 0, or -1 (also for a failed lock).
int CaptureScreenRectCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                          int32_t alphaFlag);
// Sets the format's no-channel bits in every pixel of the rectangle of the pixels (pixel
// (0, 0) at pixels, rows pitch bytes apart): ORs the mask into 2- and 4-byte pixels, but for
// the mask 0xFF000000 ORs alpha into the top byte. Nothing without no-channel bits.
void FillNoChannelBits(const Rect* rect, int32_t pitch, uint8_t* pixels, const ColorFormat* format,
                       uint8_t alpha);
// Copies the screen's rectangle (of the draw target) into the graph: the 2D graph's own
// copy, or the Direct3D read-back (which alone reads the alpha flag) for a texture graph;
// 0, or -1 also for a dead graph.
int CaptureScreenIntoGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                           int32_t alphaFlag);
