// Work that may wait on a file, on a thread of its own (see ozadje.h).
//
// The waiting thread (the window's) starts a piece of work (pozeni_posel)
// and, when its wait is over, either takes the answer and frees the work
// (koncan), or leaves the report to the work's thread (sam_pove). The work's
// thread, at its end, sets koncan and ok and, where nobody waits for it any
// more, frees the work itself. Both touch the flags of a Posel only with
// `kljuc` held, and nobody holds it while the work runs. A work's thread is
// never ended from outside, nor waited for beyond the bound.
#include "ozadje.h"

static CRITICAL_SECTION kljuc;

// The lock, made on the window's thread before any work's thread exists.
static void pripravi(void)
{
    static bool pripravljeno = false;
    if (!pripravljeno) {
        pripravljeno = true;
        InitializeCriticalSection(&kljuc);
    }
}

static DWORD WINAPI nit_posla(LPVOID arg)
{
    Posel *p = (Posel *)arg;
    const Opravljeno izid = p->delo(p->zanj);
    const bool ok = izid == Opravljeno::DA;
    EnterCriticalSection(&kljuc);
    const bool sam = p->sam_pove, povej = sam && !ok && !p->konec && izid != Opravljeno::NE_TIHO;
    void (*reci)(void) = p->povej;
    p->koncan = true;
    p->ok = ok;
    if (sam)
        p->tece = false;   // p may be started anew from here on
    LeaveCriticalSection(&kljuc);
    // Late, it may come while the user works in another window.
    if (povej)
        reci();
    return 0;
}

bool pozeni_posel(Posel *p, DWORD najvec_ms)
{
    pripravi();
    EnterCriticalSection(&kljuc);
    const bool tece = p->tece;
    if (!tece) {
        p->tece = true;
        p->koncan = p->ok = p->sam_pove = p->konec = p->opusceno = false;
    }
    LeaveCriticalSection(&kljuc);
    if (tece)
        return false;
    HANDLE h = CreateThread(NULL, 0, nit_posla, p, 0, NULL);
    if (h == NULL) {
        EnterCriticalSection(&kljuc);
        p->tece = false;
        LeaveCriticalSection(&kljuc);
        return false;
    }
    WaitForSingleObject(h, najvec_ms);
    if (p->do_konca) {
        if (p->nit != NULL)
            CloseHandle(p->nit);
        p->nit = h;
    } else {
        CloseHandle(h);
    }
    EnterCriticalSection(&kljuc);
    const bool koncan = p->koncan, ok = p->ok;
    if (koncan)
        p->tece = false;
    else
        p->sam_pove = true;
    LeaveCriticalSection(&kljuc);
    return !koncan || ok;
}

bool posel_na_poti(Posel *p)
{
    pripravi();
    EnterCriticalSection(&kljuc);
    const bool na_poti = p->tece && !p->koncan;
    LeaveCriticalSection(&kljuc);
    return na_poti;
}

bool posel_opuscen(Posel *p)
{
    EnterCriticalSection(&kljuc);
    const bool o = p->opusceno;
    LeaveCriticalSection(&kljuc);
    return o;
}

bool pocakaj_posel(Posel *p, DWORD najvec_ms)
{
    if (p->nit == NULL)
        return true;
    EnterCriticalSection(&kljuc);
    const bool tece = p->tece;
    p->konec = tece;
    LeaveCriticalSection(&kljuc);
    // Ended and answered: the thread shows at most its own late box, which
    // stays until the user has read it.
    if (!tece) {
        WaitForSingleObject(p->nit, INFINITE);
        return true;
    }
    WaitForSingleObject(p->nit, najvec_ms);
    EnterCriticalSection(&kljuc);
    const bool ok = p->koncan && p->ok;
    p->opusceno = !p->koncan;
    LeaveCriticalSection(&kljuc);
    return ok;
}
