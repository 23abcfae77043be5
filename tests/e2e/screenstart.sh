#!/usr/bin/env bash
# The engine's full-screen start with a background colour (tests/e2e/screenstart.cpp) on a
# real X display (Xvfb): the screen shows the colour.
#   screenstart.sh <screenstart executable>
set -u
program=$(realpath "$1")
command -v xvfb-run >/dev/null 2>&1 || { echo "no xvfb-run: skipped"; exit 77; }
dir=$(mktemp -d /tmp/kr_screenstart_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime fb
export XDG_RUNTIME_DIR="$dir/runtime"
KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  xvfb-run -a -s "-screen 0 1024x768x24 -fbdir $dir/fb" "$program" "$dir/fb/Xvfb_screen0"
