#!/usr/bin/env bash
# Builds Quillo and runs it with the given arguments: none opens the application's
# window (with its tray item or GNOME indicator), a command runs the command line
# (see quillo --help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${QUILLO_JOBS:-2}" --target quillo >/dev/null
exec "$build/src/quillo" "$@"
