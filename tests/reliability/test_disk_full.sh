#!/usr/bin/env bash
# A disk that fills up while Kolvena.cfg is saved, made real in a throwaway
# Wine prefix, and the case "disk full during a save" of test_faults.exe run
# in it twice:
#   full  - C:\windows\Kolvena.cfg.new is a link to /dev/full: the save's new
#           file opens, and every write to it fails with "no space left".
#   limit - the Wine processes may write no file beyond 1 KiB (ulimit -f 1):
#           the first KiB of the new file is written, the rest fails.
# $1 is Kolvena.exe (unused); test_faults.exe is found beside the other tests.
set -u
here=$(cd "$(dirname "$0")" && pwd)
src=${KOLVENA_SRC_DIR:-$(cd "$here/../.." && pwd)}
bin=${KOLVENA_BIN_DIR:?KOLVENA_BIN_DIR names the build directory}
exe="$bin/tests/test_faults.exe"
. "$src/scripts/wine-env.sh"
[ -f "$exe" ] || { echo "missing $exe" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "DISPLAY is not set" >&2; exit 1; }

failed=0
for how in full limit; do
  prefix=$(mktemp -d /tmp/kolvena-disk.XXXXXX)
  kolvena_fresh_prefix "$prefix"
  windir="$prefix/drive_c/windows"
  [ -d "$windir" ] || { echo "no Windows directory in $prefix" >&2; exit 1; }
  if [ "$how" = full ]; then
    ln -s /dev/full "$windir/Kolvena.cfg.new"
    # The link does lead to a device whose every write fails.
    if echo x 2>/dev/null > "$windir/Kolvena.cfg.new"; then echo "/dev/full accepted a write" >&2; exit 1; fi
  fi

  echo "== $how"
  # The server runs without the limit; only the test program has it.
  WINEPREFIX="$prefix" wineserver -p >/dev/null 2>&1
  log="$prefix.log"
  (
    export WINEPREFIX="$prefix" KOLVENA_DISK="$how"
    if [ "$how" = limit ]; then
      trap '' XFSZ          # a write beyond the limit fails instead of killing
      ulimit -f 1
    fi
    exec wine "$exe" --no-skip -tc="disk full during a save*"
  ) > "$log" 2>&1
  rc=$?
  out=$(cat "$log")
  rm -f "$log"
  echo "$out"
  [ $rc -eq 0 ] || { echo "== $how failed: exit code $rc"; failed=1; }
  # The case really ran (a filter that matches nothing passes too).
  echo "$out" | grep -Eq 'test cases: *1 \| *1 passed' || { echo "== $how: the case did not run and pass"; failed=1; }

  # No part of the new file is left behind.
  # The link to /dev/full stays: Wine cannot delete a device.
  if [ -f "$windir/Kolvena.cfg.new" ]; then
    echo "== $how: a partial Kolvena.cfg.new is left"; failed=1
  fi
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
done
exit $failed
