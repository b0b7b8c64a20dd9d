#!/usr/bin/env bash
# Installs the Debian packages Quillmere needs to build, run and test.
# Checks with dpkg first; touches apt only when something is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ lld pkg-config ccache googletest libgtest-dev
  # window and scene
  qt6-base-dev qt6-declarative-dev qt6-qpa-plugins qml6-module-qtquick
  qml6-module-qtqml-workerscript qml6-module-qtquick-window qml6-module-qtquick-controls
  qml6-module-qtquick-templates qml6-module-qtquick-layouts fonts-dejavu-core
  libqt6svg6  # the skin's check marks
  # drives and disc images
  libcdio-dev libcdio-paranoia-dev
  # disc IDs for online lookups, tags in ripped files, FLAC and Opus
  libdiscid-dev libtag1-dev libflac-dev libopusenc-dev libdeflate-dev
  # sound output
  libpulse-dev
  # WMA and audio files
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  # MP3 and OGG encoders, run by the program
  lame vorbis-tools
  # tests and checks only
  xvfb xauth pulseaudio pulseaudio-utils ffmpeg cd-paranoia imagemagick flac opus-tools
  desktop-file-utils appstream groff-base man-db dpkg-dev lintian
  dbus libglib2.0-bin  # a private session bus and gdbus, for the desktop tests
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
