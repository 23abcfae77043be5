#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the game need.
# Quick when everything is present; works as root or through sudo.
set -euo pipefail

PACKAGES=(
  g++ cmake make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libsdl2-dev libx11-dev xvfb xauth xdotool
  # the start-up question draws with X core fonts (the misc fixed fonts hold the kana and
  # kanji); the end-to-end test finds it with xprop, takes its screenshot with xwd and
  # writes it as PNG, and tells its run's X server by its process (ps)
  xfonts-base x11-utils x11-apps netpbm procps
  libmpg123-dev libvorbis-dev libogg-dev libtheora-dev libfluidsynth-dev timgm6mb-soundfont
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  # glyphs: FreeType and the IPA Gothic faces the font layer maps every face name to
  libfreetype-dev fonts-ipafont-gothic
  # the text benchmark's reference: SDL_ttf on the same face
  libsdl2-ttf-dev
  # sound fixtures of the tests and fuzz seeds: an ADPCM coder that is not ours, an MP3 encoder
  sox libmp3lame-dev
)

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
