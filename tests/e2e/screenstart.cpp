// End to end: the engine starts full screen with a background colour of its settings,
// and the screen shows that colour all over: the flipping chain was filled and flipped.
//   screenstart <screen>   starts the engine on the SDL platform and pumps until the
//                          screen (the XWD file Xvfb keeps in its -fbdir) shows the
//                          colour at the centres of a grid of blocks (10 s)
// Exit 0 shown, 1 failed, 77 where the engine cannot start.
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "support/xwd.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint32_t kColour = 0x3060C0;

// Each channel as 5:6:5 keeps it.
bool Near(uint32_t got, uint32_t want) {
  for (int shift : {16, 8, 0}) {
    const int g = int(got >> shift & 0xFF), w = int(want >> shift & 0xFF);
    if (std::abs(g - w) > 8) return false;
  }
  return true;
}

// Block centres of the screen that do not show the colour (-1: no screen to read yet).
long Differences(const char* screenPath, bool report) {
  XwdImage screen;
  if (!ReadXwd(screenPath, &screen)) return -1;
  long bad = 0;
  for (int by = 0; by < 8; by++)
    for (int bx = 0; bx < 8; bx++) {
      const int x = (2 * bx + 1) * screen.width / 16, y = (2 * by + 1) * screen.height / 16;
      const uint32_t got = screen.At(x, y);
      if (Near(got, kColour)) continue;
      if (report && bad < 10) std::fprintf(stderr, "pixel %d,%d: %06X\n", x, y, got);
      bad++;
    }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenstart <screen>\n");
    return 1;
  }
  SystemSettings& set = g_System.settings;
  set.windowed = 0;
  set.backgroundRed = kColour >> 16 & 0xFF;
  set.backgroundGreen = kColour >> 8 & 0xFF;
  set.backgroundBlue = kColour & 0xFF;
  if (EngineInitCore() != 0) {
    std::fprintf(stderr, "the engine did not start\n");
    return 77;
  }
  long bad = -1;
  for (int i = 0; i < 100 && bad != 0; i++) {
    if (PumpMessagesCore() != 0) break;
    PlatDisplayChanged();
    PlatSleep(100);
    if (i % 5 == 4) bad = Differences(argv[1], false);  // a read of the screen is slow
  }
  int result = 0;
  if (bad != 0) {
    Differences(argv[1], true);
    if (bad < 0) std::fprintf(stderr, "no screen to read in %s\n", argv[1]);
    else std::fprintf(stderr, "%ld block centres differ\n", bad);
    result = 1;
  }
  EngineEndCore();
  return result;
}
