#!/usr/bin/env bash
# The tests' second platform: Debian 13 (trixie) with Wine 10, in a folder of
# its own on a Debian 12 machine. Kolvena is still built by Debian 12's
# toolchain; this environment only runs the same executables and tests.
#
#   bash scripts/debian13.sh              makes the environment, or checks
#                                         that it is whole (then returns at once)
#   bash scripts/debian13.sh run CMD ...  runs CMD inside it, in the current
#                                         folder, with the environment as it is
#
# The folder is $KOLVENA_DEBIAN13, /var/cache/kolvena/debian13 unless set: on
# disk, not on a tmpfs, since a Wine 10 prefix takes about 1 GB and each test
# copies one (the environment's own /tmp, inside the folder, holds them).
# debootstrap fetches from the Debian mirror that this machine's apt already
# uses. 32-bit Windows programs need Wine's 32-bit half (wine32:i386); where
# the kernel runs no i386 code, scripts/deps.sh has registered qemu-user with
# binfmt_misc, with the F flag, so the registration serves this environment
# too.
#
# `run` binds into it, in a mount namespace of its own that goes with the
# command: /proc, /sys, /dev, the X server sockets (/tmp/.X11-unix, so that a
# display number taken outside is seen as taken inside) and this checkout at
# its own path, so that build folders and test paths are the same inside.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/debian-mirror.sh"

root=${KOLVENA_DEBIAN13:-/var/cache/kolvena/debian13}
SUDO=
if [ "$(id -u)" != 0 ]; then SUDO="sudo -E"; fi

# What the tests call inside: Wine with both halves, the display and its
# input, screenshots, the silent file system, ctest.
packages="wine wine64 wine32:i386 xvfb xdotool x11-utils imagemagick python3 python3-fusepy fuse3 cmake procps"
mark="$root/.kolvena-packages"

if [ "${1:-}" = run ]; then
  shift
  [ -f "$mark" ] || { echo "debian13: no environment at $root; run bash scripts/debian13.sh first" >&2; exit 1; }
  mkdir -p /tmp/.X11-unix
  # The command's words go through the environment, each quoted once.
  KOLVENA_D13_CMD=$(printf '%q ' "$@") KOLVENA_D13_CWD=$PWD KOLVENA_D13_ROOT=$root KOLVENA_D13_TOP=$here \
  exec $SUDO unshare --mount --propagation private bash -c '
    set -e
    r=$KOLVENA_D13_ROOT
    mount -t proc proc "$r/proc"
    mount --rbind /sys "$r/sys"
    mount --rbind /dev "$r/dev"
    mkdir -p "$r/tmp/.X11-unix" "$r$KOLVENA_D13_TOP"
    mount --bind /tmp/.X11-unix "$r/tmp/.X11-unix"
    mount --bind "$KOLVENA_D13_TOP" "$r$KOLVENA_D13_TOP"
    cmd=$KOLVENA_D13_CMD cwd=$KOLVENA_D13_CWD
    unset KOLVENA_D13_CMD KOLVENA_D13_CWD KOLVENA_D13_ROOT KOLVENA_D13_TOP
    exec chroot "$r" /bin/bash -c "cd \"$cwd\" && exec $cmd"'
fi

# Whole already: the packages asked for are the ones installed, and Wine runs.
if [ -f "$mark" ] && [ "$(cat "$mark")" = "$packages" ] &&
   bash "$0" run /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
  exit 0
fi

command -v debootstrap >/dev/null || { echo "debian13: debootstrap is missing (bash scripts/deps.sh installs it)" >&2; exit 1; }
mirror=$(kolvena_debian_mirror)
[ -n "$mirror" ] || { echo "debian13: no Debian mirror found in /etc/apt" >&2; exit 1; }

if [ ! -x "$root/usr/bin/apt-get" ]; then
  # Made in a folder beside it and moved into place only when whole, so that
  # an interrupted run starts again from the beginning.
  echo "Making a Debian 13 environment in $root from $mirror"
  $SUDO rm -rf "$root.partial"
  $SUDO mkdir -p "$(dirname "$root")"
  $SUDO debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
    trixie "$root.partial" "$mirror" >/dev/null
  $SUDO rm -rf "$root"
  $SUDO mv "$root.partial" "$root"
fi

echo "Installing Wine 10 and the tests' tools in the Debian 13 environment"
$SUDO cp /etc/resolv.conf "$root/etc/resolv.conf"
# The mark goes first: `run` needs one. It names the packages only once they are in.
echo | $SUDO tee "$mark" >/dev/null
bash "$0" run /bin/bash -c "
  set -e
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $packages >/dev/null
  apt-get clean"
echo "$packages" | $SUDO tee "$mark" >/dev/null
bash "$0" run /usr/lib/wine/wine64 --version
