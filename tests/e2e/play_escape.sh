#!/usr/bin/env bash
# The program ./play.sh starts, on a real X display (Xvfb): it opens its window, a held
# Escape typed into that window (through the X server) is seen by IsKeyDown and ends the
# program with status 0 (under ASan: no leak outside the system libraries listed in
# scripts/lsan.supp), and Log.txt holds the start, the end and an empty leak report.
#   play_escape.sh <game executable>
set -u
game=$(realpath "$1")
suppressions=$(realpath "$(dirname "$0")/../../scripts/lsan.supp")
for tool in xvfb-run xdotool iconv; do
  command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
done

dir=$(mktemp -d /tmp/kr_play_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

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
win=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kestr$' | head -n 1)
if [ -z "$win" ]; then echo "the window never appeared"; kill "$pid"; exit 1; fi
# Still running on its own a moment later: it is the key that ends it.
sleep 0.5
if ! kill -0 "$pid" 2>/dev/null; then echo "the program ended before any key"; exit 1; fi
xdotool windowfocus --sync "$win" keydown Escape
# Held until the program has seen it (it samples once per frame), then let go.
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape 2>/dev/null
if kill -0 "$pid" 2>/dev/null; then echo "Escape did not end the program"; kill "$pid"; exit 1; fi
wait "$pid" || { status=$?; echo "the program ended with status $status"; exit $status; }
INNER
chmod +x inner.sh

if ! xvfb-run -a -s "-screen 0 1024x768x24" ./inner.sh "$game" "$suppressions" > run.out 2>&1; then
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
