#!/usr/bin/env bash
# Makes the README's pictures anew from the end-to-end suite: runs the
# scenarios that take them (real Kolvena.exe, Wine desktop, Xvfb) and crops
# their screenshots into docs/img/.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)

bash scripts/deps.sh
. scripts/wine-env.sh
cmake --preset x64 >/dev/null
cmake --build --preset x64

work=$(mktemp -d /tmp/kolvena-shots.XXXXXX)
kolvena_session "$work"
# Wine's own fonts (Debian's fonts-wine), whose Marlett draws the caption
# buttons, in this session's prefix only: the tests run as they always do.
(cd "$work" && apt-get download -qq fonts-wine 2>/dev/null && dpkg-deb -x fonts-wine_*.deb fonts)
cp "$work"/fonts/usr/share/wine/fonts/*.ttf "$KOLVENA_WINE_TEMPLATE/drive_c/windows/Fonts/"
export KOLVENA_ARTIFACTS="$work/artifacts" KOLVENA_SRC_DIR="$here" KOLVENA_BIN_DIR="$here/build/x64"
# Each picture taken with the pointer away from the icon, whose tooltip
# would cover the menu.
export KOLVENA_README_SHOTS=1

bash tests/e2e/test_settings.sh build/x64/Kolvena.exe
bash tests/e2e/test_pictures.sh build/x64/Kolvena.exe

mkdir -p docs/img
# The bottom right corner of the desktop: the notification area and the menu.
convert "$KOLVENA_ARTIFACTS/menu-text.png" -crop 360x260+664+508 +repage docs/img/menu-text.png
convert "$KOLVENA_ARTIFACTS/menu-pictures.png" -crop 360x300+664+468 +repage docs/img/menu-pictures.png
# At 150 %, opened from the desktop with the chord at 560,300.
convert "$KOLVENA_ARTIFACTS/menu-pictures-150.png" -crop 400x360+540+280 +repage docs/img/menu-pictures-150.png
# The settings dialog, placed by its template near the top left.
convert "$KOLVENA_ARTIFACTS/dialog.png" -crop 420x430+195+0 +repage docs/img/dialog.png
ls -l docs/img
