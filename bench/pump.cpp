// The cost of one message-pump call on the headless window layer: with nothing waiting
// (the game's every frame) and with five messages to dispatch.
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "engine/system/wndproc.h"
#include "platform/kernel/kernel.h"

#include <benchmark/benchmark.h>

namespace {

PlatWnd MakeMainWindow() {
  static PlatWnd window = 0;
  if (window) return window;
  PlatWindowSelectBackend("headless");
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  PlatRegisterClass(&wc);
  window = PlatCreateWindow(0x300, "D123987X", "Kestr", 0x80CA0000, 0, 0, 650, 510);
  g_System.settings.windowed = 1;
  g_System.mainWindow = window;
  g_System.mainThreadId = PlatThreadId();
  g_System.windowActive = 1;
  return window;
}

void EmptyQueue(benchmark::State& state) {
  MakeMainWindow();
  for (auto _ : state) benchmark::DoNotOptimize(PumpMessagesCore());
}
BENCHMARK(EmptyQueue);

void FiveMessages(benchmark::State& state) {
  PlatWnd window = MakeMainWindow();
  for (auto _ : state) {
    for (uint32_t i = 0; i < 5; i++) PlatPostMessage(window, PLAT_WM_USER + i, 0, 0);
    benchmark::DoNotOptimize(PumpMessagesCore());
  }
}
BENCHMARK(FiveMessages);

}  // namespace
