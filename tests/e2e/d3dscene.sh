#!/usr/bin/env bash
# The soft Direct3D-style device's scene (tests/e2e/d3dscene.cpp) on a real X display
# (Xvfb): what reaches the screen at the window, reduced to 5:6:5, equals the frame the
# same program draws on the headless platform.
#   d3dscene.sh <d3dscene executable>
set -u
program=$(realpath "$1")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb
e2e_workdir d3dscene
mkdir fb

KR_PLATFORM=headless SDL_VIDEODRIVER=dummy "$program" headless headless.txt
status=$?
[ $status -eq 0 ] || { echo "the headless frame failed ($status)"; exit $status; }

e2e_on_display run.out 1024x768x24 "$dir/fb" "$program" window headless.txt "$dir/fb/Xvfb_screen0"
status=$?
cat run.out
exit $status
