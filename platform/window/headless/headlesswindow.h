// The headless window back end: no screen, no user. Tests play the user through these
// calls (any thread may make them) and through the keyboard of
// platform/input/headless/headlesskeys.h; what would reach the window arrives as queued
// input on the window's thread, exactly as the SDL back end delivers it.
#pragma once

#include "platform/window/window.h"

#include <string>

// Typed text arriving on its own (as from an input method): one WM_CHAR per byte.
void PlatHeadlessType(PlatWnd window, const char* sjis);
// A mouse message at client coordinates (WM_SETCURSOR goes ahead of it).
void PlatHeadlessMouse(PlatWnd window, uint32_t message, int32_t x, int32_t y,
                       uint32_t keyFlags = 0);
// The user switches to (1) or away from (0) the window.
void PlatHeadlessActivate(PlatWnd window, int active);
// The user clicks the close box.
void PlatHeadlessClose(PlatWnd window);
// The user minimises (1) or restores (0) the window, or moves its client area.
void PlatHeadlessMinimize(PlatWnd window, int minimized);
void PlatHeadlessMove(PlatWnd window, int32_t x, int32_t y);
// The answer the next message boxes get (0: the default button).
void PlatHeadlessSetMessageBoxAnswer(int answer);
// The last message box asked: its type, or -1 when none was; text and caption if wanted.
int PlatHeadlessLastMessageBox(std::string* text, std::string* caption);
// How often the screen saver was started.
int PlatHeadlessScreenSaverStarts();