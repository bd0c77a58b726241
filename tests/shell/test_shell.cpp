// The tray window's procedure on a real window of class "klasa": the tray
// callback, the hook's messages and the chord, the tooltip's turns, the
// window's destruction, a restarted taskbar; and start-up as WinMain runs it.
// Menus are the real launcher menu; the driver dismisses each with Escape,
// and fails the test for a menu more or less than expected.
#include "wintest.h"
#include "klici.h"

#include <string>

namespace {

// A tray window whose own two-second timer is stopped, so that only the
// ticks a test sends turn the tooltip.
HWND quiet_tray_window()
{
    HWND h = wt::make_tray_window();
    REQUIRE(h != NULL);
    KillTimer(h, TIMER_TIP);
    return h;
}

// Sends a message to the window; `menus` launcher menus must open meanwhile,
// each dismissed with Escape.
LRESULT send(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, int menus = 0)
{
    wt::Driver d;
    for (int i = 0; i < menus; i++)
        d.keys({ VK_ESCAPE });
    return SendMessageA(h, msg, wParam, lParam);
}

// Adds the icon as start-up does, with the record start-up fills.
bool add_icon(HWND h)
{
    tray = wt::icon_record(h, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = (HICON)LoadImageA(GetModuleHandleA(NULL), "TR16", IMAGE_ICON, 16, 16,
                                   LR_DEFAULTCOLOR);
    return Shell_NotifyIconA(NIM_ADD, &tray) != FALSE;
}

// The icon's place as a stand-in gives it, and Shell_NotifyIconA's messages.
RECT icon_place = { 300, 200, 316, 216 };
HRESULT WINAPI icon_at(const NOTIFYICONIDENTIFIER *, RECT *r)
{
    *r = icon_place;
    return S_OK;
}
std::vector<DWORD> notify_calls;
BOOL WINAPI noted_notify(DWORD m, PNOTIFYICONDATAA)
{
    notify_calls.push_back(m);
    return TRUE;
}

// Hook installations by type (journal or not) and by whether the window's
// thread made them; the hook thread calls this too, hence interlocked.
DWORD window_thread, journal_thread;
LONG installs[2][2];
HHOOK (WINAPI *journal_answer)(int, HOOKPROC, HINSTANCE, DWORD);
HHOOK WINAPI noted_hook(int type, HOOKPROC proc, HINSTANCE inst, DWORD tid)
{
    InterlockedIncrement(&installs[type == WH_JOURNALRECORD][GetCurrentThreadId() == window_thread]);
    if (type == WH_JOURNALRECORD)
        journal_thread = GetCurrentThreadId();
    return journal_answer(type, proc, inst, tid);
}

// The menu on a monitor of 150 %, Kolvena not per-monitor aware: its rectangle logical, the
// hook's point physical ("per-monitor aware screen coordinates", MSLLHOOKSTRUCT, on Microsoft Learn).
BOOL WINAPI at_150(HWND, LPPOINT p) { return *p = POINT{ p->x * 2 / 3, p->y * 2 / 3 }, TRUE; }

} // namespace

TEST_CASE("the tray callback: only a right-button press on the icon opens the menu")
{
    wt::reset_program_state();
    HWND h = quiet_tray_window();

    const LPARAM nothing[] = { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE,
                               WM_LBUTTONDBLCLK, WM_MBUTTONDOWN, 0x7777 };
    for (LPARAM l : nothing) {
        CAPTURE(l);
        CHECK(send(h, WM_TRAYNOTIFY, TRAY_ID, l) == 1);
    }

    // The tray path brings the hidden window to the foreground first and
    // never sets cz; the menu clears ldown. Opened with the mouse (the icon's
    // place unknown), it hands the focus nowhere when it is left.
    wt::PatchedImport notify("shell32.dll", "Shell_NotifyIconA", (void *)noted_notify);
    ldown = 1;
    CHECK(send(h, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN, 1) == 1);
    CHECK(GetForegroundWindow() == h);
    CHECK(ldown == 0);
    CHECK(cz == 0);
    CHECK(notify_calls.empty());

    // From the keyboard, the cursor elsewhere: the menu at the icon, and after
    // Esc "use NIM_SETFOCUS to return focus to the notification area"
    // (NOTIFYICONDATA, on Microsoft Learn). The icon's press as the hook
    // reported it, taken in the menu's loop, does not end the menu.
    najdi_klice();
    wt::Restore<decltype(pShell_NotifyIconGetRect)> place(pShell_NotifyIconGetRect, icon_at);
    POINT c;
    REQUIRE((GetCursorPos(&c) && !PtInRect(&icon_place, c)));
    PostMessageA(h, MSHOOK_MSG, WM_RBUTTONDOWN, MAKELPARAM(304, 204));
    RECT at = {};
    wt::Driver d;
    d.menu([&](HWND m) {
        GetWindowRect(m, &at);
        wt::menu_key(m, VK_ESCAPE);
    });
    SendMessageA(h, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
    d.finish();
    CHECK(at.left == 308);
    CHECK(at.top == 208);
    CHECK(notify_calls == std::vector<DWORD>{ NIM_SETFOCUS });

    // Left by a press beside it, which the hook reports: only Esc asks for it.
    wt::Driver beside;
    beside.menu([&](HWND) { PostMessageA(h, MSHOOK_MSG, WM_LBUTTONDOWN, MAKELPARAM(at.right + 20, at.top)); });
    SendMessageA(h, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
    beside.finish();
    CHECK(notify_calls == std::vector<DWORD>{ NIM_SETFOCUS });

    wt::destroy_tray_window(h);
}

TEST_CASE("hook messages: left held and right pressed opens the menu, then cz is 1")
{
    wt::reset_program_state();
    HWND h = quiet_tray_window();
    // The hook's messages are sent here, so the hooks are taken out: a real
    // event would clear cz before it is read (under Wine, the mouse move
    // that the menu's window makes as it goes, now and then).
    MSHookStop();
    const LRESULT def_rdown = DefWindowProcA(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0);

    // A lone right press does nothing and goes on to the default handling.
    CHECK(send(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0) == def_rdown);
    CHECK(cz == 0);

    // The left button's press and release set and clear ldown.
    CHECK(send(h, MSHOOK_MSG, WM_LBUTTONDOWN, MAKELPARAM(10, 20)) == 1);
    CHECK(ldown == 1);
    CHECK(send(h, MSHOOK_MSG, WM_LBUTTONUP, MAKELPARAM(10, 20)) == 1);
    CHECK(ldown == 0);
    send(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0);

    // The chord.
    send(h, MSHOOK_MSG, WM_LBUTTONDOWN, 0);
    REQUIRE(ldown == 1);
    // Another window is in front; the chord's menu brings Kolvena's window
    // forward, or the menu would take no keys.
    HWND other = CreateWindowExA(0, "STATIC", "vspredju", WS_POPUP | WS_VISIBLE,
                                 50, 50, 100, 40, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    wt::pump_for(100);
    REQUIRE(GetForegroundWindow() == other);
    CHECK(send(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0, 1) == def_rdown);
    CHECK(cz == 1);
    CHECK(ldown == 0);
    CHECK(GetForegroundWindow() == h);
    DestroyWindow(other);

    // After the menu ldown is 0: a second right press alone does nothing.
    cz = 0;
    send(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0);
    CHECK(cz == 0);

    // Refused the foreground, a menu "will not disappear when the user clicks
    // outside of the menu" (TrackPopupMenu, Remarks, on Microsoft Learn), nor
    // does it under Wine at a press only the hook reports. A press the hook
    // reports beside it ends it; one on it does not, also at 150 % (s = 3).
    najdi_klice();
    for (int s : { 2, 3 })
    for (bool beside : { false, true }) {
        INFO("beside " << beside << ", the point at " << s << "/2 of the rectangle's");
        wt::Restore<decltype(&at_150)> put(pPhysicalToLogicalPointForPerMonitorDPI,
                                           s == 3 ? at_150 : pPhysicalToLogicalPointForPerMonitorDPI);
        wt::Driver d;
        d.menu([&](HWND m) {
            RECT r;
            GetWindowRect(m, &r);
            int x = beside ? r.right + 20 : r.right - 5;
            PostMessageA(h, MSHOOK_MSG, WM_LBUTTONDOWN, MAKELPARAM(x * s / 2, (r.top + 5) * s / 2));
            wt::menu_keys(m, { VK_UP, VK_UP, VK_UP, VK_UP, VK_RETURN });   // the screen saver
        });
        ldown = 1;
        SendMessageA(h, MSHOOK_MSG, WM_RBUTTONDOWN, 0);
        MSG msg;
        CHECK(PeekMessageA(&msg, h, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE) == !beside);
    }

    wt::destroy_tray_window(h);
}

TEST_CASE("hook messages: the middle button, other events, a wParam with a high word")
{
    wt::reset_program_state();
    HWND h = quiet_tray_window();

    SUBCASE("the middle button opens the menu only with three buttons, and never sets cz")
    {
        tri_mous = 0;
        CHECK(send(h, MSHOOK_MSG, WM_MBUTTONDOWN, 0) == 1);

        tri_mous = 1;
        ldown = 1;
        CHECK(send(h, MSHOOK_MSG, WM_MBUTTONDOWN, 0, 1) == 1);
        CHECK(cz == 0);
        CHECK(ldown == 0);
    }

    SUBCASE("other events go to the default handling and leave ldown alone")
    {
        tri_mous = 1;
        const WPARAM others[] = { WM_MOUSEMOVE, WM_RBUTTONUP, WM_MBUTTONUP, WM_MOUSEWHEEL,
                                  WM_LBUTTONDBLCLK, WM_KEYDOWN, WM_KEYUP, 0 };
        for (int held = 0; held <= 1; held++) {
            for (WPARAM w : others) {
                CAPTURE(held);
                CAPTURE(w);
                ldown = held;
                CHECK(send(h, MSHOOK_MSG, w, MAKELPARAM(5, 6)) ==
                      DefWindowProcA(h, MSHOOK_MSG, w, MAKELPARAM(5, 6)));
                CHECK(ldown == held);
                CHECK(cz == 0);
            }
        }
    }

    SUBCASE("a high word in wParam matches no button")
    {
        tri_mous = 1;
        ldown = 1;
        WPARAM w = MAKEWPARAM(WM_RBUTTONDOWN, 1);
        CHECK(send(h, MSHOOK_MSG, w, 0) == DefWindowProcA(h, MSHOOK_MSG, w, 0));
        CHECK(cz == 0);

        send(h, MSHOOK_MSG, MAKEWPARAM(WM_MBUTTONDOWN, 1), 0);

        send(h, MSHOOK_MSG, MAKEWPARAM(WM_LBUTTONUP, 2), 0);
        CHECK(ldown == 1);
        ldown = 0;
        send(h, MSHOOK_MSG, MAKEWPARAM(WM_LBUTTONDOWN, 0x8000), 0);
        CHECK(ldown == 0);
    }

    wt::destroy_tray_window(h);
}

TEST_CASE("the tooltip lines: the version, the authors, an e-mail address, a web page; each fits szTip whole")
{
    CHECK(std::string(tttable[0]) == " Kolvena verzija 1.1 ");
    for (int i = 0; i < 4; i++) {
        CAPTURE(i);
        REQUIRE(tttable[i] != nullptr);
        const std::string line = tttable[i];
        CHECK(line.size() < sizeof sprememba.szTip);
        CHECK((line.find("ekipa Kolvena") != std::string::npos) == (i == 1));
        CHECK((line.find("@example.org") != std::string::npos) == (i == 2));
        CHECK((line.find("://www.example.org") != std::string::npos) == (i == 3));
    }
}

TEST_CASE("each tick shows the next line, 1, 2, 3, 0, 1; the hook thread installs and renews both hooks, the window's thread none")
{
    // The journal hook granted, and refused as Windows refuses it: the
    // low-level hook is renewed all the same, and the journal hook is asked
    // for again at every renewal.
    for (bool granted : { true, false }) {
        CAPTURE(granted);
        wt::reset_program_state();
        window_thread = GetCurrentThreadId();
        ZeroMemory(installs, sizeof installs);
        journal_answer = granted ? wt::journal_granted : wt::journal_refused;
        wt::Restore<decltype(namesti_hook)> noted(namesti_hook, noted_hook);
        HWND h = quiet_tray_window();
        REQUIRE((g_hMSHook != NULL) == granted);   // installed during the window's creation
        REQUIRE(g_hLLHook != NULL);
        CHECK(g_hMSWnd == h);
        CHECK(g_uMSMsg == MSHOOK_MSG);

        // Another timer's tick turns nothing and goes to the default handling.
        CHECK(SendMessageA(h, WM_TIMER, TIMER_TIP + 1, 0) == DefWindowProcA(h, WM_TIMER, TIMER_TIP + 1, 0));
        CHECK(gi == 0);
        for (int k = 0; k < 6; k++) {
            CAPTURE(k);
            wt::tick_to(h, (k + 1) % 4);     // 1, 2, 3, 0, 1, 2
            CHECK((g_hMSHook != NULL) == granted);
            CHECK(g_hLLHook != NULL);
            CHECK(g_hMSWnd == h);
            CHECK(g_uMSMsg == MSHOOK_MSG);
        }

        // With no tick of the window's, the hook thread puts in new hooks by
        // itself and removes the old ones.
        HHOOK ll_now = g_hLLHook, journal_now = g_hMSHook;
        CHECK(wt::pump_until([&] { return g_hLLHook != ll_now && g_hLLHook != NULL &&
                                          (!granted || (g_hMSHook != journal_now && g_hMSHook != NULL)); }, 5000));
        CHECK((g_hMSHook != NULL) == granted);
        CHECK_FALSE(UnhookWindowsHookEx(ll_now));
        if (granted)
            CHECK_FALSE(UnhookWindowsHookEx(journal_now));
        // Where Windows lets a journal hook in, the desktop's input waits for
        // the thread that installed it while that thread takes no messages
        // (WM_CANCELJOURNAL's documentation): never the window's thread.
        CHECK(installs[0][1] + installs[1][1] == 0);
        CHECK(std::min(installs[0][0], installs[1][0]) >= 2);

        // A tick installs the hooks also when none is installed.
        MSHookStop();
        REQUIRE(g_hMSHook == NULL);
        REQUIRE(g_hLLHook == NULL);
        SendMessageA(h, WM_TIMER, TIMER_TIP, 0);
        CHECK((g_hMSHook != NULL) == granted);
        CHECK(g_hLLHook != NULL);
        CHECK(gi == 3);

        // Ctrl+Esc ends journaling: Windows unhooks it and posts WM_CANCELJOURNAL
        // to the thread that set it (its page, on Microsoft Learn); Wine never
        // does. No journal hook for the rest of the run, from a new thread neither.
        wt::Restore<bool> cancelled(journal_preklican, false);
        REQUIRE(PostThreadMessageA(journal_thread, WM_CANCELJOURNAL, 0, 0));
        CHECK(wt::pump_until([] { return g_hMSHook == NULL; }, 3000));
        MSHookStop();
        SendMessageA(h, WM_TIMER, TIMER_TIP, 0);
        CHECK(g_hLLHook != NULL);
        CHECK(g_hMSHook == NULL);

        wt::destroy_tray_window(h);
    }
}

TEST_CASE("the window's own timer ticks: the tooltip turns while messages are pumped")
{
    wt::reset_program_state();
    HWND h = wt::make_tray_window();
    REQUIRE(h != NULL);
    CHECK(gi == 0);
    CHECK(wt::pump_until([] { return gi == 2; }, 10000));
    CHECK(std::string(sprememba.szTip) == tttable[2]);
    wt::destroy_tray_window(h);
}

TEST_CASE("destruction removes the icon, posts the quit with code 0 and stops the timer")
{
    wt::reset_program_state();
    wt::drain_quit();

    // A window's timer is there to be stopped once.
    HWND other = wt::make_tray_window();
    REQUIRE(other != NULL);
    CHECK(KillTimer(other, TIMER_TIP));
    CHECK_FALSE(KillTimer(other, TIMER_TIP));
    wt::destroy_tray_window(other);
    wt::drain_quit();

    HWND h = wt::make_tray_window();
    REQUIRE(h != NULL);
    REQUIRE_MESSAGE(add_icon(h), "the notification area takes the icon");
    REQUIRE(wt::icon_there(h));

    // The message alone, so that the window and its timer could live on.
    CHECK(SendMessageA(h, WM_DESTROY, 0, 0) == 1);

    MSG msg;
    REQUIRE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(msg.wParam == 0);
    CHECK_FALSE(KillTimer(h, TIMER_TIP));
    CHECK_FALSE(wt::icon_there(h));      // removed: the record named this window's icon

    // No tick comes any more: the tooltip stays where it was.
    int gi_now = gi;
    wt::pump_for(2500);
    CHECK(gi == gi_now);

    wt::destroy_tray_window(h);
}

TEST_CASE("an icon the notification area has not got is added again, with the line shown now")
{
    wt::reset_program_state();
    HWND h = quiet_tray_window();
    REQUIRE(add_icon(h));
    REQUIRE(wt::icon_there(h));

    // The taskbar has forgotten the icon, or never took it.
    NOTIFYICONDATAA gone = tray;
    Shell_NotifyIconA(NIM_DELETE, &gone);
    REQUIRE_FALSE(wt::icon_there(h));

    SUBCASE("a restarted taskbar: \"TaskbarCreated\"")
    {
        gi = 2;
        UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");
        SendMessageA(h, taskbar_created, 0, 0);
        CHECK(wt::icon_there(h));
        CHECK(std::string(tray.szTip) == tttable[2]);
        // It was added, not changed: adding it once more is refused.
        NOTIFYICONDATAA again = tray;
        CHECK_FALSE(Shell_NotifyIconA(NIM_ADD, &again));
    }
    SUBCASE("started at logon while the taskbar was still starting: no \"TaskbarCreated\" follows, the next tick")
    {
        SendMessageA(h, WM_TIMER, TIMER_TIP, 0);
        CHECK(wt::icon_there(h));
        CHECK(std::string(tray.szTip) == tttable[1]);
    }

    SendMessageA(h, WM_DESTROY, 0, 0);
    CHECK_FALSE(wt::icon_there(h));
    wt::destroy_tray_window(h);
}
