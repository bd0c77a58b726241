#!/usr/bin/env bash
# Starting a program from the menu and leaving Kolvena, by keyboard, on the
# real Kolvena.exe, started minimised: Kolvena.cfg holds one entry, the
# recorder helper in a folder whose name has a blank; a right click on the
# icon, Down and Return start it (it records how it was started: its own
# quoted path as its command line, its own folder as its current directory,
# no show command); then " Izhod " (Up, Return): its icon leaves the
# notification area and Kolvena ends with exit code 0. Between: the 64-bit
# recorder in a folder only the real system32 holds, run in that folder.
. "$(dirname "$0")/lib.sh"

kv_setup "$1"

kv_place_recorder
record=$KV_RECORD
# (scripts/test.sh builds both builds before it tests either)
mkdir -p "$KV_WINDIR/system32/kolvena"
cp "$(dirname "$KOLVENA_BIN_DIR")/x64/tests/recorder.exe" "$KV_WINDIR/system32/kolvena/kolvena64.exe" ||
  kv_fail "no 64-bit recorder"
kv_write_cfg 'Snemalnik' 'C:\Moji programi\recorder.exe' 'Sistemski' 'C:\windows\system32\kolvena\kolvena64.exe'

# Started minimised, as a shortcut set to "Run: Minimized" starts it (the
# exit code of start /wait is Kolvena's).
kv_log "Kolvena started minimised"
wine start /min /wait "$(kv_winpath "$KV_EXE")" >"$KV_WORK/kolvena.out" 2>&1 &
KV_PID=$!
kv_wait_icon 90

kv_log "start the entry from the menu"
kv_click_icon 3
kv_wait_menu_open || kv_fail "a right click on the icon opened no menu"
# The list's one entry is the menu's first item.
kv_menu_keys Down Return
kv_wait_file "$record" 30 || kv_fail "the entry's program did not start"
kv_wait_menu_closed || kv_fail "the menu stayed open after the choice"

IFS=$'\t' read -r module cmdline curdir show < <(tr -d '\r' < "$record")
kv_log "recorded: module [$module] command line [$cmdline] directory [$curdir] show command [$show]"
[ "$(wc -l < "$record")" -eq 1 ] || kv_fail "the program was started $(wc -l < "$record") times"
[ "$module" = 'C:\Moji programi\recorder.exe' ] || kv_fail "started [$module]"
# Its path whole, as one argument, blank and all.
[ "$cmdline" = '"C:\Moji programi\recorder.exe"' ] || kv_fail "its command line was [$cmdline]"
# Its own folder, not the launcher's current directory (the Windows directory).
[ "${curdir,,}" = 'c:\moji programi' ] || kv_fail "the program ran in [$curdir]"
# A start-up record of its own: Kolvena's show command does not come through.
[ "$show" = - ] || kv_fail "the program was started with show command [$show]"

kv_log "start the 64-bit program of the system directory"
kv_click_icon 3
kv_wait_menu_open || kv_fail "a right click on the icon opened no menu"
kv_menu_keys Down Down Return
kv_wait_file "$KV_WINDIR/system32/kolvena/recorder.log" 30 || kv_fail "the system directory's program did not start"
IFS=$'\t' read -r module cmdline curdir show < <(tr -d '\r' < "$KV_WINDIR/system32/kolvena/recorder.log")
[ "$cmdline" = '"C:\windows\system32\kolvena\kolvena64.exe"' ] && [ "${curdir,,}" = 'c:\windows\system32\kolvena' ] ||
  kv_fail "the system directory's program ran as [$cmdline] in [$curdir]"

kv_log "leave by \" Izhod \""
kv_click_icon 3
kv_wait_menu_open || kv_fail "the second right click on the icon opened no menu"
kv_menu_keys Up Return
kv_icon_seen_leaving 10 || kv_fail "the icon stayed in the notification area"
kv_screenshot after-exit.png
kv_wait_exit 30 || kv_fail "Kolvena did not end after \" Izhod \""
[ "$KV_EXIT" = 0 ] || kv_fail "exit code $KV_EXIT, not 0"
kv_log "PASS"
