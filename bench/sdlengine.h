// Benchmarks that time the engine showing through SDL against SDL's own renderer: both on
// SDL's dummy drivers unless others are set, the engine's log kept out of Log.txt.
#pragma once

#include "engine/base/log.h"
#include "platform/kernel/kernel.h"

#include <SDL.h>

#include <cstdlib>

// Call first in main; the desktop's mode (fallbackWidth x fallbackHeight when SDL cannot
// tell).
inline SDL_DisplayMode StartEngineOnSdl(int fallbackWidth, int fallbackHeight) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  // Ours must show through SDL too: the headless display uploads nowhere.
  setenv("KR_PLATFORM", "sdl", 1);
  // The engine's log would go to Log.txt in the working directory.
  SetLogDebuggerOnly(1);
  PlatSetDebugSink([](const char*, void*) {}, nullptr);
  SDL_Init(SDL_INIT_VIDEO);
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) desktop.w = fallbackWidth, desktop.h = fallbackHeight;
  return desktop;
}
