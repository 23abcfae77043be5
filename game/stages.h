// The stage data, the building of a stage's field and the set-up of a round.
#pragma once

#include <cstdint>

// The three sub-tables of the stage table: enemy kinds, and the items hidden for one player
// and for players 1 and 2 together.
constexpr int32_t kStageEnemies = 0;
constexpr int32_t kStageItemsOnePlayer = 50;
constexpr int32_t kStageItemsTwoPlayers = 100;
constexpr int32_t kStageEmpty = 100;

// Writes the stage table's entries from constants.
void FillStageTable();
// Entry `column` (0-8) of the row for `stage` in a sub-table; a stage outside 0-49 reads as
// an empty row.
int32_t StageEntry(int32_t subTable, int32_t stage, int32_t column);

// The round's set-up, in this order: the stage music, the clock and the start cells, the
// field, the players.
void StartStageMusic();
void StartRound();
void BuildStage();
void ResetPlayersForRound();
// 0 a new game, 1 a continue after game over, 2 a battle round; any other kind does nothing.
void ResetProgress(int32_t kind);
