// Starting the programs of the list: as from Explorer, in their own folder,
// past the system directory's redirection, through the consent prompt for
// those that ask for administrator rights.
#include "menu_zagon.h"

#include "config_list.h"
#include "klici.h"
#include "ozadje.h"
#include "poti.h"

#include <string.h>

// ---- the shell ----

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
        AllowSetForegroundWindow(GetProcessId(sei.hProcess));
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
static bool zacni_program(HWND hwnd, const char *pot, bool *izklop_ostal)
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
    // A started program may bring its window to the front only when the
    // process that starts it hands it that right. Kolvena, which has just had
    // the click on its own menu, has the right to hand on.
    AllowSetForegroundWindow(pi.dwProcessId);
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
// own (ozadje.h), and the menu call waits for it KRATKO_CAKANJE_MS at most:
// a start that ends by then says "Programa ne morem izvesti" inside the
// menu call, as ever; one that ends later says it from its own thread.
// The window's thread writes a start's hwnd and pot only while it is not on
// its way; its thread reads them.

struct Zagon {
    Posel posel;
    HWND hwnd;
    char pot[sizeof m_polje[0].pot];
};

// One start on its way for each program of the list, and as many for the
// programs of a list changed meanwhile.
constexpr int NAJVEC_ZAGONOV = 2 * MAX_VNOSOV;
static Zagon zagoni[NAJVEC_ZAGONOV];

static void ne_morem(void)
{
    MessageBoxA(NULL, "Programa ne morem izvesti", "Menu", MB_OK | MB_TASKMODAL);
}

static Opravljeno zacni(void *zanj)
{
    const Zagon *z = (const Zagon *)zanj;
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
    return ok ? Opravljeno::DA : izklop_ostal ? Opravljeno::NE_TIHO : Opravljeno::NE;
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
    najdi_com();
    Zagon *z = NULL;
    for (Zagon &x : zagoni) {
        if (posel_na_poti(&x.posel)) {
            // Chosen again while its start waits on its file: nothing more.
            if (strcmp(x.pot, pot) == 0)
                return;
        } else if (z == NULL) {
            z = &x;
        }
    }
    // Too many starts held by their files: not started.
    if (z == NULL) {
        ne_morem();
        return;
    }
    z->hwnd = hwnd;
    kopiraj(z->pot, sizeof z->pot, pot);
    z->posel.delo = zacni;
    z->posel.povej = ne_morem;
    z->posel.zanj = z;
    if (!pozeni_posel(&z->posel, KRATKO_CAKANJE_MS))
        ne_morem();
}
