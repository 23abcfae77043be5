#!/usr/bin/env bash
# What a new user meets, on a real X display (Xvfb), each run in a fresh folder on a
# virtual display of its own, started as `./play.sh --xvfb` starts the program:
#   window     no answer set: the start-up question is not waited on, the game starts in
#              a window and says so; the terminal shows that line and nothing else (no
#              log echo, no library's message); the title shows
#   question   KR_MESSAGEBOX_ANSWER=no: the start-up question answered for the user, while
#              the reset question asked in the options is shown, and "Yes" there brings
#              the title back; then a save that works
#   readonly   the folder read-only: the save screen says that saving failed (its first
#              line is longer than the one of the save that worked), HiScore.dat is kept
#              and the terminal says why
#   missing    u_Block.png gone: the program ends at start with a failure status and a
#              line naming the file and telling how to restore it
#   software   full screen on SDL's software renderer: the title shows on the display
# Screenshots go to the directory KR_E2E_KEEP names, if any.
#   play_meeting.sh <game executable> <play_round_check executable> <assets directory>
set -u
game=$(realpath "$1")
check=$(realpath "$2")
assets=$(realpath "$3")
. "$(dirname "$0")/lib.sh"
suppressions=$root/scripts/lsan.supp
e2e_need Xvfb xdotool xprop xwd xwdtopnm pnmcut ppmhist iconv

dir=$(mktemp -d /tmp/kr_meeting_XXXXXX)
trap 'chmod -R u+w "$dir" 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime
mkdir fb
export XDG_RUNTIME_DIR="$dir/runtime"

# A folder nobody may write to: as root (who writes anywhere) a read-only bind mount of
# the folder in a mount namespace of the run's own, else the folder's write bits off.
if [ "$(id -u)" = 0 ]; then
  mkdir -p probe
  if ! unshare -m sh -c 'mount --bind probe probe && mount -o remount,bind,ro probe && ! touch probe/x' \
      2>/dev/null; then
    readonly_way=none
  else
    readonly_way=mount
  fi
else
  readonly_way=chmod
fi

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
# inner.sh <run folder> <kind>: one run of the game in a fresh folder.
set -u
run=$1 kind=$2
. "$E2E_LIB"
mkdir -p "$run"
cp "$assets"/* "$run"/
cd "$run"
export KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_D3D=0
export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$suppressions:print_suppressions=0
unset KR_MESSAGEBOX_ANSWER KR_DEBUG_OUTPUT
fail() {
  echo "FAIL $*"
  cat "$dir/$kind.err" 2>/dev/null
  kill "$pid" 2>/dev/null
  wait "$pid"
  echo "the program's status: $?"
  e2e_log_tail .
  exit 1
}

if [ "$kind" = missing ]; then
  rm u_Block.png
  timeout 60 "$game" > out.txt 2> err.txt
  status=$?
  cat err.txt
  [ $status -ne 0 ] && [ $status -ne 124 ] || { echo "FAIL the program ended with status $status"; exit 1; }
  grep -qF "The game's file u_Block.png is missing or cannot be loaded." err.txt ||
    { echo "FAIL no line names u_Block.png"; exit 1; }
  grep -qF "run ./play.sh" err.txt || { echo "FAIL no line tells how to restore the files"; exit 1; }
  iconv -f CP932 -t UTF-8 Log.txt | grep -qF "u_Block.png" || { echo "FAIL Log.txt does not name u_Block.png"; exit 1; }
  echo "ok   the program ended at start with status $status, naming the file"
  exit 0
fi

case $kind in
  question) export KR_MESSAGEBOX_ANSWER=no ;;
  software) export KR_MESSAGEBOX_ANSWER=yes SDL_RENDER_DRIVER=software; unset KR_D3D ;;
esac
if [ "$kind" = readonly ] && [ "$readonly_way" = chmod ]; then chmod a-w "$run"; fi
if [ "$kind" = readonly ] && [ "$readonly_way" = mount ]; then
  unshare -m sh -c 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && cd "$1" && exec "$2"' - "$run" "$game" \
    > out.txt 2> "$dir/$kind.err" &
else
  "$game" > out.txt 2> "$dir/$kind.err" &
fi
pid=$!

if [ "$kind" = software ]; then
  # Full screen over the whole display: the title's red lines, scaled, somewhere on it.
  red=0
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || fail "the program ended early"
    red=$(xwd -root -silent | xwdtopnm 2>/dev/null | ppmhist -noheader 2>/dev/null |
          awk '$1 >= 240 && $2 <= 8 && $3 <= 8 { n += $5 } END { print n + 0 }')
    [ "$red" -gt 1000 ] && break
    sleep 0.3
  done
  [ -n "${KR_E2E_KEEP:-}" ] && xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$KR_E2E_KEEP/meeting-software.png" 2>/dev/null
  [ "$red" -gt 1000 ] || fail "the full-screen display shows no title ($red red pixels)"
  echo "ok   the title shows full screen on the software renderer ($red red pixels)"
else
  win=
  for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.1
  done
  [ -n "$win" ] || fail "the window never appeared"
  focused=
  for _ in $(seq 1 50); do
    win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
    [ -n "$win" ] && timeout 5 xdotool windowfocus --sync "$win" 2>/dev/null && { focused=1; break; }
    sleep 0.1
  done
  [ -n "$focused" ] || fail "the window could not take the focus"
  eval "$(xdotool getwindowgeometry --shell "$win")"
  wx=$X wy=$Y
  [ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "not a window: ${WIDTH}x$HEIGHT"
  # Held long enough for a frame of a sanitized build on a loaded machine to see it (the
  # menus act on a press once, however long it is held).
  key() { xdotool keydown "$1"; sleep 0.3; xdotool keyup "$1"; sleep 0.3; }
  screen() { "$check" screen "$dir/fb/Xvfb_screen0" "$wx" "$wy" "$assets" "$@"; }
  # until_seen <what> <seconds> <check...>
  until_seen() {
    local what=$1 seconds=$2
    shift 2
    screen - "$seconds" "$@" > look.out 2>&1 && { echo "seen: $what"; return 0; }
    cat look.out
    fail "never seen: $what"
  }
  # Red pixels of the save screen's first line (y 18), from the screen's dump.
  first_line_red() {
    xwdtopnm "$dir/fb/Xvfb_screen0" 2>/dev/null | pnmcut -left $((wx + 200)) -top $((wy + 18)) -width 440 -height 16 |
      ppmhist -noheader 2>/dev/null | awk '$1 >= 240 && $2 <= 8 && $3 <= 8 { n += $5 } END { print n + 0 }'
  }
  # The menus' lines, then the cursor's line.
  title=(lines 18,68,118,168 218)
  options=(lines 18,68,118,168,218 268)
  until_seen "the title" 60 "${title[@]}" 68
  # to_options <what>: from the title's first line to the options.
  to_options() {
    e2e_move Down "the title's second line" "${title[@]}" 118
    e2e_move Down "the title's third line" "${title[@]}" 168
    key z
    until_seen "$1" 20 "${options[@]}" 68
  }

  if [ "$kind" = question ]; then
    to_options "the options"
    # X: the reset question, shown though the start-up one was answered for the user.
    key x
    e2e_dialog リセットの確認 200 || fail "the reset question was never shown"
    sleep 0.5
    xdotool windowfocus --sync "$box" key Return  # "Yes", the default button
    timeout 5 xdotool windowfocus --sync "$win" 2>/dev/null
    sleep 0.5
    until_seen "the title after Yes" 20 "${title[@]}" 68
    to_options "the options again"
  else
    to_options "the options"
  fi
  if [ "$kind" = question ] || [ "$kind" = readonly ]; then
    e2e_move Down "the options' music line" "${options[@]}" 118
    e2e_move Down "the options' third line" "${options[@]}" 168
    e2e_move Down "the options' save line" "${options[@]}" 218
    key z
    until_seen "the save screen" 20 lines 18,118,168,218 68,268 218
    first_line_red > "$dir/$kind.saveline"
    echo "the save screen's first line: $(cat "$dir/$kind.saveline") red pixels"
    [ -n "${KR_E2E_KEEP:-}" ] && xwdtopnm "$dir/fb/Xvfb_screen0" 2>/dev/null | pnmtopng > "$KR_E2E_KEEP/meeting-save-$kind.png" 2>/dev/null
    key z
    until_seen "the options after the save" 20 lines 18,68,118,168,218 268 218
  fi
fi

xdotool keydown Escape
for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape
kill -0 "$pid" 2>/dev/null && fail "Escape did not end the program"
wait "$pid"
status=$?
[ $status -eq 0 ] || fail "the program ended with status $status"
INNER
chmod +x inner.sh

result=0
for kind in window question readonly missing software; do
  if [ "$kind" = readonly ] && [ "$readonly_way" = none ]; then
    echo "no way to make a read-only folder here: the readonly run skipped"
    continue
  fi
  rm -rf "${dir:?}/$kind"
  KR_XVFB_SCREEN=1024x768x24 KR_XVFB_ARGS="-fbdir $dir/fb" game=$game check=$check assets=$assets \
    dir=$dir suppressions=$suppressions readonly_way=$readonly_way \
    "$root/scripts/onvirtualdisplay.sh" ./inner.sh "$dir/$kind" "$kind" > "$kind.out" 2>&1
  s=$?
  cat "$kind.out"
  grep -q "running on the virtual display" "$kind.out" || { echo "no X server could start: skipped"; exit 77; }
  [ $s -eq 0 ] || { echo "FAIL the $kind run"; result=1; continue; }
  echo "ok   the $kind run"
done
[ $result -eq 0 ] || exit 1

# The terminal of the run without an answer: the virtual display's line, and nothing of the
# log or of a library (the sanitizer's own lines aside).
err=$(grep -v '^==\|^$' window.err)
grep -qF 'On a virtual display nobody sees the start-up question "スクリーン設定": answered No' <<<"$err" ||
  { echo "FAIL the window run did not say it starts in a window:"; echo "$err"; exit 1; }
extra=$(grep -vF 'On a virtual display nobody sees the start-up question' <<<"$err")
[ -z "$extra" ] || { echo "FAIL the terminal shows more than the user needs:"; echo "$extra"; exit 1; }
echo "ok   the terminal shows only the line about the window"

if [ -f readonly.saveline ]; then
  saved=$(cat question.saveline) failed=$(cat readonly.saveline)
  [ "$failed" -gt $((saved + saved / 5)) ] ||
    { echo "FAIL the read-only save screen's first line ($failed) is not the longer failure line ($saved)"; exit 1; }
  grep -qF "Saving HiScore.dat failed (Read-only file system)" readonly.err ||
    grep -qF "Saving HiScore.dat failed (Permission denied)" readonly.err ||
    { echo "FAIL the terminal does not say why the save failed:"; cat readonly.err; exit 1; }
  [ ! -e readonly/HiScore.dat ] || { echo "FAIL a HiScore.dat appeared in the read-only folder"; exit 1; }
  echo "ok   the read-only save shows its failure and says why"
fi
exit 0
