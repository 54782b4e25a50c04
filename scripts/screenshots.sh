#!/usr/bin/env bash
# Saves screenshots of Quillo's windows in their main states into ./screenshots (or the
# folder given), drawn with the fake platform so that no real input is touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$root/screenshots}")
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${QUILLO_JOBS:-2}" --target quillo_screenshots >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen \
  "$build/tests/quillo_screenshots" "$out"
