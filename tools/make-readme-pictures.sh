#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the two spectrogram pictures of the README with the program itself:
# a synthetic genuine CD-quality file (tones with harmonics up to 21.5 kHz and
# short broadband clicks) and the same audio after a 128 kb/s MP3 round trip,
# stored as FLAC again. The audio is made in a temporary folder and removed;
# only the pictures are written, into docs/.
#   usage: tools/make-readme-pictures.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size=720x420 # keeps each picture small enough to commit

cmake --build "$build" --target kestrone-picture >/dev/null
picture=$build/tools/kestrone-picture

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Six held notes of 5 s, each a sum of harmonics k x f at level 1 / k up to
# 21.5 kHz (sox makes one channel per tone; remix adds them with their levels).
notes=()
i=0
for f in 440 494 523 587 659 523; do
  i=$((i + 1))
  count=$((21500 / f))
  tones=()
  levels=""
  for k in $(seq 1 "$count"); do
    tones+=(sine $((f * k)))
    levels+="${levels:+,}${k}v$(awk -v k="$k" 'BEGIN { printf "%.6f", 0.25 / k }')"
  done
  sox -R -n -r 44100 -b 24 -c "$count" "$tmp/all-$i.wav" synth 5 "${tones[@]}" remix "$levels" fade q 0.05 5 0.3
  sox -R "$tmp/all-$i.wav" -c 2 "$tmp/note-$i.wav" remix 1 1
  notes+=("$tmp/note-$i.wav")
done
sox -R "${notes[@]}" "$tmp/tones.wav"
# A 60 ms click of white noise every 2 s.
sox -R -n -r 44100 -b 24 -c 2 "$tmp/clicks.wav" synth 0.06 whitenoise fade q 0.002 0.06 0.05 vol 0.15 \
  pad 0.97 0.97 repeat 14
sox -R -m "$tmp/tones.wav" "$tmp/clicks.wav" -b 16 "$tmp/genuine-cd.flac" trim 0 30 dither -s

sox -R "$tmp/genuine-cd.flac" "$tmp/cd.wav"
lame --quiet -b 128 "$tmp/cd.wav" "$tmp/transcode.mp3"
ffmpeg -nostdin -v error -bitexact -i "$tmp/transcode.mp3" -c:a flac -sample_fmt s16 -bitexact -y \
  "$tmp/mp3-128k-transcode.flac"

mkdir -p "$root/docs"
"$picture" --size "$size" "$tmp/genuine-cd.flac" "$root/docs/spectrogram-genuine.png"
"$picture" --size "$size" "$tmp/mp3-128k-transcode.flac" "$root/docs/spectrogram-mp3-transcode.png"
ls -l "$root/docs/spectrogram-genuine.png" "$root/docs/spectrogram-mp3-transcode.png"
