#!/usr/bin/env bash
# Installs what is missing, builds, starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/app/tavolix ]; then
  exec build/app/tavolix "$@"
fi
# No window yet: the command-line finder over the current directory.
exec build/cli/tavolix-page "${@:-.}" "*.gif"
