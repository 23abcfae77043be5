#!/usr/bin/env bash
# A round of the game on a real X display (Xvfb), played with keys typed through the X
# server, heard through SDL's disk audio driver: the title, the options with music switched
# off and saved, normal mode for one player, the field, pause, a bomb that bursts while the
# player is still invulnerable, then a second bomb the player stays on, the fall and the
# between-stages screen, and Escape. Then HiScore.dat, Log.txt and the disk audio against
# the times the script logged. A second short run in a fresh folder, music on, hears the
# stage music through the first seconds of a round. The stage is random (the clock is
# real), so the screens are checked for what every stage shows (play_round.cpp).
# Screenshots go to the directory KR_E2E_KEEP names, if any.
#   play_round.sh <game executable> <play_round_check executable> <assets directory>
set -u
game=$(realpath "$1")
check=$(realpath "$2")
assets=$(realpath "$3")
root=$(realpath "$(dirname "$0")/../..")
suppressions=$root/scripts/lsan.supp
for tool in Xvfb xdotool iconv od; do
  command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
done

dir=$(mktemp -d /tmp/kr_round_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -m 700 runtime
mkdir fb
export XDG_RUNTIME_DIR="$dir/runtime"

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
# inner.sh <run folder> <full|short>: one run of the game in a fresh folder.
set -u
run=$1 kind=$2
mkdir -p "$run"
cp "$assets"/* "$run"/
cd "$run"
# The software renderer: the screens are compared with the sprite sheets' own pixels, as it
# copies them, and a sanitized build draws its frames quickly enough there for keys held
# 100 ms; on the soft Direct3D device some of those keys went by between frames.
export KR_PLATFORM=sdl SDL_VIDEODRIVER=x11 KR_MESSAGEBOX_ANSWER=no KR_D3D=0
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$run/audio.raw KR_ROUND_AUDIO=$run/audio.raw
export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$suppressions:print_suppressions=0
"$game" > game.out 2>&1 &
pid=$!
fail() { echo "FAIL $*"; xdotool keyup Escape 2>/dev/null; kill "$pid" 2>/dev/null; wait "$pid"; exit 1; }

# The window, and where its client area lies on the screen (no window manager: the X
# window is the client area).
win=
for _ in $(seq 1 300); do
  win=$(xdotool search --onlyvisible --name '^Kestr$' 2>/dev/null | tail -n 1)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || { cat game.out; fail "the program ended before its window appeared"; }
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

# Seconds of the disk file written so far: the audio's own clock.
now() { awk -v b="$(stat -c %s audio.raw 2>/dev/null || echo 0)" 'BEGIN { printf "%.3f", b / 176400 }'; }
event() { echo "$1 $(now)" >> events.txt; echo "event $1 at $(now) s"; }
key() { xdotool keydown "$1"; sleep 0.1; xdotool keyup "$1"; sleep 0.15; }
# screen <png or -> <seconds> <check...>: looks at the window until the check holds.
screen() { "$check" screen "$dir/fb/Xvfb_screen0" "$wx" "$wy" "$assets" "$@"; }
# until_seen <what> <seconds> <png or -> <check...>
until_seen() {
  local what=$1 seconds=$2 png=$3
  shift 3
  screen "$png" "$seconds" "$@" > look.out 2>&1 && { echo "seen: $what"; return 0; }
  cat look.out
  fail "never seen: $what"
}
keep() { [ -n "${KR_E2E_KEEP:-}" ] && echo "$KR_E2E_KEEP/game-e2e-$1.png" || echo -; }

title=(lines 18,68,118,168 218 68)
until_seen "the title" 60 "$(keep title-$kind)" "${title[@]}"
event title

if [ "$kind" = full ]; then
  # Options: music off, saved; a key brings the options back; "戻る" to the title.
  key Down; key Down; key z
  until_seen "the options" 20 - lines 18,68,118,168,218 268 68
  key Down; key z
  event musicoff
  key Down; key Down; key z
  until_seen "the save screen" 20 "$(keep save)" lines 18,118,168,218 68,268 218
  key z
  until_seen "the options again" 20 - lines 18,68,118,168,218 268 218
  key Up; key Up; key Up; key z
  until_seen "the title again" 20 - "${title[@]}"
fi

# Normal mode, one player.
key z
until_seen "the stage select" 20 - lines 18,68,118,168,218,268 318 118
key Down; key z
until_seen "the field" 30 "$(keep field)" field
# The stage music starts with the round while music is on (the short run's).
[ "$kind" = short ] && { event round; sleep 3.5; }

if [ "$kind" = full ]; then
  # Pause at once (paused frames do not count), then a bomb at once: it must burst within
  # the player's 500 invulnerable frames, and the looks take time.
  key s
  until_seen "the pause line" 10 "$(keep pause)" pause 1
  key s
  until_seen "the pause line gone" 10 - pause 0
  event lay1
  key z
  # The player blinks while invulnerable: it shows in one of several looks.
  until_seen "the player at (112, 112)" 20 "$(keep player)" player
  until_seen "the first bomb's flames" 20 "$(keep flames)" flames 0.1
  echo "burst1 $(awk '/^first flames at/ { print $4 }' look.out)" >> events.txt
  # Invulnerable no more: the sprite shows in six looks in a row (a blinking one shows on
  # every third frame only).
  steady=0 end=$((SECONDS + 90))
  while [ $steady -lt 6 ] && [ $SECONDS -lt $end ]; do
    if screen - 0 player > look.out 2>&1; then steady=$((steady + 1)); else steady=0; fi
    sleep 0.13
  done
  [ $steady -ge 6 ] || fail "the player kept blinking"
  event lay2
  key z
  # The first flame on (1, 1) or a neighbour marks the burst (the falling player soon
  # hides (1, 1)), and the player falls in it, at the same moment.
  until_seen "the second bomb's burst" 20 "$(keep flames2)" flames 0.1 any
  burst=$(awk '/^first flames at/ { print $4 }' look.out)
  echo "burst2 $burst" >> events.txt
  echo "fall $burst" >> events.txt
  until_seen "the between-stages screen" 30 "$(keep between)" lines 18,68,118,168,218 268 118
fi

# A held Escape ends the program.
xdotool keydown Escape
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape
if kill -0 "$pid" 2>/dev/null; then fail "Escape did not end the program"; fi
wait "$pid"
status=$?
[ $status -eq 0 ] || { cat game.out; echo "FAIL the program ended with status $status"; exit 1; }
INNER
chmod +x inner.sh

status=0
# The stage is random and its enemies walk and shoot: now and then one reaches the player
# before the script is through (or the machine is so slow that the first bomb bursts after
# the player's invulnerable frames). Such a run is played again in a fresh folder, up to
# three times in all; the checks after a run that got through are never retried.
for kind in full short; do
  for attempt in 1 2 3; do
    rm -rf "${dir:?}/$kind"
    KR_XVFB_SCREEN=1024x768x24 KR_XVFB_ARGS="-fbdir $dir/fb" game=$game check=$check assets=$assets \
      dir=$dir suppressions=$suppressions "$root/scripts/onvirtualdisplay.sh" ./inner.sh "$dir/$kind" "$kind" \
      > "$kind.out" 2>&1
    s=$?
    cat "$kind.out"
    if ! grep -q "running on the virtual display" "$kind.out"; then echo "no X server could start: skipped"; exit 77; fi
    [ $s -eq 0 ] && break
    echo "the $kind run failed (attempt $attempt)"
  done
  [ $s -eq 0 ] || exit 1

  log=$(iconv -f CP932 -t UTF-8 "$kind/Log.txt") || { echo "FAIL no readable Log.txt"; exit 1; }
  for bad in "右記のグラフィックファイルのロードに失敗しました" "右記の音声ファイルのロードに失敗しました"; do
    if grep -qF "$bad" <<<"$log"; then echo "FAIL Log.txt has: $bad"; status=1; fi
  done
  for want in "DirectSound デバイスを列挙します" "利用可能サンプリング精度"; do
    grep -qF "$want" <<<"$log" || { echo "FAIL Log.txt lacks: $want"; status=1; }
  done
  if ! tail -n 3 <<<"$log" | grep -qF "Total size:0(0.000kb)  Alloc num:0"; then
    echo "FAIL Log.txt does not end with an empty leak report:"; tail -n 5 <<<"$log"; status=1
  fi
  "$check" audio "$kind/audio.raw" "$kind/events.txt" || status=1
  [ -n "${KR_E2E_KEEP:-}" ] && cp "$kind/audio.raw" "$kind/events.txt" "$KR_E2E_KEEP/" 2>/dev/null
  [ -n "${KR_E2E_KEEP:-}" ] && mv "$KR_E2E_KEEP/audio.raw" "$KR_E2E_KEEP/audio-$kind.raw" && mv "$KR_E2E_KEEP/events.txt" "$KR_E2E_KEEP/events-$kind.txt"
done

# Music off was saved; nothing else changed: hi score 50, reach 1, music 0, effects 1.
bytes=$(od -An -v -tu4 "$dir/full/HiScore.dat" | xargs)
if [ "$bytes" = "50 1 0 1" ]; then echo "ok   HiScore.dat: $bytes"; else echo "FAIL HiScore.dat: $bytes"; status=1; fi
exit $status
