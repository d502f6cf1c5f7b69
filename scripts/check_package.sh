#!/usr/bin/env bash
# Checks a package written by scripts/package.sh: lintian (errors and warnings
# fail; skipped where lintian is missing), the desktop entry and AppStream file
# it installs, and its programs run from the unpacked tree.
# Usage: scripts/check_package.sh PACKAGE.deb
set -euo pipefail
DEB=$1
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT
dpkg-deb -x "$DEB" "$ROOT"

if command -v lintian >/dev/null; then
  # lintian warns when run as root; the package is only read.
  lintian --fail-on error,warning "$DEB" 2> >(grep -v 'running with root privileges' >&2)
else
  echo "check_package: lintian is missing, skipped"
fi

desktop-file-validate "$ROOT"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$ROOT"/usr/share/metainfo/*.metainfo.xml >/dev/null
for size in 16 22 24 32 48 64 128 256; do
  test -s "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/tavolix.png"
done
for page in tavolix tavolix-page; do
  man -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null | (! grep .)
done

# The packaged programs run: a search by tavolix-page, the frame on the
# offscreen platform (it finds its help beside it).
mkdir -p "$ROOT/t/a"
: >"$ROOT/t/a/x.gif"
export HOME=$ROOT/home XDG_CONFIG_HOME=$ROOT/home/.config
"$ROOT/usr/bin/tavolix-page" --version | grep -q "^tavolix-page "
"$ROOT/usr/bin/tavolix-page" "$ROOT/t" '*.gif' | grep -q "/t/a/x.gif"
# The picture helper is where the program looks for it, and speaks first.
"$ROOT/usr/libexec/tavolix/tavolix-thumbnailer" --serve </dev/null | grep -q TVXTHUMB
QT_QPA_PLATFORM=offscreen timeout 5 "$ROOT/usr/bin/tavolix" && rc=0 || rc=$?
if [ "$rc" -ne 124 ]; then
  echo "check_package: tavolix ended by itself (status $rc)" >&2
  exit 1
fi
echo "check_package: $(basename "$DEB") is sound"
