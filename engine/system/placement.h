// Window mode and placement: window or full screen, the main window's style and size for
// the mode, where the client area lies on the screen, and the mouse cursor.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// Window styles of the two modes.
enum : uint32_t {
  WINDOWED_STYLE = 0x80CA0000u,     // popup, caption, system menu, minimise box
  WINDOWED_EX_STYLE = 0x300u,       // window edge, client edge
  FULLSCREEN_STYLE = 0x80000000u,   // popup
  FULLSCREEN_EX_STYLE = 0x8u,       // topmost
};

// Chooses window (1) or full screen (0) before the engine starts; 0.
int ChangeWindowModeCore(int32_t mode);
// Stores the windowed flag and logs it; 0.
int SetWindowModeFlag(int32_t mode);
// Gives the main window the style, size and position of the current mode; 0.
int ApplyWindowStyle();
// Gives the window the client size that the screen size and the window scale ask for
// (applying the windowed style the first time in windowed mode); 0.
int UpdateWindowPlacement();
// WM_MOVE in windowed mode: keeps the client rectangle on screen and the draw area; 0.
int OnWindowMoved(PlatLParam lParam);
// Makes the window the foreground window (and topmost for topmost 1); 0.
int BringToForeground(PlatWnd window, int32_t topmost);
// Re-applies the full-screen cursor and GDI-surface state (once per pump call); 0.
int RefreshFullScreenState();
// Shows the cursor for 1, hides it for any other value; 0.
int SetMouseCursorVisible(int32_t visible);
// The cursor in client coordinates (windowed, divided by the window scale) or on screen
// (full screen); either pointer may be null; 0.
int GetMousePosition(int32_t* x, int32_t* y);
