// The launcher menu on real popup menus under Wine: its items, starting the
// chosen program, the fixed commands, and menus opened inside a running one.
#include "menutest.h"

#include <string>
#include <vector>

using wt::Item;

namespace {

struct Expected {
    UINT id;
    UINT type;
    const char *text;
};

const Expected fixed_items[] = {
    { 0, MFT_SEPARATOR, "" },
    { 25, MFT_STRING, " Najdi... " },
    { 26, MFT_STRING, " Ohranjevalnik zaslona " },
    { 24, MFT_STRING, " Zaustavitev sistema " },
    { 0, MFT_SEPARATOR, "" },
    { 22, MFT_STRING, " Nastavitve " },
    { 0, MFT_SEPARATOR, "" },
    { 23, MFT_STRING, " Izhod " },
};

// The popup as it is tracked, with the holder and the tracked menu's handle.
struct Tracked {
    HMENU holder = NULL, popup = NULL, shown = NULL;
    HMENU holder_sub = NULL;            // the holder's pop-up item
    std::vector<Item> items, holder_items;
    std::vector<UINT> states;           // GetMenuState of each item
};

Tracked read_tracked(HWND menu_window)
{
    Tracked t;
    t.holder = hmenu1;
    t.popup = hpopup1;
    t.shown = (HMENU)SendMessageA(menu_window, MN_GETHMENU, 0, 0);
    t.items = wt::read_menu(hpopup1);
    t.holder_items = wt::read_menu(hmenu1);
    t.holder_sub = GetSubMenu(hmenu1, 0);
    for (size_t i = 0; i < t.items.size(); i++)
        t.states.push_back(GetMenuState(hpopup1, (UINT)i, MF_BYPOSITION));
    return t;
}

void check_items(const Tracked &t, const std::vector<std::string> &entries)
{
    CHECK(t.shown == t.popup);
    REQUIRE(t.holder_items.size() == 1);
    CHECK(t.holder_items[0].text == " ");
    CHECK(t.holder_sub == t.popup);

    REQUIRE(t.items.size() == entries.size() + 8);
    for (size_t i = 0; i < entries.size(); i++) {
        CAPTURE(i);
        CHECK(t.items[i].id == 30 + i);
        CHECK(t.items[i].type == MFT_STRING);
        CHECK(t.items[i].text == entries[i]);
        CHECK(t.states[i] == MF_STRING);   // enabled, unchecked
    }
    for (size_t k = 0; k < 8; k++) {
        const Item &it = t.items[entries.size() + k];
        CAPTURE(k);
        CHECK(it.id == fixed_items[k].id);
        CHECK(it.type == fixed_items[k].type);
        CHECK(it.text == fixed_items[k].text);
    }
}

std::string working_dir()
{
    std::string d = "C:\\kolvena delovna";
    CreateDirectoryA(d.c_str(), NULL);
    REQUIRE(SetCurrentDirectoryA(d.c_str()));
    return d;
}

} // namespace

TEST_CASE("the menu's items: entries in list order, then the fixed commands")
{
    wt::reset_program_state();
    mt::TrayWindow w;

    SUBCASE("an empty list begins with the separator") {
        Tracked t;
        wt::Robot robot;
        robot.menu([&](HWND m) { t = read_tracked(m); wt::menu_key(m, VK_ESCAPE); });
        mt::run_menu(robot, w.hwnd);
        check_items(t, {});
    }
    SUBCASE("one entry") {
        wt::add_entry("Beleznica", "C:\\windows\\notepad.exe");
        Tracked t;
        wt::Robot robot;
        robot.menu([&](HWND m) { t = read_tracked(m); wt::menu_key(m, VK_ESCAPE); });
        mt::run_menu(robot, w.hwnd);
        check_items(t, { "Beleznica" });
    }
    SUBCASE("a full list of 19: commands 30 to 48") {
        std::vector<std::string> names;
        for (int i = 0; i < 19; i++) {
            names.push_back("Program " + std::to_string(i + 1));
            wt::add_entry(names.back().c_str(), "C:\\windows\\notepad.exe");
        }
        REQUIRE(IDx == 49);
        Tracked t;
        wt::Robot robot;
        robot.menu([&](HWND m) { t = read_tracked(m); wt::menu_key(m, VK_ESCAPE); });
        mt::run_menu(robot, w.hwnd);
        check_items(t, names);
        CHECK(t.items[18].id == 48);
    }
    SUBCASE("show-icons values other than 1 give text items") {
        for (int v : { 0, 2, -1 }) {
            CAPTURE(v);
            wt::reset_program_state();
            wt::add_entry("Beleznica", "C:\\windows\\notepad.exe");
            wt::add_entry("Register", "C:\\windows\\regedit.exe");
            icn_kljuka = v;
            Tracked t;
            wt::Robot robot;
            robot.menu([&](HWND m) { t = read_tracked(m); wt::menu_key(m, VK_ESCAPE); });
            mt::run_menu(robot, w.hwnd);
            check_items(t, { "Beleznica", "Register" });
        }
    }
}

TEST_CASE("dismissing the menu does nothing and destroys it")
{
    wt::reset_program_state();
    mt::start_recording();
    std::string prog = mt::place_recorder("C:\\kolvena\\zapis.exe");
    wt::add_entry("Zapis", prog.c_str());
    mt::TrayWindow w;
    mt::BoxWatcher boxes;

    Tracked t;
    wt::Robot robot;
    robot.menu([&](HWND m) { t = read_tracked(m); wt::menu_key(m, VK_ESCAPE); });
    mt::run_menu(robot, w.hwnd);

    CHECK(t.popup != NULL);
    CHECK_FALSE(IsMenu(t.holder));
    CHECK_FALSE(IsMenu(t.popup));
    CHECK(IsWindow(w.hwnd));
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    wt::pump_for(300);
    CHECK(boxes.boxes.empty());
    CHECK(mt::read_records().empty());
    CHECK(IDx == 31);
}

TEST_CASE("choosing an entry starts that program, a new process each time")
{
    wt::reset_program_state();
    mt::start_recording();
    // A path with blanks: the path is the module name and needs no quotes.
    std::string prog = mt::place_recorder("C:\\Program Files\\kolvena preizkus\\zapis programa.exe");
    std::string other = mt::place_recorder("C:\\kolvena\\drugi.exe");
    wt::add_entry("Drugi", other.c_str());
    wt::add_entry("Zapis", prog.c_str());
    std::string dir = working_dir();
    mt::TrayWindow w;
    mt::BoxWatcher boxes;

    for (int k = 1; k <= 2; k++) {
        CAPTURE(k);
        Tracked t;
        wt::Robot robot;
        robot.menu([&](HWND m) {
            t = read_tracked(m);
            for (WPARAM vk : mt::from_top(1))
                wt::menu_key(m, vk);
        });
        mt::run_menu(robot, w.hwnd);
        CHECK_FALSE(IsMenu(t.holder));
        CHECK_FALSE(IsMenu(t.popup));

        std::vector<mt::Record> r = mt::wait_for_records(k);
        REQUIRE(r.size() == (size_t)k);
        const mt::Record &last = r.back();
        CHECK(mt::same_path(last.module, prog));
        // Wine puts the module name in quotes when it holds blanks.
        CHECK((last.command_line == prog || last.command_line == "\"" + prog + "\""));
        CHECK(mt::same_path(last.directory, dir));
    }
    CHECK(boxes.boxes.empty());
    CHECK(IsWindow(w.hwnd));
    CHECK(IDx == 32);
}

TEST_CASE("a program that cannot be started: one box each time, the list unchanged")
{
    wt::reset_program_state();
    mt::start_recording();
    wt::add_entry("Izginil", "C:\\kolvena\\ga ni vec.exe");
    wt::add_entry("Beleznica", "C:\\windows\\notepad.exe");
    MenuEntry before[2];
    memcpy(before, m_polje, sizeof before);
    mt::TrayWindow w;

    for (int k = 1; k <= 2; k++) {
        CAPTURE(k);
        mt::BoxWatcher boxes;
        wt::Robot robot;
        robot.keys(mt::from_top(0));
        mt::run_menu(robot, w.hwnd);
        wt::pump_for(300);

        REQUIRE(boxes.boxes.size() == 1);
        const mt::Seen &s = boxes.boxes[0];
        CHECK(s.box.caption == "Menu");
        CHECK(s.box.text == "Programa ne morem izvesti");
        CHECK(s.button_ids == std::vector<int>{ IDOK });
        CHECK_FALSE(s.icon_shown);
        CHECK(GetWindow(s.hwnd, GW_OWNER) == NULL);
        CHECK(IDx == 32);
        CHECK(memcmp(before, m_polje, sizeof before) == 0);
    }
}

TEST_CASE(" Izhod : the hook removed, then the window destroyed, the quit posted")
{
    wt::reset_program_state();
    mt::TrayWindow w;
    REQUIRE((g_hMSHook != NULL || g_hLLHook != NULL));
    mt::TrayWindow::hooks_at_destroy()[0] = mt::TrayWindow::hooks_at_destroy()[1] = (HHOOK)1;

    Tracked t;
    wt::Robot robot;
    robot.menu([&](HWND m) {
        t = read_tracked(m);
        for (WPARAM vk : mt::from_bottom(mt::IZHOD))
            wt::menu_key(m, vk);
    });
    mt::run_menu(robot, w.hwnd);

    CHECK_FALSE(IsWindow(w.hwnd));
    CHECK(mt::TrayWindow::received(WM_DESTROY) == 1);
    CHECK(mt::TrayWindow::hooks_at_destroy()[0] == NULL);
    CHECK(mt::TrayWindow::hooks_at_destroy()[1] == NULL);
    CHECK(g_hMSHook == NULL);
    CHECK(g_hLLHook == NULL);
    CHECK_FALSE(IsMenu(t.holder));
    CHECK_FALSE(IsMenu(t.popup));
    MSG msg;
    REQUIRE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(msg.wParam == 0);
}

TEST_CASE(" Ohranjevalnik zaslona : the request is posted, handled only after the call")
{
    wt::reset_program_state();
    mt::TrayWindow w;
    wt::Robot robot;
    robot.keys(mt::from_bottom(mt::OHRANJEVALNIK));
    mt::run_menu(robot, w.hwnd);

    CHECK(mt::TrayWindow::received(WM_SYSCOMMAND) == 0);
    MSG msg;
    REQUIRE(PeekMessageA(&msg, w.hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    CHECK(msg.wParam == SC_SCREENSAVE);
    CHECK(msg.lParam == 0);
    CHECK_FALSE(PeekMessageA(&msg, w.hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    CHECK(IsWindow(w.hwnd));
}

// Wine answers the "find" verb with its explorer, in a process of its own.
// It reads "c:" as the current folder of drive C: (from the launcher's
// Windows directory it shows C:\windows), so the test runs from the root.
TEST_CASE(" Najdi... : the shell opens drive C:")
{
    wt::reset_program_state();
    SetCurrentDirectoryA("C:\\");
    mt::TrayWindow w;
    mt::BoxWatcher boxes;
    wt::Robot robot;
    robot.keys(mt::from_bottom(mt::NAJDI));
    mt::run_menu(robot, w.hwnd);

    static HWND found;
    found = NULL;
    wt::pump_until([] {
        wt::each_window([](HWND h) {
            if (IsWindowVisible(h) && wt::class_of(h) == "ExplorerWClass" &&
                wt::text_of(h).find("C:") != std::string::npos)
                found = h;
            return found == NULL;
        });
        return found != NULL;
    }, 20000);
    REQUIRE(found != NULL);
    DWORD pid = 0;
    GetWindowThreadProcessId(found, &pid);
    CHECK(pid != GetCurrentProcessId());
    CHECK(boxes.boxes.empty());
    PostMessageA(found, WM_CLOSE, 0, 0);
}

TEST_CASE(" Zaustavitev sistema : the confirmation; refusing it does nothing")
{
    wt::reset_program_state();
    mt::TrayWindow w;

    enum { CANCEL, ESCAPE, CLOSE } how = CANCEL;
    SUBCASE("Cancel") { how = CANCEL; }
    SUBCASE("Escape") { how = ESCAPE; }
    SUBCASE("the close box") { how = CLOSE; }

    mt::BoxWatcher boxes;
    boxes.on_box = [how](HWND box, const mt::Seen &) {
        switch (how) {
        case CANCEL:
            wt::press(box, IDCANCEL);
            break;
        case ESCAPE: {
            HWND f = GetFocus();
            PostMessageA(f && IsChild(box, f) ? f : box, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        }
        case CLOSE:
            PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
    };
    Tracked t;
    wt::Robot robot;
    robot.menu([&](HWND m) {
        t = read_tracked(m);
        for (WPARAM vk : mt::from_bottom(mt::ZAUSTAVITEV))
            wt::menu_key(m, vk);
    });
    mt::run_menu(robot, w.hwnd);

    REQUIRE(boxes.boxes.size() == 1);
    const mt::Seen &s = boxes.boxes[0];
    CHECK(s.box.caption == " Zaustavitev Sistema ?? ");
    CHECK(s.box.text == " \n \n     Sistem se bo zaustavil !!!       \n \n \n");
    CHECK(s.button_ids == std::vector<int>{ IDOK, IDCANCEL });
    // The box is shown in Slovenian (language 0x2424): Wine's own Slovenian
    // button texts.
    CHECK(s.box.buttons == std::vector<std::string>{ "V redu", "Preklici" });
    CHECK(s.icon_shown);
    CHECK(s.icon == LoadIconA(NULL, IDI_EXCLAMATION));
    CHECK(GetWindow(s.hwnd, GW_OWNER) == NULL);

    // Still here, nothing requested, the menu gone.
    CHECK_FALSE(IsWindow(s.hwnd));
    CHECK(IsWindow(w.hwnd));
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    CHECK_FALSE(IsMenu(t.holder));
    CHECK_FALSE(IsMenu(t.popup));
}

// ---- the shutdown request, with a stand-in for ExitWindowsEx ----

extern BOOL (WINAPI *zahtevaj_zaustavitev)(UINT, DWORD);

namespace {

struct Request {
    UINT flags;
    DWORD reserved;
    bool privilege_enabled;
    bool quit_queued;
};
std::vector<Request> requests;
BOOL request_result;

// The state of SeShutdownPrivilege in this process's token: -1 absent, else
// its attributes.
long shutdown_privilege()
{
    HANDLE tok;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &tok))
        return -1;
    LUID luid;
    LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &luid);
    char buf[4096];
    DWORD len = 0;
    long state = -1;
    if (GetTokenInformation(tok, TokenPrivileges, buf, sizeof buf, &len)) {
        TOKEN_PRIVILEGES *tp = (TOKEN_PRIVILEGES *)buf;
        for (DWORD i = 0; i < tp->PrivilegeCount; i++)
            if (tp->Privileges[i].Luid.LowPart == luid.LowPart &&
                tp->Privileges[i].Luid.HighPart == luid.HighPart)
                state = (long)tp->Privileges[i].Attributes;
    }
    CloseHandle(tok);
    return state;
}

void set_shutdown_privilege(DWORD attributes)
{
    HANDLE tok;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &tok));
    TOKEN_PRIVILEGES tp;
    tp.PrivilegeCount = 1;
    LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &tp.Privileges[0].Luid);
    tp.Privileges[0].Attributes = attributes;
    AdjustTokenPrivileges(tok, FALSE, &tp, 0, NULL, NULL);
    CloseHandle(tok);
}

BOOL WINAPI stand_in(UINT flags, DWORD reserved)
{
    MSG msg;
    bool quit = PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    requests.push_back({ flags, reserved, (shutdown_privilege() & SE_PRIVILEGE_ENABLED) != 0, quit });
    return request_result;
}

} // namespace

TEST_CASE("ShutDown: the privilege enabled, then a plain shutdown requested")
{
    // Never the real request: it would end this Wine session.
    struct StandIn {
        StandIn() { zahtevaj_zaustavitev = stand_in; }
        ~StandIn() { zahtevaj_zaustavitev = ExitWindowsEx; }
    } guard;
    REQUIRE((zahtevaj_zaustavitev == stand_in));
    requests.clear();

    REQUIRE(shutdown_privilege() != -1);
    set_shutdown_privilege(0);
    REQUIRE((shutdown_privilege() & SE_PRIVILEGE_ENABLED) == 0);

    mt::BoxWatcher boxes;
    MSG msg;
    SUBCASE("the request refused: the launcher's loop is ended with code 0") {
        request_result = FALSE;
        ShutDown();
        REQUIRE(requests.size() == 1);
        REQUIRE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        CHECK(msg.wParam == 0);
    }
    SUBCASE("the request granted: nothing more") {
        request_result = TRUE;
        ShutDown();
        REQUIRE(requests.size() == 1);
        CHECK_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    CHECK(requests[0].flags == EWX_SHUTDOWN);
    CHECK(requests[0].reserved == 0);
    CHECK(requests[0].privilege_enabled);
    CHECK_FALSE(requests[0].quit_queued);
    wt::pump_for(200);
    CHECK(boxes.boxes.empty());
}

TEST_CASE(" Nastavitve : the settings dialog, only one at a time")
{
    wt::reset_program_state();
    wt::add_entry("Beleznica", "C:\\windows\\notepad.exe");
    mt::TrayWindow w;
    const char *caption = "                            Nastavitve ";

    SUBCASE("the dialog runs inside the call") {
        HWND dlg = NULL;
        bool open_inside = false;
        wt::Robot robot;
        robot.keys(mt::from_bottom(mt::NASTAVITVE))
            .dialog(caption, [&](HWND d) {
                dlg = d;
                open_inside = dlg_odprt == d && GetWindow(d, GW_OWNER) == NULL;
                PostMessageA(d, WM_CLOSE, 0, 0);
            });
        mt::run_menu(robot, w.hwnd);
        CHECK(dlg != NULL);
        CHECK(open_inside);
        CHECK_FALSE(IsWindow(dlg));
        CHECK(dlg_odprt == NULL);
    }

    SUBCASE("asked for again from a nested menu: the open one comes to the front") {
        HWND dlg = NULL, other = NULL;
        Tracked outer, nested;
        bool other_in_front = false, dlg_in_front = false, nested_ended = false;
        int dialogs = 0;
        wt::Robot robot;
        robot.menu([&](HWND m) {
                outer = read_tracked(m);
                for (WPARAM vk : mt::from_bottom(mt::NASTAVITVE))
                    wt::menu_key(m, vk);
            })
            .dialog(caption, [&](HWND d) {
                dlg = d;
                other = CreateWindowExA(0, "Static", "drugo", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                        NULL, NULL, NULL, NULL);
                SetForegroundWindow(other);
                other_in_front = GetForegroundWindow() == other;
                // A right click on the tray icon while the dialog is open.
                PostMessageA(w.hwnd, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
            })
            .menu([&](HWND m) {
                nested = read_tracked(m);
                for (WPARAM vk : mt::from_bottom(mt::NASTAVITVE))
                    wt::menu_key(m, vk);
            })
            .dialog(caption, [&](HWND d) {
                nested_ended = !IsMenu(nested.holder);
                dlg_in_front = GetForegroundWindow() == d;
                wt::each_thread_window([&](HWND h) {
                    if (IsWindow(h) && wt::class_of(h) == "#32770")
                        ++dialogs;
                    return true;
                });
                PostMessageA(d, WM_CLOSE, 0, 0);
            });
        mt::run_menu(robot, w.hwnd);
        DestroyWindow(other);

        REQUIRE(dlg != NULL);
        CHECK(nested.popup != outer.popup);
        check_items(nested, { "Beleznica" });
        CHECK(nested_ended);
        CHECK(other_in_front);
        CHECK(dlg_in_front);
        CHECK(dialogs == 1);
        CHECK_FALSE(IsWindow(dlg));
        for (HMENU m : { outer.holder, outer.popup, nested.holder, nested.popup })
            CHECK_FALSE(IsMenu(m));
    }
}

TEST_CASE("a menu opened while a box of the running call is up leaves no menu behind")
{
    wt::reset_program_state();
    wt::add_entry("Izginil", "C:\\kolvena\\ga ni vec.exe");
    mt::TrayWindow w;

    Tracked outer, nested;
    HMENU outer_at_box[2] = { NULL, NULL };
    mt::BoxWatcher boxes;
    boxes.on_box = [&](HWND, const mt::Seen &) {
        outer_at_box[0] = hmenu1;
        outer_at_box[1] = hpopup1;
        PostMessageA(w.hwnd, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
    };
    wt::Robot robot;
    robot.menu([&](HWND m) {
            outer = read_tracked(m);
            for (WPARAM vk : mt::from_top(0))
                wt::menu_key(m, vk);
        })
        .menu([&](HWND m) {
            nested = read_tracked(m);
            wt::menu_key(m, VK_ESCAPE);
        })
        .box(IDOK);
    mt::run_menu(robot, w.hwnd);

    REQUIRE(boxes.boxes.size() == 1);
    CHECK(boxes.boxes[0].box.text == "Programa ne morem izvesti");
    CHECK_FALSE(IsWindow(boxes.boxes[0].hwnd));
    CHECK(outer_at_box[0] == outer.holder);
    CHECK(outer_at_box[1] == outer.popup);
    check_items(nested, { "Izginil" });
    CHECK(nested.holder != outer.holder);
    CHECK(nested.popup != outer.popup);
    for (HMENU m : { outer.holder, outer.popup, nested.holder, nested.popup })
        CHECK_FALSE(IsMenu(m));
    CHECK(IsWindow(w.hwnd));
}
