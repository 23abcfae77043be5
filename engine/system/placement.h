// What the window procedure and the message pump ask of the window placement.
#pragma once

#include "platform/window/window.h"

// Gives the window the client size that the screen size and the window scale ask for.
int UpdateWindowPlacement();
// WM_MOVE in windowed mode: keeps the client rectangle on screen and the draw area.
int OnWindowMoved(PlatLParam lParam);
// Re-applies the full-screen cursor and GDI-surface state (once per pump call).
int RefreshFullScreenState();
