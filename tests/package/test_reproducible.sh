#!/usr/bin/env bash
# The same source gives the same package wherever and whenever it is built:
# HEAD cloned into two differently named folders and packaged one after the
# other (the second in another time zone and umask) gives the same bytes of
# both Kolvena.exe and the zip, whose README.txt reads well in Notepad.
set -u
src=${KOLVENA_SRC_DIR:?}
name=Kolvena-1.1
work=$(mktemp -d /tmp/kolvena-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

rev=$(git -C "$src" rev-parse HEAD)
package() {
  git clone -q --no-checkout "$src" "$1" && git -C "$1" checkout -q --detach "$rev" &&
    bash "$1/scripts/package.sh" > "$1.log" 2>&1 || { cat "$1.log"; echo "FAIL: package.sh in $1"; exit 1; }
}
package "$work/a"
(export TZ=JST-9; umask 027; package "$work/second-checkout") || exit 1

for f in "package/$name/x86/Kolvena.exe" "package/$name/x64/Kolvena.exe" "$name.zip"; do
  cmp "$work/a/build/$f" "$work/second-checkout/build/$f" || fail "$f differs between the two checkouts"
done

mkdir "$work/unzipped"
unzip -q "$work/a/build/$name.zip" -d "$work/unzipped"
(cd "$work/unzipped/$name" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zip's files"
readme=$work/unzipped/$name/README.txt
[ "$(grep -vc $'\r$' "$readme")" = 0 ] || fail "README.txt has lines without CR LF"
if grep -qE '!\[|^ *\|' "$readme"; then
  fail "README.txt holds Markdown image links or tables: $(grep -nE '!\[|^ *\|' "$readme" | head -n 1)"
fi
grep -q 'certutil -hashfile .*SHA256' "$readme" && grep -q SHA256SUMS "$readme" ||
  fail "README.txt does not say how to check the download"

if [ $fails -ne 0 ]; then echo "$fails check(s) failed"; exit 1; fi
echo "all checks passed: both checkouts give the same executables and $name.zip"
