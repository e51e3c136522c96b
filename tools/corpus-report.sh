#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the JSON report of every file under a folder of test audio (all
# files, sorted by their bytes, hidden ones left out) with one run of
# `kestrone --analyze-test`. Run it with the program of two commits on the same
# folder and compare the outputs with cmp: a change that must not alter any
# result leaves them byte-identical.
#   usage: tools/corpus-report.sh KESTRONE AUDIO_DIR OUTPUT.json
set -euo pipefail
kestrone=${1:?usage: corpus-report.sh KESTRONE AUDIO_DIR OUTPUT.json}
dir=${2:?usage: corpus-report.sh KESTRONE AUDIO_DIR OUTPUT.json}
out=${3:?usage: corpus-report.sh KESTRONE AUDIO_DIR OUTPUT.json}
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
case "$kestrone" in */*) kestrone=$(cd "$(dirname "$kestrone")" && pwd)/$(basename "$kestrone") ;; esac
cd "$dir"
mapfile -d '' files < <(find . -type f ! -name '.*' -print0 | LC_ALL=C sort -z)
status=0
"$kestrone" --analyze-test "$out" "${files[@]}" || status=$?
# 1 only says that some file failed, which the corpus is meant to contain.
if [ "$status" -gt 1 ]; then
  echo "corpus-report: kestrone --analyze-test ended with $status" >&2
  exit "$status"
fi
echo "${#files[@]} files reported in $out" >&2
