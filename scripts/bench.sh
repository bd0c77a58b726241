#!/usr/bin/env bash
# Kolvena's benchmarks: size of both builds, start-up against a minimal tray
# program, menu build, memory, idle cost, hook cost, configuration file.
# Builds its own directories (build/bench, build/bench-x86), runs everything
# under Wine in a throwaway prefix (an Xvfb of its own when there is no
# display), and writes the results table to build/bench/results.md.
#
#   bash scripts/bench.sh            the whole suite (about 4 minutes)
#   BENCH_QUICK=1 bash scripts/bench.sh   fewer repetitions, a 15 s idle
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)

bash scripts/deps.sh
. scripts/wine-env.sh

quick=${BENCH_QUICK:-0}
if [ "$quick" = 1 ]; then
  start_runs=8; openings=200; variants=50; mem_openings=1000; mem_cycles=1000
  hook_events=20000; journal_events=100; cfg_runs=200; hostile_runs=3; idle_s=15; base_s=5
else
  start_runs=40; openings=300; variants=200; mem_openings=1000; mem_cycles=1000
  hook_events=50000; journal_events=200; cfg_runs=300; hostile_runs=5; idle_s=60; base_s=20
fi

out="$here/build/bench"
raw="$out/raw"
echo "== Building (build/bench, build/bench-x86)"
cmake --preset x64 -B "$out" -DKOLVENA_TESTS=OFF >/dev/null
cmake --build "$out" -j2 >/dev/null
out86="$here/build/bench-x86"
cmake --preset x86 -B "$out86" -DKOLVENA_TESTS=OFF >/dev/null
cmake --build "$out86" -j2 --target Kolvena minimal_tray minimal_tray_imports minimal_tray_nodialogs >/dev/null
rm -rf "$raw"
mkdir -p "$raw"

work=$(mktemp -d /tmp/kolvena-bench.XXXXXX)
started_xvfb=
kolvena_pid=
cleanup() {
  if [ -n "$kolvena_pid" ]; then kill "$kolvena_pid" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true     # this run's own prefix only
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "$started_xvfb" ]; then kill "$KOLVENA_XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  kolvena_start_xvfb
  started_xvfb=1
fi

# ---- the machine ----
{
  echo "date $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "uname $(uname -srmo)"
  echo "cpu $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "cpus $(nproc)"
  echo "wine $(wine --version 2>/dev/null)"
  echo "compiler $(x86_64-w64-mingw32-g++ --version | head -1)"
  echo "load_start $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "quick $quick"
} > "$raw/machine.txt"

# ---- 1. size ----
echo "== Size"
{
  for arch in x64:x86_64:"$out" x86:i686:"$here/build/bench-x86"; do
    IFS=: read -r name triple dir <<<"$arch"
    exe="$dir/Kolvena.exe"
    echo "exe $name $(stat -c %s "$exe")"
    echo "imports $name $("$triple-w64-mingw32-objdump" -p "$exe" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')"
    "$triple-w64-mingw32-size" -A "$exe" | awk -v n="$name" '$1 ~ /^\./ {print "exesection", n, $1, $2}'
    for obj in "$dir"/CMakeFiles/kolvena_core.dir/src/*.obj "$dir"/CMakeFiles/Kolvena.dir/resources/*.res; do
      "$triple-w64-mingw32-size" -A "$obj" 2>/dev/null | awk -v n="$name" -v o="$(basename "$obj")" '
        $1 ~ /^\.text/  {t += $2}
        $1 ~ /^\.data/  {d += $2}
        $1 ~ /^\.rdata/ {r += $2}
        $1 ~ /^\.(xdata|pdata|eh_frame)/ {u += $2}
        $1 ~ /^\.bss/   {b += $2}
        $1 ~ /^\.rsrc/  {s += $2}
        END {print "object", n, o, t+0, d+0, r+0, u+0, b+0, s+0}'
    done
  done
} > "$raw/size.txt"

# ---- the prefix ----
export WINEPREFIX="$work/prefix"
echo "== Preparing a Wine prefix (display $DISPLAY)"
kolvena_make_prefix "$WINEPREFIX" plain
wineserver -p          # stays up between the programs, ended by cleanup
winpath() { echo "Z:${1//\//\\}"; }
bk="$out/bench/bench_kolvena.exe"

# ---- 2. start-up ----
echo "== Start-up ($start_runs runs each, taking turns)"
wine "$out/bench/bench_start.exe" "$start_runs" \
  "$(winpath "$out/bench/minimal_tray.exe")" \
  "$(winpath "$out/Kolvena.exe")" \
  "$(winpath "$out/bench/minimal_tray_imports.exe")" \
  "$(winpath "$out/bench/minimal_tray_nodialogs.exe")" > "$raw/start.txt"
# The 32-bit build and its minimal programs, started by the same timer. Here
# they run emulated (qemu-user): the figures are reported, with no goal.
wine "$out/bench/bench_start.exe" "$start_runs" \
  "$(winpath "$out86/bench/minimal_tray.exe")" \
  "$(winpath "$out86/Kolvena.exe")" \
  "$(winpath "$out86/bench/minimal_tray_imports.exe")" \
  "$(winpath "$out86/bench/minimal_tray_nodialogs.exe")" > "$raw/start_x86.txt"

# ---- 3. menu ----
echo "== Menu build ($openings openings)"
wine "$bk" menu "$openings" > "$raw/menu.txt"
wine "$bk" variants "$variants" > "$raw/variants.txt"
wine "$bk" profile 100 > "$raw/profile.txt"

# ---- 4. memory ----
echo "== Memory ($mem_openings openings, $mem_cycles add/remove rounds)"
wine "$bk" memory "$mem_openings" "$mem_cycles" > "$raw/memory.txt"

# ---- 6. hook ----
echo "== Hook procedures"
wine "$bk" hook "$hook_events" "$journal_events" > "$raw/hook.txt"

# ---- 6b. hook latency for other programs (bench_hook_latency) ----
# Another program's SendInput time while Kolvena.exe builds its 19-picture
# menu and while its window thread is blocked for 2 s, against no Kolvena;
# the x64 build and the x86 build (emulated here). KOLVENA_BENCH_BEFORE=DIR,
# a source tree whose build/x64 and build/x86 hold an older Kolvena.exe,
# adds that one as "before_x64" and "before_x86", in the same run.
echo "== Hook latency for other programs"
lat_rounds=2
[ "$quick" = 1 ] && lat_rounds=1
lat_args=()
if [ -n "${KOLVENA_BENCH_BEFORE:-}" ]; then
  lat_args+=("before_x64=$(winpath "$KOLVENA_BENCH_BEFORE/build/x64/Kolvena.exe")"
             "before_x86=$(winpath "$KOLVENA_BENCH_BEFORE/build/x86/Kolvena.exe")")
fi
lat_args+=("x64=$(winpath "$out/Kolvena.exe")" "x86=$(winpath "$out86/Kolvena.exe")")
wine "$out/bench/bench_hook_latency.exe" "$lat_rounds" "${lat_args[@]}" > "$raw/hook_latency.txt"
# ---- end of 6b ----

# ---- 6c. time until the picture menu is shown ----
# From the tray callback until the menu's window is up, over 19 ExtractIconA
# in a row (the floor of reading the files one after the other): 19 local
# files, then the first of them replaced by a file that never answers
# (C:\tiho\tiho.exe on tests/e2e/gate_fs.py, whose gate stays closed until
# the section ends). With KOLVENA_BENCH_BEFORE the older Kolvena.exe runs
# the same, in the same run. A process held by the silent file ends only
# once it answers: the gate is opened, then the file system unmounted.
echo "== Time until the picture menu is shown"
shown_openings=20
[ "$quick" = 1 ] && shown_openings=10
shown_args=()
if [ -n "${KOLVENA_BENCH_BEFORE:-}" ]; then
  shown_args+=("before=$(winpath "$KOLVENA_BENCH_BEFORE/build/x64/Kolvena.exe")")
fi
shown_args+=("now=$(winpath "$out/Kolvena.exe")")
bhl="$out/bench/bench_hook_latency.exe"
wine "$bhl" shown "$shown_openings" "${shown_args[@]}" > "$raw/shown.txt"
if [ -c /dev/fuse ]; then
  mkdir -p "$work/share" "$WINEPREFIX/drive_c/tiho"
  cp "$WINEPREFIX/drive_c/windows/notepad.exe" "$work/share/tiho.exe"
  /usr/bin/python3 tests/e2e/gate_fs.py "$work/share" "$WINEPREFIX/drive_c/tiho" "$work/gate" &
  fs_pid=$!
  sleep 2
  wine "$bhl" shown "$shown_openings" 'silent=C:\tiho\tiho.exe' "${shown_args[@]}" >> "$raw/shown.txt"
  touch "$work/gate"
  sleep 2
  fusermount -u "$WINEPREFIX/drive_c/tiho" 2>/dev/null || umount -l "$WINEPREFIX/drive_c/tiho"
  kill "$fs_pid" 2>/dev/null || true
else
  echo "shown silent skipped no_dev_fuse" >> "$raw/shown.txt"
fi
# ---- end of 6c ----

# ---- 7. configuration file ----
echo "== Configuration file"
wine "$bk" cfg "$cfg_runs" > "$raw/cfg.txt"
mkdir -p "$WINEPREFIX/drive_c/bench"
python3 - "$WINEPREFIX/drive_c/bench" <<'EOF'
import sys, os
d = sys.argv[1]
with open(os.path.join(d, "normal.cfg"), "wb") as f:
    f.write(b"#1\r\n\r\n")
    for i in range(19):
        f.write(b" Program %02d \r\nC:\\windows\\notepad.exe\r\n" % i)
for mb in (1, 5, 10):
    n = mb * 1024 * 1024
    with open(os.path.join(d, "long_%dMB.cfg" % mb), "wb") as f:
        f.write(b"x" * (n - 2) + b"\r\n")
    with open(os.path.join(d, "lines_%dMB.cfg" % mb), "wb") as f:
        # lines of 10 bytes: about a million of them in 10 MB
        f.write(b"".join(b"opis%04d\r\n" % (i % 10000) for i in range(n // 10)))
EOF
wine "$bk" linear "$hostile_runs" C:\\bench\\long_1MB.cfg C:\\bench\\long_5MB.cfg C:\\bench\\long_10MB.cfg \
  C:\\bench\\lines_1MB.cfg C:\\bench\\lines_5MB.cfg C:\\bench\\lines_10MB.cfg > "$raw/linear.txt"
# Peak memory: one process per file.
for f in normal long_1MB long_5MB long_10MB lines_1MB lines_5MB lines_10MB; do
  echo "file $f $(stat -c %s "$WINEPREFIX/drive_c/bench/$f.cfg")" > "$raw/hostile_$f.txt"
  wine "$bk" hostile "C:\\bench\\$f.cfg" "$hostile_runs" >> "$raw/hostile_$f.txt"
done

# ---- 5. idle ----
# CPU time of the Linux processes, read from /proc: the sum of the run times
# (nanoseconds, /proc/<pid>/task/*/schedstat) of all the process's threads.
own_pid() {   # the process of this prefix whose name is $1
  local p
  for p in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(cat /proc/$p/comm 2>/dev/null)" = "$1" ] || continue
    tr '\0' '\n' < /proc/$p/environ 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return 0; }
  done
  return 1
}
cpu_ns() {
  local s=0 t v
  for t in /proc/$1/task/*/schedstat; do
    read -r v _ < "$t" 2>/dev/null || continue
    s=$((s + v))
  done
  echo "$s"
}
echo "== Idle (${base_s} s without Kolvena, ${idle_s} s with it, then ${base_s} s without again)"
# The baseline is a tray program that does nothing (minimal_tray stay); it
# runs through every span, so that the desktop process (explorer.exe) is the
# same and Kolvena is the one difference. The baseline is taken twice, before
# and after Kolvena: the difference between the two is the machine's own
# drift over the run, against which Kolvena's share in wineserver and
# explorer is to be read. With KOLVENA_BENCH_BEFORE the older Kolvena.exe
# runs its span too, right before this one's ("before_" keys).
wine "$out/bench/minimal_tray.exe" stay &
minimal_pid=$!
sleep 3
server=$(own_pid wineserver64 || own_pid wineserver)
explorer=$(own_pid explorer.exe)
base_span() {   # key prefix
  local s0 e0 m0 s1 e1 m1
  s0=$(cpu_ns "$server"); e0=$(cpu_ns "$explorer"); m0=$(cpu_ns "$minimal_pid")
  sleep "$base_s"
  s1=$(cpu_ns "$server"); e1=$(cpu_ns "$explorer"); m1=$(cpu_ns "$minimal_pid")
  echo "${1}base_seconds $base_s"
  echo "${1}base_wineserver_ns $((s1 - s0))"
  echo "${1}base_explorer_ns $((e1 - e0))"
  echo "${1}base_minimal_ns $((m1 - m0))"
}
idle_span() {   # key prefix, Kolvena.exe
  local kpid k0 s0 e0 j0 r0 a0 k1 s1 e1 j1 r1 a1
  wine "$2" >/dev/null &
  kolvena_pid=$!
  sleep 5    # start-up, the configuration file, the first timer ticks
  kpid=$(own_pid Kolvena.exe)
  echo "${1}kolvena_pid $kpid"
  echo "${1}kolvena_threads $(ls /proc/$kpid/task | wc -l)"
  echo "${1}kolvena_nice $(awk '{print $19}' /proc/$kpid/stat)"
  k0=$(cpu_ns "$kpid"); s0=$(cpu_ns "$server"); e0=$(cpu_ns "$explorer")
  j0=$(awk '{print $14 + $15}' /proc/$kpid/stat)
  r0=$(awk '/^VmRSS/ {print $2}' /proc/$kpid/status); a0=$(awk '/^RssAnon/ {print $2}' /proc/$kpid/status)
  sleep "$idle_s"
  k1=$(cpu_ns "$kpid"); s1=$(cpu_ns "$server"); e1=$(cpu_ns "$explorer")
  j1=$(awk '{print $14 + $15}' /proc/$kpid/stat)
  r1=$(awk '/^VmRSS/ {print $2}' /proc/$kpid/status); a1=$(awk '/^RssAnon/ {print $2}' /proc/$kpid/status)
  echo "${1}idle_seconds $idle_s"
  echo "${1}kolvena_ns $((k1 - k0))"
  echo "${1}kolvena_ticks $((j1 - j0)) (of $(getconf CLK_TCK) per second)"
  echo "${1}wineserver_ns $((s1 - s0))"
  echo "${1}explorer_ns $((e1 - e0))"
  echo "${1}explorer_alive $( [ -d /proc/$explorer ] && echo 1 || echo 0)"
  echo "${1}kolvena_vmrss_kb $r0 $r1"
  echo "${1}kolvena_rssanon_kb $a0 $a1"
  # The Kolvena.exe process itself, not only the wine command that started
  # it: the next one would find its one-copy mutex and end at once.
  kill "$kpid" "$kolvena_pid" 2>/dev/null || true
  wait "$kolvena_pid" 2>/dev/null || true
  kolvena_pid=
  for _ in $(seq 50); do [ -d "/proc/$kpid" ] || break; sleep 0.2; done
}
{
  echo "wineserver_pid $server explorer_pid $explorer"
  base_span ""
  if [ -n "${KOLVENA_BENCH_BEFORE:-}" ]; then
    idle_span before_ "$KOLVENA_BENCH_BEFORE/build/x64/Kolvena.exe"
  fi
  idle_span "" "$out/Kolvena.exe"
  base_span again_
} > "$raw/idle.txt"
kill "$minimal_pid" 2>/dev/null || true
wait "$minimal_pid" 2>/dev/null || true

echo "load_end $(cut -d' ' -f1-3 /proc/loadavg)" >> "$raw/machine.txt"

# ---- the table ----
python3 bench/results_table.py "$raw" > "$out/results.md"
cat "$out/results.md"
echo
echo "Raw figures: $raw; table: $out/results.md"
