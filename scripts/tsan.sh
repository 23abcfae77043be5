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
# Where a container forbids switching randomisation off for a process, a throwaway CI
# machine (KR_CI=1, as root) lowers the randomisation for the whole machine instead.
# Where neither can be done the tests cannot run under ThreadSanitizer at all, and the
# script says so and ends with 77, which CI reports as skipped rather than failed.
norandom=()
rnd_bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)
if [ "$rnd_bits" -gt 28 ]; then
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    norandom=(setarch "$(uname -m)" -R)
  elif [ "${KR_CI:-0}" = 1 ] && echo 28 2>/dev/null >/proc/sys/vm/mmap_rnd_bits; then
    echo "tsan.sh: vm.mmap_rnd_bits lowered from $rnd_bits to 28 for ThreadSanitizer"
  else
    echo "tsan.sh: cannot run ThreadSanitizer here: vm.mmap_rnd_bits is $rnd_bits (gcc's" \
      "runtime needs 28 or less), and neither setarch -R nor lowering it is permitted" >&2
    exit 77
  fi
fi

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DKR_TSAN=ON -DKR_TESTS=ON -DKR_BENCH=OFF >/dev/null
"${norandom[@]}" cmake --build "$BUILD" -j "$JOBS"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy KR_PLATFORM=headless
# The tests that open a window under Xvfb draw through SDL's software renderer here, and
# put its frame on the window through X itself (SDL_FRAMEBUFFER_ACCELERATION=0), not through
# Mesa's software GL: Mesa compiles its shaders at each window's start, and under this
# runtime (which takes every allocation of that compiler) a start cost 10 to 25 seconds on
# a loaded machine, which the end-to-end scripts' waits did not allow. Mesa's own threads,
# uninstrumented, were also reported as racing now and then. The GL road is still run by
# the ASan/UBSan tests.
export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 LP_NUM_THREADS=0
# A report fails the test (its status becomes 66) and shows both stacks of a race.
# Uninstrumented threads of system libraries are suppressed by name (scripts/tsan.supp).
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp}
"${norandom[@]}" ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
