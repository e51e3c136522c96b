#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Test audio for kestrone-scan, into OUTDIR (one folder per use):
#   mixed/      a small library: good files of several codecs in nested folders,
#               files that fail to decode, files the walk must skip (other
#               extensions, a link to a file, a link to a folder)
#   extra/      a file with an unsupported extension, named explicitly by tests
#   interrupt/  three 1 s files and sixteen 30 s files, for stopping a run part-way
# Deterministic: sox -R, fixed inputs; encoders run without timestamps.
set -euo pipefail
out=${1:?usage: scan.sh OUTDIR}
rm -rf "$out/mixed" "$out/extra" "$out/interrupt"
mkdir -p "$out/mixed/Album/Disc 2" "$out/extra" "$out/interrupt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

m=$out/mixed
sox -R -n -r 44100 -b 16 -c 2 "$m/a-pink-2ch-44100Hz-16bit.flac" synth 2 pinknoise vol 0.5
sox -R -n -r 48000 -b 24 -c 2 "$m/b-white-2ch-48000Hz-24bit.wav" synth 2 whitenoise vol 0.5
# 16-bit samples stored in 24 bits: the low 8 bits stay zero.
sox -R -n -r 44100 -b 16 -c 2 "$tmp/16bit.wav" synth 2 pinknoise vol 0.5
sox -R "$tmp/16bit.wav" -b 24 "$m/Album/c-pink-2ch-44100Hz-16in24.flac"
sox -R -n -r 44100 -b 16 -c 1 "$m/Album/d-pink-1ch-44100Hz-16bit-upper.FLAC" synth 2 pinknoise vol 0.5
lame --quiet --noreplaygain -b 192 "$tmp/16bit.wav" "$m/Album/Disc 2/e-pink-2ch-44100Hz-192k.mp3"
# A FLAC cut after 6000 bytes: the stream declares more samples than it holds.
head -c 6000 "$m/a-pink-2ch-44100Hz-16bit.flac" > "$m/f-truncated.flac"
printf 'This is not a WAV file.\n' > "$m/g-text-named.wav"
printf 'liner notes\n' > "$m/notes.txt"
cp "$m/a-pink-2ch-44100Hz-16bit.flac" "$m/h-skipped-extension.mpc"
ln -s a-pink-2ch-44100Hz-16bit.flac "$m/link-to-a.flac"
ln -s Album "$m/linked-album"

printf 'not audio\n' > "$out/extra/readme.txt"

i=$out/interrupt
for n in 1 2 3; do
  sox -R -n -r 44100 -b 16 -c 2 "$i/a-short-$n.flac" synth 1 pinknoise vol 0.5
done
for n in $(seq -w 1 16); do
  sox -R -n -r 44100 -b 16 -c 2 "$i/z-long-$n.flac" synth 30 pinknoise vol 0.5
done
