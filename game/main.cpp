// The program: the game on the engine. Closing the window, Escape, Ctrl+C or a TERM
// signal end it.
#include "game/gameapi.h"
#include "game/mainloop.h"

int main() { return WinMain(EngineGameApi()); }
