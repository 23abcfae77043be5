// SDL input back end. The keyboard is what SDL's key events said, seen through an event
// watch (so keys pushed into SDL's queue count as typed, and typed keys count once the
// window back end has pumped them: platform/sdl/sdlstart.h); the mouse is SDL's mouse
// state; pads are SDL's joysticks, opened as game controllers where SDL knows their
// layout.
//
// SDL calls the watch from inside its own locks, on whichever thread pumps or pushes
// events; the watch only marks keys under a lock of their own (never held while SDL is
// called), flips atomics and signals the common part.
#include "platform/input/sdl/sdlinput.h"

#include "platform/input/backend.h"
#include "platform/kernel/kernel.h"
#include "platform/keys/keytable.h"
#include "platform/keys/keytaps.h"
#include "platform/sdl/sdlstart.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace {

// SDL clamps one rumble request to about a minute; a running effect has no end, so the
// request is renewed well before that.
constexpr uint32_t kRumbleRequestMs = 60000;
constexpr uint32_t kRumbleRenewMs = 30000;

struct Opened {
  SDL_Joystick* joystick = nullptr;
  SDL_GameController* controller = nullptr;
  uint16_t low = 0, high = 0;
  uint32_t sent = 0;
};

struct Sdl {
  std::once_flag once;
  std::mutex keysMu;  // the keys and their taps; held only to mark or read them
  uint8_t keys[SDL_NUM_SCANCODES] = {};
  PlatKeyTaps<SDL_NUM_SCANCODES> taps;
  std::atomic<int32_t> wheel{0};
  std::mutex mu;  // the opened pads; SDL is called outside it only where SDL may call back
  std::map<uint32_t, Opened> pads;
};

Sdl& G() {
  static Sdl* g = new Sdl;
  return *g;
}

uint32_t InstanceOf(SDL_JoystickID id) { return uint32_t(id) + PLAT_DIGUID_PAD_BASE; }

int Watch(void*, SDL_Event* e) {
  Sdl& g = G();
  switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int sc = int(e->key.keysym.scancode);
      if (sc > 0 && sc < SDL_NUM_SCANCODES) {
        {
          std::lock_guard<std::mutex> l(g.keysMu);
          if (e->type == SDL_KEYDOWN) g.taps.Press(sc);
          else g.taps.Release(sc);
          g.keys[sc] = e->type == SDL_KEYDOWN ? 1 : 0;
        }
        if (!e->key.repeat) PlatInputNotifyKeyboard();
      }
      break;
    }
    case SDL_MOUSEWHEEL: g.wheel.fetch_add(e->wheel.y * 120); break;
    case SDL_JOYAXISMOTION: PlatInputNotifyPad(InstanceOf(e->jaxis.which)); break;
    case SDL_JOYHATMOTION: PlatInputNotifyPad(InstanceOf(e->jhat.which)); break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: PlatInputNotifyPad(InstanceOf(e->jbutton.which)); break;
    default: break;
  }
  return 1;
}

void Start() {
  Sdl& g = G();
  std::call_once(g.once, [&] {
    PlatSdlStart(PLAT_SDL_PADS);
    SDL_AddEventWatch(Watch, nullptr);
  });
}

void Keyboard(uint8_t keys[256]) {
  static const auto table = [] {
    std::vector<uint8_t> t(SDL_NUM_SCANCODES);
    for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) {
      const PlatKeyRow* key = PlatKeyBySdl(sc);
      t[size_t(sc)] = key ? key->device : 0;
    }
    return t;
  }();
  std::fill(keys, keys + 256, uint8_t(0));
  Sdl& g = G();
  const uint32_t now = PlatTimeMs();
  std::lock_guard<std::mutex> l(g.keysMu);
  for (int sc = 1; sc < SDL_NUM_SCANCODES; sc++) {
    const bool tapped = g.taps.ShowsHeld(sc, now);
    if (table[size_t(sc)] && (g.keys[sc] || tapped)) keys[table[size_t(sc)]] = 0x80;
  }
}

void Mouse(uint32_t* buttons, int32_t* x, int32_t* y, int32_t* wheel) {
  *buttons = 0;
  *x = *y = 0;
  *wheel = G().wheel.load();
  if (!PlatSdlIsUp(PLAT_SDL_VIDEO)) return;
  int mx = 0, my = 0;
  const uint32_t state = SDL_GetMouseState(&mx, &my);
  if (state & SDL_BUTTON_LMASK) *buttons |= 1;
  if (state & SDL_BUTTON_RMASK) *buttons |= 2;
  if (state & SDL_BUTTON_MMASK) *buttons |= 4;
  if (state & SDL_BUTTON_X1MASK) *buttons |= 8;
  if (state & SDL_BUTTON_X2MASK) *buttons |= 16;
  *x = mx;
  *y = my;
}

// The game-controller buttons in the order pads usually number them.
constexpr SDL_GameControllerButton kButtons[] = {
    SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,          SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,       SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,  SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_GUIDE,      SDL_CONTROLLER_BUTTON_MISC1,
    SDL_CONTROLLER_BUTTON_PADDLE1,    SDL_CONTROLLER_BUTTON_PADDLE2,
    SDL_CONTROLLER_BUTTON_PADDLE3,    SDL_CONTROLLER_BUTTON_PADDLE4,
    SDL_CONTROLLER_BUTTON_TOUCHPAD,
};
// X, Y, Z, Rx, Ry, Rz: the left stick, the left trigger, the right stick, the right trigger.
constexpr SDL_GameControllerAxis kAxes[] = {
    SDL_CONTROLLER_AXIS_LEFTX,  SDL_CONTROLLER_AXIS_LEFTY,  SDL_CONTROLLER_AXIS_TRIGGERLEFT,
    SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
};

// Opens every attached joystick not open yet and closes those gone.
int Pads(PlatPadInfo* out, int max) {
  Sdl& g = G();
  if (!PlatSdlIsUp(PLAT_SDL_PADS)) return 0;
  SDL_LockJoysticks();
  const int count = SDL_NumJoysticks();
  std::vector<std::pair<int, uint32_t>> attached;
  for (int i = 0; i < count; i++) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    if (id >= 0) attached.push_back({i, InstanceOf(id)});
  }
  SDL_UnlockJoysticks();

  std::lock_guard<std::mutex> l(g.mu);
  for (auto it = g.pads.begin(); it != g.pads.end();) {
    bool still = false;
    for (auto& a : attached) still |= a.second == it->first;
    if (still) {
      ++it;
      continue;
    }
    if (it->second.controller) SDL_GameControllerClose(it->second.controller);
    else SDL_JoystickClose(it->second.joystick);
    it = g.pads.erase(it);
  }
  int n = 0;
  for (auto& [index, instance] : attached) {
    Opened& o = g.pads[instance];
    if (!o.joystick) {
      if (SDL_IsGameController(index)) o.controller = SDL_GameControllerOpen(index);
      o.joystick = o.controller ? SDL_GameControllerGetJoystick(o.controller) : SDL_JoystickOpen(index);
      if (!o.joystick) {
        g.pads.erase(instance);
        continue;
      }
    }
    if (n >= max) break;
    PlatPadInfo& info = out[n++];
    info.instance = instance;
    const char* name = SDL_JoystickName(o.joystick);
    info.name = name ? name : "";
    const char* product = o.controller ? SDL_GameControllerName(o.controller) : nullptr;
    info.product = product ? product : info.name;
    if (o.controller) {
      info.axes = 6;
      info.buttons = int(std::size(kButtons));
      info.hats = 1;
    } else {
      info.axes = SDL_JoystickNumAxes(o.joystick);
      info.buttons = SDL_JoystickNumButtons(o.joystick);
      info.hats = SDL_JoystickNumHats(o.joystick);
    }
    info.rumble = SDL_JoystickHasRumble(o.joystick) ? 1 : 0;
  }
  return n;
}

int ReadPad(uint32_t instance, PlatPadRaw* out) {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  auto it = g.pads.find(instance);
  if (it == g.pads.end() || !SDL_JoystickGetAttached(it->second.joystick)) return 0;
  *out = PlatPadRaw{};
  if (SDL_GameController* c = it->second.controller) {
    for (size_t i = 0; i < std::size(kAxes); i++) out->axes[i] = SDL_GameControllerGetAxis(c, kAxes[i]);
    for (size_t i = 0; i < std::size(kButtons); i++)
      out->buttons[i] = SDL_GameControllerGetButton(c, kButtons[i]) ? 1 : 0;
    uint8_t hat = 0;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= PLAT_HAT_UP;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= PLAT_HAT_RIGHT;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= PLAT_HAT_DOWN;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= PLAT_HAT_LEFT;
    out->hats[0] = hat;
    return 1;
  }
  SDL_Joystick* j = it->second.joystick;
  const int axes = std::min(SDL_JoystickNumAxes(j), 8);
  for (int i = 0; i < axes; i++) out->axes[i] = SDL_JoystickGetAxis(j, i);
  const int buttons = std::min(SDL_JoystickNumButtons(j), 32);
  for (int i = 0; i < buttons; i++) out->buttons[i] = SDL_JoystickGetButton(j, i) ? 1 : 0;
  const int hats = std::min(SDL_JoystickNumHats(j), 4);
  for (int i = 0; i < hats; i++) out->hats[i] = SDL_JoystickGetHat(j, i) & 0xF;
  return 1;
}

void Rumble(uint32_t instance, uint16_t low, uint16_t high) {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  auto it = g.pads.find(instance);
  if (it == g.pads.end()) return;
  Opened& o = it->second;
  o.low = low;
  o.high = high;
  o.sent = SDL_GetTicks();
  SDL_JoystickRumble(o.joystick, low, high, (low || high) ? kRumbleRequestMs : 0);
}

void Update() {
  if (!PlatSdlIsUp(PLAT_SDL_PADS)) return;
  SDL_JoystickUpdate();
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  const uint32_t now = SDL_GetTicks();
  for (auto& [instance, o] : g.pads) {
    if ((o.low || o.high) && now - o.sent >= kRumbleRenewMs) {
      o.sent = now;
      SDL_JoystickRumble(o.joystick, o.low, o.high, kRumbleRequestMs);
    }
  }
}

const PlatInputBackend kSdl = {
    .name = "sdl",
    .start = Start,
    .keyboard = Keyboard,
    .mouse = Mouse,
    .pads = Pads,
    .readPad = ReadPad,
    .rumble = Rumble,
    .update = Update,
};

// ---- virtual pads ---------------------------------------------------------------------

struct Virtual {
  SDL_Joystick* joystick = nullptr;  // the test's own reference
  uint16_t low = 0, high = 0;
};
std::mutex virtualMu;
std::map<int, Virtual*>& Virtuals() {
  static auto* v = new std::map<int, Virtual*>;
  return *v;
}

int VirtualRumble(void* self, Uint16 low, Uint16 high) {
  std::lock_guard<std::mutex> l(virtualMu);
  static_cast<Virtual*>(self)->low = low;
  static_cast<Virtual*>(self)->high = high;
  return 0;
}

SDL_Joystick* VirtualJoystick(int deviceIndex) {
  std::lock_guard<std::mutex> l(virtualMu);
  auto it = Virtuals().find(deviceIndex);
  return it == Virtuals().end() ? nullptr : it->second->joystick;
}

}  // namespace

const PlatInputBackend* PlatInputSdlBackend() { return &kSdl; }

int PlatSdlAttachVirtualPad(const PlatSdlVirtualPadDesc& d) {
  Start();
  Virtual* v = new Virtual;
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = uint16_t(d.gameController ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN);
  desc.naxes = uint16_t(d.gameController ? SDL_CONTROLLER_AXIS_MAX : d.axes);
  desc.nbuttons = uint16_t(d.gameController ? SDL_CONTROLLER_BUTTON_MAX : d.buttons);
  desc.nhats = uint16_t(d.gameController ? 0 : d.hats);
  desc.name = d.name;
  desc.userdata = v;
  if (d.rumble) desc.Rumble = VirtualRumble;
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0) {
    delete v;
    return -1;
  }
  v->joystick = SDL_JoystickOpen(index);
  std::lock_guard<std::mutex> l(virtualMu);
  Virtuals()[index] = v;
  return index;
}

int PlatSdlDetachVirtualPad(int deviceIndex) {
  Virtual* v;
  {
    std::lock_guard<std::mutex> l(virtualMu);
    auto it = Virtuals().find(deviceIndex);
    if (it == Virtuals().end()) return 0;
    v = it->second;
    Virtuals().erase(it);
  }
  if (v->joystick) SDL_JoystickClose(v->joystick);
  const int ok = SDL_JoystickDetachVirtual(deviceIndex) == 0 ? 1 : 0;
  delete v;
  return ok;
}

int PlatSdlSetVirtualPadAxis(int deviceIndex, int axis, int value) {
  SDL_Joystick* j = VirtualJoystick(deviceIndex);
  return j && SDL_JoystickSetVirtualAxis(j, axis, Sint16(std::clamp(value, -32768, 32767))) == 0;
}

int PlatSdlSetVirtualPadButton(int deviceIndex, int button, int down) {
  SDL_Joystick* j = VirtualJoystick(deviceIndex);
  return j && SDL_JoystickSetVirtualButton(j, button, down ? SDL_PRESSED : SDL_RELEASED) == 0;
}

int PlatSdlSetVirtualPadHat(int deviceIndex, int hat, uint8_t directions) {
  SDL_Joystick* j = VirtualJoystick(deviceIndex);
  return j && SDL_JoystickSetVirtualHat(j, hat, directions) == 0;
}

int PlatSdlVirtualPadMotors(int deviceIndex, uint16_t* low, uint16_t* high) {
  std::lock_guard<std::mutex> l(virtualMu);
  auto it = Virtuals().find(deviceIndex);
  if (it == Virtuals().end()) return 0;
  if (low) *low = it->second->low;
  if (high) *high = it->second->high;
  return 1;
}
