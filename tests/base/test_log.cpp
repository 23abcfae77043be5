#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "logfixture.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void Capture(const char* text, void* context) { *(std::string*)context += text; }

struct Op {
  enum Kind { Text, Advance, In, Out, StampOff } kind;
  const char* text = nullptr;
  uint32_t ms = 0;
};
Op T(const char* text) { return {Op::Text, text, 0}; }
Op Wait(uint32_t ms) { return {Op::Advance, nullptr, ms}; }
const Op kIn{Op::In}, kOut{Op::Out}, kStampOff{Op::StampOff};

}  // namespace

TEST_F(LogFixture, CallSequencesGiveExactBytes) {
  struct Case {
    const char* name;
    std::vector<Op> ops;
    std::string file;
    std::string debugger;
  } cases[] = {
      {"line feeds inside one text", {T("a\nb\n")}, "0:a\r\nb\r\n", "a\r\nb\r\n"},
      {"text already in CR LF", {T("a\r\nb\n")}, "0:a\r\nb\n", "a\r\nb\n"},
      {"line carried across calls", {T("abc"), Wait(5), T("def\n")}, "0:abcdef\r\n",
       "abcdef\r\n"},
      {"stamp counts from creation", {T("a\n"), Wait(12), T("b\n")}, "0:a\r\n12:b\r\n",
       "a\r\nb\r\n"},
      {"indent two", {kIn, kIn, T("x\n")}, "0:\t\tx\r\n", "\t\tx\r\n"},
      {"indent never below 0", {kOut, kIn, kOut, kOut, kIn, T("x\n")}, "0:\tx\r\n",
       "\tx\r\n"},
      {"tabs only at a line start", {kIn, T("a"), T("b\n")}, "0:\tab\r\n", "\tab\r\n"},
      {"trail byte 0x0A is no line feed", {T("\x82\x0A\n")}, "0:\x82\x0A\r\n",
       "\x82\x0A\r\n"},
      {"lead byte before the terminator", {T("a\x82"), T("\n")}, "0:a\x82\r\n", "a\x82\r\n"},
      {"empty text begins a line", {T(""), Wait(3), T("x\n")}, "0:x\r\n", "x\r\n"},
      {"time stamp off", {kStampOff, kIn, T("a\nb\n")}, "\ta\r\nb\r\n", "\ta\r\nb\r\n"},
  };
  for (const Case& c : cases) {
    SetLogTimeStampOff(0);
    OpenLogFile();
    std::string debugger;
    PlatSetDebugSink(Capture, &debugger);
    for (const Op& op : c.ops) {
      switch (op.kind) {
        case Op::Text: EXPECT_EQ(WriteLog(op.text), -1); break;
        case Op::Advance: PlatClockAdvance(op.ms); break;
        case Op::In: LogIndentIn(); break;
        case Op::Out: LogIndentOut(); break;
        case Op::StampOff: SetLogTimeStampOff(1); break;
      }
    }
    PlatSetDebugSink(nullptr, nullptr);
    EXPECT_EQ(ReadLog(), c.file) << c.name;
    EXPECT_EQ(debugger, c.debugger) << c.name;
  }
}

TEST_F(LogFixture, FormattedTextIsCutOnACharacter) {
  EXPECT_EQ(WriteLogFmt("%d-%s", 7, "z"), -1);
  EXPECT_EQ(ReadLog(), "0:7-z\r\n");

  // 1021 bytes and then a pair that would end past the 1022 that fit: the pair goes.
  OpenLogFile();
  std::string text(1021, 'a');
  WriteLogFmt("%s\x82\xA0tail", text.c_str());
  EXPECT_EQ(ReadLog(), "0:" + text + "\r\n");
  EXPECT_EQ(GetTrackedBlockCount(), 0);
}

TEST_F(LogFixture, FileIsReplacedAtEachStartAndPathsJoin) {
  WriteLog("old\n");
  OpenLogFile();
  EXPECT_EQ(ReadLog(), "");
  // A start directory that ends in a separator gets none added.
  ASSERT_EQ(SetLogStartDirectory((dir + "/").c_str()), 0);
  WriteLog("x\n");
  EXPECT_EQ(ReadLog(), "0:x\r\n");
  EXPECT_STREQ(GetLogFileName(), "Log.txt");
  // Longer than any Linux path: refused, the old directory stays.
  EXPECT_EQ(SetLogStartDirectory(std::string(5000, 'd').c_str()), -1);
  EXPECT_EQ(std::string(GetLogStartDirectory()), dir + "/");
}

TEST_F(LogFixture, DatedFileName) {
  // The manual clock's calendar starts at 2026-01-01 00:00:00 local time.
  PlatClockSetManual(1, ((9 * 60 + 3) * 60 + 7) * 1000);
  SetLogDatedName(1);
  OpenLogFile();
  EXPECT_STREQ(GetLogFileName(), "Log2026_1_1_9_3_7.txt");
  WriteLog("d\n");
  EXPECT_EQ(ReadFile("Log2026_1_1_9_3_7.txt"), "0:d\r\n");
}

TEST_F(LogFixture, SettingsThatKeepTextFromTheFile) {
  std::string debugger;
  PlatSetDebugSink(Capture, &debugger);

  // Debugger only: converted text, no stamp and no tabs, and no file.
  SetLogDebuggerOnly(1);
  LogIndentIn();
  WriteLog("a\nb");
  EXPECT_EQ(debugger, "a\r\nb");
  EXPECT_EQ(ReadLog(), "");
  SetLogDebuggerOnly(0);
  LogIndentOut();

  // Log off: nothing anywhere, and no file is made at the start.
  debugger.clear();
  SetLogOff(1);
  WriteLog("c\n");
  ASSERT_EQ(system(("rm " + dir + "/Log.txt").c_str()), 0);
  EXPECT_EQ(OpenLogFile(), 1);
  EXPECT_EQ(ReadLog(), "<missing>");
  SetLogOff(0);

  // A folder where the file cannot be made: said once, at the start, on the terminal.
  debugger.clear();
  const std::string missing = dir + "/no/such/folder";
  SetLogStartDirectory(missing.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenLogFile(), 1);
  WriteLog("f\n");
  WriteLog("g\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "The log file " + missing + "/Log.txt cannot be created: no log is kept this run.\n");
  EXPECT_EQ(debugger, "");  // no file, no line anywhere

  // No start directory: nothing reaches the file or the debugger.
  debugger.clear();
  SetLogStartDirectory("");
  WriteLog("e\n");
  EXPECT_EQ(debugger, "");
  PlatSetDebugSink(nullptr, nullptr);
}

TEST_F(LogFixture, LongTextBufferComesFromTheTracker) {
  // With every call logged, the conversion block's own lines frame the text.
  SetTrackerLogEveryCall(1);
  std::string text(300, 'q');
  WriteLog((text + "\n").c_str());
  SetTrackerLogEveryCall(0);
  std::string log = ReadLog();
  size_t alloc = log.find("mem alloc  \tsize:603(0.589kb)  file:  line:65535  ID:");
  size_t body = log.find("\r\n0:" + text + "\r\n");
  size_t release = log.find("0:mem free  \tsize:603(");
  ASSERT_NE(alloc, std::string::npos) << log;
  ASSERT_NE(body, std::string::npos) << log;
  ASSERT_NE(release, std::string::npos) << log;
  EXPECT_EQ(alloc, 2u);
  EXPECT_LT(body, release);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
}

namespace {
int RefuseLarge(size_t size) { return size > 500; }
}  // namespace

TEST_F(LogFixture, LongTextWithoutBufferIsWrittenUnconverted) {
  PlatSetAllocFailHook(RefuseLarge);
  std::string text(299, 'r');
  WriteLog((text + "\n").c_str());
  PlatSetAllocFailHook(nullptr);
  // The refused request writes the leak report first; the text then goes out as it is.
  EXPECT_EQ(ReadLog(),
            "0:\r\n0:Alloc memory dump\r\n0:\tTotal size:0(0.000kb)  Alloc num:0\r\n0:\r\n"
            "0:" + text + "\n");
}

// A log whose writes start failing (the disk full: /dev/full in its place) says so once on
// the terminal and goes on writing the debugger output.
TEST_F(LogFixture, AWriteThatFailsIsSaidOnce) {
  OpenLogFile();
  const std::string path = dir + "/Log.txt";
  std::filesystem::remove(path);
  std::filesystem::create_symlink("/dev/full", path);
  std::string debugger;
  PlatSetDebugSink(Capture, &debugger);
  testing::internal::CaptureStderr();
  WriteLog("lost\n");
  WriteLog("lost too\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Writing the log file " + path + " failed (is the disk full?): lines are lost.\n");
  PlatSetDebugSink(nullptr, nullptr);
  EXPECT_EQ(debugger, "lost\r\nlost too\r\n");
}
