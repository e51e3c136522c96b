#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The ORIGIN evaluation: a wider set than the tests (more sources, styles,
# rates and settings) through real encoders and resamplers, plus genuine
# material, and the table of hits and false accusations per class and setting.
# Not part of ./test; takes a few minutes.
#   usage: tools/origin-eval.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR defaults to build/ (kestrone-testgen must be built there); the
# files and the per-file report (origin-eval.tsv) stay in WORK_DIR
# (default: a temporary folder, removed at the end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
testgen=$build/tools/kestrone-testgen
[ -x "$testgen" ] || { echo "build kestrone-testgen first (cmake --build $build --target kestrone-testgen)" >&2; exit 64; }
if [ -n "${2:-}" ]; then
  work=$(mkdir -p "$2" && cd "$2" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
# shellcheck source=origin-transcode.sh
source "$root/tools/origin-transcode.sh"
mkdir -p "$work/src" "$work/files" "$work/tmp"
styles=(band acoustic electronic)

# Sources: six at 44.1 kHz, two at 48 kHz, two at 32 kHz (16-bit); genuine 24-bit ones at 44.1, 48,
# 88.2, 96 and 192 kHz.
# Genuine: 52 files of 41 sources, none of them ever through a lossy encoder or a resampler.
for i in 0 1 2 3 4 5; do
  "$testgen" synth-music "$work/src/s44-$i.wav" rate=44100 bits=16 seconds=20 seed=$((21 + i)) style=${styles[$((i % 3))]}
done
for i in 0 1; do
  "$testgen" synth-music "$work/src/s48-$i.wav" rate=48000 bits=16 seconds=20 seed=$((31 + i)) style=${styles[$((i % 3))]}
done
for i in 0 1; do
  "$testgen" synth-music "$work/src/s32-$i.wav" rate=32000 bits=16 seconds=20 seed=$((91 + i)) style=${styles[$((i + 1))]}
done
for i in 0 1 2 3 4 5; do
  cp "$work/src/s44-$i.wav" "$work/files/genuine_16bit-44100-s44-$i.wav"
done
for i in 0 1; do
  cp "$work/src/s48-$i.wav" "$work/files/genuine_16bit-48000-s48-$i.wav"
  cp "$work/src/s32-$i.wav" "$work/files/genuine_16bit-32000-s32-$i.wav"
done
# Genuine material with quiet highs from a gentle mastering lowpass (2 poles at 20 kHz).
# MPEG-2 Layer III: sources at 22.05 and 24 kHz, LAME at 64 kb/s.
for i in 0 1; do
  "$testgen" synth-music "$work/src/s22-$i.wav" rate=22050 bits=16 seconds=10 seed=$((71 + i)) style=${styles[$i]}
  "$testgen" synth-music "$work/src/s24-$i.wav" rate=24000 bits=16 seconds=10 seed=$((81 + i)) style=${styles[$i]}
  cp "$work/src/s22-$i.wav" "$work/files/genuine_16bit-22050-s22-$i.wav"
  cp "$work/src/s24-$i.wav" "$work/files/genuine_16bit-24000-s24-$i.wav"
done
for i in 0 1 2; do
  sox -R "$work/src/s44-$i.wav" "$work/files/genuine_lowpassed-20k-s44-$i.flac" lowpass 20000
  # A steep linear-phase mastering brickwall at 20 kHz: an edge as high and hard as MP3 320's.
  sox -R "$work/src/s44-$((i + 3)).wav" "$work/files/genuine_brickwall-20k-s44-$((i + 3)).flac" sinc -20000 -t 300
done
# Mono, quiet (30 dB down, 16 bits), and sox's own synthesis (a pluck per channel under pink noise).
for i in 0 1; do
  sox -R "$work/src/s44-$i.wav" "$work/files/genuine_mono-44100-s44-$i.flac" remix 1,2
  sox -R "$work/src/s44-$((i + 2)).wav" -b 16 "$work/files/genuine_quiet-44100-s44-$((i + 2)).flac" vol -30dB
  sox -R -n -r 44100 -b 16 -c 2 "$work/files/genuine_soxsynth-44100-n$i.flac" synth 12 pluck $((110 + 55 * i)) \
    pluck $((165 + 55 * i)) synth 12 pinknoise mix tremolo 3 60 vol 0.5
done
for i in 0 1 2; do
  "$testgen" synth-music "$work/files/genuine_24bit-96000-g96-$i.flac" rate=96000 bits=24 seconds=8 seed=$((41 + i)) style=${styles[$i]}
  "$testgen" synth-music "$work/files/genuine_24bit-48000-g48-$i.flac" rate=48000 bits=24 seconds=8 seed=$((51 + i)) style=${styles[$i]}
  "$testgen" synth-music "$work/files/genuine_24bit-44100-g44-$i.flac" rate=44100 bits=24 seconds=8 seed=$((61 + i)) style=${styles[$i]}
done
# Genuine high-rate material whose highs fade as acoustic sources and analog chains make them:
# more seeds at 96 kHz, 88.2 and 192 kHz, one 16-bit; pink and white noise through gentle analog-like
# lowpasses (2 poles at 30 kHz, 1 pole at 25 kHz, 6 poles at 20 kHz: a fade through 22-24 kHz);
# music through a 1-pole lowpass at 12 kHz, 2 + 2 poles at 16 and 20 kHz, 4 poles at 25 kHz.
for i in 3 4 5; do
  "$testgen" synth-music "$work/files/genuine_24bit-96000-g96-$i.flac" rate=96000 bits=24 seconds=8 seed=$((41 + i)) style=${styles[$((i % 3))]}
done
for i in 0 1; do
  "$testgen" synth-music "$work/files/genuine_24bit-88200-g88-$i.flac" rate=88200 bits=24 seconds=8 seed=$((101 + i)) style=${styles[$i]}
  "$testgen" synth-music "$work/files/genuine_24bit-192000-g192-$i.flac" rate=192000 bits=24 seconds=8 seed=$((111 + i)) style=${styles[$((i + 1))]}
done
"$testgen" synth-music "$work/files/genuine_16bit-96000-g96-6.flac" rate=96000 bits=16 seconds=8 seed=47 style=acoustic
for n in white pink; do
  sox -R -r 96000 -n -b 24 -c 2 "$work/files/genuine_noise-96000-${n}_lp30k.flac" synth 8 ${n}noise vol 0.5 lowpass 30000
  sox -R -r 96000 -n -b 24 -c 2 "$work/files/genuine_noise-96000-${n}_lp1pole25k.flac" synth 8 ${n}noise vol 0.5 lowpass -1 25000
  sox -R -r 96000 -n -b 24 -c 2 "$work/files/genuine_noise-96000-${n}_lp6pole20k.flac" synth 8 ${n}noise vol 0.5 \
    lowpass 20000 lowpass 20000 lowpass 20000
done
"$testgen" synth-music "$work/src/g96-fade.wav" rate=96000 bits=24 seconds=8 seed=121 style=acoustic
"$testgen" synth-music "$work/src/g96-fade2.wav" rate=96000 bits=24 seconds=8 seed=122 style=band
sox -R "$work/src/g96-fade.wav" "$work/files/genuine_fade-96000-lp1pole12k.flac" lowpass -1 12000
sox -R "$work/src/g96-fade.wav" "$work/files/genuine_fade-96000-lp16k20k.flac" lowpass 16000 lowpass 20000
sox -R "$work/src/g96-fade2.wav" "$work/files/genuine_fade-96000-lp4pole25k.flac" lowpass 25000 lowpass 25000

run() { # CLASS SETTING SOURCE; the file is named CLASS-SETTING-SOURCE with - in CLASS as _
  transcode "$1" "$2" "$work/src/$3.wav" "$work/files/${1//-/_}-$2-$3.flac" "$work/tmp" 2>/dev/null ||
    echo "failed: $1 $2 $3" >&2
}
for i in 0 1 2 3 4 5; do
  s=s44-$i
  for setting in b128 b192 b320 v0 v2; do run mp3 $setting $s; done
  for setting in 128k 256k; do run aac $setting $s; done
  run aac24 128k $s
  run voaac 128k $s
  for setting in q3 q6 q9; do run vorbis $setting $s; done
  run ffvorbis q6 $s
  for setting in 192k 448k; do run ac3 $setting $s; done
  run eac3 256k $s
  run aac 320k $s
  for setting in 96k 160k; do run opus $setting $s; done
  for setting in 96k 160k 256k; do
    run ffopus44 $setting $s
    run soxopus44 $setting $s
  done
  for setting in 128k 160k 192k; do run mp2 $setting $s; done
  run sox-vhq 96000 $s
  run sox-vhq 88200 $s
  run sox-quick 96000 $s
  run sox-quick 88200 $s
  run sox-low 96000 $s
  run swr 96000 $s
  run swr 88200 $s
  run swr 192000 $s
  run swrsoxr 96000 $s
done
for i in 0 1 2; do
  run sox-quick24 96000 s44-$i
  run swr24 96000 s44-$i
done
for i in 0 1; do
  s=s48-$i
  run sox-quick 96000 $s
  run sox-low 96000 $s
  run swr 96000 $s
  run swr 192000 $s
  run swr24 192000 $s
  run sox-quick 96000 s32-$i
  run swr 96000 s32-$i
  for setting in b128 v2; do run mp3 $setting $s; done
  run aac 128k $s
  run opus 96k $s
  run opus48 256k $s
  for setting in 96k 160k 256k; do run ffopus $setting $s; done
  run vorbis q3 $s
  run vorbis q6 $s
  run ac3 192k $s
  run sox-vhq 96000 $s
done

for i in 0 1; do
  run mp3 b64 s22-$i
  run mp3 b64 s24-$i
done

"$testgen" origin-report "$work"/files/* > "$work/origin-eval.tsv" || true

python3 - "$work/origin-eval.tsv" <<'PY'
import collections, os, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1])]
head, rows = rows[0], rows[1:]
col = {name: i for i, name in enumerate(head)}
# What counts as found, per class: the codec's own grid where it has one,
# any flag (a lowpass or a lower-rate boundary) for the others.
aac = {"aac-kbd-grid", "aac-sin-grid", "aac-ms-grid"}
own = {"mp3": {"mp3-grid"}, "aac": aac, "aac24": aac, "voaac": aac, "vorbis": {"vorbis-grid"},
       "ffvorbis": {"vorbis-grid"}, "ac3": {"ac3-grid"}, "eac3": {"ac3-grid"}, "opus": {"opus-grid"},
       "opus48": {"opus-grid"}, "ffopus": {"opus-grid"}, "ffopus44": {"opus-grid"}, "soxopus44": {"opus-grid"}}
grids = {"mp3-grid", "aac-kbd-grid", "aac-sin-grid", "aac-ms-grid", "vorbis-grid", "ac3-grid", "opus-grid"}
stats = collections.OrderedDict()
cpu = collections.defaultdict(list)
for r in rows:
    name = os.path.basename(r[0])
    cls, setting = name.split("-")[0], name.split("-")[1]
    key = (cls, setting)
    s = stats.setdefault(key, {"n": 0, "grid": 0, "flag": 0, "wrong_grid": 0, "evidence": 0, "traces": collections.Counter()})
    s["n"] += 1
    if r[1] == "error":
        s["traces"]["error"] += 1
        continue
    status, trace = r[col["status"]], r[col["trace"]]
    cpu[cls].append(float(r[col["cpu_ms"]]))
    flagged = status in ("Evidence found", "Possible")
    s["flag"] += flagged
    s["evidence"] += status == "Evidence found"
    s["traces"][trace if flagged else "none"] += 1
    if cls in own:
        s["grid"] += trace in own[cls]
    elif trace in grids:
        s["wrong_grid"] += 1

print(f"{'class':<14}{'setting':<9}{'files':>6}{'own grid':>10}{'flagged':>9}{'other grid':>12}  traces")
for (cls, setting), s in stats.items():
    grid = f"{s['grid']}" if cls in own else "-"
    traces = ", ".join(f"{t} {c}" for t, c in sorted(s["traces"].items()))
    print(f"{cls:<14}{setting:<9}{s['n']:>6}{grid:>10}{s['flag']:>9}{s['wrong_grid']:>12}  {traces}")
genuine = [s for (c, _), s in stats.items() if c.startswith("genuine")]
accused = sum(s["flag"] for s in genuine)
print(f"\ngenuine files: {sum(s['n'] for s in genuine)}, accused (Possible or Evidence found): {accused}")
print("median ORIGIN CPU ms per file: " + ", ".join(
    f"{c} {sorted(v)[len(v) // 2]:.0f}" for c, v in sorted(cpu.items())))
PY
