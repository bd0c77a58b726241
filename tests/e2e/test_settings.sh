#!/usr/bin/env bash
# A person's whole road through the settings dialog, on the real Kolvena.exe:
# a right click on the icon, " Nastavitve ", "Poisci", a program chosen in the
# file dialog, a description typed, "Dodaj", "Pokazi ikone" left unticked,
# "Koncaj". Kolvena.cfg then holds the entry; the next menu shows it and
# starts the program; after a restart of Kolvena the entry is still there.
# Then from a stick (E:, an empty Kolvena.cfg beside it): a program added is saved there, relative, and starts as F:.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/dialog.sh"

kv_setup "$1"

kv_place_recorder
record=$KV_RECORD
cfg="$KV_WINDIR/Kolvena.cfg"
rm -f "$cfg"

kv_start
kv_wait_icon 90
[ -f "$cfg" ] && [ ! -s "$cfg" ] || kv_fail "the first start made no empty Kolvena.cfg"

kv_log "open the settings dialog from the menu"
kv_open_settings

kv_log "browse for the program"
dlg_click $DLG_POISCI
sleep 3                          # the file dialog opens with its name box focused
xdotool type --delay 40 'C:\Moji programi\recorder.exe'
xdotool key Return
sleep 2
kv_dialog_origin || kv_fail "the settings dialog is gone after browsing"

kv_log "describe and add it"
dlg_click $DLG_OPIS
xdotool type --delay 40 'Snemalnik'
dlg_click $DLG_DODAJ
sleep 1
kv_screenshot dialog.png
dlg_click $DLG_KONCAJ
kv_poll 20 test -s "$cfg" || kv_fail "\"Koncaj\" wrote no Kolvena.cfg"

expected=$(printf 'Snemalnik\r\nC:\\Moji programi\\recorder.exe\r\n' | od -An -c)
actual=$(od -An -c < "$cfg")
[ "$actual" = "$expected" ] || kv_fail "Kolvena.cfg holds:$actual"

kv_log "the next menu shows the entry and starts it"
kv_click_icon 3
kv_wait_menu_open || kv_fail "no menu after the dialog"
kv_screenshot menu-text.png
kv_menu_click first
kv_wait_file "$record" 30 || kv_fail "the new entry did not start its program"

kv_log "restart Kolvena: the entry is still there"
kv_click_icon 3
kv_wait_menu_open || kv_fail "no menu for \" Izhod \""
kv_menu_click last
kv_wait_exit 30 || kv_fail "Kolvena did not end"
[ "$KV_EXIT" = 0 ] || kv_fail "exit code $KV_EXIT"
kv_poll 20 kv_desktop_up || true
kv_start
kv_wait_icon 90
kv_click_icon 3
kv_wait_menu_open || kv_fail "no menu after the restart"
kv_menu_click first
kv_wait_lines "$record" 2 30 || kv_fail "after the restart the entry did not start its program"

stick="$KV_WORK/stick" && mkdir -p "$stick/Kolvena" "$stick/Orodja" && : > "$stick/Kolvena/Kolvena.cfg"
cp "$KV_EXE" "$stick/Kolvena/" && cp "$KOLVENA_BIN_DIR/tests/recorder.exe" "$stick/Orodja/" && cp "$cfg" "$KV_WORK/win.cfg"
for drive in e f; do
  kv_click_icon 3 && kv_wait_menu_open && kv_menu_click last && kv_wait_exit 30 || kv_fail "Kolvena did not end by \" Izhod \""
  rm -f "$KV_PREFIX"/dosdevices/[ef]: && ln -s "$stick" "$KV_PREFIX/dosdevices/$drive:"
  KV_EXE="$drive:\Kolvena\Kolvena.exe" kv_start && kv_wait_icon 90
  [ $drive = f ] && break
  kv_click_icon 3 && kv_wait_menu_open && read -r x y w h <<<"$KV_MENU"   # the list is empty
  kv_click $((x + w / 3)) $((y + h - 36)) 1                               # " Nastavitve "
  kv_poll 20 kv_dialog_origin || kv_fail "no settings dialog" && dlg_click $DLG_POISCI && sleep 3
  xdotool type --delay 40 'E:\Orodja\recorder.exe' && xdotool key Return && sleep 2
  kv_dialog_origin && dlg_click $DLG_OPIS && xdotool type --delay 40 'Palica' && dlg_click $DLG_DODAJ && sleep 1
  dlg_click $DLG_KONCAJ && kv_poll 20 test -s "$stick/Kolvena/Kolvena.cfg" || kv_fail "\"Koncaj\" wrote nothing beside Kolvena.exe"
  [ "$(od -An -c < "$stick/Kolvena/Kolvena.cfg")" = "$(printf 'Palica\r\n..\\Orodja\\recorder.exe\r\n' | od -An -c)" ] &&
    cmp -s "$cfg" "$KV_WORK/win.cfg" || kv_fail "the stick's list: $(cat -A "$stick/Kolvena/Kolvena.cfg")"
done
kv_click_icon 3 && kv_wait_menu_open && kv_menu_click first
kv_wait_file "$stick/Orodja/recorder.log" 30 || kv_fail "the stick's entry did not start as F:"
IFS=$'\t' read -r module cmdline curdir show < <(tr -d '\r' < "$stick/Orodja/recorder.log")
[ "${module,,}" = 'f:\orodja\recorder.exe' ] && [ "${curdir,,}" = 'f:\orodja' ] || kv_fail "started [$module] in [$curdir]"
kv_log "PASS"
