#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Real files whose verdicts the analysis end-to-end tests assert: padded,
# upsampled, AAC-transcoded, genuine, lossy, silent, short, multichannel and
# long material, made by sox, flac, ffmpeg, lame and kestrone-testgen.
#   usage: analysis.sh OUTDIR    (KESTRONE_TESTGEN names kestrone-testgen)
set -euo pipefail
out=${1:?usage: analysis.sh OUTDIR}
testgen=${KESTRONE_TESTGEN:?KESTRONE_TESTGEN must name kestrone-testgen}
cd "$out"
tmp=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# 16-bit noise stored in a 24-bit FLAC: every sample a multiple of 256.
sox -R -n -r 44100 -c 2 -b 16 "$tmp/noise16.wav" synth 5 whitenoise gain -6
sox -R "$tmp/noise16.wav" -b 24 padded-16in24-44100Hz-2ch-5s.flac

# Genuine 16-bit material: the same noise at its own width.
flac --silent --force -5 -o genuine-16bit-44100Hz-2ch-5s.flac "$tmp/noise16.wav"

# Genuine high resolution: broadband 96 kHz noise at 24 bits, gently rolled off.
ff -f lavfi -i "anoisesrc=d=5:c=white:r=96000:a=0.4:s=11" -f lavfi -i "anoisesrc=d=5:c=white:r=96000:a=0.4:s=12" \
  -filter_complex "[0][1]amerge=inputs=2,lowpass=f=30000:p=1" -c:a pcm_s24le -bitexact "$tmp/hires.wav"
flac --silent --force -5 -o genuine-24bit-96000Hz-2ch-5s.flac "$tmp/hires.wav"

# A 44.1 kHz source upsampled to 96 kHz (16-bit output, dithered by sox).
sox -R "$tmp/noise16.wav" -b 16 upsampled-44100to96000Hz-16bit-2ch-5s.flac rate -v 96000

# Sine-window AAC-like material on frame grid 517, and a quiet 24-bit mono WAV on grid 3.
"$testgen" synth-aac-sin aac-sin-synth-44100Hz-16bit-2ch-offset517.flac rate=44100 bits=16 channels=2 \
  seconds=10 offset=517 seed=1
"$testgen" synth-aac-sin aac-sin-synth-48000Hz-24bit-1ch-offset3.wav rate=48000 bits=24 channels=1 \
  seconds=6 offset=3 level=0.05 seed=2
"$testgen" synth-aac-sin aac-sin-synth-silent-left-44100Hz-2ch-offset200.flac rate=44100 bits=16 channels=2 \
  seconds=6 offset=200 silent=1 seed=3

# A real AAC encoding by ffmpeg: as encoded (KBD window), and with every
# frame's window_shape switched to the sine window before decoding.
ff -f lavfi -i "anoisesrc=d=10:c=pink:r=44100:a=0.3:s=21" -f lavfi -i "anoisesrc=d=10:c=pink:r=44100:a=0.3:s=22" \
  -filter_complex "[0][1]amerge=inputs=2" -c:a aac -b:a 160k -bitexact "$tmp/pink.aac"
"$testgen" adts-sine-window "$tmp/pink.aac" "$tmp/pink-sine.aac"
ff -i "$tmp/pink-sine.aac" -c:a pcm_s16le -bitexact "$tmp/pink-sine.wav"
ff -i "$tmp/pink.aac" -c:a pcm_s16le -bitexact "$tmp/pink-kbd.wav"
flac --silent --force -5 -o aac-sine-window-transcode-44100Hz-2ch-10s.flac "$tmp/pink-sine.wav"
flac --silent --force -5 -o aac-kbd-transcode-44100Hz-2ch-10s.flac "$tmp/pink-kbd.wav"

# Lossy inputs.
lame --quiet -b 192 "$tmp/noise16.wav" lossy-mp3-44100Hz-2ch-5s.mp3
ff -i "$tmp/noise16.wav" -c:a aac -b:a 128k -bitexact lossy-aac-44100Hz-2ch-5s.m4a

# Silence, a 1.9 s clip, a pure tone, 6 channels, and more than 30 s.
sox -D -R -n -r 44100 -c 2 -b 16 silence-44100Hz-2ch-5s.flac trim 0 5
sox -R -n -r 44100 -c 2 -b 16 short-44100Hz-2ch-1.9s.flac synth 1.9 whitenoise gain -6
sox -D -R -n -r 44100 -c 1 -b 16 tone-1000Hz-44100Hz-1ch-5s.flac synth 5 sine 1000 gain -6
sox -R -n -r 48000 -c 6 -b 16 multichannel-48000Hz-6ch-3s.flac synth 3 whitenoise gain -6
sox -R -n -r 48000 -c 2 -b 16 long-48000Hz-2ch-35s.flac synth 35 whitenoise gain -6
