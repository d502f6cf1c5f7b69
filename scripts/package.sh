#!/usr/bin/env bash
# Builds a Release tree and writes tavolix_<version>_<arch>.deb into OUTDIR.
# Usage: scripts/package.sh OUTDIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: scripts/package.sh OUTDIR" >&2
  exit 2
fi
mkdir -p "$1"
OUT=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${TAVOLIX_PACKAGE_BUILD:-build-package}

# Debian's hardening flags, as a package built by dpkg-buildpackage gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTAVOLIX_TESTS=OFF -DTAVOLIX_BENCH=OFF -DTAVOLIX_WERROR=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" >&2

# The changelog's newest entry must be the version being packaged.
version=$(sed -n 's/^project(Tavolix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
logged=$(sed -n '1s/^tavolix (\([^)]*\)).*/\1/p' packaging/changelog)
if [ "$version" != "$logged" ]; then
  echo "package: packaging/changelog names $logged, the project is $version" >&2
  exit 1
fi

(cd "$BUILD" && cpack -G DEB -B "$OUT" >/dev/null)
rm -rf "$OUT/_CPack_Packages"
ls "$OUT"/tavolix_"$version"_*.deb
