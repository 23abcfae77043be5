// The headless user's keyboard, shared by the headless window and input back ends: one
// press reaches both, as a key of a real keyboard reaches the window with the focus and
// the keyboard device alike. Any thread may press.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// The user presses (1) or lets go of (0) the key of a virtual-key code: a side code
// (PLAT_VK_RSHIFT...) names which Shift, Control or Menu key, a plain one the left key.
// The window with the keyboard focus hears of it as a key message (focus 0: none of the
// program's windows has the focus); the keyboard device reads the key at its device key
// code whatever has the focus. chars: what the key types (Shift-JIS, one WM_CHAR per
// byte when translated); null lets translation map the key itself.
void PlatHeadlessKey(PlatWnd focus, uint32_t vk, int down, const char* chars = nullptr);

// ---- for the headless input back end ------------------------------------------------

// The keys held, by device key code: 0x80 while held, and for a key let go before a call
// showed it held, as platform/keys/keytaps.h says.
void PlatHeadlessKeyboardState(uint8_t keys[256]);
// Lets go of every key; no window hears of it.
void PlatHeadlessKeyboardReset();
