// The draw state's operations: blend, brightness, draw area, filter, the vertical-blank
// wait, the frame count and the reset. The record itself is g_DrawState (pixel/drawstate.h).
#pragma once

#include "engine/base/rect.h"
#include "engine/pixel/drawstate.h"

#include <cstdint>

// Blend mode and parameter (clamped to 0-255); 0. Nothing happens for the stored pair.
int SetBlendState(int32_t mode, int32_t param);
// The blend graph (-1 for none) and the two curve parameters; 0, or -1 for a dead graph.
int SetBlendGraphState(int32_t graph, int32_t param1, int32_t param2);
// Brightness, each clamped to 0-255; 0.
int SetBrightness(int32_t red, int32_t green, int32_t blue);
// Brightness as one word 0x00RRGGBB (the low 24 bits).
void SetBrightnessPacked(uint32_t rgb);
// The draw area, ordered and clamped to the current target; 0.
int SetClipArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// SetClipArea without the device's viewport: the draw state's area fields only. True when
// the area was set and has pixels (the viewport would have followed then).
bool SetClipAreaFields(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Copies the draw area; 0.
int QueryClipArea(Rect* out);
// Where the front screen lies on the desktop when drawing goes straight to a window; 0.
int SetTargetRect(const Rect* rect);
// The draw target: DRAW_SCREEN_FRONT, DRAW_SCREEN_BACK or a graph handle.
int GetDrawTargetHandle();
// 0 point, 1 bilinear; 0.
int SetFilterMode(int32_t mode);
int GetFilterMode();
// Whether new graphs may be texture graphs (and, before the display objects exist,
// whether Direct3D starts at all); 0.
int EnableHardware3D(int32_t flag);
// The wait for the vertical blank when presenting: 1 on, 0 off.
int SetVBlankWait(int32_t flag);
int GetVBlankWait();
// The present counter.
int ResetFrameCount();
int CountFrame();
uint64_t GetFrameCount();
// Every setting back to its default, the front screen selected, one default light; 0.
int ResetDrawSettings();
// 1 while graphs are drawn by the Direct3D device: 3D wanted and available, the screen
// not software-rendered and a device present.
int IsHardware3DActive();
