// Least body until the file log lands: text goes to the debugger output only.
#include "engine/base/log.h"

#include "engine/base/strutil.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>

int WriteLog(const char* text) {
  if (text) PlatDebugOutput(text);
  return -1;
}

int WriteLogFmt(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buf, sizeof buf - 1, format, args);
  va_end(args);
  buf[n] = '\n';
  buf[n + 1] = '\0';
  return WriteLog(buf);
}

int LogIndentIn() { return 0; }
int LogIndentOut() { return 0; }
