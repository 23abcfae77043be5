#!/usr/bin/env bash
# A game's frame (tests/e2e/draw_screen.cpp) on a real X display (Xvfb), three runs, each on
# a display of its own: a window, full screen, and a window in the mode without DirectDraw.
# Each run draws 640 x 480, then, on this script's cue, changes the mode to 800 x 600 and
# draws again; the full-screen run then loses and regains the focus and draws again. At
# every stage the screen must show the picture the display store holds (a window exactly,
# full screen scaled within what 5:6:5 loses) and the colours the layout asks for. Log.txt
# must hold no fatal line, the mode change's end, the graphs' restore after the loss, and
# an empty leak report. The screenshots are kept as PNG files in the directory KR_E2E_KEEP
# names, if any.
#   draw_screen.sh <draw_screen executable>
set -u
program=$(realpath "$1")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb iconv
e2e_workdir draw_screen
unset KR_MESSAGEBOX_ANSWER

# Runs on the virtual display: starts the program, and at each stage it reports, checks
# the screen (retried while the window maps and uploads) and gives the cue.
cat > inner.sh <<'INNER'
#!/usr/bin/env bash
set -u
program=$1 run=$2 kind=$3 stages=$4
cd "$run"
"$program" run "$kind" "$run" > run.out 2>&1 &
pid=$!
for n in $(seq 0 $((stages - 1))); do
  for _ in $(seq 1 600); do
    [ -f "stage-$n.txt" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -f "stage-$n.txt" ]; then
    kill "$pid" 2>/dev/null; wait "$pid"; cat run.out; echo "$kind: stage $n was never drawn"; exit 1
  fi
  status=1
  for _ in $(seq 1 40); do
    "$program" check "$run" "$n" "$run/fb/Xvfb_screen0" "$run/screen-$n.png" > "check-$n.out" 2>&1
    status=$?
    [ $status -eq 1 ] || break
    sleep 0.5
  done
  if [ $status -ne 0 ]; then
    kill "$pid" 2>/dev/null; wait "$pid"; cat run.out "check-$n.out"; echo "$kind: stage $n is not shown"; exit 1
  fi
  echo "$kind: stage $n shown"
  touch "go-$n"
done
wait "$pid"
status=$?
[ $status -eq 0 ] || { cat run.out; echo "$kind: the program ended with status $status"; }
exit $status
INNER
chmod +x inner.sh

# Log.txt of a run: no fatal line, the mode change's end, the restore (when asked) and an
# empty leak report.
check_log() {
  local log
  log=$(iconv -f CP932 -t UTF-8 "$1/Log.txt") || { echo "$1: no readable Log.txt"; return 1; }
  local fail=
  # A graph made while the surfaces are lost fails and is restored with the rest: a full
  # screen start on a slow build can lose the focus once before its sheet has loaded. The
  # screenshots show whether the graphs came back, so that one line is not fatal here.
  if grep -E "失敗しました|エラーが発生しました|予期せぬ|終了します" <<<"$log" |
      grep -vF "グラフィックの作成に失敗しました"; then
    echo "$1: a fatal line"; fail=1
  fi
  grep -qF "画面モード変更処理は正常に終了しました" <<<"$log" || { echo "$1: no end of the mode change"; fail=1; }
  if [ "$2" = restore ] && ! grep -qF "グラフィックを復帰します" <<<"$log"; then
    echo "$1: the graphs were not restored after the loss"; fail=1
  fi
  grep -qF "Total size:0(0.000kb)  Alloc num:0" <<<"$log" || { echo "$1: the leak report is not empty"; fail=1; }
  [ -z "$fail" ] && return 0
  printf '%s\n' "$log" | tail -n 30
  return 1
}

for kind in window fullscreen gdi; do
  stages=2 restore=
  [ "$kind" = fullscreen ] && stages=3 restore=restore
  mkdir -p "$kind/fb"
  e2e_on_display "$kind.out" 1024x768x24 "$dir/$kind/fb" ./inner.sh "$program" "$dir/$kind" "$kind" "$stages"
  status=$?
  if grep -q "the engine did not start" "$kind/run.out" 2>/dev/null; then
    cat "$kind.out"; echo "the engine cannot start: skipped"; exit 77
  fi
  if [ -n "${KR_E2E_KEEP:-}" ]; then
    for png in "$kind"/screen-*.png; do
      [ -f "$png" ] && cp "$png" "$KR_E2E_KEEP/graphics-e2e-$kind-${png##*/screen-}"
    done
  fi
  [ $status -eq 0 ] || { cat "$kind.out"; echo "$kind: failed ($status)"; exit 1; }
  check_log "$kind" "$restore" || exit 1
  grep -a -E "^(screen |stage [0-9] drawn|focus )" "$kind/run.out" | sed "s/^/$kind: /"
  grep -v "running on the virtual display" "$kind.out"
done
echo "every run shows its pictures"
