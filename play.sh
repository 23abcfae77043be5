#!/usr/bin/env bash
# Installs what is missing, builds optimised and starts the game in its own folder (run/),
# where it keeps Log.txt and its files.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

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
exec "$GAME" "$@"
