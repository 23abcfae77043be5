#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/state/sysinfo.h"
#include "fakes.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct SystemInfo : ::testing::Test {
  void SetUp() override {
    ResetFakes();
    CaptureLog();
    PlatClockSetManual(1, 1000);
    g_System = SystemData{};
  }
  void TearDown() override { PlatClockSetManual(0); }
};

uint32_t Word(const char* four) {
  uint32_t w;
  std::memcpy(&w, four, 4);
  return w;
}

void ScriptProcessor(uint32_t features, const char* brand = nullptr) {
  ScriptCpuid(0, 1, Word("Genu"), Word("ntel"), Word("ineI"));
  ScriptCpuid(1, 0, 0, 0, features);
  if (!brand) return;
  char text[48] = {};
  std::strncpy(text, brand, sizeof text);
  ScriptCpuid(0x80000000u, 0x80000004u, 0, 0, 0);
  for (uint32_t i = 0; i < 3; i++)
    ScriptCpuid(0x80000002u + i, Word(text + 16 * i), Word(text + 16 * i + 4),
                Word(text + 16 * i + 8), Word(text + 16 * i + 12));
}

// The log after the OS line.
std::vector<std::string> LinesAfterOs() {
  std::vector<std::string> lines = LogLines();
  EXPECT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "システムの情報を出力します");
  EXPECT_EQ(lines[1], "ＫＲライブラリ Ver2.25b");
  return std::vector<std::string>(lines.begin() + 3, lines.end());
}

TEST_F(SystemInfo, OsTableNamesTheSystemAndSetsItsCode) {
  struct Case {
    uint32_t platform, major, minor, build;
    const char* service;
    const char* description;
    int32_t code;
  };
  const Case cases[] = {
      {1, 4, 10, 0x040A08AE, "A", "Windows98SE ( Build 67766446 A )", 2},
      {1, 4, 10, 2222, "B", "Windows98 ( Build 2222 B )", 2},
      {1, 4, 0, 950, "C", "Windows95OSR2 ( Build 950 C )", 1},
      {1, 4, 0, 950, "", "Windows95 ( Build 950  )", 1},
      {1, 4, 90, 3000, "", "WindowsMe ( Build 3000  )", 3},
      {0, 3, 10, 1, "", "Windows3.1 ( Build 1  )", 0},
      {2, 3, 51, 1057, "", "WindowsNT 3.51 ( Build 1057  )", 260},
      {2, 4, 0, 1381, "Service Pack 6", "Windows4.0 ( Build 1381 Service Pack 6 )", 261},
      {2, 5, 0, 2195, "", "Windows2000 ( Build 2195  )", 262},
      {2, 5, 1, 2600, "Service Pack 2", "WindowsXP ( Build 2600 Service Pack 2 )", 263},
      {2, 6, 0, 6000, "", "WindowsVista ( Build 6000  )", 264},
      {2, 7, 0, 7600, "", "Windows ( Build 7600  )", 999},  // unknown: the code stays
  };
  for (const Case& c : cases) {
    ResetFakes();
    CaptureLog();
    g_System.settings.osCode = 999;
    ScriptOsVersion(c.platform, c.major, c.minor, c.build, c.service);
    EXPECT_EQ(LogSystemInfo(), 0);
    EXPECT_STREQ(GetOSVersionText(), c.description);
    EXPECT_EQ(g_System.settings.osCode, c.code) << c.description;
    EXPECT_TRUE(LogHas(std::string("ＯＳ  ") + c.description)) << c.description;
  }
}

TEST_F(SystemInfo, LinuxIsReportedAsACurrentSystemOfTheNtFamily) {
  LogSystemInfo();
  EXPECT_EQ(g_System.settings.osCode, 263);
  EXPECT_EQ(std::string(GetOSVersionText()).rfind("WindowsXP ( Build ", 0), 0u);
  EXPECT_NE(std::string(GetOSVersionText()).find("Linux"), std::string::npos);
}

TEST_F(SystemInfo, ProcessorFeaturesDriveTheLogLines) {
  const std::string mmx = "ＭＭＸ命令を使用します", sse = "ＳＳＥ命令が使用可能です",
                    sse2 = "ＳＳＥ２命令が使用可能です", vendor = "ＣＰＵベンダ：GenuineIntel";
  struct Case {
    const char* what;
    int hasCpuid;
    uint32_t features;
    int32_t mmxUsable;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"no identification instruction", 0, 0, 0, {"ＣＰＵＩＤ命令は使えません"}},
      {"no MMX", 1, 0, 0, {"ＭＭＸは使えません", vendor}},
      {"SSE without MMX", 1, 1u << 25, 0, {"ＭＭＸは使えません", vendor}},
      {"MMX", 1, 1u << 23, 1, {mmx, vendor}},
      {"MMX and SSE", 1, (1u << 23) | (1u << 25), 1, {mmx, sse, vendor}},
      {"MMX, SSE and SSE2", 1, (1u << 23) | (1u << 25) | (1u << 26), 1, {mmx, sse, sse2, vendor}},
      {"SSE2 without SSE", 1, (1u << 23) | (1u << 26), 1, {mmx, vendor}},
  };
  for (const Case& c : cases) {
    ResetFakes();
    CaptureLog();
    Script("PlatHasCpuid", c.hasCpuid);
    ScriptProcessor(c.features);
    g_System.settings.mmxUsable = 7;
    LogSystemInfo();
    EXPECT_EQ(LinesAfterOs(), c.lines) << c.what;
    EXPECT_EQ(IsMmxUsable(), uint32_t(c.mmxUsable)) << c.what;
    EXPECT_EQ(g_System.settings.tscUsable, 0) << c.what;
  }
}

TEST_F(SystemInfo, TimeStampCounterIsTimedOver100MillisecondsAndTheNameLogged) {
  struct Case {
    uint64_t ticks;  // counted in the 100 ms
    const char* line;
  };
  const Case cases[] = {{300000000, "ＣＰＵ動作速度：大体3.00GHz"},
                        {123456789, "ＣＰＵ動作速度：大体1.23GHz"}};
  for (const Case& c : cases) {
    ResetFakes();
    CaptureLog();
    ScriptProcessor((1u << 4) | (1u << 23), "Kestr Test CPU @ 3.00GHz");
    ScriptTscReads({5000, 5000 + c.ticks});
    const uint32_t before = PlatTimeMs();
    LogSystemInfo();
    EXPECT_GE(PlatTimeMs() - before, 100u);
    EXPECT_EQ(g_System.settings.tscUsable, 1);
    EXPECT_EQ(g_System.settings.tscTicksPerSecond, c.ticks * 10);
    EXPECT_EQ(LinesAfterOs(),
              (std::vector<std::string>{c.line, "ＭＭＸ命令を使用します",
                                        "ＣＰＵベンダ：GenuineIntel",
                                        "ＣＰＵ名：Kestr Test CPU @ 3.00GHz"}));
  }
}

TEST_F(SystemInfo, FineClockPicksItsSource) {
  g_System.settings.tscTicksPerSecond = 3000000000ull;
  g_System.perfFrequency = 1000000000;
  ScriptTscReads({6000000000ull});
  Script("PlatPerfCounter", 5000000000ll);
  struct Case {
    const char* what;
    int tsc, initialised, perf, argument;
    uint64_t micros;
  };
  const Case cases[] = {
      {"counter asked for", 1, 1, 1, 1, 2000000},
      {"counter not asked for", 1, 1, 1, 0, 5000000},
      {"only 1 asks for it", 1, 1, 1, 2, 5000000},
      {"before initialisation", 1, 0, 1, 1, 5000000},
      {"no counter", 0, 1, 1, 1, 5000000},
      {"millisecond timer", 0, 1, 0, 1, 1000000},
  };
  for (const Case& c : cases) {
    g_System.settings.tscUsable = c.tsc;
    g_System.initialised = c.initialised;
    g_System.perfUsable = c.perf;
    EXPECT_EQ(GetTimeMicroseconds(c.argument), c.micros) << c.what;
  }
  PlatClockAdvance(1);
  EXPECT_EQ(GetTimeMicroseconds(1), 1001000u);  // whole milliseconds
}

TEST_F(SystemInfo, FineClockDoesNotOverflowNear2To62) {
  const uint64_t big = (1ull << 62) + 12345;
  g_System.perfUsable = 1;
  g_System.perfFrequency = 1000000000;
  Script("PlatPerfCounter", int64_t(big));
  EXPECT_EQ(GetTimeMicroseconds(0), uint64_t((unsigned __int128)big * 1000000 / 1000000000));
  g_System.settings.tscUsable = 1;
  g_System.settings.tscTicksPerSecond = 2999999999ull;
  g_System.initialised = 1;
  ScriptTscReads({big});
  EXPECT_EQ(GetTimeMicroseconds(1), uint64_t((unsigned __int128)big * 1000000 / 2999999999ull));
}

TEST_F(SystemInfo, LocalDateTimeComesFromTheLocalClock) {
  PlatClockSetManual(1, 0);
  PlatClockAdvance(3661000);
  LocalDateTime t{};
  EXPECT_EQ(GetLocalDateTime(&t), 0);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 1);
  EXPECT_EQ(t.minute, 1);
  EXPECT_EQ(t.second, 1);
}

TEST_F(SystemInfo, MemoryFiguresAboveFourGigabytesAreWhole) {
  ScriptMemory(8ull << 30, 5ull << 30);
  EXPECT_EQ(LogMemoryStatus(), 0);
  EXPECT_TRUE(LogHas("メモリ総量:8192.00MB  空きメモリ領域:5120.00MB "));
  EXPECT_FALSE(LogHas("5120.00MB"));  // no bare figure follows it on the debugger output
}

}  // namespace
