#!/usr/bin/env bash
# Makes the release package build/Kolvena-1.1.zip: Kolvena.exe for 32-bit
# (x86/) and 64-bit (x64/) Windows, the README as text, and SHA256SUMS of the
# files inside; build/Kolvena-1.1.zip.sha256 holds the zip's own checksum.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

for preset in x86 x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Kolvena
done

name=Kolvena-1.1
stage=build/package/$name
rm -rf build/package "build/$name.zip"
mkdir -p "$stage/x86" "$stage/x64"
cp build/x86/Kolvena.exe "$stage/x86/"
cp build/x64/Kolvena.exe "$stage/x64/"
sed 's/$/\r/' README.md > "$stage/README.txt"
(cd "$stage" && sha256sum x86/Kolvena.exe x64/Kolvena.exe README.txt > SHA256SUMS)

(cd build/package && cmake -E tar cf "../$name.zip" --format=zip "$name")
(cd build && sha256sum "$name.zip" > "$name.zip.sha256")
echo "build/$name.zip:"
(cd build/package && find "$name" -type f | sort)
cat "build/$name.zip.sha256"
