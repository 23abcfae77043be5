#!/usr/bin/env bash
# A movie with a tone played into a graph at the centre of the screen
# (tests/e2e/movieplay.cpp), full screen on a real X display (Xvfb) of the screen's own
# size, with SDL's disk audio driver.
#   movieplay.sh <movieplay executable>
set -u
program=$(realpath "$1")
root=$(realpath "$(dirname "$0")/../..")
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb: skipped"; exit 77; }
# Full screen on SDL's software renderer shows black (the open fault screenstart.sh names).
if [ "${SDL_RENDER_DRIVER:-}" = software ]; then
  echo "full screen on SDL's software renderer shows black (open fault): skipped"; exit 77
fi
dir=$(mktemp -d /tmp/kr_movieplay_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 fb
KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 KR_XVFB_SCREEN=640x480x24 KR_XVFB_ARGS="-fbdir $dir/fb" \
  "$root/scripts/onvirtualdisplay.sh" "$program" "$dir/fb/Xvfb_screen0" > run.out 2>&1
status=$?
cat run.out
grep -q "running on the virtual display" run.out || { echo "no X server could start: skipped"; exit 77; }
exit $status
