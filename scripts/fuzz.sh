#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each of them,
# first over the kept reproducers and the hostile files of
# bench/make_hostile.py, then from the seed files for a while.
#   scripts/fuzz.sh --short        10 s per target (the test command's)
#   scripts/fuzz.sh --seconds N    N seconds per target (default 120)
# Exits non-zero when any target crashes, hangs, runs out of memory or spends
# more than TIMEOUT seconds (default 1) of CPU time on one input. The budget is
# counted inside the target around the reader alone (fuzz/CpuBudget.cpp): not
# the process's start or its reading of a 32 MiB file, which cost more than
# the reader does, and not the wall clock a busy machine stretches.
set -euo pipefail
cd "$(dirname "$0")/.."

SECS=120
while [ $# -gt 0 ]; do
  case "$1" in
    --short) SECS=10 ;;
    --seconds) SECS="$2"; shift ;;
    *) echo "usage: $0 [--short | --seconds N]" >&2; exit 2 ;;
  esac
  shift
done

BUILD=${TAVOLIX_FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAVOLIX_FUZZ=ON -DTAVOLIX_GUI=OFF -DTAVOLIX_TESTS=OFF -DTAVOLIX_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target fuzz_all -j "$(nproc)"

DATA=tests/data/pictures
CORPUS=tests/data/corpus
REPRO=tests/data/fuzz
SEEDS=tests/data/seeds
# Files whose cost grows with what they claim: full size to time single
# inputs, small ones as seeds.
HOSTILE=fuzz/corpus-run/hostile
python3 bench/make_hostile.py "$HOSTILE" >/dev/null
python3 bench/make_hostile.py "$HOSTILE-small" --small >/dev/null
# One line a target: its name, then the seed files it starts from.
TARGETS="
fuzz_bitmap_header   $DATA/*.bmp HOSTILE/*.bmp $CORPUS/bmpsuite/*/*.bmp $CORPUS/image-rs/*/*.bmp $CORPUS/pillow/*.bmp
fuzz_icon_file       $DATA/*.ico $DATA/*.cur $DATA/*.ani HOSTILE/*.ico $CORPUS/image-rs/*/*.ico $CORPUS/pillow/*.ico $CORPUS/pillow/*.cur
fuzz_program_icons   $DATA/*.exe $DATA/*.dll $DATA/*.scr $DATA/*.ico $DATA/*.cur $DATA/*.ani HOSTILE/*.exe HOSTILE/*.ico $CORPUS/corkami-pe/*
fuzz_metafile        $DATA/*.wmf $DATA/*.emf HOSTILE/*.wmf HOSTILE/*.emf $CORPUS/emf2svg/*/*.emf $CORPUS/libwmf/*.wmf $CORPUS/pillow/*.?mf
fuzz_metafile_play   $DATA/*.wmf $DATA/*.emf HOSTILE/*.wmf HOSTILE/*.emf $CORPUS/emf2svg/*/*.emf $CORPUS/libwmf/*.wmf $CORPUS/pillow/*.?mf
fuzz_picture_decode  $DATA/*.bmp $DATA/*.ico HOSTILE/*.bmp HOSTILE/*.ico $CORPUS/bmpsuite/*/*.bmp $CORPUS/image-rs/*/* $CORPUS/pillow/*.ico
fuzz_walk_options    $SEEDS/walk/*
fuzz_listing_store   $SEEDS/listings/*
fuzz_content_reader  $SEEDS/contents/*
fuzz_thumb_protocol  $SEEDS/thumbs/*
fuzz_thumbnailer_entry $SEEDS/thumbnailers/*
fuzz_png_reduce      $CORPUS/pngsuite/*.png HOSTILE/*.png
fuzz_svg_self_contained $SEEDS/svg/*
"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0
# -max_len covers the hostile shapes (a metafile may be 32 MiB). The wall
# clock (-timeout, HANG seconds) only catches hangs.
export TAVOLIX_FUZZ_CPU_SECONDS=${TIMEOUT:-1}
HANG=${HANG:-60}
LIMITS=(-rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout="$HANG" -max_len=33554432)

failed=()
while read -r target seeds; do
  [ -n "$target" ] || continue
  exe="$BUILD/fuzz/$target"
  [ -x "$exe" ] || { echo "fuzz: $target was not built" >&2; failed+=("$target"); continue; }
  work="fuzz/corpus-run/$target"
  mkdir -p "$work" "$work.crashes"
  # shellcheck disable=SC2086
  cp -n ${seeds//HOSTILE/$HOSTILE-small} "$work"/ 2>/dev/null || true
  # The seeds whole, the hostile files among them: each input is held to its budget.
  # shellcheck disable=SC2086
  if ! "$exe" "${LIMITS[@]}" ${seeds//HOSTILE/$HOSTILE} </dev/null >"$work.log" 2>&1; then
    echo "fuzz: $target fails or is slow on a seed or hostile file" >&2; tail -30 "$work.log" >&2
    failed+=("$target"); continue
  fi
  if [ -d "$REPRO/$target" ] && [ -n "$(ls -A "$REPRO/$target")" ]; then
    if ! "$exe" "${LIMITS[@]}" "$REPRO/$target"/* </dev/null >"$work.log" 2>&1; then
      echo "fuzz: $target fails on a kept reproducer" >&2; tail -30 "$work.log" >&2
      failed+=("$target"); continue
    fi
  fi
  echo "fuzz: $target for ${SECS}s"
  if ! "$exe" "${LIMITS[@]}" -max_total_time="$SECS" -print_final_stats=1 \
        -artifact_prefix="$work.crashes/" "$work" </dev/null >"$work.log" 2>&1; then
    echo "fuzz: $target FAILED; reproducer in $work.crashes/" >&2
    tail -40 "$work.log" >&2
    failed+=("$target")
  else
    { grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work.log" || true; } | tr "\n" " "; echo
  fi
done <<<"$TARGETS"

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all targets ran clean"
