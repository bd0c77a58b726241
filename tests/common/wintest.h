// The test harness: Kolvena's real windows, menus and message boxes driven
// from a test running in the same process under Wine, and the program's
// state, files and tray between tests.
#pragma once

#include <doctest/doctest.h>

#include "NTpopup.h"
#include "config.h"
#include "config_list.h"
#include "menu.h"
#include "oznake.h"
#include "shell.h"
#include "shell_hook.h"

#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace wt {

// The major version of the Wine the test runs under (8 for "8.0"), 0 off
// Wine: Wine's ntdll exports wine_get_version, Windows' does not.
inline int wine_major()
{
    static const int major = [] {
        auto version = (const char *(CDECL *)(void))(void (*)(void))GetProcAddress(
            GetModuleHandleA("ntdll.dll"), "wine_get_version");
        return version != NULL ? std::max(1, atoi(version())) : 0;
    }();
    return major;
}

inline bool on_wine()
{
    return wine_major() != 0;
}

// What WINE_QUIRK checks (below), at the caller's file and line. Wine from
// version `until` on is held to Windows' form (0: every Wine differs).
inline bool quirk(const char *file, int line, int until, const std::string &what,
                  const std::string &windows_text, bool windows_form, const std::string &wine_text,
                  const std::function<bool()> &wine_form)
{
    if (!on_wine() || (until != 0 && wine_major() >= until)) {
        if (!windows_form)
            ADD_FAIL_CHECK_AT(file, line, "on Windows " << windows_text << " must hold (" << what << ")");
        return windows_form;
    }
    if (windows_form) {
        ADD_FAIL_CHECK_AT(file, line, "Wine now does as Windows does, " << windows_text
                          << ": the allowance for \"" << what << "\" can go");
        return true;
    }
    bool held = wine_form();
    if (!held)
        ADD_FAIL_CHECK_AT(file, line, "under Wine (" << what << ") " << wine_text << " must hold");
    return held;
}

} // namespace wt

// A check where Wine is known to differ from Windows, made at run time:
// off Wine `windows_form` must hold; under Wine `wine_form` must hold instead,
// and should `windows_form` hold there, the check fails with a note that Wine
// now does as Windows does and the allowance can go (as Wine's todo_wine
// does). `what` says what Wine does. The result is whether the form the
// platform asks for held. `grep -rn WINE_QUIRK tests` lists every such place.
#define WINE_QUIRK(what, windows_form, wine_form)                                              \
    wt::quirk(__FILE__, __LINE__, 0, what, #windows_form, (windows_form), #wine_form,         \
              [&]() -> bool { return (wine_form); })

// The same for a difference of Wine before version `until`: from that
// version on, Wine is held to Windows' form (the tests run on Wine 8 and 10).
#define WINE_QUIRK_BEFORE(until, what, windows_form, wine_form)                                \
    wt::quirk(__FILE__, __LINE__, until, what, #windows_form, (windows_form), #wine_form,     \
              [&]() -> bool { return (wine_form); })

// A failing comparison of two vectors prints both, element by element, as
// doctest prints each element (strings in quotes, with their control
// characters shown).
namespace doctest {
template <typename T> struct StringMaker<std::vector<T>> {
    static String convert(const std::vector<T> &v)
    {
        String s = "{ ";
        for (size_t i = 0; i < v.size(); i++) {
            const T &e = v[i];
            s += i ? ", " : "";
            s += wt_element(e);
        }
        return s + " }";
    }

private:
    template <typename E> static String wt_element(const E &e) { return toString(e); }
    static String wt_element(const std::string &e)
    {
        std::string q = "\"";
        for (char c : e) {
            if (c == '\r')
                q += "\\r";
            else if (c == '\n')
                q += "\\n";
            else if (c == '"' || c == '\\')
                q += std::string("\\") + c;
            else
                q += c;
        }
        return (q + "\"").c_str();
    }
};
} // namespace doctest

namespace wt {

// ---- putting back what a test changed ----

// Sets `var` (a seam, a global, a patched pointer) for the guard's lifetime
// and puts its old value back when the guard goes, even when a REQUIRE fails.
template <typename T> class Restore {
public:
    Restore(T &v, T now) : var(v), saved(v) { var = now; }
    ~Restore() { var = saved; }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    T &var;
    T saved;
};

// Runs `undo` when the guard goes: for what is put back by a call
// (SetSysColors, an import patched back, a hook removed).
class Finally {
public:
    explicit Finally(std::function<void()> f) : undo(std::move(f)) {}
    ~Finally() { if (undo) undo(); }
    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    std::function<void()> undo;
};

// ---- the program's state between tests ----

inline void reset_program_state()
{
    ZeroMemory(m_polje, sizeof m_polje);
    IDx = 30;
    icn_kljuka = 0;
    osebna_cfg[0] = '\0';
    ldown = 0;
    cz = 0;
    gi = 0;
    tri_mous = 0;
    ghInst = GetModuleHandleA(NULL);
}

// Programs every Wine prefix has, and the texts and captions of Kolvena's
// windows and boxes that several tests look for.
const char NOTEPAD[] = "C:\\windows\\notepad.exe";
const char REGEDIT[] = "C:\\windows\\regedit.exe";
const char NASTAVITVE_NASLOV[] = "                            Nastavitve ";   // the dialog's caption
const char NE_MOREM[] = "Programa ne morem izvesti";
const char NAPAKA_IKONE[] = "Napaka pri prikazu ikone";
const char NI_SHRANJENO[] = "Seznama programov ni bilo mogoce shraniti v datoteko Kolvena.cfg.\n"
                            "Spremembe veljajo le do izhoda iz programa.";

inline void add_entry(const char *opis, const char *pot)
{
    postavi_pot(pot);
    potrdi_vnos(opis);
}

// The entries as "opis|pot" lines, for comparing whole lists.
inline std::vector<std::string> entries()
{
    std::vector<std::string> v;
    for (int i = 0; i < stevilo_vnosov(); i++)
        v.push_back(std::string(m_polje[i].opis) + "|" + m_polje[i].pot);
    return v;
}

// ---- files ----

// The Windows directory, and a file in it.
inline std::string win_dir()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

inline std::string win_path(const char *name)
{
    return win_dir() + "\\" + name;
}

inline std::string current_dir()
{
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof dir, dir);
    return dir;
}

// A file's bytes ("<missing>" when it cannot be opened).
inline std::string read_bytes(const std::string &path)
{
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

inline void write_bytes(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    REQUIRE(f != nullptr);
    REQUIRE(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    REQUIRE(fclose(f) == 0);
}

inline bool exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The lines of a text, each without its CR LF; a last line without one is
// left out (a writer may still be at it).
inline std::vector<std::string> crlf_lines(const std::string &text)
{
    std::vector<std::string> v;
    size_t pos = 0, end;
    while ((end = text.find("\r\n", pos)) != std::string::npos) {
        v.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return v;
}

// Starts as the program does: a fresh list, then the configuration start-up
// over a Kolvena.cfg with these bytes (a Kolvena.cfg.new that a test made a
// folder of is gone first).
inline void start_with_file(const std::string &bytes)
{
    RemoveDirectoryA(win_path("Kolvena.cfg.new").c_str());
    write_bytes(win_path("Kolvena.cfg"), bytes);
    reset_program_state();
    zacni_cfg();
}

// ---- the tray ----

// The record of the icon of window h and id 1 in its first version's form,
// with these flags and tooltip line 0.
inline NOTIFYICONDATAA icon_record(HWND h, UINT flags)
{
    NOTIFYICONDATAA nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = h;
    nid.uID = TRAY_ID;
    nid.uFlags = flags;
    kopiraj(nid.szTip, sizeof nid.szTip, tttable[0]);
    return nid;
}

// Whether the notification area holds an icon for window h and id 1: a
// tooltip change is taken only for an icon that is there.
inline bool icon_there(HWND h)
{
    NOTIFYICONDATAA nid = icon_record(h, NIF_TIP);
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

// One tick of the tooltip's timer, handled: the tooltip turned to `line`,
// sent in the record of a change (the first version's size, this window's
// icon, only NIF_TIP).
inline void tick_to(HWND h, int line)
{
    CHECK(SendMessageA(h, WM_TIMER, TIMER_TIP, 0) == 1);
    CHECK(gi == line);
    CHECK(std::string(sprememba.szTip) == tttable[line]);
    CHECK(sprememba.cbSize == NOTIFYICONDATAA_V1_SIZE);
    CHECK(sprememba.hWnd == h);
    CHECK(sprememba.uID == TRAY_ID);
    CHECK(sprememba.uFlags == (UINT)NIF_TIP);
}

// ---- windows of this thread ----

inline std::string class_of(HWND h)
{
    char buf[64] = "";
    GetClassNameA(h, buf, sizeof buf);
    return buf;
}

// Class names are compared as the system compares them, without regard to case.
inline bool is_class(HWND h, const char *cls)
{
    return lstrcmpiA(class_of(h).c_str(), cls) == 0;
}

inline std::string text_of(HWND h)
{
    char buf[1024] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

// Enumeration with a lambda: the callback is a named CALLBACK function, as a
// lambda cannot carry the 32-bit build's stdcall convention.
using WindowVisitor = std::function<bool(HWND)>;   // false stops the walk
inline BOOL CALLBACK visit_window(HWND h, LPARAM lp)
{
    return (*(WindowVisitor *)lp)(h) ? TRUE : FALSE;
}
// Every top-level window of this thread, until f returns false.
inline void each_thread_window(WindowVisitor f)
{
    EnumThreadWindows(GetCurrentThreadId(), visit_window, (LPARAM)&f);
}
// Every top-level window of the desktop, until f returns false.
inline void each_window(WindowVisitor f)
{
    EnumWindows(visit_window, (LPARAM)&f);
}

// The tracked popup menu's window, a top-level window of class "#32768" of
// this process. It is looked for by class rather than among the thread's
// windows, which leave it out under Wine.
inline HWND find_menu_window()
{
    for (HWND h = FindWindowExA(NULL, NULL, "#32768", NULL); h;
         h = FindWindowExA(NULL, h, "#32768", NULL)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(h))
            return h;
    }
    return NULL;
}

// A message box (or any dialog) as the user sees it.
struct Box {
    HWND hwnd = NULL;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;   // texts of its visible buttons, in order
    std::vector<int> button_ids;        // and their ids
    HICON icon = NULL;                  // the icon it shows, NULL for none
    HWND owner = NULL;
};

inline Box read_box(HWND box)
{
    Box b;
    b.hwnd = box;
    b.caption = text_of(box);
    b.owner = GetWindow(box, GW_OWNER);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (is_class(c, "Static")) {
            if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                if (IsWindowVisible(c))
                    b.icon = (HICON)SendMessageA(c, STM_GETICON, 0, 0);
            } else if (!text_of(c).empty()) {
                b.text = text_of(c);
            }
        } else if (is_class(c, "Button") && IsWindowVisible(c)) {
            b.buttons.push_back(text_of(c));
            b.button_ids.push_back(GetDlgCtrlID(c));
        }
    }
    return b;
}

// The lines of a dialog's list box, in order.
inline std::vector<std::string> list_lines(HWND dlg, int id)
{
    std::vector<std::string> v;
    int n = (int)SendDlgItemMessageA(dlg, id, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; i++) {
        char buf[300] = "";
        SendDlgItemMessageA(dlg, id, LB_GETTEXT, i, (LPARAM)buf);
        v.push_back(buf);
    }
    return v;
}

// One of Kolvena's plain boxes: this text and caption, only an OK button, no
// icon, no owner.
inline void check_plain_box(const Box &b, const char *text, const char *caption)
{
    CHECK(b.text == text);
    CHECK(b.caption == caption);
    CHECK(b.button_ids == std::vector<int>{ IDOK });
    CHECK(b.icon == NULL);
    CHECK(b.owner == NULL);
}

// Presses the button with the given id (IDOK, IDCANCEL, ...) of a message box
// or dialog as a click would.
inline void press(HWND dlg, int id)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
}

// Presses a button of a dialog synchronously, for commands that show no
// message box: their effect can be checked as soon as this returns.
inline void send_command(HWND dlg, int id)
{
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
}

// Posts a key press to the tracked menu.
inline void menu_key(HWND menu, WPARAM vk)
{
    PostMessageA(menu, WM_KEYDOWN, vk, 0);
}

inline void menu_keys(HWND menu, const std::vector<WPARAM> &vks)
{
    for (WPARAM vk : vks)
        menu_key(menu, vk);
}

// ---- the driver: the script of a scenario, carried out inside modal loops ----
//
// Modal loops (TrackPopupMenu, DialogBoxParamA, MessageBoxA) keep dispatching
// the thread's timer messages, so a thread timer is our hand inside them.
// At every tick the driver looks at the windows of this thread and carries
// out the next step of its script when the step's window is there: a tracked
// menu ("#32768"), a dialog with a given caption, or a message box (any other
// "#32770"). Steps run in order, each once. A step whose window has not come
// within `step_timeout_ms` is missed: from then on every box, dialog and menu
// is closed, so that the scenario ends with a failed check and does not hang.
//
// The safety net: a box, dialog or menu that no step has taken, and that is
// not what the next step waits for, is unexpected once it has been up for
// `grace_ms`. It is answered (a box with Cancel, else OK; a dialog closed; a
// menu ended) and fails the test, named by its text and caption. A box the
// script allows to come at any time (allow) is answered with OK and recorded.
//
// The checks are made by finish(), or by the destructor: every step carried
// out, nothing unexpected (a box or menu still up then is unexpected too).
// One driver is active at a time.

class Driver {
public:
    using Action = std::function<void(HWND)>;

    explicit Driver(UINT period_ms = 20)
    {
        CHECK_MESSAGE(current() == nullptr, "one driver at a time");
        current() = this;
        timer = SetTimer(NULL, 0, period_ms, tick);
    }
    ~Driver() { finish(); }
    Driver(const Driver &) = delete;
    Driver &operator=(const Driver &) = delete;

    // The next tracked menu: `f` reads it and posts the keys that end it.
    Driver &menu(Action f) { return add(MENU, "", f); }
    // The next tracked menu: these keys, in order.
    Driver &keys(std::vector<WPARAM> vks)
    {
        return menu([vks](HWND m) { menu_keys(m, vks); });
    }
    // The next dialog with this caption (a dialog may be the window of
    // several steps in a row).
    Driver &dialog(const std::string &caption, Action f) { return add(DIALOG, caption, f); }
    // The next message box: recorded in `boxes`, then `f` (which answers it).
    Driver &box(Action f) { return add(BOX, "", f); }
    // The next message box: recorded, then its button `id` pressed.
    Driver &box(int id = IDOK)
    {
        return box([id](HWND h) { press(h, id); });
    }
    // A box with this text may come at any time, any number of times.
    Driver &allow(const std::string &text)
    {
        allowed.push_back(text);
        return *this;
    }

    std::vector<Box> boxes;   // every message box seen, in order
    size_t steps_done() const { return next; }
    bool done() const { return next >= steps.size(); }

    // Stops the driver and checks that every step was carried out and that
    // nothing unexpected came.
    void finish()
    {
        if (timer == 0)
            return;
        KillTimer(NULL, timer);
        timer = 0;
        current() = nullptr;
        finishing = true;         // what is up now and no step took is unexpected
        net(windows(), GetTickCount());
        if (!done())
            FAIL_CHECK("the script stopped at step " << next + 1 << " of " << steps.size()
                       << ": " << describe(steps[next]));
        for (const std::string &u : unexpected)
            FAIL_CHECK(u);
    }

private:
    enum Kind { MENU, DIALOG, BOX };
    struct Step {
        Kind kind;
        std::string caption;
        Action action;
    };

    Driver &add(Kind kind, const std::string &caption, Action f)
    {
        steps.push_back({ kind, caption, f });
        return *this;
    }

    static std::string describe(const Step &s)
    {
        return s.kind == MENU ? "a menu" : s.kind == BOX ? "a message box"
                                                         : "the dialog \"" + s.caption + "\"";
    }

    static Driver *&current()
    {
        static Driver *d = nullptr;
        return d;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (current())
            current()->look();
    }

    // The windows the driver can act on: the tracked menu and this thread's
    // visible dialogs and boxes.
    static std::vector<HWND> windows()
    {
        std::vector<HWND> v;
        if (HWND m = find_menu_window())
            v.push_back(m);
        each_thread_window([&](HWND h) {
            if (IsWindowVisible(h) && is_class(h, "#32770"))
                v.push_back(h);
            return true;
        });
        return v;
    }

    bool fits(const Step &s, HWND h) const
    {
        bool menu = is_class(h, "#32768");
        switch (s.kind) {
        case MENU:
            return menu && h != last;
        case DIALOG:
            return !menu && text_of(h) == s.caption;
        case BOX:
            return !menu && h != last && !dialogs.count(h);
        }
        return false;
    }

    void look()
    {
        DWORD now = GetTickCount();
        if (since == 0)
            since = now;    // the first tick: the script's time begins
        std::vector<HWND> up = windows();
        // A step runs when its window is up; not while another step's action
        // is still running (a modal loop inside it dispatches these ticks).
        if (acting == 0 && !missed && !done()) {
            const Step &s = steps[next];
            HWND found = NULL;
            for (HWND h : up)
                if (!found && fits(s, h))
                    found = h;
            if (found) {
                Action f = s.action;
                if (s.kind == BOX)
                    boxes.push_back(read_box(found));
                if (s.kind == DIALOG)
                    dialogs.insert(found);
                taken.insert(found);
                last = found;
                next++;
                since = now;
                acting++;
                f(found);
                acting--;
                return;
            }
            if (now - since > step_timeout_ms) {
                missed = true;
                unexpected.push_back("the script waited " + std::to_string(step_timeout_ms / 1000) +
                                     " s in vain for " + describe(s) + "; every window is closed");
            }
        }
        net(up, now);
    }

    void net(const std::vector<HWND> &up, DWORD now)
    {
        for (auto it = first_seen.begin(); it != first_seen.end();)     // windows gone
            it = std::find(up.begin(), up.end(), it->first) == up.end() ? first_seen.erase(it)
                                                                        : ++it;
        for (HWND h : up) {
            if (closed.count(h) || (taken.count(h) && !missed))
                continue;
            bool patient = !missed && !finishing;
            if (patient && !done() && fits(steps[next], h))
                continue;      // the next step's window
            bool menu = is_class(h, "#32768");
            Box b = menu ? Box() : read_box(h);
            bool allowed_box = false;
            for (const std::string &t : allowed)
                allowed_box = allowed_box || (!menu && b.text == t);
            if (!allowed_box && patient) {
                if (!first_seen.count(h))
                    first_seen[h] = now;
                if (now - first_seen[h] < grace_ms)
                    continue;
            }
            closed.insert(h);
            if (menu) {
                if (!taken.count(h))
                    unexpected.push_back("a menu nobody expected");
                EndMenu();
                continue;
            }
            if (!taken.count(h)) {
                boxes.push_back(b);
                if (!allowed_box)
                    unexpected.push_back("a box nobody expected: \"" + b.text + "\" (caption \"" +
                                         b.caption + "\")");
            }
            // An allowed box is answered with OK, any other with Cancel
            // where it has one (never OK to " Zaustavitev sistema ").
            if (GetDlgItem(h, IDCANCEL) && !allowed_box)
                press(h, IDCANCEL);
            else if (GetDlgItem(h, IDOK))
                press(h, IDOK);
            else
                PostMessageA(h, WM_CLOSE, 0, 0);
        }
    }

public:
    DWORD step_timeout_ms = 15000;
    DWORD grace_ms = 5000;

private:
    std::vector<Step> steps;
    std::vector<std::string> allowed;
    std::vector<std::string> unexpected;
    size_t next = 0;
    UINT_PTR timer = 0;
    DWORD since = 0;
    int acting = 0;
    bool missed = false;
    bool finishing = false;
    HWND last = NULL;                    // the window of the last step
    std::set<HWND> taken;                // windows a step has acted on
    std::set<HWND> dialogs;              // of those, the dialogs
    std::set<HWND> closed;               // windows the net has answered
    std::map<HWND, DWORD> first_seen;    // when the net first saw a window
};

// Pumps this thread's messages until `cond` holds or `ms` have passed.
inline bool pump_until(std::function<bool()> cond, DWORD ms = 5000)
{
    DWORD start = GetTickCount();
    MSG msg;
    while (!cond()) {
        if (GetTickCount() - start > ms)
            return false;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

inline void pump_for(DWORD ms)
{
    pump_until([] { return false; }, ms);
}

// One mouse event for SendInput; dx moves the pointer with MOUSEEVENTF_MOVE.
inline INPUT mouse_input(DWORD flags, LONG dx = 0)
{
    INPUT in;
    ZeroMemory(&in, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dwFlags = flags;
    return in;
}

// Real mouse input, as the system delivers it (through the hooks). Returns
// the events put in (0 or 1).
inline UINT send_mouse(DWORD flags, LONG dx = 0)
{
    INPUT in = mouse_input(flags, dx);
    return SendInput(1, &in, sizeof in);
}

// Points every slot of this executable's import table that holds `from` at
// `to`, so that the program's calls of a system function reach a stand-in
// (and the test's own calls too, until it is pointed back). Returns the
// number of slots changed.
inline int patch_imports(void *from, void *to)
{
    BYTE *self = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(self + ((IMAGE_DOS_HEADER *)self)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (IMAGE_IMPORT_DESCRIPTOR *imp = (IMAGE_IMPORT_DESCRIPTOR *)(self + dir.VirtualAddress);
         imp->Name; imp++) {
        for (IMAGE_THUNK_DATA *t = (IMAGE_THUNK_DATA *)(self + imp->FirstThunk); t->u1.Function; t++) {
            if ((void *)t->u1.Function != from)
                continue;
            DWORD old;
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, PAGE_READWRITE, &old);
            t->u1.Function = (ULONG_PTR)to;
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, old, &old);
            patched++;
        }
    }
    return patched;
}

// The system function dll!name as the import table holds it.
inline void *system_function(const char *dll, const char *name)
{
    HMODULE lib = GetModuleHandleA(dll);
    return lib ? (void *)GetProcAddress(lib, name) : nullptr;
}

// Points this executable's import of dll!name at `to` for the guard's
// lifetime, and back at the system's function when it goes. `real` is the
// system's function, for a stand-in that passes calls on.
class PatchedImport {
public:
    PatchedImport(const char *dll, const char *name, void *stand_in)
        : real(system_function(dll, name)), to(stand_in)
    {
        REQUIRE_MESSAGE(real != nullptr, dll, "!", name);
        REQUIRE_MESSAGE(patch_imports(real, to) > 0, name, " is imported");
    }
    ~PatchedImport() { patch_imports(to, real); }
    PatchedImport(const PatchedImport &) = delete;
    PatchedImport &operator=(const PatchedImport &) = delete;

    void *const real;

private:
    void *const to;
};

// ---- menus ----

struct Item {
    UINT id;
    UINT type;       // MFT_* bits
    std::string text;
    HBITMAP bitmap;
};

inline std::vector<Item> read_menu(HMENU m)
{
    std::vector<Item> items;
    int n = GetMenuItemCount(m);
    for (int i = 0; i < n; i++) {
        char buf[256] = "";
        MENUITEMINFOA mi;
        ZeroMemory(&mi, sizeof mi);
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP;
        mi.dwTypeData = buf;
        mi.cch = sizeof buf;
        GetMenuItemInfoA(m, i, TRUE, &mi);
        HBITMAP bmp = mi.hbmpItem;
        items.push_back({ mi.wID, mi.fType, (mi.fType & MFT_BITMAP) ? "" : buf, bmp });
    }
    return items;
}

// ---- a stand-in for the annotation object (oznake) ----

// Names given and cleared: "[clear ]menu <child>[ <name>]", "[clear ]window <id> <child>[ <name>]";
// not `ok` for another property or object, a gone window, or a menu not the call's popup.
struct Annotations : IAccPropServices {
    std::vector<std::string> lines;
    bool ok = true;
    HRESULT note(std::string what, bool fits, DWORD object, DWORD child, const MSAAPROPID &p, LPCWSTR name = L"")
    {
        char n[256];
        WideCharToMultiByte(CP_ACP, 0, name, -1, n, sizeof n, NULL, NULL);
        lines.push_back(what + std::to_string(child) + (*n ? std::string(" ") + n : ""));
        return ok = ok && fits && object == (DWORD)OBJID_CLIENT && IsEqualGUID(p, PROPID_ACC_NAME), S_OK;
    }
    static std::string id(HWND h) { return std::to_string(GetDlgCtrlID(h)) + " "; }
    STDMETHODIMP SetHwndPropStr(HWND h, DWORD o, DWORD c, MSAAPROPID p, LPCWSTR s) override
    { return note("window " + id(h), IsWindow(h), o, c, p, s); }
    STDMETHODIMP ClearHwndProps(HWND h, DWORD o, DWORD c, const MSAAPROPID *p, int n) override
    { return note("clear window " + id(h), IsWindow(h) && n == 1, o, c, *p); }
    STDMETHODIMP SetHmenuPropStr(HMENU m, DWORD c, MSAAPROPID p, LPCWSTR s) override
    { return note("menu ", m == hpopup1, OBJID_CLIENT, c, p, s); }
    STDMETHODIMP ClearHmenuProps(HMENU m, DWORD c, const MSAAPROPID *p, int n) override
    { return note("clear menu ", m == hpopup1 && IsMenu(m) && n == 1, OBJID_CLIENT, c, *p); }
    // Not called by Kolvena.
    STDMETHODIMP QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
#define NE(...) STDMETHODIMP __VA_ARGS__ override { return E_NOTIMPL; }
    NE(SetPropValue(const BYTE *, DWORD, MSAAPROPID, VARIANT)) NE(ClearProps(const BYTE *, DWORD, const MSAAPROPID *, int))
    NE(SetPropServer(const BYTE *, DWORD, const MSAAPROPID *, int, IAccPropServer *, AnnoScope))
    NE(SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT)) NE(SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT))
    NE(SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID *, int, IAccPropServer *, AnnoScope))
    NE(SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID *, int, IAccPropServer *, AnnoScope))
    NE(ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE **, DWORD *)) NE(ComposeHmenuIdentityString(HMENU, DWORD, BYTE **, DWORD *))
    NE(DecomposeHwndIdentityString(const BYTE *, DWORD, HWND *, DWORD *, DWORD *))
    NE(DecomposeHmenuIdentityString(const BYTE *, DWORD, HMENU *, DWORD *))
#undef NE
};

// ---- a hidden window of class "klasa", as start-up makes it ----

inline HWND make_tray_window()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA wc;
        ZeroMemory(&wc, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = wndProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = "klasa";
        registered = RegisterClassExA(&wc) != 0;
    }
    return CreateWindowExA(0, "klasa", "klasa", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

// Takes the quit messages waiting for this thread (a tray window's
// destruction posts one).
inline void drain_quit()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Destroys a tray window made by make_tray_window and swallows the quit
// message that its destruction posts.
inline void destroy_tray_window(HWND h)
{
    MSHookStop();
    if (IsWindow(h))
        DestroyWindow(h);
    drain_quit();
}

// ---- the journal hook, granted or refused ----
//
// Windows since Vista and Wine 10 refuse a journal-record hook to a program
// without UI access; Wine 8 grants it. Tests give Kolvena's seam namesti_hook
// the answer they need, the same on every platform: journal_refused
// (Windows' normal case), or journal_granted: the system's hook, otherwise a
// do-nothing hook of the calling thread, which UnhookWindowsHookEx removes
// alike but which sees no event (tests of events ask journal_system()).
inline LRESULT CALLBACK hands_on(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(NULL, code, wParam, lParam);
}

inline HHOOK WINAPI journal_refused(int type, HOOKPROC proc, HINSTANCE inst, DWORD tid)
{
    if (type != WH_JOURNALRECORD)
        return SetWindowsHookExA(type, proc, inst, tid);
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

inline HHOOK WINAPI journal_granted(int type, HOOKPROC proc, HINSTANCE inst, DWORD tid)
{
    HHOOK h = SetWindowsHookExA(type, proc, inst, tid);
    if (h == NULL && type == WH_JOURNALRECORD)
        h = SetWindowsHookExA(WH_MSGFILTER, hands_on, NULL, GetCurrentThreadId());
    return h;
}

// Whether the system itself lets this program in a journal-record hook.
inline bool journal_system()
{
    static const bool granted = [] {
        HHOOK h = SetWindowsHookExA(WH_JOURNALRECORD, hands_on, GetModuleHandleA(NULL), 0);
        if (h != NULL)
            UnhookWindowsHookEx(h);
        return h != NULL;
    }();
    return granted;
}

} // namespace wt
