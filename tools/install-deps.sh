#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Kestrone needs to build, test and run, skipping
# the install when every one is present. Uses sudo when not root.
#   usage: install-deps.sh [--windows] [extra-package...]
#   --windows  also what the Windows cross build needs (./test --windows)
set -euo pipefail
windows=()
if [ "${1:-}" = --windows ]; then
  shift
  # mingw-w64 (posix threads), wine for the tests, and dpkg-dev, tcl and nasm
  # (FFmpeg's assembly) to fetch and build the dependencies from Debian's
  # source packages.
  windows=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    libz-mingw-w64-dev wine wine64 dpkg-dev tcl nasm)
fi
packages=(
  cmake g++ make ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libflac-dev libsndfile1-dev libsoxr-dev libavformat-dev libavcodec-dev libavutil-dev libsqlite3-dev
  sox libsox-fmt-all flac ffmpeg lame twolame wavpack vorbis-tools opus-tools
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  libcairo2-dev libpng-dev fonts-dejavu-core fonts-noto-core python3 python3-jsonschema parallel locales-all time
  chromium
  help2man librsvg2-bin lintian desktop-file-utils appstream man-db bash-completion zsh debootstrap
  "${windows[@]}" "$@"
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
