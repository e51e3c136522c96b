#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Small real files for the end-to-end runs of the kestrone program.
#   usage: app.sh OUTDIR
set -euo pipefail
out=${1:?usage: app.sh OUTDIR}
cd "$out"

# 1 s of 48 kHz stereo, 16 bit: a tone on the left, seeded pink noise on the right.
sox -R -n -r 48000 -c 2 -b 16 -e signed-integer 2ch-48000Hz-16bit-1s.wav synth 1 sine 440 pinknoise gain -9

# 1 s of 44.1 kHz mono noise at 24 bit, encoded by the flac tool.
sox -R -n -r 44100 -c 1 -b 24 -e signed-integer -L -t raw - synth 1 whitenoise gain -9 |
  flac --silent --force -5 --force-raw-format --endian=little --sign=signed --channels=1 --bps=24 \
    --sample-rate=44100 -o 1ch-44100Hz-24bit-1s.flac -

# 3 s of 44.1 kHz stereo 16-bit FLAC, the "a.flac" of the analysis run.
sox -R -n -r 44100 -c 2 -b 16 -e signed-integer a.wav synth 3 pinknoise pinknoise gain -9
flac --silent --force -5 -o a.flac a.wav
rm a.wav

# A text file: no audio format at all.
printf 'not audio\n' > b.txt

# The same FLAC under a name that is not valid UTF-8 (Latin-1 e-acute).
cp a.flac "$(printf 'caf\351.flac')"
