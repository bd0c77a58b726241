// The launcher menu on real popup menus under Wine: its items, starting the
// chosen program, the fixed commands, and the settings dialog asked for again
// from a menu opened while it is up.
#include "menutest.h"
#include "dialog.h"
#include "menu_zagon.h"

#include <string>
#include <vector>

using mt::Tracked;

namespace {

std::string working_dir()
{
    std::string d = "C:\\kolvena delovna";
    CreateDirectoryA(d.c_str(), NULL);
    REQUIRE(SetCurrentDirectoryA(d.c_str()));
    return d;
}

// What Kolvena passed to CreateProcessA at its last call, taken on the way
// to the real function.
struct Launch {
    int calls = 0;
    bool command_line_given = false, directory_given = false;
    std::string application, command_line, directory;
    DWORD flags = 0;
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD allowed = 0, held = 0;   // AllowSetForegroundWindow's process; its thread's hold then
    DWORD error = 0;     // the stand-in's answer, when it is to fail
};
Launch launch;
decltype(&CreateProcessA) real_create_process;
decltype(&GetStartupInfoA) real_get_startup_info;

BOOL WINAPI noted_create_process(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES pa,
                                 LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, LPVOID env,
                                 LPCSTR dir, LPSTARTUPINFOA si, LPPROCESS_INFORMATION pi)
{
    launch.calls++;
    launch.application = app ? app : "";
    launch.command_line_given = cmd != NULL;
    launch.command_line = cmd ? cmd : "";
    launch.flags = flags;
    launch.directory_given = dir != NULL;
    launch.directory = dir ? dir : "";
    launch.si = *si;
    if (launch.error != 0)
        return launch.pi = {}, SetLastError(launch.error), FALSE;
    BOOL ok = real_create_process(app, cmd, pa, ta, inherit, flags, env, dir, si, pi);
    launch.pi = *pi;
    return ok;
}

// "A process that can set the foreground window can enable another process
// to set the foreground window by calling AllowSetForegroundWindow"
// (SetForegroundWindow, Remarks, on Microsoft Learn): before the program's
// thread runs and makes its window.
BOOL WINAPI noted_allow(DWORD pid)
{
    launch.allowed = pid;
    launch.held = SuspendThread(launch.pi.hThread);   // how often it was held before
    ResumeThread(launch.pi.hThread);
    return TRUE;
}

// Kolvena's start-up information as a shortcut set to run minimised gives it.
void WINAPI minimised_start_up(LPSTARTUPINFOA si)
{
    real_get_startup_info(si);
    si->dwFlags |= STARTF_USESHOWWINDOW;
    si->wShowWindow = SW_SHOWMINNOACTIVE;
}

// The arguments a program gets from the start recorded in `launch`, as
// Windows makes them: "If lpCommandLine is NULL, the function uses the string
// pointed to by lpApplicationName as the command line" (CreateProcessA, on
// Microsoft Learn), taken apart as CommandLineToArgvW does it.
std::vector<std::string> arguments_windows_gives()
{
    std::string line = launch.command_line_given ? launch.command_line : launch.application;
    wchar_t w[1024];
    REQUIRE(MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, w, 1024) > 0);
    int n = 0;
    LPWSTR *argv = CommandLineToArgvW(w, &n);
    REQUIRE(argv != NULL);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++) {
        char a[1024];
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, a, sizeof a, NULL, NULL);
        out.push_back(a);
    }
    LocalFree(argv);
    return out;
}

// The priority class a program gets from the start recorded in `launch`
// when Kolvena runs in class `kolvena`: "If none of the priority class flags
// is specified, the priority class defaults to NORMAL_PRIORITY_CLASS unless
// the priority class of the creating process is IDLE_PRIORITY_CLASS or
// BELOW_NORMAL_PRIORITY_CLASS. In this case, the child process receives the
// default priority class of the calling process." (Process Creation Flags,
// on Microsoft Learn.)
DWORD class_windows_gives(DWORD kolvena)
{
    const DWORD classes = IDLE_PRIORITY_CLASS | BELOW_NORMAL_PRIORITY_CLASS | NORMAL_PRIORITY_CLASS |
                          ABOVE_NORMAL_PRIORITY_CLASS | HIGH_PRIORITY_CLASS | REALTIME_PRIORITY_CLASS;
    if (launch.flags & classes)
        return launch.flags & classes;
    if (kolvena == IDLE_PRIORITY_CLASS || kolvena == BELOW_NORMAL_PRIORITY_CLASS)
        return kolvena;
    return NORMAL_PRIORITY_CLASS;
}

// A folder as GetCurrentDirectory gives it: no final backslash but the root's.
std::string folder_of(const std::string &path)
{
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos)
        return "";
    return path.substr(0, cut == 2 ? 3 : cut);
}

std::string without_final_backslash(std::string d)
{
    if (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}

// CoInitializeEx's flags, ~0 for no call: "COM should be initialized before
// ShellExecute is called" (its Remarks, on Microsoft Learn), apartment-threaded.
DWORD com_flags, shell_error;
const DWORD STA = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;
HRESULT WINAPI noted_com(LPVOID, DWORD flags) { return com_flags = flags, S_OK; }

// What the shell was given: COM's flags then, the file, the folder, the show
// command; its owner. The process it "starts" is this one.
std::vector<std::string> shell_got;
HWND shell_owner;
ULONG shell_mask;
BOOL WINAPI noted_shell(SHELLEXECUTEINFOA *sei)
{
    shell_owner = sei->hwnd;
    shell_mask = sei->fMask;
    shell_got = { std::to_string(com_flags), sei->lpFile, without_final_backslash(sei->lpDirectory),
                  std::to_string(sei->nShow) };
    sei->hProcess = (sei->fMask & SEE_MASK_NOCLOSEPROCESS) ? GetCurrentProcess() : NULL;
    SetLastError(shell_error);
    return shell_error == 0;
}

} // namespace

TEST_CASE("the menu's items: entries in list order, then the fixed commands")
{
    wt::reset_program_state();
    mt::TrayWindow w;

    SUBCASE("an empty list begins with the separator") {
        mt::check_items(mt::read_opening(w.hwnd), 0, {});
    }
    SUBCASE("one entry") {
        wt::add_entry("Beleznica", wt::NOTEPAD);
        mt::check_items(mt::read_opening(w.hwnd), 1, { "Beleznica" });
    }
    SUBCASE("a full list of 19: commands 30 to 48") {
        std::vector<std::string> names;
        for (int i = 0; i < MAX_VNOSOV; i++) {
            names.push_back("Program " + std::to_string(i + 1));
            wt::add_entry(names.back().c_str(), wt::NOTEPAD);
        }
        REQUIRE(stevilo_vnosov() == 19);
        mt::check_items(mt::read_opening(w.hwnd), 19, names);
    }
    SUBCASE("show-icons values other than 1 give text items") {
        for (int v : { 0, 2, -1 }) {
            CAPTURE(v);
            wt::reset_program_state();
            wt::add_entry("Beleznica", wt::NOTEPAD);
            wt::add_entry("Register", wt::REGEDIT);
            icn_kljuka = v;
            mt::check_items(mt::read_opening(w.hwnd), 2, { "Beleznica", "Register" });
        }
    }
    SUBCASE("a letter in both modes; the pictures named for screen readers, and let go before the menu goes") {
        wt::add_entry("Beleznica", wt::NOTEPAD);
        wt::add_entry("  register", wt::REGEDIT);
        wt::add_entry("Brskalnik", wt::NOTEPAD);
        for (int v : { 0, 1 }) {
            icn_kljuka = v;
            wt::Annotations a;
            wt::Restore<IAccPropServices *> put(oznake, &a);
            std::vector<LRESULT> got;
            wt::Driver d;
            d.menu([&](HWND m) {
                HMENU shown = (HMENU)SendMessageA(m, MN_GETHMENU, 0, 0);
                // Each letter with the item at `lit` highlighted (-1: none).
                for (auto [c, lit] : std::vector<std::pair<char, UINT>>{
                         { 'r', -1 }, { 'R', -1 }, { 'b', -1 }, { 'I', -1 }, { 'z', -1 }, { 'N', -1 }, { 'x', -1 },
                         { 'B', 0 }, { 'b', 2 } }) {
                    HiliteMenuItem(w.hwnd, shown, lit, MF_BYPOSITION | MF_HILITE);
                    got.push_back(SendMessageA(w.hwnd, WM_MENUCHAR, MAKEWPARAM((BYTE)c, MF_POPUP), (LPARAM)shown));
                    HiliteMenuItem(w.hwnd, shown, lit, MF_BYPOSITION | MF_UNHILITE);
                }
                wt::menu_key(m, VK_ESCAPE);
            });
            mt::run_menu(w.hwnd);
            // The answer's high word says what to do, its low word names the
            // item by position (WM_MENUCHAR, on Microsoft Learn).
            const LRESULT r = MAKELRESULT(1, MNC_EXECUTE), b = MAKELRESULT(0, MNC_SELECT), no = MAKELRESULT(0, MNC_IGNORE);
            CHECK(got == std::vector<LRESULT>{ r, r, b, no, no, no, no, MAKELRESULT(2, MNC_SELECT), b });
            CHECK(a.lines == (v == 0 ? std::vector<std::string>{} : std::vector<std::string>{
                "menu 1 Beleznica", "menu 2   register", "menu 3 Brskalnik", "clear menu 1", "clear menu 2", "clear menu 3" }));
            CHECK(a.ok);
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

    Tracked t = mt::read_opening(w.hwnd);
    // Posted after the menu, or "the second time this menu is displayed, it
    // appears and then immediately disappears" (TrackPopupMenu, Remarks).
    CHECK(mt::TrayWindow::received(WM_NULL) == 0);
    CHECK(t.popup != NULL);
    CHECK(IsWindow(w.hwnd));
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    wt::Driver d;      // no box may come
    wt::pump_for(300);
    d.finish();
    CHECK(mt::TrayWindow::received(WM_NULL) == 1);
    CHECK(mt::read_records().empty());
    CHECK(stevilo_vnosov() == 1);
}

TEST_CASE("choosing an entry starts that program, a new process each time")
{
    wt::reset_program_state();
    mt::start_recording();
    std::string prog = mt::place_recorder("C:\\Program Files\\kolvena preizkus\\zapis programa.exe");
    std::string other = mt::place_recorder("C:\\kolvena\\drugi.exe");
    wt::add_entry("Drugi", other.c_str());
    wt::add_entry("Zapis", prog.c_str());
    std::string dir = working_dir();
    // A bare file name: the program in Kolvena's current directory.
    std::string bare = mt::place_recorder(dir + "\\gol zapis.exe");
    wt::add_entry("Gol", "gol zapis.exe");

    // Kolvena as Windows runs it: in the idle class that start-up sets, and
    // started from a shortcut set to run minimised.
    HANDLE self = GetCurrentProcess();
    DWORD old_class = GetPriorityClass(self);
    wt::Finally class_back([=] { SetPriorityClass(self, old_class); });
    REQUIRE(SetPriorityClass(self, IDLE_PRIORITY_CLASS));
    wt::PatchedImport create("kernel32.dll", "CreateProcessA", (void *)noted_create_process);
    wt::PatchedImport allow("user32.dll", "AllowSetForegroundWindow", (void *)noted_allow);
    real_create_process = (decltype(real_create_process))create.real;
    void *startup = wt::system_function("kernel32.dll", "GetStartupInfoA");
    real_get_startup_info = (decltype(real_get_startup_info))startup;
    wt::patch_imports(startup, (void *)minimised_start_up);     // where it is imported
    wt::Finally startup_back([=] { wt::patch_imports((void *)minimised_start_up, startup); });
    launch = Launch();
    mt::TrayWindow w;

    // The program is started at the call as Windows would start it on its own.
    auto check_launch = [&](const std::string &path, const std::string &folder) {
        CHECK(launch.application == path);
        // Its one argument is its own path, whole, blanks and all.
        CHECK(arguments_windows_gives() == std::vector<std::string>{ path });
        CHECK(class_windows_gives(IDLE_PRIORITY_CLASS) == NORMAL_PRIORITY_CLASS);
        // A start-up record of its own: no show command, no title, no desktop
        // of Kolvena's ("wShowWindow ... is ignored unless dwFlags specifies
        // STARTF_USESHOWWINDOW", STARTUPINFOA, on Microsoft Learn).
        CHECK(launch.si.cb == sizeof(STARTUPINFOA));
        CHECK((launch.si.dwFlags & STARTF_USESHOWWINDOW) == 0);
        CHECK(launch.si.lpTitle == nullptr);
        CHECK(launch.si.lpDesktop == nullptr);
        // It starts in its own folder.
        REQUIRE(launch.directory_given);
        CHECK(mt::same_path(without_final_backslash(launch.directory), folder));
        CHECK(launch.allowed == launch.pi.dwProcessId);
        CHECK(launch.held == 1);
    };

    for (int k = 1; k <= 2; k++) {
        CAPTURE(k);
        mt::read_opening(w.hwnd, mt::from_top(1));
        CHECK(launch.calls == k);
        check_launch(prog, folder_of(prog));

        std::vector<mt::Record> r = mt::wait_for_records(k);
        REQUIRE(r.size() == (size_t)k);
        const mt::Record &last = r.back();
        CHECK(mt::same_path(last.module, prog));
        CHECK(last.command_line == "\"" + prog + "\"");
        CHECK(mt::same_path(last.directory, folder_of(prog)));
        CHECK(last.show == "-");     // no show command of Kolvena's came through
    }
    {
        // Its letter: the one entry that has it runs (Esc behind it ends a menu that let it be).
        wt::Driver d;
        d.menu([](HWND m) { PostMessageA(m, WM_CHAR, 'g', 0), wt::menu_key(m, VK_ESCAPE); });
        mt::run_menu(w.hwnd);
    }
    CHECK(launch.calls == 3);
    // Made full on the window's thread: multithreaded programs "should avoid
    // using relative path names" (GetFullPathNameA, Remarks).
    check_launch(dir + "\\gol zapis.exe", dir);
    std::vector<mt::Record> r = mt::wait_for_records(3);
    REQUIRE(r.size() == 3);
    CHECK(mt::same_path(r.back().module, bare));
    CHECK(mt::same_path(r.back().directory, dir));

    CHECK(IsWindow(w.hwnd));
    CHECK(stevilo_vnosov() == 3);
}

TEST_CASE("a program that asks for administrator rights starts through the shell's consent prompt")
{
    wt::reset_program_state();
    // Elevated, "redirection does not occur" (File System Redirector): no Sysnative.
    const std::string prog = wt::win_dir() + "\\system32\\notepad.exe";
    wt::add_entry("Beleznica", prog.c_str());
    // CreateProcessA as Windows answers for a program whose manifest asks for
    // administrator rights: "you will get back an ERROR_ELEVATION_REQUIRED (740)
    // error. ShellExecute() will behave appropriately (pop up the elevation /
    // credential dialog)" (Elevation and process creation APIs, Microsoft).
    wt::PatchedImport create("kernel32.dll", "CreateProcessA", (void *)noted_create_process);
    launch = Launch();
    launch.error = NAPAKA_POVZDIGNJENJE;
    wt::PatchedImport shell("shell32.dll", "ShellExecuteExA", (void *)noted_shell);
    wt::PatchedImport allow("user32.dll", "AllowSetForegroundWindow", (void *)noted_allow);
    wt::Restore<bool> com(com_zacet, false);
    wt::Restore<decltype(pCoInitializeEx)> co(pCoInitializeEx, noted_com);
    com_flags = launch.allowed = ~0u;
    mt::TrayWindow w;

    shell_error = 0;
    SUBCASE("the prompt cancelled: no box") { shell_error = ERROR_CANCELLED; }
    mt::read_opening(w.hwnd, mt::from_top(0));
    CHECK(launch.application == prog);
    CHECK(shell_got == std::vector<std::string>{ std::to_string(STA), prog, folder_of(prog),
                                                 std::to_string(SW_SHOWNORMAL) });
    // Unowned, the prompt only flashes on the taskbar (UAC guidance, Microsoft).
    CHECK(shell_owner == w.hwnd);
    // Called on a start's thread, which ends right after: "Calls to
    // ShellExecuteEx from processes already running on background threads
    // should always pass this flag" (SHELLEXECUTEINFO, SEE_MASK_NOASYNC).
    CHECK((shell_mask & SEE_MASK_NOASYNC) != 0);
    // The program started may bring its window to the front.
    CHECK(launch.allowed == (shell_error ? ~0u : GetCurrentProcessId()));
}

TEST_CASE(" Izhod : the hook removed, then the window destroyed, the quit posted")
{
    wt::reset_program_state();
    mt::TrayWindow w;
    REQUIRE((g_hMSHook != NULL || g_hLLHook != NULL));
    mt::TrayWindow::hooks_at_destroy()[0] = mt::TrayWindow::hooks_at_destroy()[1] = (HHOOK)1;

    mt::read_opening(w.hwnd, mt::from_bottom(mt::IZHOD));
    CHECK_FALSE(IsWindow(w.hwnd));
    CHECK(mt::TrayWindow::received(WM_DESTROY) == 1);
    CHECK(mt::TrayWindow::hooks_at_destroy()[0] == NULL);
    CHECK(mt::TrayWindow::hooks_at_destroy()[1] == NULL);
    CHECK(g_hMSHook == NULL);
    CHECK(g_hLLHook == NULL);
    MSG msg;
    REQUIRE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(msg.wParam == 0);
}

TEST_CASE(" Ohranjevalnik zaslona : the request is posted, handled only after the call")
{
    wt::reset_program_state();
    mt::TrayWindow w;
    mt::read_opening(w.hwnd, mt::from_bottom(mt::OHRANJEVALNIK));
    CHECK(mt::TrayWindow::received(WM_SYSCOMMAND) == 0);
    MSG msg;
    REQUIRE(PeekMessageA(&msg, w.hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    CHECK(msg.wParam == SC_SCREENSAVE);
    CHECK(msg.lParam == 0);
    CHECK_FALSE(PeekMessageA(&msg, w.hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    CHECK(IsWindow(w.hwnd));
}

TEST_CASE(" Najdi... : the shell opens drive C:")
{
    wt::reset_program_state();
    SetCurrentDirectoryA(wt::win_dir().c_str());   // as start-up leaves it: "c:" alone is this folder
    mt::TrayWindow w;
    wt::Restore<bool> com(com_zacet, false);
    wt::Restore<decltype(pCoInitializeEx)> co(pCoInitializeEx, noted_com);
    com_flags = ~0u;
    wt::Driver d;
    d.keys(mt::from_bottom(mt::NAJDI));
    mt::run_menu(w.hwnd);
    CHECK(com_flags == STA);

    static HWND found;
    found = NULL;
    wt::pump_until([] {
        wt::each_window([](HWND h) {
            // Windows' search window is an Explorer window ("CabinetWClass").
            std::string cls = wt::class_of(h);
            if (IsWindowVisible(h) && (cls == "CabinetWClass" || cls == "ExplorerWClass") &&
                wt::text_of(h).find("C:") != std::string::npos)
                found = h;
            return found == NULL;
        });
        return found != NULL;
    }, 20000);
    REQUIRE(found != NULL);
    WINE_QUIRK("the \"find\" verb opens Wine's own explorer window on the folder",
               wt::class_of(found) == "CabinetWClass", wt::class_of(found) == "ExplorerWClass");
    DWORD pid = 0;
    GetWindowThreadProcessId(found, &pid);
    CHECK(pid != GetCurrentProcessId());
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

    Tracked t;
    wt::Driver d;
    d.menu([&](HWND m) {
         t = mt::read_tracked(m);
         wt::menu_keys(m, mt::from_bottom(mt::ZAUSTAVITEV));
     }).box([how](HWND box) {
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
    });
    mt::run_menu(w.hwnd);
    d.finish();

    REQUIRE(d.boxes.size() == 1);
    const wt::Box &b = d.boxes[0];
    CHECK(b.caption == " Zaustavitev Sistema ?? ");
    CHECK(b.text == " \n \n     Sistem se bo zaustavil !!!       \n \n \n");
    CHECK(b.button_ids == std::vector<int>{ IDOK, IDCANCEL });
    // The box is asked for in Slovenian (language 0x2424). Windows has button
    // texts of that language only with its language pack; without one they
    // come in the user's own, English on a test machine.
    WINE_QUIRK("the texts of the buttons are Wine's Slovenian ones, in ASCII",
               (b.buttons == std::vector<std::string>{ "OK", "Cancel" }),
               (b.buttons == std::vector<std::string>{ "V redu", "Preklici" }));
    CHECK(b.icon == LoadIconA(NULL, IDI_EXCLAMATION));
    CHECK(b.owner == NULL);

    // Still here, nothing requested, the menu gone.
    CHECK_FALSE(IsWindow(b.hwnd));
    CHECK(IsWindow(w.hwnd));
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    CHECK_FALSE(IsMenu(t.holder));
    CHECK_FALSE(IsMenu(t.popup));
}

// ---- the shutdown request, with a stand-in for ExitWindowsEx ----

namespace {

struct Request {
    UINT flags;
    DWORD reason;
    bool privilege_enabled;
};
std::vector<Request> requests;
BOOL request_result;
int box_answer;
int WINAPI answered_box(HWND, LPCSTR, LPCSTR, UINT, WORD) { return box_answer; }

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

BOOL WINAPI stand_in(UINT flags, DWORD reason)
{
    requests.push_back({ flags, reason, (shutdown_privilege() & SE_PRIVILEGE_ENABLED) != 0 });
    return request_result;
}

} // namespace

TEST_CASE(" Zaustavitev sistema  answered: only OK asks for the power off; a refusal ends Kolvena")
{
    // Never the real request: it would end this Wine session.
    wt::Restore<decltype(zahtevaj_zaustavitev)> guard(zahtevaj_zaustavitev, stand_in);
    wt::PatchedImport box("user32.dll", "MessageBoxExA", (void *)answered_box);
    requests.clear();
    set_shutdown_privilege(0);
    REQUIRE((shutdown_privilege() & SE_PRIVILEGE_ENABLED) == 0);   // and it is there
    wt::reset_program_state();
    mt::TrayWindow w;

    box_answer = IDOK, request_result = TRUE;
    SUBCASE("OK, the request refused: ended as by \" Izhod \"") { request_result = FALSE; }
    SUBCASE("a box that could not be shown asks for nothing") { box_answer = 0; }
    mt::read_opening(w.hwnd, mt::from_bottom(mt::ZAUSTAVITEV));
    REQUIRE(requests.size() == (box_answer == IDOK ? 1u : 0u));
    CHECK(mt::TrayWindow::received(WM_DESTROY) == (request_result ? 0u : 1u));
    MSG msg;
    CHECK(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != request_result);
    // "EWX_SHUTDOWN ... will not turn off the power even if the system
    // supports the power-off feature. You must specify EWX_POWEROFF"; a
    // reason of 0 is logged as an undefined, unplanned shutdown (ExitWindowsEx,
    // on Microsoft Learn): "Other (Planned)" (System Shutdown Reason Codes).
    for (const Request &r : requests) {
        CHECK(r.flags == (EWX_SHUTDOWN | EWX_POWEROFF));
        CHECK(r.reason == (SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER));
        CHECK(r.privilege_enabled);
    }
}

TEST_CASE(" Nastavitve : the settings dialog, only one at a time")
{
    wt::reset_program_state();
    wt::add_entry("Beleznica", wt::NOTEPAD);
    mt::TrayWindow w;
    const char *caption = wt::NASTAVITVE_NASLOV;

    SUBCASE("the dialog runs inside the call") {
        HWND dlg = NULL;
        bool open_inside = false;
        {
            wt::Driver d;
            d.keys(mt::from_bottom(mt::NASTAVITVE)).dialog(caption, [&](HWND h) {
                dlg = h;
                open_inside = dlg_odprt == h && GetWindow(h, GW_OWNER) == NULL;
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
            mt::run_menu(w.hwnd);
        }
        CHECK(dlg != NULL);
        CHECK(open_inside);
        CHECK_FALSE(IsWindow(dlg));
        CHECK(dlg_odprt == NULL);
    }

    SUBCASE("asked for again from a menu opened while it is up: the open one comes to the front") {
        HWND dlg = NULL, other = NULL;
        Tracked outer, nested;
        bool other_in_front = false, dlg_in_front = false, nested_ended = false, still_open = false;
        int dialogs = 0;
        {
            wt::Driver d;
            d.menu([&](HWND m) {
                 outer = mt::read_tracked(m);
                 wt::menu_keys(m, mt::from_bottom(mt::NASTAVITVE));
             })
                .dialog(caption, [&](HWND h) {
                    dlg = h;
                    other = CreateWindowExA(0, "Static", "drugo", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                                            50, NULL, NULL, NULL, NULL);
                    SetForegroundWindow(other);
                    other_in_front = GetForegroundWindow() == other;
                    // A right click on the tray icon while the dialog is open.
                    PostMessageA(w.hwnd, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
                })
                .menu([&](HWND m) {
                    nested = mt::read_tracked(m);
                    wt::menu_keys(m, mt::from_bottom(mt::NASTAVITVE));
                })
                .dialog(caption, [&](HWND h) {
                    nested_ended = !IsMenu(nested.holder);
                    dlg_in_front = GetForegroundWindow() == h;
                    still_open = dlg_odprt == h;
                    wt::each_thread_window([&](HWND x) {
                        dialogs += wt::is_class(x, "#32770");
                        return true;
                    });
                    PostMessageA(h, WM_CLOSE, 0, 0);
                });
            mt::run_menu(w.hwnd);
        }
        DestroyWindow(other);

        REQUIRE(dlg != NULL);
        CHECK(nested.popup != outer.popup);
        mt::check_items(nested, 1, { "Beleznica" });
        CHECK(nested_ended);
        CHECK(other_in_front);
        CHECK(dlg_in_front);
        CHECK(still_open);
        CHECK(dialogs == 1);
        CHECK_FALSE(IsWindow(dlg));
        CHECK(dlg_odprt == NULL);
        for (HMENU m : { outer.holder, outer.popup, nested.holder, nested.popup })
            CHECK_FALSE(IsMenu(m));
    }
}
