// The tests that need a real X display run a child on one of its own, through
// scripts/onvirtualdisplay.sh (KR_ONVIRTUALDISPLAY, set by the build): the server claims
// the first free display number itself, so any number of these tests may start at once
// (ctest -j), where xvfb-run -a can hand two of them the same number and one fails.
#pragma once

#include <cstdlib>
#include <string>

// Whether a virtual display can be tried at all: without Xvfb the tests skip.
inline bool HaveVirtualDisplay() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

// The shell command's start that runs what follows on a 1024x768x24 display with the
// server arguments given (e.g. "-fbdir DIR"), for 100 s at most.
inline std::string OnVirtualDisplay(const std::string& serverArgs = "") {
  return "timeout 100 env KR_XVFB_SCREEN=1024x768x24 KR_XVFB_ARGS='" + serverArgs + "' '" KR_ONVIRTUALDISPLAY "'";
}
