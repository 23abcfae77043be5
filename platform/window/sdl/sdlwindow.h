// The SDL window back end, as the other SDL back ends (display, input) and the tests
// reach it. No SDL types here: the handles are SDL_Window* and SDL_Renderer* as void*.
#pragma once

#include "platform/window/window.h"

// The SDL window behind a window, or null before it was first shown.
void* PlatSdlWindow(PlatWnd window);
// The window's renderer, made on first use (the software renderer when no accelerated
// one can be had); null without an SDL window.
void* PlatSdlRenderer(PlatWnd window);
// 1 while the SDL window is shown on the display.
int PlatSdlIsShown(PlatWnd window);
// 1 while the SDL window covers the desktop (full screen).
int PlatSdlIsFullScreen(PlatWnd window);

// Put events into SDL's own queue, as the display server would, so that they take the
// whole way through the back end. Each returns 1 when the event was queued.
int PlatSdlPushKey(PlatWnd window, uint32_t vk, int down);
int PlatSdlPushText(PlatWnd window, const char* utf8);
int PlatSdlPushClose(PlatWnd window);
// The window gains (1) or loses (0) the keyboard focus, as when the user switches to or
// from it. SDL's queue takes events from any thread.
int PlatSdlPushFocus(PlatWnd window, int gained);
