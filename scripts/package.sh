#!/usr/bin/env bash
# Builds Quillo's Debian packages into build/packages/, one per release, each built on its
# release and depending on that release's libraries:
#   quillo_VERSION_deb12_amd64.deb   from this machine's build (Debian 12)
#   quillo_VERSION_deb13_amd64.deb   built inside a Debian 13 root
# The Debian 13 root (kept in /var/cache/quillo-test/trixie-dev; made on first use, a few
# minutes and about 2.5 GB) also gets GNOME Shell 48 and KWin 6.3, every suite built there
# (build/deb13; all but the cloud service's) and its own package installed, for the tests
# that run in it.
#
#   scripts/package.sh [12] [13]        both by default
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QUILLO_BUILD_DIR:-$root/build}")
roots=${QUILLO_ROOTS_DIR:-/var/cache/quillo-test}
jobs=${QUILLO_JOBS:-2}
releases=("$@")
[ "${#releases[@]}" -gt 0 ] || releases=(12 13)
out=$build/packages
mkdir -p "$out"

# Makes the package of a configured and built folder and puts it into build/packages.
make_package() {
  local release=$1 folder=$2
  shift 2
  rm -rf "$out/cpack-$release" "$out"/quillo_*_deb"$release"_amd64.deb
  "$@" cpack --config "$folder/CPackConfig.cmake" -G DEB -B "$out/cpack-$release" >"$out/cpack-$release.log" 2>&1 ||
    { tail -30 "$out/cpack-$release.log" >&2; echo "package: cpack failed for Debian $release" >&2; exit 1; }
  mv "$out/cpack-$release"/quillo_*_deb"$release"_amd64.deb "$out/"
  rm -rf "$out/cpack-$release"
  echo "package: $(ls "$out"/quillo_*_deb"$release"_amd64.deb)"
}

targets=(quillo quillo-inputd quillo-guardian quillo_gnome_extension)
for release in "${releases[@]}"; do
  case $release in
    12)
      here=$(. /etc/os-release && echo "${VERSION_ID%%.*}")
      [ "$here" = 12 ] || { echo "package: the Debian 12 package is built on Debian 12 (this is $here)" >&2; exit 1; }
      [ -f "$build/CMakeCache.txt" ] ||
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
      cmake --build "$build" -j "$jobs" --target "${targets[@]}"
      make_package 12 "$build"
      ;;
    13)
      dev=$roots/trixie-dev
      "$root/scripts/debian-root.sh" make trixie "$roots/trixie-base"
      [ -e "$dev/.quillo-root-complete" ] || "$root/scripts/debian-root.sh" copy "$roots/trixie-base" "$dev"
      binds=(--bind "$root")
      case "$build/" in "$root"/*) ;; *) mkdir -p "$build" && binds+=(--bind "$build") ;; esac
      in13=("$root/scripts/debian-root.sh" run "$dev" "${binds[@]}" --)
      "${in13[@]}" "$root/scripts/install-deps.sh" build desktops fonts
      # Release: no debug information, the quicker build. The cloud service is left out: it
      # is deployed on its own (server/deploy), and Debian 12 builds and tests it.
      "${in13[@]}" cmake -S "$root" -B "$build/deb13" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLO_BUILD_BENCH=OFF \
        -DQUILLO_BUILD_SERVER=OFF -DQUILLO_TEST_INSTALLED=ON >/dev/null
      "${in13[@]}" cmake --build "$build/deb13" -j "$jobs"
      make_package 13 "$build/deb13" "${in13[@]}"
      # The desktop suites there run the installed package, as a user's desktop would.
      deb=$(ls "$out"/quillo_*_deb13_amd64.deb)
      "${in13[@]}" sh -c "dpkg --purge quillo >/dev/null 2>&1; apt-get install -y -q --no-install-recommends '$deb'" \
        >"$out/install-13.log" 2>&1 || { tail -30 "$out/install-13.log" >&2; echo "package: the Debian 13 package did not install" >&2; exit 1; }
      ;;
    *) echo "package: no Debian release \"$release\" (12, 13)" >&2; exit 2 ;;
  esac
done
