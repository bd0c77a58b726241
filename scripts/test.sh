#!/usr/bin/env bash
# Builds Kolvena for 32-bit and 64-bit Windows and runs every test of both
# builds under Wine: the two builds' suites run side by side, each on an Xvfb
# display of its own (the end-to-end tests move the pointer), with one Wine
# template prefix for the run. Arguments go to ctest (-R NAME, -L e2e, ...);
# KOLVENA_BUILDS="x86" or "x64" runs one build's tests only.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)
builds=${KOLVENA_BUILDS:-x86 x64}

bash scripts/deps.sh
. scripts/wine-env.sh

for b in x86 x64; do
  cmake --preset "$b" >/dev/null
  cmake --build --preset "$b"
done

work=$(mktemp -d /tmp/kolvena-test.XXXXXX)
kolvena_session "$work"

started=$SECONDS
pids=()
for b in $builds; do
  [ "$b" = "${builds%% *}" ] || kolvena_start_xvfb     # the first build uses the session's display
  art="$here/build/$b/artifacts"
  mkdir -p "$art"
  rm -f "$art/wine-retries.log"
  echo "[$b] tests on display $DISPLAY"
  ( KOLVENA_ARTIFACTS="$art" ctest --preset "$b" "$@" 2>&1 | sed -u "s/^/[$b] /"; exit "${PIPESTATUS[0]}" ) &
  pids+=("$!")
done

rc=0
for p in "${pids[@]}"; do wait "$p" || rc=1; done

echo
echo "Both builds' tests took $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s."
# Runs that Wine failed to start and scripts/wine-run made once more: 0 on a
# healthy run; any other count names its tests.
retries=0
for b in $builds; do
  log="$here/build/$b/artifacts/wine-retries.log"
  [ -f "$log" ] || continue
  n=$(wc -l < "$log")
  retries=$((retries + n))
  sed "s/^/[$b] /" "$log"
done
echo "Wine start retries: $retries"
if [ "$rc" -ne 0 ]; then echo "Some tests failed (see above)."; fi
exit "$rc"
