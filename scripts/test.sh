#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors), runs every test (the unit
# and widget tests twice: C.UTF-8, then ja_JP.UTF-8 in Europe/Berlin), builds and
# tests the core without the GUI, runs each fuzz target for a short while, then
# builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each stage says when it ends, counted from the start, so a slow one is seen.
stage() { echo "test.sh: $1 done after $((SECONDS / 60)) min $((SECONDS % 60)) s"; }
bash scripts/setup.sh
stage setup
BUILD=${TAVOLIX_TEST_BUILD:-build-test}
JOBS=$(nproc)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVOLIX_SANITIZE=ON -DTAVOLIX_WERROR=ON \
      -DTAVOLIX_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"
stage "sanitized build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Every test as today (C.UTF-8, Asia/Tokyo; the real program under Xvfb
# among them), then the unit and widget tests again, on the same build, in a
# user's settings: ja_JP.UTF-8 and Europe/Berlin (tests named NAME@ja_JP).
ctest --test-dir "$BUILD" -j "$JOBS" --output-on-failure -LE user-locale
ctest --test-dir "$BUILD" -j "$JOBS" --output-on-failure -L user-locale
stage "sanitized tests"

# The GUI-free part on its own: configures, builds and passes without Qt Widgets.
NOGUI=${BUILD}-nogui
cmake -S . -B "$NOGUI" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVOLIX_WERROR=ON -DTAVOLIX_GUI=OFF \
      -DTAVOLIX_BENCH=OFF >/dev/null
cmake --build "$NOGUI" -j "$JOBS"
ctest --test-dir "$NOGUI" -j "$JOBS" --output-on-failure
stage "build and tests without the GUI"

bash scripts/fuzz.sh --short
stage fuzzing

# The Debian package, built as a user would and checked.
PACKAGES=${BUILD}-packages
rm -rf "$PACKAGES"
deb=$(bash scripts/package.sh "$PACKAGES" | tail -1)
bash scripts/check_package.sh "$deb"
stage "package"
