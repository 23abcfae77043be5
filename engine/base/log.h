// The engine's log: Shift-JIS text appended to Log.txt in the start directory and sent
// to the debugger output.
#pragma once

// Always -1, so a failing operation can return the log call's result as its own.
int WriteLog(const char* text);
// Formats into a 1024-byte buffer, appends a line feed and writes it with WriteLog; -1.
int WriteLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentIn();
int LogIndentOut();
