#include "platform/sdl/sdlstart.h"

#include "platform/kernel/kernel.h"

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

struct Part {
  std::once_flag once;
  std::atomic<int> up{0};
  std::string error;  // why the start failed, set once before up is read
};

struct Sdl {
  std::once_flag hints;
  Part parts[2];
  std::atomic<uint32_t> pumpThread{0};
};

Sdl& G() {
  static Sdl* g = new Sdl;
  return *g;
}

constexpr int kVideoAttempts = 10;
constexpr uint32_t kVideoRetryMs = 200;

bool DisplayNamed(const char* variable) {
  const char* value = PlatGetEnv(variable);
  return value && *value;
}

void SetHints() {
  // Ctrl+C and TERM are the window back end's to handle.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A device that only reads while the window has the focus is the engine's business.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  // Only drivers that show something: left to itself SDL falls back to an off-screen
  // driver, and the program would run with no window anywhere. SDL_VIDEODRIVER, when
  // the user sets it, still wins over this default.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11,wayland", SDL_HINT_DEFAULT);
}

// The sound library's own printer of errors writes a dozen lines to the terminal on a
// machine without a sound card, each time SDL tries it; the audio layer says it once, in
// a line of its own. SDL loads the library by the same name, so the handler set here is
// the one its calls meet.
void QuietSoundLibraryErrors(const char*, int, const char*, int, const char*, ...) {}

void SilenceSoundLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Kept open: SDL's own use of the library meets the handler.
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(library, "snd_lib_error_set_handler")))
      set(QuietSoundLibraryErrors);
  });
}

}  // namespace

int PlatSdlStart(PlatSdlPart part) {
  Sdl& g = G();
  Part& p = g.parts[part];
  std::call_once(p.once, [&] {
    std::call_once(g.hints, SetHints);
    const uint32_t flags =
        part == PLAT_SDL_VIDEO ? SDL_INIT_VIDEO : SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;
    // A display that is named but does not answer at once (an X server busy with other
    // clients) is asked again for a while: one refused connection is no proof there is
    // no display, and the user would be told to start one that is up.
    const bool named = part == PLAT_SDL_VIDEO && (DisplayNamed("DISPLAY") || DisplayNamed("WAYLAND_DISPLAY"));
    for (int attempt = 1;; attempt++) {
      p.up = SDL_InitSubSystem(flags) == 0 ? 1 : 0;
      if (p.up || !named || attempt == kVideoAttempts) break;
      PlatSleep(kVideoRetryMs);
    }
    if (!p.up) p.error = SDL_GetError();
  });
  return p.up.load();
}

int PlatSdlIsUp(PlatSdlPart part) { return G().parts[part].up.load(); }

const char* PlatSdlStartError(PlatSdlPart part) {
  Part& p = G().parts[part];
  PlatSdlStart(part);  // waits for a start in progress, so the text is complete
  return p.error.c_str();
}

int PlatSdlAudioStart() {
  std::call_once(G().hints, SetHints);
  SilenceSoundLibrary();
  return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 ? 1 : 0;
}

void PlatSdlAudioEnd() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

void PlatSdlClaimPump() {
  uint32_t none = 0;
  G().pumpThread.compare_exchange_strong(none, PlatThreadId());
}

int PlatSdlOwnsPump() {
  const uint32_t owner = G().pumpThread.load();
  return PlatSdlIsUp(PLAT_SDL_VIDEO) && owner && owner == PlatThreadId() ? 1 : 0;
}

int PlatSdlPump(void (*handle)(const SDL_Event& event)) {
  if (!PlatSdlOwnsPump()) return 0;
  SDL_PumpEvents();
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) handle(e);
  return 1;
}
