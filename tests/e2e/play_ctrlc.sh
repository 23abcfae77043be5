#!/usr/bin/env bash
# The program the way the README runs it without a desktop (./play.sh --xvfb, which hands
# it to scripts/onvirtualdisplay.sh), with the start-up question put as on a display someone
# watches (KR_VIRTUAL_DISPLAY=0): it shows readable on the bare virtual display (a screenshot, kept as question.png in the directory KR_E2E_KEEP names,
# if any), "Yes" gives a window over the whole display though no window manager runs, and
# a Ctrl+C, sent to the process group as a terminal sends it, ends the program with its
# end lines and an empty leak report before the display goes.
#   play_ctrlc.sh <game executable> <assets directory>
set -u
game=$(realpath "$1")
assets=$(realpath "$2")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb xdotool xprop xwd xwdtopnm pnmtopng ppmhist iconv ps
e2e_workdir ctrlc
cp "$assets"/* .
export KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_XVFB_SCREEN=1024x768x24
unset KR_MESSAGEBOX_ANSWER DISPLAY WAYLAND_DISPLAY
export KR_VIRTUAL_DISPLAY=0

# Job control: the run gets a process group of its own, as a shell gives a command it
# starts from a terminal; its id is the group's.
set -m
"$root/scripts/onvirtualdisplay.sh" "$game" > run.out 2>&1 &
group=$!
set +m
running() { kill -0 "$group" 2>/dev/null; }
finish() {  # ends what is left of the run and says why the test failed
  echo "$1"; cat run.out
  running && kill -TERM -- -"$group" 2>/dev/null
  wait "$group" 2>/dev/null
  exit 1
}

# The display the run made, then the question on it.
display=
for _ in $(seq 1 300); do
  display=$(sed -n 's/.*on the virtual display \(:[0-9]*\).*/\1/p' run.out)
  [ -n "$display" ] && break
  running || { wait "$group"; echo "no virtual display (exit $?): skipped"; cat run.out; exit 77; }
  sleep 0.1
done
[ -n "$display" ] || finish "the virtual display never came"
export DISPLAY=$display
if ! e2e_dialog スクリーン設定 300; then
  running || finish "the run ended before the question appeared"
  finish "the start-up question never appeared"
fi
sleep 0.5  # drawn once mapped
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > question.png 2>/dev/null
[ -n "${KR_E2E_KEEP:-}" ] && cp question.png "$KR_E2E_KEEP/"
# Readable: the box's text colour covers a good many pixels (the kana, kanji and the
# button labels); a font set without them draws next to none.
text=$(xwd -id "$box" -silent | xwdtopnm 2>/dev/null | ppmhist -noheader 2>/dev/null |
       awk '$1 == 209 && $2 == 207 && $3 == 205 { print $5 }')
if [ "${text:-0}" -lt 400 ]; then finish "the question shows ${text:-0} pixels of text"; fi

# "Yes" (the default button): full screen, over the whole display without a window manager.
xdotool windowfocus --sync "$box" key Return
e2e_window "$group" > why.out || finish "$(cat why.out)"
# The window found first can be gone by now (SDL may replace its X window while it sets
# the window up): it is looked up again for each try.
geometry=
for _ in $(seq 1 50); do
  win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
  geometry=$(xdotool getwindowgeometry --shell "$win" 2>/dev/null | tr '\n' ' ')
  [[ $geometry == *"X=0 Y=0 WIDTH=1024 HEIGHT=768"* ]] && break
  sleep 0.1
done
[[ $geometry == *"X=0 Y=0 WIDTH=1024 HEIGHT=768"* ]] ||
  finish "the full-screen window does not cover the display: $geometry"

# Ctrl+C at the terminal: SIGINT to the whole process group. The server is known by its
# process (the script's child), not its display number: another run may take that number
# as soon as this one's display has gone.
server=$(ps -o pid= -o comm= --ppid "$group" | awk '$2 == "Xvfb" { print $1 }')
[ -n "$server" ] || finish "the virtual display's server is not the script's child"
kill -INT -- -"$group"
for _ in $(seq 1 300); do running || break; sleep 0.1; done
running && finish "Ctrl+C did not end the run"
wait "$group"
status=$?
[ $status -eq 0 ] || finish "the run ended with status $status"
kill -0 "$server" 2>/dev/null && finish "the virtual display outlived the run"

log=$(iconv -f CP932 -t UTF-8 Log.txt) || finish "no readable Log.txt"
for want in "フルスクリーンモード用のウインドウを作成します" "ウインドウを閉じようとしています" \
    "ＣＯＭを終了... 完了" "Alloc memory dump" "Total size:0(0.000kb)  Alloc num:0"; do
  grep -qF "$want" <<<"$log" || { printf '%s\n' "$log"; finish "Log.txt lacks: $want"; }
done
