#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the test audio into OUTDIR with real encoders (sox, flac, ffmpeg, lame)
# and kestrone-testgen. Each script in tools/test-audio/ makes one group of
# files; a group is remade only when its script changed.
#   usage: make-test-audio.sh OUTDIR [KESTRONE_TESTGEN]
set -euo pipefail
out=${1:?usage: make-test-audio.sh OUTDIR [KESTRONE_TESTGEN]}
export KESTRONE_TESTGEN=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
for script in "$here"/test-audio/*.sh; do
  [ -e "$script" ] || continue
  group=$(basename "$script" .sh)
  stamp="$out/.$group.stamp"
  sum=$(cat "$script" "${KESTRONE_TESTGEN:-/dev/null}" 2>/dev/null | sha256sum | cut -d' ' -f1)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$sum" ]; then
    continue
  fi
  mkdir -p "$out/$group"
  bash "$script" "$out/$group"
  echo "$sum" > "$stamp"
done
