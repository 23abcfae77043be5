// Facts about the operating system and the multimedia timer, as the engine's system
// information and window start ask for them.
#pragma once

#include <cstdint>

struct PlatOsVersion {
  uint32_t platformId;   // 2: the NT family, which is what Linux is reported as
  uint32_t major, minor;
  uint32_t build;
  char serviceText[128]; // the kernel's name and release
};

// Linux reports itself as platform 2, version 5.1, so the engine takes its paths for a
// current NT system and none of those that a version 6 system would take; the build is
// the kernel's major x 10000 + minor x 100 + patch.
void PlatGetOsVersion(PlatOsVersion* version);

// 1 when the processor has the identification instruction (PlatCpuid answers).
int PlatHasCpuid();

// The multimedia timer: its finest period in milliseconds, and a request for that
// period (counted; the system timer is always this fine here).
uint32_t PlatTimerMinPeriod();
int PlatTimerBeginPeriod(uint32_t ms);
int PlatTimerEndPeriod(uint32_t ms);
// Periods begun and not yet ended.
int PlatTimerPeriodCount();

// The OEM code page of the system: 932 (Japanese), the one the engine's text uses.
uint32_t PlatGetOemCodePage();
