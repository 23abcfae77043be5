#include "engine/state/fatal.h"

#include "engine/base/lock.h"
#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/state/hooks.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>

void FatalEngineExit(const char* message) {
  WriteLog(message ? message : "");
  WriteLog("\n");
  if (!g_SystemHooks.isEngineEnding()) g_SystemHooks.endEngine();
  DestroyEngineLock();
  PlatExitProcess(-1);
}

void FatalEngineExitFmt(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  FormatTextV(message, sizeof message, format, args);
  va_end(args);
  FatalEngineExit(message);
}
