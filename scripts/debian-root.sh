#!/usr/bin/env bash
# Debian roots for building and testing Quillo on another Debian release than this
# machine's (made with debootstrap, entered with chroot). A root is made once and kept.
#
#   scripts/debian-root.sh make RELEASE ROOT [PACKAGE...]   a minimal root of RELEASE
#                                                           (bookworm, trixie), then the
#                                                           packages it still lacks
#   scripts/debian-root.sh copy FROM TO                     a fresh copy of a root
#   scripts/debian-root.sh run ROOT [--bind FOLDER]... -- COMMAND [ARGS...]
#                                                           COMMAND inside, as root, with
#                                                           /proc, /sys, /dev and each
#                                                           FOLDER at the same path
#
# Every mount is made in a mount namespace of the command's own: it goes when the command
# ends, never reaches this machine's own folders, and two commands in one root at once do
# not take each other's mounts away.
set -euo pipefail

usage() {
  sed -n '4,11p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

# The archive this machine installs from (deb.debian.org unless it says otherwise).
mirror() {
  local uri=${DEBIAN_MIRROR_URL:-}
  [ -n "$uri" ] || uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  echo "${uri:-http://deb.debian.org/debian}"
}

inside() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# Runs the rest of this script again in a private mount namespace (once).
private_mounts() {
  if [ -z "${QUILLO_ROOT_PRIVATE:-}" ]; then
    export QUILLO_ROOT_PRIVATE=1
    exec unshare --mount --propagation slave "$0" "$@"
  fi
}

mount_basics() {
  local root=$1
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  # Xwayland (GNOME Shell 48 starts it on demand) wants a shared X socket folder.
  chmod 1777 "$root/tmp"
  mkdir -p "$root/tmp/.X11-unix" && chmod 1777 "$root/tmp/.X11-unix"
  # Names resolve inside as they do here.
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

[ $# -ge 1 ] || usage
[ "$(id -u)" -eq 0 ] || { echo "debian-root: needs root (debootstrap and chroot)" >&2; exit 1; }
what=$1
shift
case $what in
  make)
    [ $# -ge 2 ] || usage
    release=$1 root=$2
    shift 2
    command -v debootstrap >/dev/null || {
      apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
    }
    if ! grep -qs "VERSION_CODENAME=$release" "$root/etc/os-release" || [ ! -e "$root/.quillo-root-complete" ]; then
      # A root left half-made by an interrupted run is made again from scratch.
      rm -rf "$root"
      mkdir -p "$(dirname "$root")"
      echo "debian-root: making a Debian $release root in $root (about a minute)"
      debootstrap --variant=minbase "$release" "$root" "$(mirror)" >"$root.debootstrap.log" 2>&1 ||
        { tail -30 "$root.debootstrap.log" >&2; echo "debian-root: debootstrap failed" >&2; exit 1; }
      touch "$root/.quillo-root-complete"
    fi
    if [ $# -gt 0 ]; then
      missing=()
      for p in "$@"; do
        inside "$root" dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
      done
      if [ "${#missing[@]}" -gt 0 ]; then
        private_mounts make "$release" "$root" "$@"
        mount_basics "$root"
        echo "debian-root: installing ${#missing[@]} packages into $root"
        inside "$root" apt-get update -q >/dev/null
        inside "$root" apt-get install -y -q --no-install-recommends "${missing[@]}" >"$root.install.log" 2>&1 ||
          { tail -30 "$root.install.log" >&2; echo "debian-root: the packages did not install" >&2; exit 1; }
      fi
    fi
    ;;
  copy)
    [ $# -eq 2 ] || usage
    [ -e "$1/.quillo-root-complete" ] || { echo "debian-root: $1 is not a finished root" >&2; exit 1; }
    rm -rf "$2"
    cp -a "$1" "$2"
    ;;
  run)
    [ $# -ge 1 ] || usage
    root=$1
    shift
    binds=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
      [ "$1" = --bind ] && [ $# -ge 2 ] || usage
      binds+=("$(realpath "$2")")
      shift 2
    done
    [ "${1:-}" = -- ] || usage
    shift
    [ $# -ge 1 ] || usage
    [ -e "$root/.quillo-root-complete" ] || { echo "debian-root: $root is not a finished root" >&2; exit 1; }
    again=()
    for folder in "${binds[@]}"; do again+=(--bind "$folder"); done
    private_mounts run "$root" "${again[@]}" -- "$@"
    mount_basics "$root"
    for folder in "${binds[@]}"; do
      mkdir -p "$root$folder"
      mount --bind "$folder" "$root$folder"
    done
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
      DEBIAN_FRONTEND=noninteractive "$@"
    ;;
  *) usage ;;
esac
