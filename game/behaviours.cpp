// Stubs until the behaviours land: objects stay in their first state.
#include "game/behaviours.h"

void ActEnemyAppear(FieldObject*) {}
void ActPickupAppear(FieldObject*) {}
void ActBlockAppear(FieldObject*) {}
void ActTamaAppear(FieldObject*) {}
void ActFireAppear(FieldObject*) {}
void ActFloorTileAppear(FieldObject*) {}
