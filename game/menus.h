// The title, options and between-round screens.
#pragma once

#include <cstdint>

// Runs the menus until a round is set up or the program is to end: the entry, passes, the
// leave.
void RunMenuLoop();
// Stops the music, latches every direction, takes the players out; 1 to run passes, 0 when
// the pump reports the end.
int32_t EnterMenuLoop();
// One pass of about 34 ms: input, the current screen, the pump. 1 to go on, 0 to leave.
int32_t MenuPass();
// Sets a round up (also when the loop ends for Escape or the end of the program).
void LeaveMenuLoop();

// The current screen's lines and cursor (no clear, no present).
void DrawMenu();
// Every player's pad bits applied to the cursor and the state, n items on the screen.
void HandleMenuInput(int32_t n);
// Button 1 in the current state.
void SelectMenuItem();
// Left and right on the stage line.
void ChangeStageNumber();
// The stage data screen; returns after any input.
void ShowStageInfo();
