// The system hooks: the calls the subsystems below the system layer make up into it (the
// pump, the inactive wait, the end sequence, the window style, input, the on-screen log),
// through one table that the system layer fills with its own functions, so that no arrow
// of the includes points up. Its entries are listed in engine/state/hooklist.h.
#pragma once

#include "engine/base/servicetable.h"

#include <cstdint>

struct SystemHooks {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/state/hooklist.h"
#undef KR_SERVICE
};
extern SystemHooks g_SystemHooks;
// The table as the system layer fills it: its own functions.
extern const SystemHooks kSystemHooks;
