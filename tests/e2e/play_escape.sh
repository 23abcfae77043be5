#!/usr/bin/env bash
# The program ./play.sh starts, on a real X display (Xvfb): it opens its window, a held
# Escape typed into that window (through the X server) is seen by IsKeyDown and ends the
# program with status 0 (under ASan: no leak outside the system libraries listed in
# scripts/lsan.supp), and Log.txt holds the start, the end and an empty leak report.
#   play_escape.sh <game executable> <assets directory>
set -u
game=$(realpath "$1")
assets=$(realpath "$2")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb xdotool iconv
e2e_workdir play
cp "$assets"/* .

# No display at all: a clear word and a failure within seconds, not a program nobody sees,
# nor a start-up question nobody can see (no word of it on the terminal either).
if env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u KR_MESSAGEBOX_ANSWER KR_PLATFORM=sdl \
    ASAN_OPTIONS=detect_leaks=0 timeout 60 "$game" > nodisplay.out 2>&1; then
  echo "started without a display"; cat nodisplay.out; exit 1
fi
if ! grep -q "No display could be opened" nodisplay.out || grep -q "question" nodisplay.out; then
  echo "not a word about the missing display alone:"; cat nodisplay.out; exit 1
fi
rm -f Log.txt

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
set -u
game=$1
. "$E2E_LIB"
export KR_MESSAGEBOX_ANSWER=no
"$game" > game.out 2>&1 &
pid=$!
e2e_window "$pid" || { wait "$pid"; echo "exit $?:"; cat game.out; e2e_log_tail .; exit 1; }
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
e2e_escape_ends "$pid" || { status=$?; echo "the program ended with status $status"; e2e_log_tail .; exit 1; }
INNER
chmod +x inner.sh

if ! e2e_on_display run.out 1024x768x24 - ./inner.sh "$game"; then
  cat run.out game.out 2>/dev/null
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
