#!/usr/bin/env bash
# Builds Kolvena and starts it under Wine in a virtual desktop with a taskbar.
# Uses $DISPLAY; with no display it starts Xvfb itself and says so.
# The Wine prefix is kept in build/run-prefix, so a second run starts at once.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)

bash scripts/deps.sh
. scripts/wine-env.sh

cmake --preset x64 >/dev/null
cmake --build --preset x64 --target Kolvena

if [ -z "${DISPLAY:-}" ]; then
  kolvena_start_xvfb
  echo "No display: started Xvfb on $DISPLAY (pid $KOLVENA_XVFB_PID)."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root kolvena.png"
  trap 'kill "$KOLVENA_XVFB_PID" 2>/dev/null || true' EXIT
fi

export WINEPREFIX="$here/build/run-prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX..."
  kolvena_make_prefix "$WINEPREFIX"
fi

echo "Kolvena runs in a Wine desktop on $DISPLAY: right-click its icon in the taskbar's notification area."
wine explorer /desktop=shell,1024x768 "$here/build/x64/Kolvena.exe"
