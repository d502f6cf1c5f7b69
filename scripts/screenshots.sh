#!/usr/bin/env bash
# Takes the README's screenshots: the frame with two result windows, a result
# window of pictures (both under Xvfb), and the page it writes (headless
# Chromium), from a build of its own in build-shots.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
OUT=${1:-docs/images}
BUILD=${TAVOLIX_SHOTS_BUILD:-build-shots}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIX_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target tavolix_screenshots
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT" "$WORK/out" "$WORK/tree/写真/sub" "$WORK/tree/programs"

# A folder of pictures and programs.
(cd "$WORK/tree"
 for c in red orange gold green teal blue purple; do convert -size 120x80 "gradient:$c-white" "写真/$c.bmp"; done
 convert -size 300x200 -seed 3 plasma:fractal 写真/plasma.bmp
 convert -size 64x64 xc:skyblue -fill gold -draw "circle 32,32 32,8" 写真/sub/sun.gif
 convert -size 50x40 gradient:green-yellow "写真/sub/葉 #1.jpg")
cp tests/data/pictures/{shapes.wmf,two_sizes.ico,prog_icon.exe,prog64_icon.dll,spin.ani,arrow.cur,help.hlp} \
   "$WORK/tree/programs/"
echo "メモ" > "$WORK/tree/programs/readme.txt"

xvfb-run -a -s "-screen 0 1280x800x24" "$BUILD/tests/app/tavolix_screenshots" "$WORK/out" "$WORK/tree"
cp "$WORK/out/frame.png" "$OUT/frame.png"
cp "$WORK/out/pictures.png" "$OUT/pictures.png"

chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
         --disable-component-update --disable-sync --user-data-dir="$WORK/chrome" --hide-scrollbars \
         --window-size=1000,1200 --screenshot="$OUT/page.png" "file://$WORK/out/page/index.html" 2>/dev/null
echo "screenshots in $OUT"
