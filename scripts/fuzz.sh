#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   scripts/fuzz.sh <target> [seconds] [extra libFuzzer flags...]
# e.g. scripts/fuzz.sh strtoint 60
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
target=${1:?usage: scripts/fuzz.sh <target> [seconds]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
BUILD=${KR_FUZZ_BUILD_DIR:-build/fuzz}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DKR_FUZZ=ON -DKR_TESTS=OFF -DKR_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "fuzz_$target"
corpus="$BUILD/corpus/$target"
mkdir -p "$corpus"
export KR_PLATFORM=headless SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
# Leaks inside libraries we call, never in our code (fuzz/lsan.supp says which and why).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
exec "$BUILD/fuzz/fuzz_$target" -max_total_time="$seconds" "$@" "$corpus"
