// The end of a round: time-out, lives, eliminations, game over, stage clear.
#pragma once

// Once per unpaused play frame, after the objects and the players' touches.
void JudgeRound();
