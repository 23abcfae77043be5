#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
# KR_TEST_RELEASE=1 builds and tests the optimised build users make instead (Release, no
# sanitizers, in build/release).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

if [ "${KR_TEST_RELEASE:-0}" = 1 ]; then
  BUILD=${KR_TEST_BUILD_DIR:-build/release}
  KIND=(-DCMAKE_BUILD_TYPE=Release -DKR_SANITIZE=OFF)
else
  BUILD=${KR_TEST_BUILD_DIR:-build/test}
  KIND=(-DCMAKE_BUILD_TYPE=Debug -DKR_SANITIZE=ON)
fi
JOBS=${KR_JOBS:-$(nproc)}

cmake -S . -B "$BUILD" "${KIND[@]}" -DKR_TESTS=ON -DKR_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"

# Headless: no display, no sound device; tests pick the headless platform themselves.
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy KR_PLATFORM=headless
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
# Leaks are reported, except memory that system libraries keep until exit.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
