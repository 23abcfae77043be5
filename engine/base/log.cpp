#include "engine/base/log.h"

#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

// Room for a Linux path (PATH_MAX) with its terminator.
constexpr size_t kLogPathMax = 4096;
// Texts up to this length convert in a buffer on the stack.
constexpr size_t kShortText = 255;

struct LogFile {
  int logOff;
  int datedName;
  int timeStampOff;
  int debuggerOnly;
  char fileName[256];
  int indentLevel;
  int lineBegun;
  uint32_t startTime;
  int failureSaid;  // the user was told the file is not being written
  char startDirectory[kLogPathMax];
};
LogFile g_log;

// A log that stops being written (a full disk, a folder made read-only) would lose its
// lines without a word: the user hears it once per start, on the terminal.
void SayLogFailure(const std::string& line) {
  if (g_log.failureSaid) return;
  g_log.failureSaid = 1;
  PlatUserNotice(line.c_str());
}

// The log is written from the main thread and the clock thread, and the tracker writes
// into it while it holds its own lock: one recursive mutex for the process's life. The
// log never allocates while holding it, so the two locks are always taken tracker first.
PlatMutex* LogMutex() {
  static PlatMutex* mutex = PlatMutexCreate(1);
  return mutex;
}

// Copies text to out (which holds 2 * strlen(text) + 1 bytes) with each line feed made
// CR LF, stepping over double-byte characters so a trail byte is never taken for one.
// A text that already uses CR LF is left as it is from its first CR LF on.
void ConvertLineFeeds(const char* text, char* out) {
  size_t i = 0, last = 0, o = 0;
  while (text[i]) {
    if (text[i] == '\n') {
      if (i > 0 && text[i - 1] == '\r') break;
      std::memcpy(out + o, text + last, i - last);
      o += i - last;
      out[o++] = '\r';
      out[o++] = '\n';
      last = i + 1;
      i++;
      continue;
    }
    i += size_t(ShiftJisCharLength(text + i));
  }
  size_t rest = std::strlen(text + last);
  std::memcpy(out + o, text + last, rest);
  out[o + rest] = '\0';
}

// True when the directory's last character is a separator (not the trail byte of a
// double-byte character that happens to be a backslash).
int EndsWithSeparator(const char* dir) {
  const char* lastChar = nullptr;
  for (const char* p = dir; *p; p += ShiftJisCharLength(p)) lastChar = p;
  return lastChar && !IsShiftJisLeadByte((unsigned char)*lastChar) &&
         (*lastChar == '/' || *lastChar == '\\');
}

std::string LogFilePath() {
  std::string path = g_log.startDirectory;
  if (!path.empty() && !EndsWithSeparator(g_log.startDirectory)) path += '/';
  path += g_log.fileName;
  return path;
}

void BuildFileName(char* name) {
  if (!g_log.datedName) {
    StrCopy(name, "Log.txt");
    return;
  }
  PlatDateTime now;
  PlatGetLocalTime(&now);
  const int parts[6] = {now.year, now.month, now.day, now.hour, now.minute, now.second};
  StrCopy(name, "Log");
  char number[34];
  for (int i = 0; i < 6; i++) {
    if (i > 0) StrAppend(name, "_");
    StrAppend(name, IntToStr(parts[i], number, 10));
  }
  StrAppend(name, ".txt");
}

void WriteConverted(const char* text) {
  PlatMutexHold hold(LogMutex());
  if (g_log.debuggerOnly) {
    PlatDebugOutput(text);
    return;
  }
  if (g_log.logOff || g_log.startDirectory[0] == '\0') return;

  const std::string path = LogFilePath();
  PlatFile* file = PlatFileOpen(path.c_str(), PLAT_FILE_WRITE, PLAT_OPEN_ALWAYS);
  if (!file) {
    SayLogFailure("The log file " + path + " cannot be opened: its lines are lost from here on.\n");
    return;
  }
  PlatFileSeek(file, 0, PLAT_SEEK_END);
  bool written = true;
  auto put = [&](const char* bytes, size_t count) {
    written = PlatFileWrite(file, bytes, int64_t(count)) == int64_t(count) && written;
  };

  if (!g_log.lineBegun) {
    if (!g_log.timeStampOff) {
      char stamp[16];
      FormatText(stamp, sizeof stamp, "%d:", int(PlatTimeMs() - g_log.startTime));
      put(stamp, std::strlen(stamp));
    }
    if (g_log.indentLevel > 0) {
      std::string tabs(size_t(g_log.indentLevel), '\t');
      put(tabs.data(), tabs.size());
      PlatDebugOutput(tabs.c_str());
    }
  }

  size_t len = std::strlen(text);
  put(text, len);
  if (!written)
    SayLogFailure("Writing the log file " + path + " failed (is the disk full?): lines are lost.\n");
  PlatDebugOutput(text);
  g_log.lineBegun = (len == 0 || text[len - 1] != '\n') ? 1 : 0;
  PlatFileClose(file);
}

}  // namespace

int OpenLogFile() {
  PlatMutexHold hold(LogMutex());
  if (g_log.logOff || g_log.debuggerOnly) return 1;
  BuildFileName(g_log.fileName);
  std::string path = LogFilePath();
  PlatFileDelete(path.c_str());
  PlatFile* file = PlatFileOpen(path.c_str(), PLAT_FILE_WRITE, PLAT_CREATE_NEW);
  g_log.failureSaid = 0;
  if (file) {
    PlatFileClose(file);
  } else {
    // Without the file the log would vanish without a word: said once, at the start.
    SayLogFailure("The log file " + path + " cannot be created: no log is kept this run.\n");
  }
  g_log.indentLevel = 0;
  g_log.lineBegun = 0;
  g_log.startTime = PlatTimeMs();
  return 1;
}

int WriteLog(const char* text) {
  if (!text) return -1;
  size_t len = std::strlen(text);
  char shortBuffer[2 * kShortText + 1];
  char* converted = shortBuffer;
  void* block = nullptr;
  // A long text's buffer comes from the tracker, whose own log lines (when switched on)
  // then frame the text. It is taken before the log's lock so the tracker's lock is
  // never awaited while the log's is held.
  if (len > kShortText) {
    block = TrackedAlloc(2 * len + 1, nullptr, -1);
    converted = (char*)block;
  }
  if (converted) {
    ConvertLineFeeds(text, converted);
    WriteConverted(converted);
  } else {
    // No buffer to be had: the text goes out as it stands rather than not at all.
    WriteConverted(text);
  }
  TrackedFree(block);
  return -1;
}

int WriteLogFmt(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  // At most 1022 characters, cut on a character, so the line feed and terminator fit.
  int n = FormatTextV(buf, sizeof buf - 1, format, args);
  va_end(args);
  buf[n] = '\n';
  buf[n + 1] = '\0';
  return WriteLog(buf);
}

int LogIndentIn() {
  PlatMutexHold hold(LogMutex());
  g_log.indentLevel++;
  return 0;
}

int LogIndentOut() {
  PlatMutexHold hold(LogMutex());
  if (g_log.indentLevel > 0) g_log.indentLevel--;
  return 0;
}

int SetLogStartDirectory(const char* directory) {
  PlatMutexHold hold(LogMutex());
  if (!directory) directory = "";
  if (std::strlen(directory) >= kLogPathMax) return -1;
  StrCopy(g_log.startDirectory, directory);
  return 0;
}

const char* GetLogStartDirectory() { return g_log.startDirectory; }

void SetLogOff(int on) {
  PlatMutexHold hold(LogMutex());
  g_log.logOff = on ? 1 : 0;
}

void SetLogDatedName(int on) {
  PlatMutexHold hold(LogMutex());
  g_log.datedName = on ? 1 : 0;
}

void SetLogTimeStampOff(int on) {
  PlatMutexHold hold(LogMutex());
  g_log.timeStampOff = on ? 1 : 0;
}

void SetLogDebuggerOnly(int on) {
  PlatMutexHold hold(LogMutex());
  g_log.debuggerOnly = on ? 1 : 0;
}

int GetLogOff() { return g_log.logOff; }
int GetLogDatedName() { return g_log.datedName; }
int GetLogTimeStampOff() { return g_log.timeStampOff; }
int GetLogDebuggerOnly() { return g_log.debuggerOnly; }
const char* GetLogFileName() { return g_log.fileName; }
