#!/usr/bin/env bash
# The picture menu as a person turns it on: three programs with icons on the
# list, " Nastavitve ", "Pokazi ikone" ticked, "Koncaj"; Kolvena.cfg then
# begins with the option line, and a right click on the icon shows each entry
# as a 200x32 picture with its program's icon (screenshot menu-pictures.png);
# the third is a 64-bit program in a folder only the real system32 holds.
# Then the same menu at 150 % scaling: Kolvena started again with the
# prefix's screens at 144 DPI draws each picture 300x48, with a 48x48 icon
# (screenshot menu-pictures-150.png).
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/dialog.sh"

# pictures_with_icons SCREEN.ppm X Y SIDE: how many of the menu's first three
# items (each SIDE high, the menu's box at X,Y) show an icon SIDE wide: in
# the item's band, the first run of columns that are not all the menu's
# background (gaps of up to 3 allowed) is wider than 3/4 SIDE, which a
# smaller icon cannot be. The widths found go to stderr.
pictures_with_icons() {
  python3 - "$@" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
head = d.split(b'\n', 3)
W, H = map(int, head[1].split())
img = head[3]
x0, y0, side = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
px = lambda x, y: img[3 * (y * W + x): 3 * (y * W + x) + 3]
back = px(x0 + 3 * side, y0 + 3)
found, widths = 0, []
for item in range(3):
    top = y0 + 3 + side * item
    cols = [x for x in range(x0 + 3, x0 + 4 * side)
            if any(px(x, y) != back for y in range(top, top + side))]
    run = cols[:1]
    for x in cols[1:]:
        if x - run[-1] > 4:
            break
        run.append(x)
    width = run[-1] - run[0] + 1 if run else 0
    widths.append(width)
    found += width > side * 3 // 4
print(found)
print('icon widths', widths, file=sys.stderr)
PY
}

kv_setup "$1"
cfg="$KV_WINDIR/Kolvena.cfg"
mkdir -p "$KV_WINDIR/system32/igre"
cp "$KV_WINDIR/system32/winemine.exe" "$KV_WINDIR/system32/igre/minolovec64.exe"
kv_write_cfg 'Beleznica' 'C:\windows\notepad.exe' \
             'Urejevalnik registra' 'C:\windows\regedit.exe' \
             'Minolovec' 'C:\windows\system32\igre\minolovec64.exe'
{ printf '#1\r\n\r\n'; cat "$cfg"; } > "$KV_WORK/expected.cfg"

kv_start
kv_wait_icon 90

kv_log "text menu first: its height"
kv_click_icon 3
kv_wait_menu_open || kv_fail "a right click on the icon opened no menu"
read -r tx ty tw text_h <<<"$KV_MENU"
kv_menu_keys Escape
kv_wait_menu_closed || kv_fail "Escape left the menu open"

kv_log "tick \"Pokazi ikone\" and press \"Koncaj\""
kv_open_settings
dlg_click $DLG_IKONE
dlg_click $DLG_KONCAJ
kv_dialog_gone() { ! kv_dialog_origin; }
kv_poll 20 kv_dialog_gone || kv_fail "\"Koncaj\" left the dialog open"
kv_poll 20 cmp -s "$cfg" "$KV_WORK/expected.cfg" ||
  kv_fail "Kolvena.cfg holds: $(od -An -c < "$cfg")"

kv_log "the picture menu"
kv_click_icon 3
kv_wait_menu_open || kv_fail "no menu in picture mode"
read -r px py pw pic_h <<<"$KV_MENU"
kv_screenshot menu-pictures.png
# Three 32-pixel pictures instead of three text lines.
[ $((pic_h - text_h)) -ge 30 ] || kv_fail "the menu is $pic_h high, the text menu $text_h: no pictures"
[ "$pw" -ge 200 ] || kv_fail "the menu is $pw wide, narrower than a picture"

# Each picture's left 32x32 holds its icon: the description begins at x 40,
# so whatever is not the menu's background there is the icon.
kv_grab "$KV_WORK/pics.ppm"
icons=$(pictures_with_icons "$KV_WORK/pics.ppm" "$px" "$py" 32)
[ "$icons" = 3 ] || kv_fail "only $icons of the 3 pictures show an icon"
# After the dialog has closed, Wine's virtual desktop often passes
# no keys to the menu: it is left with clicks.
kv_click 100 100 1
kv_wait_menu_closed || kv_fail "a click beside the menu left it open"

kv_log "at 150 %: Kolvena ends, the screens are set to 144 DPI, Kolvena starts again"
kv_click_icon 3
kv_wait_menu_open || kv_fail "no menu for \" Izhod \""
kv_menu_click last
kv_wait_exit || kv_fail "Kolvena did not end on \" Izhod \""
wineserver -w
kolvena_dpi "$WINEPREFIX" 144 || kv_fail "regedit"
kv_start
# The tray icon is shown at 24x24 now, which the icon finder does not look
# for: the menu is opened from the desktop, with the chord, once Kolvena's
# hook is there to see it.
chord_menu() {
  kv_chord 560 300
  kv_wait_menu_open 3
}
kv_poll 60 chord_menu || kv_fail "the chord opened no menu at 150 %"
read -r px py pw pic_h150 <<<"$KV_MENU"
kv_log "the menu at 150 %: $pw x $pic_h150 at $px,$py"
kv_screenshot menu-pictures-150.png
[ "$pw" -ge 300 ] || kv_fail "the menu is $pw wide at 150 %, narrower than a 300-pixel picture"
kv_grab "$KV_WORK/pics150.ppm"
icons=$(pictures_with_icons "$KV_WORK/pics150.ppm" "$px" "$py" 48)
[ "$icons" = 3 ] || kv_fail "only $icons of the 3 pictures show a 48x48 icon at 150 %"
kv_menu_keys Escape
kv_log "PASS"
