# The settings dialog on the screen, for end-to-end scenarios (source after
# lib.sh). The dialog is placed by its template, so its controls sit at fixed
# offsets from the left end of its caption bar.

# kv_dialog_origin: sets KV_DLG_X/Y when the settings dialog is on the screen.
kv_dialog_origin() {
  KV_DLG_X=
  read -r KV_DLG_X KV_DLG_Y < <(kv_look dialog)
  [ -n "${KV_DLG_X:-}" ]
}

# Places in the dialog, from the caption bar's left end.
DLG_POISCI="102 52"
DLG_DODAJ="102 149"
DLG_OPIS="196 202"
DLG_ODSTRANI="102 266"
DLG_IKONE="29 344"
DLG_KONCAJ="196 383"

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
