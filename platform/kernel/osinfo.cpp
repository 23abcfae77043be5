#include "platform/kernel/osinfo.h"

#include "platform/kernel/kernel.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/utsname.h>

void PlatGetOsVersion(PlatOsVersion* version) {
  if (!version) return;
  *version = PlatOsVersion{};
  const PlatMachineHooks* hooks = PlatGetMachineHooks();
  if (hooks && hooks->osVersion && hooks->osVersion(version)) return;
  version->platformId = 2;
  version->major = 5;
  version->minor = 1;
  struct utsname u;
  if (uname(&u) != 0) return;
  unsigned a = 0, b = 0, c = 0;
  std::sscanf(u.release, "%u.%u.%u", &a, &b, &c);
  version->build = a * 10000 + b * 100 + c;
  std::string text = std::string(u.sysname) + " " + u.release;
  std::strncpy(version->serviceText, text.c_str(), sizeof version->serviceText - 1);
}

int PlatHasCpuid() {
  const PlatMachineHooks* hooks = PlatGetMachineHooks();
  int answer;
  if (hooks && hooks->hasCpuid && hooks->hasCpuid(&answer)) return answer;
#if defined(__x86_64__) || defined(__i386__)
  return 1;
#else
  return 0;
#endif
}

namespace {
std::atomic<int> g_periods{0};
}

uint32_t PlatTimerMinPeriod() { return 1; }

int PlatTimerBeginPeriod(uint32_t ms) {
  if (ms == 0) return -1;
  g_periods++;
  return 0;
}

int PlatTimerEndPeriod(uint32_t ms) {
  if (ms == 0) return -1;
  g_periods--;
  return 0;
}

int PlatTimerPeriodCount() { return g_periods.load(); }

uint32_t PlatGetOemCodePage() { return 932; }
