#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer in a build directory of their own and runs them.
#   scripts/tsan.sh [ctest arguments...]    e.g. scripts/tsan.sh -R '^Pump\.'
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

BUILD=${KR_TSAN_BUILD_DIR:-build/tsan}
JOBS=${KR_JOBS:-$(nproc)}

# gcc 12's ThreadSanitizer runtime cannot place its shadow memory where the kernel
# randomises more than 28 bits of mmap addresses: there the test programs (run by the
# build too, to list their tests) run unrandomised.
norandom=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ]; then
  norandom=(setarch "$(uname -m)" -R)
fi

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DKR_TSAN=ON -DKR_TESTS=ON -DKR_BENCH=OFF >/dev/null
"${norandom[@]}" cmake --build "$BUILD" -j "$JOBS"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy KR_PLATFORM=headless
# A report fails the test (its status becomes 66) and shows both stacks of a race.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
"${norandom[@]}" ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
