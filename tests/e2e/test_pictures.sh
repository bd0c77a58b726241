#!/usr/bin/env bash
# The picture menu as a person turns it on: three programs with icons on the
# list, " Nastavitve ", "Pokazi ikone" ticked, "Koncaj"; Kolvena.cfg then
# begins with the option line, and a right click on the icon shows each entry
# as a 200x32 picture with its program's icon (screenshot menu-pictures.png).
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/dialog.sh"

kv_setup "$1"
cfg="$KV_WINDIR/Kolvena.cfg"
kv_write_cfg 'Beleznica' 'C:\windows\notepad.exe' \
             'Urejevalnik registra' 'C:\windows\regedit.exe' \
             'Minolovec' 'C:\windows\system32\winemine.exe'
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
icons=$(python3 - "$KV_WORK/pics.ppm" "$px" "$py" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
head = d.split(b'\n', 3)
W, H = map(int, head[1].split())
img = head[3]
x0, y0 = int(sys.argv[2]), int(sys.argv[3])
back = img[3 * ((y0 + 3) * W + x0 + 100): 3 * ((y0 + 3) * W + x0 + 100) + 3]
found = 0
for item in range(3):
    drawn = 0
    for y in range(y0 + 3 + 32 * item, y0 + 3 + 32 * (item + 1)):
        for x in range(x0 + 3, x0 + 36):
            if img[3 * (y * W + x): 3 * (y * W + x) + 3] != back:
                drawn += 1
    found += drawn >= 100
print(found)
PY
)
[ "$icons" = 3 ] || kv_fail "only $icons of the 3 pictures show an icon"
kv_menu_keys Escape
kv_log "PASS"
