#!/usr/bin/env bash
# The desktops' own thumbnailers over the same photos: CPU time per picture
# of gdk-pixbuf-thumbnailer (GNOME's) and of ImageMagick's convert -thumbnail,
# 128 pixels, one process a picture as the desktops start them.
#   bench/thumbs_compare.sh DIR/photos
set -euo pipefail
dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ext in jpg png; do
  files=("$dir"/*."$ext")
  n=${#files[@]}
  for tool in gdk-pixbuf-thumbnailer convert; do
    command -v "$tool" >/dev/null || { echo "$tool: not installed"; continue; }
    start=$(date +%s.%N)
    cpu=$( { /usr/bin/time -f "%U %S" bash -c '
      tool=$1; out=$2; shift 2
      for f in "$@"; do
        if [ "$tool" = convert ]; then convert "$f" -thumbnail 128x128 "$out/t.png"
        else gdk-pixbuf-thumbnailer -s 128 "$f" "$out/t.png"; fi
      done' _ "$tool" "$out" "${files[@]}" >/dev/null; } 2>&1 | tail -1)
    end=$(date +%s.%N)
    awk -v t="$tool" -v e="$ext" -v n="$n" -v c="$cpu" -v s="$start" -v w="$end" 'BEGIN {
      split(c, a, " "); printf "%-24s %s: %3d pictures, %7.2f ms CPU each, %6.1f s wall in all\n",
      t, e, n, (a[1] + a[2]) * 1000 / n, w - s }'
  done
done
