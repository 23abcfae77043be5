#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan/UBSan) and runs them.
#   scripts/fuzz.sh <target> [seconds] [libFuzzer flags...]   one target, e.g. strtoint 60
#   scripts/fuzz.sh --all [seconds]                            every target, each for the
#       given time (20 s by default), KR_JOBS at once; fails when one does not build,
#       crashes, leaks or hangs (CI runs this)
#
# Seeds: fuzz/seeds/<target>.sh, when there is one, runs before its target as
#   bash fuzz/seeds/<target>.sh <dir>
# and writes seed files into <dir> (the build's seeds/<target>/, emptied first), so no
# binary seed is committed; KR_FUZZ_BUILD_DIR names the build, whose tools a generator
# may run (the movie targets' seeds come from tools/krmovie, built with them). A target
# whose seeds are easier made in C++ writes them from LLVMFuzzerInitialize into the
# empty corpus directories it is given (archiveopen, hiscore, the image and the sound
# targets do).
# A target with neither starts from empty.
# Under the build directory: corpus/<target>/ keeps what runs found for the next one,
# crashes/<target>/ the inputs that failed, logs/<target>.log the output of --all.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
target=${1:?usage: scripts/fuzz.sh <target>|--all [seconds] [libFuzzer flags...]}
if [ "$target" = --all ]; then seconds=${2:-20}; else seconds=${2:-60}; fi
shift $(( $# >= 2 ? 2 : 1 ))
BUILD=${KR_FUZZ_BUILD_DIR:-build/fuzz}
export KR_FUZZ_BUILD_DIR=$BUILD  # seed generators run the build's tools
JOBS=${KR_JOBS:-$(nproc)}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DKR_FUZZ=ON -DKR_TESTS=OFF -DKR_BENCH=OFF >/dev/null
if [ "$target" = --all ]; then
  cmake --build "$BUILD" -j "$JOBS" --target fuzzers
else
  cmake --build "$BUILD" -j "$JOBS" --target "fuzz_$target"
fi

export KR_PLATFORM=headless SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}

mapfile -t targets < <(grep -v '^$' "$BUILD/fuzz/targets.txt")
# A generator left behind by a renamed or removed target would stop seeding unnoticed.
for generator in fuzz/seeds/*.sh; do
  [ -e "$generator" ] || continue
  name=$(basename "$generator" .sh)
  if ! printf '%s\n' "${targets[@]}" | grep -qxF "$name"; then
    echo "fuzz: $generator has no target (fuzz/$name.cpp)" >&2
    exit 1
  fi
done

# The corpus directories of a target, its seeds made afresh, into `dirs`.
prepare() {
  local t=$1
  mkdir -p "$BUILD/corpus/$t" "$BUILD/crashes/$t"
  dirs=("$BUILD/corpus/$t")
  [ -f "fuzz/seeds/$t.sh" ] || return 0
  rm -rf "$BUILD/seeds/$t"
  mkdir -p "$BUILD/seeds/$t"
  bash "fuzz/seeds/$t.sh" "$BUILD/seeds/$t" || { echo "fuzz: the seed generator of $t failed"; return 1; }
  dirs+=("$BUILD/seeds/$t")
}

if [ "$target" != --all ]; then
  prepare "$target"
  exec "$BUILD/fuzz/fuzz_$target" -max_total_time="$seconds" -artifact_prefix="$BUILD/crashes/$target/" \
    "$@" "${dirs[@]}"
fi

if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
mkdir -p "$BUILD/logs"

# One target in the background; a hang of a single input fails it after 30 s, one
# outside any input (start-up, the end) after the run's time and two minutes.
run() {
  local t=$1 log="$BUILD/logs/$1.log"
  touch "$BUILD/logs/$t.start"
  prepare "$t" > "$log" 2>&1 || return 1
  timeout -k 10 $((seconds + 120)) "$BUILD/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 \
    -artifact_prefix="$BUILD/crashes/$t/" "${dirs[@]}" >> "$log" 2>&1
}

failed=()
declare -A running=()  # pid -> target
finish() {
  local pid status=0
  wait -n -p pid || status=$?
  local t=${running[$pid]} log="$BUILD/logs/${running[$pid]}.log"
  unset "running[$pid]"
  if [ $status -eq 0 ]; then
    echo "fuzz: $t passed ($(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1 | cut -c6-)s)"
    return
  fi
  failed+=("$t")
  echo "fuzz: $t FAILED with status $status; the end of $log:"
  tail -n 60 "$log" | sed 's/^/    /'
  # This run's failing inputs (older ones stay for their own reproduction).
  find "$BUILD/crashes/$t" -type f -newer "$BUILD/logs/$t.start" |
    sed "s|^|    reproduce: $BUILD/fuzz/fuzz_$t |"
}

for t in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$JOBS" ]; do finish; done
  run "$t" &
  running[$!]=$t
done
while [ ${#running[@]} -gt 0 ]; do finish; done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: ${#failed[@]} of ${#targets[@]} targets failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds} s each without a fault"
