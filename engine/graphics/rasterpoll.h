// Polls of the display's raster through the DirectDraw object, each given up after
// 100 ms of platform time: a display whose blank never comes must hang neither the mode
// change's measurement nor a present's wait.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

struct RasterPoll {
  PlatDDraw object;
  bool timedOut = false;

  bool InBlank() const {
    int blank = 0;
    PlatDDrawGetVerticalBlankStatus(object, &blank);
    return blank != 0;
  }
  uint32_t Line() const {
    uint32_t line = 0;
    PlatDDrawGetScanLine(object, &line);
    return line;
  }
  // Polls until done(); between two polls, between() runs, and a true from it ends the
  // wait early. False when the wait timed out or was ended.
  template <typename Done, typename Between>
  bool Until(Done done, Between between) {
    if (timedOut) return false;
    const uint32_t start = PlatTimeMs();
    while (!done()) {
      if (PlatTimeMs() - start >= 100) {
        timedOut = true;
        return false;
      }
      if (between()) return false;
    }
    return true;
  }
  template <typename Done>
  bool Until(Done done) {
    return Until(done, [] { return false; });
  }
  void UntilWrapOrBlank() {
    const uint32_t line = Line();
    Until([&] { return Line() < line || InBlank(); });
  }
};
