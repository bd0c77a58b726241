// The menu's icon readers: the entries' icons read from their program files
// on threads of their own, never on the window's thread.
//
// Reading an icon touches the program's file (ExtractIconA or
// PrivateExtractIconsA, and GetFileAttributesA in pot_brez_preusmeritve). A
// file on a share whose server is off, a disconnected drive or a sleeping
// disk holds the calling thread for as long as Windows waits on it: a TCP
// connect gives up after its retransmissions, an SMB session after 45 s,
// and a file system that never answers holds it for good. On the window's
// thread that would hold the menu, the icon and the exit with it. So every
// opening hands its files to the readers, waits a short while for them
// (sestavi_slike, menu_slike.cpp) and draws what has not answered by then
// without its icon; an answer that comes while the menu is open is drawn
// into it then.
//
// A silent file keeps at most one reader, whatever sizes, openings or list
// edits ask for it: a file is read by one thread at a time. Files that
// answer always find a reader: NAJVEC_BRALCEV readers that no silent file
// holds, beside those held, until NAJVEC_DRZANIH different silent files
// hold one each. Threads are bounded by NAJVEC_NITI, the table by
// NAJVEC_BRANJ.
#include "menu.h"

#include "config_list.h"

#include <string.h>

// ---- what the threads share, and how ----
//
// The window's thread builds, tracks and ends the openings (zahtevaj_ikone,
// prevzemi_ikone, odjavi_ikone). The readers, at most NAJVEC_NITI threads,
// each read one file's icon at a time. A reader touches what is
// below only with `kljuc` held, and the window's thread writes it only with
// `kljuc` held; the window's thread reads without it what no reader writes
// (tekoce, the openings' `caka`). Nobody holds it while touching a file or
// drawing.
//
// - branja, the reads: written by the window's thread when it asks for a
//   file (V_VRSTI) or takes an answer (PROSTO, or V_VRSTI again where
//   another opening waits for the same file); by a reader when it takes a
//   read (V_BRANJU, with the time it began) and when the file has answered
//   (PREBRANO with its icon, or PROSTO with the icon given back where no
//   opening wants it).
// - tekoce, the opening that is built or tracked now, and the chain of the
//   openings it interrupted (Odprtje::prejsnje): written by the window's
//   thread only. An answer serves whichever opening of the chain waits for
//   its file. A reader reads the paths and `caka` of the chain's openings,
//   which the window's thread writes with the lock held.
// - bralcev, the readers alive: counted up by the window's thread when it
//   starts one, down by the reader when it has found nothing to read for
//   BRALEC_CAKA_MS.
//
// `prispelo`, an auto-reset event, is set by a reader at every answer that
// an opening wants, for a build that waits for its answers. `delo`, another,
// wakes a reader that waits for work: set where reads wait, by the window's
// thread and by a reader that took one and leaves more.
//
// No thread is ever ended from outside, nor waited for: a reader held by
// its file is left to it, and the process may end only once the file has
// answered (a thread held in a file system cannot be ended, on Windows as
// here).

// How many reads one table holds: one being read by each reader, and two
// openings' worth of files (one that runs, one that it interrupted) asked
// for and not yet taken or answered.
constexpr int NAJVEC_BRANJ = NAJVEC_NITI + 2 * MAX_VNOSOV;

enum Stanje { PROSTO, V_VRSTI, V_BRANJU, PREBRANO };

struct Branje {
    Stanje stanje;
    char pot[MAX_PATH];   // the full path of the program's file
    int stran;            // the icon's side in pixels
    DWORD od;             // V_BRANJU: GetTickCount when the read began
    HICON ikona;          // PREBRANO: the answer, NULL for a file without one
};

static CRITICAL_SECTION kljuc;
static HANDLE prispelo, delo;
static Branje branja[NAJVEC_BRANJ];
static Odprtje *tekoce;
static int bralcev;

// The lock and the event, made on the window's thread before any reader
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

// Whether opening o (NULL: none) has an entry still waiting for the icon of
// read b. With kljuc held.
static bool zeli(const Odprtje *o, const Branje &b)
{
    if (o == NULL || o->stran != b.stran)
        return false;
    for (int i = 0; i < o->nslik; i++)
        if (o->caka[i] && strcmp(o->pot[i], b.pot) == 0)
            return true;
    return false;
}

// Whether any opening of the chain, the current one or one it interrupted,
// waits for read b. With kljuc held.
static bool zeli_katero(const Branje &b)
{
    for (const Odprtje *o = tekoce; o != NULL; o = o->prejsnje)
        if (zeli(o, b))
            return true;
    return false;
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
// files before it ends: menus opened one after another find their readers
// there, rather than paying for new threads at each opening (in Wine
// making the four costs about 2 ms, a fifth of a 19-picture build).
constexpr DWORD BRALEC_CAKA_MS = 2000;

static DWORD WINAPI bralec(LPVOID)
{
    for (;;) {
        EnterCriticalSection(&kljuc);
        Branje *b = naslednje();
        if (b == NULL) {
            LeaveCriticalSection(&kljuc);
            bool zbujen = WaitForSingleObject(delo, BRALEC_CAKA_MS) == WAIT_OBJECT_0;
            EnterCriticalSection(&kljuc);
            b = naslednje();
            if (b == NULL && !zbujen) {
                bralcev--;
                LeaveCriticalSection(&kljuc);
                return 0;
            }
            if (b == NULL) {
                LeaveCriticalSection(&kljuc);
                continue;
            }
        }
        b->stanje = V_BRANJU;
        b->od = GetTickCount();
        char pot[MAX_PATH];
        kopiraj(pot, sizeof pot, b->pot);
        const int stran = b->stran;
        if (naslednje() != NULL)
            SetEvent(delo);   // another waiting reader takes the next one
        LeaveCriticalSection(&kljuc);

        HICON ikona = izvleci_ikono(pot, stran);

        EnterCriticalSection(&kljuc);
        bool zeljena = zeli_katero(*b);
        if (zeljena) {
            b->stanje = PREBRANO;
            b->ikona = ikona;
            SetEvent(prispelo);
        } else {
            b->stanje = PROSTO;   // its menu is gone: nobody draws it
        }
        LeaveCriticalSection(&kljuc);
        if (!zeljena && ikona != NULL)
            DestroyIcon(ikona);
    }
}

// A reader's stack: reading an icon goes a few calls deep; the default, the
// program's megabyte, would be held four times over by readers that a
// silent file keeps.
constexpr SIZE_T SKLAD_BRALCA = 256 * 1024;

// A read that has gone on this long holds its reader on a silent file: a
// local file answers in a few milliseconds. Long enough not to take a busy
// machine's slow read for a silent one (which would only start a thread
// more), short enough that a file queued behind silent ones still answers
// well within KRATKO_CAKANJE_MS.
constexpr DWORD OBTICAL_MS = 50;

// Starts readers while reads wait that no free reader will take: up to
// NAJVEC_BRALCEV readers that are not held by a silent file, and NAJVEC_NITI
// in all. A held one does not count, so that files that answer always find
// a reader whatever the number of silent files and wherever they are
// mounted. Called whenever the window's thread looks for answers, as a
// read becomes held only with time. With kljuc held.
static void zazeni_bralce(void)
{
    const DWORD zdaj = GetTickCount();
    int v_vrsti = 0, v_branju = 0, drzani = 0;
    for (const Branje &b : branja) {
        v_vrsti += na_vrsti(b);
        v_branju += b.stanje == V_BRANJU;
        drzani += b.stanje == V_BRANJU && zdaj - b.od >= OBTICAL_MS;
    }
    // Readers that wait for work are woken first.
    if (v_vrsti > 0 && bralcev > v_branju)
        SetEvent(delo);
    while (bralcev - drzani < NAJVEC_BRALCEV && bralcev < NAJVEC_NITI &&
           bralcev - v_branju < v_vrsti) {
        HANDLE h = CreateThread(NULL, SKLAD_BRALCA, bralec, NULL, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        if (h == NULL)
            return;       // the reads wait for the readers there are
        bralcev++;
        CloseHandle(h);   // never waited for (see above)
    }
}

// Asks for the files that o waits for and nothing reads or holds for it
// yet. With kljuc held.
static void prosi(const Odprtje *o)
{
    for (int i = 0; i < o->nslik; i++) {
        if (!o->caka[i])
            continue;
        // One read per file: one that is on its way, from this opening or
        // an earlier one, serves this one when it answers.
        Branje *b = NULL, *prosto = NULL;
        for (Branje &x : branja) {
            if (x.stanje != PROSTO && x.stran == o->stran && strcmp(x.pot, o->pot[i]) == 0)
                b = &x;
            else if (x.stanje == PROSTO && prosto == NULL)
                prosto = &x;
        }
        // With the table full the entry stays without its icon.
        if (b == NULL && prosto != NULL) {
            prosto->stanje = V_VRSTI;
            kopiraj(prosto->pot, sizeof prosto->pot, o->pot[i]);
            prosto->stran = o->stran;
            prosto->ikona = NULL;
        }
    }
    zazeni_bralce();
}

void zahtevaj_ikone(Odprtje *o)
{
    pripravi();
    EnterCriticalSection(&kljuc);
    o->prejsnje = tekoce;
    tekoce = o;
    // Files an earlier opening asked for and no reader has taken yet are
    // read now only if this one lists them; that one asks again when it is
    // current again (odjavi_ikone).
    for (Branje &b : branja)
        if (b.stanje == V_VRSTI && !zeli(o, b))
            b.stanje = PROSTO;
    prosi(o);
    LeaveCriticalSection(&kljuc);
}

int prevzemi_ikone(Odprtje *o, HICON ikone[MAX_VNOSOV], bool novo[MAX_VNOSOV])
{
    int n = 0;
    for (int i = 0; i < MAX_VNOSOV; i++) {
        ikone[i] = NULL;
        novo[i] = false;
    }
    EnterCriticalSection(&kljuc);
    for (Branje &b : branja) {
        if (b.stanje != PREBRANO || !zeli(o, b))
            continue;
        for (int i = 0; i < o->nslik; i++)
            if (o->caka[i] && strcmp(o->pot[i], b.pot) == 0) {
                o->caka[i] = false;
                novo[i] = true;
                ikone[i] = b.ikona;
                n++;
            }
        // The icon is o's now; another opening of the chain that waits for
        // the same file gets a read of its own.
        b.stanje = zeli_katero(b) ? V_VRSTI : PROSTO;
    }
    zazeni_bralce();
    LeaveCriticalSection(&kljuc);
    return n;
}

void vrni_ikone(HICON ikone[MAX_VNOSOV])
{
    // Entries of the same file share one icon: each given back once.
    for (int i = 0; i < MAX_VNOSOV; i++) {
        bool prej = false;
        for (int j = 0; j < i; j++)
            prej = prej || ikone[j] == ikone[i];
        if (ikone[i] != NULL && !prej)
            DestroyIcon(ikone[i]);
    }
}

bool caka_ikone(const Odprtje *o)
{
    for (int i = 0; i < o->nslik; i++)
        if (o->caka[i])
            return true;
    return false;
}

bool pocakaj_ikone(const Odprtje *o, DWORD zacetek, DWORD najvec_ms)
{
    for (;;) {
        bool caka = false;
        EnterCriticalSection(&kljuc);
        for (const Branje &b : branja)
            if (b.stanje == PREBRANO && zeli(o, b))
                caka = true;
        zazeni_bralce();
        LeaveCriticalSection(&kljuc);
        if (caka)
            return true;     // an answer to take
        DWORD minilo = GetTickCount() - zacetek;
        if (minilo >= najvec_ms)
            return false;
        // Woken at every answer, and often enough to see a reader become
        // held by its file.
        DWORD ostane = najvec_ms - minilo;
        WaitForSingleObject(prispelo, ostane < OBTICAL_MS / 2 ? ostane : OBTICAL_MS / 2);
    }
}

void odjavi_ikone(Odprtje *o)
{
    HICON vrniti[NAJVEC_BRANJ];
    int n = 0;
    EnterCriticalSection(&kljuc);
    // Openings end in the reverse order of their start (a nested one
    // inside the one it interrupted).
    if (tekoce == o)
        tekoce = o->prejsnje;
    // Answers and reads that no opening wants any more: given back, and
    // not begun.
    for (Branje &b : branja) {
        if (b.stanje == PREBRANO && !zeli_katero(b)) {
            b.stanje = PROSTO;
            vrniti[n++] = b.ikona;
        }
        if (b.stanje == V_VRSTI && !zeli_katero(b))
            b.stanje = PROSTO;
    }
    // The opening that is current again asks again for what it still
    // waits for: o may have taken a shared answer, or dropped its reads.
    if (tekoce != NULL)
        prosi(tekoce);
    LeaveCriticalSection(&kljuc);
    for (int i = 0; i < n; i++)
        if (vrniti[i] != NULL)
            DestroyIcon(vrniti[i]);
}

Odprtje *tekoce_odprtje(void)
{
    return tekoce;
}
