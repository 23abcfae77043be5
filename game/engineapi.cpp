// The game's table bound to the engine, and to the four OS services the game needs:
// sleeping, the start-up question, the clock thread's stop signal and a line to the user. These are the only
// platform calls in game/.
#include "game/gameapi.h"

#include "engine/engine.h"
#include "platform/kernel/kernel.h"
#include "platform/window/messagebox.h"

const GameApi* g_Api = nullptr;

namespace {

int AskYesNoBox(const char* text, const char* caption) {
  return PlatMessageBox(0, text, caption, PLAT_MB_YESNO | PLAT_MB_ICONQUESTION) == PLAT_IDYES ? 1
                                                                                               : 0;
}

// Manual-reset, so a stop signalled while the thread is between waits is still seen at its
// next wait. It lives for the whole process, like the engine lock: a thread may be on its
// way into the wait when shut-down signals it.
PlatEvent* ClockStopEvent() {
  static PlatEvent* const event = PlatEventCreate(1, 0);
  return event;
}

int WaitClockStopEvent(uint32_t ms) {
  return PlatEventWait(ClockStopEvent(), ms) == PLAT_WAIT_SIGNALED ? 1 : 0;
}

void SignalClockStopEvent(int32_t stop) {
  if (stop)
    PlatEventSet(ClockStopEvent());
  else
    PlatEventReset(ClockStopEvent());
}

const GameApi kEngineApi = {
    .EngineInit = EngineInit,
    .EngineEnd = EngineEnd,
    .PumpMessages = PumpMessages,
    .ChangeWindowMode = ChangeWindowMode,
    .SetScreenMode = SetScreenMode,
    .PresentScreen = PresentScreen,
    .SetDrawTarget = SetDrawTarget,
    .ClearDrawTarget = ClearDrawTarget,
    .LoadSplitGraph = LoadSplitGraph,
    .FreeAllGraphs = FreeAllGraphs,
    .DrawGraphAt = DrawGraphAt,
    .DrawGraphStretched = DrawGraphStretched,
    .DrawColorBox = DrawColorBox,
    .PackScreenColor = PackScreenColor,
    .DrawTextDefaultFont = DrawTextDefaultFont,
    .DrawTextFormatted = DrawTextFormatted,
    .LoadSoundFile = LoadSoundFile,
    .PlaySoundHandle = PlaySoundHandle,
    .StopSoundHandle = StopSoundHandle,
    .PlayMusicFile = PlayMusicFile,
    .StopMusicFile = StopMusicFile,
    .IsMusicFilePlaying = IsMusicFilePlaying,
    .ReadPadState = ReadPadState,
    .IsKeyDown = IsKeyDown,
    .WaitAnyInput = WaitAnyInput,
    .RandomInt = RandomInt,
    .GetTickMs = GetTickMs,
    .Sleep = PlatSleep,
    .AskYesNo = AskYesNoBox,
    .WriteLog = WriteLog,
    .TellUser = PlatUserNotice,
    .WaitClockStop = WaitClockStopEvent,
    .SignalClockStop = SignalClockStopEvent,
};

}  // namespace

const GameApi* EngineGameApi() { return &kEngineApi; }
