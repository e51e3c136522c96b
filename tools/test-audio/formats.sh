#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lossless and lossy formats that FFmpeg decodes beyond MP4 and MP3, made by
# real encoders (wavpack, flac, ffmpeg, oggenc, opusenc, sox):
#   same/    one source per rate and width in every lossless container, and
#            the same audio at twice the gain
#   lossy/   the 44.1 kHz source through lossy encoders, hybrid WavPack among them
#   ref/     files whose decoding is compared with the ffmpeg tool's, each with
#            NAME.s32le (integer sources, left-justified) or NAME.f32le beside it
# No encoder for Monkey's Audio, TAK or WMA Lossless ships with Debian:
# tools/make-ape.py encodes Monkey's Audio (stereo, "fast" level),
# tools/make-raw-tak.py stores PCM verbatim in real TAK frames, and WMA
# Lossless only meets the hostile-input tests and the fuzzers.
#   usage: formats.sh OUTDIR
set -euo pipefail
out=${1:?usage: formats.sh OUTDIR}
tools=$(cd "$(dirname "$0")/.." && pwd)
cd "$out"
rm -rf same lossy ref long
mkdir -p same lossy ref
tmp=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
sx() { sox -R -V1 "$@"; }
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# wavpack warns that it drops the "fact" chunk of sox's 24-bit and float WAVs.
wv() { wavpack -q -y "$@" 2>/dev/null; }

# --- One source, every lossless container ------------------------------------
# Music-like: pink noise (a different seed per channel) under two slowly
# beating tones, band-limited below Nyquist, peaks below half scale so that
# twice the gain still fits.
music() { # music RATE CODEC CUTOFF OUT
  ff -f lavfi -i "anoisesrc=d=5:c=pink:r=$1:a=0.12:s=31" -f lavfi -i "anoisesrc=d=5:c=pink:r=$1:a=0.12:s=32" \
    -f lavfi -i "sine=f=220:r=$1:d=5" -f lavfi -i "sine=f=331:r=$1:d=5" \
    -filter_complex "[0][2]amix=inputs=2:weights=1 0.3:normalize=0[l];[1][3]amix=inputs=2:weights=1 0.3:normalize=0[r];[l][r]amerge=inputs=2,lowpass=f=$3:p=2" \
    -c:a "$2" -bitexact "$4"
}
music 44100 pcm_s16le 19000 "$tmp/s16.wav"
music 96000 pcm_s24le 40000 "$tmp/s24.wav"
for w in 16 24; do
  src=$tmp/s$w.wav
  rate=$([ $w = 16 ] && echo 44100 || echo 96000)
  base=same/music-${rate}Hz-${w}bit
  cp "$src" "$base.wav"
  sx "$src" "$base.aiff"
  for level in 0 5 8; do flac -s -f "-$level" -o "$base-level$level.flac" "$src"; done
  ff -i "$src" -c:a alac "$base-alac.m4a"
  wv "$src" -o "$base.wv"
  ff -i "$src" -c:a tta "$base.tta"
  sx "$src" -t raw - | python3 "$tools/make-raw-tak.py" "$base.tak" "$rate" 2 "$w"
  sx "$src" -t raw - | python3 "$tools/make-ape.py" "$base.ape" "$rate" "$w"
  # Exactly twice every sample: the source has no sample at or beyond half scale.
  sx -D "$src" "$base-x2.flac" vol 2
done

# Lossy: the checks that need an exact source say so as they do for AAC and MP3.
wv -b3 "$tmp/s16.wav" -o lossy/music-hybrid.wv
oggenc -Q -q 5 -o lossy/music-vorbis.ogg "$tmp/s16.wav"
opusenc --quiet --bitrate 128 "$tmp/s16.wav" lossy/music-opus.opus
ff -i "$tmp/s16.wav" -c:a wmav2 -b:a 160k lossy/music-wma.wma

# --- Decoded values against FFmpeg (1 s of broadband noise over a tone) ------
noise() { # noise RATE CHANNELS BITS ENCODING OUT
  sx -n -r "$1" -c "$2" -b "$3" -e "$4" "$5" synth 1 whitenoise vol 0.4 synth 1 sine mix 997 vol 0.9
}
noise 44100 2 16 signed "$tmp/16.wav"
noise 96000 2 24 signed "$tmp/24.wav"
noise 48000 2 32 floating-point "$tmp/float.wav"
noise 48000 1 16 signed "$tmp/mono.wav"
sx -n -r 48000 -c 2 -b 16 "$tmp/quiet.wav" synth 1 whitenoise vol 0.4
wv "$tmp/16.wav" -o ref/wavpack-16bit.wv
wv "$tmp/24.wav" -o ref/wavpack-24bit.wv
wv -hh -x3 "$tmp/24.wav" -o ref/wavpack-24bit-high.wv
wv "$tmp/float.wav" -o ref/wavpack-float.wv
wv "$tmp/mono.wav" -o ref/wavpack-mono.wv
# Hybrid: the .wvc beside it is never read, so the lossy part is what decodes.
wv -b3 -c "$tmp/16.wav" -o ref/wavpack-hybrid.wv
ff -i "$tmp/24.wav" -c:a wavpack ref/ffmpeg-wavpack-32bit.wv
ff -i "$tmp/16.wav" -c:a tta ref/tta-16bit.tta
ff -i "$tmp/24.wav" -c:a tta ref/tta-24bit.tta
flac -s -f --ogg -o ref/flac-16bit.oga "$tmp/16.wav"
flac -s -f --ogg -o ref/flac-24bit.ogg "$tmp/24.wav" 2>/dev/null # warns of the "fact" chunk
ff -i "$tmp/24.wav" -c:a flac ref/flac-24bit.mka
ff -i "$tmp/16.wav" -c:a wavpack ref/wavpack-16bit.mka
ff -i "$tmp/16.wav" -c:a tta ref/tta-16bit.mka
ff -i "$tmp/16.wav" -c:a alac ref/alac-16bit.caf
ff -i "$tmp/24.wav" -c:a alac ref/alac-24bit.caf
oggenc -Q -q 4 -o ref/vorbis.ogg "$tmp/16.wav"
opusenc --quiet --bitrate 96 "$tmp/quiet.wav" ref/opus.opus
ff -i "$tmp/16.wav" -c:a libopus -b:a 96k ref/opus-in-ogg.ogg
ff -i "$tmp/16.wav" -c:a libvorbis -q:a 4 ref/vorbis.mka
ff -i "$tmp/16.wav" -c:a wmav2 -b:a 128k ref/wma2.wma
ff -i "$tmp/16.wav" -c:a wmav1 -b:a 128k ref/wma1.wma
# A 20-bit source: WavPack declares the four unused low bits of its 3 bytes.
"${KESTRONE_TESTGEN:?KESTRONE_TESTGEN must name kestrone-testgen}" craft-wav "$tmp/20.wav" bits=20 frames=4800
wv "$tmp/20.wav" -o ref/wavpack-20bit.wv
# Matroska keeps each WavPack block's flags: hybrid and declared width stay visible.
ff -i ref/wavpack-hybrid.wv -c copy ref/wavpack-hybrid.mka
ff -i ref/wavpack-20bit.wv -c copy ref/wavpack-20bit.mka
sx "$tmp/16.wav" -t raw - | python3 "$tools/make-raw-tak.py" ref/tak-16bit.tak 44100 2 16
sx "$tmp/24.wav" -t raw - | python3 "$tools/make-raw-tak.py" ref/tak-24bit.tak 96000 2 24
sx "$tmp/mono.wav" -t raw - | python3 "$tools/make-raw-tak.py" ref/tak-mono.tak 48000 1 16
sx "$tmp/16.wav" -t raw - | python3 "$tools/make-ape.py" ref/monkeys-16bit.ape 44100 16
sx "$tmp/24.wav" -t raw - | python3 "$tools/make-ape.py" ref/monkeys-24bit.ape 96000 24
# 31 seconds, most of them silence: the frame limit holds in the new containers.
mkdir -p long
sx -n -r 8000 -c 1 -b 16 "$tmp/long.wav" synth 2 sine 440 vol 0.5 pad 0 29
wv "$tmp/long.wav" -o long/31s.wv
oggenc -Q -q 0 -o long/31s.ogg "$tmp/long.wav"
ff -i "$tmp/long.wav" -c:a flac long/31s.mka
for f in ref/*; do
  case "$f" in
    *.wvc) ;;
    *float* | *hybrid* | *vorbis* | *opus* | *wma*) ff -i "$f" -f f32le "$f.f32le" ;;
    *) ff -i "$f" -f s32le "$f.s32le" ;;
  esac
done
