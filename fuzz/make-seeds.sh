#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the seed corpora of the fuzz targets from real encoders (sox, flac,
# ffmpeg, lame, wavpack, oggenc, opusenc): small, deterministic files, one
# folder per target.
#   usage: fuzz/make-seeds.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-seeds.sh OUTDIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{fuzz_decode_flac,fuzz_decode_wav,fuzz_decode_aiff,fuzz_decode_m4a,fuzz_decode_mp3,fuzz_analyze_flac,fuzz_analyze_wav,fuzz_json,fuzz_utf8}
mkdir -p "$out"/fuzz_decode_{wv,ape,tta,tak,ogg,wma,mka,caf}
ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)

# PCM sources: a tone, a sweep with noise, stereo, more channels.
sox -R -V1 -n -r 8000 -b 16 -c 1 "$work/tone8k.wav" synth 0.3 sine 440 gain -3
sox -R -V1 -n -r 44100 -b 24 -c 2 "$work/sweep44k.wav" synth 0.1 sine 100-18000 whitenoise gain -6
sox -R -V1 -n -r 48000 -b 16 -c 6 "$work/six48k.wav" synth 0.03 sine 1000
sox -R -V1 -n -r 11025 -b 8 -c 1 "$work/u8.wav" synth 0.1 square 300
sox -R -V1 -n -r 22050 -e floating-point -b 32 -c 1 "$work/float.wav" synth 0.1 sine 700

# WAV
d=$out/fuzz_decode_wav
cp "$work/tone8k.wav" "$d/tone8k.wav"
cp "$work/u8.wav" "$d/u8.wav"
cp "$work/float.wav" "$d/float.wav"
"${ff[@]}" -i "$work/six48k.wav" -c:a pcm_s24le -bitexact "$d/six-extensible.wav"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.05 -rf64 always -bitexact "$d/rf64.wav"
sox -R "$work/sweep44k.wav" -t wav -e signed -b 32 "$d/s32.wav" trim 0 0.02
head -c 3000 "$work/tone8k.wav" >"$d/cut.wav"

# AIFF and AIFC
d=$out/fuzz_decode_aiff
sox -R "$work/tone8k.wav" "$d/tone8k.aiff" trim 0 0.1
sox -R "$work/sweep44k.wav" "$d/sweep24.aiff" trim 0 0.02
sox -R "$work/float.wav" -t aifc -e floating-point "$d/float.aifc"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.05 -c:a pcm_s16be -f aiff -bitexact "$d/ffmpeg.aiff"

# FLAC
d=$out/fuzz_decode_flac
flac -s -f 2>/dev/null -8 -o "$d/tone8k.flac" "$work/tone8k.wav"
flac -s -f 2>/dev/null -5 -o "$d/sweep24.flac" "$work/sweep44k.wav"
flac -s -f 2>/dev/null --no-padding --no-seektable -o "$d/six.flac" "$work/six48k.wav"
flac -s -f 2>/dev/null -T "TITLE=seed" -T "ARTIST=Kestrone" -o "$d/tagged.flac" "$work/u8.wav"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.05 -c:a flac -bitexact "$d/ffmpeg.flac"

# M4A: AAC and ALAC
d=$out/fuzz_decode_m4a
"${ff[@]}" -i "$work/tone8k.wav" -t 0.2 -c:a aac -b:a 32k -bitexact "$d/aac.m4a"
"${ff[@]}" -i "$work/sweep44k.wav" -t 0.05 -c:a alac -bitexact "$d/alac.m4a"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a alac -bitexact "$d/alac-mono.m4a"

# MP3
d=$out/fuzz_decode_mp3
lame --quiet -b 32 "$work/tone8k.wav" "$d/lame.mp3"
lame --quiet -V 6 --tt seed "$work/sweep44k.wav" "$d/lame-vbr.mp3"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a libmp3lame -b:a 24k -bitexact "$d/ffmpeg.mp3" 2>/dev/null \
  || "${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a mp3 -bitexact "$d/ffmpeg.mp3"

# WavPack: plain, high mode, float, hybrid (lossy part), ffmpeg's encoder
d=$out/fuzz_decode_wv
wavpack -q -y "$work/tone8k.wav" -o "$d/tone8k.wv" 2>/dev/null
wavpack -q -y -hh "$work/sweep44k.wav" -o "$d/sweep24-high.wv" 2>/dev/null
wavpack -q -y "$work/float.wav" -o "$d/float.wv" 2>/dev/null
wavpack -q -y -b3 "$work/six48k.wav" -o "$d/six-hybrid.wv" 2>/dev/null
"${ff[@]}" -i "$work/u8.wav" -c:a wavpack "$d/ffmpeg.wv"

# TTA; Monkey's Audio and TAK have no packaged encoder: files from
# tools/make-ape.py and tools/make-raw-tak.py, and their container magic before
# TTA data, give the fuzzer a start in those demuxers.
d=$out/fuzz_decode_tta
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a tta "$d/tone8k.tta"
"${ff[@]}" -i "$work/sweep44k.wav" -c:a tta "$d/sweep24.tta"
{ printf 'MAC \x0e\x0f\x00\x00\x34\x00\x00\x00\x18\x00\x00\x00'; head -c 600 "$d/tone8k.tta"; } >"$out/fuzz_decode_ape/magic.ape"
{ printf 'MAC \x8c\x0f'; head -c 600 "$d/tone8k.tta"; } >"$out/fuzz_decode_ape/old-magic.ape"
{ printf 'tBaK\x00\x00\x00\x00'; head -c 600 "$d/tone8k.tta"; } >"$out/fuzz_decode_tak/magic.tak"
sox -R -V1 "$work/tone8k.wav" -t raw - trim 0 0.6 | python3 "$(dirname "$0")/../tools/make-raw-tak.py" "$out/fuzz_decode_tak/tone8k.tak" 8000 1 16
sox -R -V1 "$work/sweep44k.wav" -t raw - | python3 "$(dirname "$0")/../tools/make-raw-tak.py" "$out/fuzz_decode_tak/sweep24.tak" 44100 2 24
cp "$d/tone8k.tta" "$out/fuzz_decode_ape/"
sox -R -V1 "$work/sweep44k.wav" -t raw - | python3 "$(dirname "$0")/../tools/make-ape.py" "$out/fuzz_decode_ape/sweep24.ape" 44100 24
sox -R -V1 "$work/tone8k.wav" -c 2 -t raw - trim 0 0.1 | python3 "$(dirname "$0")/../tools/make-ape.py" "$out/fuzz_decode_ape/tone8k.ape" 8000 16
cp "$d/tone8k.tta" "$out/fuzz_decode_tak/"

# Ogg: FLAC, Vorbis, Opus
d=$out/fuzz_decode_ogg
flac -s -f 2>/dev/null --ogg -o "$d/flac.ogg" "$work/tone8k.wav"
oggenc -Q -q 0 -o "$d/vorbis.ogg" "$work/tone8k.wav"
opusenc --quiet --bitrate 16 "$work/tone8k.wav" "$d/opus.ogg"
"${ff[@]}" -i "$work/sweep44k.wav" -c:a libopus -b:a 32k "$d/ffmpeg-opus.ogg"

# WMA 1 and 2 (ASF)
d=$out/fuzz_decode_wma
"${ff[@]}" -i "$work/tone8k.wav" -t 0.2 -c:a wmav2 -b:a 32k "$d/wma2.wma"
"${ff[@]}" -i "$work/sweep44k.wav" -c:a wmav1 -b:a 64k "$d/wma1.wma"

# Matroska with FLAC, WavPack, TTA and Vorbis; CAF with ALAC and PCM
d=$out/fuzz_decode_mka
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a flac "$d/flac.mka"
"${ff[@]}" -i "$work/sweep44k.wav" -c:a wavpack "$d/wavpack.mka"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a tta "$d/tta.mka"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.2 -c:a libvorbis -q:a 0 "$d/vorbis.mka"
d=$out/fuzz_decode_caf
"${ff[@]}" -i "$work/sweep44k.wav" -c:a alac -f caf "$d/alac.caf"
"${ff[@]}" -i "$work/tone8k.wav" -t 0.1 -c:a pcm_s16le -f caf "$d/pcm.caf"

# Analysis: small files, long enough for the checks to run.
cp "$out/fuzz_decode_wav/tone8k.wav" "$out/fuzz_analyze_wav/"
cp "$work/sweep44k.wav" "$out/fuzz_analyze_wav/sweep44k.wav"
sox -R -V1 -n -r 8000 -b 24 -c 2 "$out/fuzz_analyze_wav/padded24.wav" synth 0.5 sine 300 sine 500
cp "$out/fuzz_decode_flac/tone8k.flac" "$out/fuzz_decode_flac/sweep24.flac" "$out/fuzz_analyze_flac/"
sox -R -V1 -n -r 8000 -b 16 -c 1 "$work/noise.wav" synth 0.5 whitenoise gain -10
flac -s -f 2>/dev/null -o "$out/fuzz_analyze_flac/noise.flac" "$work/noise.wav"

# Text: plain, escapes, controls, non-ASCII and invalid UTF-8.
printf 'Evidence found\r\nBandwidth 16.0 kHz' >"$out/fuzz_json/plain"
printf '\x05\x00\x22\x5c\x0a\x01\x7f' >"$out/fuzz_json/escapes"
printf 'k\xf0\x00\x00\xd8\x00\xf5\x00\x11\x00\x00\x03\x10\x20\x30' >"$out/fuzz_json/wide"
printf 'Musik/Ärger – 東京.flac' >"$out/fuzz_utf8/names"
printf 'caf\xe9 \xed\xa0\x80 \xf4\x90\x80\x80 \xc0\xaf \xe2\x82' >"$out/fuzz_utf8/invalid"
printf '\xf0\x9f\x8e\xb5\x00\xef\xbb\xbf' >"$out/fuzz_utf8/emoji"
cp "$out/fuzz_utf8/names" "$out/fuzz_json/names"

# Declared length against decoded length: the decoders' seeds, and cut copies.
for ext in flac wav m4a mp3 wv ape tta tak ogg wma mka caf; do
  d=$out/fuzz_decoded_length_$ext
  mkdir -p "$d"
  cp "$out/fuzz_decode_$ext"/* "$d/"
  for f in "$out/fuzz_decode_$ext"/*; do
    head -c $(($(stat -c %s "$f") * 2 / 3)) "$f" >"$d/cut-$(basename "$f")"
  done
done
