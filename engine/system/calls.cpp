#include "engine/system/calls.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/archivefile.h"
#include "engine/file/file.h"
#include "engine/font/services.h"
#include "engine/graphics/services.h"
#include "engine/pixel/screen.h"
#include "engine/state/hooks.h"
#include "engine/state/sysinfo.h"
#include "engine/system/charinput.h"
#include "engine/system/http.h"
#include "engine/system/input.h"
#include "engine/system/keyinput.h"
#include "engine/system/network.h"
#include "engine/system/placement.h"
#include "engine/system/screenlog.h"
#include "engine/system/system.h"

constexpr SystemCalls kSystemCalls = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/system/calllist.h"
#undef KR_SERVICE
};

SystemCalls g_SystemCalls = kSystemCalls;

// The layers below reach the pump, the waits and the end through these from the start of
// the program on.
constexpr SystemHooks kSystemHooks = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/state/hooklist.h"
#undef KR_SERVICE
};

SystemHooks g_SystemHooks = kSystemHooks;
