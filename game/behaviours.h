// The states of field objects. Each is called once per frame with its record while play is
// not paused; a state moves the object on by storing another state in its behaviour.
#pragma once

#include <cstdint>

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
// Every frame shows the tile's own image.
void ActFloorTile(FieldObject* object);

// Moving and thinking, the walking and dying images, and on defeat the score with its chain
// and pop-up, and the core mech's core.
void ActEnemy(FieldObject* object);
// The core mech's 32 shooting frames; one shot each way in the last four.
void ActEnemyShoot(FieldObject* object);
// An enemy shot in flight.
void ActTama(FieldObject* object);

// A bomb's fuse or a flame's spreading and burning, with the hit check every eighth frame
// and the four-frame animation; a remote bomb whose owner has lost the remote type runs a
// fresh fuse.
void ActBombOrFire(FieldObject* object);
void ActWall(FieldObject* object);
// Soft blocks, items, the exit and score pop-ups: their images, their shield and burning
// frames, what a burnt block releases, the burnt exit's replacement, and the exit opening
// once no core is left.
void ActBlockOrPickup(FieldObject* object);
// The last state of every object: 7 frames, then the record goes back to the pool (a bomb
// also leaves the bomb list).
void ActRemove(FieldObject* object);
void ActRemoveBomb(FieldObject* object);

// What burnt blocks and defeated enemies leave behind, on the object's cell.
// Mode 0 (a burnt exit) a walker, mode 1 (a block hiding 500) a core mech; sound 5.
void SpawnEnemiesOnDemand(int32_t mode, const FieldObject* object);
// Class 0-2 an item drawn from its class, class 3 four walkers.
void DropItem(int32_t itemClass, const FieldObject* block);
// A soft block hiding a core on the first free cell of the defeated core mech's cell, below,
// above, right and left; with none free the core counts as freed at once.
void DropItemNearby(const FieldObject* enemy);
// Four walkers on the object's cell, with sound 5.
void SpawnFourWalkers(const FieldObject* object);
