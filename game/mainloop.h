// The game's spine: start-up and shut-down, the frame loop and the round clock.
#pragma once

#include <cstdint>

struct GameApi;

// Asks how to open the screen, starts the engine, makes the records, starts the clock
// thread, loads the images and sounds, runs the frame loop and tears everything down. 0,
// or -1 when the engine fails to start.
int WinMain(const GameApi* api);
// The cell buckets cleared, then the game state, players, stage table, object pool and
// path work, in this order.
void CreateRecords();
// The opening pump, then frames until the program is to end.
void RunMainLoop();
// Player 1 from pad 1 merged with the keyboard, players 2-4 from pads 2-4.
void ReadPads();
// One frame; 1 to go on, 0 when the program is to end.
int StepFrame();

// One second of the round clock: while a round runs unpaused, secondsLeft goes down by 1.
void RoundClockTick();
// The clock thread's body: a tick after every second of waiting, until the stop.
void RoundClockThread();
// Start the clock thread, and signal its stop and join it.
void StartRoundClock();
void StopRoundClock();
