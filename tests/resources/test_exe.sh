#!/usr/bin/env bash
# Kolvena.exe as a user gets it, for the build it is given: a GUI program
# that imports system DLLs only (no C++ or GCC runtime DLLs), with ASLR and
# DEP on, built with the stack protector, and with a manifest that asks to
# run as invoked.
set -u
exe=$1
objdir=$(dirname "$exe")/CMakeFiles/kolvena_core.dir/src
fails=0

fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# shcore.dll (Windows 8.1 and later) is loaded, where it exists, for each
# monitor's DPI; ole32.dll before the first call of the shell; oleacc.dll
# when a picture menu or the settings dialog is first named for screen readers.
system_dlls=" kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll comdlg32.dll advapi32.dll msvcrt.dll shcore.dll ole32.dll oleacc.dll "

check_exe() {
  local exe=$1 objdump=$2 want_flags=$3
  [ -f "$exe" ] || { fail "$exe is missing"; return; }
  local head
  head=$("$objdump" -p "$exe")

  local dlls
  dlls=$(echo "$head" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || fail "$exe: no import table read"
  for d in $dlls; do
    case "$system_dlls" in
      *" $d "*) ;;
      *) fail "$exe imports $d, which is not a system DLL" ;;
    esac
  done

  # DLLs the code loads on first use are named only in the data.
  local named
  named=$(strings -n 5 "$exe" | grep -iE '^[a-z0-9_]+\.dll$' | tr 'A-Z' 'a-z' | sort -u)
  for d in $named; do
    case "$system_dlls" in
      *" $d "*) ;;
      *) fail "$exe names $d, which is not a system DLL" ;;
    esac
  done

  echo "$head" | grep -Eq '^Subsystem\s+0+2\b' || fail "$exe is not a Windows GUI program"

  local flags
  flags=$(echo "$head" | sed -n 's/^DllCharacteristics\s*//p')
  [ -n "$flags" ] || fail "$exe: no DllCharacteristics"
  if [ $(( 0x$flags & want_flags )) -ne $(( want_flags )) ]; then
    fail "$exe: DllCharacteristics 0x$flags lacks 0x$(printf %x "$want_flags")"
  fi
  # Run as invoked, so that Windows virtualises neither build's saves.
  grep -qa 'requestedExecutionLevel level="asInvoker" uiAccess="false"' "$exe" ||
    fail "$exe carries no manifest that asks to run as invoked"

  echo "ok: $exe imports: $(echo $dlls); loads on first use: $(echo $named | tr ' ' '\n' | grep -vxF -f <(echo "$dlls" | tr ' ' '\n') | tr '\n' ' ')flags 0x$flags"
}

# DYNAMIC_BASE 0x40, NX_COMPAT 0x100, and HIGH_ENTROPY_VA 0x20 for 64-bit.
format=$(x86_64-w64-mingw32-objdump -f "$exe" 2>/dev/null | sed -n 's/.*file format //p')
case $format in
  pei-x86-64) tool=x86_64-w64-mingw32; check_exe "$exe" $tool-objdump $(( 0x40 | 0x100 | 0x20 )) ;;
  pei-i386) tool=i686-w64-mingw32; check_exe "$exe" $tool-objdump $(( 0x40 | 0x100 )) ;;
  *) fail "$exe: neither a 64-bit nor a 32-bit Windows program ($format)"; tool=x86_64-w64-mingw32 ;;
esac

# The stack protector is compiled in: the program's functions with buffers
# call __stack_chk_fail on a smashed stack.
for obj in menu dialog shell; do
  f=$objdir/$obj.cpp.obj
  if [ -f "$f" ]; then
    $tool-nm "$f" | grep -q __stack_chk_fail || fail "$obj.cpp built without the stack protector"
  else
    fail "$f is missing"
  fi
done

if [ $fails -ne 0 ]; then
  echo "$fails check(s) failed"
  exit 1
fi
echo "all checks passed"
