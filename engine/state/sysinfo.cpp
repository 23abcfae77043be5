#include "engine/state/sysinfo.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/state/sysdata.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/osinfo.h"

#include <cstring>

namespace {

constexpr int32_t kAny = -1;

struct OsRow {
  uint32_t platformId;
  int32_t major, minor;
  const char* suffix;
  char serviceLead;       // when the service text begins with it...
  const char* addition;   // ...this follows the suffix
  int32_t code;
};

constexpr OsRow kOsRows[] = {
    {0, kAny, kAny, "3.1", 0, nullptr, 0},
    {1, kAny, 0, "95", 'C', "OSR2", 1},
    {1, kAny, 10, "98", 'A', "SE", 2},
    {1, kAny, 90, "Me", 0, nullptr, 3},
    {2, 3, kAny, "NT 3.51", 0, nullptr, 260},
    {2, 4, kAny, "4.0", 0, nullptr, 261},
    {2, 5, 0, "2000", 0, nullptr, 262},
    {2, 5, 1, "XP", 0, nullptr, 263},
    {2, 6, kAny, "Vista", 0, nullptr, 264},
};

void DescribeOs() {
  PlatOsVersion v;
  PlatGetOsVersion(&v);
  v.serviceText[sizeof v.serviceText - 1] = '\0';
  char name[64];
  StrCopy(name, "Windows");
  for (const OsRow& row : kOsRows) {
    if (row.platformId != v.platformId) continue;
    if (row.major != kAny && uint32_t(row.major) != v.major) continue;
    if (row.minor != kAny && uint32_t(row.minor) != v.minor) continue;
    StrAppend(name, row.suffix);
    if (row.serviceLead && v.serviceText[0] == row.serviceLead) StrAppend(name, row.addition);
    g_System.settings.osCode = row.code;
    break;
  }
  SystemSettings& s = g_System.settings;
  FormatText(s.osDescription, sizeof s.osDescription, "%s ( Build %d %s )", name,
             int32_t(v.build), v.serviceText);
  WriteLogFmt("%s", s.osDescription);
}

// The processor's feature level: 0 no identification instruction, 1 no MMX, 3 MMX, 4 and
// SSE, 5 and SSE2.
struct ProcessorProbe {
  int level;
  int tsc;
  char vendor[13];
  char name[49];
};

ProcessorProbe ProbeProcessor() {
  ProcessorProbe p{};
  if (!PlatHasCpuid()) return p;
  uint32_t r[4];
  PlatCpuid(0, r);
  std::memcpy(p.vendor, &r[1], 4);
  std::memcpy(p.vendor + 4, &r[3], 4);
  std::memcpy(p.vendor + 8, &r[2], 4);
  PlatCpuid(1, r);
  const uint32_t features = r[3];
  p.tsc = (features >> 4) & 1;
  PlatCpuid(0x80000000u, r);
  if (r[0] >= 0x80000004u) {
    for (uint32_t i = 0; i < 3; i++) {
      PlatCpuid(0x80000002u + i, r);
      std::memcpy(p.name + 16 * i, r, 16);
    }
  }
  p.level = 1;
  if (features & (1u << 23)) {
    p.level = 3;
    if (features & (1u << 25)) {
      p.level = 4;
      if (features & (1u << 26)) p.level = 5;
    }
  }
  return p;
}

// The counter's ticks over 100 ms of the millisecond timer. The wait sleeps a millisecond
// at a time rather than spinning, which also lets it run on the manual clock.
void MeasureTsc() {
  const uint64_t before = PlatReadTsc();
  const uint32_t start = PlatTimeMs();
  while (PlatTimeMs() - start < 100) PlatSleep(1);
  const uint64_t d = PlatReadTsc() - before;
  g_System.settings.tscTicksPerSecond = d * 10;
  const int32_t mhz = DoubleToInt(double(d) * 0.00001);
  WriteLogFmt("ＣＰＵ動作速度：大体%.2fGHz", double(mhz) / 1000.0);
}

uint64_t ScaleToMicroseconds(uint64_t count, uint64_t rate) {
  uint32_t product[4];
  MulU64x64(count, 1000000, product);
  return DivU128by64(product, rate);
}

}  // namespace

int LogSystemInfo() {
  SystemSettings& s = g_System.settings;
  WriteLog("システムの情報を出力します\n");
  LogIndentIn();
  WriteLogFmt("ＫＲライブラリ Ver%s", "2.25b");
  WriteLog("ＯＳ  ");
  DescribeOs();
  PlatTimerBeginPeriod(PlatTimerMinPeriod());

  s.mmxUsable = 0;
  const ProcessorProbe p = ProbeProcessor();
  s.tscUsable = p.tsc;
  if (s.tscUsable) MeasureTsc();
  if (p.level == 0) {
    WriteLog("ＣＰＵＩＤ命令は使えません\n");
  } else {
    if (p.level == 1) {
      WriteLog("ＭＭＸは使えません\n");
    } else {
      WriteLog("ＭＭＸ命令を使用します\n");
      s.mmxUsable = 1;
      if (p.level >= 4) WriteLog("ＳＳＥ命令が使用可能です\n");
      if (p.level >= 5) WriteLog("ＳＳＥ２命令が使用可能です\n");
    }
    WriteLog("ＣＰＵベンダ：");
    WriteLog(p.vendor);
    WriteLog("\n");
    if (p.name[0]) WriteLogFmt("ＣＰＵ名：%s", p.name);
  }
  LogIndentOut();
  return 0;
}

uint64_t GetTimeMicroseconds(int32_t useCounter) {
  const SystemData& s = g_System;
  if (s.settings.tscUsable && useCounter == 1 && s.initialised)
    return ScaleToMicroseconds(PlatReadTsc(), s.settings.tscTicksPerSecond);
  if (s.perfUsable) return ScaleToMicroseconds(uint64_t(PlatPerfCounter()), uint64_t(s.perfFrequency));
  return uint64_t(PlatTimeMs()) * 1000;
}

int GetLocalDateTime(LocalDateTime* out) {
  if (!out) return 0;
  PlatDateTime t;
  PlatGetLocalTime(&t);
  *out = {t.year, t.month, t.day, t.hour, t.minute, t.second};
  return 0;
}

int LogMemoryStatus() {
  PlatMemoryStatus m;
  PlatGetMemoryStatus(&m);
  // Whole 64-bit figures: machines have more than 4 GB.
  const double total = double(m.totalPhys) * (1.0 / 1048576.0);
  const double avail = double(m.availPhys) * (1.0 / 1048576.0);
  // The log line reaches the debugger output whole; a bare figure after it reads as a glitch.
  WriteLogFmt("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", total, avail);
  return 0;
}
