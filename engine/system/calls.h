// The calls that the system layer's hub (the engine start and end, the message pump, the
// window procedure, the window start and the placement) makes into the system's other
// parts and into the layers below: through one table, so that a test can see the order of
// the steps, count a service or script a result. Calls into the later subsystems go
// through their own tables (g_GraphicsServices, g_SoundServices, g_MovieServices,
// g_D3dServices, g_FontServices). The table holds the engine's own functions unless a
// test changed it; its entries are listed in engine/system/calllist.h.
#pragma once

#include "engine/base/servicetable.h"
#include "platform/window/window.h"

#include <cstdint>

struct FileFunctionTable;

struct SystemCalls {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/system/calllist.h"
#undef KR_SERVICE
};
extern SystemCalls g_SystemCalls;
// The table as it starts: the engine's own functions.
extern const SystemCalls kSystemCalls;
