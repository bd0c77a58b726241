#!/usr/bin/env bash
# Builds Kolvena for 32-bit and 64-bit Windows and runs every test of both
# builds under Wine, one build after the other, on an Xvfb display and with a
# Wine template prefix of this run's own. (Side by side they would end
# sooner, but the emulated 32-bit suite then loads both cores, and the
# end-to-end tests, which wait on a real desktop, grow flaky.) Arguments
# go to ctest (-R NAME, -L e2e, ...); KOLVENA_BUILDS="x86" or "x64" runs one
# build's tests only.
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
rc=0
for b in $builds; do
  art="$here/build/$b/artifacts"
  mkdir -p "$art"
  rm -f "$art/wine-retries.log"
  echo "== $b build's tests"
  KOLVENA_ARTIFACTS="$art" ctest --preset "$b" "$@" || rc=1
done
echo
echo "The tests took $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s."
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
