#!/usr/bin/env bash
# Installs every Debian package Quillo needs to build, test and benchmark.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libsimdjson-dev nlohmann-json3-dev
  libx11-dev libxtst-dev libxrandr-dev libevdev-dev libxkbcommon-dev
  qemu-system-x86 linux-image-amd64 busybox-static cpio udev libinput-tools sway foot wev wtype
  gnome-shell gnome-shell-common mutter mutter-common gjs gsettings-desktop-schemas gnome-settings-daemon-common
  kwin-wayland weston wayland-utils plasma-wayland-protocols libwayland-dev
  xvfb xauth openbox xdotool x11-utils x11-xkb-utils trayer
  dbus dbus-x11 gnome-keyring qtkeychain-qt6-dev xdg-utils
  fonts-dejavu-core fonts-wqy-microhei fonts-kacst-one fonts-noto-color-emoji
  imagemagick x11-apps
  librestinio-dev libasio-dev libfmt-dev libhttp-parser-dev libsodium-dev libqt6sql6-sqlite sqlite3
  libqt6sql6-psql postgresql libssl-dev openssl wrk
  chromium chromium-driver python3-selenium
)

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Node.js runs the tests of the desktop scripts against stand-ins; Debian's serves where
# the machine has none of its own.
if ! command -v node >/dev/null 2>&1; then
  missing+=(nodejs)
fi

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
