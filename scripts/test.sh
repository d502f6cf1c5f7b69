#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors), runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${TAVOLIX_TEST_BUILD:-build-test}
JOBS=$(nproc)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVOLIX_SANITIZE=ON -DTAVOLIX_WERROR=ON \
      -DTAVOLIX_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD" -j "$JOBS" --output-on-failure
if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh --short
fi
