// Stub until the menus land: returns at once, so the program idles in its frame loop until Escape.
#include "game/menus.h"

void RunMenuLoop() {}
