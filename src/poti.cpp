// Paths as Kolvena keeps them: stored paths made full, a path of the list
// beside Kolvena.exe in its portable form, a Unicode path spelled in the
// ANSI code page, and the system directory past a 32-bit Kolvena's
// redirection.
#include "poti.h"

#include "config.h"
#include "config_list.h"
#include "klici.h"

#include <string.h>
#include <wchar.h>

// ---- stored paths ----

// The length of the root of the full path `mapa`: "E:" of "E:\...",
// "\\streznik\deljeno" of a UNC path.
static size_t koren(const char *mapa)
{
    if (mapa[1] == ':')
        return 2;
    const char *c = strchr(mapa + 2, '\\');
    c = c != NULL ? strchr(c + 1, '\\') : NULL;
    return c != NULL ? (size_t)(c - mapa) : strlen(mapa);
}

bool polna_pot(const char *pot, char *izhod, size_t velikost)
{
    // With the list beside Kolvena.exe, a path without a drive is Kolvena's:
    // never the current directory's (the Windows directory).
    char ob_programu[2 * MAX_PATH];
    if (prenosna_mapa[0] != '\0' && pot[0] != '\0' && pot[1] != ':' &&
        !(pot[0] == '\\' && pot[1] == '\\')) {
        size_t k = pot[0] == '\\' ? koren(prenosna_mapa) : strlen(prenosna_mapa);
        memcpy(ob_programu, prenosna_mapa, k);
        kopiraj(ob_programu + k, sizeof ob_programu - k, pot);
        pot = ob_programu;
    }
    DWORD n = GetFullPathNameA(pot, (DWORD)velikost, izhod, NULL);
    return n > 0 && n < velikost;
}

void prenosna_pot(const char *pot, char *izhod, size_t velikost)
{
    kopiraj(izhod, velikost, pot);
    char m[MAX_PATH], p[MAX_PATH];
    kopiraj(m, sizeof m, prenosna_mapa);
    kopiraj(p, sizeof p, pot);
    CharUpperA(m);
    CharUpperA(p);
    if (m[0] == '\0' || m[1] != ':' || p[0] != m[0] || p[1] != ':' || p[2] != '\\')
        return;
    // The folders both paths share, up to and including the last backslash.
    size_t skupno = 0;
    for (const char *c = m; *c != '\0';) {
        const char *naslednji = CharNextA(c);
        if (memcmp(c, p + (c - m), (size_t)(naslednji - c)) != 0)
            break;
        if (*c == '\\')
            skupno = (size_t)(naslednji - m);
        c = naslednji;
    }
    // One "..\" for each of Kolvena's folders below them, then the rest.
    char rel[4 * MAX_PATH];
    size_t n = 0;
    for (const char *c = prenosna_mapa + skupno; *c != '\0'; c = CharNextA(c)) {
        if (*c == '\\') {
            memcpy(rel + n, "..\\", 3);
            n += 3;
        }
    }
    kopiraj(rel + n, sizeof rel - n, pot + skupno);
    // polna_pot joins it to Kolvena's folder again, and GetFullPathNameA
    // takes no ANSI path beyond MAX_PATH: one whose join would not fit stays full.
    if (strlen(rel) < velikost && strlen(prenosna_mapa) + strlen(rel) < MAX_PATH)
        kopiraj(izhod, velikost, rel);
}

// ---- the ANSI code page ----

// Fills `ansi` with the spelling of `pot` in the ANSI code page that names
// that very file: bytes that the system's ANSI functions turn back into the
// same path. False when `pot` has none within `size` bytes, as when a
// character has no byte in the code page ("C" with caron in 1252) and the
// conversion puts another character in its place.
static bool ansi_pot(const wchar_t *pot, char *ansi, int size)
{
    if (WideCharToMultiByte(CP_ACP, 0, pot, -1, ansi, size, NULL, NULL) == 0)
        return false;
    wchar_t nazaj[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, nazaj, MAX_PATH) == 0)
        return false;
    return wcscmp(nazaj, pot) == 0;
}

bool ansi_ali_kratka(const wchar_t *pot, char *ansi, int size)
{
    if (ansi_pot(pot, ansi, size))
        return true;
    wchar_t kratka[MAX_PATH];
    DWORD k = GetShortPathNameW(pot, kratka, MAX_PATH);
    return k > 0 && k < MAX_PATH && ansi_pot(kratka, ansi, size);
}

// ---- the system directory of a 32-bit Kolvena on 64-bit Windows ----

// Whether Kolvena runs as a 32-bit program on 64-bit Windows. IsWow64Process
// is looked up at each call (Windows XP SP2 and later), into a local: starts
// and icon reads run on several threads at once.
static bool pod_wow64(void)
{
    BOOL (WINAPI *je_wow64)(HANDLE, PBOOL);
    poisci_funkcijo(GetModuleHandleA("kernel32.dll"), "IsWow64Process", je_wow64);
    BOOL wow = FALSE;
    return je_wow64 != NULL && je_wow64(GetCurrentProcess(), &wow) && wow;
}

// Whether the first n bytes of a and b name the same folder: as the file
// system compares names, each letter as its capital, then byte for byte.
static bool ista_mapa(const char *a, const char *b, DWORD n)
{
    char x[MAX_PATH], y[MAX_PATH];
    if (n > sizeof x)
        return false;
    memcpy(x, a, n);
    memcpy(y, b, n);
    CharUpperBuffA(x, n);
    CharUpperBuffA(y, n);
    return memcmp(x, y, n) == 0;
}

// The system directory's name for 32-bit programs that want the real one.
constexpr char SYSNATIVE[] = "Sysnative";

// The path at which Kolvena reaches the program at `pot`. Windows redirects
// a 32-bit program's every access to the system directory (System32) to
// SysWOW64: a program there that has a 32-bit twin would start as the twin,
// one that exists only in 64 bits would not be found. The real directory is
// %windir%\Sysnative to a 32-bit program. So a path in the system directory
// (or below it) whose file is there is written into `izhod` under Sysnative;
// every other path, and every path in the 64-bit build (which is not
// redirected and has no Sysnative), is `pot` itself.
const char *pot_brez_preusmeritve(const char *pot, char *izhod, size_t velikost)
{
    if (!pod_wow64())
        return pot;
    char sistem[MAX_PATH], polna[MAX_PATH];
    UINT ns = GetSystemDirectoryA(sistem, sizeof sistem);
    DWORD np = GetFullPathNameA(pot, sizeof polna, polna, NULL);
    char *mapa_sistema = ns > 0 && ns < sizeof sistem ? strrchr(sistem, '\\') : NULL;
    if (mapa_sistema == NULL || np <= ns || np >= sizeof polna || polna[ns] != '\\' ||
        !ista_mapa(polna, sistem, ns))
        return pot;
    // "C:\Windows\" + "Sysnative" + "\x.exe"
    size_t windows = (size_t)(mapa_sistema + 1 - sistem);
    if (windows + strlen(SYSNATIVE) + (np - ns) >= velikost)
        return pot;
    memcpy(izhod, sistem, windows);
    memcpy(izhod + windows, SYSNATIVE, strlen(SYSNATIVE));
    kopiraj(izhod + windows + strlen(SYSNATIVE), velikost - windows - strlen(SYSNATIVE), polna + ns);
    return GetFileAttributesA(izhod) != INVALID_FILE_ATTRIBUTES ? izhod : pot;
}

