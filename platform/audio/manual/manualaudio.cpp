// The manual output, for tests: the mixer moves only when a test pulls frames from it
// (PlatAudioManualPull), and the test gets exactly the samples mixed.
#include "platform/audio/backend.h"

namespace {

int Open(PlatAudioDevice*, const char**) { return 0; }
void Close(PlatAudioDevice*) {}

int List(void (*each)(const char*, const char*, void*), void* context) {
  each("manual", "Output pulled by hand", context);
  return 1;
}

}  // namespace

const PlatAudioBackend* PlatAudioManualBackend() {
  static const PlatAudioBackend table = {
      .name = "manual",
      .movement = PLAT_AUDIO_MOVE_PULLED,
      .open = Open,
      .close = Close,
      .list = List,
  };
  return &table;
}
