// Stubs until the players land: they stand still and touch nothing.
#include "game/players.h"

void HandlePlayerMove(int32_t) {}
void HandlePlayerButtons(int32_t) {}
void TouchCellObjects(int32_t, int32_t) {}
