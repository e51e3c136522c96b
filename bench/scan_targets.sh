#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The cost of a file in kestrone-scan as whole processes, one row per target,
# each build's figure side by side (the previous release's build as the second
# KESTRONE_SCAN gives the "before" column; every ratio is taken within this run):
#   batch          12 thirty-second 44.1 kHz 16-bit stereo FLACs (pink noise), --jobs 1:
#                  CPU time (user + system) per file against `flac -d` of the same
#                  files, and minor page faults per file
#   one file       one such file against `flac -d`, wall time, medians
#   --version      wall time, median
#   jobs           40 such files, --jobs 2 against --jobs 1, beside a control: two
#                  CPU-bound loops at once against one, which shows whether both
#                  cores were free while it was measured
#   listed files   1,000,000 paths in a --files-from list, all missing: peak RSS
#   usage: bench/scan_targets.sh RUNS KESTRONE_SCAN [KESTRONE_SCAN...]
set -euo pipefail
runs=${1:?usage: scan_targets.sh RUNS KESTRONE_SCAN [KESTRONE_SCAN...]}
shift
[ $# -gt 0 ] || { echo "usage: scan_targets.sh RUNS KESTRONE_SCAN [KESTRONE_SCAN...]" >&2; exit 64; }
for scan in "$@"; do
  [ -x "$scan" ] || { echo "no kestrone-scan at $scan (build it first)" >&2; exit 1; }
done
listed=${KESTRONE_BENCH_LISTED_FILES:-1000000}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pink() { # seed-left seed-right output
  ffmpeg -nostdin -v error -bitexact \
    -filter_complex "anoisesrc=seed=$1:sample_rate=44100:amplitude=0.5:color=pink:duration=30[l];anoisesrc=seed=$2:sample_rate=44100:amplitude=0.5:color=pink:duration=30[r];[l][r]join=inputs=2:channel_layout=stereo" \
    -c:a flac -sample_fmt s16 -bitexact -y "$3"
}
mkdir -p "$tmp/twelve" "$tmp/forty"
for i in $(seq 1 40); do
  pink $((2 * i + 10)) $((2 * i + 11)) "$tmp/forty/noise-$(printf %02d "$i").flac"
done
cp "$tmp"/forty/noise-0[1-9].flac "$tmp"/forty/noise-1[0-2].flac "$tmp/twelve/"
seq 1 "$listed" | sed "s|^|$tmp/missing/|; s|$|.flac|" > "$tmp/listed"

python3 - "$runs" "$tmp" "$listed" "$@" <<'PY'
import os, statistics, subprocess, sys, time
runs, tmp, listed = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
programs = sys.argv[4:]
twelve = sorted(os.path.join(tmp, "twelve", f) for f in os.listdir(os.path.join(tmp, "twelve")))

def child(argv):
    """Wall seconds, CPU seconds (user + system), minor faults and peak RSS (KiB) of
    one process, its own children included."""
    start = time.perf_counter()
    p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_minflt, usage.ru_maxrss

def flac_batch():
    return child(["sh", "-c", 'for f in "$@"; do flac -s -d -c "$f" > /dev/null; done', "sh"] + twelve)

def loops(count):
    """Wall time of `count` CPU-bound loops at once (the same fixed work each)."""
    start = time.perf_counter()
    ps = [subprocess.Popen(["sh", "-c", "i=0; while [ $i -lt 300000 ]; do i=$((i + 1)); done"]) for _ in range(count)]
    for p in ps:
        p.wait()
    return time.perf_counter() - start

print(f"load average before: {os.getloadavg()[0]:.2f}; medians of {runs} runs; CPU = user + system")
rows = {}
for program in programs:
    r = rows.setdefault(program, {})
    cpu_ratio, faults = [], []
    for _ in range(runs):
        _, scan_cpu, scan_faults, _ = child([program, "--jobs", "1", "--csv", "/dev/null"] + twelve)
        _, flac_cpu, _, _ = flac_batch()
        cpu_ratio.append(scan_cpu / flac_cpu)
        faults.append(scan_faults / len(twelve))
        r["cpu_per_file"] = r.get("cpu_per_file", []) + [scan_cpu / len(twelve) * 1000]
    r["cpu_ratio"] = statistics.median(cpu_ratio)
    r["faults"] = statistics.median(faults)
    r["cpu_per_file"] = statistics.median(r["cpu_per_file"])
    one, flac = [], []
    for _ in range(max(runs, 5)):
        one.append(child([program, "--csv", "/dev/null", twelve[0]])[0])
        flac.append(child(["flac", "-s", "-d", "-f", "-o", "/dev/null", twelve[0]])[0])
    r["one_ratio"] = statistics.median(one) / statistics.median(flac)
    r["version"] = statistics.median(child([program, "--version"])[0] for _ in range(100)) * 1000
    scaling, control = [], []
    for _ in range(runs):
        one_loop = loops(1)
        jobs1 = child([program, "--jobs", "1", "--jsonl", "/dev/null", os.path.join(tmp, "forty")])[0]
        jobs2 = child([program, "--jobs", "2", "--jsonl", "/dev/null", os.path.join(tmp, "forty")])[0]
        two_loops = loops(2)
        scaling.append(jobs1 / jobs2)
        control.append(2 * one_loop / two_loops)
    r["jobs"] = statistics.median(scaling)
    r["control"] = statistics.median(control)
    r["rss"] = child([program, "--jsonl", "/dev/null", "--files-from", os.path.join(tmp, "listed")])[3] / 1024

def name(p):
    return p if len(p) <= 40 else "..." + p[-37:]

print()
header = f"| {'target':52} | " + " | ".join(f"{name(p):>40}" for p in programs) + f" | {'goal':>10} |"
print(header)
print("|" + "|".join("-" * (len(c)) for c in header.split("|")[1:-1]) + "|")
for label, key, fmt, goal in (
        ("12 x 30 s FLAC --jobs 1: CPU per file / flac -d", "cpu_ratio", "{:.2f}x", "<= 3.0x"),
        ("12 x 30 s FLAC --jobs 1: CPU per file", "cpu_per_file", "{:.0f} ms", ""),
        ("12 x 30 s FLAC --jobs 1: minor page faults per file", "faults", "{:.0f}", "<= 2000"),
        ("one 30 s FLAC, whole process: wall / flac -d", "one_ratio", "{:.2f}x", "<= 2.5x"),
        ("kestrone-scan --version, wall", "version", "{:.1f} ms", "<= 10 ms"),
        ("40 x 30 s FLAC: --jobs 1 / --jobs 2", "jobs", "{:.2f}x", ">= 1.85x"),
        ("  control: one loop x 2 / two loops at once", "control", "{:.2f}x", "~ 2x"),
        (f"{listed:,} listed missing files: peak RSS", "rss", "{:.0f} MiB", "<= 150 MB")):
    print(f"| {label:52} | " + " | ".join(f"{fmt.format(rows[p][key]):>40}" for p in programs) + f" | {goal:>10} |")
print(f"\nload average after: {os.getloadavg()[0]:.2f}")
PY
