#!/bin/sh
# The build's layer check: the project's own sources pass, an include that points up
# a layer is refused with the file and the line, and one that points down is not.
# Usage: check-layers.sh SOURCE_ROOT
set -eu
root=$1
check="$root/cmake/CheckLayers.cmake"
cmake -DSOURCE_DIR="$root/src" -P "$check"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/Platform/X11" "$work/src/Models" "$work/src/Services"
printf '#include "Models/Macro.h"\n#include "Platform/Clock.h"\n' >"$work/src/Platform/X11/Fine.cpp"
printf '#include "Models/Macro.h"\n' >"$work/src/Services/Fine.h"
cmake -DSOURCE_DIR="$work/src" -P "$check"

printf '#include <QString>\n  #  include "Services/LogService.h"\n' >"$work/src/Platform/X11/Up.cpp"
printf '#include "Platform/RawInputEvent.h"\n' >"$work/src/Models/Up.h"
if cmake -DSOURCE_DIR="$work/src" -P "$check" 2>"$work/out"; then
    echo "includes that point up were let through" >&2
    exit 1
fi
for expected in 'Platform/X11/Up.cpp: #  include "Services/LogService.h"' 'Models/Up.h: #include "Platform/RawInputEvent.h"'; do
    grep -qF "$expected" "$work/out" || { echo "the refusal does not name: $expected" >&2; cat "$work/out" >&2; exit 1; }
done
if grep -q 'Fine' "$work/out"; then
    echo "an include that points down was refused" >&2
    exit 1
fi
echo "the layer check refuses what points up and nothing else"
