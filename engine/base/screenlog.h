// The on-screen log: a store of 80 lines that the present code draws over the frame while
// its draw flag is set, in a font of its own. Nothing public writes its lines or sets its
// flag, so in this engine it stays empty and undrawn.
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

// What the log asks of the display, the window and the fonts, which lie above it: the
// engine's functions of the same names unless a test changed them.
struct ScreenLogCalls {
  int (*hasDisplayObject)();  // 1 while the DirectDraw object exists
  int (*hasMainWindow)();
  int32_t (*createFontToHandle)(const char* face, int32_t size, int32_t thickness, int32_t fontType,
                                int32_t charSet, int32_t edgeSize, int32_t italic, int32_t wantedSlot,
                                int32_t wantedCheck);
  int (*isFontHandleValid)(int32_t font);
  int (*deleteFontHandle)(int32_t font);
  int (*watchFontDeletion)(int32_t font, int32_t* flag);
  int (*drawStringWithFont)(int32_t x, int32_t y, const char* text, uint32_t color, int32_t font,
                            uint32_t edgeColor, int32_t vertical);
  int (*queryScreenSize)(int32_t* width, int32_t* height);
  uint32_t (*packScreenColorCore)(int32_t red, int32_t green, int32_t blue);
};
extern ScreenLogCalls g_ScreenLogCalls;
extern const ScreenLogCalls kScreenLogCalls;
