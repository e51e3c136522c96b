#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows release zip: kestrone-scan.exe, FFmpeg's DLLs beside it, the
# JSON Lines record schema, the README, and the licence notice of everything
# linked into them (Debian's copyright files of the same source versions, read
# from the packages installed here).
#   usage: make-zip.sh ZIP KESTRONE_SCAN_EXE PREFIXES [DLL...]
set -euo pipefail
zip=$1
exe=$2
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
name=$(basename "$zip" .zip)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/licences"
cp "$exe" "$@" "$stage/$name/"
cp "$root/scan/kestrone-scan-record.schema.json" "$stage/$name/"
cp "$root/README.md" "$stage/$name/README.md"
cp "$root/packaging/copyright" "$stage/$name/licences/kestrone.txt"
# Library (as linked) and the Debian package whose copyright file covers it.
for pair in flac:libflac12 libogg:libogg0 libsndfile:libsndfile1 libsoxr:libsoxr0 sqlite:libsqlite3-0 \
  cairo:libcairo2 pixman:libpixman-1-0 libpng:libpng16-16 zlib:zlib1g ffmpeg:libavcodec59 \
  mingw-w64-runtime:mingw-w64-common gcc-runtime:gcc-mingw-w64-base; do
  notice=/usr/share/doc/${pair#*:}/copyright
  if [ -f "$notice" ]; then
    cp "$notice" "$stage/$name/licences/${pair%%:*}.txt"
  else
    echo "make-zip: no licence notice for ${pair%%:*} ($notice)" >&2
    exit 1
  fi
done
rm -f "$zip"
(cd "$stage" && python3 -m zipfile -c "$zip.tmp" "$name")
mv "$zip.tmp" "$zip"
