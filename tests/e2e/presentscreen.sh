#!/usr/bin/env bash
# The presented back screen (tests/e2e/presentscreen.cpp) on a real X display (Xvfb), in a
# window and in full screen, each on a display of its own: the screen shows the pattern.
#   presentscreen.sh <presentscreen executable>
set -u
program=$(realpath "$1")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb
e2e_workdir presentscreen
for mode in window fullscreen; do
  mkdir "fb_$mode"
  e2e_on_display "run_$mode.out" 1024x768x24 "$dir/fb_$mode" "$program" "$mode" "$dir/fb_$mode/Xvfb_screen0"
  status=$?
  if [ $status -ne 0 ]; then
    cat "run_$mode.out"
    echo "$mode: failed ($status)"
    exit $status
  fi
  echo "$mode: shown"
done
