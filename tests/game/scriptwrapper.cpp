#include "scriptwrapper.h"

#include "game/mainloop.h"

#include <cstdint>

namespace {

constexpr uint32_t kSecondMs = 1000;

struct Wrapper {
  const GameApi* inner = nullptr;
  GameApi table{};
  ScriptedInput input;
  uint32_t nextTick = 0;
};
Wrapper g_wrapper;

// Every second of the clock that has passed since the last look ticks once.
void TickClock() {
  const uint32_t now = g_wrapper.inner->GetTickMs();
  while (int32_t(now - g_wrapper.nextTick) >= 0) {
    RoundClockTick();
    g_wrapper.nextTick += kSecondMs;
  }
}

int PumpMessages() {
  const int result = g_wrapper.inner->PumpMessages();
  g_wrapper.input.EndPass();
  TickClock();
  return result;
}

uint32_t GetTickMs() {
  TickClock();
  return g_wrapper.inner->GetTickMs();
}

void Sleep(uint32_t ms) {
  g_wrapper.inner->Sleep(ms);
  TickClock();
}

int ReadPadState(int32_t pad) { return g_wrapper.input.Pad(pad); }
int IsKeyDown(int32_t key) { return g_wrapper.input.Key(key); }
int WaitAnyInput() { return g_wrapper.input.NextWaitAnyInput(); }
int AskYesNo(const char*, const char*) { return g_wrapper.input.NextAskYesNo(); }

// Replays keep the clock on the main thread: a clock thread only waits for its stop.
int WaitClockStop(uint32_t ms) {
  while (g_wrapper.inner->WaitClockStop(ms) == 0) {
  }
  return 1;
}

}  // namespace

const GameApi* ScriptWrapper(const GameApi* inner, const InputScript& script) {
  g_wrapper.inner = inner;
  g_wrapper.table = *inner;
  g_wrapper.table.PumpMessages = PumpMessages;
  g_wrapper.table.GetTickMs = GetTickMs;
  g_wrapper.table.Sleep = Sleep;
  g_wrapper.table.ReadPadState = ReadPadState;
  g_wrapper.table.IsKeyDown = IsKeyDown;
  g_wrapper.table.WaitAnyInput = WaitAnyInput;
  g_wrapper.table.AskYesNo = AskYesNo;
  g_wrapper.table.WaitClockStop = WaitClockStop;
  g_wrapper.input.Start(script);
  g_wrapper.nextTick = inner->GetTickMs() + kSecondMs;
  return &g_wrapper.table;
}

ScriptedInput& ScriptWrapperInput() { return g_wrapper.input; }
