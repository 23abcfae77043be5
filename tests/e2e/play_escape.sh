#!/usr/bin/env bash
# The program ./play.sh starts, on a real X display (Xvfb): it opens its window, a held
# Escape typed into that window (through the X server) is seen by IsKeyDown and ends the
# program with status 0 (under ASan: no leak outside the system libraries listed in
# scripts/lsan.supp), and Log.txt holds the start, the end and an empty leak report.
#   play_escape.sh <game executable> <assets directory>
set -u
game=$(realpath "$1")
assets=$(realpath "$2")
root=$(realpath "$(dirname "$0")/../..")
suppressions=$root/scripts/lsan.supp
for tool in Xvfb xdotool iconv; do
  command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
done

dir=$(mktemp -d /tmp/kr_play_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
cp "$assets"/* .
# A runtime directory of its own: a copy of the game the user runs elsewhere keeps its
# class locks out of the test's way.
mkdir -m 700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime"

# No display at all: a clear word and a failure within seconds, not a program nobody sees.
if env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER KR_PLATFORM=sdl KR_MESSAGEBOX_ANSWER=no \
    ASAN_OPTIONS=detect_leaks=0 timeout 60 "$game" > nodisplay.out 2>&1; then
  echo "started without a display"; cat nodisplay.out; exit 1
fi
if ! grep -q "No display could be opened" nodisplay.out; then
  echo "no word about the missing display:"; cat nodisplay.out; exit 1
fi
rm -f Log.txt

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
set -u
game=$1 suppressions=$2
# The real window and input back ends, whatever the test run chose for the unit tests.
export KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_MESSAGEBOX_ANSWER=no
# Leaks are checked at exit like everywhere else; only system libraries' own are let go.
export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$suppressions:print_suppressions=0
"$game" > game.out 2>&1 &
pid=$!
# Waits for the window while the program runs: one that ended says why at once.
win=
for _ in $(seq 1 300); do
  win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"; echo "the program ended (exit $?) before its window appeared:"; cat game.out; exit 1
  fi
  sleep 0.1
done
if [ -z "$win" ]; then echo "the window never appeared"; kill "$pid"; exit 1; fi
# A second copy on the same display is refused and leaves the first copy's log as it was.
cp Log.txt log.before
if "$game" > second.out 2>&1; then echo "a second copy started"; kill "$pid"; exit 1; fi
if ! grep -qF "A copy of this program is already running on this display" second.out; then
  echo "the refused copy did not say why:"; cat second.out; kill "$pid"; exit 1
fi
if ! head -c "$(stat -c %s log.before)" Log.txt | cmp -s - log.before; then
  echo "the refused copy changed the running copy's Log.txt"; kill "$pid"; exit 1
fi
# Still running on its own a moment later: it is the key that ends it.
sleep 0.5
if ! kill -0 "$pid" 2>/dev/null; then echo "the program ended before any key"; exit 1; fi
# The window found first can be gone by now (SDL may replace its X window while it sets
# the window up): look it up again for each try, and never wait on a focus for long.
pressed=
for _ in $(seq 1 50); do
  win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
  if [ -n "$win" ] && timeout 5 xdotool windowfocus --sync "$win" keydown Escape 2>/dev/null; then
    pressed=1
    break
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$pressed" ]; then echo "Escape could not be typed into the window"; kill "$pid"; exit 1; fi
# Held until the program has seen it (it samples once per frame), then let go.
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape 2>/dev/null
if kill -0 "$pid" 2>/dev/null; then echo "Escape did not end the program"; kill "$pid"; exit 1; fi
wait "$pid" || { status=$?; echo "the program ended with status $status"; exit $status; }
INNER
chmod +x inner.sh

if ! KR_XVFB_SCREEN=1024x768x24 "$root/scripts/onvirtualdisplay.sh" ./inner.sh "$game" "$suppressions" \
    > run.out 2>&1; then
  cat run.out game.out 2>/dev/null
  [ -f game.out ] || { echo "no X server could start: skipped"; exit 77; }
  exit 1
fi

log=$(iconv -f CP932 -t UTF-8 Log.txt) || { echo "no readable Log.txt"; exit 1; }
status=0
for want in "ＣＯＭの初期化... 成功しました" "DirectInput 関連の初期化は正常に終了しました" \
    "ＣＯＭを終了... 完了" "Alloc memory dump" "Total size:0(0.000kb)  Alloc num:0"; do
  if ! grep -qF "$want" <<<"$log"; then echo "Log.txt lacks: $want"; status=1; fi
done
[ $status -eq 0 ] || printf '%s\n' "$log"
exit $status
