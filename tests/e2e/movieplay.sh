#!/usr/bin/env bash
# A movie with a tone played into a graph at the centre of the screen
# (tests/e2e/movieplay.cpp) on a real X display (Xvfb): full screen on a display of the
# screen's own size, or with `stream` in a window on a larger display; the program itself
# chooses SDL's disk audio driver. With KR_E2E_KEEP naming an absolute directory, the
# display at each check is kept there as movie-<own|stream>-<ms>.png.
#   movieplay.sh <movieplay executable> [stream]
if [ "${2:-}" = stream ]; then
  exec "$(dirname "$0")/onscreendump.sh" 800x600x24 "$1" stream
fi
exec "$(dirname "$0")/onscreendump.sh" 640x480x24 "$1"
