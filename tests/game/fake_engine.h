// A fake engine for the game's tests, behind the game's table. It keeps a manual
// millisecond clock (GetTickMs reads it, Sleep moves it), answers pads, keys and questions
// from a script, scripts RandomInt, hands out graph and sound handles that say what they
// are, records every frame's draws, every play and stop, and logs every call in order.
//
// Calls are logged as "Name(arg,arg)", strings bare: "LoadSoundFile(bom09.wav,3,-1)".
// The clock thread's waits are not logged, since their place among the main thread's
// calls depends on timing; only a wait answering the stop is ("WaitClockStop->1"), which
// a shut-down that joins the thread places before its next call.
#pragma once

#include "game/gameapi.h"
#include "inputscript.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

struct FakeDraw {
  enum Kind { kClear, kGraph, kStretched, kBox, kText } kind = kClear;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  // The graph's sheet (its file, and its number in load order) and cell; sheet -1 and an
  // empty file for a handle the engine would refuse.
  std::string sheetFile;
  int32_t sheet = -1, cell = -1;
  int32_t transparent = 0;
  uint32_t color = 0, edgeColor = 0;
  int32_t fill = 0;
  std::string text;  // Shift-JIS bytes as drawn (formatted)
};

// The draws between two presents.
struct FakeFrame {
  std::vector<FakeDraw> draws;
};

// A play, stop or music call, with the frame it fell in (the number of frames presented
// before it). Sounds are named by their file: "PlaySoundHandle(bom09.wav,1,1)".
struct FakeAudioCall {
  size_t frame;
  std::string call;
};

struct FakeEngine {
  // ---- the script ----
  int32_t engineInitResult = 0;
  // The pump that closes this pass reports the end (0: the first pump); -1 never.
  int32_t endPass = -1;
  // RandomInt answers these first (each must lie within the max asked), then the engine's
  // own generator seeded with `seed` at the first unscripted call.
  std::deque<int32_t> randomValues;
  uint32_t seed = 4357;
  // Loads of these files fail.
  std::set<std::string> failingLoads;
  ScriptedInput input;

  // ---- what happened ----
  std::vector<uint32_t> randomMaxes;
  std::vector<FakeFrame> frames;
  FakeFrame current;  // draws since the last present
  std::vector<FakeAudioCall> audio;
  std::vector<std::string> sheetFiles;  // by sheet number
  std::vector<int32_t> sheetCells;
  std::vector<std::string> soundFiles;  // by sound number
  int32_t musicPlaying = 0;
  int32_t engineUp = 0;
  int32_t graphsFreed = 0;
  bool seeded = false;
};

// Forgets everything, takes the script's inputs and sets the clock.
void ResetFakeEngine(const InputScript& script = {}, uint32_t clockMs = 0);
FakeEngine& Fake();
const GameApi* FakeEngineApi();

// The clock; moving it wakes a clock-thread wait that has run out.
uint32_t FakeClock();
void FakeAdvanceClock(uint32_t ms);

// The log, whole or only the calls of these names (the part before the argument list).
std::vector<std::string> FakeCalls();
std::vector<std::string> FakeCallsNamed(const std::set<std::string>& names);
void ClearFakeCalls();
// Adds an entry, as the game's stand-ins do.
void FakeLog(const std::string& entry);

// Handle layout, for tests that make handles by hand.
int32_t FakeGraphHandle(int32_t sheet, int32_t cell);
