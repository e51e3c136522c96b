#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The analysis is a measurement: a Debug and a Release build must write the
# same report bytes. Builds kestrone and kestrone-scan in Debug (build-debug/)
# and compares their reports of a small set of the test audio with the Release
# build's: the JSON report, and kestrone-scan's text report, which also holds
# the fourth check's measurements.
#   usage: tools/check-debug-release.sh [RELEASE_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
release=${1:-$root/build}
debug=$root/build-debug
cmake -S "$root" -B "$debug" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRONE_BUILD_TESTS=OFF >/dev/null
cmake --build "$debug" --target kestrone kestrone-scan -j"$(nproc)" >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The analysis corpus (every check's verdicts), the demo set and four of the
# fourth check's files; a few dozen files.
mkdir -p "$tmp/set"
cp -r "$release/test-audio/analysis" "$tmp/set/analysis"
cp -r "$release/demo" "$tmp/set/demo"
# One transcode per codec grid and a lowpass, for the fourth check's numbers.
mkdir -p "$tmp/set/origin"
for name in mp3-b128-band aac-128k-band opus-96k-band genuine-band-44100; do
  cp "$release/test-audio/origin/$name.flac" "$tmp/set/origin/"
done
"$root/tools/corpus-report.sh" "$release/app/kestrone" "$tmp/set" "$tmp/release.json"
"$root/tools/corpus-report.sh" "$debug/app/kestrone" "$tmp/set" "$tmp/debug.json"
status=0
"$release/scan/kestrone-scan" --text "$tmp/release.txt" "$tmp/set" >/dev/null || status=$?
"$debug/scan/kestrone-scan" --text "$tmp/debug.txt" "$tmp/set" >/dev/null || status=$?
# 1 only says that some file failed, which the set is meant to contain.
if [ "$status" -gt 1 ]; then
  echo "check-debug-release: kestrone-scan ended with $status" >&2
  exit 1
fi
for report in json txt; do
  if ! cmp "$tmp/release.$report" "$tmp/debug.$report"; then
    echo "check-debug-release: the Debug and Release $report reports differ" >&2
    exit 1
  fi
done
echo "check-debug-release: Debug and Release reports are byte-identical"
