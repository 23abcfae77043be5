// Stubs until the display and fonts land: the on-screen log needs both, so it is
// never set up and never drawn.
#include "engine/base/screenlog.h"

ScreenLog g_ScreenLog;

int InitScreenLog() { return -1; }
int GetScreenLogDrawFlag() { return g_ScreenLog.drawFlag; }
