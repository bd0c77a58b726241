#!/usr/bin/env bash
# The resource script builds with llvm-windres here and should build with
# Microsoft's rc as well. Checks for what we know rc does not take:
# - bytes outside ASCII (rc reads the script in the ANSI code page),
# - icons, bitmaps and cursors given inline instead of by a quoted file name,
#   or naming a file that does not exist,
# - preprocessor directives beyond #include, #define, #if/#ifdef/#ifndef/
#   #else/#endif and #pragma code_page (in the script and in resource.h),
# - the GNU-only statements windres accepts (e.g. a bare "FONTDIR" or a
#   "MESSAGETABLE" given as inline data).
set -u
src=${KOLVENA_SRC_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
rc=$src/resources/kolvena.rc
hdr=$src/resources/resource.h
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

for f in "$rc" "$hdr"; do
  if LC_ALL=C grep -nP '[^\x09\x0a\x0d\x20-\x7e]' "$f"; then
    fail "$(basename "$f") has bytes outside ASCII"
  fi
  bad=$(grep -nE '^\s*#' "$f" | grep -vE '^[0-9]+:\s*#\s*(include|define|if|ifdef|ifndef|else|elif|endif|pragma code_page)\b')
  [ -z "$bad" ] || fail "$(basename "$f") has preprocessor lines rc may not take: $bad"
done

while read -r line; do
  file=$(echo "$line" | sed -nE 's/^\s*\S+\s+(ICON|BITMAP|CURSOR)\s+"([^"]+)"\s*$/\2/p')
  if [ -z "$file" ]; then
    fail "not a resource given by a quoted file name: $line"
  elif [ ! -f "$src/resources/$file" ]; then
    fail "resource file $file does not exist"
  fi
done < <(grep -E '^\s*\S+\s+(ICON|BITMAP|CURSOR)\b' "$rc")

grep -nE '^\s*\S+\s+(FONTDIR|MESSAGETABLE)\b' "$rc" && fail "GNU-only resource statement"

# And the resource compiler of the build (llvm-windres, which writes what
# Microsoft's rc writes) builds it without a word on stderr.
windres=$(command -v llvm-windres-14 || command -v llvm-windres) || fail "no llvm-windres"
out=$("$windres" -I "$src/resources" "$rc" -O coff -o /dev/null 2>&1)
[ -z "$out" ] || fail "llvm-windres: $out"

if [ $fails -ne 0 ]; then
  echo "$fails check(s) failed"
  exit 1
fi
echo "all checks passed"
