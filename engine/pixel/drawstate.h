// The drawing settings every draw path reads: target, draw area, blend mode and
// parameter, blend graph and brightness. One global block; the software renderers read
// it directly, so tests drive them by filling it in.
#pragma once

#include "engine/base/rect.h"
#include "engine/engine.h"  // DRAW_SCREEN_FRONT, DRAW_SCREEN_BACK

#include <cstdint>

// How a drawn pixel meets the one under it. The software renderer draws nothing for 5
// to 9 and above 11.
enum BlendMode : int32_t {
  BLEND_COPY = 0,
  BLEND_MIX = 1,        // toward the source by the parameter; 255 is a plain copy
  BLEND_ADD = 2,        // saturating add of the source scaled by the parameter
  BLEND_SUBTRACT = 3,   // saturating subtract of the scaled source
  BLEND_MULTIPLY = 4,
  BLEND_ADD_3D = 5,     // the hardware path only
  BLEND_INVERT = 10,    // mix toward the inverted source
  BLEND_MULTIPLY_MIX = 11,
};


struct DrawState {
  int32_t drawTarget;      // DRAW_SCREEN_* or a graph handle
  Rect targetRect;         // where the front screen lies on the desktop, else all 0
  Rect drawArea;           // clip rectangle, sorted and inside the target
  float drawAreaF[4];      // the same four values for the hardware renderer
  int32_t targetWidth;
  int32_t targetHeight;
  int32_t filterMode;      // 0 nearest, 1 bilinear
  int32_t blendMode;       // BlendMode
  int32_t blendParam;      // 0-255
  int32_t blendGraph;      // graph handle whose pixels modulate the blend, or -1
  int32_t blendGraphParam[2];  // 0-255 each; shape the blend curve
  // Brightness bytes blue, green, red: one 32-bit word 0x00RRGGBB; 255 each is white.
  uint8_t brightBlue;
  uint8_t brightGreen;
  uint8_t brightRed;
  uint8_t brightPad;
  int32_t areaEmpty;       // 1 while the draw area has no pixels
};

// The state after a reset on a 640 x 480 screen.
inline DrawState g_DrawState = {
    DRAW_SCREEN_FRONT, {0, 0, 0, 0}, {0, 0, 640, 480}, {0.0f, 0.0f, 640.0f, 480.0f},
    640, 480, 0, BLEND_COPY, 0, -1, {0, 0}, 255, 255, 255, 0, 0,
};
