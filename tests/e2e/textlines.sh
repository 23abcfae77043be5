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
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb xdotool iconv
e2e_workdir "$name"
mkdir headless window fb
unset KR_MESSAGEBOX_ANSWER

(cd headless && KR_PLATFORM=headless SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  "$program" headless "$dir/frame.bin" > run.out 2>&1)
status=$?
[ $status -eq 77 ] && { cat headless/run.out; echo "the engine cannot start: skipped"; exit 77; }
[ $status -eq 0 ] || { cat headless/run.out; echo "headless run: failed ($status)"; exit 1; }
e2e_log_ends_clean headless || exit 1

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
set -u
program=$1 dir=$2
. "$E2E_LIB"
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
e2e_escape_ends "$pid"
status=$?
[ $status -eq 0 ] || { cat run.out; echo "the program ended with status $status"; }
exit $status
INNER
chmod +x inner.sh

e2e_on_display run.out 1024x768x24 "$dir/fb" ./inner.sh "$program" "$dir"
status=$?
if [ -n "${KR_E2E_KEEP:-}" ]; then
  cp "$dir/frame.bin.png" "$KR_E2E_KEEP/$name-headless.png" 2>/dev/null
  cp "$dir/screenshot.png" "$KR_E2E_KEEP/$name-window.png" 2>/dev/null
fi
[ $status -eq 0 ] || { cat run.out; echo "window run: failed ($status)"; exit 1; }
e2e_log_ends_clean window || exit 1
echo "the window shows the headless frame; Escape ended it"
