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
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb
e2e_workdir screendump
mkdir fb
e2e_on_display run.out "$screen" "$dir/fb" "$program" "$@" "$dir/fb/Xvfb_screen0"
status=$?
cat run.out
exit $status
