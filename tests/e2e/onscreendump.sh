#!/usr/bin/env bash
# Runs an end-to-end program full screen on a real X display (Xvfb) whose screen it can
# read back: the program gets the path of the screen's dump (the XWD file Xvfb keeps with
# -fbdir) as its last argument, and runs in a fresh directory of its own on the SDL back
# ends with SDL's dummy audio (unless it chooses another). Skipped (77) where Xvfb is
# missing or no X server can start.
#   onscreendump.sh <screen WxHxD> <program> [arguments...]
set -u
screen=$1
program=$(realpath "$2")
shift 2
root=$(realpath "$(dirname "$0")/../..")
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb: skipped"; exit 77; }
dir=$(mktemp -d /tmp/kr_screendump_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime fb
export XDG_RUNTIME_DIR="$dir/runtime"
KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_XVFB_SCREEN=$screen KR_XVFB_ARGS="-fbdir $dir/fb" \
  "$root/scripts/onvirtualdisplay.sh" "$program" "$@" "$dir/fb/Xvfb_screen0" > run.out 2>&1
status=$?
cat run.out
# The script says which display it runs the program on once the server is up.
grep -q "running on the virtual display" run.out || { echo "no X server could start: skipped"; exit 77; }
exit $status
