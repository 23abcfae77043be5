// A temporary directory for the file-layer tests, the leak baseline of the tracked
// allocator, and a capture of the log lines written meanwhile.
#pragma once

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct FileTestDir : ::testing::Test {
  std::string dir;
  std::string oldCwd;
  int32_t blocksBefore = 0;
  std::vector<std::string> logLines;

  // The log writes line feeds as CR LF; lines are kept with plain line feeds.
  static void Capture(const char* text, void* context) {
    std::string line;
    for (const char* p = text; *p; p++)
      if (!(p[0] == '\r' && p[1] == '\n')) line += *p;
    static_cast<FileTestDir*>(context)->logLines.push_back(line);
  }

  void SetUp() override {
    char tmpl[] = "/tmp/kr_file_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    PlatGetCurrentDir(&oldCwd);
    blocksBefore = GetTrackedBlockCount();
    PlatSetDebugSink(Capture, this);
    SetLogDebuggerOnly(1);  // log lines reach the capture without a log file
  }
  void TearDown() override {
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
    PlatSetCurrentDir(oldCwd.c_str());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // A file of `size` bytes, byte i being (i * 7 + i / 251) & 0xFF.
  std::string MakeFile(const std::string& name, size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; i++) data[i] = char(Byte(i));
    PlatFile* f = PlatFileOpen(Path(name).c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(PlatFileWrite(f, data.data(), int64_t(size)), int64_t(size));
    PlatFileClose(f);
    return Path(name);
  }
  static unsigned char Byte(size_t i) { return (unsigned char)((i * 7 + i / 251) & 0xFF); }
  bool NoLeaks() const { return GetTrackedBlockCount() == blocksBefore; }
  bool Logged(const char* text) const {
    for (const std::string& line : logLines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};
