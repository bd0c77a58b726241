#!/usr/bin/env bash
# Fuzzes the program list and the Kolvena.cfg format natively on Linux:
# builds fuzz/fuzz_config.cpp with src/config_list.cpp using clang's libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs it for SECONDS
# from the seed files in fuzz/corpus/.
#
#   scripts/fuzz.sh SECONDS [BUILD_DIR]      (BUILD_DIR defaults to build/fuzz)
#
# The inputs that libFuzzer finds go into BUILD_DIR/corpus (the seeds in the
# source tree are not touched); a crash, a property that fails, a leak or a
# hang leaves its input in BUILD_DIR/findings and the script exits non-zero.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: scripts/fuzz.sh SECONDS [BUILD_DIR]}
out=${2:-$here/build/fuzz}
mkdir -p "$out/corpus" "$out/findings"
out=$(cd "$out" && pwd)

cxx=${CXX_FUZZ:-clang++}
"$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Wall -Wextra -Werror \
  -I"$here/src" \
  "$here/fuzz/fuzz_config.cpp" "$here/src/config_list.cpp" \
  -o "$out/fuzz_config"

rm -f "$out"/findings/*
status=0
(cd "$out" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./fuzz_config -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -dict="$here/fuzz/kolvena.dict" -print_final_stats=1 \
    -artifact_prefix="$out/findings/" \
    "$out/corpus" "$here/fuzz/corpus") || status=$?

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$out/findings")" ]; then
  echo "fuzz: findings in $out/findings (exit $status)" >&2
  exit 1
fi
echo "fuzz: no findings in $seconds s"
