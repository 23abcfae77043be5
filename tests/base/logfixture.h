// A log in a fresh temporary directory on the manual clock, for tests that check what
// reaches Log.txt byte for byte.
#pragma once

#include "engine/base/log.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

struct LogFixture : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/kr_log_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    PlatClockSetManual(1, 1000);
    ASSERT_EQ(SetLogStartDirectory(dir.c_str()), 0);
    OpenLogFile();
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
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
