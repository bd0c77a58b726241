#!/usr/bin/env bash
# Fuzzes the program list and the Kolvena.cfg format for 60 seconds on Linux
# (libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer) and fails
# on any finding. The inputs that fail are kept in the artifact folder.
# $1 (Kolvena.exe) is not needed: the harness builds src/config_list.cpp itself.
set -uo pipefail

src=${KOLVENA_SRC_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
bin=${KOLVENA_BIN_DIR:-$src/build/x64}
artifacts=${KOLVENA_ARTIFACTS:-$bin/artifacts}
out="$bin/fuzz"

bash "$src/scripts/fuzz.sh" 60 "$out"
status=$?
if [ "$status" -ne 0 ]; then
  mkdir -p "$artifacts/fuzz"
  cp -a "$out/findings/." "$artifacts/fuzz/" 2>/dev/null
  echo "findings copied to $artifacts/fuzz" >&2
fi
exit "$status"
