// Input devices: an input interface obtained by version, through which the system mouse,
// the system keyboard and each attached game controller are made into devices with a data
// format, a cooperation level, properties, a change notification and force-feedback
// effects; and, for a machine where no such interface can be had, the plain joystick
// functions that read pads by number.
//
// Both faces read the same devices. The back end (KR_PLATFORM=headless|sdl, default sdl,
// or PlatInputSelectBackend while nothing is made) decides what stands
// behind them: SDL's keyboard events, mouse and joysticks (game controllers and plain
// joysticks, virtual ones included), or nothing at all for tests, which script the user
// through platform/input/headless/headlessinput.h.
//
// Keys are numbered by the device key codes: the PC keyboard's scan codes, extended keys
// with 0x80 added, and the Japanese keys at codes of their own (0x70 kana, 0x79 convert,
// 0x7B no-convert, 0x7D yen, 0x90 circumflex, 0x91 at, 0x92 colon, 0x94 kanji).
//
// Results are 32-bit codes: 0 or another non-negative value for success, a negative value
// for failure. Text handed out (device names) is Shift-JIS.
#pragma once

#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <cstdint>

// ---- results ------------------------------------------------------------------------

constexpr int32_t PLAT_DI_OK = 0;
constexpr int32_t PLAT_DI_NOEFFECT = 1;       // nothing to do (already acquired, ...)
constexpr int32_t PLAT_DI_POLLEDDEVICE = 2;   // the device must be polled to change
constexpr int32_t PLAT_DIERR_GENERIC = int32_t(0x80004005u);
constexpr int32_t PLAT_DIERR_UNSUPPORTED = int32_t(0x80004001u);
constexpr int32_t PLAT_DIERR_CLASSNOTREG = int32_t(0x80040154u);  // no such interface version
constexpr int32_t PLAT_DIERR_DEVICENOTREG = int32_t(0x80040154u);
constexpr int32_t PLAT_DIERR_NOTINITIALIZED = int32_t(0x80070015u);
constexpr int32_t PLAT_DIERR_NOTACQUIRED = int32_t(0x8007000Cu);
constexpr int32_t PLAT_DIERR_INPUTLOST = int32_t(0x8007001Eu);
constexpr int32_t PLAT_DIERR_ACQUIRED = int32_t(0x80070055u);
constexpr int32_t PLAT_DIERR_INVALIDPARAM = int32_t(0x80070057u);

// Enumeration callbacks go on (1) or stop (0).
enum : int { PLAT_DIENUM_STOP = 0, PLAT_DIENUM_CONTINUE = 1 };

// Interface versions.
enum : uint32_t { PLAT_DINPUT7 = 0x0700, PLAT_DINPUT8 = 0x0800 };
// Device type of the game controllers (for enumeration) and the enumeration flag.
enum : uint32_t { PLAT_DIDEVTYPE_GAMECTRL = 4, PLAT_DIEDFL_ATTACHEDONLY = 1 };

// Device ids: the system mouse and keyboard, and the instance ids enumeration reports for
// game controllers (PLAT_DIGUID_PAD_BASE and up).
enum : uint32_t {
  PLAT_DIGUID_SYSMOUSE = 1,
  PLAT_DIGUID_SYSKEYBOARD = 2,
  PLAT_DIGUID_PAD_BASE = 0x100,
};
// Effect kinds.
enum : uint32_t { PLAT_DIGUID_CONSTANTFORCE = 1, PLAT_DIGUID_SINE = 2 };

// Data formats: PlatMouseState2, 256 key bytes, PlatJoyState.
enum : int { PLAT_DIFMT_MOUSE2 = 1, PLAT_DIFMT_KEYBOARD = 2, PLAT_DIFMT_JOYSTICK = 3 };

// Cooperation levels.
enum : uint32_t {
  PLAT_DISCL_EXCLUSIVE = 0x1,
  PLAT_DISCL_NONEXCLUSIVE = 0x2,
  PLAT_DISCL_FOREGROUND = 0x4,
  PLAT_DISCL_BACKGROUND = 0x8,
};

// Properties: the event buffer's size (whole device), an axis's range (minimum, maximum)
// and its dead zone (in 1/10000 of the axis's travel, around the centre), by offset.
enum : int { PLAT_DIPROP_BUFFERSIZE = 1, PLAT_DIPROP_RANGE = 4, PLAT_DIPROP_DEADZONE = 5 };
enum : uint32_t { PLAT_DIPH_DEVICE = 0, PLAT_DIPH_BYOFFSET = 1 };

// Offsets of the axes in PlatJoyState.
enum : uint32_t {
  PLAT_DIJOFS_X = 0, PLAT_DIJOFS_Y = 4, PLAT_DIJOFS_Z = 8,
  PLAT_DIJOFS_RX = 12, PLAT_DIJOFS_RY = 16, PLAT_DIJOFS_RZ = 20,
  PLAT_DIJOFS_SLIDER0 = 24, PLAT_DIJOFS_SLIDER1 = 28,
};

// Effect flags and the "no trigger button" value.
enum : uint32_t {
  PLAT_DIEFF_OBJECTOFFSETS = 0x2,
  PLAT_DIEFF_CARTESIAN = 0x10,
  PLAT_DIEFF_POLAR = 0x20,
  PLAT_DIEB_NOTRIGGER = 0xFFFFFFFFu,
};

// ---- records ------------------------------------------------------------------------

// One game controller as enumeration reports it.
struct PlatDeviceInstance {
  uint32_t guidInstance;  // the id to create the device with
  uint32_t devType;       // PLAT_DIDEVTYPE_GAMECTRL
  char instanceName[260];
  char productName[260];
};

// A pad's state (80 bytes): axes in the ranges set on the device (0 to 65535 until a
// range is set), point-of-view hats in hundredths of a degree clockwise from up
// (0xFFFFFFFF centred), buttons with bit 7 set while pressed.
struct PlatJoyState {
  int32_t x, y, z, rx, ry, rz;
  int32_t slider[2];
  uint32_t pov[4];
  uint8_t buttons[32];
};
static_assert(sizeof(PlatJoyState) == 80);

// The mouse (20 bytes): motion since the last read (x, y, wheel), buttons with bit 7 set
// while pressed (0 left, 1 right, 2 middle, then the others).
struct PlatMouseState2 {
  int32_t x, y, z;
  uint8_t buttons[8];
};
static_assert(sizeof(PlatMouseState2) == 20);

struct PlatEffectEnvelope {
  uint32_t attackLevel, attackTime;  // times in microseconds
  uint32_t fadeLevel, fadeTime;
};

// What an effect does. The constant force and the sine use magnitude; the sine also
// offset, phase and period. Durations and periods are in microseconds.
struct PlatEffectParams {
  uint32_t flags;
  uint32_t duration;  // PLAT_INFINITE: until stopped
  uint32_t samplePeriod;
  uint32_t gain;      // 0 to 10000
  uint32_t triggerButton;
  uint32_t triggerRepeatInterval;
  uint32_t axisCount;
  uint32_t axes[2];
  int32_t direction[2];
  const PlatEffectEnvelope* envelope;  // may be null
  int32_t magnitude;  // 0 to 10000
  int32_t offset;
  uint32_t phase;
  uint32_t period;
  uint32_t startDelay;
};

struct PlatInput;
struct PlatInputDevice;
struct PlatInputEffect;

typedef int (*PlatDeviceEnumCallback)(const PlatDeviceInstance* instance, void* context);

// ---- back end -----------------------------------------------------------------------

// Chooses the back end ("headless" or "sdl"); 0, or -1 for an unknown name or while
// interfaces, devices or effects of another back end are not released.
int PlatInputSelectBackend(const char* name);
const char* PlatInputBackendName();

// ---- the interface --------------------------------------------------------------------

// Obtains an interface of the version (PLAT_DINPUT7 or PLAT_DINPUT8); PLAT_DI_OK and the
// interface, or a failure code (PLAT_DIERR_CLASSNOTREG where the version is missing).
int32_t PlatInputCreate(uint32_t version, PlatInput** out);
// Must succeed before the interface makes devices.
int32_t PlatInputInitialize(PlatInput* input, uint32_t version);
void PlatInputRelease(PlatInput* input);
// Calls back once per attached game controller (devType PLAT_DIDEVTYPE_GAMECTRL), in the
// back end's order, until the callback returns PLAT_DIENUM_STOP.
int32_t PlatInputEnumDevices(PlatInput* input, uint32_t devType, PlatDeviceEnumCallback callback,
                             void* context, uint32_t flags);
// Makes a device of the mouse, the keyboard or a game controller's instance id.
int32_t PlatInputCreateDevice(PlatInput* input, uint32_t guid, PlatInputDevice** out);

// ---- devices --------------------------------------------------------------------------

// The format must suit the device (mouse, keyboard, pad). Data format, cooperation level,
// properties and notification cannot change while the device is acquired.
int32_t PlatDeviceSetDataFormat(PlatInputDevice* device, int format);
int32_t PlatDeviceSetCooperativeLevel(PlatInputDevice* device, PlatWnd window, uint32_t flags);
// value2 is the maximum of a range; unused otherwise.
int32_t PlatDeviceSetProperty(PlatInputDevice* device, int property, uint32_t how, uint32_t object,
                              int32_t value, int32_t value2);
// The event is set whenever the acquired device's state changes; null stops that.
// PLAT_DI_OK, or PLAT_DI_POLLEDDEVICE for a pad (its state moves when it is polled).
int32_t PlatDeviceSetEventNotification(PlatInputDevice* device, PlatEvent* event);
int32_t PlatDeviceGetDeviceInfo(PlatInputDevice* device, PlatDeviceInstance* info);
// PLAT_DIERR_UNSUPPORTED for a device without force feedback.
int32_t PlatDeviceCreateEffect(PlatInputDevice* device, uint32_t effectGuid,
                               const PlatEffectParams* params, PlatInputEffect** out);
// Reads start once the device is acquired; acquiring needs a data format.
int32_t PlatDeviceAcquire(PlatInputDevice* device);
int32_t PlatDeviceUnacquire(PlatInputDevice* device);
// Brings a pad's state up to date.
int32_t PlatDevicePoll(PlatInputDevice* device);
// Copies the current state in the device's format; size must be the format's size. The
// keyboard shows a key let go before a read showed it held as platform/keys/keytaps.h
// says.
// PLAT_DIERR_NOTACQUIRED before Acquire; PLAT_DIERR_INPUTLOST once a pad has gone.
int32_t PlatDeviceGetDeviceState(PlatInputDevice* device, uint32_t size, void* data);
// Frees the device; its effects stay valid but no longer move anything.
void PlatDeviceRelease(PlatInputDevice* device);

// ---- effects --------------------------------------------------------------------------

// Starts the effect (its device must be acquired); iterations and flags as given.
int32_t PlatEffectStart(PlatInputEffect* effect, uint32_t iterations, uint32_t flags);
int32_t PlatEffectStop(PlatInputEffect* effect);
void PlatEffectRelease(PlatInputEffect* effect);

// ---- plain joystick functions ---------------------------------------------------------

enum : uint32_t {
  PLAT_JOYERR_NOERROR = 0,
  PLAT_JOYERR_PARMS = 165,
  PLAT_JOYERR_UNPLUGGED = 167,
};
enum : uint32_t { PLAT_JOY_RETURNALL = 0xFF, PLAT_JOY_POVCENTERED = 0xFFFF };

struct PlatJoyCaps {
  char name[32];  // Shift-JIS
  uint32_t xMin, xMax, yMin, yMax;
  uint32_t numButtons, numAxes;
};
// 52 bytes: positions 0 to 65535 (centre 32768), a bit per button, the first hat in
// hundredths of a degree (PLAT_JOY_POVCENTERED when centred).
struct PlatJoyInfoEx {
  uint32_t size, flags;
  uint32_t xpos, ypos, zpos, rpos, upos, vpos;
  uint32_t buttons, buttonNumber, pov;
  uint32_t reserved1, reserved2;
};
static_assert(sizeof(PlatJoyInfoEx) == 52);

// Joystick id n is the n-th attached pad. PLAT_JOYERR_UNPLUGGED when there is none.
uint32_t PlatJoyGetDevCaps(uint32_t id, PlatJoyCaps* caps);
// info->size must be 52.
uint32_t PlatJoyGetPosEx(uint32_t id, PlatJoyInfoEx* info);

// ---- for tests ------------------------------------------------------------------------

// One call into the layer, as the call hook sees it.
struct PlatInputCall {
  const char* name;  // "Create", "Initialize", "EnumDevices", "CreateDevice", "SetDataFormat",
                     // "SetCooperativeLevel", "SetProperty", "SetEventNotification",
                     // "GetDeviceInfo", "CreateEffect", "Acquire", "Unacquire", "Poll",
                     // "GetDeviceState", "Start", "Stop", "JoyGetDevCaps", "JoyGetPosEx"
  uint32_t version;  // Create, Initialize
  uint32_t device;   // the device's id (PLAT_DIGUID_*, or a pad's instance id); joystick id
  uint32_t value;    // SetDataFormat: format; SetCooperativeLevel: flags; SetProperty:
                     // property; CreateEffect, Start, Stop: the effect kind
  uint32_t object;   // SetProperty: the offset
};
// Sees every call before it is carried out (any back end); a non-zero result makes the
// call fail with that code instead (for the joystick functions: that error). Null
// removes it. The hook must not call into the layer.
typedef int32_t (*PlatInputCallHook)(const PlatInputCall& call, void* context);
void PlatInputSetCallHook(PlatInputCallHook hook, void* context);
// Interfaces, devices and effects not yet released.
int PlatInputLiveObjects();
