// Tray shell: the desktop mouse hook.
//
// Two hooks report the desktop's input to the hidden window, each event as
// one posted MSHOOK_MSG. The journal-record hook is meant to see every input
// event of the desktop. Today's systems refuse it to ordinary programs, and
// Wine installs it but calls it only for input that goes to the installing
// thread's own windows (and calls it in other processes for theirs). So,
// beside it, a low-level mouse hook reports every mouse event of the
// desktop. An event that both hooks see is posted once: the
// low-level hook sees it first, when it is generated, and the journal hook,
// which sees it when it is taken from the queue, recognises it by its
// message, place and time and posts it no more. Events only the journal hook
// sees (the keyboard) it posts as always.
//
// Both hooks live on a thread of their own, and the window's thread installs
// none. The system calls a low-level hook by sending the thread that
// installed it a message, and every mouse event of the whole desktop waits
// until that thread has answered: on Windows up to LowLevelHooksTimeout (at
// most 1 s), after which the hook is dropped without a word; under Wine up
// to 2 s. Where Windows lets the journal hook in (Kolvena run as
// administrator, or with UAC off, on Windows 10), it puts the whole desktop
// in journaling mode, and then "if any one application stops reading input
// while the system is in a journaling mode, other applications are forced
// to wait" (WM_CANCELJOURNAL): every mouse and key event waits for the
// thread that installed it, with no time limit. The window's thread is often
// busy without taking messages: it builds a picture menu, starts a program
// from a slow share, saves the list, or, at idle priority, simply does not
// get the processor while the machine is busy. The hook thread does nothing
// but the hooks' work and runs at THREAD_PRIORITY_TIME_CRITICAL, so it
// answers at once; the process keeps its idle priority class. Neither hook
// procedure waits for anything.
#include "shell_hook.h"

HHOOK g_hMSHook;      // journal-record hook; written by the hook thread
HHOOK g_hLLHook;      // low-level mouse hook; written by the hook thread
HWND  g_hMSWnd;
UINT  g_uMSMsg;
LONG  cz;

// The installation call, SetWindowsHookExA; a seam for tests.
HHOOK (WINAPI *namesti_hook)(int, HOOKPROC, HINSTANCE, DWORD) = SetWindowsHookExA;

// ---- what the two threads share, and how ----
//
// The window's thread runs the window procedure, MSHookStart and
// MSHookStop. The hook thread runs both hook procedures and installs, renews
// and removes both hooks. Between them:
//
// - cz. Set by the window procedure when a chord's menu returns, cleared by
//   whichever hook sees the next event. Every access in the program is an
//   interlocked operation, and a hook clears it with one compare-exchange of
//   1 by 0, so exactly one event is held back.
//
// - zadnji_ll, the low-level hook's record of the events it posted, which
//   the journal hook reads. Windows calls both on the hook thread; Wine
//   calls a journal hook on whichever of the process's threads takes the
//   input, so the two may run at once. Each event is one 64-bit word,
//   written and read whole by interlocked operations: a reader sees an
//   event entirely or not at all. Nothing is locked, so the time-critical
//   thread never waits for an idle-priority one.
//
// - g_hLLHook and g_hMSHook. The hook thread installs its own hooks when it
//   starts and renews them by itself every OBNOVA_MS: the new low-level hook
//   in before the old one is removed, so that a low-level hook is there
//   at every moment whatever the window's thread is doing; the journal hook
//   removed and installed anew. It writes both with interlocked exchanges;
//   the window's thread only reads them. The window's thread waits for the
//   hook thread only when it starts it (until its queue and its first hooks
//   are there) and when it ends it (MSHookStop, the window's destruction),
//   never at a tick.
//
// - pomik_caka, a mouse move posted and not yet taken. Set by whichever hook
//   posts a move, cleared by the window procedure when it takes one (see
//   posli). Interlocked everywhere.
//
// - g_hMSWnd and g_uMSMsg (and ghInst, namesti_hook). Written on the
//   window's thread by MSHookStart, read by the hooks. The window's
//   creation writes them before the hook thread starts; a later MSHookStart
//   writes the same values again, or, for another window of the same
//   process, a window handle, which a pointer-sized aligned store writes
//   whole: an event that comes meanwhile goes to one window or the other.

// The low-level hook's record: the last events it posted, one 64-bit word
// each (see zapis).
constexpr int ZADNJI_LL = 16;
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

// ---- the hook thread ----

// Ends the hook thread, its hook removed; posted to it as a thread message.
constexpr UINT NIT_KONEC = WM_APP + 3;

// The hook thread renews its hooks this often: a hook that Windows has
// dropped (a low-level one that kept the desktop waiting beyond
// LowLevelHooksTimeout) or that was refused is back within this time; a
// journal hook that the user ended is not (see journal_preklican).
constexpr UINT OBNOVA_MS = 2000;

// How long MSHookStop and the window's destruction wait for the hook thread
// to end. It ends within one system call; the bound is for a system that is
// stuck.
constexpr DWORD NIT_KONEC_MS = 2000;

static HANDLE nit;           // the hook thread, NULL when it does not run
static DWORD  nit_id;
static HANDLE nit_odgovor;   // the hook thread has its queue and its first hooks

// The journal hook's last removal by the hook thread, as it ended: MSHookStop's
// result.
static BOOL journal_odstranjen = TRUE;

// A mouse move posted and not yet taken by the window procedure.
LONG pomik_caka;

// The event (as zapis makes it; 0 for none) that the low-level hook is
// handing on to the hooks behind it, on the hook thread. While a renewal has
// two of them installed, the newer one hands each event on to the older
// one, which must not post it again. A mouse message is never 0, so neither
// is the record of an event.
static LONG64 v_verigi;

// Installs a new low-level hook, then removes the old one; on the hook
// thread. A refused installation keeps the old hook.
static void obnovi_ll(void)
{
    HHOOK nov = namesti_hook(WH_MOUSE_LL, MSLLHookProc, ghInst, 0);
    if (nov == NULL)
        return;
    HHOOK star = (HHOOK)InterlockedExchangePointer((PVOID *)&g_hLLHook, nov);
    if (star != NULL)
        UnhookWindowsHookEx(star);
}

// Removes the journal hook, on the hook thread; the result of the removal,
// TRUE when there was none.
static BOOL journal_stop(void)
{
    HHOOK h = (HHOOK)InterlockedExchangePointer((PVOID *)&g_hMSHook, NULL);
    return h != NULL ? UnhookWindowsHookEx(h) : TRUE;
}

// Ctrl+Esc or Ctrl+Alt+Del ended journaling: Windows removed the journal
// hook and posted WM_CANCELJOURNAL to the hook thread, and "an application
// can assume ... the user has intentionally canceled the journal record"
// (WM_CANCELJOURNAL). For the rest of this run no journal hook is installed
// again, whichever hook thread runs; the low-level hook goes on. Written and
// read by the hook thread only; one thread ends before the next starts.
bool journal_preklican;

// Removes the journal hook and installs it anew, whether or not the removal
// succeeded, unless the user cancelled it; on the hook thread. Two journal
// hooks at once would post every event twice.
static void obnovi_journal(void)
{
    journal_stop();
    if (!journal_preklican)
        InterlockedExchangePointer((PVOID *)&g_hMSHook,
                                   namesti_hook(WH_JOURNALRECORD, MSHookProc, ghInst, 0));
}

static DWORD WINAPI hook_nit(LPVOID)
{
    // The first call for messages makes the thread's queue; from then on
    // NIT_KONEC can be posted to it.
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    obnovi_ll();
    obnovi_journal();
    UINT_PTR ura = SetTimer(NULL, 0, OBNOVA_MS, NULL);
    SetEvent(nit_odgovor);

    // The system calls both hook procedures from within GetMessageA.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (msg.message == NIT_KONEC)
            break;
        // The handle is forgotten; its removal, which fails on a hook that
        // Windows has removed, costs nothing.
        if (msg.message == WM_CANCELJOURNAL && msg.hwnd == NULL) {
            journal_preklican = true;
            journal_stop();
        }
        if (msg.message == WM_TIMER && msg.hwnd == NULL) {
            obnovi_ll();
            obnovi_journal();
        }
    }
    KillTimer(NULL, ura);
    journal_odstranjen = journal_stop();
    HHOOK h = (HHOOK)InterlockedExchangePointer((PVOID *)&g_hLLHook, NULL);
    if (h != NULL)
        UnhookWindowsHookEx(h);
    return 0;
}

// The hook thread has ended: forget it and its hooks (the system removes a
// thread's hooks when it ends).
static void pozabi_nit(void)
{
    CloseHandle(nit);
    CloseHandle(nit_odgovor);
    nit = NULL;
    nit_odgovor = NULL;
    InterlockedExchangePointer((PVOID *)&g_hLLHook, NULL);
    InterlockedExchangePointer((PVOID *)&g_hMSHook, NULL);
}

// Starts the hook thread unless it runs, and waits until it has its first
// hooks; if it cannot be started, the next tick tries again.
static void zacni_nit(void)
{
    if (nit != NULL)
        return;
    nit_odgovor = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (nit_odgovor == NULL)
        return;
    nit = CreateThread(NULL, 0, hook_nit, NULL, CREATE_SUSPENDED, &nit_id);
    if (nit == NULL) {
        CloseHandle(nit_odgovor);
        nit_odgovor = NULL;
        return;
    }
    SetThreadPriority(nit, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(nit);
    HANDLE h[2] = { nit_odgovor, nit };
    if (WaitForMultipleObjects(2, h, FALSE, INFINITE) != WAIT_OBJECT_0)
        pozabi_nit();
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
    if (g_hMSWnd != hWnd)
        g_hMSWnd = hWnd;
    if (g_uMSMsg != uMsg)
        g_uMSMsg = uMsg;
    zacni_nit();   // returns at once when the thread runs
    return g_hMSHook != NULL ? g_hMSHook : g_hLLHook;
}

BOOL MSHookStop(void)
{
    journal_odstranjen = TRUE;
    ustavi_hook_nit();
    BOOL ok = journal_odstranjen;
    // A handle that no hook thread removed (one stuck past NIT_KONEC_MS):
    // removed here and forgotten all the same.
    if (g_hMSHook != NULL)
        ok = journal_stop();
    InterlockedExchange(&pomik_caka, 0);   // the next window has taken nothing yet
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

// Posts one event to the window. A mouse move is posted only when the last
// one posted has been taken (the window procedure clears pomik_caka): a fast
// mouse over a busy window would otherwise fill its queue, and Windows
// refuses posts beyond 10,000 a queue, button events too. A move left out
// is stale anyway: the next one tells where the cursor is. Every other
// event is posted. Returns whether a message was posted.
static bool posli(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool pomik = message == WM_MOUSEMOVE;
    if (pomik && InterlockedCompareExchange(&pomik_caka, 1, 0) != 0)
        return false;
    if (PostMessageA(g_hMSWnd, g_uMSMsg, wParam, lParam))
        return true;
    if (pomik)
        InterlockedExchange(&pomik_caka, 0);   // nothing waits to be taken
    return false;
}

// The journal hook, on the hook thread. It never waits for anything: where
// Windows lets it in, every input event of the desktop waits for it.
LRESULT CALLBACK MSHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // g_hMSWnd is NULL where a system calls this hook in another process.
    if (code != HC_ACTION || g_hMSWnd == NULL)
        return CallNextHookEx(g_hMSHook, code, wParam, lParam);

    const EVENTMSG *ev = (const EVENTMSG *)lParam;
    if (!ze_poslan(ev))
        posli(ev->message, MAKEWPARAM(LOWORD(ev->message), LOWORD(wParam)),
              MAKELPARAM(LOWORD(ev->paramL), LOWORD(ev->paramH)));
    // The event held back from the rest of the chain when cz is 1, which is
    // cleared: one event after a chord's menu, whichever hook sees it.
    if (InterlockedCompareExchange(&cz, 0, 1) == 1)
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
    const LONG64 z = zapis((UINT)wParam, ms->pt.x, ms->pt.y, ms->time);
    // The same event handed on by a newer copy of this hook (a renewal):
    // posted and, after a chord, held back by that copy already.
    if (z == v_verigi)
        return CallNextHookEx(g_hLLHook, code, wParam, lParam);

    // Recorded before the post, so the journal hook finds it however soon
    // the window's thread takes the event.
    ULONG i = (ULONG)InterlockedIncrement(&n_ll) % ZADNJI_LL;
    InterlockedExchange64(&zadnji_ll[i], z);
    posli((UINT)wParam, MAKEWPARAM(LOWORD(wParam), 0), MAKELPARAM(LOWORD(ms->pt.x), LOWORD(ms->pt.y)));
    if (InterlockedCompareExchange(&cz, 0, 1) == 1)   // held back, as by MSHookProc
        return 0;
    // Saved and put back: a hook behind that waits for another thread lets
    // this thread be called for a further event meanwhile.
    const LONG64 prej = v_verigi;
    v_verigi = z;
    LRESULT r = CallNextHookEx(g_hLLHook, code, wParam, lParam);
    v_verigi = prej;
    return r;
}
