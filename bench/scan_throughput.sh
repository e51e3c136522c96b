#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Throughput of kestrone-scan with one and with two jobs: 40 thirty-second
# 44.1 kHz stereo FLAC files of pink noise (ffmpeg anoisesrc, fixed seeds, a
# different seed per channel), analysed with --jobs 1 and --jobs 2, best of
# two runs each.
#   usage: bench/scan_throughput.sh [KESTRONE_SCAN] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scan=${1:-$here/../build/scan/kestrone-scan}
runs=${2:-2}
files=40
[ -x "$scan" ] || { echo "no kestrone-scan at $scan (build it first)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for i in $(seq 1 "$files"); do
  ffmpeg -nostdin -v error -bitexact \
    -filter_complex "anoisesrc=seed=$((2 * i)):sample_rate=44100:amplitude=0.5:color=pink:duration=30[l];anoisesrc=seed=$((2 * i + 1)):sample_rate=44100:amplitude=0.5:color=pink:duration=30[r];[l][r]join=inputs=2:channel_layout=stereo" \
    -c:a flac -sample_fmt s16 -bitexact "$tmp/noise-$(printf %02d "$i").flac"
done

best() {
  local jobs=$1 best_time=""
  for _ in $(seq 1 "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$scan" --jobs "$jobs" "$tmp" > /dev/null
    end=$(date +%s.%N)
    best_time=$(awk -v s="$start" -v e="$end" -v b="$best_time" 'BEGIN { t = e - s; if (b == "" || t < b) b = t; printf "%.3f", b }')
  done
  echo "$best_time"
}

one=$(best 1)
two=$(best 2)
awk -v n="$files" -v a="$one" -v b="$two" 'BEGIN {
  printf "%d files of 30 s, 44.1 kHz stereo FLAC, best of runs\n", n
  printf "--jobs 1: %7.3f s  %6.2f files/s\n", a, n / a
  printf "--jobs 2: %7.3f s  %6.2f files/s\n", b, n / b
  printf "speed-up: %.2fx\n", a / b
}'
