#!/usr/bin/env bash
# Runs a desktop suite on Debian 13's own desktop, inside the Debian 13 root that
# scripts/package.sh made: GNOME Shell 48 (gnome) or KWin 6.3 (kde), with Quillo's Debian 13
# package installed there and the suite built there (build/deb13).
#   tests/desktops/in-debian13.sh SOURCE_FOLDER BUILD_FOLDER gnome|kde
set -euo pipefail
source=$(realpath "$1") build=$(realpath "$2") which=$3
roots=${QUILLO_ROOTS_DIR:-/var/cache/quillo-test}
dev=$roots/trixie-dev
suite=$build/deb13/tests/quillo_tests_$which
[ -x "$suite" ] && [ -e "$dev/.quillo-root-complete" ] ||
  { echo "no Debian 13 root or build ($dev, $suite): scripts/package.sh 13 makes them (scripts/test.sh runs it)"; exit 1; }
binds=(--bind "$source")
case "$build/" in "$source"/*) ;; *) binds+=(--bind "$build") ;; esac
in13=("$source/scripts/debian-root.sh" run "$dev" "${binds[@]}" --)
"${in13[@]}" dpkg-query -W -f='${Status} ${Version}\n' quillo | grep -q 'install ok installed' ||
  { echo "Quillo's Debian 13 package is not installed in $dev: scripts/package.sh 13 installs it"; exit 1; }
case $which in
  gnome)
    set +e
    "${in13[@]}" "$source/tests/desktops/gnome-session.sh" - quillo@quillo.app,quillo-legacy@quillo.app -- "$suite"
    code=$?
    set -e
    # Its pictures go with the others.
    mkdir -p "$build/screenshots-desktops"
    cp "$build/deb13/screenshots-desktops"/*.png "$build/screenshots-desktops/" 2>/dev/null || true
    exit $code
    ;;
  kde) exec "${in13[@]}" env QUILLO_TEST_INSTALLED=1 "$source/tests/desktops/kwin-session.sh" "$suite" ;;
  *) echo "usage: $0 SOURCE_FOLDER BUILD_FOLDER gnome|kde" >&2; exit 2 ;;
esac
