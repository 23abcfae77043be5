// A log in a fresh temporary directory on the manual clock, with every setting of the log
// and the tracker at its default, for tests that check what reaches Log.txt byte for byte.
#pragma once

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

struct LogFixture : ::testing::Test {
  std::string dir;
  void SetUp() override {
    DefaultSettings();
    char tmpl[] = "/tmp/kr_log_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    PlatClockSetManual(1, 1000);
    // Switches a test before may have left on.
    SetLogOff(0);
    SetLogDatedName(0);
    SetLogTimeStampOff(0);
    SetLogDebuggerOnly(0);
    ASSERT_EQ(SetLogStartDirectory(dir.c_str()), 0);
    OpenLogFile();
  }
  // What a test switched stays switched for the tests after it unless put back here.
  void TearDown() override {
    DefaultSettings();
    SetLogStartDirectory("");
    PlatClockSetManual(0);
    std::filesystem::remove_all(dir);
  }
  static void DefaultSettings() {
    SetLogOff(0);
    SetLogDatedName(0);
    SetLogTimeStampOff(0);
    SetLogDebuggerOnly(0);
    SetTrackerLogEveryCall(0);
    SetTrackerPrintTotals(0);
    SetTrackerCheckEachCall(0);
    SetTrackerSizeFilter(0);
    PlatSetDebugSink(nullptr, nullptr);
    PlatSetAllocFailHook(nullptr);
  }
  std::string ReadFile(const std::string& name) {
    std::string out;
    PlatFile* f = PlatFileOpen((dir + "/" + name).c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING);
    if (!f) return "<missing>";
    char buf[4096];
    int64_t n;
    while ((n = PlatFileRead(f, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    PlatFileClose(f);
    return out;
  }
  std::string ReadLog() { return ReadFile("Log.txt"); }
};
