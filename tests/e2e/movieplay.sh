#!/usr/bin/env bash
# A movie with a tone played into a graph at the centre of the screen
# (tests/e2e/movieplay.cpp), full screen on a real X display (Xvfb) of the screen's own
# size; the program itself chooses SDL's disk audio driver.
#   movieplay.sh <movieplay executable>
exec "$(dirname "$0")/onscreendump.sh" 640x480x24 "$1"
