#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Short real files for the window and queue tests, one per verdict colour.
#   usage: ui.sh OUTDIR
set -euo pipefail
out=${1:?usage: ui.sh OUTDIR}
tmp=$(mktemp -d "$out/.tmp.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Full 16-bit resolution broadband noise: Upscaling "No evidence".
sox -R -n -r 44100 -b 16 -c 2 "$tmp/noise.wav" synth 3 whitenoise vol 0.5
flac --silent --force -o "$out/2ch-44100Hz-16bit-noise.flac" "$tmp/noise.wav"

# 16-bit audio stored in 24-bit samples: Upscaling "Evidence found".
sox -R "$tmp/noise.wav" -r 48000 -b 16 "$tmp/noise48.wav"
sox -R "$tmp/noise48.wav" -b 24 "$out/2ch-48000Hz-16in24-padded.flac"

# A lossy source: Upscaling "Inconclusive", AAC-SIN "Not applicable".
lame --quiet -b 128 "$tmp/noise.wav" "$out/2ch-44100Hz-128k.mp3"

# Not audio at all: analysis fails with the decoder's message.
printf 'not audio\n' > "$out/not-audio.txt"
