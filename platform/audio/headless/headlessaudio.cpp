// The headless output: nothing is heard, and the mixer keeps time with the platform clock,
// so that sounds start, play and end on the manual clock as they would on a real device.
#include "platform/audio/backend.h"

namespace {

int Open(PlatAudioDevice*, const char**) { return 0; }
void Close(PlatAudioDevice*) {}

int List(void (*each)(const char*, const char*, void*), void* context) {
  each("headless", "Silent output keeping time with the clock", context);
  return 1;
}

}  // namespace

const PlatAudioBackend* PlatAudioHeadlessBackend() {
  static const PlatAudioBackend table = {
      .name = "headless",
      .movement = PLAT_AUDIO_MOVE_CLOCKED,
      .open = Open,
      .close = Close,
      .list = List,
  };
  return &table;
}
