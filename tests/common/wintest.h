// Helpers for driving Kolvena's real windows, menus and message boxes from a
// test running in the same process under Wine.
//
// Modal loops (TrackPopupMenu, DialogBoxParamA, MessageBoxA) keep dispatching
// the thread's timer messages, so a thread timer is our hand inside them:
// every few milliseconds it looks at the windows of this thread and carries
// out the next step of a script: read a message box and press a button, read
// the tracked menu and post keys to it, fill in a dialog.
#pragma once

#include <doctest/doctest.h>

#include "NTpopup.h"

#include <functional>
#include <string>
#include <vector>

namespace wt {

// ---- the program's state between tests ----

inline void reset_program_state()
{
    ZeroMemory(m_polje, sizeof m_polje);
    IDx = 30;
    icn_kljuka = 0;
    ldown = 0;
    cz = 0;
    gi = 0;
    tri_mous = 0;
    ghInst = GetModuleHandleA(NULL);
}

inline void add_entry(const char *opis, const char *pot)
{
    postavi_pot(pot);
    potrdi_vnos(opis);
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

// ---- the tray ----

// Whether the notification area holds an icon for window h and id 1: a
// tooltip change is taken only for an icon that is there.
inline bool icon_there(HWND h)
{
    NOTIFYICONDATAA nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = h;
    nid.uID = TRAY_ID;
    nid.uFlags = NIF_TIP;
    kopiraj(nid.szTip, sizeof nid.szTip, tttable[0]);
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

// ---- windows of this thread ----

inline std::string class_of(HWND h)
{
    char buf[64] = "";
    GetClassNameA(h, buf, sizeof buf);
    return buf;
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

// The first visible top-level window of this thread with the given class.
inline HWND find_thread_window(const char *cls)
{
    HWND found = NULL;
    each_thread_window([&](HWND h) {
        if (IsWindowVisible(h) && class_of(h) == cls)
            found = h;
        return found == NULL;
    });
    return found;
}

// The tracked popup menu's window (menus belong to no thread's enumeration in
// every version of Wine, so look for it by class among all top-level windows).
inline HWND find_menu_window()
{
    HWND h = FindWindowA("#32768", NULL);
    return (h && IsWindowVisible(h)) ? h : NULL;
}

// A message box as the user sees it.
struct Box {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;   // texts of its buttons, in order
    LONG style = 0;
};

inline Box read_box(HWND box)
{
    Box b;
    b.caption = text_of(box);
    b.style = GetWindowLongA(box, GWL_STYLE);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        std::string cls = class_of(c);
        if (cls == "Static" || cls == "STATIC") {
            std::string t = text_of(c);
            if (!t.empty())
                b.text = t;
        } else if (cls == "Button" || cls == "BUTTON") {
            b.buttons.push_back(text_of(c));
        }
    }
    return b;
}

// Presses the button with the given id (IDOK, IDCANCEL, ...) of a message box
// or dialog as a click would.
inline void press(HWND dlg, int id)
{
    HWND b = GetDlgItem(dlg, id);
    if (b)
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)b);
    else
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

// Posts a key press to the tracked menu.
inline void menu_key(HWND menu, WPARAM vk)
{
    PostMessageA(menu, WM_KEYDOWN, vk, 0);
}

// ---- scripted steps run from a thread timer inside modal loops ----
//
// A step waits for a visible window of its class ("#32770" for dialogs and
// message boxes, "#32768" for a tracked menu) that it has not acted on yet,
// then runs its action on it. Steps run in order; a step that has waited
// longer than its time-out is recorded as missed, and the robot stops.

struct Step {
    std::string cls;
    std::function<void(HWND)> action;
    std::string title;   // for dialogs: a caption to wait for ("" = any)
};

class Robot {
public:
    Robot() { current() = this; }
    ~Robot() { stop(); current() = nullptr; }

    // On the next message box: record it and press the button `id`.
    Robot &box(int id, std::vector<Box> *seen = nullptr)
    {
        return then("#32770", [id, seen](HWND h) {
            if (seen)
                seen->push_back(read_box(h));
            press(h, id);
        });
    }
    // On the tracked menu: run `f` (it reads the menu, posts keys).
    Robot &menu(std::function<void(HWND)> f) { return then("#32768", f); }
    // On the tracked menu: post these keys in order.
    Robot &keys(std::vector<WPARAM> vks)
    {
        return then("#32768", [vks](HWND h) { for (WPARAM vk : vks) menu_key(h, vk); });
    }
    // On the next dialog whose caption is `title` ("" = any).
    Robot &dialog(const std::string &title, std::function<void(HWND)> f)
    {
        steps.push_back({ "#32770", f, title });
        return *this;
    }
    Robot &then(const std::string &cls, std::function<void(HWND)> f)
    {
        steps.push_back({ cls, f, "" });
        return *this;
    }

    void start(UINT period_ms = 20, DWORD step_timeout_ms = 8000)
    {
        timeout = step_timeout_ms;
        since = GetTickCount();
        timer = SetTimer(NULL, 0, period_ms, tick);
    }
    void stop()
    {
        if (timer)
            KillTimer(NULL, timer);
        timer = 0;
    }
    bool done() const { return next >= steps.size(); }
    bool missed = false;
    size_t next = 0;

private:
    static Robot *&current()
    {
        static Robot *r = nullptr;
        return r;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Robot *r = current();
        if (!r || r->busy || r->done() || r->missed)
            return;
        r->busy = true;
        const Step &s = r->steps[r->next];
        HWND h = s.cls == "#32768" ? find_menu_window() : find_thread_window(s.cls.c_str());
        if (h && h != r->last && (s.title.empty() || text_of(h) == s.title)) {
            r->last = h;
            r->next++;
            r->since = GetTickCount();
            s.action(h);
        } else if (GetTickCount() - r->since > r->timeout) {
            r->missed = true;
        }
        r->busy = false;
    }

    std::vector<Step> steps;
    UINT_PTR timer = 0;
    DWORD since = 0, timeout = 8000;
    HWND last = NULL;
    bool busy = false;
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
        wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = "klasa";
        registered = RegisterClassExA(&wc) != 0;
    }
    return CreateWindowExA(0, "klasa", "klasa", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

// Destroys a tray window made by make_tray_window and swallows the quit
// message that its destruction posts.
inline void destroy_tray_window(HWND h)
{
    MSHookStop();
    if (IsWindow(h))
        DestroyWindow(h);
    MSG msg;
    while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

} // namespace wt
