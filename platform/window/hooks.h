// What the families above the window layer hear from it. Each installs its hook when it
// starts; until then nobody listens, and the window layer calls nothing above it. Not for
// the engine.
#pragma once

#include "platform/window/window.h"

// The user activated (1) or left (0) the window. Called without the window layer's lock,
// so the hook may call back in; the display takes it (full screen leaves and returns).
typedef void (*PlatWindowActivationHook)(PlatWnd window, int active);
// null: nobody listens.
void PlatWindowSetActivationHook(PlatWindowActivationHook hook);
