// The user of the headless platform put back as a fresh process finds them: no key held
// (in this thread's key state or on the keyboard device), Caps Lock off, a desktop of
// 1024 x 768 x 32, message boxes answered with their default button, the cursor shown as
// the arrow. Fixtures call it so that what one test did at the keyboard or to the desktop
// does not reach the tests after it.
#pragma once

#include "platform/display/headless/headlessdisplay.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"

// The key state belongs to the calling thread and follows the key messages its queue
// gives up: the keys are let go of through a window of this thread's own, made for it.
inline void ResetHeadlessUser() {
  const PlatWndClass wc{0, PlatDefWindowProc, PLAT_CURSOR_ARROW, "HeadlessUser"};
  PlatRegisterClass(&wc);
  const PlatWnd window = PlatCreateWindow(0, "HeadlessUser", "", PLAT_WS_POPUP, 0, 0, 1, 1);
  if (window) {
    auto take = [window] {
      PlatMsg m;
      while (PlatPeekMessage(&m, window, 0, 0, PLAT_PM_REMOVE)) {
      }
    };
    for (uint32_t vk = 1; vk < 256; vk++) PlatHeadlessKey(window, vk, 0);
    take();
    if (PlatGetKeyState(PLAT_VK_CAPITAL) & 1) {
      PlatHeadlessKey(window, PLAT_VK_CAPITAL, 1);
      PlatHeadlessKey(window, PLAT_VK_CAPITAL, 0);
      take();
    }
    // A press that reads of one millisecond showed still shows once after its release, a
    // tap in the reads of two (platform/keys/keytaps.h): reads of three milliseconds use
    // them up.
    for (int read = 0; read < 3; read++) {
      uint8_t keys[256];
      PlatGetKeyboardState(keys);
      const uint32_t before = PlatTimeMs();
      if (PlatClockIsManual()) PlatClockAdvance(1);
      while (PlatTimeMs() == before) PlatSleep(1);
    }
    PlatDestroyWindow(window);
  }
  PlatUnregisterClass("HeadlessUser");
  PlatHeadlessKeyboardReset();
  PlatHeadlessSetDesktop(1024, 768, 32, 0);
  PlatHeadlessSetMessageBoxAnswer(0);
  int count = PlatShowCursor(1);
  while (count < 0) count = PlatShowCursor(1);
  while (count > 0) count = PlatShowCursor(0);
  PlatSetCursor(PLAT_CURSOR_ARROW);
}
