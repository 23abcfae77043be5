#!/usr/bin/env bash
# Lines of Japanese text (tests/e2e/textlines.cpp) on a real X display (Xvfb): the program
# runs once on the headless back ends, which keep its frame, and once on the SDL back ends,
# where the screenshot of its window, reduced to 5:6:5, must equal that frame on the client
# area; an Escape typed into the window ends it. Both runs leave an empty leak report in
# Log.txt. The frame and the screenshot are kept as PNG files in the directory KR_E2E_KEEP
# names, if any.
#   textlines.sh <textlines executable> [name]
# The name (textlines by default) is the one of the kept PNG files, so that another frame
# program (tests/support/framematch.h) runs through this script under its own name.
set -u
program=$(realpath "$1")
name=${2:-textlines}
root=$(realpath "$(dirname "$0")/../..")
suppressions=$root/scripts/lsan.supp
for tool in Xvfb xdotool iconv; do
  command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
done
dir=$(mktemp -d "/tmp/kr_${name}_XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime
mkdir headless window fb
export XDG_RUNTIME_DIR="$dir/runtime"
export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$suppressions:print_suppressions=0
unset KR_MESSAGEBOX_ANSWER

# The leak report of a run's Log.txt is empty.
clean_log() {
  local log
  log=$(iconv -f CP932 -t UTF-8 "$1/Log.txt") || { echo "$1: no readable Log.txt"; return 1; }
  grep -qF "Total size:0(0.000kb)  Alloc num:0" <<<"$log" && return 0
  echo "$1: the leak report is not empty:"; printf '%s\n' "$log" | tail -n 20
  return 1
}

(cd headless && KR_PLATFORM=headless SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  "$program" headless "$dir/frame.bin" > run.out 2>&1)
status=$?
[ $status -eq 77 ] && { cat headless/run.out; echo "the engine cannot start: skipped"; exit 77; }
[ $status -eq 0 ] || { cat headless/run.out; echo "headless run: failed ($status)"; exit 1; }
clean_log headless || exit 1

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
set -u
program=$1 dir=$2
cd "$dir/window"
"$program" window "$dir/frame.bin" "$dir/fb/Xvfb_screen0" "$dir/screenshot.png" > run.out 2>&1 &
pid=$!
# The program says when its window shows the headless frame, or ends when it never does.
for _ in $(seq 1 400); do
  grep -q "matches the headless frame" run.out && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "matches the headless frame" run.out; then
  kill "$pid" 2>/dev/null; wait "$pid"; echo "the window never showed the headless frame:"; cat run.out; exit 1
fi
# Escape, typed into the window and held until the program has seen it.
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
[ -n "$pressed" ] || { kill "$pid" 2>/dev/null; echo "Escape could not be typed into the window"; exit 1; }
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape 2>/dev/null
if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "Escape did not end the program"; exit 1; fi
wait "$pid"
status=$?
[ $status -eq 0 ] || { cat run.out; echo "the program ended with status $status"; }
exit $status
INNER
chmod +x inner.sh

KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy KR_XVFB_SCREEN=1024x768x24 KR_XVFB_ARGS="-fbdir $dir/fb" \
  "$root/scripts/onvirtualdisplay.sh" ./inner.sh "$program" "$dir" > run.out 2>&1
status=$?
if ! grep -q "running on the virtual display" run.out; then
  cat run.out; echo "no X server could start: skipped"; exit 77
fi
if [ -n "${KR_E2E_KEEP:-}" ]; then
  cp "$dir/frame.bin.png" "$KR_E2E_KEEP/$name-headless.png" 2>/dev/null
  cp "$dir/screenshot.png" "$KR_E2E_KEEP/$name-window.png" 2>/dev/null
fi
[ $status -eq 0 ] || { cat run.out; echo "window run: failed ($status)"; exit 1; }
clean_log window || exit 1
echo "the window shows the headless frame; Escape ended it"
