// The calls the system layer makes into neighbouring subsystems and into the machine,
// seen and scripted by the tests. Every entry of the engine's tables (g_SystemCalls and
// the later subsystems' g_*Services) is recorded here and goes on to the engine's own
// function unless a test scripted its result; the machine's answers come through the
// platform's machine hooks, the component runtime's starts through its observer.
#pragma once

#include "platform/window/window.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Forgets every call, script, hook and captured log line. Before and after every test of
// the program this runs and the log's capture ends, so nothing outlives its test.
void ResetFakes();

// The wrapped calls since the last ClearCalls, in order. A call with arguments is
// recorded with them: "PumpNetworkMessages(1)", "SetVBlankWait(0)".
std::vector<std::string> Calls();
void ClearCalls();
int CallCount(const std::string& record);
// The recorded calls that are among names, in order.
std::vector<std::string> CallsAmong(const std::vector<std::string>& names);

// From now on the call of that name (without arguments) returns result.
void Script(const std::string& name, int64_t result);
// Runs hook whenever the call of that name is made (PlatPerfCounter too, unrecorded).
void Hook(const std::string& name, std::function<void()> hook);

// The machine. Once a leaf is scripted, unscripted leaves read as zero.
void ScriptCpuid(uint32_t leaf, uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx);
void ScriptOsVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                     const char* serviceText);
// Successive reads of the time-stamp counter; the last value repeats.
void ScriptTscReads(const std::vector<uint64_t>& values);
void ScriptMemory(uint64_t totalPhys, uint64_t availPhys);
// The rectangle of the last PresentSoftwareImage call.
PlatRect LastPresentRect();
// The text of the last DrawTextDefaultFontCore call.
std::string LastDrawnText();

// Everything written to the debugger output (where the log goes too), as lines without
// their line feeds and leading indent tabs.
void CaptureLog();
std::vector<std::string> LogLines();
bool LogHas(const std::string& line);
