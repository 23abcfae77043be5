#include "platform/backend/chooser.h"

#include "platform/kernel/kernel.h"

PlatPlatform PlatCurrentPlatform() {
  const char* name = PlatGetEnv("KR_PLATFORM");
  return (name && std::strcmp(name, "headless") == 0) ? PLAT_PLATFORM_HEADLESS : PLAT_PLATFORM_SDL;
}
