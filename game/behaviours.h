// The states of field objects. Each is called once per frame with its record while play is
// not paused; a state moves the object on by storing another state in its behaviour.
#pragma once

struct FieldObject;

// The first state of each kind.
void ActEnemyAppear(FieldObject* object);
void ActPickupAppear(FieldObject* object);  // "Goal", "Item", "Score"
void ActBlockAppear(FieldObject* object);
void ActTamaAppear(FieldObject* object);
void ActFireAppear(FieldObject* object);
void ActFloorTileAppear(FieldObject* object);
