// The on-screen log: a store of 80 lines that the present code draws over the frame while
// its draw flag is set, in a font of its own. Nothing public writes its lines or sets its
// flag, so in this engine it stays empty and undrawn. It draws with the fonts and the
// graphics below it, through their tables; the screen mode change and the present reach
// it through the system hooks.
#pragma once

#include <cstdint>

enum : int32_t {
  SCREEN_LOG_LINES = 80,
  SCREEN_LOG_LINE_BYTES = 255,
};

struct ScreenLog {
  int32_t setUp;        // 1 once InitScreenLog succeeded
  int32_t fontSize;     // 16; also the height of a line in pixels
  int32_t fontHandle;   // the log's font, -1 while there is none
  int32_t fontMissing;  // 1 when the font must be made (again); the font system sets it
  int32_t drawFlag;     // 1: the present code draws the log
  char lines[SCREEN_LOG_LINES][SCREEN_LOG_LINE_BYTES];
};
extern ScreenLog g_ScreenLog;

// Sets the log up on the display; 0, or -1 without a display object or a main window.
int InitScreenLog();
// Makes the log's font when it is missing (setting the log up first); 0.
int EnsureScreenLogFont();
// The draw flag.
int GetScreenLogDrawFlag();
// Draws the stored lines over the draw target with the draw state in force; 0.
int DrawScreenLog();
