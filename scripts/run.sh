#!/usr/bin/env bash
# Builds Quillo and starts it. The desktop application is not there yet: for now this
# builds the core library and reports what exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${QUILLO_JOBS:-2}"
echo
echo "Quillo cannot be started yet: this build has the macro format, the library store"
echo "and the log (library: $build/src/libquillo_core.a). The application arrives with"
echo "the application and window work; run scripts/test.sh to test what exists."
