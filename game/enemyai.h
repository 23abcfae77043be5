// Enemies and their shots on the move: cell-to-cell steps, the cell ahead, thinking at each
// cell boundary, and the straight-line probes toward players 1 and 2 in a shared work area.
#pragma once

#include "game/gamestate.h"

#include <cstdint>

struct FieldObject;

// The probes' work area. It holds nothing between thoughts: every strategy resets it first.
struct PathWork {
  // Index column x 13 + row: 0 free, 1 on the current path, 2 blocked or the searcher's cell.
  int32_t searchGrid[kFieldColumns * kFieldRows];
  int32_t pathColumns[16];
  int32_t pathRows[16];
  int32_t depth;
  // Times the current probe reached a player; a probe stops growing once it is not 0.
  int32_t lineHits;
  int32_t found;
  // Manhattan distance to the nearer of players 1 and 2: no line can be shorter.
  int32_t lowerBound;
  int32_t bestDirection;
  int32_t bestLength;  // 100: none
  int32_t aimResult;   // 4: none
};

extern PathWork* g_PathWork;
// The object ThinkEnemy thinks for.
extern FieldObject* g_CurrentAiObject;

// Makes the work area, once at start-up; FreePathWork frees it at shut-down.
void CreatePathWork();
void FreePathWork();

// Once per frame from the enemy's state: thinking at a cell boundary, the step, and the
// decision to shoot.
void RunEnemyMove(FieldObject* enemy);
// Once per frame from the shot's state.
void StepTama(FieldObject* shot);
// dirX, dirY and facing from the direction (0 down, 1 up, 2 left, 3 right); moving 1.
void SetDirectionDelta(FieldObject* object, int32_t direction);
// Judges cell (column, row) ahead of the mover: stops it (moving 0) where it may not enter,
// and ends a shot at a wall or bomb. A cell off the field stops anything. 1 when stopped.
int32_t CellHasBlockOrTama(FieldObject* mover, int32_t row, int32_t column);
// Chooses aiDirection (and, for the core mech, aimDirection) for g_CurrentAiObject.
void ThinkEnemy();
// One shot from the enemy's cell (column, row), flying the way the enemy's stateTimer says.
FieldObject* SpawnTama(FieldObject* enemy, int32_t column, int32_t row);

// The strategies: the direction to walk, and the core mech's direction to shoot.
void LookForPlayer(FieldObject* object);
void AimAtPlayer(FieldObject* object);
void ResetPathWork(FieldObject* object);
// 1 when cell (column, row) is blocked for the object: a wall, or a soft block it cannot
// pass (bombs never block); a blocking cell is marked 2 in the search grid.
int32_t PathBlocked(FieldObject* object, int32_t column, int32_t row);
// As PathBlocked, seeing through soft blocks.
int32_t PathBlockedByWall(int32_t column, int32_t row);
// A straight probe from cell (column, row) in the direction, 1 or more once a line to a
// player has been found shorter than the best so far.
int32_t ProbeLineToPlayer(FieldObject* object, int32_t column, int32_t row, int32_t direction);
int32_t ProbeLineToPlayerThroughBlocks(int32_t column, int32_t row, int32_t direction);
