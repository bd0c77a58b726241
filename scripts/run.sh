#!/usr/bin/env bash
# Builds Kolvena and starts it under Wine in a virtual desktop with a taskbar.
# It starts the 32-bit build, the one users are told to run;
# KOLVENA_BUILD=x64 bash scripts/run.sh starts the 64-bit one.
# Uses $DISPLAY; with no display it starts Xvfb itself and says so.
# The Wine prefix is kept in build/run-prefix, so a second run starts at once.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)

bash scripts/deps.sh
. scripts/wine-env.sh

build=${KOLVENA_BUILD:-x86}
case $build in x86|x64) ;; *) echo "KOLVENA_BUILD is x86 or x64, not $build" >&2; exit 2 ;; esac
cmake --preset "$build" >/dev/null
cmake --build --preset "$build" --target Kolvena

if [ -z "${DISPLAY:-}" ]; then
  kolvena_start_xvfb
  echo "No display: started Xvfb on $DISPLAY (pid $KOLVENA_XVFB_PID)."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root kolvena.png"
  trap 'kill "$KOLVENA_XVFB_PID" 2>/dev/null || true' EXIT
fi

export WINEPREFIX="$here/build/run-prefix"
# A prefix made before Wine's 32-bit half was installed cannot run 32-bit
# programs (it has no syswow64): it is made anew.
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  rm -rf "$WINEPREFIX"
  echo "Preparing the Wine prefix $WINEPREFIX..."
  kolvena_make_prefix "$WINEPREFIX"
fi

echo "Kolvena runs in a Wine desktop on $DISPLAY: right-click its icon in the taskbar's notification area."
wine explorer /desktop=shell,1024x768 "$here/build/$build/Kolvena.exe"
