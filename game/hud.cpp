// Least body: nothing is drawn until the field drawing lands.
#include "game/hud.h"

void DrawHud() {}
