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


// A 4 x 4 matrix, row-major, used with row vectors: a point is multiplied from the left
// and the translation stands in the fourth row.
struct Matrix4 {
  float m[4][4];
};

// The graphs' restore handler: called once every graph was flagged lost.
typedef void (*GraphRestoreHandler)();

// Where the draw state keeps the renderer's settings (DrawState.direct3DSettings); fonts
// test the suspension too.
enum : int32_t {
  D3D_SETTING_DEPTH_ENABLE = 0,
  D3D_SETTING_DEPTH_WRITE = 1,
  D3D_SETTING_DEPTH_FUNC = 2,
  D3D_SETTING_DEPTH_BIAS = 3,
  D3D_SETTING_CULL = 4,
  D3D_SETTING_TEXTURE_ADDRESS = 5,
  D3D_SETTING_DRAW_SUSPENDED = 6,
};

struct DrawState {
  GraphRestoreHandler restoreHandler;  // kept across a reset
  int32_t drawTarget;      // DRAW_SCREEN_* or a graph handle
  Rect targetRect;         // where the front screen lies on the desktop, else all 0
  Rect drawArea;           // clip rectangle, sorted and inside the target
  float drawAreaF[4];      // the same four values for the hardware renderer
  Rect requestedArea;      // the area as last asked for, applied again after a window change
  int32_t targetWidth;
  int32_t targetHeight;
  int32_t targetInVideoMemory;  // 1 while the target surface lives in video memory
  int32_t direct3DSettings[7];  // D3D_SETTING_*, read by the Direct3D renderer (and fonts)
  float direct3DDepth2D;        // the z of the Direct3D 2D draws
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
  // Settings that shape new graphs.
  int32_t newGraphDepth;   // 0: the screen's (32 with alpha for texture graphs)
  int32_t graphCreateMode; // 1: draw-valid graphs without alpha and colour key
  int32_t newGraphColorKey;
  int32_t newGraphAlpha;   // blank graphs get an alpha channel
  int32_t graphMemory;     // 1: 2D graphs in system memory
  int32_t use3D;           // new graphs may be texture graphs
  uint32_t transparentColor;  // 0x00RRGGBB, the colour key of new surfaces
  int32_t vblankWaitOff;   // the vertical-blank wait setting, stored negated
  int32_t areaEmpty;       // 1 while the draw area has no pixels
  uint64_t frameCount;     // counted up by every present
  Matrix4 world;
  Matrix4 view;
  Matrix4 projection;
  int32_t defaultLight;    // the handle of the light every reset makes
};

// The brightness as one word 0x00RRGGBB.
inline uint32_t BrightnessWord(const DrawState& s) {
  return uint32_t(s.brightBlue) | uint32_t(s.brightGreen) << 8 | uint32_t(s.brightRed) << 16;
}

// The state after a reset on a 640 x 480 screen (the lights and the camera aside).
inline DrawState g_DrawState = {
    .restoreHandler = nullptr,
    .drawTarget = DRAW_SCREEN_FRONT,
    .targetRect = {0, 0, 0, 0},
    .drawArea = {0, 0, 640, 480},
    .drawAreaF = {0.0f, 0.0f, 640.0f, 480.0f},
    .requestedArea = {0, 0, 640, 480},
    .targetWidth = 640,
    .targetHeight = 480,
    .targetInVideoMemory = 0,
    .direct3DSettings = {0, 0, 4, 0, 0, 3, 0},
    .direct3DDepth2D = 0.2f,
    .filterMode = 0,
    .blendMode = BLEND_COPY,
    .blendParam = 0,
    .blendGraph = -1,
    .blendGraphParam = {0, 0},
    .brightBlue = 255,
    .brightGreen = 255,
    .brightRed = 255,
    .brightPad = 0,
    .newGraphDepth = 0,
    .graphCreateMode = 0,
    .newGraphColorKey = 1,
    .newGraphAlpha = 0,
    .graphMemory = 0,
    .use3D = 1,
    .transparentColor = 0,
    .vblankWaitOff = 0,
    .areaEmpty = 0,
    .frameCount = 0,
    .world = {},
    .view = {},
    .projection = {},
    .defaultLight = -1,
};
