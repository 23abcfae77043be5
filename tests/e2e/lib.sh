# The steps the end-to-end scripts share, sourced by them (and by the inner scripts they
# run on a virtual display, through E2E_LIB):
#   . "$(dirname "$0")/lib.sh"
# Sets root (the source tree) and E2E_LIB, and exports the leak check's settings.

root=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../..")
export E2E_LIB=$root/tests/e2e/lib.sh

# Leaks are checked at exit like everywhere else; only the system libraries' own, listed in
# scripts/lsan.supp, are let go. Mesa's software GL (SDL's default renderer on Xvfb) keeps
# two threads per core waiting until the process ends, and LeakSanitizer's tracer, which
# stops every thread at exit, now and then crashed among them ("Tracer caught signal 11")
# before it had looked for a leak. With LP_NUM_THREADS=0 Mesa draws on the calling thread
# and starts none, so only the program's own threads are left at exit (it joins them all).
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export LP_NUM_THREADS=0

# e2e_need <tool...>: skips the test (77) where one is missing.
e2e_need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
  done
}

# e2e_workdir <name>: a fresh directory, removed at exit, as the working directory, with a
# runtime directory of its own (a copy of the game the user runs elsewhere keeps its class
# locks out of the test's way). Sets dir.
e2e_workdir() {
  dir=$(mktemp -d "/tmp/kr_$1_XXXXXX")
  trap 'rm -rf "$dir"' EXIT
  cd "$dir" || exit 1
  mkdir -m 700 runtime
  export XDG_RUNTIME_DIR="$dir/runtime"
}

# e2e_on_display <output> <screen WxHxD> <fb directory or -> <program> [arguments...]: runs
# the program on a virtual display of its own (scripts/onvirtualdisplay.sh) on the SDL back
# ends with SDL's dummy audio (unless SDL_AUDIODRIVER says otherwise), its output into the
# file; with a directory, the screen is kept there as an X window dump (Xvfb_screen0).
# Returns the program's status; skips the test (77) where no X server could start.
e2e_on_display() {
  local out=$1 screen=$2 fb=$3 status
  shift 3
  local args=
  [ "$fb" != - ] && args="-fbdir $fb"
  KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} KR_XVFB_SCREEN=$screen \
    KR_XVFB_ARGS="$args" "$root/scripts/onvirtualdisplay.sh" "$@" > "$out" 2>&1
  status=$?
  # The script says which display it runs the program on once the server is up.
  if ! grep -q "running on the virtual display" "$out"; then
    cat "$out"; echo "no X server could start: skipped"; exit 77
  fi
  return $status
}

# e2e_window <pid>: waits up to 30 s for the program's window (title Kestr) while the
# program runs, and sets win. 1 with a word when the program ended first or no window came.
e2e_window() {
  win=
  for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
    [ -n "$win" ] && return 0
    kill -0 "$1" 2>/dev/null || { echo "the program ended before its window appeared"; return 1; }
    sleep 0.1
  done
  echo "the window never appeared"
  return 1
}

# e2e_dialog <caption> <tries>: waits up to tries x 0.1 s for a shown window whose title
# is the caption, and sets box; 1 when none came. xdotool matches no UTF-8 title, so the
# title is read with xprop.
e2e_dialog() {
  local w
  box=
  for _ in $(seq 1 "$2"); do
    for w in $(xdotool search --onlyvisible --class '' 2>/dev/null); do
      LC_ALL=C.UTF-8 xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qF "\"$1\"" && box=$w
    done
    [ -n "$box" ] && return 0
    sleep 0.1
  done
  return 1
}

# e2e_focus <pid> [xdotool command...]: gives the window the focus, then runs the command
# on it (e.g. keydown Escape). The window found first can be gone by now (SDL may replace
# its X window while it sets the window up): it is looked up again for each try, and no
# try waits on the focus for long. Sets win; 1 with a word when it never took the focus.
e2e_focus() {
  local pid=$1
  shift
  for _ in $(seq 1 50); do
    win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
    [ -n "$win" ] && timeout 5 xdotool windowfocus --sync "$win" "$@" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the window could not take the focus"
  return 1
}

# e2e_escape_ends <pid>: a held Escape typed into the window, let go once the program has
# ended (it samples keys once per frame, and a sanitized build on a loaded machine may
# still be loading its files). 1 with a word when the program is still running after
# 60 s; else the program's status.
e2e_escape_ends() {
  local pid=$1
  e2e_focus "$pid" keydown Escape || return 1
  for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  xdotool keyup Escape 2>/dev/null
  if kill -0 "$pid" 2>/dev/null; then echo "Escape did not end the program"; kill "$pid"; wait "$pid"; return 1; fi
  wait "$pid"
}

# e2e_move <key> <what> <check...>: a menu's cursor key, held until the caller's screen
# function (screen - <seconds> <check...>, as tests/e2e/play_round.cpp looks) sees where the
# cursor went, then let go for as long again (at least 0.15 s): however slow a loaded
# machine's frames, a pad read sees the key down and a later one sees it up, so that the
# next press of the same key counts as a press of its own (two short presses within one
# slow frame were one). Calls the caller's fail with a word when the cursor never showed.
e2e_move() {
  local k=$1 what=$2 start
  shift 2
  start=$(date +%s.%N)
  xdotool keydown "$k"
  sleep 0.1
  if ! screen - 20 "$@" > look.out 2>&1; then
    xdotool keyup "$k"
    cat look.out
    fail "never seen: $what"
  fi
  xdotool keyup "$k"
  echo "seen: $what"
  sleep "$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { d = b - a; print d < 0.15 ? 0.15 : d }')"
}

# e2e_log_tail <folder>: the end of its Log.txt, for a failure's output (the log says where
# a start stopped, which the terminal does not).
e2e_log_tail() {
  [ -f "$1/Log.txt" ] || { echo "no Log.txt in $1"; return 0; }
  echo "the end of Log.txt:"
  iconv -f CP932 -t UTF-8 "$1/Log.txt" 2>/dev/null | tail -n 15
}

# e2e_log_ends_clean <folder>: its Log.txt's leak report is empty.
e2e_log_ends_clean() {
  local log
  log=$(iconv -f CP932 -t UTF-8 "$1/Log.txt") || { echo "$1: no readable Log.txt"; return 1; }
  grep -qF "Total size:0(0.000kb)  Alloc num:0" <<<"$log" && return 0
  echo "$1: the leak report is not empty:"; printf '%s\n' "$log" | tail -n 20
  return 1
}
