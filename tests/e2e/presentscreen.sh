#!/usr/bin/env bash
# The presented back screen (tests/e2e/presentscreen.cpp) on a real X display (Xvfb), in a
# window and in full screen, each on a display of its own: the screen shows the pattern.
#   presentscreen.sh <presentscreen executable>
set -u
program=$(realpath "$1")
root=$(realpath "$(dirname "$0")/../..")
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb: skipped"; exit 77; }
dir=$(mktemp -d /tmp/kr_presentscreen_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime
export XDG_RUNTIME_DIR="$dir/runtime"
run() {
  rm -rf "fb_$1"
  mkdir "fb_$1"
  KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_XVFB_SCREEN=1024x768x24 \
    KR_XVFB_ARGS="-fbdir $dir/fb_$1" \
    "$root/scripts/onvirtualdisplay.sh" "$program" "$1" "$dir/fb_$1/Xvfb_screen0" > "run_$1.out" 2>&1
}
for mode in window fullscreen; do
  run "$mode"
  status=$?
  # Now and then (about one run in twenty, on a loaded machine) LeakSanitizer's own thread
  # crashes while it stops the program's threads at exit, before it has looked for a leak:
  # that run tells nothing, and the next one does.
  if [ $status -ne 0 ] && grep -q "LeakSanitizer has encountered a fatal error" "run_$mode.out"; then
    echo "$mode: LeakSanitizer itself failed at exit; once more"
    run "$mode"
    status=$?
  fi
  # The script says which display it runs the program on once the server is up.
  if ! grep -q "running on the virtual display" "run_$mode.out"; then
    cat "run_$mode.out"
    echo "no X server could start: skipped"
    exit 77
  fi
  if [ $status -ne 0 ]; then
    cat "run_$mode.out"
    echo "$mode: failed ($status)"
    exit $status
  fi
  echo "$mode: shown"
done
