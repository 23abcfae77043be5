// Stubs until the enemy movement lands: there is no work area.
#include "game/enemyai.h"

void CreatePathWork() {}
void FreePathWork() {}
