// A play frame's picture: the field, its objects, the players and the texts.
#pragma once

// The field's top-left corner on the screen: the camera is fixed.
constexpr int kFieldScreenX = 80;
constexpr int kFieldScreenY = 80;

// Clears, draws the field and the texts of the mode, and presents the screen.
void DrawHud();
// The objects in four passes, the players, then the black band the texts go on; no clear,
// no present.
void DrawField();
