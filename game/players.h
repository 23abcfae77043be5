// What a player does in a frame: pause and join-in, walking with its collisions, bombs and
// remote detonation, touching what lies around it, losing a life; its start cells and its
// animation frame; and the cell queries a walking player relies on.
#pragma once

#include <cstdint>

struct PlayerRecord;

// Pause and join-in from button 5, the direction keys, movement.
void HandlePlayerMove(int32_t number);
// Button 1 (a bomb or a bomb line) and button 2 (remote detonation).
void HandlePlayerButtons(int32_t number);
// The collisions of this frame's step for a player standing on (column, row): may cancel
// the step (moving 0), put the player against a block's edge or slide it round a corner.
void MovePlayer(PlayerRecord* player, int32_t row, int32_t column);
// The current player's contact with the live objects of the 3 x 3 cells around (row, column):
// the open exit, items, and what hurts.
void TouchCellObjects(int32_t row, int32_t column);
// One life less; with the clock run out, out of the round.
void LosePlayerLife(PlayerRecord* player);
// Battle mode's last life: the player's extra bombs, fire and speed go back onto free cells
// as items 4, 5 and 6.
void ScatterPlayerItems(PlayerRecord* player);
// The start cell of the player's number: 1 (1, 1), 2 (13, 11), 3 (13, 1), 4 (1, 11).
void PlacePlayerAtStart(PlayerRecord* player);
// The current player's animation counter and the image drawn for it this frame.
void UpdatePlayerFrame();

// 1 when the player may not walk into cell (column, row): a wall, a soft block or a bomb it
// cannot pass, or a cell off the field; else 0.
int32_t CellBlocksPlayer(int32_t row, const PlayerRecord* player, int32_t column);
// 1 when cell (column, row) holds no live "Block" or "Item", else 0 (off the field too).
int32_t CellFreeForItem(int32_t row, int32_t column);
