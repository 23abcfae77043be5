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
  // Pressed since the last read, and pressed and let go since then: a read shows the
  // latter held once, as the SDL back end does, so that a key tapped between two frames
  // is not lost.
  uint8_t pressedUnread[256] = {};
  uint8_t tapped[256] = {};
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
    if (down) k.pressedUnread[code] = 1;
    else if (k.pressedUnread[code]) k.tapped[code] = 1;
  }
  PlatInputNotifyKeyboard();
}

void PlatHeadlessKeyboardState(uint8_t keys[256]) {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memcpy(keys, k.held, sizeof k.held);
  for (int code = 0; code < 256; code++)
    if (k.tapped[code]) keys[code] = 0x80;
  std::memset(k.pressedUnread, 0, sizeof k.pressedUnread);
  std::memset(k.tapped, 0, sizeof k.tapped);
}

void PlatHeadlessKeyboardReset() {
  Keyboard& k = K();
  std::lock_guard<std::mutex> l(k.mu);
  std::memset(k.held, 0, sizeof k.held);
  std::memset(k.pressedUnread, 0, sizeof k.pressedUnread);
  std::memset(k.tapped, 0, sizeof k.tapped);
}
