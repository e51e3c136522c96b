#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The analysis is a measurement: a Debug and a Release build must write the
# same report bytes. Builds kestrone in Debug (build-debug/) and compares its
# JSON report of a small set of the test audio with the Release build's.
#   usage: tools/check-debug-release.sh [RELEASE_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
release=${1:-$root/build}
debug=$root/build-debug
cmake -S "$root" -B "$debug" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRONE_BUILD_TESTS=OFF >/dev/null
cmake --build "$debug" --target kestrone -j"$(nproc)" >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The analysis corpus (every check's verdicts) and the demo set; a few dozen files.
mkdir -p "$tmp/set"
cp -r "$release/test-audio/analysis" "$tmp/set/analysis"
cp -r "$release/demo" "$tmp/set/demo"
"$root/tools/corpus-report.sh" "$release/app/kestrone" "$tmp/set" "$tmp/release.json"
"$root/tools/corpus-report.sh" "$debug/app/kestrone" "$tmp/set" "$tmp/debug.json"
if ! cmp "$tmp/release.json" "$tmp/debug.json"; then
  echo "check-debug-release: the Debug and Release reports differ" >&2
  exit 1
fi
echo "check-debug-release: Debug and Release reports are byte-identical"
