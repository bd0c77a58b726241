// What the launcher menu's tests share: the recorder helper program and its
// records, a watcher that answers every message box, and the tray window.
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
};

inline std::vector<Record> read_records()
{
    std::vector<Record> out;
    FILE *f = fopen(record_file().c_str(), "rb");
    if (!f)
        return out;
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        all.append(buf, n);
    fclose(f);
    size_t pos = 0, end;
    while ((end = all.find("\r\n", pos)) != std::string::npos) {
        std::string line = all.substr(pos, end - pos);
        pos = end + 2;
        size_t t1 = line.find('\t'), t2 = line.rfind('\t');
        if (t1 == std::string::npos || t2 == t1)
            continue;
        out.push_back({ line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1) });
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

// ---- message boxes ----
//
// Every message box of this thread that appears while the watcher runs is
// read and answered once: by default with its OK (or else Cancel) button,
// or by `on_box` when that is set. The order of boxes and tracked menus is
// kept in `events`, into which tests may write too.

struct Seen {
    HWND hwnd;
    wt::Box box;
    bool icon_shown;        // an icon control is visible
    HICON icon;             // the icon it shows
    std::vector<int> button_ids;   // ids of its visible buttons, in order
};

inline bool icon_of(HWND box, HICON *icon)
{
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (wt::class_of(c) != "Static" && wt::class_of(c) != "STATIC")
            continue;
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        *icon = (HICON)SendMessageA(c, STM_GETICON, 0, 0);
        return IsWindowVisible(c) && *icon != NULL;
    }
    *icon = NULL;
    return false;
}

inline void answer(HWND box)
{
    int id = GetDlgItem(box, IDOK) ? IDOK : IDCANCEL;
    wt::press(box, id);
}

class BoxWatcher {
public:
    std::vector<Seen> boxes;
    std::vector<std::string> events;
    std::function<void(HWND, const Seen &)> on_box;   // instead of answer()

    BoxWatcher() { current() = this; timer = SetTimer(NULL, 0, 20, tick); }
    ~BoxWatcher() { KillTimer(NULL, timer); current() = nullptr; }

    size_t count(const std::string &text) const
    {
        size_t n = 0;
        for (const Seen &s : boxes)
            n += s.box.text == text;
        return n;
    }

private:
    static BoxWatcher *&current()
    {
        static BoxWatcher *w = nullptr;
        return w;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        BoxWatcher *w = current();
        if (!w)
            return;
        HWND found = NULL;
        wt::each_thread_window([&](HWND h) {
            if (IsWindowVisible(h) && wt::class_of(h) == "#32770" && !w->handled.count(h))
                found = h;
            return found == NULL;
        });
        if (!found)
            return;
        w->handled.insert(found);
        Seen s;
        s.hwnd = found;
        s.box = wt::read_box(found);
        s.icon_shown = icon_of(found, &s.icon);
        for (HWND c = GetWindow(found, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if ((wt::class_of(c) == "Button" || wt::class_of(c) == "BUTTON") && IsWindowVisible(c))
                s.button_ids.push_back(GetDlgCtrlID(c));
        w->boxes.push_back(s);
        w->events.push_back("box:" + s.box.text);
        if (w->on_box)
            w->on_box(found, s);
        else
            answer(found);
    }

    UINT_PTR timer = 0;
    std::set<HWND> handled;
};

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
        MSG m;
        ZeroMemory(&m, sizeof m);
        m.hwnd = h;
        m.message = msg;
        m.wParam = wp;
        m.lParam = lp;
        messages().push_back(m);
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

// Runs one menu call with `robot` started; the robot's steps must all have
// been carried out by the time the call returns.
inline void run_menu(wt::Robot &robot, HWND hwnd)
{
    ldown = 1;
    robot.start();
    Prikazi_Menu(hwnd);
    robot.stop();
    CHECK_MESSAGE(robot.done(), "robot stopped at step ", robot.next);
    CHECK(ldown == 0);
}

} // namespace mt
