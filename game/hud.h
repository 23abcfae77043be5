// A play frame's picture: the field, its objects, the players and the texts.
#pragma once

// Clears, draws the frame and presents the screen.
void DrawHud();
