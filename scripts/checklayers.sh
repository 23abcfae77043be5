#!/usr/bin/env bash
# Fails when a file includes a header from a layer above its own. Run by the build (the
# `layers` target every library depends on), so a wrong arrow stops the build.
#   engine/base       only engine/base and platform/
#   engine/file       engine/base, engine/file, platform/
#   engine/pixel      engine/base, engine/pixel, platform/
#   engine/softimage  engine/base, engine/file, engine/pixel, engine/softimage, platform/
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

check engine/base '^(engine/base/|platform/)'
check engine/file '^(engine/(base|file)/|platform/)'
check engine/pixel '^(engine/(base|pixel)/|platform/)'
check engine/softimage '^(engine/(base|file|pixel|softimage)/|platform/)'
check game '^(engine/engine\.h|game/.+|platform/kernel/kernel\.h|platform/window/messagebox\.h)$'
check platform '^platform/'

backend='#\s*include\s*[<"](SDL2?/|SDL[_.]|ft2build|freetype|fluidsynth|mpg123|X11/)'
while IFS= read -r hit; do
  complain "$hit: back-end headers belong to platform/"
done < <(grep -rnE --include='*.cpp' --include='*.h' "$backend" engine game tools 2>/dev/null || true)

exit $status
