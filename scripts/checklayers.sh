#!/usr/bin/env bash
# Fails when a file includes a header from a layer above its own. Run by the build (the
# `layers` target every library depends on), so a wrong arrow stops the build.
#   engine/<folder>   its own folder, platform/, and the engine folders its line in
#                     engine_order below names, each of them lower in that order; a folder
#                     of engine/ without a line there fails the check
#   engine/engine.cpp the public entry points, above every folder: unchecked
#   game/             engine/engine.h, game/, and of platform/ only the kernel header and
#                     the message box's (its sleep, clock-stop event and start-up question)
#   platform/         nothing of engine/, game/ or tools/
#   engine/engine.h, the public declarations and constants, is open to every engine layer
#   back-end headers (SDL and the like) only inside platform/ and, for comparisons, bench/
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

status=0
complain() { echo "layers: $1" >&2; status=1; }

# check FOLDER ALLOWED-REGEX: every "engine/...", "game/...", "tools/..." and
# "platform/..." include of the files below FOLDER must match ALLOWED-REGEX.
check() {
  local folder=$1 allowed=$2 line
  [ -d "$folder" ] || return 0
  while IFS= read -r line; do
    local inc=${line#*#include \"}
    inc=${inc%%\"*}
    [ "$inc" = engine/engine.h ] && [[ $folder == engine/* ]] && continue
    if [[ ! $inc =~ $allowed ]]; then complain "${line%%:*} includes $inc"; fi
  done < <(grep -rn --include='*.cpp' --include='*.h' -E '^\s*#\s*include\s+"(engine|game|tools|platform)/' "$folder" || true)
}

# The engine's folders, lowest first: each folder and the lower ones it may include.
# The five lowest are what the subsystems share (state holds the system data, the hooks
# into the system layer and the fatal exit); graphics draws, font draws text on it,
# d3d renders graphics and text in 3D, movie shows pictures and sound, and system (the
# start and end, the window, the pump, input, network, the on-screen log) sits on top.
low='base file pixel softimage state'
engine_order=(
  'base'
  'file      base'
  'pixel     base'
  'softimage base file pixel'
  'state     base'
  "sound     $low"
  "graphics  $low"
  "font      $low graphics"
  "d3d       $low graphics font"
  "movie     $low sound graphics"
  "system    $low sound graphics font d3d movie"
)

declare -A position allowed
n=0
for row in "${engine_order[@]}"; do
  read -r folder below <<<"$row"
  position[$folder]=$n
  n=$((n + 1))
  for lower in $below; do
    [ -n "${position[$lower]:-}" ] || complain "the order lists $lower above $folder, which may include it"
  done
  allowed[$folder]="$folder $below"
done

for dir in engine/*/; do
  [ -d "$dir" ] || continue
  folder=$(basename "$dir")
  if [ -z "${allowed[$folder]:-}" ]; then
    while IFS= read -r file; do
      complain "$file: engine/$folder has no place in the engine's order"
    done < <(find "$dir" -name '*.cpp' -o -name '*.h')
    continue
  fi
  names=${allowed[$folder]}
  check "engine/$folder" "^(engine/(${names// /|})/|platform/)"
done
check game '^(engine/engine\.h|game/.+|platform/kernel/kernel\.h|platform/window/messagebox\.h)$'
check platform '^platform/'

backend='#\s*include\s*[<"](SDL2?/|SDL[_.]|ft2build|freetype|fluidsynth|mpg123|X11/)'
while IFS= read -r hit; do
  complain "$hit: back-end headers belong to platform/"
done < <(grep -rnE --include='*.cpp' --include='*.h' "$backend" engine game tools 2>/dev/null || true)

exit $status
