// The menu's icon readers: the entries' icons read from their program files
// on threads of their own, never on the window's thread.
//
// Reading an icon touches the program's file (ExtractIconA or
// PrivateExtractIconsA, and GetFileAttributesA in pot_brez_preusmeritve). A
// file on a share whose server is off, a disconnected drive or a sleeping
// disk holds the calling thread for as long as Windows waits on it: a TCP
// connect gives up after its retransmissions, an SMB session after 45 s,
// and a file system that never answers holds it for good. On the window's
// thread that would hold the menu, the icon and the exit with it.
//
// The readers know files, not menus: the window's thread asks for a file's
// icon at a size (prosi_ikono), a reader reads it into the table and tells
// the window (IKONE_PRISPELE), and the window's thread looks the answer up
// (ikona_prebrana). Which opening of the menu wants what is the window
// thread's own business (menu_slike.cpp).
//
// A silent file keeps at most one reader, whatever sizes, openings or list
// edits ask for it: a file is read by one thread at a time. Files that
// answer always find a reader: a reader that begins a read while others
// wait and no reader is free starts one more, so a read that waits always
// has a free reader coming, up to NAJVEC_NITI threads (one for each of
// NAJVEC_DRZANIH silent files, and NAJVEC_BRALCEV beside them).
#include "menu.h"

#include "config_list.h"

#include <string.h>

// ---- what the threads share, and how ----
//
// `kljuc` guards the table `branja` and the counts below; nobody holds it
// while touching a file or drawing. A row goes PROSTO -> V_VRSTI (the
// window's thread asks) -> V_BRANJU (a reader takes it) -> PREBRANO (the
// reader has its answer) -> PROSTO (the window's thread gives the icon
// back). Two rules keep it simple:
// - only the reader that took a row touches it while it is V_BRANJU: the
//   window's thread frees rows that wait or have answered, never one being
//   read;
// - only the window's thread touches a PREBRANO row, so it draws the row's
//   icon without the lock, and keeps it until pozabi_ikone.
//
// `prispelo`, an auto-reset event, is set at every answer, for a build that
// waits for its answers. `delo`, another, wakes a reader that waits for work.
//
// No thread is ever ended from outside, nor waited for: a reader held by
// its file is left to it, and the process may end only once the file has
// answered (a thread held in a file system cannot be ended, on Windows as
// here).

// How many reads the table holds: one being read by each reader, and two
// openings' worth of files (one that runs, one that it interrupted) asked
// for or answered beside them.
constexpr int NAJVEC_BRANJ = NAJVEC_NITI + 2 * MAX_VNOSOV;

enum Stanje { PROSTO, V_VRSTI, V_BRANJU, PREBRANO };

struct Branje {
    Stanje stanje;
    char pot[MAX_PATH];   // the full path of the program's file
    int stran;            // the icon's side in pixels
    HICON ikona;          // PREBRANO: the answer, NULL for a file without one
};

static CRITICAL_SECTION kljuc;
static HANDLE prispelo, delo;
static Branje branja[NAJVEC_BRANJ];
static int bralcev;        // readers alive
static int prostih;        // of them, those not reading now
static HWND okno;          // the window that asked last, told of every answer
static LONG sporoceno;     // IKONE_PRISPELE posted and not yet taken

// The lock and the events, made on the window's thread before any reader
// exists.
static void pripravi(void)
{
    static bool pripravljeno = false;
    if (pripravljeno)
        return;
    pripravljeno = true;
    InitializeCriticalSection(&kljuc);
    prispelo = CreateEventA(NULL, FALSE, FALSE, NULL);
    delo = CreateEventA(NULL, FALSE, FALSE, NULL);
}

// Whether a reader may take read b: it waits, and no reader reads its file
// (at any size), so that a silent file holds one thread only. A read
// queued behind a held one is taken once that file has answered. With
// kljuc held.
static bool na_vrsti(const Branje &b)
{
    if (b.stanje != V_VRSTI)
        return false;
    for (const Branje &x : branja)
        if (x.stanje == V_BRANJU && strcmp(x.pot, b.pot) == 0)
            return false;
    return true;
}

// The first read that a reader may take, NULL where none. With kljuc held.
static Branje *naslednje(void)
{
    for (Branje &x : branja)
        if (na_vrsti(x))
            return &x;
    return NULL;
}

// A reader with nothing to read waits this long for the next opening's
// files before it ends, so that menus opened one after another find their
// readers there rather than paying for new threads at each opening.
constexpr DWORD BRALEC_CAKA_MS = 2000;

// A reader's stack: reading an icon goes a few calls deep; the default, the
// program's megabyte, would be held many times over by readers that silent
// files keep.
constexpr SIZE_T SKLAD_BRALCA = 256 * 1024;

static DWORD WINAPI bralec(LPVOID);

// A read waits: a free reader is woken, or, where none is free, one more is
// started (with the threads at NAJVEC_NITI the read waits for one of them).
// With kljuc held.
static void poskrbi_za_bralca(void)
{
    if (naslednje() == NULL)
        return;
    if (prostih > 0) {
        SetEvent(delo);
        return;
    }
    if (bralcev >= NAJVEC_NITI)
        return;
    HANDLE h = CreateThread(NULL, SKLAD_BRALCA, bralec, NULL, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (h == NULL)
        return;       // the reads wait for the readers there are
    bralcev++;
    prostih++;
    CloseHandle(h);   // never waited for (see above)
}

static DWORD WINAPI bralec(LPVOID)
{
    EnterCriticalSection(&kljuc);
    for (;;) {
        Branje *b = naslednje();
        if (b == NULL) {
            LeaveCriticalSection(&kljuc);
            bool zbujen = WaitForSingleObject(delo, BRALEC_CAKA_MS) == WAIT_OBJECT_0;
            EnterCriticalSection(&kljuc);
            if (!zbujen && naslednje() == NULL)
                break;
            continue;
        }
        b->stanje = V_BRANJU;
        prostih--;
        char pot[MAX_PATH];
        kopiraj(pot, sizeof pot, b->pot);
        const int stran = b->stran;
        // Before this reader goes into a file that may never answer, the
        // reads behind it get a reader of their own.
        poskrbi_za_bralca();
        LeaveCriticalSection(&kljuc);

        HICON ikona = izvleci_ikono(pot, stran);

        EnterCriticalSection(&kljuc);
        b->ikona = ikona;
        b->stanje = PREBRANO;
        prostih++;
        SetEvent(prispelo);
        // One message for the answers that come before the window takes it.
        if (InterlockedExchange(&sporoceno, 1) == 0)
            PostMessageA(okno, IKONE_PRISPELE, 0, 0);
    }
    bralcev--;
    prostih--;
    LeaveCriticalSection(&kljuc);
    return 0;
}

// The row of the file `pot` at `stran` pixels that is not free, NULL where
// none is. With kljuc held.
static Branje *najdi(const char *pot, int stran)
{
    for (Branje &x : branja)
        if (x.stanje != PROSTO && x.stran == stran && strcmp(x.pot, pot) == 0)
            return &x;
    return NULL;
}

void prosi_ikono(HWND hwnd, const char *pot, int stran)
{
    pripravi();
    EnterCriticalSection(&kljuc);
    okno = hwnd;
    // One read per file and size: one that waits, is on its way or has
    // answered serves every opening that asks.
    if (najdi(pot, stran) == NULL) {
        for (Branje &x : branja) {
            if (x.stanje != PROSTO)
                continue;
            x.stanje = V_VRSTI;
            kopiraj(x.pot, sizeof x.pot, pot);
            x.stran = stran;
            x.ikona = NULL;
            break;
        }
        // With the table full the entry stays without its icon.
    }
    poskrbi_za_bralca();
    LeaveCriticalSection(&kljuc);
}

bool ikona_prebrana(const char *pot, int stran, HICON *ikona)
{
    pripravi();
    EnterCriticalSection(&kljuc);
    const Branje *b = najdi(pot, stran);
    const bool prebrano = b != NULL && b->stanje == PREBRANO;
    *ikona = prebrano ? b->ikona : NULL;
    LeaveCriticalSection(&kljuc);
    return prebrano;
}

void pocakaj_odgovor(DWORD najvec_ms)
{
    pripravi();
    WaitForSingleObject(prispelo, najvec_ms);
}

void ikone_sprejete(void)
{
    InterlockedExchange(&sporoceno, 0);
}

// Frees the rows that wait and, with `tudi_prebrane`, those that have
// answered, their icons given back.
static void sprosti(bool tudi_prebrane)
{
    HICON vrniti[NAJVEC_BRANJ];
    int n = 0;
    pripravi();
    EnterCriticalSection(&kljuc);
    for (Branje &b : branja) {
        if (b.stanje == V_VRSTI)
            b.stanje = PROSTO;
        if (b.stanje == PREBRANO && tudi_prebrane) {
            b.stanje = PROSTO;
            vrniti[n++] = b.ikona;
        }
    }
    LeaveCriticalSection(&kljuc);
    for (int i = 0; i < n; i++)
        if (vrniti[i] != NULL)
            DestroyIcon(vrniti[i]);
}

void opusti_vrsto(void)
{
    sprosti(false);
}

void pozabi_ikone(void)
{
    sprosti(true);
}
