#!/usr/bin/env bash
# Checks that the Debian package of one release (scripts/package.sh makes both) holds every
# piece a fresh system of that release needs: the programs, the helper's unit, udev rule,
# system users and module list, the desktop entry with the quillo:// scheme, the GNOME Shell
# extension, the KWin script, the dependencies on that release's libraries and the scripts
# that start the helper.
#   tests/packaging/check-deb.sh PACKAGES_FOLDER 12|13
set -euo pipefail
packages=$1 release=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
deb=$(ls "$packages"/quillo_*_deb"$release"_amd64.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || { echo "no Debian $release package in $packages: scripts/package.sh makes it"; exit 1; }
echo "checking $(basename "$deb")"
failures=0
check() { if eval "$2"; then echo "ok     $1"; else echo "FAILED $1"; failures=$((failures + 1)); fi; }
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/quillo ./usr/libexec/quillo/quillo-inputd ./usr/libexec/quillo/quillo-guardian ./usr/lib/systemd/system/quillo-inputd.service \
         ./usr/lib/udev/rules.d/70-quillo-inputd.rules ./usr/lib/sysusers.d/quillo.conf \
         ./usr/lib/modules-load.d/quillo.conf ./usr/share/applications/quillo.desktop \
         ./usr/share/icons/hicolor/scalable/apps/quillo.svg \
         ./usr/share/gnome-shell/extensions/quillo@quillo.app/extension.js \
         ./usr/share/gnome-shell/extensions/quillo@quillo.app/metadata.json \
         ./usr/share/gnome-shell/extensions/quillo-legacy@quillo.app/extension.js \
         ./usr/share/gnome-shell/extensions/quillo-legacy@quillo.app/metadata.json ./usr/share/quillo/kwin/bridge.js; do
  check "holds $f" "grep -qx '$f' <<<\"\$files\""
done
check "leaves the cloud service out" "! grep -q quillo-cloud <<<\"\$files\""
depends=$(dpkg-deb -f "$deb" Depends)
for d in systemd udev libevdev2 libqt6keychain1 libqt6widgets6 qt6-qpa-plugins; do
  check "depends on $d" "grep -q '$d' <<<\"\$depends\""
done
# Each release names its own JSON library (the cause of a package that did not install).
case $release in
  12) simdjson=libsimdjson14 ;;
  13) simdjson=libsimdjson25 ;;
  *) simdjson=libsimdjson ;;
esac
check "depends on this release's $simdjson" "grep -q '$simdjson' <<<\"\$depends\""
check "the version field names the release" "dpkg-deb -f '$deb' Version | grep -q 'deb$release'"
dpkg-deb -e "$deb" "$out/control"
check "postinst makes the users and starts the helper" \
  "grep -q 'systemd-sysusers' '$out/control/postinst' && grep -q 'enable --now quillo-inputd' '$out/control/postinst'"
check "prerm stops the helper" "grep -q 'disable --now quillo-inputd' '$out/control/prerm'"
dpkg-deb -x "$deb" "$out/root"
check "the desktop entry claims quillo:// and takes the link" \
  "grep -q 'x-scheme-handler/quillo' '$out/root/usr/share/applications/quillo.desktop' && grep -q '^Exec=quillo %u' '$out/root/usr/share/applications/quillo.desktop'"
check "the unit runs the installed helper as its own user" \
  "grep -q '^ExecStart=/usr/libexec/quillo/quillo-inputd' '$out/root/usr/lib/systemd/system/quillo-inputd.service' && grep -q '^User=quillo-inputd' '$out/root/usr/lib/systemd/system/quillo-inputd.service'"
# (Built against its release's libraries: it runs here only on that release; the fresh-root
# test runs both.)
if [ "$(. /etc/os-release && echo "${VERSION_ID%%.*}")" = "$release" ]; then
  check "the installed helper runs" "'$out/root/usr/libexec/quillo/quillo-inputd' --version | grep -q quillo-inputd"
fi
# Both forms of the extension, each for its own shell versions: the module form (45 on)
# must not be offered to 42-44 (they fail on its imports) nor the legacy one to 45 on.
ext=$out/root/usr/share/gnome-shell/extensions
check "each form of the extension declares its uuid and its shell versions" \
  "python3 -c 'import json,sys; m=json.load(open(sys.argv[1])); l=json.load(open(sys.argv[2])); assert m[\"uuid\"]==\"quillo@quillo.app\" and l[\"uuid\"]==\"quillo-legacy@quillo.app\"; assert min(map(int,m[\"shell-version\"]))>=45 and set(l[\"shell-version\"])=={\"42\",\"43\",\"44\"}' '$ext/quillo@quillo.app/metadata.json' '$ext/quillo-legacy@quillo.app/metadata.json'"
check "the legacy form has no import declaration and the module form has no init()" \
  "! grep -q '^import ' '$ext/quillo-legacy@quillo.app/extension.js' && grep -q '^function init' '$ext/quillo-legacy@quillo.app/extension.js' && grep -q '^export default class' '$ext/quillo@quillo.app/extension.js'"
echo "$failures failed"
[ "$failures" -eq 0 ]
