#!/usr/bin/env bash
# Runs a program on a virtual X display of its own (Xvfb) that lives exactly as long as
# the program, and ends cleanly on Ctrl+C: the interrupt (or a TERM or HUP) goes to the
# program first, and the display stops only once the program has ended, so that the
# program can still close its window and write its end (the game: Log.txt's end lines
# and leak report). xvfb-run cannot do that: Ctrl+C reaches its X server too, which dies
# under the program.
#   onvirtualdisplay.sh <program> [arguments...]
# KR_XVFB_SCREEN sets the display's size and depth (default 1024x768x24); KR_XVFB_ARGS
# adds server arguments, split at blanks (e.g. "-fbdir DIR": the screen kept as an X
# window dump, DIR/Xvfb_screen0). The display's number is the first free one, which the
# server itself claims, so that any number of runs may start at once (xvfb-run -a guesses
# a number from lock files, and two runs starting together can pick the same one).
# Exits 1 with a word when Xvfb is missing or its display does not start, else with the
# program's status.
set -u
me=${0##*/}
command -v Xvfb >/dev/null 2>&1 || { echo "$me: Xvfb is missing (apt-get install xvfb)" >&2; exit 1; }
[ $# -ge 1 ] || { echo "usage: $me <program> [arguments...]" >&2; exit 2; }

# Job control gives the display and the program process groups of their own: a Ctrl+C
# typed at the terminal reaches this script alone, which passes it on in order.
set -m
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kr_display_XXXXXX")
xvfb=
cleanup() {
  if [ -n "$xvfb" ] && kill -0 "$xvfb" 2>/dev/null; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# The server picks a free display number and writes it once it accepts clients.
# The wait is long enough for a machine whose every core is busy (the tests run in parallel).
read -r -a extra <<<"${KR_XVFB_ARGS:-}"
Xvfb -displayfd 3 -screen 0 "${KR_XVFB_SCREEN:-1024x768x24}" -nolisten tcp "${extra[@]}" \
  3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 1 600); do
  grep -q '^[0-9][0-9]*$' "$tmp/display" 2>/dev/null && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if ! grep -q '^[0-9][0-9]*$' "$tmp/display" 2>/dev/null; then
  echo "$me: the virtual display did not start:" >&2
  cat "$tmp/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$tmp/display")"
unset WAYLAND_DISPLAY
# Nobody looks at this display: the program must not wait on a question put at start
# (KR_VIRTUAL_DISPLAY=0 puts it all the same, for a display watched from elsewhere).
export KR_VIRTUAL_DISPLAY=${KR_VIRTUAL_DISPLAY:-1}
echo "$me: running on the virtual display $DISPLAY (Ctrl+C ends the program, then the display)" >&2

"$@" &
program=$!
trap 'kill -INT "$program" 2>/dev/null' INT
trap 'kill -TERM "$program" 2>/dev/null' TERM HUP
# A trapped signal cuts a wait short: wait again until the program has really ended.
while kill -0 "$program" 2>/dev/null; do wait "$program"; done
wait "$program"
exit $?
