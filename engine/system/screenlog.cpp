// The on-screen log: its set-up on the display, its font, and its lines drawn over the
// frame by the present code.
#include "engine/system/screenlog.h"

#include "engine/font/services.h"
#include "engine/graphics/services.h"
#include "engine/state/state.h"

#include <algorithm>
#include <cstring>

ScreenLog g_ScreenLog;

int InitScreenLog() {
  if (!g_GraphicsServices.getDirectDrawObject() || !GetEngineWindowHandle()) return -1;
  ScreenLog& log = g_ScreenLog;
  if (log.setUp) return 0;
  log.setUp = 1;
  log.fontSize = 16;
  log.fontHandle = -1;
  log.fontMissing = 1;
  EnsureScreenLogFont();
  log.drawFlag = 0;
  std::memset(log.lines, 0, sizeof log.lines);
  return 0;
}

int EnsureScreenLogFont() {
  const FontServices& fonts = g_FontServices;
  ScreenLog& log = g_ScreenLog;
  if (!log.setUp && InitScreenLog() != 0) return 0;
  if (!log.fontMissing) return 0;
  // A graphics rebuild makes every font again under its own handle, this one too, and
  // tells the log it was deleted: the font made again goes before a new one is made,
  // or each rebuild would keep one more.
  if (log.fontHandle != -1 && fonts.isFontHandleValid(log.fontHandle)) fonts.deleteFontHandle(log.fontHandle);
  log.fontHandle = fonts.createFontToHandle(nullptr, 16, 4, 1, -1, -1, 0, -1, -1);
  log.fontMissing = 0;
  fonts.watchFontDeletion(log.fontHandle, &log.fontMissing);
  return 0;
}

int GetScreenLogDrawFlag() { return g_ScreenLog.drawFlag; }

int DrawScreenLog() {
  const GraphicsServices& graphics = g_GraphicsServices;
  ScreenLog& log = g_ScreenLog;
  if (!log.setUp && InitScreenLog() != 0) return 0;
  EnsureScreenLogFont();
  int32_t width = 0, height = 0;
  graphics.queryScreenSize(&width, &height);
  const int32_t shown = std::min<int32_t>(height / 16, SCREEN_LOG_LINES);
  if (shown < 1) return 0;
  const uint32_t white = graphics.packScreenColorCore(255, 255, 255), black = graphics.packScreenColorCore(0, 0, 0);
  for (int32_t i = 0; i < shown; i++) {
    // A line is 254 characters and its terminator; a line filled to the end still ends.
    char line[SCREEN_LOG_LINE_BYTES + 1];
    std::memcpy(line, log.lines[i], SCREEN_LOG_LINE_BYTES);
    line[SCREEN_LOG_LINE_BYTES] = '\0';
    g_FontServices.drawStringWithFont(0, 16 * i, line, white, log.fontHandle, black, 0);
  }
  return 0;
}
