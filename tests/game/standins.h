// Stand-ins for the game functions the frame loop calls (HandlePlayerMove,
// HandlePlayerButtons, TouchCellObjects, JudgeRound, DrawHud, RunMenuLoop). While they are
// on, each call is logged in the fake engine's log ("HandlePlayerMove(1)",
// "TouchCellObjects(11,13)", "JudgeRound()") and runs the test's hook for that name in
// place of the body; while they are off, the game's own bodies run.
#pragma once

#include <functional>
#include <string>

// Turning them on or off forgets the hooks.
void SetGameStandIns(bool on);
void StandInHook(const std::string& name, std::function<void()> hook);
