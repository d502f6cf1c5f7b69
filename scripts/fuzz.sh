#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each of them,
# first over the kept reproducers, then from the seed files for a while.
#   scripts/fuzz.sh --short        about 20 s per target
#   scripts/fuzz.sh --seconds N    N seconds per target (default 120)
# Exits non-zero when any target crashes, hangs or runs out of memory.
set -euo pipefail
cd "$(dirname "$0")/.."

SECS=120
while [ $# -gt 0 ]; do
  case "$1" in
    --short) SECS=20 ;;
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
REPRO=tests/data/fuzz
# One line a target: its name, then the seed files it starts from.
TARGETS="
fuzz_bitmap_header   $DATA/*.bmp
fuzz_icon_file       $DATA/*.ico $DATA/*.cur $DATA/*.ani
fuzz_program_icons   $DATA/*.exe $DATA/*.dll $DATA/*.scr $DATA/*.ico $DATA/*.cur $DATA/*.ani
fuzz_metafile        $DATA/*.wmf $DATA/*.emf
fuzz_metafile_play   $DATA/*.wmf $DATA/*.emf
fuzz_picture_decode  $DATA/*.bmp $DATA/*.ico
"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0
LIMITS=(-rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 -max_len=65536)

failed=()
while read -r target seeds; do
  [ -n "$target" ] || continue
  exe="$BUILD/fuzz/$target"
  [ -x "$exe" ] || { echo "fuzz: $target was not built" >&2; failed+=("$target"); continue; }
  work="fuzz/corpus-run/$target"
  mkdir -p "$work" "$work.crashes"
  # shellcheck disable=SC2086
  cp -n $seeds "$work"/ 2>/dev/null || true
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
