#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the analysis benchmarks and prints one table with the
# targets: the transforms against their reference forms, analyzeFile on a 30 s
# 44.1 kHz 16-bit stereo FLAC next to libFLAC decoding the same file, the
# headless analysis of 20 such files with one analysis thread and with all
# cores, and the peak memory of `kestrone --analyze-test` on that file and on a
# file at the frame limit (8 channels x 3,000,000 samples, 192 kHz float WAV), and
# the spectrogram of the default picture against analyzeFile of the same file,
# then kestrone-scan's start-up (bench/scan_startup.sh: --version, and one 30 s
# FLAC against flac -d as whole processes; medians).
# Timings are the minimum over the repetitions (wall time); the load average
# is printed before and after, since the figures mean little on a busy machine.
# A second table (bench/scan_scale.sh) covers kestrone-scan on libraries:
# start-up against flac -d, --jobs 2 against 1, a cached re-scan against the
# first, and 1,000 to 100,000 files (time per file, peak RSS). Between them,
# bench/scan_targets.sh gives each per-file target's row (the previous release's
# kestrone-scan beside it when KESTRONE_PREVIOUS_SCAN names one).
#   usage: [KESTRONE_PREVIOUS_SCAN=PATH] tools/run-benchmarks.sh [BUILD_DIR] [REPETITIONS] [CMAKE_ARGS...]
# BUILD_DIR defaults to build-bench/ (configured with -DKESTRONE_BUILD_BENCH=ON).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
reps=${2:-5}
shift $(( $# > 2 ? 2 : $# ))

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRONE_BUILD_BENCH=ON "$@" >/dev/null
cmake --build "$build" --target kestrone-bench kestrone kestrone-scan -j"$(nproc)" >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/folder"
# Pink noise, a different fixed seed per channel and file.
pink() {
  ffmpeg -nostdin -v error -bitexact \
    -filter_complex "anoisesrc=seed=$1:sample_rate=44100:amplitude=0.5:color=pink:duration=30[l];anoisesrc=seed=$2:sample_rate=44100:amplitude=0.5:color=pink:duration=30[r];[l][r]join=inputs=2:channel_layout=stereo" \
    -c:a flac -sample_fmt s16 -bitexact -y "$3"
}
pink 1 2 "$tmp/bench-30s.flac"
for i in $(seq 1 20); do
  pink $((2 * i + 100)) $((2 * i + 101)) "$tmp/folder/noise-$(printf %02d "$i").flac"
done
# 5 minutes at 96 kHz, 24-bit: the spectrogram against analyzeFile on a long high-rate file.
ffmpeg -nostdin -v error -bitexact \
  -filter_complex "anoisesrc=seed=7:sample_rate=96000:amplitude=0.5:color=pink:duration=300[l];anoisesrc=seed=8:sample_rate=96000:amplitude=0.5:color=pink:duration=300[r];[l][r]join=inputs=2:channel_layout=stereo" \
  -c:a flac -sample_fmt s32 -bitexact -y "$tmp/bench-5min-96kHz.flac"
sox -R -n -r 192000 -c 8 -b 32 -e floating-point "$tmp/limit-8ch-192kHz-float.wav" synth 16 whitenoise gain -6

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/bench/kestrone-bench" --audio-dir="$tmp" --benchmark_repetitions="$reps" \
  --benchmark_format=json --benchmark_out="$tmp/bench.json" --benchmark_out_format=json >/dev/null

peak_kib() {
  /usr/bin/time -v "$build/app/kestrone" --analyze-test "$tmp/memory.json" "$1" 2>&1 >/dev/null |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}
mem_30s=$(peak_kib "$tmp/bench-30s.flac")
mem_limit=$(peak_kib "$tmp/limit-8ch-192kHz-float.wav")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$tmp/bench.json" "$mem_30s" "$mem_limit" "$load_before" "$load_after" "$reps" <<'PY'
import json, sys
path, mem30, memlimit, before, after, reps = sys.argv[1:]
runs = json.load(open(path))
best = {}
best_cpu = {}
for b in runs["benchmarks"]:
    if b.get("run_type") != "iteration":
        continue
    name = b["run_name"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    t = b["real_time"] * scale
    best[name] = min(best.get(name, t), t)
    c = b["cpu_time"] * scale
    best_cpu[name] = min(best_cpu.get(name, c), c)

def find(prefix):
    hits = [n for n in best if n.startswith(prefix)]
    return (hits[0], best[hits[0]]) if hits else (prefix, float("nan"))

print(f"machine: {runs['context'].get('num_cpus')} CPUs; load average before {before}, after {after}; "
      f"minimum wall time of {reps} repetitions")
print()
print(f"{'benchmark':58} {'time':>12}")
for name, t in best.items():
    label = name.replace("/real_time", "").replace("/iterations:1", "")
    print(f"{label:58} {t:9.3f} ms" if t >= 0.1 else f"{label:58} {t * 1000:9.2f} us")
print()

def fastest(prefix, suffix=""):
    """The quickest SIMD level of one transform (the portable set is left out)."""
    names = [n for n in best if n.startswith(prefix) and n.endswith(suffix)
             and "reference" not in n and "portable" not in n]
    return min(names, key=lambda n: best[n]) if names else None

rows = []
for label, ref_name, prefix, suffix, goal in (
        ("SineMdct::forward", "SineMdct::forward/reference", "SineMdct::forward/", "", 4.0),
        ("fft 2048", "fft/reference/2048", "fft/", "/2048", None),
        ("fft 4096", "fft/reference/4096", "fft/", "/4096", None)):
    fast = fastest(prefix, suffix)
    if ref_name in best and fast:
        r = best[ref_name] / best[fast]
        level = fast[len(prefix):len(fast) - len(suffix)] if suffix else fast[len(prefix):]
        rows.append((f"{label} reference / fast ({level})", f"{r:.2f}x", f">= {goal:g}x" if goal else "",
                     r >= goal if goal else True))
_, analyze_all = find("analyzeFile/fast/threads:" + str(runs["context"].get("num_cpus")))
_, analyze_one = find("analyzeFile/fast/threads:1/")
_, analyze_ref = find("analyzeFile/reference/threads:1")
_, flac = find("libFLAC decode only")
rows.append(("analyzeFile 30 s stereo FLAC, all cores", f"{analyze_all:.1f} ms", "<= 100 ms", analyze_all <= 100))
rows.append(("analyzeFile / libFLAC decode of the same file", f"{analyze_all / flac:.2f}x", "<= 4x",
             analyze_all / flac <= 4))
rows.append(("analyzeFile reference path (1 thread) / fast (all cores)", f"{analyze_ref / analyze_all:.2f}x", "", True))
_, folder_one = find("folder --analyze-test/threads:1")
_, folder_all = find("folder --analyze-test/threads:" + str(runs["context"].get("num_cpus")))
rows.append(("folder of 20 files: 1 thread / all cores", f"{folder_one / folder_all:.2f}x", ">= 1.8x",
             folder_one / folder_all >= 1.8))
rows.append(("peak memory --analyze-test, 30 s file", f"{int(mem30) / 1024:.1f} MB", "<= 60 MB",
             int(mem30) / 1024 <= 60))
rows.append(("peak memory --analyze-test, 24,000,000 samples", f"{int(memlimit) / 1024:.1f} MB", "<= 250 MB",
             int(memlimit) / 1024 <= 250))
cores = str(runs["context"].get("num_cpus"))
for file, label in (("bench-30s.flac", "30 s 44.1 kHz"), ("bench-5min-96kHz.flac", "5 min 96 kHz")):
    # One thread: CPU time, the whole work even on a busy machine. All cores: wall time.
    for threads, times, kind in (("1", best_cpu, "CPU"), (cores, best, "wall")):
        a_name, _ = find(f"analyzeFile/{file}/threads:{threads}/")
        s_name, _ = find(f"computeSpectrogram/{file}/frame:4096/threads:{threads}/")
        ratio = times.get(s_name, float("nan")) / times.get(a_name, float("nan"))
        rows.append((f"spectrogram / analyzeFile, {label}, {threads} thread(s), {kind}",
                     f"{ratio:.2f}", "<= 0.30", ratio <= 0.30))
print(f"{'target':58} {'measured':>12} {'goal':>10}  met")
for label, value, goal, met in rows:
    print(f"{label:58} {value:>12} {goal:>10}  {'yes' if met else 'NO'}")
PY
echo
"$root/bench/scan_startup.sh" 20 "$build/scan/kestrone-scan"

# The cost of a file: CPU and page faults per file against flac -d, start-up,
# --jobs 2 with a control, and the memory of a list of 1,000,000 files. With
# KESTRONE_PREVIOUS_SCAN naming the previous release's kestrone-scan, its
# figures stand beside this build's, measured in the same run.
echo
"$root/bench/scan_targets.sh" 3 "$build/scan/kestrone-scan" ${KESTRONE_PREVIOUS_SCAN:+"$KESTRONE_PREVIOUS_SCAN"}

# kestrone-scan at library scale: start-up, jobs, the cache and 100,000 files.
echo
"$root/bench/scan_scale.sh" "$build/scan/kestrone-scan" 3 "${KESTRONE_BENCH_MAX_FILES:-100000}"
