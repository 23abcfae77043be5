// Least bodies: there is no work area until the enemy movement lands.
#include "game/enemyai.h"

void CreatePathWork() {}
void FreePathWork() {}
