#!/usr/bin/env bash
# Runs a command inside a private headless GNOME Shell (Debian 12's 43, Debian 13's 48)
# with its own session bus, home and runtime folder, and the given extensions enabled:
# copied from EXTENSIONS_FOLDER into the user's folder, or, with "-", the ones installed in
# the system's folder (then QUILLO_TEST_INSTALLED=1 tells the command). The tests' own
# helper (in both forms) lets the test use org.gnome.Shell.Eval. Weston's terminal gets a
# desktop entry, as nearly every application has. The command sees WAYLAND_DISPLAY. Exits
# with the command's code.
#   tests/desktops/gnome-session.sh EXTENSIONS_FOLDER|- UUID[,UUID...] -- COMMAND [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 4 ] || [ "$3" != "--" ] || { [ "$1" != - ] && [ ! -d "$1" ]; }; then
  echo "usage: $0 EXTENSIONS_FOLDER|- UUID[,UUID...] -- COMMAND [ARGS...] (the folder must exist)" >&2
  exit 2
fi
if [ -z "${QUILLO_GNOME_INNER:-}" ]; then
  command -v gnome-shell >/dev/null || { echo "gnome-shell is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Set before the session bus starts: dconf's service takes them from it.
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
  export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
  export QUILLO_GNOME_INNER=1 QUILLO_GNOME_LOG=$work/gnome-shell.log
  mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions" "$XDG_DATA_HOME/applications" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  cp -r "$here/quillo-test-helper@quillo.test" "$here/quillo-test-helper-module@quillo.test" \
    "$XDG_DATA_HOME/gnome-shell/extensions/"
  if [ "$1" = - ]; then
    export QUILLO_TEST_INSTALLED=1
  else
    cp -r "$1"/. "$XDG_DATA_HOME/gnome-shell/extensions/"
  fi
  # In place before the shell starts, or it does not match the window to it.
  printf '[Desktop Entry]\nType=Application\nName=Weston Terminal\nExec=weston-terminal\n' \
    >"$XDG_DATA_HOME/applications/org.freedesktop.weston.wayland-terminal.desktop"
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
  dbus-run-session -- "$0" "$@"
  exit $?
fi
uuids=$2
shift 3
# The shell's login-manager code wants a system bus: a private one will do.
dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --nofork 2>/dev/null &
system_bus=$!
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/system_bus" ] && break; sleep 0.05; done
list="'quillo-test-helper@quillo.test', 'quillo-test-helper-module@quillo.test'"
for uuid in ${uuids//,/ }; do list="$list, '$uuid'"; done
gsettings set org.gnome.shell enabled-extensions "[$list]"
gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 >"$QUILLO_GNOME_LOG" 2>&1 &
shell=$!
shell_eval() { gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "$1" 2>/dev/null; }
ready=0
for _ in $(seq 300); do
  if [ "$(shell_eval 'Main.layoutManager._startingUp || Main.overview.visible || Main.overview.animationInProgress')" = "(true, 'false')" ]; then
    ready=1
    break
  fi
  sleep 0.1
done
if [ $ready != 1 ]; then
  echo "GNOME Shell did not come up:" >&2
  tail -20 "$QUILLO_GNOME_LOG" >&2
  kill $shell $system_bus 2>/dev/null
  exit 1
fi
export WAYLAND_DISPLAY=wayland-0
# In a session of its own, so that whatever it leaves running goes with it (a Wayland
# client whose compositor is gone may spin).
setsid "$@" &
command_pid=$!
wait $command_pid
code=$?
kill -KILL -- -$command_pid 2>/dev/null
# mutter often crashes while it stops (in meta_context_destroy): that is not the test's.
kill -TERM $shell 2>/dev/null
wait $shell 2>/dev/null
kill $system_bus 2>/dev/null
exit $code
