// Least body until engine start and end land: the message, the engine's end, the exit.
#include "engine/base/log.h"
#include "engine/system/system.h"

#include <cstdlib>

void FatalEngineExit(const char* message) {
  WriteLog(message);
  WriteLog("\n");
  EngineEndCore();
  std::exit(-1);
}
