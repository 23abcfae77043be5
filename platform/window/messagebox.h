// The message box, on its own for callers that need nothing else of the window layer.
// Text is Shift-JIS.
#pragma once

#include <cstdint>

// A window handle, as platform/window/window.h has it; 0 is no window.
typedef uint32_t PlatWnd;

// Message box types and answers.
enum : uint32_t {
  PLAT_MB_OK = 0x0,
  PLAT_MB_OKCANCEL = 0x1,
  PLAT_MB_YESNO = 0x4,
  PLAT_MB_ICONQUESTION = 0x20,
  PLAT_MB_DEFBUTTON2 = 0x100,
};
enum : int { PLAT_IDOK = 1, PLAT_IDCANCEL = 2, PLAT_IDYES = 6, PLAT_IDNO = 7 };

// Asks the user; where the back end cannot show a box the default button stands. A question
// asked while no window is up (the start-up question) may be answered without the user:
// KR_MESSAGEBOX_ANSWER=yes|no answers it (automated runs), and on a virtual display nobody
// sees (KR_VIRTUAL_DISPLAY=1) it is answered No with a line on stderr. Every question asked
// once a window is up is shown. Returns PLAT_ID*.
int PlatMessageBox(PlatWnd owner, const char* text, const char* caption, uint32_t type);
