// The stage data and the set-up of a round.
#pragma once

// Writes the stage table's entries from constants.
void FillStageTable();
