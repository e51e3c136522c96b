#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Hostile and damaged inputs, and the tiny files of the 200-file batch.
#   good/    150 complete files: 2.5 s mono 8 kHz as WAV, FLAC and AIFF
#   bad/     files that must end as a clear message, one way of damage each
#   odd/     inputs whose outcome may be either, as long as nothing hangs
set -euo pipefail
out=${1:?usage: hostile.sh OUTDIR}
tg=${KESTRONE_TESTGEN:?KESTRONE_TESTGEN must name kestrone-testgen}
cd "$out"
rm -rf good bad odd base
mkdir -p good bad odd base
sx() { sox -R -V1 "$@"; }
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

sx -n -r 8000 -b 16 -c 1 base/tone.wav synth 2.5 sine 440 gain -6
sx -n -r 8000 -b 16 -c 1 base/noise.wav synth 2.5 whitenoise gain -12
flac -s -f -o base/tone.flac base/tone.wav
sx base/noise.wav base/noise.aiff

# 150 distinct names over three decoders, numbered so the batch order is visible.
for i in $(seq -w 0 149); do
  case $((10#$i % 3)) in
    0) cp base/tone.wav "good/$i-tone.wav" ;;
    1) cp base/tone.flac "good/$i-tone.flac" ;;
    2) cp base/noise.aiff "good/$i-noise.aiff" ;;
  esac
done

# Zero bytes under every supported extension.
for ext in flac wav aif aiff aifc m4a alac aac mp3 wv ape tta tak ogg oga opus wma mka caf; do
  : >"bad/zero.$ext"
done
# Text under the names of the formats only FFmpeg reads.
for ext in wv ape tta tak ogg oga opus wma mka caf; do
  printf 'not audio at all\n' >"bad/text.$ext"
done
# Text and noise under audio names.
printf 'not audio at all\n' >bad/text.flac
printf 'not audio at all\n' >bad/text.wav
printf 'not audio at all\n' >bad/text.m4a
sx -n -r 8000 -b 8 -c 1 -t raw bad/noise-bytes.aiff synth 0.2 whitenoise
{ printf 'fLaC'; head -c 3000 bad/noise-bytes.aiff; } >bad/flac-magic-then-noise.flac
# Headers cut short.
head -c 30 base/tone.flac >bad/cut-in-streaminfo.flac
head -c 20 base/tone.wav >bad/cut-in-fmt.wav
head -c 40 base/noise.aiff >bad/cut-in-comm.aiff
for n in 4 8 12 20 38; do head -c $n base/tone.flac >"bad/cut-at-$n.flac"; done
for n in 4 8 12 36; do head -c $n base/tone.wav >"bad/cut-at-$n.wav"; done
for n in 12 20; do head -c $n base/noise.aiff >"bad/cut-at-$n.aiff"; done
printf 'not audio at all\n' >bad/text.mp3
printf 'not audio at all\n' >bad/text.aiff
# Sizes no file could hold: frames, bytes, channels and rates.
"$tg" craft-wav bad/2pow32-frames.wav channels=1 bits=8 data-bytes=4294967294
"$tg" craft-wav bad/rf64-2pow40-bytes.wav layout=rf64 data-bytes=1099511627776
"$tg" craft-wav bad/data-past-end.wav frames=100 data-bytes=400000
"$tg" craft-wav bad/0ch.wav channels=0 frames=16
"$tg" craft-wav bad/65535ch.wav channels=65535 frames=1
"$tg" craft-wav bad/rate-0.wav rate=0
"$tg" craft-wav bad/rate-2pow31.wav rate=2147483648
"$tg" patch-flac-streaminfo base/tone.flac bad/declares-2pow36-frames.flac total=68719476735
"$tg" patch-flac-streaminfo base/tone.flac bad/declares-rate-0.flac rate=0
# Sample formats that are refused.
"$tg" craft-wav bad/float32-nan.wav format=float bits=32 nan-at=10
"$tg" craft-wav bad/4bit.wav bits=4
sx base/tone.wav -e ima-adpcm bad/ima-adpcm.wav
# Containers without audio, and names outside the supported set.
ff -f lavfi -i testsrc=size=32x24:rate=5 -t 1 -c:v mpeg4 -bitexact -f mp4 bad/video-only.m4a
cp base/tone.wav bad/tone.mpc
cp base/tone.flac bad/tone.dsf
# A WAV under an FFmpeg-read name: FFmpeg refuses what is not its format.
cp base/tone.wav bad/tone.ogg
cp base/tone.wav bad/tone.wv

# Other formats under WAV/AIFF names: refused as they stand, without another
# decoder reading them (and printing its warnings).
lame --quiet -b 32 base/tone.wav base/tone.mp3
head -c 1200 base/tone.mp3 >bad/mp3-start.wav
cp base/tone.mp3 bad/mp3.aiff
cp base/tone.flac bad/flac.wav

# An MP3 frame header followed by nothing but noise: decoders resync on noise,
# so a message or a short decode are both fine; a hang or a crash is not.
{ printf '\xff\xfb\x90\x64'; head -c 6000 bad/noise-bytes.aiff; } >odd/header-then-garbage.mp3
# Each new container's magic followed by noise.
for magic in 'wvpk:wv' 'MAC :ape' 'TTA1:tta' 'tBaK:tak' 'OggS:ogg' 'OggS:opus' 'caff:caf'; do
  { printf '%s' "${magic%%:*}"; head -c 6000 bad/noise-bytes.aiff; } >"odd/magic-then-noise.${magic##*:}"
done
{ printf '\x30\x26\xb2\x75\x8e\x66\xcf\x11'; head -c 6000 bad/noise-bytes.aiff; } >odd/magic-then-noise.wma
{ printf '\x1a\x45\xdf\xa3'; head -c 6000 bad/noise-bytes.aiff; } >odd/magic-then-noise.mka
# A valid MP3 start with the rest of the file replaced by noise.
{ head -c 1200 base/tone.mp3; head -c 6000 bad/noise-bytes.aiff; } >odd/valid-start-then-garbage.mp3
rm -rf base
