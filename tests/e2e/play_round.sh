#!/usr/bin/env bash
# A round of the game on a real X display (Xvfb), played with keys typed through the X
# server, heard through SDL's disk audio driver: the title, the options with music switched
# off and saved, normal mode for one player, the field, pause, a bomb that bursts while the
# player is still invulnerable, then a second bomb the player stays on, the fall and the
# between-stages screen, and Escape. Then HiScore.dat, Log.txt and the disk audio against
# the times the script logged. A second short run in a fresh folder, music on, hears the
# stage music through the first seconds of a round. Both runs start their random numbers
# from the same seed (KR_SEED), so the stage, its enemies' walks and who lays first are
# the same every run; the screens are checked for what every stage shows
# (play_round.cpp) all the same.
# Screenshots go to the directory KR_E2E_KEEP names, if any.
#   play_round.sh <game executable> <play_round_check executable> <assets directory>
set -u
game=$(realpath "$1")
check=$(realpath "$2")
assets=$(realpath "$3")
. "$(dirname "$0")/lib.sh"
e2e_need Xvfb xdotool iconv od
e2e_workdir round
mkdir fb
# A stage whose enemies keep off the player's corner while the script plays.
export KR_SEED=${KR_ROUND_SEED:-1}

cat > inner.sh <<'INNER'
#!/usr/bin/env bash
# inner.sh <run folder> <full|short>: one run of the game in a fresh folder.
set -u
run=$1 kind=$2
. "$E2E_LIB"
mkdir -p "$run"
cp "$assets"/* "$run"/
cd "$run"
export KR_MESSAGEBOX_ANSWER=no SDL_DISKAUDIOFILE=$run/audio.raw KR_ROUND_AUDIO=$run/audio.raw
"$game" > game.out 2>&1 &
pid=$!
fail() { echo "FAIL $*"; xdotool keyup Escape 2>/dev/null; kill "$pid" 2>/dev/null; wait "$pid"; exit 1; }

# The window with the focus, and where its client area lies on the screen (no window
# manager: the X window is the client area).
e2e_window "$pid" > why.out || { cat game.out; fail "$(cat why.out)"; }
e2e_focus "$pid" > why.out || fail "$(cat why.out)"
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
# What takes the game a number of frames (a bomb's fuse: 150) takes a loaded machine's
# slow game many times as long: those waits end when seen, so they may be long.
slow=120

# The menus' lines, then the cursor's line.
title=(lines 18,68,118,168 218)
options=(lines 18,68,118,168,218 268)
until_seen "the title" 60 "$(keep title-$kind)" "${title[@]}" 68
event title

if [ "$kind" = full ]; then
  # Options: music off, saved; a key brings the options back; "戻る" to the title.
  e2e_move Down "the title's second line" "${title[@]}" 118
  e2e_move Down "the title's third line" "${title[@]}" 168
  key z
  until_seen "the options" 20 - "${options[@]}" 68
  e2e_move Down "the options' music line" "${options[@]}" 118
  key z
  event musicoff
  e2e_move Down "the options' third line" "${options[@]}" 168
  e2e_move Down "the options' save line" "${options[@]}" 218
  key z
  until_seen "the save screen" 20 "$(keep save)" lines 18,118,168,218 68,268 218
  key z
  until_seen "the options again" 20 - "${options[@]}" 218
  e2e_move Up "the options' third line" "${options[@]}" 168
  e2e_move Up "the options' music line" "${options[@]}" 118
  e2e_move Up "the options' first line" "${options[@]}" 68
  key z
  until_seen "the title again" 20 - "${title[@]}" 68
fi

# Normal mode, one player.
key z
until_seen "the stage select" 20 - lines 18,68,118,168,218,268 318 118
e2e_move Down "the stage select's second mode" lines 18,68,118,168,218,268 318 168
key z
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
  until_seen "the player at (112, 112)" $slow "$(keep player)" player
  until_seen "the first bomb's flames" $slow "$(keep flames)" flames 0.1
  echo "burst1 $(awk '/^first flames at/ { print $4 }' look.out)" >> events.txt
  # Invulnerable no more: the sprite shows in six looks in a row (a blinking one shows on
  # every third frame only). The 500 invulnerable frames take a loaded machine's slow game
  # up to the round's own 200 seconds.
  steady=0 end=$((SECONDS + 200))
  while [ $steady -lt 6 ] && [ $SECONDS -lt $end ]; do
    if screen - 0 player > look.out 2>&1; then steady=$((steady + 1)); else steady=0; fi
    sleep 0.13
  done
  [ $steady -ge 6 ] || fail "the player kept blinking"
  event lay2
  key z
  # The first flame on (1, 1) or a neighbour marks the burst (the falling player soon
  # hides (1, 1)), and the player falls in it, at the same moment.
  until_seen "the second bomb's burst" $slow "$(keep flames2)" flames 0.1 any
  burst=$(awk '/^first flames at/ { print $4 }' look.out)
  echo "burst2 $burst" >> events.txt
  echo "fall $burst" >> events.txt
  until_seen "the between-stages screen" $slow "$(keep between)" lines 18,68,118,168,218 268 118
fi

# A held Escape ends the program.
e2e_escape_ends "$pid" > why.out
status=$?
[ $status -eq 0 ] || { cat why.out game.out; echo "FAIL the program ended with status $status"; exit 1; }
INNER
chmod +x inner.sh

status=0
for kind in full short; do
  SDL_AUDIODRIVER=disk game=$game check=$check assets=$assets dir=$dir \
    e2e_on_display "$kind.out" 1024x768x24 "$dir/fb" ./inner.sh "$dir/$kind" "$kind"
  s=$?
  cat "$kind.out"
  [ $s -eq 0 ] || { echo "the $kind run failed"; exit 1; }

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
