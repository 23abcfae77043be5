// Headless input back end: the scripted user of headlessinput.h.
#include "platform/input/headless/headlessinput.h"

#include "platform/input/backend.h"
#include "platform/input/headless/headlesskeys.h"

#include <mutex>
#include <vector>

namespace {

struct Pad {
  PlatPadInfo info;
  PlatPadRaw raw{};
  uint16_t low = 0, high = 0;
};

struct Headless {
  std::mutex mu;
  uint32_t buttons = 0;
  int32_t x = 0, y = 0, wheel = 0;
  std::vector<Pad> pads;
  uint32_t nextInstance = PLAT_DIGUID_PAD_BASE;
};

Headless& H() {
  static Headless* h = new Headless;
  return *h;
}

Pad* PadOf(Headless& h, int pad) {
  if (pad < 0 || size_t(pad) >= h.pads.size()) return nullptr;
  return &h.pads[size_t(pad)];
}

// Changes a pad under the lock and signals its devices afterwards.
template <typename F>
void ChangePad(int pad, F change) {
  Headless& h = H();
  uint32_t instance;
  {
    std::lock_guard<std::mutex> l(h.mu);
    Pad* p = PadOf(h, pad);
    if (!p) return;
    change(*p);
    instance = p->info.instance;
  }
  PlatInputNotifyPad(instance);
}

void Start() {}

void Keyboard(uint8_t keys[256]) { PlatHeadlessKeyboardState(keys); }

void Mouse(uint32_t* buttons, int32_t* x, int32_t* y, int32_t* wheel) {
  std::lock_guard<std::mutex> l(H().mu);
  *buttons = H().buttons;
  *x = H().x;
  *y = H().y;
  *wheel = H().wheel;
}

int Pads(PlatPadInfo* out, int max) {
  std::lock_guard<std::mutex> l(H().mu);
  int n = 0;
  for (const Pad& p : H().pads) {
    if (n < max) out[n] = p.info;
    n++;
  }
  return n < max ? n : max;
}

int ReadPad(uint32_t instance, PlatPadRaw* out) {
  std::lock_guard<std::mutex> l(H().mu);
  for (const Pad& p : H().pads) {
    if (p.info.instance == instance) {
      *out = p.raw;
      return 1;
    }
  }
  return 0;
}

void Rumble(uint32_t instance, uint16_t low, uint16_t high) {
  std::lock_guard<std::mutex> l(H().mu);
  for (Pad& p : H().pads) {
    if (p.info.instance == instance) {
      p.low = low;
      p.high = high;
    }
  }
}

void Update() {}

const PlatInputBackend kHeadless = {
    .name = "headless",
    .start = Start,
    .keyboard = Keyboard,
    .mouse = Mouse,
    .pads = Pads,
    .readPad = ReadPad,
    .rumble = Rumble,
    .update = Update,
};

}  // namespace

const PlatInputBackend* PlatInputHeadlessBackend() { return &kHeadless; }

void PlatHeadlessInputReset() {
  PlatHeadlessKeyboardReset();
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.buttons = 0;
  h.x = h.y = h.wheel = 0;
  h.pads.clear();
  h.nextInstance = PLAT_DIGUID_PAD_BASE;
}

void PlatHeadlessInputMouseButtons(uint32_t buttons) {
  std::lock_guard<std::mutex> l(H().mu);
  H().buttons = buttons;
}

void PlatHeadlessInputMouseMove(int32_t dx, int32_t dy, int32_t wheel) {
  std::lock_guard<std::mutex> l(H().mu);
  H().x += dx;
  H().y += dy;
  H().wheel += wheel;
}

int PlatHeadlessInputAttachPad(const PlatHeadlessPadDesc& desc) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  Pad p;
  p.info.instance = h.nextInstance++;
  p.info.name = desc.name ? desc.name : "";
  p.info.product = desc.product ? desc.product : p.info.name;
  p.info.axes = desc.axes;
  p.info.buttons = desc.buttons;
  p.info.hats = desc.hats;
  p.info.rumble = desc.rumble;
  h.pads.push_back(p);
  return int(h.pads.size()) - 1;
}

void PlatHeadlessInputDetachPad(int pad) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  if (PadOf(h, pad)) h.pads.erase(h.pads.begin() + pad);
}

void PlatHeadlessInputPadAxis(int pad, int axis, int value) {
  if (axis < 0 || axis >= 8) return;
  if (value < -32768) value = -32768;
  if (value > 32767) value = 32767;
  ChangePad(pad, [&](Pad& p) { p.raw.axes[axis] = int16_t(value); });
}

void PlatHeadlessInputPadButton(int pad, int button, int down) {
  if (button < 0 || button >= 32) return;
  ChangePad(pad, [&](Pad& p) { p.raw.buttons[button] = down ? 1 : 0; });
}

void PlatHeadlessInputPadHat(int pad, int hat, uint8_t directions) {
  if (hat < 0 || hat >= 4) return;
  ChangePad(pad, [&](Pad& p) { p.raw.hats[hat] = directions; });
}

int PlatHeadlessInputPadMotors(int pad, uint16_t* low, uint16_t* high) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  Pad* p = PadOf(h, pad);
  if (!p) return 0;
  if (low) *low = p->low;
  if (high) *high = p->high;
  return 1;
}
