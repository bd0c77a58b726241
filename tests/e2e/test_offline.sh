#!/usr/bin/env bash
# A program on a share that is off: its file answers nothing until a gate
# opens (tests/e2e/gate_fs.py, a FUSE file system mounted in the prefix as
# C:\tiho). With the gate closed and picture mode on, the menu opens at
# once, the silent entry's picture without its icon; the icon shows in the
# open menu when the gate opens. Choosing the silent entry leaves Kolvena
# answering, and " Izhod " ends it at once: the icon leaves and a new
# Kolvena starts while the old process still waits on its file.
#
# A process blocked in a FUSE file system stays blocked, through SIGKILL, until
# the file system answers: so the gate is opened before the file system is
# unmounted, and no process blocked in it is waited for.
. "$(dirname "$0")/lib.sh"

SKIP=77   # ctest's SKIP_RETURN_CODE (tests/CMakeLists.txt)
[ -c /dev/fuse ] || { echo "SKIP: /dev/fuse is missing: no FUSE file system can be mounted"; exit $SKIP; }
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || /usr/bin/python3 -c 'import fuse' 2>/dev/null ||
  { echo "SKIP: python3-fusepy is missing (scripts/deps.sh installs it)"; exit $SKIP; }

kv_setup "$1"
src="$KV_WORK/share"
mnt="$KV_PREFIX/drive_c/tiho"
gate="$KV_WORK/gate-open"
mkdir -p "$src" "$mnt"
cp "$KV_WINDIR/notepad.exe" "$src/tiho.exe"
/usr/bin/python3 "$KV_LIB_DIR/gate_fs.py" "$src" "$mnt" "$gate" 2>"$KV_WORK/gate_fs.err" &
fs_pid=$!
old_pid=
finish() {
  local rc=$?
  touch "$gate"            # everything held in it goes on, then it goes
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

kv_write_cfg -icons 'Tiho' 'C:\tiho\tiho.exe' 'Beleznica' 'C:\windows\notepad.exe'

# shows_icon SCREEN.ppm X Y ITEM: whether the menu's item ITEM (0 first),
# 32 high, shows an icon in its left 32 columns: more than 100 pixels there
# differ from the menu's background.
shows_icon() {
  /usr/bin/python3 - "$@" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
head = d.split(b'\n', 3)
W = int(head[1].split()[0])
img = head[3]
x0, y0, item = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
px = lambda x, y: img[3 * (y * W + x): 3 * (y * W + x) + 3]
top = y0 + 3 + 32 * item
back = px(x0 + 3 + 36, top + 2)
n = sum(px(x, y) != back for x in range(x0 + 3, x0 + 35) for y in range(top, top + 32))
print(n, file=sys.stderr)
sys.exit(0 if n > 100 else 1)
PY
}
menu_shows_icon() {
  local x y w h
  read -r x y w h <<<"$KV_MENU"
  kv_grab "$KV_WORK/menu.ppm" && shows_icon "$KV_WORK/menu.ppm" "$x" "$y" "$1"
}

kv_start
kv_wait_icon 90

kv_log "the gate closed: the picture menu opens"
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "no menu while C:\\tiho does not answer"
kv_screenshot offline-menu.png
menu_shows_icon 1 || kv_fail "the local program's picture shows no icon"
! menu_shows_icon 0 || kv_fail "the silent program's picture shows an icon"

kv_log "the gate opens: the icon comes into the open menu"
menu_at=$KV_MENU
touch "$gate"
kv_poll 10 menu_shows_icon 0 || kv_fail "the icon did not come into the open menu"
kv_menu_open && [ "$KV_MENU" = "$menu_at" ] || kv_fail "the menu moved or closed: $KV_MENU, was $menu_at"
kv_screenshot offline-menu-late.png
kv_click 100 100 1
kv_wait_menu_closed || kv_fail "a click beside the menu left it open"

kv_log "the gate closed again: the silent program chosen"
rm -f "$gate"
sleep 1
kv_click_icon 3
kv_wait_menu_open 10 || kv_fail "no menu with the gate closed again"
kv_menu_click first
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
kv_log "PASS"
