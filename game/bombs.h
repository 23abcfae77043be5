// Bombs, flames and what they hit: laying a bomb or a line of them, remote detonation, the
// fuse and the spreading of flames, the cell queries fire and bombs rely on, and the hit
// rules every object's state runs on every eighth frame.
#pragma once

#include <cstdint>

struct FieldObject;
struct PlayerRecord;

// The bomb or flame being exploded or spread; QueryCellForFire looks from it.
extern FieldObject* g_CurrentFire;

// One of the player's bombs on (column, row), by its bomb type, with the hit check of a bomb
// just laid and its first fuse tick. Null, with nothing laid and bombsLeft unchanged, when
// no record can be had.
FieldObject* LayBomb(PlayerRecord* player, int32_t column, int32_t row);
// The player's remaining bombs, one a cell in the direction it faces, from the cell after
// (column, row) up to the first cell that holds something or the last bomb; sound 1 for
// every cell tried. A stop of 1 lays one bomb at most.
void LayBombLine(PlayerRecord* player, int32_t column, int32_t row, int32_t stop);
// Sets off the oldest live remote bomb of player `number`.
void DetonateOldestBomb(int32_t number);
// One step of the current fire object: a bomb's fuse tick (bursting into a centre flame at
// 0), or a flame's spreading step and burning.
void ExplodeBomb();

// What fire meets in the cell the current fire object steps into: 0 open, 1 burns and
// stops, 2 solid. Off the field is solid.
int32_t QueryCellForFire(int32_t row, int32_t column);
// 0 nothing, 1 a bomb, 2 a wall or soft block; the last live "Block" of the cell decides.
int32_t CellHasBlock(int32_t row, int32_t column);
// 0 when the cell holds no live "Block", "Enemy", "Item" or "Goal", else 1 for a bomb, 2 for
// another block, 3 for the others (the last such object decides). Off the field is 2.
int32_t CellBlocksBombLine(int32_t row, int32_t column);
// The hit rules for `object` against the live objects of the 3 x 3 cells around (row,
// column): mode 1 from the states on every eighth frame, mode 2 once for a bomb just laid
// (which also turns back an enemy it overlaps). Always 0.
int32_t CheckObjectHits(FieldObject* object, int32_t row, int32_t column, int32_t mode);
