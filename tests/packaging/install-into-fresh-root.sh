#!/usr/bin/env bash
# Installs the Debian package of one release as a user would (apt-get install ./FILE) into
# a fresh minimal root of that release, then checks that every file is where the desktop
# and the system look for it, that the package made its users, that the programs find
# their libraries and run, and that the package removes cleanly.
#   tests/packaging/install-into-fresh-root.sh SOURCE_FOLDER PACKAGES_FOLDER 12|13
set -euo pipefail
source=$1 packages=$2 release=$3
case $release in
  12) codename=bookworm ;;
  13) codename=trixie ;;
  *) echo "no Debian release $release" >&2; exit 2 ;;
esac
roots=${QUILLO_ROOTS_DIR:-/var/cache/quillo-test}
deb=$(ls "$packages"/quillo_*_deb"$release"_amd64.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || { echo "no Debian $release package in $packages: scripts/package.sh makes it"; exit 1; }
"$source/scripts/debian-root.sh" make "$codename" "$roots/$codename-base"
fresh=$(mktemp -d /var/tmp/quillo-fresh-$codename.XXXXXX)
trap 'rm -rf "$fresh"' EXIT
"$source/scripts/debian-root.sh" copy "$roots/$codename-base" "$fresh/root"
cp "$deb" "$fresh/root/tmp/"
in_root() { "$source/scripts/debian-root.sh" run "$fresh/root" -- "$@"; }

echo "installing $(basename "$deb") into a fresh Debian $release ($codename)"
in_root sh -c 'apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends ./tmp/'"$(basename "$deb")" \
  >"$fresh/apt.log" 2>&1 || { tail -40 "$fresh/apt.log"; echo "FAILED apt-get install ./$(basename "$deb")"; exit 1; }

failures=0
check() {
  if in_root sh -c "$2" >"$fresh/check.log" 2>&1; then
    echo "ok     $1"
  else
    echo "FAILED $1"
    sed 's/^/       /' "$fresh/check.log"
    failures=$((failures + 1))
  fi
}
check "the package is installed" "dpkg-query -W -f='\${Status}' quillo | grep -q 'install ok installed'"
check "quillo --version runs" "quillo --version | grep -q '^quillo '"
check "quillo doctor runs (and says what is missing here)" \
  "env QT_QPA_PLATFORM=offscreen quillo doctor >/tmp/doctor.txt 2>&1; grep -q 'backend:' /tmp/doctor.txt"
check "the helper runs" "/usr/libexec/quillo/quillo-inputd --version | grep -q quillo-inputd"
check "every library the programs need is there" \
  "! ldd /usr/bin/quillo /usr/libexec/quillo/quillo-inputd /usr/libexec/quillo/quillo-guardian | grep -q 'not found'"
check "the desktop entry is where menus look, claims quillo:// and starts the installed program" \
  "grep -q 'x-scheme-handler/quillo' /usr/share/applications/quillo.desktop && grep -q '^Exec=quillo %u' /usr/share/applications/quillo.desktop && command -v quillo | grep -qx /usr/bin/quillo"
check "the icon is in the hicolor theme" "test -s /usr/share/icons/hicolor/scalable/apps/quillo.svg"
check "both forms of the GNOME Shell extension are in the system's extension folder" \
  "test -s /usr/share/gnome-shell/extensions/quillo@quillo.app/metadata.json && test -s /usr/share/gnome-shell/extensions/quillo-legacy@quillo.app/metadata.json"
check "the KWin script is in the data folder" "test -s /usr/share/quillo/kwin/bridge.js"
check "the helper's unit is where systemd looks and names the installed helper" \
  "grep -q '^ExecStart=/usr/libexec/quillo/quillo-inputd' /usr/lib/systemd/system/quillo-inputd.service"
check "the unit runs as the user the package makes" \
  "grep -q '^User=quillo-inputd' /usr/lib/systemd/system/quillo-inputd.service && grep -q 'quillo-inputd' /usr/lib/sysusers.d/quillo.conf"
check "the udev rule, system users and module list are where the system looks" \
  "test -s /usr/lib/udev/rules.d/70-quillo-inputd.rules && test -s /usr/lib/sysusers.d/quillo.conf && test -s /usr/lib/modules-load.d/quillo.conf"
check "installing made the helper's user and the group quillo" "getent passwd quillo-inputd && getent group quillo"
check "the package removes cleanly" "apt-get remove -y -q quillo >/dev/null && ! test -e /usr/bin/quillo"
echo "$failures failed"
[ "$failures" -eq 0 ]
