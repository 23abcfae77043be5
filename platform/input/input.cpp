// The part of the input layer every back end shares: interfaces, devices with their
// formats, cooperation, properties, acquisition and notification, the axis scaling, the
// force-feedback effects turned into motor speeds, and the plain joystick functions.
//
// One mutex guards the records. It is never held while a back end runs: the SDL back end
// reports changes from inside SDL's own locks.
#include "platform/input/input.h"

#include "platform/backend/chooser.h"
#include "platform/input/backend.h"
#include "platform/text/text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

struct PlatInput {
  uint32_t version = 0;
  bool initialized = false;
};

namespace {

enum Kind { kMouse, kKeyboard, kPad };

struct Axis {
  int32_t min = 0, max = 65535;
  int32_t deadZone = 0;  // 1/10000 of the travel from the centre
};

constexpr int kAxes = 8;  // X, Y, Z, Rx, Ry, Rz and the two sliders

}  // namespace

struct PlatInputDevice {
  uint32_t guid = 0;
  Kind kind = kMouse;
  int format = 0;
  uint32_t cooperation = 0;
  PlatWnd window = 0;
  bool acquired = false;
  bool lost = false;  // the pad has gone: reads fail until it is acquired again
  PlatEvent* event = nullptr;
  uint32_t bufferSize = 0;
  Axis axes[kAxes];
  std::vector<PlatInputEffect*> effects;
  bool mouseSeen = false;
  int32_t mouseX = 0, mouseY = 0, wheel = 0;
  uint16_t low = 0, high = 0;  // motor speeds last sent
};

struct PlatInputEffect {
  PlatInputDevice* device = nullptr;
  uint32_t kind = 0;
  PlatEffectParams params{};
  bool running = false;
};

namespace {

const PlatBackendOption<PlatInputBackend> kBackends[] = {
    {.table = PlatInputSdlBackend, .platforms = PLAT_PLATFORM_SDL},
    {.table = PlatInputHeadlessBackend, .platforms = PLAT_PLATFORM_HEADLESS},
};
PlatBackendChoice<PlatInputBackend> backend(kBackends, PLAT_BACKEND_FIXED);

struct State {
  std::mutex mu;
  bool started = false;
  std::vector<PlatInputDevice*> devices;
  int live = 0;
  PlatInputCallHook hook = nullptr;
  void* hookContext = nullptr;
};

State& S() {
  static State* s = new State;
  return *s;
}

// The back end in use, brought up by its first use.
const PlatInputBackend* Backend() {
  const PlatInputBackend* b = backend.Get();
  State& s = S();
  bool start;
  {
    std::lock_guard<std::mutex> l(s.mu);
    start = !s.started;
    s.started = true;
  }
  if (start) b->start();
  return b;
}

// Lets the test hook see the call; its non-zero answer is the call's result.
int32_t Hooked(const char* name, uint32_t version, uint32_t device, uint32_t value = 0,
               uint32_t object = 0) {
  PlatInputCallHook hook;
  void* context;
  {
    std::lock_guard<std::mutex> l(S().mu);
    hook = S().hook;
    context = S().hookContext;
  }
  if (!hook) return 0;
  return hook(PlatInputCall{name, version, device, value, object}, context);
}

void CountLive(int delta) {
  std::lock_guard<std::mutex> l(S().mu);
  S().live += delta;
}

int AxisIndex(uint32_t offset) {
  if (offset % 4 != 0 || offset / 4 >= uint32_t(kAxes)) return -1;
  return int(offset / 4);
}

// A raw position (-32768 to 32767) in the axis's range: positions within the dead zone
// read as the centre, the rest of the travel spreads over the range.
int32_t ScaleAxis(int raw, const Axis& a) {
  const int64_t travel = 32767;
  const int64_t v = std::max(raw, -32767);
  const int64_t magnitude = v < 0 ? -v : v;
  const int64_t dead = travel * a.deadZone / 10000;
  const int64_t span = int64_t(a.max) - a.min;
  int64_t moved = 0;
  if (magnitude > dead && dead < travel) moved = (magnitude - dead) * span / (travel - dead);
  const int64_t twice = int64_t(a.min) + a.max + (v < 0 ? -moved : moved);
  return int32_t(twice / 2);
}

uint32_t Pov(uint8_t hat) {
  switch (hat & 0xF) {
    case PLAT_HAT_UP: return 0;
    case PLAT_HAT_UP | PLAT_HAT_RIGHT: return 4500;
    case PLAT_HAT_RIGHT: return 9000;
    case PLAT_HAT_DOWN | PLAT_HAT_RIGHT: return 13500;
    case PLAT_HAT_DOWN: return 18000;
    case PLAT_HAT_DOWN | PLAT_HAT_LEFT: return 22500;
    case PLAT_HAT_LEFT: return 27000;
    case PLAT_HAT_UP | PLAT_HAT_LEFT: return 31500;
    default: return 0xFFFFFFFFu;
  }
}

bool PadAt(uint32_t id, PlatPadInfo* info) {
  PlatPadInfo pads[16];
  int n = Backend()->pads(pads, 16);
  if (id >= uint32_t(n)) return false;
  *info = pads[id];
  return true;
}

bool FindPad(uint32_t instance, PlatPadInfo* info) {
  PlatPadInfo pads[16];
  int n = Backend()->pads(pads, 16);
  for (int i = 0; i < n; i++) {
    if (pads[i].instance == instance) {
      *info = pads[i];
      return true;
    }
  }
  return false;
}

void FillInstance(const PlatPadInfo& pad, PlatDeviceInstance* out) {
  std::memset(out, 0, sizeof *out);
  out->guidInstance = pad.instance;
  out->devType = PLAT_DIDEVTYPE_GAMECTRL;
  std::string name = PlatUtf8ToSjis(pad.name.c_str());
  std::string product = PlatUtf8ToSjis(pad.product.c_str());
  std::strncpy(out->instanceName, name.c_str(), sizeof out->instanceName - 1);
  std::strncpy(out->productName, product.c_str(), sizeof out->productName - 1);
}

// The motors follow the running effects: the constant force drives the low-frequency
// motor, the sine the high-frequency one, each at its magnitude times its gain.
void UpdateMotors(PlatInputDevice* d) {
  uint32_t low = 0, high = 0;
  uint32_t instance;
  {
    std::lock_guard<std::mutex> l(S().mu);
    for (PlatInputEffect* e : d->effects) {
      if (!e->running) continue;
      const int64_t magnitude = std::min<int64_t>(std::llabs(e->params.magnitude), 10000);
      const int64_t gain = std::min<uint32_t>(e->params.gain, 10000);
      const uint32_t speed = uint32_t(magnitude * gain * 65535 / 100000000);
      uint32_t& motor = e->kind == PLAT_DIGUID_CONSTANTFORCE ? low : high;
      motor = std::max(motor, speed);
    }
    if (low == d->low && high == d->high) return;
    d->low = uint16_t(low);
    d->high = uint16_t(high);
    instance = d->guid;
  }
  Backend()->rumble(instance, uint16_t(low), uint16_t(high));
}

uint32_t KindOfFormat(int format) {
  switch (format) {
    case PLAT_DIFMT_MOUSE2: return kMouse;
    case PLAT_DIFMT_KEYBOARD: return kKeyboard;
    case PLAT_DIFMT_JOYSTICK: return kPad;
    default: return 99;
  }
}

void Notify(Kind kind, uint32_t instance) {
  std::lock_guard<std::mutex> l(S().mu);
  for (PlatInputDevice* d : S().devices)
    if (d->kind == kind && (kind != kPad || d->guid == instance) && d->acquired && d->event)
      PlatEventSet(d->event);
}

}  // namespace

// ---- back end -----------------------------------------------------------------------

int PlatInputSelectBackend(const char* name) {
  std::lock_guard<std::mutex> l(S().mu);
  // Devices belong to the back end that made them: another takes over only once every
  // interface, device and effect is released (and then starts at its first use).
  const PlatInputBackend* before = backend.Get();
  if (backend.Select(name, S().live > 0) != 0) return -1;
  if (backend.Get() != before) S().started = false;
  return 0;
}

const char* PlatInputBackendName() { return Backend()->name; }

void PlatInputNotifyKeyboard() { Notify(kKeyboard, 0); }
void PlatInputNotifyPad(uint32_t instance) { Notify(kPad, instance); }

// ---- the interface --------------------------------------------------------------------

int32_t PlatInputCreate(uint32_t version, PlatInput** out) {
  if (!out) return PLAT_DIERR_INVALIDPARAM;
  *out = nullptr;
  Backend();
  if (int32_t r = Hooked("Create", version, 0)) return r;
  if (version != PLAT_DINPUT7 && version != PLAT_DINPUT8) return PLAT_DIERR_CLASSNOTREG;
  *out = new PlatInput;
  (*out)->version = version;
  CountLive(1);
  return PLAT_DI_OK;
}

int32_t PlatInputInitialize(PlatInput* input, uint32_t version) {
  if (!input) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Initialize", version, 0)) return r;
  if (version > input->version) return PLAT_DIERR_INVALIDPARAM;
  input->initialized = true;
  return PLAT_DI_OK;
}

void PlatInputRelease(PlatInput* input) {
  if (!input) return;
  delete input;
  CountLive(-1);
}

int32_t PlatInputEnumDevices(PlatInput* input, uint32_t devType, PlatDeviceEnumCallback callback,
                             void* context, uint32_t) {
  if (!input || !callback) return PLAT_DIERR_INVALIDPARAM;
  if (!input->initialized) return PLAT_DIERR_NOTINITIALIZED;
  if (int32_t r = Hooked("EnumDevices", input->version, 0, devType)) return r;
  if (devType != PLAT_DIDEVTYPE_GAMECTRL) return PLAT_DI_OK;
  PlatPadInfo pads[16];
  const int n = Backend()->pads(pads, 16);
  for (int i = 0; i < n; i++) {
    PlatDeviceInstance instance;
    FillInstance(pads[i], &instance);
    if (callback(&instance, context) == PLAT_DIENUM_STOP) break;
  }
  return PLAT_DI_OK;
}

int32_t PlatInputCreateDevice(PlatInput* input, uint32_t guid, PlatInputDevice** out) {
  if (!input || !out) return PLAT_DIERR_INVALIDPARAM;
  *out = nullptr;
  if (!input->initialized) return PLAT_DIERR_NOTINITIALIZED;
  if (int32_t r = Hooked("CreateDevice", input->version, guid)) return r;
  Kind kind;
  if (guid == PLAT_DIGUID_SYSMOUSE) {
    kind = kMouse;
  } else if (guid == PLAT_DIGUID_SYSKEYBOARD) {
    kind = kKeyboard;
  } else {
    PlatPadInfo pad;
    if (!FindPad(guid, &pad)) return PLAT_DIERR_DEVICENOTREG;
    kind = kPad;
  }
  PlatInputDevice* d = new PlatInputDevice;
  d->guid = guid;
  d->kind = kind;
  {
    std::lock_guard<std::mutex> l(S().mu);
    S().devices.push_back(d);
    S().live++;
  }
  *out = d;
  return PLAT_DI_OK;
}

// ---- devices --------------------------------------------------------------------------

int32_t PlatDeviceSetDataFormat(PlatInputDevice* d, int format) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("SetDataFormat", 0, d->guid, uint32_t(format))) return r;
  if (d->acquired) return PLAT_DIERR_ACQUIRED;
  if (KindOfFormat(format) != uint32_t(d->kind)) return PLAT_DIERR_INVALIDPARAM;
  d->format = format;
  return PLAT_DI_OK;
}

int32_t PlatDeviceSetCooperativeLevel(PlatInputDevice* d, PlatWnd window, uint32_t flags) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("SetCooperativeLevel", 0, d->guid, flags)) return r;
  if (d->acquired) return PLAT_DIERR_ACQUIRED;
  const uint32_t share = flags & (PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_NONEXCLUSIVE);
  const uint32_t when = flags & (PLAT_DISCL_FOREGROUND | PLAT_DISCL_BACKGROUND);
  if (share == 0 || share == (PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_NONEXCLUSIVE)) return PLAT_DIERR_INVALIDPARAM;
  if (when == 0 || when == (PLAT_DISCL_FOREGROUND | PLAT_DISCL_BACKGROUND)) return PLAT_DIERR_INVALIDPARAM;
  d->cooperation = flags;
  d->window = window;
  return PLAT_DI_OK;
}

int32_t PlatDeviceSetProperty(PlatInputDevice* d, int property, uint32_t how, uint32_t object,
                              int32_t value, int32_t value2) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("SetProperty", 0, d->guid, uint32_t(property), object)) return r;
  if (d->acquired) return PLAT_DIERR_ACQUIRED;
  switch (property) {
    case PLAT_DIPROP_BUFFERSIZE:
      if (how != PLAT_DIPH_DEVICE || object != 0 || value < 0) return PLAT_DIERR_INVALIDPARAM;
      d->bufferSize = uint32_t(value);
      return PLAT_DI_OK;
    case PLAT_DIPROP_RANGE:
    case PLAT_DIPROP_DEADZONE: {
      if (d->kind != kPad || d->format != PLAT_DIFMT_JOYSTICK) return PLAT_DIERR_UNSUPPORTED;
      const int axis = how == PLAT_DIPH_BYOFFSET ? AxisIndex(object) : -1;
      if (axis < 0) return PLAT_DIERR_INVALIDPARAM;
      Axis& a = d->axes[axis];
      if (property == PLAT_DIPROP_RANGE) {
        if (value >= value2) return PLAT_DIERR_INVALIDPARAM;
        a.min = value;
        a.max = value2;
      } else {
        if (value < 0 || value > 10000) return PLAT_DIERR_INVALIDPARAM;
        a.deadZone = value;
      }
      return PLAT_DI_OK;
    }
    default: return PLAT_DIERR_UNSUPPORTED;
  }
}

int32_t PlatDeviceSetEventNotification(PlatInputDevice* d, PlatEvent* event) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("SetEventNotification", 0, d->guid)) return r;
  std::lock_guard<std::mutex> l(S().mu);
  if (d->acquired) return PLAT_DIERR_ACQUIRED;
  d->event = event;
  return d->kind == kPad ? PLAT_DI_POLLEDDEVICE : PLAT_DI_OK;
}

int32_t PlatDeviceGetDeviceInfo(PlatInputDevice* d, PlatDeviceInstance* info) {
  if (!d || !info) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("GetDeviceInfo", 0, d->guid)) return r;
  std::memset(info, 0, sizeof *info);
  if (d->kind != kPad) {
    info->guidInstance = d->guid;
    const char* name = d->kind == kMouse ? "Mouse" : "Keyboard";
    std::strcpy(info->instanceName, name);
    std::strcpy(info->productName, name);
    return PLAT_DI_OK;
  }
  PlatPadInfo pad;
  if (!FindPad(d->guid, &pad)) return PLAT_DIERR_INPUTLOST;
  FillInstance(pad, info);
  return PLAT_DI_OK;
}

int32_t PlatDeviceCreateEffect(PlatInputDevice* d, uint32_t effectGuid, const PlatEffectParams* params,
                               PlatInputEffect** out) {
  if (!d || !params || !out) return PLAT_DIERR_INVALIDPARAM;
  *out = nullptr;
  if (int32_t r = Hooked("CreateEffect", 0, d->guid, effectGuid)) return r;
  if (effectGuid != PLAT_DIGUID_CONSTANTFORCE && effectGuid != PLAT_DIGUID_SINE) return PLAT_DIERR_INVALIDPARAM;
  PlatPadInfo pad;
  if (d->kind != kPad || !FindPad(d->guid, &pad) || !pad.rumble) return PLAT_DIERR_UNSUPPORTED;
  PlatInputEffect* e = new PlatInputEffect;
  e->device = d;
  e->kind = effectGuid;
  e->params = *params;
  e->params.envelope = nullptr;  // the caller's record need not outlive the call
  {
    std::lock_guard<std::mutex> l(S().mu);
    d->effects.push_back(e);
    S().live++;
  }
  *out = e;
  return PLAT_DI_OK;
}

int32_t PlatDeviceAcquire(PlatInputDevice* d) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Acquire", 0, d->guid)) return r;
  if (!d->format) return PLAT_DIERR_INVALIDPARAM;
  if (d->kind == kPad) {
    PlatPadInfo pad;
    if (!FindPad(d->guid, &pad)) return PLAT_DIERR_INPUTLOST;
  }
  std::lock_guard<std::mutex> l(S().mu);
  d->lost = false;
  if (d->acquired) return PLAT_DI_NOEFFECT;
  d->acquired = true;
  return PLAT_DI_OK;
}

int32_t PlatDeviceUnacquire(PlatInputDevice* d) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Unacquire", 0, d->guid)) return r;
  bool stopMotors;
  {
    std::lock_guard<std::mutex> l(S().mu);
    if (!d->acquired) return PLAT_DI_NOEFFECT;
    d->acquired = false;
    // Effects stop with the acquisition.
    stopMotors = false;
    for (PlatInputEffect* e : d->effects) {
      stopMotors |= e->running;
      e->running = false;
    }
  }
  if (stopMotors) UpdateMotors(d);
  return PLAT_DI_OK;
}

int32_t PlatDevicePoll(PlatInputDevice* d) {
  if (!d) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Poll", 0, d->guid)) return r;
  if (!d->acquired) return PLAT_DIERR_NOTACQUIRED;
  if (d->kind != kPad) return PLAT_DI_NOEFFECT;
  Backend()->update();
  return PLAT_DI_OK;
}

int32_t PlatDeviceGetDeviceState(PlatInputDevice* d, uint32_t size, void* data) {
  if (!d || !data) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("GetDeviceState", 0, d->guid)) return r;
  if (!d->acquired) return PLAT_DIERR_NOTACQUIRED;
  if (d->lost) return PLAT_DIERR_INPUTLOST;
  const PlatInputBackend* b = Backend();
  switch (d->kind) {
    case kKeyboard: {
      if (size != 256) return PLAT_DIERR_INVALIDPARAM;
      b->keyboard(static_cast<uint8_t*>(data));
      return PLAT_DI_OK;
    }
    case kMouse: {
      if (size != sizeof(PlatMouseState2)) return PLAT_DIERR_INVALIDPARAM;
      uint32_t buttons = 0;
      int32_t x = 0, y = 0, wheel = 0;
      b->mouse(&buttons, &x, &y, &wheel);
      PlatMouseState2 m{};
      if (d->mouseSeen) {
        m.x = x - d->mouseX;
        m.y = y - d->mouseY;
        m.z = wheel - d->wheel;
      }
      d->mouseSeen = true;
      d->mouseX = x;
      d->mouseY = y;
      d->wheel = wheel;
      for (int i = 0; i < 8; i++) m.buttons[i] = (buttons >> i) & 1 ? 0x80 : 0;
      std::memcpy(data, &m, sizeof m);
      return PLAT_DI_OK;
    }
    case kPad: {
      if (size != sizeof(PlatJoyState)) return PLAT_DIERR_INVALIDPARAM;
      PlatPadRaw raw{};
      if (!b->readPad(d->guid, &raw)) {
        std::lock_guard<std::mutex> l(S().mu);
        d->lost = true;
        d->acquired = false;
        return PLAT_DIERR_INPUTLOST;
      }
      PlatJoyState s{};
      int32_t* axes[kAxes] = {&s.x, &s.y, &s.z, &s.rx, &s.ry, &s.rz, &s.slider[0], &s.slider[1]};
      for (int i = 0; i < kAxes; i++) *axes[i] = ScaleAxis(raw.axes[i], d->axes[i]);
      for (int i = 0; i < 4; i++) s.pov[i] = Pov(raw.hats[i]);
      for (int i = 0; i < 32; i++) s.buttons[i] = raw.buttons[i] ? 0x80 : 0;
      std::memcpy(data, &s, sizeof s);
      return PLAT_DI_OK;
    }
  }
  return PLAT_DIERR_GENERIC;
}

void PlatDeviceRelease(PlatInputDevice* d) {
  if (!d) return;
  bool stopMotors = false;
  {
    std::lock_guard<std::mutex> l(S().mu);
    auto& list = S().devices;
    list.erase(std::remove(list.begin(), list.end(), d), list.end());
    for (PlatInputEffect* e : d->effects) {
      stopMotors |= e->running;
      e->running = false;
      e->device = nullptr;
    }
    S().live--;
  }
  if (stopMotors || d->low || d->high) Backend()->rumble(d->guid, 0, 0);
  delete d;
}

// ---- effects --------------------------------------------------------------------------

int32_t PlatEffectStart(PlatInputEffect* e, uint32_t, uint32_t) {
  if (!e) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Start", 0, e->device ? e->device->guid : 0, e->kind)) return r;
  if (!e->device) return PLAT_DIERR_INPUTLOST;
  if (!e->device->acquired) return PLAT_DIERR_NOTACQUIRED;
  {
    std::lock_guard<std::mutex> l(S().mu);
    e->running = true;
  }
  UpdateMotors(e->device);
  return PLAT_DI_OK;
}

int32_t PlatEffectStop(PlatInputEffect* e) {
  if (!e) return PLAT_DIERR_INVALIDPARAM;
  if (int32_t r = Hooked("Stop", 0, e->device ? e->device->guid : 0, e->kind)) return r;
  if (!e->device) return PLAT_DIERR_INPUTLOST;
  {
    std::lock_guard<std::mutex> l(S().mu);
    e->running = false;
  }
  UpdateMotors(e->device);
  return PLAT_DI_OK;
}

void PlatEffectRelease(PlatInputEffect* e) {
  if (!e) return;
  PlatInputDevice* d = e->device;
  const bool wasRunning = e->running;
  {
    std::lock_guard<std::mutex> l(S().mu);
    if (d) d->effects.erase(std::remove(d->effects.begin(), d->effects.end(), e), d->effects.end());
    S().live--;
  }
  delete e;
  if (d && wasRunning) UpdateMotors(d);
}

// ---- plain joystick functions ---------------------------------------------------------

uint32_t PlatJoyGetDevCaps(uint32_t id, PlatJoyCaps* caps) {
  if (!caps) return PLAT_JOYERR_PARMS;
  Backend();
  if (int32_t r = Hooked("JoyGetDevCaps", 0, id)) return uint32_t(r);
  PlatPadInfo pad;
  if (!PadAt(id, &pad)) return PLAT_JOYERR_UNPLUGGED;
  std::memset(caps, 0, sizeof *caps);
  std::string name = PlatUtf8ToSjis(pad.name.c_str());
  std::strncpy(caps->name, name.c_str(), sizeof caps->name - 1);
  caps->xMax = caps->yMax = 65535;
  caps->numButtons = uint32_t(std::min(pad.buttons, 32));
  caps->numAxes = uint32_t(std::min(pad.axes, 6));
  return PLAT_JOYERR_NOERROR;
}

uint32_t PlatJoyGetPosEx(uint32_t id, PlatJoyInfoEx* info) {
  if (!info || info->size != sizeof(PlatJoyInfoEx)) return PLAT_JOYERR_PARMS;
  const PlatInputBackend* b = Backend();
  if (int32_t r = Hooked("JoyGetPosEx", 0, id)) return uint32_t(r);
  PlatPadInfo pad;
  PlatPadRaw raw{};
  if (!PadAt(id, &pad)) return PLAT_JOYERR_UNPLUGGED;
  b->update();
  if (!b->readPad(pad.instance, &raw)) return PLAT_JOYERR_UNPLUGGED;
  auto pos = [&](int axis) { return uint32_t(int32_t(raw.axes[axis]) + 32768); };
  info->xpos = pos(0);
  info->ypos = pos(1);
  info->zpos = pos(2);
  info->rpos = pos(3);
  info->upos = pos(4);
  info->vpos = pos(5);
  info->buttons = 0;
  info->buttonNumber = 0;
  for (int i = 0; i < 32; i++) {
    if (raw.buttons[i]) {
      info->buttons |= 1u << i;
      info->buttonNumber++;
    }
  }
  const uint32_t pov = Pov(raw.hats[0]);
  info->pov = pov == 0xFFFFFFFFu ? PLAT_JOY_POVCENTERED : pov;
  return PLAT_JOYERR_NOERROR;
}

// ---- for tests ------------------------------------------------------------------------

void PlatInputSetCallHook(PlatInputCallHook hook, void* context) {
  std::lock_guard<std::mutex> l(S().mu);
  S().hook = hook;
  S().hookContext = context;
}

int PlatInputLiveObjects() {
  std::lock_guard<std::mutex> l(S().mu);
  return S().live;
}
