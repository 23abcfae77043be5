// The states of field objects. Each is called once per frame with its record while play is
// not paused; a state moves the object on by storing another state in its behaviour.
#pragma once

struct FieldObject;

// The first state of each kind.
void ActEnemyAppear(FieldObject* object);
void ActPickupAppear(FieldObject* object);  // "Goal", "Item", "Score"
// 8 frames, then a wall's, a bomb's or a soft block's own state; a bomb joins the end of
// the bomb list on its second frame.
void ActBlockAppear(FieldObject* object);
void ActTamaAppear(FieldObject* object);
// 1 frame, then ActBombOrFire.
void ActFireAppear(FieldObject* object);
void ActFloorTileAppear(FieldObject* object);

// A bomb's fuse or a flame's spreading and burning, with the hit check every eighth frame
// and the four-frame animation; a remote bomb whose owner has lost the remote type runs a
// fresh fuse.
void ActBombOrFire(FieldObject* object);
void ActWall(FieldObject* object);
// Soft blocks, items, the exit and score pop-ups.
void ActBlockOrPickup(FieldObject* object);
// The last state of every object: 7 frames, then the record goes back to the pool (a bomb
// also leaves the bomb list).
void ActRemove(FieldObject* object);
void ActRemoveBomb(FieldObject* object);
