// The fatal exit, for any subsystem that cannot go on.
#pragma once

// Writes the message to the log, runs the end sequence (unless it is the end sequence
// that failed) and ends the process with exit code -1 (255 as the shell sees it).
[[noreturn]] void FatalEngineExit(const char* message);
// As FatalEngineExit with a printf-style message of at most 1023 bytes, cut at a
// character boundary.
[[noreturn]] void FatalEngineExitFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
