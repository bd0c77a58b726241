#!/usr/bin/env bash
# Runs every test of the builds already built under the Wine at hand, one
# build after the other, on an Xvfb display and with a Wine template prefix
# of this run's own: scripts/test.sh runs it once on this machine (Wine 8,
# Debian 12) and once inside scripts/debian13.sh's environment (Wine 10).
# (Side by side the builds would end sooner, but the emulated 32-bit suite
# then loads both cores, and the end-to-end tests, which wait on a real
# desktop, grow flaky.) Arguments go to ctest; KOLVENA_BUILDS="x86" or "x64"
# runs one build's tests only; KOLVENA_HOST_TESTS=0 leaves out the tests
# labelled host, which run no Windows program (a -LE of the caller's is kept
# beside it). Each build's results, screenshots and Wine start retries go to
# build/<build>/artifacts/wine<major>/.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)
builds=${KOLVENA_BUILDS:-x86 x64}
. scripts/wine-env.sh

if [ "${KOLVENA_HOST_TESTS:-1}" = 0 ]; then
  args=() exclude=host
  while [ $# -gt 0 ]; do
    case $1 in
      -LE|--label-exclude) exclude="$exclude|$2"; shift 2 ;;
      *) args+=("$1"); shift ;;
    esac
  done
  set -- ${args[@]+"${args[@]}"} -LE "$exclude"
fi

version=$(wine --version)                          # wine-10.0 (Debian 10.0~repack-6)
major=$(echo "$version" | sed 's/^wine-\([0-9]*\).*/\1/')
platform="Wine ${version#wine-}, Debian $(cut -d. -f1 /etc/debian_version)"

work=$(mktemp -d /tmp/kolvena-test.XXXXXX)
kolvena_session "$work"

started=$SECONDS
rc=0
for b in $builds; do
  art="$here/build/$b/artifacts/wine$major"
  mkdir -p "$art"
  rm -f "$art/wine-retries.log" "$art/result"
  echo "== $platform: the $b build's tests"
  brc=0
  KOLVENA_ARTIFACTS="$art" ctest --preset "$b" "$@" 2>&1 | tee "$art/ctest.log" || brc=1
  [ "${PIPESTATUS[0]}" -eq 0 ] || brc=1
  summary=$(grep -E 'tests passed|No tests were found' "$art/ctest.log" | tail -n1)
  echo "$platform, $b: ${summary:-no summary (ctest ended early)}" > "$art/result"
  [ "$brc" -eq 0 ] || rc=1
done
echo
echo "$platform: the tests took $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s."
exit "$rc"
