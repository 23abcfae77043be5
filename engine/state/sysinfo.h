// System information and time: the log lines about the machine at every initialisation,
// the engine's fine clock and its calendar clock.
#pragma once

#include <cstdint>

struct LocalDateTime {
  int32_t year, month, day, hour, minute, second;  // month 1-12
};

// Writes the engine version, the OS, the processor's features and its clock to the log
// and keeps the OS code, the MMX flag and the time-stamp counter's rate; 0.
int LogSystemInfo();
// Microseconds from the time-stamp counter (when useCounter is 1, it is usable and the
// engine is initialised), else the performance counter, else the millisecond timer. Only
// differences are meaningful. Any thread.
uint64_t GetTimeMicroseconds(int32_t useCounter);
// The local date and time; 0.
int GetLocalDateTime(LocalDateTime* out);
// Writes the total and the free physical memory to the log (the free memory also to the
// debugger output); 0.
int LogMemoryStatus();
