#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Test audio for the decoders (tests/decode), made with sox, flac, ffmpeg and
# lame, plus kestrone-testgen for headers no encoder writes on request.
# Every file that a test compares with FFmpeg's decoding gets FFmpeg's own
# output beside it: NAME.s32le (integer sources, left-justified 32-bit) or
# NAME.f32le (float and lossy sources).
#   usage: decode.sh OUTDIR      (KESTRONE_TESTGEN names kestrone-testgen)
set -euo pipefail
out=${1:?usage: decode.sh OUTDIR}
tg=${KESTRONE_TESTGEN:?KESTRONE_TESTGEN must name kestrone-testgen}
mkdir -p "$out"
cd "$out"
rm -rf ref facts range cut crafted hostile ext
mkdir -p ref facts range cut crafted hostile ext

sx() { sox -R -V1 "$@"; }
ff() { ffmpeg -nostdin -v error -y "$@"; }
raw_flac() { # raw_flac RATE CHANNELS OUT [flac options]: 16-bit raw on stdin
  local rate=$1 channels=$2 dest=$3
  shift 3
  flac -s -f --force-raw-format --endian=little --sign=signed --bps=16 \
    --channels="$channels" --sample-rate="$rate" "$@" -o "$dest" -
}
ref_int() { ff -i "$1" -f s32le "$1.s32le"; }
ref_float() { ff -i "$1" -f f32le "$1.f32le"; }

# --- Decoded values against FFmpeg (1 s of broadband noise over a tone) ------
noise() { # noise RATE CHANNELS BITS ENCODING OUT
  sx -n -r "$1" -c "$2" -b "$3" -e "$4" "$5" synth 1 whitenoise vol 0.4 synth 1 sine mix 997 vol 0.9
}
noise 44100 2 16 signed ref/2ch-44100Hz-16bit.wav
noise 48000 2 24 signed ref/2ch-48000Hz-24bit.wav
noise 48000 2 32 signed ref/2ch-48000Hz-32bit.wav
noise 8000 1 8 unsigned ref/1ch-8000Hz-8bit.wav
noise 48000 2 32 floating-point ref/2ch-48000Hz-float32.wav
noise 44100 2 16 signed ref/2ch-44100Hz-16bit.aiff
noise 96000 2 24 signed ref/2ch-96000Hz-24bit.aiff
noise 22050 1 8 signed ref/1ch-22050Hz-8bit.aiff
sx ref/2ch-44100Hz-16bit.wav -B ref/2ch-44100Hz-16bit-rifx.wav
ff -i ref/2ch-44100Hz-16bit.wav -c:a pcm_s16le -f aiff ref/2ch-44100Hz-16bit-sowt.aifc
flac -s -f -o ref/2ch-44100Hz-16bit.flac ref/2ch-44100Hz-16bit.wav
flac -s -f -o ref/2ch-48000Hz-24bit.flac ref/2ch-48000Hz-24bit.wav
noise 48000 6 16 signed ref/6ch-48000Hz-16bit.wav
flac -s -f -o ref/6ch-48000Hz-16bit.flac ref/6ch-48000Hz-16bit.wav
ff -i ref/2ch-44100Hz-16bit.wav -c:a alac ref/2ch-44100Hz-16bit-alac.m4a
ff -i ref/2ch-48000Hz-24bit.wav -c:a alac ref/2ch-48000Hz-24bit-alac.m4a
ff -i ref/2ch-44100Hz-16bit.wav -c:a aac -b:a 128k -bitexact ref/2ch-44100Hz-aac.m4a
ff -i ref/2ch-44100Hz-16bit.wav -c:a aac -b:a 128k -bitexact -f adts ref/2ch-44100Hz-adts.aac
lame --quiet -b 128 ref/2ch-44100Hz-16bit.wav ref/2ch-44100Hz-128k.mp3
for f in ref/*.wav ref/*.aiff ref/*.aifc ref/*.flac ref/*-alac.m4a; do
  case "$f" in
    *-rifx.wav) ;; # ffmpeg gets RIFX byte order wrong; the tests compare with the RIFF original
    *float32*) ref_float "$f" ;;
    *) ref_int "$f" ;;
  esac
done
for f in ref/*-aac.m4a ref/*.aac ref/*.mp3; do ref_float "$f"; done

# --- Facts of other FFmpeg-decoded codecs and containers --------------------
ff -i ref/2ch-44100Hz-16bit.wav -c:a flac -strict experimental -f mp4 facts/flac-in-mp4.m4a
ff -i ref/2ch-44100Hz-16bit.wav -c:a pcm_s16le -f mov facts/pcm16-in-mov.m4a
ff -i ref/2ch-44100Hz-16bit.wav -c:a mp2 -b:a 192k -f mp2 facts/mp2-named.mp3
cp ref/2ch-48000Hz-24bit-alac.m4a facts/24bit.alac
ff -i ref/2ch-48000Hz-24bit.wav -c:a alac -f caf facts/24bit-caf.alac
ff -f lavfi -i testsrc=size=64x48:rate=5 -t 1 -c:v mpeg4 -bitexact -f mp4 facts/video-only.m4a
head -c 1200 ref/2ch-44100Hz-128k.mp3 > hostile/garbage-after-header.mp3
sx -n -r 8000 -c 1 -b 16 -t raw - synth 2 whitenoise >> hostile/garbage-after-header.mp3
# ffmpeg reports the undecodable frames in its exit status but writes the rest.
# ADTS streams whose rate or channel count changes after the first second.
ff -i ref/2ch-44100Hz-16bit.wav -ar 48000 -c:a aac -b:a 128k -bitexact -f adts hostile/48000Hz.part
ff -i ref/2ch-44100Hz-16bit.wav -ac 1 -c:a aac -b:a 96k -bitexact -f adts hostile/1ch.part
cat ref/2ch-44100Hz-adts.aac hostile/48000Hz.part > hostile/rate-change.aac
cat ref/2ch-44100Hz-adts.aac hostile/1ch.part > hostile/channel-change.aac
rm hostile/*.part
# A lossless stream in MP4 whose first frame lost its sync code (the packet
# data starts right after the "mdat" box name).
mdat=$(grep -obUa mdat facts/flac-in-mp4.m4a | head -1 | cut -d: -f1)
"$tg" flip-byte facts/flac-in-mp4.m4a hostile/flac-in-mp4-bad-frame.m4a $((mdat + 4))
ff -i hostile/garbage-after-header.mp3 -f f32le hostile/garbage-after-header.mp3.f32le 2>/dev/null ||
  [ -s hostile/garbage-after-header.mp3.f32le ]

# --- Frame limit ------------------------------------------------------------
# Ten seconds of tone, then digital silence: long files stay small.
sx -n -r 44100 -c 2 -b 16 -t raw - synth 10 sine 440 vol 0.5 pad 0 170 | raw_flac 44100 2 facts/2ch-44100Hz-180s.flac -0
sx -n -r 48000 -c 6 -b 16 -t raw - synth 2 sine 440 vol 0.5 pad 0 29 | raw_flac 48000 6 facts/6ch-48000Hz-31s.flac -0
sx -n -r 384000 -c 32 -b 8 -e unsigned facts/32ch-384000Hz-2s-u8.wav synth 2 sine 1000 vol 0.5

# --- Supported range --------------------------------------------------------
for rate in 7999 8000 384000 384001; do
  sx -n -r "$rate" -c 1 -b 16 -t raw - synth 0.5 sine 300 | raw_flac "$rate" 1 "range/1ch-${rate}Hz.flac" --lax
  sx -n -r "$rate" -c 1 -b 16 "range/1ch-${rate}Hz.wav" synth 0.5 sine 300
done
sx -n -r 8000 -c 33 -b 16 range/33ch-8000Hz.wav synth 0.1 sine 300
sx -n -r 8000 -c 32 -b 16 range/32ch-8000Hz.wav synth 0.1 sine 300

# --- Truncation and undeclared length ----------------------------------------
# 5 minutes of 8 kHz mono tone, cut after 10 s and after 40 s of it.
sx -n -r 8000 -c 1 -b 16 cut/full-300s.wav synth 300 sine 300 vol 0.3
flac -s -f -0 -o cut/full-300s.flac cut/full-300s.wav
head -c $((44 + 10 * 16000)) cut/full-300s.wav > cut/300s-cut-at-10s.wav
head -c $((44 + 40 * 16000)) cut/full-300s.wav > cut/300s-cut-at-40s.wav
flac_size=$(stat -c %s cut/full-300s.flac)
head -c $((flac_size * 10 / 300)) cut/full-300s.flac > cut/300s-cut-at-10s.flac
head -c $((flac_size * 40 / 300)) cut/full-300s.flac > cut/300s-cut-at-40s.flac
rm cut/full-300s.wav cut/full-300s.flac
# flac writing to a pipe cannot go back to fill in the total frame count.
sx -n -r 8000 -c 1 -b 16 -t raw - synth 3 sine 300 vol 0.5 | raw_flac 8000 1 - -c --no-seektable > cut/undeclared-3s.flac 2>/dev/null
flac -s -f -o cut/corrupt-frame.flac ref/2ch-44100Hz-16bit.wav
"$tg" flip-byte cut/corrupt-frame.flac cut/corrupt-frame.flac 60%
# Without a declared total only the decoder's error report reveals the damage.
"$tg" patch-flac-streaminfo cut/corrupt-frame.flac cut/corrupt-frame-undeclared.flac total=0
# A destroyed sync code loses the first frame without a CRC error to report it.
first_frame=$("$tg" flac-first-frame ref/2ch-44100Hz-16bit.flac)
"$tg" flip-byte ref/2ch-44100Hz-16bit.flac cut/lost-first-frame.flac "$first_frame"
"$tg" patch-flac-streaminfo cut/lost-first-frame.flac cut/lost-first-frame-undeclared.flac total=0
# Junk before the first frame or after the last one loses nothing.
"$tg" insert-bytes ref/2ch-44100Hz-16bit.flac cut/junk-before-frames.flac "$first_frame" 300 0x55
"$tg" insert-bytes cut/undeclared-3s.flac cut/undeclared-3s-trailing-junk.flac end 128 0x54
"$tg" patch-flac-streaminfo ref/2ch-44100Hz-16bit.flac cut/declares-2pow36-frames.flac total=68719476735
"$tg" patch-flac-streaminfo ref/2ch-44100Hz-16bit.flac cut/declares-rate-0.flac rate=0
flac -s -f --ogg -o cut/ogg-flac.flac ref/2ch-44100Hz-16bit.wav

# --- Hand-made WAV headers ---------------------------------------------------
"$tg" craft-wav crafted/pcm16-values.wav bits=16 frames=4800
flac -s -f -o crafted/pcm16-values.flac crafted/pcm16-values.wav
sx crafted/pcm16-values.wav crafted/pcm16-values.aiff
"$tg" craft-wav crafted/pcm24-values.wav bits=24 frames=4800
flac -s -f -o crafted/pcm24-values.flac crafted/pcm24-values.wav
"$tg" craft-wav crafted/12bit.wav bits=12
"$tg" craft-wav crafted/20bit.wav bits=20
"$tg" craft-wav crafted/ext-24in32.wav bits=32 valid=24
"$tg" craft-wav crafted/ext-0in32.wav bits=32 valid=0
"$tg" craft-wav crafted/ext-33in32.wav bits=32 valid=33
"$tg" craft-wav crafted/ext-16in16.wav bits=16 valid=16
"$tg" craft-wav crafted/float32-values.wav format=float bits=32
"$tg" craft-wav crafted/float64-values.wav format=float bits=64
"$tg" craft-wav crafted/float32-nan.wav format=float bits=32 nan-at=10
"$tg" craft-wav crafted/float24.wav format=float bits=24
"$tg" craft-wav crafted/4bit.wav bits=4
"$tg" craft-wav crafted/empty-data.wav frames=0
"$tg" craft-wav crafted/data-past-end.wav frames=100 data-bytes=400000
"$tg" craft-wav crafted/rate-0.wav rate=0
"$tg" craft-wav crafted/rate-2pow31.wav rate=2147483648
"$tg" craft-wav crafted/65535ch.wav channels=65535 frames=1
"$tg" craft-wav crafted/2pow32-frames.wav channels=1 bits=8 data-bytes=4294967294
"$tg" craft-wav crafted/rf64-2pow40-bytes.wav layout=rf64 data-bytes=1099511627776
"$tg" craft-wav crafted/rf64-values.wav layout=rf64 bits=16 frames=4800
"$tg" craft-wav crafted/mp3-tag.wav format=85

# --- Containers and compressed data ------------------------------------------
ff -i ref/2ch-44100Hz-16bit.wav -rf64 always -c:a pcm_s16le facts/rf64.wav
sx ref/2ch-44100Hz-16bit.wav -t w64 facts/wave64.wav
sx ref/2ch-44100Hz-16bit.wav -t aifc facts/2ch-44100Hz-16bit.aifc
cp ref/2ch-44100Hz-16bit.aiff facts/aiff-data.wav
sx ref/2ch-44100Hz-16bit.wav -e u-law facts/mulaw.wav
sx ref/2ch-44100Hz-16bit.wav -e a-law facts/alaw.wav
sx ref/2ch-44100Hz-16bit.wav -e ima-adpcm facts/ima-adpcm.wav
sx ref/2ch-44100Hz-16bit.wav -e ms-adpcm facts/ms-adpcm.wav
ff -i ref/2ch-44100Hz-16bit.wav -c:a pcm_mulaw -f aiff facts/mulaw.aifc
cp ref/2ch-44100Hz-16bit.flac facts/flac-data.wav

# --- Extension rules ---------------------------------------------------------
cp ref/2ch-44100Hz-16bit.flac ext/upper.FLAC
cp ref/2ch-44100Hz-16bit.flac ext/x.flac.bak
cp ref/2ch-44100Hz-16bit.flac ext/noextension
cp ref/2ch-44100Hz-16bit.flac ext/.flac
