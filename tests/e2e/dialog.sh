# The settings dialog on the screen, for end-to-end scenarios (source after
# lib.sh). The dialog is placed by its template, so its controls sit at fixed
# offsets from the place where its caption bar ends on the left: below the
# bar, whose height is Wine's (18 pixels in Wine 8, 25 in Wine 10).

# kv_dialog_origin: sets KV_DLG_X/Y when the settings dialog is on the screen:
# the caption bar's left end, and the first row below it.
kv_dialog_origin() {
  local top high
  KV_DLG_X=
  read -r KV_DLG_X top high < <(kv_look dialog)
  [ -n "${KV_DLG_X:-}" ] || return 1
  KV_DLG_Y=$((top + high))
}

# Places in the dialog, from the caption bar's lower left end.
DLG_POISCI="102 34"
DLG_DODAJ="102 131"
DLG_OPIS="196 184"
DLG_ODSTRANI="102 248"
DLG_IKONE="29 326"
DLG_KONCAJ="196 365"

# dlg_click DX DY: a real left click at that place in the dialog.
dlg_click() { kv_click $((KV_DLG_X + $1)) $((KV_DLG_Y + $2)) 1; }

# kv_open_settings: " Nastavitve " from the tray icon's menu, by keyboard.
kv_open_settings() {
  kv_click_icon 3
  kv_wait_menu_open || kv_fail "a right click on the icon opened no menu"
  kv_menu_keys Up Up Return        # " Izhod " is last, " Nastavitve " above it
  kv_poll 20 kv_dialog_origin || kv_fail "the settings dialog did not appear"
  kv_log "settings dialog at $KV_DLG_X,$KV_DLG_Y"
}
