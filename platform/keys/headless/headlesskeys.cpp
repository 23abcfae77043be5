#include "platform/keys/headless/headlesskeys.h"

#include "platform/input/backend.h"
#include "platform/keys/keytable.h"
#include "platform/window/backend.h"

#include <cstring>
#include <mutex>
#include <string>

namespace {

struct Keyboard {
  std::mutex mu;
  uint8_t held[256] = {};
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
    k.held[key->device] = down ? 0x80 : 0;
  }
  PlatInputNotifyKeyboard();
}

void PlatHeadlessKeyboardState(uint8_t keys[256]) {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memcpy(keys, k.held, sizeof k.held);
}

void PlatHeadlessKeyboardReset() {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memset(k.held, 0, sizeof k.held);
}
