#!/usr/bin/env bash
# Installs every Debian package Quillo needs to build, test and benchmark, on Debian 12
# (bookworm) or 13 (trixie), each under its own release's names.
# Safe to run again: packages already present are left as they are.
#
#   scripts/install-deps.sh              everything (this machine's build and every suite)
#   scripts/install-deps.sh GROUP...     only these groups: build, tests, fonts, desktops,
#                                        server, fuzz, browser (a Debian 13 root takes build,
#                                        desktops and fonts)
set -euo pipefail

release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
case $release in
  bookworm | trixie) ;;
  *)
    echo "install-deps: this is not Debian 12 or 13 (VERSION_CODENAME=${release:-unknown}); trying Debian 12's names" >&2
    release=bookworm
    ;;
esac

# What differs between the releases.
if [ "$release" = trixie ]; then
  clang_runtime=libclang-rt-19-dev
  # KWin 6 has its global shortcuts in a service of their own.
  kde_shortcuts=kglobalacceld
else
  clang_runtime=libclang-rt-14-dev
  kde_shortcuts=
fi

group_build=(
  build-essential cmake ninja-build pkg-config git file dpkg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libsimdjson-dev nlohmann-json3-dev
  libx11-dev libxtst-dev libxrandr-dev libevdev-dev libxkbcommon-dev
  libwayland-dev plasma-wayland-protocols
  qtkeychain-qt6-dev
  libopencv-core-dev libopencv-imgproc-dev libpng-dev
  nodejs
)
group_tests=(
  qemu-system-x86 linux-image-amd64 busybox-static cpio udev libinput-tools sway foot wev wtype grim
  xvfb xauth openbox xdotool x11-utils x11-xkb-utils trayer
  dbus dbus-x11 gnome-keyring xdg-utils
  imagemagick x11-apps debootstrap
)
# The seven languages' scripts, for the window tests and the screenshots.
group_fonts=(fonts-dejavu-core fonts-wqy-microhei fonts-kacst-one fonts-noto-color-emoji)
group_desktops=(
  gnome-shell gnome-shell-common mutter mutter-common gjs gsettings-desktop-schemas gnome-settings-daemon-common
  kwin-wayland $kde_shortcuts weston foot wev wayland-utils xwayland sway
  dbus dbus-bin libglib2.0-bin procps
)
group_server=(
  librestinio-dev libasio-dev libfmt-dev libhttp-parser-dev libsodium-dev libqt6sql6-sqlite sqlite3
  libqt6sql6-psql postgresql libssl-dev openssl wrk
)
group_fuzz=(clang "$clang_runtime")
group_browser=(chromium chromium-driver python3-selenium)

groups=("$@")
[ "${#groups[@]}" -gt 0 ] || groups=(build tests fonts desktops server fuzz browser)
PACKAGES=()
for g in "${groups[@]}"; do
  case $g in
    build) PACKAGES+=("${group_build[@]}") ;;
    tests) PACKAGES+=("${group_tests[@]}") ;;
    fonts) PACKAGES+=("${group_fonts[@]}") ;;
    desktops) PACKAGES+=("${group_desktops[@]}") ;;
    server) PACKAGES+=("${group_server[@]}") ;;
    fuzz) PACKAGES+=("${group_fuzz[@]}") ;;
    browser) PACKAGES+=("${group_browser[@]}") ;;
    *) echo "install-deps: no group \"$g\" (build, tests, fonts, desktops, server, fuzz, browser)" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi

missing=()
for p in "${PACKAGES[@]}"; do
  [ -n "$p" ] || continue
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    # Node.js may come from elsewhere on this machine: then Debian's is not needed.
    if [ "$p" = nodejs ] && command -v node >/dev/null 2>&1; then continue; fi
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present (Debian $release)"
  exit 0
fi

echo "install-deps: installing on Debian $release: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
