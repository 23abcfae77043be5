// The graphics operations behind the public entry points (engine/engine.h).
#pragma once

#include <cstdint>

struct LineRecord;
struct PixelFormatRecord;

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
// Clears the draw target; 0.
int ClearDrawTargetCore();
// A box in a packed colour, filled (1) or outlined (0); 0 or -1.
int DrawColorBoxCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color,
                     int32_t fill);
// Draws count line records into the draw target; 0 or -1.
int DrawLinesCore(const LineRecord* lines, int32_t count);
// Draws a 2D surface at (x, y) of the draw target, its colour key (or alpha) transparent
// for a non-zero trans, through the draw state; 0 or -1.
int DrawSurface2DCore(int32_t x, int32_t y, int32_t surface2D, int32_t trans);
// Draws a string with a font at (x, y) of the draw target (vertical: top to bottom),
// through the font's drawing screen when it is blended or anti-aliased, else straight
// into the target; 0 or -1.
int DrawTextWithFontCore(int32_t x, int32_t y, const char* text, uint32_t color, int32_t font,
                         uint32_t edgeColor, int32_t vertical);
