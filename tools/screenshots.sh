#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the window for checking its layout, colours and texts:
#   OUTDIR/1-empty.png, 2-running.png, 3-selected.png, 4-about.png,
#   6-sorted-readout.png, 7-spectrogram.png                          (offscreen grabs)
#   OUTDIR/xvfb/...                                                  (the same on a real X server)
#   OUTDIR/xvfb-1366x768/..., OUTDIR/xvfb-1920x1080-scale1.5/...     (small and scaled screens, 5-screen.png whole)
#   OUTDIR/xvfb-kestrone.png  (the program itself, started with files, captured from the screen)
#   usage: tools/screenshots.sh [OUTDIR] [BUILDDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
build=$(realpath -m "${2:-build}")

tools/install-deps.sh xvfb xauth imagemagick
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target kestrone ui_screenshots
audio="$build/screenshot-audio"
mkdir -p "$out/xvfb" "$audio"
bash tools/test-audio/ui.sh "$audio"
files=("$audio"/*)

# Deterministic grabs of the widgets on the offscreen platform.
QT_QPA_PLATFORM=offscreen:configfile=tests/ui/screens/desk.json "$build/tests/ui/ui_screenshots" "$out" "${files[@]}"

# The same on a real X server, then the program as a user starts it.
xvfb-run -a -s "-screen 0 1400x960x24" env QT_QPA_PLATFORM=xcb \
  "$build/tests/ui/ui_screenshots" "$out/xvfb" "${files[@]}"
for screen in "1366x768 1" "1920x1080 1.5"; do
  read -r size scale <<<"$screen"
  dir="$out/xvfb-$size$([ "$scale" = 1 ] || echo "-scale$scale")"
  mkdir -p "$dir"
  xvfb-run -a -s "-screen 0 ${size}x24" env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
    "$build/tests/ui/ui_screenshots" "$dir" "${files[@]}"
done
xvfb-run -a -s "-screen 0 1400x960x24" bash -c '
  set -euo pipefail
  "$1" "${@:3}" &
  pid=$!
  sleep 4
  import -window root "$2"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' screenshot "$build/app/kestrone" "$out/xvfb-kestrone.png" "${files[@]}"
echo "screenshots in $out" >&2
