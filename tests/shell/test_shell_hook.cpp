// The desktop mouse hook: what its procedures post, the hold-back after a
// chord, removal; real input through the installed hooks; and start-up as
// WinMain runs it, up to " Izhod ".
#include "wintest.h"

#include <tlhelp32.h>

#include <stdlib.h>
#include <string.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// One posted event, compared and printed whole: its wParam, and its lParam's
// low and high words (x and y).
struct Posted {
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Posted &o) const { return wParam == o.wParam && lParam == o.lParam; }
};
std::ostream &operator<<(std::ostream &os, const Posted &p)
{
    return os << "{ 0x" << std::hex << p.wParam << ", (" << std::dec << (int)LOWORD(p.lParam)
              << ", " << (int)HIWORD(p.lParam) << ") }";
}

// What the hooks posted to the sink, in order.
std::vector<Posted> sunk;

// The sink takes a posted event as Kolvena's window procedure does: a move
// taken lets the hooks post the next.
LRESULT CALLBACK sink_proc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != MSHOOK_MSG)
        return DefWindowProcA(h, msg, wParam, lParam);
    sunk.push_back({ wParam, lParam });
    if (wParam == WM_MOUSEMOVE)
        InterlockedExchange(&pomik_caka, 0);
    return 0;
}

// A message-only window that collects what the hooks post to it.
HWND make_sink()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc;
        ZeroMemory(&wc, sizeof wc);
        wc.lpfnWndProc = sink_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "kolvena_sink";
        registered = RegisterClassA(&wc) != 0;
    }
    HWND h = CreateWindowExA(0, "kolvena_sink", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                             GetModuleHandleA(NULL), NULL);
    REQUIRE(h != NULL);
    return h;
}

// Takes the events waiting for the sink.
std::vector<Posted> take_posted(HWND sink)
{
    MSG msg;
    while (PeekMessageA(&msg, sink, MSHOOK_MSG, MSHOOK_MSG, PM_REMOVE))
        DispatchMessageA(&msg);
    std::vector<Posted> out;
    out.swap(sunk);
    return out;
}

// A fresh program state and a sink that the hook's globals point at, with
// no hooks installed and nothing waiting.
HWND aimed_sink()
{
    wt::reset_program_state();
    HWND sink = make_sink();
    MSHookStart(sink, MSHOOK_MSG);
    MSHookStop();
    REQUIRE(g_hMSWnd == sink);
    REQUIRE(g_uMSMsg == MSHOOK_MSG);
    take_posted(sink);
    return sink;
}

int sleeps;
void WINAPI noted_sleep(DWORD)
{
    sleeps++;
}

// A journal event: message, paramL, paramH, time.
EVENTMSG event(UINT message, UINT l, UINT hgh, DWORD time)
{
    return EVENTMSG{ message, l, hgh, time, NULL };
}

} // namespace

TEST_CASE("MSHookStop without a hook, after a hook, and when the removal fails")
{
    wt::reset_program_state();
    MSHookStop();
    CHECK(MSHookStop() == TRUE);
    CHECK(g_hMSHook == NULL);

    HWND sink = make_sink();
    {
        // Refused, as Windows refuses it: the result is the low-level hook,
        // and with no journal hook to remove the removal succeeds.
        wt::Restore<decltype(namesti_hook)> refused(namesti_hook, wt::journal_refused);
        CHECK(MSHookStart(sink, MSHOOK_MSG) == g_hLLHook);
        CHECK(g_hLLHook != NULL);
        CHECK(g_hMSHook == NULL);
        CHECK(MSHookStop() == TRUE);
    }
    wt::Restore<decltype(namesti_hook)> granted(namesti_hook, wt::journal_granted);
    HHOOK h = MSHookStart(sink, MSHOOK_MSG);
    CHECK(h != NULL);
    CHECK(g_hMSHook != NULL);
    HHOOK journal = g_hMSHook;
    CHECK(MSHookStop() == TRUE);
    CHECK(g_hMSHook == NULL);
    CHECK_FALSE(UnhookWindowsHookEx(journal));   // it is gone

    // A handle the system has already dropped: the removal fails and the
    // handle is forgotten all the same.
    g_hMSHook = journal;
    CHECK(MSHookStop() == FALSE);
    CHECK(g_hMSHook == NULL);

    DestroyWindow(sink);
}

TEST_CASE("the journal procedure posts each event once, packed into 16-bit halves, and never sleeps")
{
    HWND sink = aimed_sink();
    // Where Windows lets a journal hook in, the desktop's input waits while
    // it runs (WM_CANCELJOURNAL's documentation): it never sleeps.
    sleeps = 0;
    wt::PatchedImport no_sleep("kernel32.dll", "Sleep", (void *)noted_sleep);

    // x beyond 65535, y negative: each is cut to its low 16 bits. The high
    // word of wParam is the low word of the call's own wParam.
    EVENTMSG ev = event(WM_MOUSEMOVE, 70000, (UINT)-5, 1001);
    MSHookProc(HC_ACTION, 0x12345, (LPARAM)&ev);
    CHECK(take_posted(sink) ==
          std::vector<Posted>{ { MAKEWPARAM(WM_MOUSEMOVE, 0x2345), MAKELPARAM(70000 & 0xFFFF, 0xFFFB) } });

    // Recorded events come with wParam 0; keyboard events are posted too.
    ev = event(WM_LBUTTONDOWN, 12, 34, 1002);
    MSHookProc(HC_ACTION, 0, (LPARAM)&ev);
    ev = event(WM_KEYDOWN, 0x1E41, 1, 1003);
    MSHookProc(HC_ACTION, 0, (LPARAM)&ev);
    CHECK(take_posted(sink) == std::vector<Posted>{ { WM_LBUTTONDOWN, MAKELPARAM(12, 34) },
                                                    { WM_KEYDOWN, MAKELPARAM(0x1E41, 1) } });
    CHECK(sleeps == 0);

    DestroyWindow(sink);
}

TEST_CASE("after a chord the next event is posted but held back once")
{
    HWND sink = aimed_sink();

    SUBCASE("journal procedure")
    {
        cz = 1;
        EVENTMSG ev = event(WM_MOUSEMOVE, 1, 2, 2001);
        CHECK(MSHookProc(HC_ACTION, 0, (LPARAM)&ev) == 0);
        CHECK(cz == 0);
        CHECK(take_posted(sink).size() == 1);

        // A call without an event posts nothing and keeps cz.
        cz = 1;
        const int codes[] = { HC_GETNEXT, HC_SKIP, HC_NOREMOVE, HC_SYSMODALON, HC_SYSMODALOFF };
        for (int code : codes) {
            CAPTURE(code);
            ev = event(WM_LBUTTONDOWN, 3, 4, 2002);
            MSHookProc(code, 0, (LPARAM)&ev);
            CHECK(cz == 1);
            CHECK(take_posted(sink).empty());
        }
    }

    SUBCASE("low-level procedure")
    {
        cz = 1;
        MSLLHOOKSTRUCT ms = { { 5, 6 }, 0, 0, 2003, 0 };   // pt, mouseData, flags, time
        CHECK(MSLLHookProc(HC_ACTION, WM_MOUSEMOVE, (LPARAM)&ms) == 0);
        CHECK(cz == 0);
        CHECK(take_posted(sink).size() == 1);
    }

    DestroyWindow(sink);
}

TEST_CASE("the low-level procedure posts mouse events; the journal does not post them again")
{
    HWND sink = aimed_sink();

    MSLLHOOKSTRUCT ms = { { -3, 65540 }, 0, 0, 3001, 0 };   // pt, mouseData, flags, time
    MSLLHookProc(HC_ACTION, WM_RBUTTONDOWN, (LPARAM)&ms);
    CHECK(take_posted(sink) == std::vector<Posted>{ { WM_RBUTTONDOWN, MAKELPARAM(0xFFFD, 4) } });

    // The same event as the journal sees it: not posted again.
    EVENTMSG same = event(WM_RBUTTONDOWN, (UINT)-3, 65540, 3001);
    MSHookProc(HC_ACTION, 0, (LPARAM)&same);
    CHECK(take_posted(sink).empty());

    // Another time, another place or another message is another event.
    EVENTMSG later = event(WM_RBUTTONDOWN, (UINT)-3, 65540, 3002);
    EVENTMSG elsewhere = event(WM_RBUTTONDOWN, 7, 65540, 3001);
    EVENTMSG release = event(WM_RBUTTONUP, (UINT)-3, 65540, 3001);
    MSHookProc(HC_ACTION, 0, (LPARAM)&later);
    MSHookProc(HC_ACTION, 0, (LPARAM)&elsewhere);
    MSHookProc(HC_ACTION, 0, (LPARAM)&release);
    CHECK(take_posted(sink).size() == 3);

    // Copies of the hook that run without the window (in another process)
    // post nothing.
    g_hMSWnd = NULL;
    MSLLHookProc(HC_ACTION, WM_LBUTTONDOWN, (LPARAM)&ms);
    EVENTMSG ev = event(WM_LBUTTONDOWN, 1, 1, 3003);
    MSHookProc(HC_ACTION, 0, (LPARAM)&ev);
    CHECK(take_posted(sink).empty());

    DestroyWindow(sink);
}

// ---- real input through the installed hooks ----
//
// Our own hooks, installed before Kolvena's, sit behind them in the chain and
// see what Kolvena's hooks hand on.

namespace {

std::vector<UINT> journal_seen;
std::vector<UINT> ll_seen;

LRESULT CALLBACK observe_journal(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION)
        journal_seen.push_back(((const EVENTMSG *)lParam)->message);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

LRESULT CALLBACK observe_ll(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION)
        ll_seen.push_back((UINT)wParam);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

size_t count(const std::vector<UINT> &v, UINT m)
{
    return std::count(v.begin(), v.end(), m);
}

size_t count_posted(const std::vector<Posted> &v, UINT m)
{
    return std::count_if(v.begin(), v.end(), [m](const Posted &p) { return p.wParam == m; });
}

} // namespace

TEST_CASE("real input: each event is posted once, and the hold-back keeps it from the hooks behind")
{
    // Kolvena's journal hook refused, as Windows refuses it, and, where the
    // system lets it in (Wine 8), installed beside the low-level hook.
    const bool system_journal = wt::journal_system();
    WINE_QUIRK_BEFORE(10, "any program may install a journal-record hook", !system_journal, system_journal);
    std::vector<bool> answers{ false };
    if (system_journal)
        answers.push_back(true);
    for (bool journal : answers) {
        CAPTURE(journal);
        wt::reset_program_state();
        HWND sink = make_sink();

        // A visible window of this thread under the cursor, in the foreground:
        // the journal hook sees the input that goes to it (under Wine it sees
        // no other: a journal-record hook is called only for its own thread's
        // input there).
        HWND target = CreateWindowExA(WS_EX_TOPMOST, "kolvena_sink", "cilj", WS_POPUP | WS_VISIBLE,
                                      100, 100, 200, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
        REQUIRE(target != NULL);
        wt::Finally gone([&] {
            MSHookStop();
            DestroyWindow(target);
            DestroyWindow(sink);
        });
        SetForegroundWindow(target);
        SetFocus(target);
        SetCursorPos(200, 200);
        wt::pump_for(300);

        HINSTANCE inst = GetModuleHandleA(NULL);
        HHOOK obs_journal = journal ? SetWindowsHookExA(WH_JOURNALRECORD, observe_journal, inst, 0) : NULL;
        HHOOK obs_ll = SetWindowsHookExA(WH_MOUSE_LL, observe_ll, inst, 0);
        wt::Finally unhook([&] {
            UnhookWindowsHookEx(obs_journal);
            UnhookWindowsHookEx(obs_ll);
        });
        REQUIRE((obs_journal != NULL) == journal);
        REQUIRE(obs_ll != NULL);
        wt::Restore<decltype(namesti_hook)> answer(namesti_hook, journal ? SetWindowsHookExA : wt::journal_refused);
        REQUIRE(MSHookStart(sink, MSHOOK_MSG) != NULL);
        REQUIRE(g_hLLHook != NULL);
        REQUIRE((g_hMSHook != NULL) == journal);
        journal_seen.clear();
        ll_seen.clear();
        take_posted(sink);

        // A left click on our window: the hooks see it, one message each.
        wt::send_mouse(MOUSEEVENTF_LEFTDOWN);
        wt::send_mouse(MOUSEEVENTF_LEFTUP);
        CHECK(wt::pump_until([&] { return count_posted(sunk, WM_LBUTTONUP) >= 1 &&
                                          count(journal_seen, WM_LBUTTONUP) >= (size_t)journal; }, 8000));
        CHECK(count(journal_seen, WM_LBUTTONDOWN) == (size_t)journal);   // the journal path is live
        CHECK(count(ll_seen, WM_LBUTTONDOWN) == 1);
        CHECK(count_posted(sunk, WM_LBUTTONDOWN) == 1);
        CHECK(count_posted(sunk, WM_LBUTTONUP) == 1);
        for (const Posted &p : sunk) {
            if (p.wParam == WM_LBUTTONDOWN) {
                INFO("the left press posted with lParam ", p.lParam);
                CHECK(LOWORD(p.lParam) == 200);
                CHECK(HIWORD(p.lParam) == 200);
            }
        }

        // After a chord: the next mouse event is posted but the low-level hooks
        // behind never see it; the one after it they see.
        sunk.clear();
        ll_seen.clear();
        cz = 1;
        wt::send_mouse(MOUSEEVENTF_RIGHTDOWN);
        CHECK(wt::pump_until([] { return count_posted(sunk, WM_RBUTTONDOWN) >= 1; }, 8000));
        CHECK(cz == 0);
        wt::send_mouse(MOUSEEVENTF_RIGHTUP);
        CHECK(wt::pump_until([] { return count_posted(sunk, WM_RBUTTONUP) >= 1; }, 8000));
        CHECK(count(ll_seen, WM_RBUTTONDOWN) == 0);
        CHECK(count(ll_seen, WM_RBUTTONUP) == 1);
        if (!journal)
            continue;

        // Keyboard events reach only the journal hook: posted, and after a chord
        // the first one is kept from the journal hooks behind.
        sunk.clear();
        journal_seen.clear();
        cz = 1;
        keybd_event('K', 0, 0, 0);
        keybd_event('K', 0, KEYEVENTF_KEYUP, 0);
        CHECK(wt::pump_until([] { return count_posted(sunk, WM_KEYUP) >= 1; }, 8000));
        CHECK(count_posted(sunk, WM_KEYDOWN) == 1);
        CHECK(cz == 0);
        CHECK(count(journal_seen, WM_KEYDOWN) == 0);
        CHECK(count(journal_seen, WM_KEYUP) == 1);
    }
}

// ---- the window's thread busy ----
//
// The system calls a low-level hook through the thread that installed it, and
// every mouse event of the desktop waits for that thread's answer (Wine: up
// to 2 s; Windows: up to LowLevelHooksTimeout, then it drops the hook). The
// window's thread is often busy without taking messages; the hook's own
// thread must answer all the same.

namespace {

enum { BUSY_MS = 3000 };        // the window's thread takes no messages this long
enum { MOVES = 20 };            // mouse moves sent meanwhile, one every MOVE_GAP_MS
enum { MOVE_GAP_MS = 50 };

struct Sender {
    double worst_ms = 0;        // the longest SendInput
    int sent = 0;               // SendInput calls that put their event in
};

double now_ms()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

void timed_send(Sender *s, DWORD flags, LONG dx)
{
    double t0 = now_ms();
    s->sent += (int)wt::send_mouse(flags, dx);
    double t = now_ms() - t0;
    if (t > s->worst_ms)
        s->worst_ms = t;
}

// Another thread's input while the window's thread is busy: mouse moves,
// then the chord (left held, right pressed) and the releases.
DWORD WINAPI send_while_busy(LPVOID p)
{
    Sender *s = (Sender *)p;
    for (int i = 0; i < MOVES; i++) {
        timed_send(s, MOUSEEVENTF_MOVE, i % 2 ? 1 : -1);
        Sleep(MOVE_GAP_MS);
    }
    timed_send(s, MOUSEEVENTF_LEFTDOWN, 0);
    timed_send(s, MOUSEEVENTF_RIGHTDOWN, 0);
    timed_send(s, MOUSEEVENTF_RIGHTUP, 0);
    timed_send(s, MOUSEEVENTF_LEFTUP, 0);
    return 0;
}

} // namespace

TEST_CASE("the window's thread busy: the desktop's mouse input does not wait, and a chord made meanwhile opens the menu after")
{
    wt::reset_program_state();
    HWND h = wt::make_tray_window();
    REQUIRE(h != NULL);
    REQUIRE(g_hLLHook != NULL);
    // The clicks go to the desktop, a window of another process.
    SetCursorPos(400, 300);
    wt::pump_for(200);

    Sender s;
    HANDLE t = CreateThread(NULL, 0, send_while_busy, &s, 0, NULL);
    REQUIRE(t != NULL);
    // Busy as a handler is that builds a menu from a slow share: no message
    // is taken, so no hook of this thread is called.
    Sleep(BUSY_MS);
    CHECK(WaitForSingleObject(t, 10000) == WAIT_OBJECT_0);
    CloseHandle(t);
    CHECK(s.sent == MOVES + 4);
    // A generous bound: this is whether the input waits for the busy thread
    // (up to LowLevelHooksTimeout, at most 1 s, on Windows; 2 s under Wine),
    // not how fast it goes.
    CHECK(s.worst_ms < 1000.0);

    // Free again: the presses that the hook posted meanwhile open the menu.
    std::vector<wt::Item> items;
    wt::Driver driver;
    driver.menu([&](HWND m) {
        items = wt::read_menu((HMENU)SendMessageA(m, MN_GETHMENU, 0, 0));
        wt::menu_key(m, VK_ESCAPE);
    });
    CHECK(wt::pump_until([&] { return driver.done() && wt::find_menu_window() == NULL; }, 8000));
    driver.finish();
    REQUIRE_FALSE(items.empty());
    CHECK(items.back().text == " Izhod ");
    CHECK(ldown == 0);

    wt::destroy_tray_window(h);
}

// ---- start-up ----

namespace {

// Kolvena finds the functions newer than Windows XP with GetProcAddress. A
// stand-in for it hands out recorders for two of them, which note their
// arguments and change nothing in this process.
FARPROC (WINAPI *real_GetProcAddress)(HMODULE, LPCSTR);
std::vector<DWORD> dll_search;                 // SetDefaultDllDirectories' flags
struct Filter {
    HWND hwnd;
    UINT msg;
    DWORD action;
};
std::vector<Filter> filters;                   // ChangeWindowMessageFilterEx calls

BOOL WINAPI rec_SetDefaultDllDirectories(DWORD flags)
{
    dll_search.push_back(flags);
    return TRUE;
}
BOOL WINAPI rec_ChangeWindowMessageFilterEx(HWND h, UINT msg, DWORD action, void *)
{
    filters.push_back({ h, msg, action });
    return TRUE;
}
FARPROC WINAPI rec_GetProcAddress(HMODULE m, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && strcmp(name, "SetDefaultDllDirectories") == 0)
        return (FARPROC)(void (*)(void))rec_SetDefaultDllDirectories;
    if (!IS_INTRESOURCE(name) && strcmp(name, "ChangeWindowMessageFilterEx") == 0)
        return (FARPROC)(void (*)(void))rec_ChangeWindowMessageFilterEx;
    return real_GetProcAddress(m, name);
}

struct Seen {
    bool ran = false;
    HINSTANCE inst = NULL;
    std::string window_class;
    LONG style = 0;
    bool visible = true;
    DWORD priority = 0;
    NOTIFYICONDATAA tray_record;
    bool hook = false;
    std::vector<DWORD> hook_threads;   // at time-critical priority
    bool timer = false;
    bool icon = false;
    int entries = -1;
    std::string cur_dir;
    int tri = -1;
    DWORD second_wait = WAIT_FAILED;   // a second Kolvena.exe started meanwhile
    DWORD second_rc = 99;
    bool icon_after_second = false;
    bool guard_let_go = false;         // at " Izhod ", the process still there
};
Seen seen;
UINT_PTR probe_timer;

// This process's threads that run at THREAD_PRIORITY_TIME_CRITICAL.
std::vector<DWORD> time_critical_threads()
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    REQUIRE(snap != INVALID_HANDLE_VALUE);
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE t = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID);
        if (t != NULL && GetThreadPriority(t) == THREAD_PRIORITY_TIME_CRITICAL)
            ids.push_back(te.th32ThreadID);
        if (t != NULL)
            CloseHandle(t);
    }
    CloseHandle(snap);
    return ids;
}

bool thread_ended(DWORD id)
{
    HANDLE t = OpenThread(SYNCHRONIZE, FALSE, id);
    if (t == NULL)
        return true;
    bool ended = WaitForSingleObject(t, 0) == WAIT_OBJECT_0;
    CloseHandle(t);
    return ended;
}

// Runs inside WinMain's message loop: looks at what start-up made, then
// leaves as " Izhod " does.
void CALLBACK probe(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(NULL, probe_timer);
    HWND h = tray.hWnd;
    seen.ran = true;
    seen.inst = ghInst;
    char cls[32] = "";
    GetClassNameA(h, cls, sizeof cls);
    seen.window_class = cls;
    seen.style = GetWindowLongA(h, GWL_STYLE);
    seen.visible = IsWindowVisible(h) != FALSE;
    seen.priority = GetPriorityClass(GetCurrentProcess());
    seen.tray_record = tray;
    seen.hook = (g_hMSHook != NULL) == wt::journal_system() && g_hLLHook != NULL && g_hMSWnd == h;
    seen.hook_threads = time_critical_threads();
    seen.icon = wt::icon_there(h);
    seen.entries = stevilo_vnosov();
    seen.cur_dir = wt::current_dir();
    seen.tri = tri_mous;
    // The window's timer is running: it can be stopped (and is started
    // again, so that the window's destruction stops it).
    seen.timer = KillTimer(h, TIMER_TIP) != FALSE;
    SetTimer(h, TIMER_TIP, 2000, NULL);

    // A second copy, the real Kolvena.exe, started while this one runs.
    const char *exe = getenv("KOLVENA_EXE");
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (exe != NULL && CreateProcessA(exe, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        seen.second_wait = WaitForSingleObject(pi.hProcess, 30000);
        GetExitCodeProcess(pi.hProcess, &seen.second_rc);
        if (seen.second_wait != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    seen.icon_after_second = wt::icon_there(h);

    MSHookStop();
    DestroyWindow(h);
    // A program's file may hold the process after this: the guard is let
    // go already, so that a new Kolvena starts meanwhile.
    HANDLE guard = OpenMutexA(SYNCHRONIZE, FALSE, "Local\\Kolvena");
    seen.guard_let_go = guard == NULL;
    if (guard != NULL)
        CloseHandle(guard);
}

} // namespace

TEST_CASE("start-up: hidden window, icon, hook, timer and list; the loop ends with exit code 0")
{
    wt::reset_program_state();
    ghInst = NULL;
    ZeroMemory(&tray, sizeof tray);
    wt::drain_quit();

    const std::string cfg = wt::win_path("Kolvena.cfg");
    wt::write_bytes(cfg, "Beleznica\r\nC:\\windows\\notepad.exe\r\n");
    SetCurrentDirectoryA("C:\\");

    wt::PatchedImport patched("kernel32.dll", "GetProcAddress", (void *)rec_GetProcAddress);
    real_GetProcAddress = (decltype(real_GetProcAddress))patched.real;
    dll_search.clear();
    filters.clear();

    HINSTANCE inst = GetModuleHandleA(NULL);
    probe_timer = SetTimer(NULL, 0, 200, probe);
    int rc = WinMain(inst, NULL, (LPSTR) "ukazna vrstica", SW_SHOWNORMAL);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);

    CHECK(rc == 0);
    REQUIRE(seen.ran);
    CHECK(seen.inst == inst);
    CHECK(seen.window_class == "klasa");
    CHECK((seen.style & WS_POPUP) != 0);
    CHECK((seen.style & (WS_VISIBLE | WS_CHILD | WS_CAPTION)) == 0);
    CHECK_FALSE(seen.visible);
    CHECK(seen.priority == (DWORD)IDLE_PRIORITY_CLASS);
    CHECK(seen.hook);
    // The low-level hook's thread, the one thread raised; gone after " Izhod ".
    REQUIRE(seen.hook_threads.size() == 1);
    CHECK(seen.hook_threads[0] != GetCurrentThreadId());
    CHECK(wt::pump_until([] { return thread_ended(seen.hook_threads[0]); }, 100));
    CHECK(time_critical_threads().empty());
    CHECK(seen.timer);
    CHECK(seen.icon);
    CHECK(seen.entries == 1);
    CHECK(lstrcmpiA(seen.cur_dir.c_str(), wt::win_dir().c_str()) == 0);
    CHECK(seen.tri == (GetSystemMetrics(SM_CMOUSEBUTTONS) == 3 ? 1 : 0));

    const NOTIFYICONDATAA &t = seen.tray_record;
    CHECK(t.cbSize == NOTIFYICONDATAA_V1_SIZE);
    CHECK(t.uID == TRAY_ID);
    CHECK(t.uFlags == (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    CHECK(t.uCallbackMessage == (UINT)WM_TRAYNOTIFY);
    CHECK(t.hIcon != NULL);
    CHECK(std::string(t.szTip) == " Kolvena verzija 1.1 ");

    // Gone with the window: the icon.
    CHECK_FALSE(wt::icon_there(t.hWnd));
    CHECK_FALSE(IsWindow(t.hWnd));
    DeleteFileA(cfg.c_str());

    // The second copy ended at once with exit code 0; this one kept its icon.
    CHECK(seen.second_wait == WAIT_OBJECT_0);
    CHECK(seen.second_rc == 0);
    CHECK(seen.icon_after_second);
    CHECK(seen.guard_let_go);

    // Libraries from the system directory only (LOAD_LIBRARY_SEARCH_SYSTEM32).
    CHECK(dll_search == std::vector<DWORD>{ 0x800 });
    // "TaskbarCreated" let through to the window. Windows keeps messages of
    // a lower integrity level from a window unless ChangeWindowMessageFilterEx
    // allows them (MSGFLT_ALLOW, 1) for it (Microsoft's documentation of the
    // function). Wine has no integrity levels, so the call is checked as
    // it is made.
    REQUIRE(filters.size() == 1);
    CHECK(filters[0].hwnd == t.hWnd);
    CHECK(filters[0].msg == RegisterWindowMessageA("TaskbarCreated"));
    CHECK(filters[0].action == 1);
}

namespace {

void CALLBACK quit_99(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

HWND WINAPI refuse_window(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                          HINSTANCE, LPVOID)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}
HANDLE WINAPI refuse_mutex(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) { return SetLastError(ERROR_ACCESS_DENIED), nullptr; }

} // namespace

TEST_CASE("another copy running, or no window: start-up ends at once with exit code 0")
{
    wt::reset_program_state();
    ZeroMemory(&tray, sizeof tray);
    // Were start-up to wait in its loop, this would end it with 99.
    UINT_PTR guard = SetTimer(NULL, 0, 3000, quit_99);
    wt::Finally after([guard] {
        KillTimer(NULL, guard);
        if (tray.hWnd != NULL)
            wt::destroy_tray_window(tray.hWnd);
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        wt::drain_quit();
    });
    HINSTANCE inst = GetModuleHandleA(NULL);
    int rc = -1;

    SUBCASE("another copy runs in this session")
    {
        HANDLE other = CreateMutexA(NULL, FALSE, "Local\\Kolvena");
        REQUIRE(other != NULL);
        REQUIRE(GetLastError() != ERROR_ALREADY_EXISTS);
        wt::Finally close([other] { CloseHandle(other); });
        rc = WinMain(inst, NULL, (LPSTR) "", SW_SHOWNORMAL);
    }
    SUBCASE("another copy runs as administrator: CreateMutexA denied (its page, on Microsoft Learn)")
    {
        wt::PatchedImport refused("kernel32.dll", "CreateMutexA", (void *)refuse_mutex);
        rc = WinMain(inst, NULL, (LPSTR) "", SW_SHOWNORMAL);
    }
    SUBCASE("the window cannot be made")
    {
        wt::PatchedImport patched("user32.dll", "CreateWindowExA", (void *)refuse_window);
        rc = WinMain(inst, NULL, (LPSTR) "", SW_SHOWNORMAL);
    }
    CHECK(rc == 0);
    // Before any icon or hook.
    CHECK(tray.hWnd == NULL);
    CHECK(g_hMSHook == NULL);
    CHECK(g_hLLHook == NULL);
    CHECK(time_critical_threads().empty());
}
