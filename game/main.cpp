// The program's start-up as the game runs it: the screen-mode question, the engine start,
// the frame loop and the end. Until the game itself lands, a frame only pumps the
// engine's messages.
#include "engine/engine.h"
#include "platform/window/window.h"  // the start-up question

#include <thread>

namespace {
constexpr std::chrono::milliseconds kFrame{17};
}

// Closing the window (also what Ctrl+C or a TERM signal does) or Escape ends the program.
int main() {
  if (PlatMessageBox(0, "フルスクリーンモードで起動しますか？", "スクリーン設定", PLAT_MB_YESNO) ==
      PLAT_IDNO)
    ChangeWindowMode(1);
  if (EngineInit() == -1) return -1;

  while (PumpMessages() == 0 && IsKeyDown(KEY_ESCAPE) == 0)
    std::this_thread::sleep_for(kFrame);

  EngineEnd();
  return 0;
}
