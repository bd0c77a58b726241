/* Programs of a Wine prefix that carry icons: the benchmarks fill Kolvena's
   list to 19 entries from those of them that a prefix has, going round them
   again where there are fewer. Shared by the C and the C++ benchmarks. */
#ifndef KOLVENA_BENCH_PROGRAMI_H
#define KOLVENA_BENCH_PROGRAMI_H

static const char *const programi_z_ikono[] = {
    "C:\\windows\\notepad.exe",
    "C:\\windows\\regedit.exe",
    "C:\\windows\\explorer.exe",
    "C:\\windows\\winhlp32.exe",
    "C:\\windows\\hh.exe",
    "C:\\windows\\system32\\winefile.exe",
    "C:\\windows\\system32\\taskmgr.exe",
    "C:\\windows\\system32\\winemine.exe",
    "C:\\windows\\system32\\control.exe",
    "C:\\windows\\system32\\cmd.exe",
    "C:\\windows\\system32\\winecfg.exe",
    "C:\\windows\\system32\\wineconsole.exe",
    "C:\\windows\\system32\\msiexec.exe",
    "C:\\windows\\system32\\oleview.exe",
    "C:\\windows\\system32\\progman.exe",
    "C:\\windows\\system32\\write.exe",
    "C:\\windows\\system32\\uninstaller.exe",
    "C:\\windows\\system32\\wordpad.exe",
    "C:\\windows\\system32\\iexplore.exe",
};

#endif
