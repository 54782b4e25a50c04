#!/usr/bin/env bash
# Runs a command inside a private headless KWin (Debian 12's kwin_wayland 5.27, Debian 13's
# 6.3) with its own session bus, home and runtime folder; the command sees WAYLAND_DISPLAY
# and QUILLO_KWIN_VERSION (5.27.5, 6.3.6, ...), and KWin owns org.kde.KWin and
# org.kde.kglobalaccel on that bus. Weston's terminal gets a desktop entry, as nearly every
# application has, and so does the command, one that lets it use KWin's screenshot
# interface as Quillo's entry lets Quillo. Exits with the command's code.
#   tests/desktops/kwin-session.sh COMMAND [ARGS...]
set -u
if [ $# -lt 1 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
if [ -z "${QUILLO_KWIN_INNER:-}" ]; then
  kwin=$(command -v kwin_wayland || true)
  [ -n "$kwin" ] || { echo "kwin_wayland is not installed (scripts/install-deps.sh installs kwin-wayland)" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
  export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE
  export QUILLO_KWIN_INNER=1 QUILLO_KWIN_LOG=$work/kwin.log
  mkdir -p "$HOME" "$work/bin" "$XDG_DATA_HOME/applications" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  printf '[Desktop Entry]\nType=Application\nName=Weston Terminal\nExec=weston-terminal\n' \
    >"$XDG_DATA_HOME/applications/org.freedesktop.weston.wayland-terminal.desktop"
  # The command may read the screen through KWin's screenshot interface, as Quillo's own
  # desktop entry lets Quillo: KWin reads the entries when it starts.
  command_path=$(readlink -f "$(command -v "$1")")
  printf '[Desktop Entry]\nType=Application\nName=Quillo tests\nExec=%s\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n' \
    "$command_path" >"$XDG_DATA_HOME/applications/quillo-tests.desktop"
  # The installed kwin_wayland carries a file capability (cap_sys_resource) that a
  # container's bounding set may lack, and then it cannot be run; a plain copy can. Its
  # name must stay kwin_wayland.
  cp "$kwin" "$work/bin/kwin_wayland"
  QUILLO_KWIN_VERSION=$(dpkg-query -W -f='${Version}' kwin-wayland 2>/dev/null | sed -E 's/^[0-9]+://; s/[-+~].*//')
  export QUILLO_KWIN_VERSION
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
  dbus-run-session -- "$0" "$@"
  exit $?
fi
KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$XDG_RUNTIME_DIR/../bin/kwin_wayland" --virtual --width 1280 --height 800 \
  --no-lockscreen --socket wayland-quillo >"$QUILLO_KWIN_LOG" 2>&1 &
kwin_pid=$!
for _ in $(seq 100); do
  gdbus introspect --session --dest org.kde.KWin --object-path /Scripting >/dev/null 2>&1 && break
  sleep 0.1
done
if ! gdbus introspect --session --dest org.kde.KWin --object-path /Scripting >/dev/null 2>&1; then
  echo "KWin did not start:" >&2
  tail -20 "$QUILLO_KWIN_LOG" >&2
  kill $kwin_pid 2>/dev/null
  exit 1
fi
export WAYLAND_DISPLAY=wayland-quillo
# In a session of its own, so that whatever it leaves running goes with it (a Wayland
# client whose compositor is gone may spin).
setsid "$@" &
command_pid=$!
wait $command_pid
code=$?
kill -KILL -- -$command_pid 2>/dev/null
kill -TERM $kwin_pid 2>/dev/null
wait $kwin_pid 2>/dev/null
exit $code
