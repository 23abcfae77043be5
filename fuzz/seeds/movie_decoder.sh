#!/usr/bin/env bash
# Seeds for the movie targets (movie_decoder, media_stream): movies from the movie writer,
# 4:2:0, 4:2:2 and 4:4:4, picture offsets, one with a tone, one of a single frame, and one
# whose keyframes come often, from the writer the fuzzing build made with the targets.
set -euo pipefail
BUILD=${KR_FUZZ_BUILD_DIR:-build/fuzz}
seed() { "$BUILD/krmovie" "$1/$2" "${@:3}"; }
seed "$1" square --size 32x32 --frames 6 --keyframe 4
seed "$1" offset --size 30x18 --offset 3,5 --frames 9 --keyframe 4
seed "$1" c422 --size 24x16 --offset 1,1 --frames 5 --keyframe 4 --chroma 422
seed "$1" c444 --size 16x16 --offset 7,2 --frames 5 --keyframe 4 --chroma 444
seed "$1" tone --size 32x16 --frames 3 --keyframe 4 --tone 440
seed "$1" single --size 16x16 --frames 1
seed "$1" keyframes --size 48x32 --frames 8 --keyframe 1 --quality 20
