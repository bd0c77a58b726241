// What the launcher menu's tests share: the recorder helper program and its
// records, the tray window, and the menu read while it is tracked.
#pragma once

#include "wintest.h"

#include <set>
#include <string>
#include <vector>

namespace mt {

// ---- the recorder: a program that notes how it was started ----

inline std::string env(const char *name)
{
    char buf[MAX_PATH * 2] = "";
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? buf : "";
}

inline std::string windows_path(std::string p)
{
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

// recorder.exe as the build left it.
inline std::string built_recorder()
{
    std::string dir = env("KOLVENA_HELPERS");
    REQUIRE_MESSAGE(!dir.empty(), "KOLVENA_HELPERS names the helper programs' folder");
    std::string p = windows_path(dir) + "\\recorder.exe";
    REQUIRE_MESSAGE(GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES, p);
    return p;
}

// A copy of the recorder at `path` (folders made as needed).
inline std::string place_recorder(const std::string &path)
{
    for (size_t i = 3; i < path.size(); i++)
        if (path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    REQUIRE(CopyFileA(built_recorder().c_str(), path.c_str(), FALSE));
    return path;
}

inline std::string record_file()
{
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    return std::string(tmp) + "kolvena_record.txt";
}

// Sends the records of the programs this process starts to a fresh file.
inline void start_recording()
{
    DeleteFileA(record_file().c_str());
    SetEnvironmentVariableA("KOLVENA_RECORD", record_file().c_str());
}

struct Record {
    std::string module, command_line, directory;
    std::string show;    // the show command it was started with, "-" for none
};

inline std::vector<Record> read_records()
{
    std::vector<Record> out;
    for (const std::string &line : wt::crlf_lines(wt::read_bytes(record_file()))) {
        // The command line may hold tabs; the other fields hold none.
        size_t t1 = line.find('\t'), t3 = line.rfind('\t');
        size_t t2 = t3 == std::string::npos || t3 == 0 ? std::string::npos : line.rfind('\t', t3 - 1);
        if (t1 == std::string::npos || t2 == std::string::npos || t2 <= t1)
            continue;
        out.push_back({ line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1),
                        line.substr(t2 + 1, t3 - t2 - 1), line.substr(t3 + 1) });
    }
    return out;
}

// Waits (pumping messages) until `count` programs have written their record.
inline std::vector<Record> wait_for_records(size_t count)
{
    wt::pump_until([count] { return read_records().size() >= count; }, 20000);
    return read_records();
}

inline bool same_path(const std::string &a, const std::string &b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// ---- the launcher's window ----

// The hidden window as start-up makes it; its messages are recorded as they
// reach it (then passed to the launcher's window procedure).
struct TrayWindow {
    HWND hwnd = NULL;
    TrayWindow()
    {
        hwnd = wt::make_tray_window();
        REQUIRE(hwnd != NULL);
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, (LONG_PTR)spy);
        messages().clear();
    }
    ~TrayWindow() { wt::destroy_tray_window(hwnd); }

    // Messages the window procedure received, in order.
    static std::vector<MSG> &messages()
    {
        static std::vector<MSG> m;
        return m;
    }
    static LRESULT CALLBACK spy(HWND h, UINT msg, WPARAM wp, LPARAM lp)
    {
        messages().push_back(MSG{ h, msg, wp, lp, 0, {} });
        if (msg == WM_DESTROY) {
            hooks_at_destroy()[0] = g_hMSHook;
            hooks_at_destroy()[1] = g_hLLHook;
        }
        return wndProc(h, msg, wp, lp);
    }
    // The hooks as they stood when the window received WM_DESTROY.
    static HHOOK *hooks_at_destroy()
    {
        static HHOOK h[2];
        return h;
    }
    static size_t received(UINT msg)
    {
        size_t n = 0;
        for (const MSG &m : messages())
            n += m.message == msg;
        return n;
    }
};

// Keys that choose the n-th selectable item from the top (0-based), or the
// n-th from the bottom (1 = " Izhod ").
inline std::vector<WPARAM> from_top(int n)
{
    std::vector<WPARAM> k(n + 1, VK_DOWN);
    k.push_back(VK_RETURN);
    return k;
}
inline std::vector<WPARAM> from_bottom(int n)
{
    std::vector<WPARAM> k(n, VK_UP);
    k.push_back(VK_RETURN);
    return k;
}

enum { IZHOD = 1, NASTAVITVE = 2, ZAUSTAVITEV = 3, OHRANJEVALNIK = 4, NAJDI = 5 };

// One menu call as the desktop chord makes it (ldown set), with the driver's
// script carried out inside it; the call clears ldown.
inline void run_menu(HWND hwnd)
{
    ldown = 1;
    Prikazi_Menu(hwnd);
    CHECK(ldown == 0);
}

// ---- the menu while it is tracked ----

// A launcher menu as one call made it, read while the menu is tracked.
struct Tracked {
    HMENU holder = NULL, popup = NULL;  // the call's two menus (hmenu1, hpopup1)
    HMENU shown = NULL;                 // the menu the window tracks
    std::vector<wt::Item> items;        // the tracked menu's items
    std::vector<UINT> states;           // and their GetMenuState
    std::vector<wt::Item> holder_items;
    HMENU holder_sub = NULL;            // the holder's pop-up item
};

inline Tracked read_tracked(HWND menu_window)
{
    Tracked t;
    t.holder = hmenu1;
    t.popup = hpopup1;
    t.shown = (HMENU)SendMessageA(menu_window, MN_GETHMENU, 0, 0);
    t.items = wt::read_menu(t.shown);
    for (size_t i = 0; i < t.items.size(); i++)
        t.states.push_back(GetMenuState(t.shown, (UINT)i, MF_BYPOSITION));
    t.holder_items = wt::read_menu(hmenu1);
    t.holder_sub = GetSubMenu(hmenu1, 0);
    return t;
}

// One opening of the menu, read while tracked, then ended by these keys
// (Escape: dismissed); no box may come, and the call destroys both its menus.
inline Tracked read_opening(HWND hwnd, const std::vector<WPARAM> &keys = { VK_ESCAPE })
{
    Tracked t;
    wt::Driver d;
    d.menu([&](HWND m) {
        t = read_tracked(m);
        wt::menu_keys(m, keys);
    });
    run_menu(hwnd);
    CHECK_FALSE(IsMenu(t.holder));
    CHECK_FALSE(IsMenu(t.popup));
    return t;
}

// The fixed commands behind the entries.
struct Fixed {
    UINT id;
    UINT type;
    const char *text;
};
const Fixed fixed_items[] = {
    { 0, MFT_SEPARATOR, "" },
    { IDM_NAJDI, MFT_STRING, " Najdi... " },
    { IDM_OHRANJEVALNIK, MFT_STRING, " Ohranjevalnik zaslona " },
    { IDM_ZAUSTAVITEV, MFT_STRING, " Zaustavitev sistema " },
    { 0, MFT_SEPARATOR, "" },
    { IDM_NASTAVITVE, MFT_STRING, " Nastavitve " },
    { 0, MFT_SEPARATOR, "" },
    { IDM_IZHOD, MFT_STRING, " Izhod " },
};

// The items of a launcher menu: `entries` entries (commands 30, 31, ...,
// enabled and unchecked; with these texts when they are given), then the
// fixed commands.
inline void check_list(const std::vector<wt::Item> &items, const std::vector<UINT> &states,
                       size_t entries, const std::vector<std::string> &texts = {})
{
    REQUIRE(items.size() == entries + 8);
    for (size_t i = 0; i < entries; i++) {
        CAPTURE(i);
        CHECK(items[i].id == IDM_PRVI_PROGRAM + i);
        CHECK((states[i] & (MF_GRAYED | MF_DISABLED | MF_CHECKED)) == 0);
        if (!texts.empty()) {
            CHECK(items[i].type == MFT_STRING);
            CHECK(items[i].text == texts[i]);
        }
    }
    for (size_t k = 0; k < 8; k++) {
        const wt::Item &it = items[entries + k];
        CAPTURE(k);
        CHECK(it.id == fixed_items[k].id);
        CHECK(it.type == fixed_items[k].type);
        CHECK(it.text == fixed_items[k].text);
    }
}

// The menu was tracked as its call made it: the holder's one item " " holds
// the popup, which is the tracked menu and holds the list.
inline void check_items(const Tracked &t, size_t entries, const std::vector<std::string> &texts = {})
{
    CHECK(t.shown == t.popup);
    REQUIRE(t.holder_items.size() == 1);
    CHECK(t.holder_items[0].text == " ");
    CHECK(t.holder_sub == t.popup);
    check_list(t.items, t.states, entries, texts);
}

} // namespace mt
