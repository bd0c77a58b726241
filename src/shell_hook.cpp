// Tray shell: the desktop mouse hook.
//
// Two hooks report the desktop's input to the hidden window, each event as
// one posted MSHOOK_MSG. The journal-record hook is meant to see every input
// event of the desktop, on the window's thread. Today's systems refuse it to
// ordinary programs, and Wine installs it but calls it here only for input
// that goes to this thread's own windows (and calls it in other processes
// for theirs). So, beside it, a low-level mouse hook reports every mouse
// event of the desktop. An event that both hooks see is posted once: the
// low-level hook sees it first, when it is generated, and the journal hook,
// which sees it when it is taken from the queue, recognises it by its
// message, place and time and posts it no more. Events only the journal hook
// sees (the keyboard) it posts as always.
//
// The low-level hook has a thread of its own. The system calls a low-level
// hook by sending the thread that installed it a message, and every mouse
// event of the whole desktop waits until that thread has answered: on
// Windows up to LowLevelHooksTimeout (at most 1 s), after which the hook is
// dropped without a word; under Wine up to 2 s. The window's thread is often
// busy without taking messages: it builds a picture menu, starts a program
// from a slow share, saves the list, or, at idle priority, simply does not
// get the processor while the machine is busy. The hook thread does nothing
// but the hook's work and runs at THREAD_PRIORITY_TIME_CRITICAL, so it
// answers at once; the process keeps its idle priority class.
#include "NTpopup.h"

HHOOK g_hMSHook;      // journal-record hook; the window's thread only
HHOOK g_hLLHook;      // low-level mouse hook; written by the hook thread
HWND  g_hMSWnd;
UINT  g_uMSMsg;
LONG  cz;

// The installation call, SetWindowsHookExA; a seam for tests.
HHOOK (WINAPI *namesti_hook)(int, HOOKPROC, HINSTANCE, DWORD) = SetWindowsHookExA;

// ---- what the two threads share, and how ----
//
// The window's thread runs the window procedure, the journal hook,
// MSHookStart and MSHookStop. The hook thread runs MSLLHookProc and installs
// and removes the low-level hook. Between them:
//
// - cz. Set by the window procedure when a chord's menu returns, cleared by
//   whichever hook sees the next event, on either thread. Every access in
//   the program is an interlocked operation, and a hook clears it with one
//   compare-exchange of 1 by 0, so exactly one event is held back even when
//   both hooks see it at the same moment.
//
// - zadnji_ll, the low-level hook's record of the events it posted. Written
//   by the hook thread, read by the journal hook on the window's thread.
//   Each event is one 64-bit word, written and read whole by interlocked
//   operations: a reader sees an event entirely or not at all. There is no
//   lock, so the time-critical thread never waits for the idle-priority one
//   (which, holding a lock, could be kept off the processor for seconds).
//
// - g_hLLHook, nit_uspeh and the request itself. The window's thread posts
//   a request to the hook thread and waits for its answer (nit_odgovor)
//   before it goes on; the hook thread installs or removes its hook, writes
//   g_hLLHook and nit_uspeh, then signals. Only the window's thread asks,
//   one request at a time, so the hook thread writes these only while the
//   window's thread waits, and the window's thread reads them only after the
//   signal. Posting and taking a message, signalling an event and returning
//   from the wait for it order the memory accesses before them.
//
// - g_hMSWnd and g_uMSMsg (and ghInst, namesti_hook). Written on the
//   window's thread only while no low-level hook is installed (MSHookStart
//   has an installed one removed first), read by the low-level hook only
//   while it is installed, which it is only after the request that follows
//   the write. A renewal, the usual case, writes the same values again, so
//   even a call that the system still makes after a removal reads settled
//   values.
//
// The window's thread waits for the hook thread without a time limit: the
// hook thread answers a request with one system call, never waits for the
// window's thread, and cannot be kept from the processor by it. The wait
// also ends if the hook thread has ended.

// The low-level hook's record: the last events it posted, one 64-bit word
// each (see zapis).
enum { ZADNJI_LL = 16 };
static LONG64 zadnji_ll[ZADNJI_LL];
static LONG n_ll;

// An event as one word: its message, x and y as they are posted (16 bits
// each), and the low 16 bits of its time in milliseconds. Two events of the
// same message and place 65.536 s apart are told apart by the journal hook
// only within the last ZADNJI_LL events, which are a fraction of a second.
static LONG64 zapis(UINT message, LONG x, LONG y, DWORD time)
{
    return (LONG64)((ULONG64)LOWORD(message) << 48 | (ULONG64)LOWORD(x) << 32 |
                    (ULONG64)LOWORD(y) << 16 | (ULONG64)LOWORD(time));
}

// The journal hook sleeps this long after each event it posts.
enum { JOURNAL_SPANJE_MS = 10 };

// ---- the hook thread ----

// Requests to the hook thread, posted to it as thread messages.
enum {
    NIT_NAMESTI = WM_APP + 1,    // install the low-level hook
    NIT_ODSTRANI = WM_APP + 2,   // remove it; the result goes to nit_uspeh
    NIT_KONEC = WM_APP + 3,      // remove it and end the thread
};

// How long the window's destruction waits for the hook thread to end. It
// ends within one system call; the bound is for a system that is stuck.
enum { NIT_KONEC_MS = 2000 };

static HANDLE nit;           // the hook thread, NULL when it does not run
static DWORD  nit_id;
static HANDLE nit_odgovor;   // auto-reset: the hook thread has answered
static BOOL   nit_uspeh;     // the last removal's result

// Removes the low-level hook; on the hook thread.
static BOOL odstrani_ll(void)
{
    BOOL ok = TRUE;
    if (g_hLLHook != NULL)
        ok = UnhookWindowsHookEx(g_hLLHook);
    g_hLLHook = NULL;
    return ok;
}

static DWORD WINAPI hook_nit(LPVOID)
{
    // The first call for messages makes the thread's queue; from then on
    // requests can be posted to it.
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    SetEvent(nit_odgovor);

    // The system calls MSLLHookProc from within GetMessageA.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        switch (msg.message) {
        case NIT_NAMESTI:
            g_hLLHook = namesti_hook(WH_MOUSE_LL, MSLLHookProc, ghInst, 0);
            break;
        case NIT_ODSTRANI:
            nit_uspeh = odstrani_ll();
            break;
        case NIT_KONEC:
            odstrani_ll();
            return 0;
        default:
            continue;   // not a request: nobody waits for an answer
        }
        SetEvent(nit_odgovor);
    }
    return 0;
}

// The hook thread has ended: forget it and its hook (the system removes a
// thread's hooks when it ends).
static void pozabi_nit(void)
{
    CloseHandle(nit);
    CloseHandle(nit_odgovor);
    nit = NULL;
    nit_odgovor = NULL;
    g_hLLHook = NULL;
}

// Waits for the hook thread's answer; false when the thread has ended.
static bool pocakaj_odgovor(void)
{
    HANDLE h[2] = { nit_odgovor, nit };
    if (WaitForMultipleObjects(2, h, FALSE, INFINITE) == WAIT_OBJECT_0)
        return true;
    pozabi_nit();
    return false;
}

// Starts the hook thread unless it runs; false when it cannot be started
// (the low-level hook is then tried again at the next renewal).
static bool zacni_nit(void)
{
    if (nit != NULL)
        return true;
    nit_odgovor = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (nit_odgovor == NULL)
        return false;
    nit = CreateThread(NULL, 0, hook_nit, NULL, CREATE_SUSPENDED, &nit_id);
    if (nit == NULL) {
        CloseHandle(nit_odgovor);
        nit_odgovor = NULL;
        return false;
    }
    SetThreadPriority(nit, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(nit);
    return pocakaj_odgovor();
}

// Asks the hook thread to carry out a request and waits for it to be done.
static bool zahtevaj(UINT zahteva)
{
    if (nit == NULL)
        return false;
    if (!PostThreadMessageA(nit_id, zahteva, 0, 0))
        return false;
    return pocakaj_odgovor();
}

void ustavi_hook_nit(void)
{
    if (nit == NULL)
        return;
    PostThreadMessageA(nit_id, NIT_KONEC, 0, 0);
    if (WaitForSingleObject(nit, NIT_KONEC_MS) != WAIT_OBJECT_0)
        return;   // stuck: left alone, and tried again at the next call
    pozabi_nit();
}

// ---- installing and removing ----

HHOOK MSHookStart(HWND hWnd, UINT uMsg)
{
    // One low-level hook at most, and none while the window and message
    // change (see above). The callers remove the hooks first; only a second
    // window's creation finds one installed.
    if (g_hLLHook != NULL)
        zahtevaj(NIT_ODSTRANI);
    if (g_hMSWnd != hWnd)
        g_hMSWnd = hWnd;
    if (g_uMSMsg != uMsg)
        g_uMSMsg = uMsg;

    g_hMSHook = namesti_hook(WH_JOURNALRECORD, MSHookProc, ghInst, 0);
    if (zacni_nit())
        zahtevaj(NIT_NAMESTI);
    return g_hMSHook != NULL ? g_hMSHook : g_hLLHook;
}

BOOL MSHookStop(void)
{
    BOOL ok = TRUE;
    if (g_hMSHook != NULL)
        ok = UnhookWindowsHookEx(g_hMSHook);
    g_hMSHook = NULL;
    if (g_hLLHook != NULL && !(zahtevaj(NIT_ODSTRANI) && nit_uspeh))
        ok = FALSE;
    g_hLLHook = NULL;
    return ok;
}

// ---- the procedures ----

static bool ze_poslan(const EVENTMSG *ev)
{
    const LONG64 z = zapis(ev->message, (LONG)ev->paramL, (LONG)ev->paramH, ev->time);
    for (int i = 0; i < ZADNJI_LL; i++)
        if (InterlockedCompareExchange64(&zadnji_ll[i], 0, 0) == z)
            return true;
    return false;
}

// A hook holds its event back from the rest of the chain when cz is 1, and
// clears it: one event after a chord's menu, whichever hook sees it.
static bool zadrzi(void)
{
    return InterlockedCompareExchange(&cz, 0, 1) == 1;
}

// The journal hook, on the window's thread.
LRESULT CALLBACK MSHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // g_hMSWnd is NULL where a system calls this hook in another process.
    if (code != HC_ACTION || g_hMSWnd == NULL)
        return CallNextHookEx(g_hMSHook, code, wParam, lParam);

    const EVENTMSG *ev = (const EVENTMSG *)lParam;
    if (!ze_poslan(ev)) {
        PostMessageA(g_hMSWnd, g_uMSMsg,
                     MAKEWPARAM(LOWORD(ev->message), LOWORD(wParam)),
                     MAKELPARAM(LOWORD(ev->paramL), LOWORD(ev->paramH)));
        Sleep(JOURNAL_SPANJE_MS);
    }
    if (zadrzi())
        return 0;
    return CallNextHookEx(g_hMSHook, code, wParam, lParam);
}

// The low-level hook, on the hook thread. It reports a mouse event as the
// journal hook would: the message number in wParam, the cursor's x and y in
// lParam. It never waits for anything: every mouse event of the desktop
// waits for it.
LRESULT CALLBACK MSLLHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HC_ACTION || g_hMSWnd == NULL)
        return CallNextHookEx(g_hLLHook, code, wParam, lParam);

    const MSLLHOOKSTRUCT *ms = (const MSLLHOOKSTRUCT *)lParam;
    // Recorded before the post, so the journal hook finds it however soon
    // the window's thread takes the event.
    ULONG i = (ULONG)InterlockedIncrement(&n_ll) % ZADNJI_LL;
    InterlockedExchange64(&zadnji_ll[i], zapis((UINT)wParam, ms->pt.x, ms->pt.y, ms->time));
    PostMessageA(g_hMSWnd, g_uMSMsg, MAKEWPARAM(LOWORD(wParam), 0),
                 MAKELPARAM(LOWORD(ms->pt.x), LOWORD(ms->pt.y)));
    if (zadrzi())
        return 0;
    return CallNextHookEx(g_hLLHook, code, wParam, lParam);
}
