#!/usr/bin/env bash
# A program on a share that is off: C:\tiho answers nothing until a gate
# opens (gate_fs.py). The picture menu opens with the gate closed, a local
# program behind five silent ones with its icon; the icon
# comes into the open menu when it opens; choosing the silent entry leaves
# Kolvena answering; " Izhod " removes the icon at once and a new Kolvena starts while the old one
# waits on its file. From there, with a list beside it and flushes held: "Koncaj", " Izhod ", the flush
# answering. A process held in FUSE stays held through SIGKILL: the gate is opened before the unmount.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/dialog.sh"

SKIP=77   # ctest's SKIP_RETURN_CODE (tests/CMakeLists.txt)
[ -c /dev/fuse ] || { echo "SKIP: /dev/fuse is missing: no FUSE file system can be mounted"; exit $SKIP; }
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || /usr/bin/python3 -c 'import fuse' 2>/dev/null ||
  { echo "SKIP: python3-fusepy is missing (scripts/deps.sh installs it)"; exit $SKIP; }

kv_setup "$1"
src="$KV_WORK/share"
mnt="$KV_PREFIX/drive_c/tiho"
gate="$KV_WORK/gate-open"
mkdir -p "$src" "$mnt"
for n in "" 2 3 4 5; do cp "$KV_WINDIR/notepad.exe" "$src/tiho$n.exe"; done
/usr/bin/python3 "$KV_LIB_DIR/gate_fs.py" "$src" "$mnt" "$gate" 2>"$KV_WORK/gate_fs.err" &
fs_pid=$!
old_pid=
finish() {
  local rc=$?
  touch "$gate" "$gate.flush"   # everything held in it goes on, then it goes
  sleep 1
  fusermount -u "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null
  kill "$fs_pid" 2>/dev/null
  [ -n "$old_pid" ] && kill "$old_pid" 2>/dev/null
  (exit $rc)
  kv_cleanup
}
trap finish EXIT
mounted() { grep -q " $mnt fuse" /proc/mounts; }
kv_poll 10 mounted || kv_fail "the gated file system did not mount: $(cat "$KV_WORK/gate_fs.err")"

kv_write_cfg -icons 'Beleznica' 'C:\windows\notepad.exe' 'Tiho' 'C:\tiho\tiho.exe' \
  'Tiho 2' 'C:\tiho\tiho2.exe' 'Tiho 3' 'C:\tiho\tiho3.exe' 'Tiho 4' 'C:\tiho\tiho4.exe' \
  'Tiho 5' 'C:\tiho\tiho5.exe' 'Registri' 'C:\windows\regedit.exe'

# menu_shows_icon ITEM: whether the open menu's item ITEM (0 first, 32 high)
# shows an icon: over 100 pixels of its left 32x32 differ from the background.
menu_shows_icon() {
  kv_grab "$KV_WORK/menu.ppm" && /usr/bin/python3 - "$KV_WORK/menu.ppm" $KV_MENU "$1" <<'PY'
import sys
head = open(sys.argv[1], 'rb').read().split(b'\n', 3)
W, img = int(head[1].split()[0]), head[3]
x0, y0, top = int(sys.argv[2]) + 3, int(sys.argv[3]) + 3, 32 * int(sys.argv[6])
px = lambda x, y: img[3 * ((y0 + top + y) * W + x0 + x):][:3]
sys.exit(sum(px(x, y) != px(36, 2) for x in range(32) for y in range(32)) <= 100)
PY
}

kv_start
kv_wait_icon 90

kv_log "the gate closed: the picture menu opens"
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "no menu while C:\\tiho does not answer"
kv_screenshot offline-menu.png
menu_shows_icon 0 || kv_fail "the local program's picture shows no icon"
! menu_shows_icon 1 || kv_fail "the silent program's picture shows an icon"
menu_shows_icon 6 || kv_fail "the local program behind five silent ones shows no icon"

kv_log "the gate opens: the icon comes into the open menu"
menu_at=$KV_MENU
touch "$gate"
kv_poll 10 menu_shows_icon 1 || kv_fail "the icon did not come into the open menu"
kv_menu_open && [ "$KV_MENU" = "$menu_at" ] || kv_fail "the menu moved or closed: $KV_MENU, was $menu_at"
kv_screenshot offline-menu-late.png
kv_click 100 100 1
kv_wait_menu_closed || kv_fail "a click beside the menu left it open"

kv_log "the gate closed again: the silent program chosen"
rm -f "$gate"
sleep 1
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "no menu with the gate closed again"
kv_menu_click 1
kv_wait_menu_closed || kv_fail "choosing the silent program left the menu open"
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "Kolvena does not answer while the silent program starts"

kv_log "\" Izhod \" with the gate closed"
kv_menu_click last
kv_poll 10 kv_no_icon || kv_fail "the icon stayed after \" Izhod \""
old_pid=$KV_PID
kv_start
kv_wait_icon 30
kv_log "a new Kolvena started while the old one waits on its file"
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "no menu from the new Kolvena"
touch "$gate"
kv_menu_click last
kv_wait_exit 30 || kv_fail "the new Kolvena did not end on \" Izhod \""
KV_PID=$old_pid
kv_wait_exit 30 || kv_fail "the old Kolvena did not end once its file answered"
kv_log "Kolvena and its list in C:\\tiho, flushes held: \"Koncaj\", \" Izhod \", then the flush answers"
mkdir "$src/Kolvena" && cp "$KV_EXE" "$src/Kolvena/" && printf 'Beleznica\r\nC:\\windows\\notepad.exe\r\n' > "$src/Kolvena/Kolvena.cfg"
KV_EXE='C:\tiho\Kolvena\Kolvena.exe' kv_start && kv_wait_icon 90
kv_click_icon 3 && kv_wait_menu_open && read -r x y w h <<<"$KV_MENU" && kv_click $((x + w / 3)) $((y + h - 36)) 1
kv_poll 20 kv_dialog_origin && dlg_click $DLG_IKONE && dlg_click $DLG_KONCAJ && sleep 2 || kv_fail "no settings dialog"
kv_click_icon 3 && kv_wait_menu_open && kv_menu_click last && kv_poll 4 kv_no_icon && kv_running || kv_fail "no \" Izhod \" with Kolvena waiting"
touch "$gate.flush" && kv_wait_exit 30 || kv_fail "Kolvena did not end once the flush answered"
[ "$(cat -A "$src/Kolvena/Kolvena.cfg")" = "$(printf '#1\r\n\r\nBeleznica\r\n..\\..\\windows\\notepad.exe\r\n' | cat -A)" ] || kv_fail "the list: $(cat -A "$src/Kolvena/Kolvena.cfg")"
kv_log "PASS"
