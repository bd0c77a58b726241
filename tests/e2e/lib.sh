# End-to-end harness: the real Kolvena.exe in a Wine virtual desktop with a
# taskbar, driven with real X input (xdotool) and watched through screenshots.
#
# Source it from a scenario script:
#
#   . "$(dirname "$0")/lib.sh"
#   kv_setup "$1"                 # a throwaway prefix, the desktop configured
#   kv_write_cfg 'Opis' 'C:\pot\program.exe'
#   kv_start && kv_wait_icon
#   kv_click_icon 3 && kv_wait_menu_open
#   kv_menu_keys Up Return        # " Izhod "
#   kv_wait_exit && [ "$KV_EXIT" = 0 ]
#
# Everything started here is stopped by kv_cleanup (an EXIT trap): Kolvena by
# its pid, then the prefix's own wineserver; the prefix is removed.
#
# Needs: wine, xdotool, ImageMagick's import, python3; $DISPLAY;
# $KOLVENA_WINE_TEMPLATE (a prefix to copy; one is made when it is missing);
# $KOLVENA_SRC_DIR (for resources/TR16.ico; found from this file otherwise);
# $KOLVENA_ARTIFACTS (screenshots; $KOLVENA_BIN_DIR/artifacts otherwise).

KV_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
KOLVENA_SRC_DIR=${KOLVENA_SRC_DIR:-$(cd "$KV_LIB_DIR/../.." && pwd)}
. "$KOLVENA_SRC_DIR/scripts/wine-env.sh"

KV_DESKTOP_W=1024
KV_DESKTOP_H=768
KV_ICO="$KOLVENA_SRC_DIR/resources/TR16.ico"

KV_PREFIX=
KV_WORK=
KV_PID=
KV_EXIT=
KV_ICON_X=
KV_ICON_Y=
KV_MENU=          # "x y w h" of the open menu, set by kv_menu_open

kv_log() { echo "[$(date +%H:%M:%S)] $*" >&2; }

# Ends the scenario as failed, with a screenshot of the moment.
kv_fail() {
  kv_log "FAIL: $*"
  kv_screenshot "fail-${KV_SCENARIO:-e2e}.png" || true
  exit 1
}

kv_artifacts() {
  local dir=${KOLVENA_ARTIFACTS:-${KOLVENA_BIN_DIR:-$KV_LIB_DIR}/artifacts}
  mkdir -p "$dir"
  echo "$dir"
}

# kv_setup KOLVENA_EXE: a throwaway copy of the template prefix in which every
# program runs in the virtual desktop "shell" (the one that has a taskbar),
# so that Kolvena runs under wine directly and its exit code is wine's.
kv_setup() {
  KV_EXE=$(readlink -f "$1")
  [ -f "$KV_EXE" ] || { echo "no Kolvena.exe at $1" >&2; exit 1; }
  [ -n "${DISPLAY:-}" ] || { echo "DISPLAY is not set" >&2; exit 1; }
  KV_SCENARIO=${KV_SCENARIO:-$(basename "$0" .sh)}
  KV_WORK=$(mktemp -d /tmp/kolvena-e2e.XXXXXX)
  KV_PREFIX="$KV_WORK/prefix"
  trap kv_cleanup EXIT
  kolvena_fresh_prefix "$KV_PREFIX"
  export WINEPREFIX="$KV_PREFIX"
  cat > "$KV_WORK/desktop.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="shell"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"shell"="${KV_DESKTOP_W}x${KV_DESKTOP_H}"
EOF
  wine regedit /s "$(kv_winpath "$KV_WORK/desktop.reg")" || kv_fail "regedit"
  wineserver -w
  KV_WINDIR="$KV_PREFIX/drive_c/windows"
}

# The Windows path (Z:\...) of a Linux path.
kv_winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }

# kv_write_cfg [-icons] [DESCRIPTION PATH]...: writes C:\windows\Kolvena.cfg
# with these entries (CR LF lines), before Kolvena starts.
kv_write_cfg() {
  local f="$KV_WINDIR/Kolvena.cfg"
  : > "$f"
  if [ "${1:-}" = -icons ]; then printf '#1\r\n\r\n' >> "$f"; shift; fi
  while [ $# -ge 2 ]; do
    printf '%s\r\n%s\r\n' "$1" "$2" >> "$f"
    shift 2
  done
}

# Starts Kolvena.exe (Windows directory current, as the program makes it).
kv_start() {
  wine "$KV_EXE" >"$KV_WORK/kolvena.out" 2>&1 &
  KV_PID=$!
  kv_log "Kolvena started, pid $KV_PID"
}

kv_running() { [ -n "$KV_PID" ] && kill -0 "$KV_PID" 2>/dev/null; }

# kv_wait_exit [SECONDS]: waits for Kolvena to end; its exit code in KV_EXIT.
kv_wait_exit() {
  local limit=$(( $(date +%s) + ${1:-30} ))
  while kv_running; do
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.2
  done
  wait "$KV_PID"
  KV_EXIT=$?
  KV_PID=
  kv_log "Kolvena ended with exit code $KV_EXIT"
  return 0
}

kv_cleanup() {
  local rc=$?
  if kv_running; then
    kill "$KV_PID" 2>/dev/null
    wait "$KV_PID" 2>/dev/null
  fi
  if [ -n "$KV_PREFIX" ] && [ -d "$KV_PREFIX" ]; then
    WINEPREFIX="$KV_PREFIX" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$KV_PREFIX" wineserver -w >/dev/null 2>&1
  fi
  [ -n "$KV_WORK" ] && rm -rf "$KV_WORK"
  exit "$rc"
}

# ---- the screen ----

# A screenshot of the whole display as an 8-bit PPM into $1.
kv_grab() { import -window root -depth 8 "ppm:$1" 2>/dev/null; }

# kv_screenshot NAME: a PNG of the display into the artifact folder.
kv_screenshot() {
  local out
  out="$(kv_artifacts)/$1"
  [ -z "${KOLVENA_README_SHOTS:-}" ] || { xdotool mousemove 10 10; sleep 1; }   # no tooltip over the menu
  import -window root "png:$out" 2>/dev/null && kv_log "screenshot $out"
}

# kv_look WHAT: what the screen shows now (find_on_screen.py reads it).
#   icon   -> "x y" of the centre of every place that shows the tray icon
#   menu   -> "x y w h" of every open popup menu
#   dialog -> "x y h": the left end of the first active caption bar, its height
kv_look() {
  kv_grab "$KV_WORK/screen.ppm" || return 1
  python3 "$KV_LIB_DIR/find_on_screen.py" "$1" "$KV_ICO" "$KV_WORK/screen.ppm"
}

# kv_poll SECONDS COMMAND...: runs COMMAND until it succeeds or time is up.
kv_poll() {
  local limit=$(( $(date +%s) + $1 ))
  shift
  while ! "$@"; do
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.3
  done
}

# ---- the tray icon ----

# kv_find_icon: sets KV_ICON_X/Y when the icon is on the screen.
kv_find_icon() {
  local at
  at=$(kv_look icon | head -n 1)
  [ -n "$at" ] || return 1
  read -r KV_ICON_X KV_ICON_Y <<<"$at"
}

kv_no_icon() { [ -z "$(kv_look icon)" ]; }

# The virtual desktop's X window, by its name: "shell - Wine desktop" in
# Wine 8, "shell - Wine Desktop" in Wine 10.
KV_WINE_MAJOR=$(wine --version | sed 's/^wine-\([0-9]*\).*/\1/')
if [ "${KV_WINE_MAJOR:-0}" -ge 10 ]; then
  KV_DESKTOP_NAME="shell - Wine Desktop"
else
  KV_DESKTOP_NAME="shell - Wine desktop"
fi

# The virtual desktop's window is on the display (it closes a while after
# the last program in it has ended).
kv_desktop_up() { xwininfo -name "$KV_DESKTOP_NAME" >/dev/null 2>&1; }

# kv_key_focus: gives the virtual desktop's X window the X input focus, as a
# window manager would on a click, so that X delivers keys to the window
# under the pointer inside it. Why: with no window manager, Wine 10 moves the
# X focus to the taskbar's X window when the tray icon is clicked, and
# Kolvena's hidden window, which takes the foreground for its menu, has no X
# window to take it over; every key went to the taskbar. (Wine 8 leaves the
# focus at PointerRoot, where keys go to the window under the pointer.)
kv_key_focus() {
  local win
  win=$(xwininfo -name "$KV_DESKTOP_NAME" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$win" ] || kv_fail "no virtual desktop window to give the keys to"
  xdotool windowfocus "$win"
}

# The icon has left a notification area that is still there to be seen.
kv_icon_gone() { kv_desktop_up && kv_no_icon && kv_desktop_up; }

# kv_icon_seen_leaving [SECONDS]: for the program's own ending. The desktop
# closes a moment after its last program has ended, taking the notification
# area with it, often before a look (a grab and its reading) is done. So the
# screen is grabbed as fast as it goes while the desktop is up, and read
# afterwards: true when a grab made with the desktop up before and after it
# shows no icon.
kv_icon_seen_leaving() {
  local limit=$(( $(date +%s) + ${1:-10} )) n=0 i
  while [ "$(date +%s)" -lt "$limit" ]; do
    if kv_desktop_up; then
      kv_grab "$KV_WORK/leaving$n.ppm" && kv_desktop_up && n=$((n + 1))
    elif [ $n -gt 0 ]; then
      break
    fi
  done
  for ((i = n - 1; i >= 0; i--)); do
    [ -z "$(python3 "$KV_LIB_DIR/find_on_screen.py" icon "$KV_ICO" "$KV_WORK/leaving$i.ppm")" ] && return 0
  done
  return 1
}

kv_wait_icon() {
  kv_poll "${1:-60}" kv_find_icon || kv_fail "the tray icon did not appear"
  kv_log "tray icon at $KV_ICON_X,$KV_ICON_Y"
}

# kv_click_icon BUTTON: a real click (1 left, 3 right) on the icon.
kv_click_icon() {
  xdotool mousemove "$KV_ICON_X" "$KV_ICON_Y"
  sleep 0.2
  xdotool click "$1"
}

# kv_chord X Y: holds the left button at X,Y and presses the right one.
kv_chord() {
  xdotool mousemove "$1" "$2"
  sleep 0.2
  xdotool mousedown 1
  sleep 0.2
  xdotool click 3
  sleep 0.2
  xdotool mouseup 1
}

# kv_click X Y BUTTON: a real click at a place.
kv_click() {
  xdotool mousemove "$1" "$2"
  sleep 0.2
  xdotool click "$3"
}

# ---- the popup menu ----

# kv_menu_open: true when a popup menu is on the screen; its box in KV_MENU.
kv_menu_open() {
  KV_MENU=$(kv_look menu | head -n 1)
  [ -n "$KV_MENU" ]
}

kv_menu_closed() { ! kv_menu_open; }

kv_wait_menu_open() { kv_poll "${1:-20}" kv_menu_open; }
kv_wait_menu_closed() { kv_poll "${1:-20}" kv_menu_closed; }

# kv_menu_keys KEY...: presses keys in the open menu (xdotool key names:
# Down, Up, Return, Escape). The pointer first rests on the menu's left
# frame, where it selects no item.
# Wine's virtual desktop delivers keys to the window under the pointer.
kv_menu_keys() {
  local x y w h
  read -r x y w h <<<"$KV_MENU"
  kv_key_focus
  xdotool mousemove "$x" $((y + 2))
  sleep 0.3
  local k
  for k in "$@"; do
    xdotool key "$k"
    sleep 0.3
  done
}

# kv_menu_click first|last: a left click on the open menu's first item (the
# first entry) or its last (" Izhod ").
# After a window of the desktop has closed (the settings dialog,
# a program), Wine's virtual desktop often passes no keys to the next menu.
kv_menu_click() {
  local x y w h
  read -r x y w h <<<"$KV_MENU"
  case $1 in
    first) kv_click $((x + 40)) $((y + 10)) 1 ;;
    last) kv_click $((x + w / 3)) $((y + h - 10)) 1 ;;
    [0-9]*) kv_click $((x + 40)) $((y + 3 + 32 * $1 + 16)) 1 ;;   # picture N
    *) kv_fail "kv_menu_click: first, last or a picture's number, not $1" ;;
  esac
}

# kv_wait_file PATH [SECONDS]: waits for a file to exist and be non-empty.
kv_wait_file() { kv_poll "${2:-20}" test -s "$1"; }

# kv_wait_lines PATH N [SECONDS]: waits for a file to hold N lines. (The
# count is taken anew at every look: `kv_poll 30 test "$(wc -l < f)" -eq 2`
# would count once, before the first look.)
kv_has_lines() { [ -f "$1" ] && [ "$(wc -l < "$1")" -eq "$2" ]; }
kv_wait_lines() { kv_poll "${3:-20}" kv_has_lines "$1" "$2"; }

# kv_place_recorder: the recorder helper as C:\Moji programi\recorder.exe in
# the prefix (a folder whose name has a blank); its record file in KV_RECORD.
kv_place_recorder() {
  local recorder="${KOLVENA_BIN_DIR:?}/tests/recorder.exe"
  [ -f "$recorder" ] || kv_fail "no recorder helper at $recorder"
  mkdir -p "$KV_PREFIX/drive_c/Moji programi"
  cp "$recorder" "$KV_PREFIX/drive_c/Moji programi/recorder.exe"
  KV_RECORD="$KV_PREFIX/drive_c/Moji programi/recorder.log"
}
