#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrone-scan at library scale, printed as one table (each ratio measured
# within this run):
#   start-up       kestrone-scan --version, and kestrone-scan on one 30 s 44.1 kHz
#                  stereo FLAC against `flac -d` of the same file, whole processes
#   jobs           40 thirty-second FLACs with --jobs 2 against --jobs 1
#   cache          a second --cache scan of 1,000 unchanged 10 s files against the first
#   many files     1,000 / 10,000 / 100,000 short WAVs and FLACs (hard links of 100
#                  generated files): time per file, and peak RSS with --jsonl and --json
#   long list      1,000,000 listed paths, one in 1,000 a short file and the rest
#                  missing: peak RSS with --jsonl and --json
# Timings are the best of RUNS runs (wall time) except the many-files runs (one
# each). Needs about 4 GB of disk for the JSON report of 100,000 files.
#   usage: bench/scan_scale.sh [KESTRONE_SCAN] [RUNS] [MAX_FILES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scan=${1:-$here/../build/scan/kestrone-scan}
runs=${2:-3}
max_files=${3:-100000}
[ -x "$scan" ] || { echo "no kestrone-scan at $scan (build it first)" >&2; exit 1; }
scan=$(cd "$(dirname "$scan")" && pwd)/$(basename "$scan")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pink() { # seed-left seed-right seconds output
  ffmpeg -nostdin -v error -bitexact \
    -filter_complex "anoisesrc=seed=$1:sample_rate=44100:amplitude=0.5:color=pink:duration=$3[l];anoisesrc=seed=$2:sample_rate=44100:amplitude=0.5:color=pink:duration=$3[r];[l][r]join=inputs=2:channel_layout=stereo" \
    -c:a flac -sample_fmt s16 -bitexact -y "$4"
}

# best COMMAND...: the shortest wall time of $runs runs, in seconds.
best() {
  local best_time="" start end
  for _ in $(seq 1 "$runs"); do
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1 || true
    end=$(date +%s.%N)
    best_time=$(awk -v s="$start" -v e="$end" -v b="$best_time" 'BEGIN { t = e - s; if (b == "" || t < b) b = t; printf "%.4f", b }')
  done
  echo "$best_time"
}
# Peak resident set of one run, in MiB.
peak_mib() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4"; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# Start-up and one file.
pink 1 2 30 "$tmp/one-30s.flac"
t_version=$(best "$scan" --version)
t_scan_one=$(best "$scan" --jsonl /dev/null "$tmp/one-30s.flac")
t_flac_one=$(best sh -c "flac -d -s -c '$tmp/one-30s.flac' > /dev/null")
libraries=$(LD_TRACE_LOADED_OBJECTS=1 "$scan" | grep -c '=>' || true)

# 40 thirty-second FLACs.
mkdir -p "$tmp/forty"
for i in $(seq 1 40); do
  pink $((2 * i + 10)) $((2 * i + 11)) 30 "$tmp/forty/noise-$(printf %02d "$i").flac"
done
t_jobs1=$(best "$scan" --jobs 1 --jsonl /dev/null "$tmp/forty")
t_jobs2=$(best "$scan" --jobs 2 --jsonl /dev/null "$tmp/forty")

# Cache: 1,000 ten-second files (hard links of 20), a fresh cache each time.
mkdir -p "$tmp/cache-src" "$tmp/cache-lib"
for i in $(seq 1 20); do
  pink $((2 * i + 200)) $((2 * i + 201)) 10 "$tmp/cache-src/s$i.flac"
done
for n in $(seq 0 999); do
  ln "$tmp/cache-src/s$((n % 20 + 1)).flac" "$tmp/cache-lib/$(printf %04d "$n").flac"
done
once() { # COMMAND... -> wall seconds of one run
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == "" || a < b) b = a; printf "%.4f", b }'; }
t_first=""; t_second=""
for _ in $(seq 1 "$runs"); do
  rm -f "$tmp/cache.sqlite"*
  t_first=$(smaller "$(once "$scan" --cache="$tmp/cache.sqlite" --jsonl "$tmp/first.jsonl" "$tmp/cache-lib")" "$t_first")
  t_second=$(smaller "$(once "$scan" --cache="$tmp/cache.sqlite" --jsonl "$tmp/second.jsonl" "$tmp/cache-lib")" "$t_second")
done
cmp -s "$tmp/first.jsonl" "$tmp/second.jsonl" && cache_same=identical || cache_same=DIFFERENT

# Many files: 100 short files (WAV and FLAC, 0.5 s), hard-linked into folders of 1,000.
mkdir -p "$tmp/short"
for i in $(seq 1 50); do
  sox -R -n -r 44100 -b 16 -c 2 "$tmp/short/w$i.wav" synth 0.5 pinknoise vol 0.$((i % 9 + 1))
  sox -R -n -r 44100 -b 16 -c 2 "$tmp/short/f$i.flac" synth 0.5 pinknoise vol 0.$((i % 9 + 1))
done
short=("$tmp"/short/*)
folders=$((max_files / 1000))
mkdir -p "$tmp/many/001"
for n in $(seq 0 999); do
  src=${short[$((n % 100))]}
  ln "$src" "$tmp/many/001/$(printf %03d "$n")-$(basename "$src")"
done
for d in $(seq 2 "$folders"); do
  cp -al "$tmp/many/001" "$tmp/many/$(printf %03d "$d")"
done
list_for() { # count -> folder arguments
  local count=$1
  for d in $(seq 1 $((count / 1000))); do printf '%s\n' "$tmp/many/$(printf %03d "$d")"; done
}
per_file=()
for count in $(printf '%s\n' 1000 10000 "$max_files" | sort -nu); do
  [ "$count" -le "$max_files" ] || continue
  list_for "$count" > "$tmp/list-$count"
  # Wall and CPU time (user + system): the CPU time per file is what stays
  # readable on a machine that others keep busy.
  times=$(/usr/bin/time -f "%e %U %S" "$scan" --jsonl /dev/null --files-from "$tmp/list-$count" 2>&1 >/dev/null | tail -1)
  per_file+=("$count:$(echo "$times" | awk -v n="$count" '{ printf "wall %.3f ms, CPU %.3f ms", $1 / n * 1000, ($2 + $3) / n * 1000 }')")
done
list_for "$max_files" > "$tmp/list-all"
rss_jsonl=$(peak_mib "$scan" --jsonl "$tmp/all.jsonl" --files-from "$tmp/list-all")
rss_json=$(peak_mib "$scan" --json "$tmp/all.json" --files-from "$tmp/list-all")
rm -f "$tmp/all.jsonl" "$tmp/all.json"
# A million listed paths without a million files: each gets its record, most
# of them "cannot read this path".
ls "$tmp/many/001" | awk -v dir="$tmp" '{ name[NR - 1] = $0 }
  END { for (i = 0; i < 1000000; i++)
          if (i % 1000 == 0) printf "%s/many/001/%s\n", dir, name[(i / 1000) % NR]
          else printf "%s/missing/%03d/%07d.flac\n", dir, int(i / 1000), i }' > "$tmp/list-million"
rss_million_jsonl=$(peak_mib "$scan" --jsonl "$tmp/million.jsonl" --files-from "$tmp/list-million")
rm -f "$tmp/million.jsonl"
rss_million_json=$(peak_mib "$scan" --json "$tmp/million.json" --files-from "$tmp/list-million")
rm -f "$tmp/million.json"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

echo "machine: $(nproc) cores; load average before $load_before, after $load_after; best of $runs runs"
echo
row "measurement" "result" "target" "command"
row "---" "---" "---" "---"
row "kestrone-scan --version" "${t_version} s; $libraries shared libraries" "-" "kestrone-scan --version"
row "one 30 s FLAC: kestrone-scan / flac -d" "${t_scan_one} s / ${t_flac_one} s = $(ratio "$t_scan_one" "$t_flac_one")x" "<= 2.2x" "kestrone-scan --jsonl /dev/null one-30s.flac; flac -d -s -c one-30s.flac"
row "40 x 30 s FLAC: --jobs 1 / --jobs 2" "${t_jobs1} s / ${t_jobs2} s = $(ratio "$t_jobs1" "$t_jobs2")x" ">= 1.85x" "kestrone-scan --jobs N --jsonl /dev/null forty/"
row "1,000 x 10 s FLAC: first / cached scan" "${t_first} s / ${t_second} s = $(ratio "$t_first" "$t_second")x (reports $cache_same)" ">= 20x" "kestrone-scan --cache=c.sqlite --jsonl r.jsonl lib/ (twice)"
for entry in "${per_file[@]}"; do
  row "time per file, ${entry%%:*} short files" "${entry#*:}" "flat" "kestrone-scan --jsonl /dev/null --files-from list"
done
row "peak RSS, $max_files files, --jsonl" "$rss_jsonl MiB" "< 150 MB" "/usr/bin/time -v kestrone-scan --jsonl all.jsonl --files-from list"
row "peak RSS, $max_files files, --json" "$rss_json MiB" "< 150 MB" "/usr/bin/time -v kestrone-scan --json all.json --files-from list"
row "peak RSS, 1,000,000 listed paths, --jsonl" "$rss_million_jsonl MiB" "<= 150 MB" "/usr/bin/time -v kestrone-scan --jsonl million.jsonl --files-from list-million"
row "peak RSS, 1,000,000 listed paths, --json" "$rss_million_json MiB" "<= 150 MB" "/usr/bin/time -v kestrone-scan --json million.json --files-from list-million"
