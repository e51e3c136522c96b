# SPDX-License-Identifier: MIT
# Shell functions that put a WAV through a real lossy encoder (or resampler)
# and store the decoded result as FLAC, for the ORIGIN test and evaluation
# sets. Sourced by tools/test-audio/origin.sh and tools/origin-eval.sh.
#   transcode CLASS SETTING IN.wav OUT.flac WORKDIR
# CLASS SETTING: mp3 b128|b192|b320|v0|v2   (lame; CBR decoded by lame, VBR by ffmpeg)
#                aac 128k|256k              (ffmpeg's AAC encoder)
#                voaac 128k                 (VisualOn through GStreamer)
#                vorbis q3|q6|q9            (oggenc / oggdec)
#                ffvorbis q3|q6             (ffmpeg's own Vorbis encoder, one fixed block size)
#                opus 96k|160k|256k         (opusenc / opusdec at the source rate)
#                opus48 96k|160k|256k       (opusenc / opusdec at 48 kHz)
#                ffopus 96k|160k|256k       (opusenc, ffmpeg's decoder: 48 kHz, no dither)
#                ffopus44 96k|160k|256k     (opusenc, ffmpeg's decoder resampled to 44.1 kHz by ffmpeg)
#                soxopus44 96k|160k|256k    (opusenc, ffmpeg's 48 kHz decode resampled to 44.1 kHz by sox rate -v)
#                ac3 192k|448k, eac3 256k   (ffmpeg's AC-3 and E-AC-3 encoders)
#                mp2 192k                   (twolame)
#                aac24 128k                 (ffmpeg's AAC, decoded and padded to 24 bits)
#                sox-vhq 96000|88200        (sox rate -v to that rate, 24 bits)
#                sox-quick 96000|88200      (sox rate -q: cubic interpolation, images above the old Nyquist)
#                sox-quick24 96000          (the same, 24 bits)
#                sox-low 96000|88200        (sox rate -l)
#                swr 96000|88200|192000     (ffmpeg's default resampler, 16 bits)
#                swr24 96000|192000         (the same, 24 bits)
#                swrsoxr 96000              (ffmpeg's aresample=resampler=soxr, 16 bits)
#                brickwall sinc|lowpass     (genuine: sox sinc -20000 -t 300, or lowpass 20000)

ot_ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

transcode() {
  local class=$1 setting=$2 in=$3 out=$4 work=$5
  local rate
  rate=$(soxi -r "$in")
  rm -f "$work"/t.*
  case $class in
    mp3)
      case $setting in
        b*) lame --quiet -b "${setting#b}" "$in" "$work/t.mp3"; lame --quiet --decode "$work/t.mp3" "$work/t.wav" ;;
        v*) lame --quiet -V "${setting#v}" "$in" "$work/t.mp3"; ot_ff -i "$work/t.mp3" -c:a pcm_s16le "$work/t.wav" ;;
      esac ;;
    aac|aac24)
      ot_ff -i "$in" -c:a aac -b:a "$setting" "$work/t.m4a"
      if [ "$class" = aac24 ]; then
        ot_ff -i "$work/t.m4a" -c:a pcm_s24le "$work/t.wav"
      else
        ot_ff -i "$work/t.m4a" -c:a pcm_s16le "$work/t.wav"
      fi ;;
    voaac)
      gst-launch-1.0 -q filesrc location="$in" ! wavparse ! audioconvert ! \
        voaacenc bitrate=$(( ${setting%k} * 1000 )) ! aacparse ! mp4mux ! filesink location="$work/t.m4a" >/dev/null
      ot_ff -i "$work/t.m4a" -c:a pcm_s16le "$work/t.wav" ;;
    vorbis)
      oggenc --quiet -q "${setting#q}" -o "$work/t.ogg" "$in"
      oggdec --quiet -o "$work/t.wav" "$work/t.ogg" ;;
    ffvorbis)
      ot_ff -i "$in" -c:a vorbis -strict experimental -q:a "${setting#q}" "$work/t.ogg"
      ot_ff -i "$work/t.ogg" -c:a pcm_s16le "$work/t.wav" ;;
    opus)
      opusenc --quiet --bitrate "${setting%k}" "$in" "$work/t.opus"
      opusdec --quiet --rate "$rate" "$work/t.opus" "$work/t.wav" ;;
    opus48)
      opusenc --quiet --bitrate "${setting%k}" "$in" "$work/t.opus"
      opusdec --quiet --rate 48000 "$work/t.opus" "$work/t.wav" ;;
    ffopus)
      opusenc --quiet --bitrate "${setting%k}" "$in" "$work/t.opus"
      ot_ff -i "$work/t.opus" -c:a pcm_s16le "$work/t.wav" ;;
    ffopus44)
      opusenc --quiet --bitrate "${setting%k}" "$in" "$work/t.opus"
      ot_ff -i "$work/t.opus" -ar 44100 -c:a pcm_s16le "$work/t.wav" ;;
    soxopus44)
      opusenc --quiet --bitrate "${setting%k}" "$in" "$work/t.opus"
      ot_ff -i "$work/t.opus" -c:a pcm_s16le "$work/t48.wav"
      sox -R "$work/t48.wav" "$work/t.wav" rate -v 44100 ;;
    ac3|eac3)
      ot_ff -i "$in" -c:a "$class" -b:a "$setting" "$work/t.$class"
      ot_ff -i "$work/t.$class" -c:a pcm_s16le "$work/t.wav" ;;
    brickwall)
      case $setting in
        sinc) sox -R "$in" "$work/t.wav" sinc -20000 -t 300 ;;
        lowpass) sox -R "$in" "$work/t.wav" lowpass 20000 ;;
      esac ;;
    mp2)
      twolame --quiet -b "${setting%k}" "$in" "$work/t.mp2"
      ot_ff -i "$work/t.mp2" -c:a pcm_s16le "$work/t.wav" ;;
    sox-vhq) sox -R "$in" -b 24 "$work/t.wav" rate -v "$setting" ;;
    sox-quick) sox -R "$in" -b 16 "$work/t.wav" rate -q "$setting" ;;
    sox-quick24) sox -R "$in" -b 24 "$work/t.wav" rate -q "$setting" ;;
    sox-low) sox -R "$in" -b 16 "$work/t.wav" rate -l "$setting" ;;
    swr) ot_ff -i "$in" -ar "$setting" -c:a pcm_s16le "$work/t.wav" ;;
    swr24) ot_ff -i "$in" -ar "$setting" -c:a pcm_s24le "$work/t.wav" ;;
    swrsoxr) ot_ff -i "$in" -af aresample=resampler=soxr -ar "$setting" -c:a pcm_s16le "$work/t.wav" ;;
    *) echo "transcode: unknown class $class" >&2; return 1 ;;
  esac
  flac --silent --force -5 -o "$out" "$work/t.wav"
}
