#!/usr/bin/env bash
# The program on the headless back end (no display at all) ends on a TERM signal the way
# it ends when its window is closed: status 0, and Log.txt holds the end lines and an
# empty leak report.
#   headless_term.sh <game executable> <assets directory>
set -u
game=$(realpath "$1")
assets=$(realpath "$2")
. "$(dirname "$0")/lib.sh"
e2e_need iconv
e2e_workdir term
cp "$assets"/* .
export KR_PLATFORM=headless KR_MESSAGEBOX_ANSWER=no
unset DISPLAY WAYLAND_DISPLAY

"$game" > game.out 2>&1 &
pid=$!
# The window, which the signal closes, exists once input is up.
started=
for _ in $(seq 1 300); do
  if iconv -f CP932 -t UTF-8 Log.txt 2>/dev/null | grep -qF "DirectInput 関連の初期化は正常に終了しました"; then
    started=1
    break
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$started" ]; then
  echo "the program did not get started"; cat game.out; kill "$pid" 2>/dev/null; exit 1
fi

kill -TERM "$pid"
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "TERM did not end the program"; kill -KILL "$pid"; exit 1; fi
wait "$pid"
status=$?
[ $status -eq 0 ] || { echo "the program ended with status $status"; cat game.out; exit 1; }

log=$(iconv -f CP932 -t UTF-8 Log.txt) || { echo "no readable Log.txt"; exit 1; }
for want in "ウインドウを閉じようとしています" "ソフトを終了する準備が整いました" "ＣＯＭを終了... 完了" \
    "Alloc memory dump" "Total size:0(0.000kb)  Alloc num:0"; do
  grep -qF "$want" <<<"$log" || { echo "Log.txt lacks: $want"; printf '%s\n' "$log"; exit 1; }
done
