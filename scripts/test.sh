#!/usr/bin/env bash
# Configures, builds and runs every Quillo test: the CTest suites (unit, and those
# that need a display or a keyring, under a private Xvfb + openbox and a private
# session bus with an unlocked keyring, and a private PostgreSQL for the cloud service),
# then the decoder fuzzer for a while. Before the suites it makes both Debian packages
# (scripts/package.sh), which also builds the Debian 13 desktop suites in a Debian 13 root
# (made once and kept in /var/cache/quillo-test).
#
#   scripts/test.sh              everything
#   QUILLO_FUZZ_SECONDS=0 ...    skip the fuzzer
#   QUILLO_SANITIZE=ON ...       build the suites with ASan + UBSan
set -euo pipefail
shopt -s inherit_errexit 2>/dev/null || true

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_BUILD_DIR:-$root/build}
fuzz_build=${QUILLO_FUZZ_BUILD_DIR:-$root/build-fuzz}
fuzz_seconds=${QUILLO_FUZZ_SECONDS:-60}
jobs=${QUILLO_JOBS:-2}

"$root/scripts/install-deps.sh"

echo "== build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLO_SANITIZE="${QUILLO_SANITIZE:-OFF}" -DQUILLO_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"

echo "== packages (Debian 12 and 13)"
QUILLO_BUILD_DIR=$build "$root/scripts/package.sh"

# Everything started here is stopped on the way out, whatever happens.
pids=()
tmp=$(mktemp -d)
pgdir=""
pg_stop=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "${#pg_stop[@]}" -gt 0 ]; then "${pg_stop[@]}" >/dev/null 2>&1 || true; fi
  [ -n "$pgdir" ] && rm -rf "$pgdir"
  rm -rf "$tmp"
}
trap cleanup EXIT

# The tests never see the real home.
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/data" XDG_CONFIG_HOME="$tmp/home/config"
export XDG_CACHE_HOME="$tmp/home/cache" XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

# A private Xvfb with openbox on the first free display number; with "tray", also a
# system tray; with "bare", no window manager at all. Sets started_display to its name.
start_display() {
  local n kind=${1:-}
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$tmp/xvfb-$n.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 || { cat "$tmp/xvfb-$n.log"; echo "Xvfb did not start" >&2; exit 1; }
  started_display=":$n"
  [ "$kind" = bare ] && return
  # The window manager announces itself on the root window (xprop says "not found", and
  # succeeds, until then). Started a second time if it does not come up.
  local attempt
  for attempt in 1 2; do
    DISPLAY=":$n" openbox --sm-disable >>"$tmp/openbox-$n.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
      DISPLAY=":$n" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break 2
      sleep 0.1
    done
    echo "openbox did not come up on :$n (attempt $attempt):" >&2
    cat "$tmp/openbox-$n.log" >&2
  done
  DISPLAY=":$n" xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" ||
    { echo "no window manager on :$n" >&2; exit 1; }
  if [ "$kind" = tray ]; then
    # A system tray, so that the application's tray item has a home.
    DISPLAY=":$n" trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
      >"$tmp/trayer.log" 2>&1 &
    pids+=($!)
  fi
}

# A private PostgreSQL 15 cluster for the cloud service's tests, on a socket only.
start_postgres() {
  # The socket lives in a folder of its own, so the port cannot clash with another server.
  local bin=/usr/lib/postgresql/15/bin port=55432 as=()
  pgdir=$(mktemp -d /tmp/quillo-pg.XXXXXX)
  mkdir -p "$pgdir/data" "$pgdir/sock"
  if [ "$(id -u)" -eq 0 ]; then
    chown -R postgres: "$pgdir"
    chmod 755 "$pgdir"
    as=(runuser -u postgres --)
  fi
  "${as[@]}" "$bin/initdb" -D "$pgdir/data" -A trust -U postgres >"$tmp/pg-init.log" 2>&1 ||
    { cat "$tmp/pg-init.log"; echo "initdb failed" >&2; exit 1; }
  "${as[@]}" "$bin/pg_ctl" -D "$pgdir/data" -l "$pgdir/data/log" -w \
    -o "-k $pgdir/sock -c listen_addresses='' -p $port -c fsync=off" start >/dev/null ||
    { cat "$pgdir/data/log"; echo "PostgreSQL did not start" >&2; exit 1; }
  export QUILLO_TEST_PG_SOCKET="$pgdir/sock" QUILLO_TEST_PG_PORT="$port"
  pg_stop=("${as[@]}" "$bin/pg_ctl" -D "$pgdir/data" -m fast stop)
}

echo "== tests"
# sway refuses to run as root: the Wayland tests start it as this unprivileged user.
if [ "$(id -u)" -eq 0 ] && ! id quillotest >/dev/null 2>&1; then
  useradd --no-create-home --shell /usr/sbin/nologin quillotest
fi
start_postgres
# The desktop most tests use has a tray; a second one has none, as GNOME has none.
start_display tray
export DISPLAY=$started_display
start_display
export QUILLO_TEST_DISPLAY_WITHOUT_TRAY=$started_display
# And one where nothing manages the windows (as where the window manager ignores them).
start_display bare
export QUILLO_TEST_DISPLAY_WITHOUT_WM=$started_display
# A private session bus with an unlocked keyring for the secret-store tests.
dbus-run-session -- bash -c '
  echo -n quillo-test | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
  ctest --test-dir "$1" --output-on-failure -j "$2" --timeout 300 $3
' _ "$build" "$jobs" "${QUILLO_CTEST_ARGS:-}" | tee "$tmp/ctest.log"
summary=$(grep -E '^[0-9]+% tests passed' "$tmp/ctest.log" | tail -1)
total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
failed=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$summary")

if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzz ($fuzz_seconds s)"
  cmake -S "$root" -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUILLO_BUILD_FUZZ=ON \
    -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$fuzz_build" -j "$jobs" --target quillo_fuzz_library_decoder quillo_fuzz_inputd_decoder
  corpus="$tmp/corpus"
  mkdir -p "$corpus" && cp "$root"/fuzz/corpus/* "$corpus"/
  # Any crash, hang (-timeout) or sanitizer report makes libFuzzer exit non-zero. The
  # library reader gets most of the time; the input helper's decoder a quarter.
  "$fuzz_build/fuzz/quillo_fuzz_library_decoder" -max_total_time="$fuzz_seconds" -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$tmp/" "$corpus" \
    >"$tmp/fuzz.log" 2>&1 || { tail -60 "$tmp/fuzz.log"; echo "fuzzing found a problem" >&2; exit 1; }
  tail -12 "$tmp/fuzz.log"
  mkdir -p "$tmp/corpus-inputd"
  "$fuzz_build/fuzz/quillo_fuzz_inputd_decoder" -max_total_time=$(( (fuzz_seconds + 3) / 4 )) -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$tmp/inputd-" "$tmp/corpus-inputd" \
    >"$tmp/fuzz-inputd.log" 2>&1 || { tail -60 "$tmp/fuzz-inputd.log"; echo "fuzzing found a problem" >&2; exit 1; }
  tail -4 "$tmp/fuzz-inputd.log"
fi
echo "== all tests passed"
echo "ctest: $((total - failed)) passed, $failed failed"
