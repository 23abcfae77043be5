#!/usr/bin/env bash
# The soft Direct3D-style device's scene (tests/e2e/d3dscene.cpp) on a real X display
# (Xvfb): what reaches the screen at the window, reduced to 5:6:5, equals the frame the
# same program draws on the headless platform.
#   d3dscene.sh <d3dscene executable>
set -u
program=$(realpath "$1")
root=$(realpath "$(dirname "$0")/../..")
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb: skipped"; exit 77; }
dir=$(mktemp -d /tmp/kr_d3dscene_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime fb
export XDG_RUNTIME_DIR="$dir/runtime"

KR_PLATFORM=headless SDL_VIDEODRIVER=dummy "$program" headless headless.txt
status=$?
[ $status -eq 0 ] || { echo "the headless frame failed ($status)"; exit $status; }

KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_XVFB_SCREEN=1024x768x24 KR_XVFB_ARGS="-fbdir $dir/fb" \
  "$root/scripts/onvirtualdisplay.sh" "$program" window headless.txt "$dir/fb/Xvfb_screen0" > run.out 2>&1
status=$?
cat run.out
# The script says which display it runs the program on once the server is up.
grep -q "running on the virtual display" run.out || { echo "no X server could start: skipped"; exit 77; }
exit $status
