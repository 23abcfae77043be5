// The SDL output: an SDL audio device at the mixer's own format (44100 Hz, 16-bit
// stereo, 1024-frame periods), which SDL converts to the hardware's; SDL's callback
// thread mixes. SDL_AUDIODRIVER chooses the driver (disk writes the mix to a file).
#include "platform/audio/backend.h"
#include "platform/sdl/sdlstart.h"

#include <SDL.h>

#include <string>

namespace {

void Callback(void* user, Uint8* stream, int len) {
  PlatAudioMix(static_cast<PlatAudioDevice*>(user), reinterpret_cast<int16_t*>(stream),
               uint32_t(len) / PLAT_AUDIO_MIX_FRAME_BYTES);
}

// SDL's reason, kept past the calls that may change it.
const char* Why() {
  static thread_local std::string why;
  why = SDL_GetError();
  return why.c_str();
}

int Open(PlatAudioDevice* device, const char** why) {
  if (!PlatSdlAudioStart()) {
    *why = Why();
    return -1;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = int(PLAT_AUDIO_MIX_RATE);
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = Callback;
  want.userdata = device;
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    *why = Why();
    PlatSdlAudioEnd();
    return -1;
  }
  PlatAudioBackendData(device) = id;
  SDL_PauseAudioDevice(id, 0);
  return 0;
}

void Close(PlatAudioDevice* device) {
  uintptr_t& id = PlatAudioBackendData(device);
  if (id == 0) return;  // it never opened
  SDL_CloseAudioDevice(SDL_AudioDeviceID(id));
  id = 0;
  PlatSdlAudioEnd();
}

int List(void (*each)(const char*, const char*, void*), void* context) {
  if (!PlatSdlAudioStart()) return PlatAudioHeadlessBackend()->list(each, context);
  const char* driver = SDL_GetCurrentAudioDriver();
  if (!driver) driver = "";
  const int n = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < n; i++) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    each(driver, name ? name : "", context);
  }
  // Drivers that name no device (disk, dummy) still have their default output.
  if (n <= 0) each(driver, "Default output", context);
  PlatSdlAudioEnd();
  return n > 0 ? n : 1;
}

}  // namespace

const PlatAudioBackend* PlatAudioSdlBackend() {
  static const PlatAudioBackend table = {
      .name = "sdl",
      .movement = PLAT_AUDIO_MOVE_PULLED,
      .open = Open,
      .close = Close,
      .list = List,
  };
  return &table;
}
