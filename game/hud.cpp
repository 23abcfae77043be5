// Stub until the field drawing lands: nothing is drawn.
#include "game/hud.h"

void DrawHud() {}
