# Sourced by the scripts: Wine settings for throwaway prefixes and an Xvfb
# display of our own.

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"

# Wine is started through its 64-bit loader. With wine32 installed, Debian's
# `wine` would start every program, 64-bit ones too, through the 32-bit
# loader, which runs emulated where the kernel runs no i386 code. The 64-bit
# loader hands a 32-bit program to the 32-bit one by itself.
export WINELOADER=/usr/lib/wine/wine64
wine() { "$WINELOADER" "$@"; }
export -f wine

# kolvena_make_prefix DIR [plain]: makes a fresh prefix in DIR (wineboot -i)
# and waits for its server to end. Its programs run in a virtual desktop:
# without a window manager on the Xvfb display, Wine waits about two seconds
# for every top-level window that closes, which a desktop of Wine's own does
# not. With "plain" they run as X windows of their own (the benchmarks: a
# virtual desktop adds its own drawing to every window change).
kolvena_make_prefix() {
  mkdir -p "$1"
  WINEPREFIX="$1" wine wineboot -i >/dev/null 2>&1
  WINEPREFIX="$1" wineserver -w
  local reg
  reg=$(mktemp /tmp/kolvena-prefix-settings.XXXXXX.reg)
  # A program that crashes prints its backtrace and ends, instead of waiting
  # in Wine's crash dialog for a click that never comes.
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n' > "$reg"
  if [ "${2:-}" != plain ]; then
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="1024x768"\n' >> "$reg"
  fi
  WINEPREFIX="$1" wine regedit "$reg" >/dev/null 2>&1
  WINEPREFIX="$1" wineserver -w
  rm -f "$reg"
}

# kolvena_dpi DIR DPI: the screens of the prefix in DIR at DPI (144 for 150 %
# scaling): Wine reports HKCU\Control Panel\Desktop\LogPixels as every
# screen's DPI. Returns regedit's exit code.
kolvena_dpi() {
  local reg rc
  reg=$(mktemp /tmp/kolvena-dpi.XXXXXX.reg)
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$2" > "$reg"
  WINEPREFIX="$1" wine regedit /s "Z:$(echo "$reg" | tr / '\\')" >/dev/null 2>&1
  rc=$?
  WINEPREFIX="$1" wineserver -w
  rm -f "$reg"
  return "$rc"
}

# kolvena_fresh_prefix DIR: a throwaway prefix in DIR, copied from the run's
# template ($KOLVENA_WINE_TEMPLATE) or, without one, made afresh.
kolvena_fresh_prefix() {
  mkdir -p "$1"
  if [ -n "${KOLVENA_WINE_TEMPLATE:-}" ] && [ -d "$KOLVENA_WINE_TEMPLATE" ]; then
    cp -a "$KOLVENA_WINE_TEMPLATE/." "$1/"
  else
    kolvena_make_prefix "$1"
  fi
}

# Starts Xvfb on a free display number and exports DISPLAY; its pid goes
# into KOLVENA_XVFB_PID.
kolvena_start_xvfb() {
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":${n}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  KOLVENA_XVFB_PID=$!
  export DISPLAY=":${n}"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb did not start on $DISPLAY" >&2
  return 1
}

# kolvena_session WORKDIR: what a run of the tests or the screenshots needs:
# its own Xvfb display and a template prefix in WORKDIR (exported as
# KOLVENA_WINE_TEMPLATE); both go again at exit (an EXIT trap).
kolvena_session() {
  KOLVENA_SESSION_DIR=$1
  trap kolvena_session_end EXIT
  kolvena_start_xvfb
  export KOLVENA_WINE_TEMPLATE="$KOLVENA_SESSION_DIR/template"
  echo "Preparing a Wine prefix for this run (display $DISPLAY)..."
  kolvena_make_prefix "$KOLVENA_WINE_TEMPLATE"
}

kolvena_session_end() {
  if [ -n "${KOLVENA_XVFB_PID:-}" ]; then kill "$KOLVENA_XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$KOLVENA_SESSION_DIR"
}
