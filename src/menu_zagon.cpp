// Starting the programs of the list: as from Explorer, in their own folder,
// past the system directory's redirection, through the consent prompt for
// those that ask for administrator rights.
#include "NTpopup.h"

#include <string.h>

// ---- the system directory of a 32-bit Kolvena on 64-bit Windows ----

BOOL (WINAPI *pIsWow64Process)(HANDLE, PBOOL);

// Whether Kolvena runs as a 32-bit program on 64-bit Windows. IsWow64Process
// is looked up: Windows XP SP2 and later. Into a local, as starts and icon
// reads run on several threads at once; the pointer is only a test's seam.
static bool pod_wow64(void)
{
    BOOL (WINAPI *je_wow64)(HANDLE, PBOOL) = pIsWow64Process;
    if (je_wow64 == NULL)
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

// ---- the shell ----

// A started program may bring its window to the front only when the process
// that starts it hands it that right (AllowSetForegroundWindow). Kolvena,
// which has just had the click on its own menu, has the right to hand on.
static void dovoli_ospredje(DWORD pid)
{
    AllowSetForegroundWindow(pid);
}

HRESULT (WINAPI *pCoInitializeEx)(LPVOID, DWORD);
static void (WINAPI *pCoUninitialize)(void);
bool com_zacet;

// ole32's two calls, looked up on the window's thread only, before a
// start's thread is made: the threads only read the pointers. ole32 is
// loaded then rather than at start-up. (Where a test has put a stand-in for
// CoInitializeEx, CoUninitialize is not looked up either.)
static void najdi_com(void)
{
    if (pCoInitializeEx == NULL) {
        HMODULE ole32 = nalozi_sistemsko("ole32.dll");
        poisci_funkcijo(ole32, "CoUninitialize", pCoUninitialize);
        poisci_funkcijo(ole32, "CoInitializeEx", pCoInitializeEx);
    }
}

// COM initialised on the calling thread: in a single-threaded apartment, as
// the shell's objects want, without OLE 1's DDE. Returns whether it took.
static bool com_na_tej_niti(void)
{
    return pCoInitializeEx != NULL &&
           SUCCEEDED(pCoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

// The shell may hand a verb to a shell extension, a COM object, so COM is
// initialised on the window's thread before the shell's first call there
// (the search). It stays initialised for the thread's life. A start's
// thread initialises its own (nit_zagona).
void zacni_com(void)
{
    if (com_zacet)
        return;
    com_zacet = true;
    najdi_com();
    com_na_tej_niti();
}

// Starts a program whose manifest asks for administrator rights, which
// CreateProcess refuses (NAPAKA_POVZDIGNJENJE): the shell asks for
// consent, as Explorer does, and starts it in `mapa`, shown normally. A
// prompt the user cancels is his answer, not an error; the shell shows no
// error box of its own, Kolvena's says it. The program may bring its window
// to the front. Returns false when it could not be started.
//
// The shell gets the full path as stored, never its Sysnative form: the
// elevated program is started outside Kolvena's process, where that alias
// does not exist, and for a start that shows the consent prompt Windows does not
// redirect the system directory but starts the 64-bit file. Kolvena's window
// `hwnd` owns the prompt: without an owner it only flashes on the taskbar.
static bool zazeni_s_soglasjem(HWND hwnd, const char *pot, const char *mapa)
{
    SHELLEXECUTEINFOA sei;
    ZeroMemory(&sei, sizeof sei);
    sei.cbSize = sizeof sei;
    // NOASYNC: the call runs on a start's thread, which ends right after it;
    // the shell is to finish its work on it before it returns.
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    sei.hwnd = hwnd;
    sei.lpFile = pot;
    sei.lpDirectory = mapa;
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&sei))
        return GetLastError() == ERROR_CANCELLED;
    if (sei.hProcess != NULL) {
        dovoli_ospredje(GetProcessId(sei.hProcess));
        CloseHandle(sei.hProcess);
    }
    return true;
}

// CreateProcessA for the program at `pot`, in `mapa`. A 32-bit Kolvena on
// 64-bit Windows sees the system directory, and every folder below it,
// redirected to SysWOW64, the folder handed to CreateProcessA included: a
// program in a folder that only the real System32 holds (OpenSSH) fails
// with ERROR_DIRECTORY, and reached through Sysnative it would run in a
// folder that it, a 64-bit program, cannot open. So for a file that is in
// the real system directory (pot_brez_preusmeritve finds it there) this
// thread's redirection is turned off around this one call and back on at
// once: path and folder then name what they name to the program itself.
// Nothing else runs on the thread meanwhile, since the libraries a call
// loads while it is off would be the 64-bit ones. The pair is looked up at
// each start into locals (Windows XP x64 and later; 32-bit Windows has no
// redirection and needs neither). GetLastError is CreateProcessA's.
//
// Where the redirection cannot be turned back on, *izklop_ostal is set: the
// thread must load no library any more, since it would get the 64-bit one.
static bool ustvari_proces(const char *pot, char *ukaz, const char *mapa, STARTUPINFOA *si,
                           PROCESS_INFORMATION *pi, bool *izklop_ostal)
{
    BOOL (WINAPI *izklopi)(PVOID *) = NULL;
    BOOL (WINAPI *povrni)(PVOID) = NULL;
    char brez[MAX_PATH];
    if (pot_brez_preusmeritve(pot, brez, sizeof brez) != pot) {
        HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
        poisci_funkcijo(kernel32, "Wow64DisableWow64FsRedirection", izklopi);
        poisci_funkcijo(kernel32, "Wow64RevertWow64FsRedirection", povrni);
    }
    PVOID prej = NULL;
    bool izklopljeno = izklopi != NULL && povrni != NULL && izklopi(&prej);

    // Normal priority: without a class of its own a program started by an
    // idle-class process is idle too. Held until it has the right to the
    // foreground: running, it could make its first window before, and that
    // window would open behind.
    BOOL ok = CreateProcessA(pot, ukaz, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                             NULL, mapa, si, pi);
    DWORD napaka = GetLastError();
    *izklop_ostal = izklopljeno && !povrni(prej);
    SetLastError(napaka);
    return ok != FALSE;
}

// The exit code of a started program ended before it ran a single
// instruction of its own.
constexpr UINT KONEC_NEZAGNANEGA = 1;

// Starts the program at `pot` as it would start on its own from Explorer,
// not as a copy of how Kolvena itself was started; hwnd is Kolvena's window,
// the consent prompt's owner; `pot` is a full path (polna_pot). Shows
// nothing and needs no particular thread: returns false where the program
// could not be started. *izklop_ostal as ustvari_proces sets it: then the
// shell, which loads libraries, is not asked either.
bool zacni_program(HWND hwnd, const char *pot, bool *izklop_ostal)
{
    // Its one argument is its own path, in quotes: given no command line,
    // Windows hands the program its path unquoted, and a path with blanks
    // falls apart into several arguments.
    char ukaz[sizeof m_polje[0].pot + 2];
    ukaz[0] = '"';
    kopiraj(ukaz + 1, sizeof ukaz - 2, pot);
    size_t d = strlen(ukaz);
    ukaz[d] = '"';
    ukaz[d + 1] = 0;

    // It runs in the folder that holds it.
    char mapa[sizeof m_polje[0].pot];
    char *ime = NULL;
    DWORD n = GetFullPathNameA(pot, sizeof mapa, mapa, &ime);
    const char *v_mapi = NULL;
    if (n > 0 && n < sizeof mapa && ime != NULL) {
        *ime = 0;           // the folder and its final backslash: "C:\" for the root
        v_mapi = mapa;
    }

    // A start-up record of its own: Kolvena's, from a shortcut set to run
    // minimised, would open every program minimised.
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;

    if (!ustvari_proces(pot, ukaz, v_mapi, &si, &pi, izklop_ostal))
        return !*izklop_ostal && GetLastError() == NAPAKA_POVZDIGNJENJE &&
               zazeni_s_soglasjem(hwnd, pot, v_mapi);
    dovoli_ospredje(pi.dwProcessId);
    // A process whose thread stays held would wait, unseen, for good.
    bool zagnan = ResumeThread(pi.hThread) != (DWORD)-1;
    if (!zagnan)
        TerminateProcess(pi.hProcess, KONEC_NEZAGNANEGA);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return zagnan;
}

// ---- the start off the window's thread ----
//
// CreateProcessA reads the program's file: on a share that is off it holds
// its thread for seconds or for good. So each start runs on a thread of its
// own, and the menu call waits for it KRATKO_CAKANJE_MS at most: a start
// that ends by then says "Programa ne morem izvesti" inside the menu call,
// as ever; one that ends later says it from its own thread.
//
// What the window's thread and the start threads share: `zagoni`, the
// starts on their way, read and written by both only with `kljuc_zagonov`
// held. The window's thread takes a free slot (caka) and, when its wait is
// over, either takes the result and frees the slot (koncan) or leaves the
// box to the start (sam_pove). A start thread sets koncan and ok, or, where
// its menu call has stopped waiting, frees the slot itself. A start thread
// is never ended from outside nor waited for beyond that bound.

struct Zagon {
    bool caka;            // on its way, or ended and not yet taken
    bool koncan, ok;      // ended, and whether it started the program
    bool sam_pove;        // the menu call no longer waits: the thread says a failure
    HWND hwnd;
    char pot[sizeof m_polje[0].pot];
};

// One start on its way for each program of the list, and as many for the
// programs of a list changed meanwhile.
constexpr int NAJVEC_ZAGONOV = 2 * MAX_VNOSOV;
static Zagon zagoni[NAJVEC_ZAGONOV];
static CRITICAL_SECTION kljuc_zagonov;

static void ne_morem(void)
{
    MessageBoxA(NULL, "Programa ne morem izvesti", "Menu", MB_OK | MB_TASKMODAL);
}

static DWORD WINAPI nit_zagona(LPVOID p)
{
    Zagon *z = (Zagon *)p;
    // The consent prompt's shell wants COM on this thread; the thread ends
    // with its start, and its apartment with it: one CoUninitialize for the
    // CoInitializeEx that took.
    const bool com = com_na_tej_niti();
    bool izklop_ostal = false;
    bool ok = zacni_program(z->hwnd, z->pot, &izklop_ostal);
    // With the system directory's redirection stuck off, the thread only
    // ends (as Microsoft's own example of the pair does): COM's end and a box
    // could load a library, which would be the 64-bit one. A failure that
    // its menu call no longer waits for then goes unsaid.
    if (com && !izklop_ostal && pCoUninitialize != NULL)
        pCoUninitialize();
    EnterCriticalSection(&kljuc_zagonov);
    const bool sam = z->sam_pove;
    if (sam) {
        z->caka = false;
    } else {
        z->koncan = true;
        z->ok = ok;
    }
    LeaveCriticalSection(&kljuc_zagonov);
    if (sam && !ok && !izklop_ostal)
        ne_morem();
    return 0;
}

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

void zacni_v_ozadju(HWND hwnd, const char *shranjena)
{
    // A relative path (a list edited by hand, or one beside Kolvena.exe) is
    // completed here, on the window's thread, before the start's thread gets
    // it: the current directory is the whole process's, and the file dialog
    // moves it.
    char pot[sizeof m_polje[0].pot];
    if (!polna_pot(shranjena, pot, sizeof pot)) {
        ne_morem();
        return;
    }
    static bool pripravljeno = false;
    if (!pripravljeno) {
        pripravljeno = true;
        InitializeCriticalSection(&kljuc_zagonov);
    }
    najdi_com();
    Zagon *z = NULL;
    bool ze_gre = false;
    EnterCriticalSection(&kljuc_zagonov);
    for (Zagon &x : zagoni) {
        if (x.caka && strcmp(x.pot, pot) == 0)
            ze_gre = true;
        else if (!x.caka && z == NULL)
            z = &x;
    }
    // Chosen again while its start waits on its file: nothing more.
    if (!ze_gre && z != NULL) {
        ZeroMemory(z, sizeof *z);
        z->caka = true;
        z->hwnd = hwnd;
        kopiraj(z->pot, sizeof z->pot, pot);
    }
    LeaveCriticalSection(&kljuc_zagonov);
    if (ze_gre)
        return;
    HANDLE h = z == NULL ? NULL : CreateThread(NULL, 0, nit_zagona, z, 0, NULL);
    if (h == NULL) {
        // Too many starts held by their files, or no thread: not started.
        if (z != NULL) {
            EnterCriticalSection(&kljuc_zagonov);
            z->caka = false;
            LeaveCriticalSection(&kljuc_zagonov);
        }
        ne_morem();
        return;
    }
    WaitForSingleObject(h, KRATKO_CAKANJE_MS);
    CloseHandle(h);
    EnterCriticalSection(&kljuc_zagonov);
    const bool koncan = z->koncan, ok = z->ok;
    if (koncan)
        z->caka = false;
    else
        z->sam_pove = true;
    LeaveCriticalSection(&kljuc_zagonov);
    if (koncan && !ok)
        ne_morem();
}
