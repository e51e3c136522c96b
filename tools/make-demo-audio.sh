#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the demo set that ./run analyses when it is given no paths: one file
# for each verdict a user can meet, 10 s each, the same bytes on every run.
#   usage: make-demo-audio.sh OUTDIR KESTRONE_TESTGEN
#   genuine-96k-24bit.flac        broadband 96 kHz / 24-bit material: "No evidence" everywhere
#   padded-16-in-24bit.flac       16-bit audio stored in a 24-bit FLAC: Upscaling "Evidence found"
#   upsampled-44k1-to-96k.flac    a 44.1 kHz source resampled to 96 kHz: Upsampling "Possible"
#   aac-transcode-in-flac.flac    an AAC encoding decoded into FLAC: AAC-SIN "Possible"
#   lossy-input.mp3               an MP3: AAC-SIN "Not applicable"
set -euo pipefail
out=${1:?usage: make-demo-audio.sh OUTDIR KESTRONE_TESTGEN}
testgen=${2:?usage: make-demo-audio.sh OUTDIR KESTRONE_TESTGEN}
mkdir -p "$out"
tmp=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Two independent channels of seeded ffmpeg noise (sox's generators stop near
# 24 kHz, too low for 96 kHz material).
ff -f lavfi -i "anoisesrc=d=10:c=white:r=96000:a=0.35:s=101" -f lavfi -i "anoisesrc=d=10:c=white:r=96000:a=0.35:s=102" \
  -filter_complex "[0][1]amerge=inputs=2,lowpass=f=25000:p=1" -c:a pcm_s24le -bitexact "$tmp/hires.wav"
flac --silent --force -8 -o "$tmp/genuine-96k-24bit.flac" "$tmp/hires.wav"

# A CD-like 44.1 kHz / 16-bit source of pink noise, the material of the other files.
sox -R -n -r 44100 -c 2 -b 16 "$tmp/cd.wav" synth 10 pinknoise pinknoise gain -8
sox -R "$tmp/cd.wav" -b 24 "$tmp/padded-16-in-24bit.flac"
sox -R "$tmp/cd.wav" -b 16 "$tmp/upsampled-44k1-to-96k.flac" rate -v 96000
lame --quiet -b 192 "$tmp/cd.wav" "$tmp/lossy-input.mp3"

# ffmpeg's AAC encoder codes with the KBD window, which the fingerprint does
# not model; its stream is decoded with every frame switched to the sine
# window, which is what a sine-window encoder's output decodes to.
ff -i "$tmp/cd.wav" -c:a aac -b:a 128k -bitexact "$tmp/transcode.aac"
"$testgen" adts-sine-window "$tmp/transcode.aac" "$tmp/transcode-sine.aac"
ff -i "$tmp/transcode-sine.aac" -c:a pcm_s16le -bitexact "$tmp/transcode.wav"
flac --silent --force -8 -o "$tmp/aac-transcode-in-flac.flac" "$tmp/transcode.wav"

for name in genuine-96k-24bit.flac padded-16-in-24bit.flac upsampled-44k1-to-96k.flac aac-transcode-in-flac.flac \
  lossy-input.mp3; do
  mv -f "$tmp/$name" "$out/$name"
done
