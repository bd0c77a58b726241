#!/usr/bin/env bash
# Builds Kolvena (64-bit, tested; 32-bit, built and linked) and runs every
# test under Wine, with an Xvfb display and a Wine prefix of this run's own.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)

bash scripts/deps.sh
. scripts/wine-env.sh

cmake --preset x86 >/dev/null
cmake --build --preset x86
cmake --preset x64 >/dev/null
cmake --build --preset x64

work=$(mktemp -d /tmp/kolvena-test.XXXXXX)
kolvena_session "$work"

export KOLVENA_ARTIFACTS="$here/build/x64/artifacts"
mkdir -p "$KOLVENA_ARTIFACTS"
ctest --preset x64 "$@"
