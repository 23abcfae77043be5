#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer in a build directory of their own and runs them.
#   scripts/tsan.sh [ctest arguments...]    e.g. scripts/tsan.sh -R '^Pump\.'
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

BUILD=${KR_TSAN_BUILD_DIR:-build/tsan}
JOBS=${KR_JOBS:-$(nproc)}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DKR_TSAN=ON -DKR_TESTS=ON -DKR_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy KR_PLATFORM=headless
# A report fails the test (its status becomes 66) and shows both stacks of a race.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
