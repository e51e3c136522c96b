#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up of kestrone-scan as whole processes: the median wall time of
# `kestrone-scan --version` over many runs, and kestrone-scan analysing one
# 30 s 44.1 kHz 16-bit stereo FLAC of pink noise (ffmpeg anoisesrc, fixed
# seeds) against `flac -d -f -o /dev/null` of the same file, the two run in
# turn, medians of RUNS each and their ratio. Every KESTRONE_SCAN given gets
# its rows in the one table, so builds compare within one run of the script.
#   usage: bench/scan_startup.sh [RUNS] [KESTRONE_SCAN...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runs=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
[ $# -gt 0 ] || set -- "$here/../build/scan/kestrone-scan"
for scan in "$@"; do
  [ -x "$scan" ] || { echo "no kestrone-scan at $scan (build it first)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -nostdin -v error -bitexact \
  -filter_complex "anoisesrc=seed=1:sample_rate=44100:amplitude=0.5:color=pink:duration=30[l];anoisesrc=seed=2:sample_rate=44100:amplitude=0.5:color=pink:duration=30[r];[l][r]join=inputs=2:channel_layout=stereo" \
  -c:a flac -sample_fmt s16 -bitexact "$tmp/bench-30s.flac"

python3 - "$runs" "$tmp/bench-30s.flac" "$@" <<'PY'
import os, statistics, subprocess, sys, time
runs = int(sys.argv[1])
flac_file = sys.argv[2]
programs = sys.argv[3:]

def wall(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return (time.perf_counter() - start) * 1000.0

version_runs = max(100, 10 * runs)
print(f"load average before: {os.getloadavg()[0]:.2f}; medians of {version_runs} (--version) and {runs} runs (the FLAC)")
print(f"{'program':48} {'--version':>10} {'30 s FLAC':>10} {'flac -d':>9} {'ratio':>6}")
for program in programs:
    for _ in range(5):  # warm the page cache
        wall([program, "--version"])
    version = statistics.median(wall([program, "--version"]) for _ in range(version_runs))
    scan_times, flac_times = [], []
    wall([program, flac_file])
    for _ in range(runs):
        scan_times.append(wall([program, flac_file]))
        flac_times.append(wall(["flac", "-s", "-d", "-f", "-o", "/dev/null", flac_file]))
    scan, flac = statistics.median(scan_times), statistics.median(flac_times)
    name = program if len(program) <= 48 else "..." + program[-45:]
    print(f"{name:48} {version:7.1f} ms {scan:7.1f} ms {flac:6.1f} ms {scan / flac:5.2f}x")
print(f"targets: --version <= 10 ms; 30 s FLAC <= 2.2x flac -d. load average after: {os.getloadavg()[0]:.2f}")
PY
