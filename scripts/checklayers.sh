#!/usr/bin/env bash
# Fails when a file includes a header from a layer above its own. Run by the build (the
# `layers` target every library depends on), so a wrong arrow stops the build.
#   engine/<folder>   its own folder, platform/, and the engine folders its line in
#                     engine_order below names, each of them lower in that order; a folder
#                     of engine/ without a line there fails the check
#   engine/engine.cpp the public entry points, above every folder: unchecked
#   game/             engine/engine.h, game/, and of platform/ only the kernel header and
#                     the message box's (its sleep, clock-stop event and start-up question)
#   platform/<family> its own family and the families its line in platform_order below
#                     names, each of them lower in that order (nothing of engine/, game/
#                     or tools/); a family without a line there fails the check
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

# The platform's families, lowest first, as the engine's folders above. The five lowest
# serve every family (Shift-JIS text, the kernel's clocks, threads and heap, files, SDL's
# start, the choice of back ends). The key table sits below the windows and the input
# devices that both read keys by it; the display shows windows' client rectangles of its
# store; DirectDraw-style surfaces share that store, and Direct3D and the GDI draw on
# them. The window layer reaches nothing above it: the display hears of activations
# through the hook it installs (platform/window/hooks.h).
base='text kernel fs sdl backend'
platform_order=(
  'text'
  'kernel    text'
  'fs        text kernel'
  'sdl       text kernel fs'
  'backend   text kernel fs sdl'
  "com       $base"
  "keys      $base"
  "window    $base keys"
  "net       $base window"
  "ime       $base keys window"
  "input     $base keys window"
  "display   $base keys window"
  "ddraw     $base keys window display"
  "d3d       $base keys window display ddraw"
  "gdi       $base keys window display ddraw"
  "audio     $base window"
  "media     $base window audio display ddraw"
)

# apply_order TREE WHOSE ALSO ORDER-ARRAY: every folder of TREE/ includes only its own
# folder, the lower ones its line names, and what the regex alternative ALSO allows.
apply_order() {
  local tree=$1 whose=$2 also=$3
  local -n rows=$4
  local -A position=() allowed=()
  local n=0 row folder below lower dir file names
  for row in "${rows[@]}"; do
    read -r folder below <<<"$row"
    position[$folder]=$n
    n=$((n + 1))
    for lower in $below; do
      [ -n "${position[$lower]:-}" ] || complain "the $whose order lists $lower above $folder, which may include it"
    done
    allowed[$folder]="$folder $below"
  done
  for dir in "$tree"/*/; do
    [ -d "$dir" ] || continue
    folder=$(basename "$dir")
    if [ -z "${allowed[$folder]:-}" ]; then
      while IFS= read -r file; do
        complain "$file: $tree/$folder has no place in the $whose order"
      done < <(find "$dir" -name '*.cpp' -o -name '*.h')
      continue
    fi
    names=${allowed[$folder]}
    check "$tree/$folder" "^(${also}$tree/(${names// /|})/)"
  done
}

apply_order engine engine\'s 'platform/|' engine_order
apply_order platform platform\'s '' platform_order
check platform '^platform/'
check game '^(engine/engine\.h|game/.+|platform/kernel/kernel\.h|platform/window/messagebox\.h)$'

backend='#\s*include\s*[<"](SDL2?/|SDL[_.]|ft2build|freetype|fluidsynth|mpg123|X11/)'
while IFS= read -r hit; do
  complain "$hit: back-end headers belong to platform/"
done < <(grep -rnE --include='*.cpp' --include='*.h' "$backend" engine game tools 2>/dev/null || true)

exit $status
