#!/usr/bin/env bash
# Runs suites of the Debian 13 build (build/deb13) inside the Debian 13 root that
# scripts/package.sh made, with Quillo's Debian 13 package installed there: the desktop
# suites on Debian 13's own GNOME Shell 48 (gnome) or KWin 6.3 (kde), or the unit and
# window suites (suites).
#   tests/in-debian13.sh SOURCE_FOLDER BUILD_FOLDER gnome|kde|suites
set -euo pipefail
source=$(realpath "$1") build=$(realpath "$2") which=$3
roots=${QUILLO_ROOTS_DIR:-/var/cache/quillo-test}
dev=$roots/trixie-dev
suite=$build/deb13/tests/quillo_tests_${which/suites/ui}
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
  suites)
    # A home of their own; the root's environment is otherwise empty.
    exec "${in13[@]}" sh -c 'home=$(mktemp -d) && HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
      XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/run ctest --test-dir "$1" -L "^(unit|ui)$" -j 2 \
      --output-on-failure --timeout 120; code=$?; rm -rf "$home"; exit $code' _ "$build/deb13" ;;
  *) echo "usage: $0 SOURCE_FOLDER BUILD_FOLDER gnome|kde|suites" >&2; exit 2 ;;
esac
