#!/usr/bin/env bash
# The soft Direct3D-style device's scene (tests/e2e/d3dscene.cpp) on a real X display
# (Xvfb): what reaches the screen at the window, reduced to 5:6:5, equals the frame the
# same program draws on the headless platform.
#   d3dscene.sh <d3dscene executable>
set -u
program=$(realpath "$1")
command -v xvfb-run >/dev/null 2>&1 || { echo "no xvfb-run: skipped"; exit 77; }
dir=$(mktemp -d /tmp/kr_d3dscene_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime fb
export XDG_RUNTIME_DIR="$dir/runtime"

KR_PLATFORM=headless SDL_VIDEODRIVER=dummy "$program" headless headless.txt
status=$?
[ $status -eq 0 ] || { echo "the headless frame failed ($status)"; exit $status; }

KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  xvfb-run -a -s "-screen 0 1024x768x24 -fbdir $dir/fb" "$program" window headless.txt "$dir/fb/Xvfb_screen0"
