#!/usr/bin/env bash
# The desktop's own thumbnailers of phones' photos and videos over the files of
# make_photos.py --media: CPU and wall time per 256-pixel thumbnail, one process
# a file as the desktops start them, the median of ten.
#   bench/media_compare.sh DIR/media
set -euo pipefail
dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
time_of() { # prints "CPU_MS WALL_MS" of one run of the command
  /usr/bin/time -f "%U %S %e" "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.1f %.1f\n", ($1 + $2) * 1000, $3 * 1000 }'
}
run() { # name, command...
  local name=$1; shift
  command -v "$1" >/dev/null || { echo "$1: not installed"; return; }
  local cpus=() walls=()
  for _ in $(seq 10); do
    rm -f "$out/t.png"
    read -r c w < <(time_of "$@")
    cpus+=("$c"); walls+=("$w")
    [ -s "$out/t.png" ] || { echo "$name: no thumbnail written"; return; }
  done
  local c w
  c=$(printf "%s\n" "${cpus[@]}" | sort -n | sed -n 6p)
  w=$(printf "%s\n" "${walls[@]}" | sort -n | sed -n 6p)
  printf "%-52s %10.1f / %7.1f ms (median)\n" "$name" "$c" "$w"
}
for f in "$dir"/*.heic; do
  run "heif-thumbnailer -s 256 $(basename "$f")" heif-thumbnailer -s 256 "$f" "$out/t.png"
done
for f in "$dir"/*.mp4; do
  run "ffmpegthumbnailer -s 256 $(basename "$f")" ffmpegthumbnailer -s 256 -i "$f" -o "$out/t.png"
done
