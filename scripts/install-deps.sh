#!/usr/bin/env bash
# Installs the Debian packages the game, the tests, the fuzz targets and the benchmarks
# need. Quick when everything is present; works as root or through sudo.
#   scripts/install-deps.sh play   what building and running the game needs (./play.sh)
#   scripts/install-deps.sh        that and what the tests, the fuzz targets and the
#                                  benchmarks need (./test.sh, scripts/tsan.sh,
#                                  scripts/fuzz.sh, CI)
set -euo pipefail

PLAY=(
  g++ cmake make pkg-config
  libsdl2-dev libx11-dev
  libmpg123-dev libvorbis-dev libogg-dev libtheora-dev libfluidsynth-dev timgm6mb-soundfont
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  # glyphs: FreeType and the IPA Gothic faces the font layer maps every face name to
  libfreetype-dev fonts-ipafont-gothic
  # the start-up question draws with X core fonts (the misc fixed fonts hold the kana and
  # kanji)
  xfonts-base
  # ./play.sh --xvfb: a virtual display for a machine without a desktop
  xvfb
)
CHECKS=(
  googletest libgtest-dev libbenchmark-dev
  # the fuzz targets: clang's libFuzzer and sanitizer runtimes
  clang libclang-rt-dev
  # the end-to-end tests type with xdotool, find the start-up question with xprop, take
  # its screenshot with xwd and write it as PNG, and tell their run's X server by its
  # process (ps)
  xdotool x11-utils x11-apps netpbm procps
  # the text benchmark's reference: SDL_ttf on the same face
  libsdl2-ttf-dev
  # sound fixtures of the tests and fuzz seeds: an ADPCM coder that is not ours, an MP3 encoder
  sox libmp3lame-dev
)

case "${1:-all}" in
  play) PACKAGES=("${PLAY[@]}") ;;
  all) PACKAGES=("${PLAY[@]}" "${CHECKS[@]}") ;;
  *) echo "usage: $0 [play]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
install() { "${SUDO[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; }
if ! install; then
  "${SUDO[@]}" apt-get update
  install
fi
