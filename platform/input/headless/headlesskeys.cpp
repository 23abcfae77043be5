#include "platform/input/headless/headlesskeys.h"

#include "platform/input/backend.h"
#include "platform/kernel/kernel.h"
#include "platform/keys/keytable.h"
#include "platform/keys/keytaps.h"
#include "platform/window/backend.h"

#include <cstring>
#include <mutex>
#include <string>

namespace {

struct Keyboard {
  std::mutex mu;
  uint8_t held[256] = {};
  PlatKeyTaps<256> taps;  // by device key code
};

Keyboard& K() {
  static Keyboard* k = new Keyboard;
  return *k;
}

}  // namespace

void PlatHeadlessKey(PlatWnd focus, uint32_t vk, int down, const char* chars) {
  if (focus) PlatQueueKey(focus, vk, down, chars ? 1 : 0, chars ? chars : "");
  const PlatKeyRow* key = PlatKeyByVk(vk);
  if (!key) return;  // a code no key of the keyboard sends
  {
    Keyboard& k = K();
    std::lock_guard<std::mutex> l(k.mu);
    const uint8_t code = key->device;
    k.held[code] = down ? 0x80 : 0;
    if (down) k.taps.Press(code);
    else k.taps.Release(code);
  }
  PlatInputNotifyKeyboard();
}

void PlatHeadlessKeyboardState(uint8_t keys[256]) {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memcpy(keys, k.held, sizeof k.held);
  const uint32_t now = PlatTimeMs();
  for (int code = 0; code < 256; code++)
    if (k.taps.ShowsHeld(code, now)) keys[code] = 0x80;
}

void PlatHeadlessKeyboardReset() {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memset(k.held, 0, sizeof k.held);
  k.taps.Reset();
}
