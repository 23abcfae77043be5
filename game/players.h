// What a player does in a frame.
#pragma once

#include <cstdint>

// Pause and join-in from button 5, the direction keys, movement.
void HandlePlayerMove(int32_t number);
// Button 1 (a bomb or a bomb line) and button 2 (remote detonation).
void HandlePlayerButtons(int32_t number);
// The current player's contact with the live objects of the 3 x 3 cells around (row, column).
void TouchCellObjects(int32_t row, int32_t column);
