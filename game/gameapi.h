// The game's one door to the engine and the OS: a table of function pointers, set once
// at start. The program binds it to engine/engine.h (engineapi.cpp); tests bind a fake
// engine, or wrap either table with a script of inputs. Game code makes no other call
// outside game/.
#pragma once

#include <cstdint>

struct GameApi {
  // ---- the engine's entry points --------------------------------------------------------
  int (*EngineInit)();
  int (*EngineEnd)();
  // 0 to go on, -1 once the program must end.
  int (*PumpMessages)();
  int (*ChangeWindowMode)(int32_t windowed);
  int (*SetScreenMode)(int32_t width, int32_t height, int32_t depth, int32_t rate);
  int (*PresentScreen)();
  int (*SetDrawTarget)(int32_t target);
  int (*ClearDrawTarget)();
  int (*LoadSplitGraph)(const char* fileName, int32_t total, int32_t across, int32_t down,
                        int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag);
  int (*FreeAllGraphs)(int32_t logFlag);
  int (*DrawGraphAt)(int32_t x, int32_t y, int32_t graph, int32_t transparent);
  int (*DrawGraphStretched)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                            int32_t transparent);
  int (*DrawColorBox)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color,
                      int32_t fill);
  uint32_t (*PackScreenColor)(int32_t red, int32_t green, int32_t blue);
  int (*DrawTextDefaultFont)(int32_t x, int32_t y, const char* text, uint32_t color,
                             uint32_t edgeColor);
  int (*DrawTextFormatted)(int32_t x, int32_t y, uint32_t color, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  int (*LoadSoundFile)(const char* fileName, int32_t copies, int32_t stream);
  int (*PlaySoundHandle)(int32_t sound, int32_t playType, int32_t fromTop);
  int (*StopSoundHandle)(int32_t sound);
  int (*PlayMusicFile)(const char* fileName, int32_t playType);
  int (*StopMusicFile)();
  int (*IsMusicFilePlaying)();
  int (*ReadPadState)(int32_t pad);
  int (*IsKeyDown)(int32_t key);
  int (*WaitAnyInput)();
  int32_t (*RandomInt)(uint32_t max);
  uint32_t (*GetTickMs)();

  // ---- the OS -----------------------------------------------------------------------------
  void (*Sleep)(uint32_t ms);
  // The Yes/No question with the question icon and no owner: 1 for Yes, 0 for No.
  int (*AskYesNo)(const char* text, const char* caption);
  // Appends a Shift-JIS text to the log.
  int (*WriteLog)(const char* text);
  // A line the user must read, in English, on the terminal.
  void (*TellUser)(const char* text);
  // The clock thread's timed wait: 1 as soon as the stop has been signalled (at once if it
  // already was), 0 when ms have passed without it.
  int (*WaitClockStop)(uint32_t ms);
  // 1 signals the stop and wakes the wait; 0 clears it before a clock thread starts.
  void (*SignalClockStop)(int32_t stop);
};

// The table in use; WinMain sets it, a test may set it before calling game code.
extern const GameApi* g_Api;

// The table bound to the engine and the platform.
const GameApi* EngineGameApi();
