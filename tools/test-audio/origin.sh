#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Music-like material (kestrone-testgen synth-music: drums, bass, chords, a
# plucked lead, a quiet passage) through real lossy encoders and resamplers,
# decoded and stored as FLAC, plus genuine material at 44.1, 48 and 96 kHz:
# the files whose ORIGIN verdicts the analysis tests assert.
#   usage: origin.sh OUTDIR    (KESTRONE_TESTGEN names kestrone-testgen)
set -euo pipefail
out=${1:?usage: origin.sh OUTDIR}
testgen=${KESTRONE_TESTGEN:?KESTRONE_TESTGEN must name kestrone-testgen}
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../origin-transcode.sh
source "$here/origin-transcode.sh"
out=$(cd "$out" && pwd)
cd "$out"
tmp=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

"$testgen" synth-music "$tmp/band.wav" rate=44100 bits=16 seconds=8 seed=11 style=band
"$testgen" synth-music "$tmp/acoustic.wav" rate=44100 bits=16 seconds=8 seed=12 style=acoustic
"$testgen" synth-music "$tmp/electronic48.wav" rate=48000 bits=16 seconds=8 seed=13 style=electronic
"$testgen" synth-music "$tmp/band22.wav" rate=22050 bits=16 seconds=8 seed=16 style=band

# Genuine material: never to be accused.
flac --silent --force -5 -o genuine-band-44100.flac "$tmp/band.wav"
flac --silent --force -5 -o genuine-acoustic-44100.flac "$tmp/acoustic.wav"
flac --silent --force -5 -o genuine-electronic-48000.flac "$tmp/electronic48.wav"
flac --silent --force -5 -o genuine-band-22050.flac "$tmp/band22.wav"
"$testgen" synth-music genuine-band-96000-24bit.flac rate=96000 bits=24 seconds=6 seed=14 style=band
"$testgen" synth-music genuine-acoustic-48000-24bit.flac rate=48000 bits=24 seconds=6 seed=15 style=acoustic
# High-rate material whose highs fade through 22-24 kHz as acoustic sources and
# analog chains make them: music through one pole at 12 kHz, pink noise
# through two poles at 30 kHz.
"$testgen" synth-music "$tmp/acoustic96.wav" rate=96000 bits=24 seconds=6 seed=17 style=acoustic
sox -R "$tmp/acoustic96.wav" genuine-fade-acoustic-96000-24bit.flac lowpass -1 12000
sox -R -r 96000 -n -b 24 -c 2 genuine-pink-96000-24bit.flac synth 6 pinknoise vol 0.5 lowpass 30000

# Lossy transcodes, named CLASS-SETTING-SOURCE.flac.
while read -r class setting source; do
  transcode "$class" "$setting" "$tmp/$source.wav" "$class-$setting-$source.flac" "$tmp" 2>/dev/null
done <<'LIST'
mp3 b128 band
mp3 b192 band
mp3 b320 band
mp3 v0 band
mp3 v2 band
mp3 b128 acoustic
mp3 b128 electronic48
mp3 b64 band22
aac 128k band
aac 256k band
aac24 128k band
voaac 128k band
vorbis q3 band
vorbis q6 band
vorbis q9 acoustic
ffvorbis q6 band
ac3 192k band
ac3 448k acoustic
eac3 256k band
opus 96k band
opus 160k band
ffopus 160k electronic48
ffopus44 160k band
mp2 192k band
brickwall sinc band
brickwall lowpass acoustic
sox-vhq 96000 band
swr 96000 band
sox-quick 96000 band
sox-quick 88200 electronic48
swr 88200 band
swr 96000 electronic48
LIST

# A lossy input file as such, and a clip too short to judge.
lame --quiet -b 128 "$tmp/band.wav" lossy-input.mp3
sox "$tmp/band.wav" short-1.5s.flac trim 0 1.5
