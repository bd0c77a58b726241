#!/usr/bin/env bash
# Installs what building, running and testing Kolvena needs on Debian 12, and
# readies this machine to run 32-bit Windows programs. Idempotent: what is
# already there is skipped, so a second run returns at once.
#
# 32-bit Windows programs (the build users are told to run) need Wine's 32-bit
# half, wine32:i386. Where the kernel runs no 32-bit x86 code, its i386 ELF
# loader runs under qemu-user through binfmt_misc. qemu 10 comes from the
# backports suite: bookworm's qemu 7.2 takes about 45 s to start each 32-bit
# Wine process (Wine's address-space reservations), qemu 10 a fraction of a
# second. Backports keep their default low priority, so nothing else is
# upgraded from them.
set -euo pipefail
. "$(dirname "$0")/debian-mirror.sh"

SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

packages=(
  cmake make python3 binutils
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  llvm-14 clang                  # llvm-windres: resources as Microsoft's rc writes them
  wine wine64 wine32:i386
  xvfb xdotool x11-utils imagemagick
  doctest-dev
  libclang-rt-14-dev
  zip unzip strip-nondeterminism # the release zip, the same bytes from the same source
  fuse3 python3-fusepy           # a file system that does not answer (tests/e2e/test_offline.sh)
  debootstrap                    # the second test platform, Debian 13 with Wine 10 (scripts/debian13.sh)
)
QEMU_MIN=1:10.0

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

need_update=0

# i386 packages (wine32) need the architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture (for wine32)"
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

# bookworm-backports, from the Debian mirror this machine already uses.
if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  mirror=$(kolvena_debian_mirror)
  [ -n "$mirror" ] || { echo "deps: no Debian mirror found in /etc/apt to add bookworm-backports from" >&2; exit 1; }
  echo "Adding bookworm-backports from $mirror (for qemu-user 10)"
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$mirror" |
    $SUDO tee /etc/apt/sources.list.d/kolvena-backports.sources >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
qemu_ok=0
if installed qemu-user-static &&
   dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user-static)" ge "$QEMU_MIN"; then
  qemu_ok=1
fi

if [ ${#missing[@]} -ne 0 ] || [ $qemu_ok = 0 ] || [ $need_update = 1 ]; then
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ $qemu_ok = 0 ]; then
  echo "Installing qemu-user-static from bookworm-backports"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports qemu-user-static >/dev/null
fi

# i386 ELF programs to qemu. Needed only where the kernel cannot run them
# itself; the entry does not survive a reboot, so it is made whenever missing.
# The F flag opens qemu now, so the entry works in every mount namespace.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo "Registering i386 programs with qemu-i386-static (binfmt_misc)"
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386-static:F' "$magic" "$mask" |
      $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "deps: 32-bit Wine does not start" >&2; exit 1; }
fi
