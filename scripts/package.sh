#!/usr/bin/env bash
# Makes the release package build/Kolvena-1.1.zip: Kolvena.exe for 32-bit
# (x86/) and 64-bit (x64/) Windows, the users' README.txt and SHA256SUMS of
# the files inside; build/Kolvena-1.1.zip.sha256 holds the zip's own checksum.
#
# The same source gives the same bytes, whoever builds it, in whatever folder
# and at whatever time, so that anyone can check a published package by
# building it again: the executables carry no link time and no build folder
# (CMakeLists.txt), they are built in build dirs of the package's own, and
# the zip holds its entries in name order, all with one time, the last
# commit's (SOURCE_DATE_EPOCH where that is set), fixed permissions and no
# owner or extra time fields. It ends by printing every checksum.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "package: not a git checkout: set SOURCE_DATE_EPOCH to the source's time" >&2; exit 1; }

for preset in x86 x64; do
  cmake --preset "$preset" -B "build/release-$preset" -DKOLVENA_TESTS=OFF -DKOLVENA_BENCH=OFF >/dev/null
  cmake --build "build/release-$preset" -j2 --target Kolvena
done

name=Kolvena-1.1
stage=build/package/$name
rm -rf build/package "build/$name.zip"
mkdir -p "$stage/x86" "$stage/x64"
cp build/release-x86/Kolvena.exe "$stage/x86/"
cp build/release-x64/Kolvena.exe "$stage/x64/"
# Text files with CR LF line ends, as Notepad reads them (sha256sum -c takes
# them so too).
sed 's/\r$//; s/$/\r/' docs/README.txt > "$stage/README.txt"
(cd "$stage" && sha256sum x86/Kolvena.exe x64/Kolvena.exe README.txt | sed 's/$/\r/' > SHA256SUMS)

# zip -X leaves out the owner and time extra fields, -D the folder entries;
# strip-nondeterminism gives every entry the source's time (written in UTC,
# whatever the time zone here) and permissions 644, or 755 where executable.
(cd build/package && find "$name" -type f | LC_ALL=C sort | zip -q -X -D "../$name.zip" -@)
strip-nondeterminism -t zip -T "$epoch" "build/$name.zip"
(cd build && sha256sum "$name.zip" > "$name.zip.sha256")

echo "build/$name.zip, from $(git rev-parse --short HEAD 2>/dev/null || echo "the source") of $(TZ=UTC date -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC'):"
sed 's/\r$//' "$stage/SHA256SUMS"
cat "build/$name.zip.sha256"
# Other compilers give other bytes: these are what a check must build with.
echo "built with:"
dpkg-query -W -f='  ${Package} ${Version}\n' g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-i686-dev mingw-w64-x86-64-dev llvm-14
