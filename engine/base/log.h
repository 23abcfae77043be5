// The engine's log: Shift-JIS text appended to Log.txt in the start directory and sent
// to the debugger output. A text that starts a new line gets the milliseconds since the
// log was created ("%d:") and one tab per indent level; line feeds become CR LF. The file
// is opened and closed on every call, so that what was written survives a crash.
#pragma once

// Creates (replaces) the log file in the start directory and starts its clock; 1.
int OpenLogFile();
// Always -1, so a failing operation can return the log call's result as its own.
int WriteLog(const char* text);
// Formats into a 1024-byte buffer, appends a line feed and writes it with WriteLog; -1.
int WriteLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One tab more / less at the start of each line (never below 0); 0.
int LogIndentIn();
int LogIndentOut();

// The directory the log file lives in: the current directory at engine initialisation.
// While it is empty nothing reaches the file. -1 when the text is too long for a path.
int SetLogStartDirectory(const char* directory);
const char* GetLogStartDirectory();

// Settings, all 0 by default. Log off: no file and no debugger output. Dated name: the
// file is named Log<year>_<month>_<day>_<hour>_<minute>_<second>.txt. Time stamp off:
// lines start without the time stamp. Debugger only: no file; every text goes to the
// debugger output alone.
void SetLogOff(int on);
void SetLogDatedName(int on);
void SetLogTimeStampOff(int on);
void SetLogDebuggerOnly(int on);
int GetLogOff();
int GetLogDatedName();
int GetLogTimeStampOff();
int GetLogDebuggerOnly();
// The log file's name without directory, as OpenLogFile chose it (empty before).
const char* GetLogFileName();
