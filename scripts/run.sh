#!/usr/bin/env bash
# Installs what is missing, builds the program, starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIX_TESTS=OFF -DTAVOLIX_BENCH=OFF >/dev/null
cmake --build build-run -j "$(nproc)" --target tavolix tavolix-page
exec build-run/app/tavolix "$@"
