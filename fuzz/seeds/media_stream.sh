#!/usr/bin/env bash
# Seeds for media_stream: the movie writer's movies, the same as movie_decoder's.
set -euo pipefail
exec bash "$(dirname "$0")/movie_decoder.sh" "$@"
