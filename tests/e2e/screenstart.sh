#!/usr/bin/env bash
# The engine's full-screen start with a background colour (tests/e2e/screenstart.cpp) on a
# real X display (Xvfb): the screen shows the colour.
#   screenstart.sh <screenstart executable>
exec "$(dirname "$0")/onscreendump.sh" 1024x768x24 "$1"
