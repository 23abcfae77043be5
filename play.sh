#!/usr/bin/env bash
# Installs what is missing, builds optimised and starts the game in its own folder (run/),
# where it keeps Log.txt and its files.
#   ./play.sh [--xvfb] [game arguments...]
# --xvfb (or KR_XVFB=1) runs it on a virtual display of its own (scripts/onvirtualdisplay.sh),
# for a machine without a desktop: Ctrl+C then still ends it cleanly.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD

VIRTUAL=${KR_XVFB:-0}
if [ "${1:-}" = --xvfb ]; then
  VIRTUAL=1
  shift
fi

./scripts/install-deps.sh play

BUILD=${KR_PLAY_BUILD_DIR:-build/play}
JOBS=${KR_JOBS:-$(nproc)}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKR_TESTS=OFF -DKR_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target game assets
GAME="$(cd "$BUILD" && pwd)/game"

# The game reads its pictures, sounds and music from its folder: bring in those the
# build made anew (the same bytes every build, so usually none).
mkdir -p run
for f in "$BUILD"/assets/*; do
  cmp -s "$f" "run/${f##*/}" || cp "$f" run/
done
cd run
[ "$VIRTUAL" = 1 ] && exec "$ROOT/scripts/onvirtualdisplay.sh" "$GAME" "$@"
exec "$GAME" "$@"
