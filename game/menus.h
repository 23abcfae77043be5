// The title, options and between-round screens.
#pragma once

// Runs the menus until a round is set up or the program is to end.
void RunMenuLoop();
