#!/usr/bin/env bash
# Builds Kolvena for 32-bit and 64-bit Windows and runs every test of both
# builds on two platforms, one after the other: Wine 8 on this Debian 12
# machine, then Wine 10 in a Debian 13 environment (scripts/debian13.sh),
# which behaves more like today's Windows. The same executables, built once
# by Debian 12's toolchain, are tested on both. Tests that run no Windows
# code (the fuzzer, the resource script's and the executables' checks, the
# release package; label "host") run on this machine only.
#
# Arguments go to ctest (-R NAME, -L e2e, ...); KOLVENA_BUILDS="x86" or "x64"
# runs one build's tests only; KOLVENA_WINES="8" or "10" one platform's.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)
builds=${KOLVENA_BUILDS:-x86 x64}
wines=${KOLVENA_WINES:-8 10}
for w in $wines; do
  case $w in 8|10) ;; *) echo "KOLVENA_WINES holds 8 and/or 10, not $w" >&2; exit 2 ;; esac
done

bash scripts/deps.sh
case " $wines " in *" 10 "*) bash scripts/debian13.sh ;; esac

for b in x86 x64; do
  cmake --preset "$b" >/dev/null
  cmake --build --preset "$b"
done

started=$SECONDS
rc=0
for w in $wines; do
  if [ "$w" = 8 ]; then
    KOLVENA_BUILDS="$builds" bash scripts/test-platform.sh "$@" || rc=1
  else
    KOLVENA_BUILDS="$builds" KOLVENA_HOST_TESTS=0 bash scripts/debian13.sh run bash scripts/test-platform.sh "$@" || rc=1
  fi
done

echo
echo "== Results, by platform and build"
for w in $wines; do
  for b in $builds; do
    cat "$here/build/$b/artifacts/wine$w/result" 2>/dev/null || echo "Wine $w, $b: no result"
  done
done
echo "All the tests took $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s."
# Runs that Wine failed to start and scripts/wine-run made once more: 0 on a
# healthy run; any other count names its tests.
retries=0
for w in $wines; do
  for b in $builds; do
    log="$here/build/$b/artifacts/wine$w/wine-retries.log"
    [ -f "$log" ] || continue
    n=$(wc -l < "$log")
    retries=$((retries + n))
    sed "s/^/[Wine $w, $b] /" "$log"
  done
done
echo "Wine start retries: $retries"
if [ "$rc" -ne 0 ]; then echo "Some tests failed (see above)."; fi
exit "$rc"
