// Tray shell: start-up and the message loop, the hidden window's procedure,
// the desktop mouse hook.
#include "NTpopup.h"

#include <string.h>

HINSTANCE ghInst;
int tri_mous;
int gi;
int ldown;
int cz;
NOTIFYICONDATAA tray;

const char *const tttable[4] = {
    " Kolvena verzija 1.1 ",
    " Avtorji: ekipa Kolvena ",
    " E-posta: kolvena@example.org ",
    " Splet: http://www.example.org/kolvena ",
};

HHOOK g_hMSHook;
HHOOK g_hLLHook;
HWND  g_hMSWnd;
UINT  g_uMSMsg;

// The record of the last tooltip change or removal (see tray_tip).
NOTIFYICONDATAA sprememba;

static UINT uTaskbarCreated;

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes on 32-bit Windows");
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first NOTIFYICONDATAA is 88 bytes");
#endif

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // Programs are loaded from the system directories only, never from the
    // current directory, which the file dialog moves about.
    SetDllDirectoryA("");

    ghInst = hInstance;
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    WNDCLASSEXA wc;
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = wndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(10));
    wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = "klasa";
    wc.hIconSm = (HICON)LoadImageA(hInstance, "IDI_42", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    RegisterClassExA(&wc);

    HWND hwnd = CreateWindowExA(0, "klasa", "klasa", WS_POPUP, 0, 0, 0, 0,
                                NULL, NULL, hInstance, NULL);

    tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray.hWnd = hwnd;
    tray.uID = TRAY_ID;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = (HICON)LoadImageA(hInstance, "TR16", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    kopiraj(tray.szTip, sizeof tray.szTip, tttable[0]);

    if (GetSystemMetrics(SM_CMOUSEBUTTONS) == 3)
        tri_mous = 1;

    Shell_NotifyIconA(NIM_ADD, &tray);

    zacni_cfg();

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}

HMODULE nalozi_sistemsko(const char *ime)
{
    // A full path loads that very file. On 64-bit Windows a 32-bit program
    // asking for system32 gets SysWOW64, its own system directory.
    char pot[MAX_PATH];
    UINT n = GetSystemDirectoryA(pot, sizeof pot);
    if (n == 0 || n + 1 + strlen(ime) + 1 > sizeof pot)
        return NULL;
    pot[n] = '\\';
    kopiraj(pot + n + 1, sizeof pot - n - 1, ime);
    return LoadLibraryA(pot);
}

// Sends the icon's record with the given tooltip line: NIM_MODIFY and
// NIM_DELETE name the icon by window and id and change only the tooltip.
static void tray_tip(HWND hwnd, DWORD ukaz, const char *tip)
{
    ZeroMemory(&sprememba, sizeof sprememba);
    sprememba.cbSize = NOTIFYICONDATAA_V1_SIZE;
    sprememba.hWnd = hwnd;
    sprememba.uID = TRAY_ID;
    sprememba.uFlags = NIF_TIP;
    kopiraj(sprememba.szTip, sizeof sprememba.szTip, tip);
    Shell_NotifyIconA(ukaz, &sprememba);
}

static void na_timer(HWND hwnd)
{
    if (gi > 2)
        gi = 0;
    else
        gi++;
    tray_tip(hwnd, NIM_MODIFY, tttable[gi]);
    MSHookStop();
    MSHookStart(hwnd, MSHOOK_MSG);
}

// A restarted taskbar has forgotten the icon: add it again as it stands now.
static void na_taskbar(HWND hwnd)
{
    tray.hWnd = hwnd;
    kopiraj(tray.szTip, sizeof tray.szTip, tttable[gi]);
    Shell_NotifyIconA(NIM_ADD, &tray);
}

static LRESULT na_hook(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (wParam) {
    case WM_LBUTTONDOWN:
        ldown = 1;
        return 1;
    case WM_LBUTTONUP:
        ldown = 0;
        return 1;
    // A menu whose owner is not in the foreground takes no keys and does not
    // close on a click beside it: the desktop paths bring the window forward
    // as the icon's path does.
    case WM_RBUTTONDOWN:
        if (ldown == 1) {
            SetForegroundWindow(hwnd);
            Prikazi_Menu(hwnd);
            cz = 1;
        }
        break;
    case WM_MBUTTONDOWN:
        if (tri_mous == 1) {
            SetForegroundWindow(hwnd);
            Prikazi_Menu(hwnd);
        }
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == uTaskbarCreated && uTaskbarCreated != 0) {
        na_taskbar(hwnd);
        return 0;
    }

    switch (msg) {
    case WM_CREATE:
        uTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        SetTimer(hwnd, TIMER_TIP, 2000, NULL);
        MSHookStart(hwnd, MSHOOK_MSG);
        return 1;

    case WM_DESTROY:
        tray_tip(hwnd, NIM_DELETE, "");
        PostQuitMessage(0);
        KillTimer(hwnd, TIMER_TIP);
        return 1;

    case WM_TIMER:
        na_timer(hwnd);
        return 1;

    case WM_TRAYNOTIFY:
        if (lParam == WM_RBUTTONDOWN) {
            SetForegroundWindow(hwnd);
            Prikazi_Menu(hwnd);
        }
        return 1;

    case MSHOOK_MSG:
        return na_hook(hwnd, msg, wParam, lParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// ---- desktop mouse hook ----
//
// The journal-record hook is meant to see every input event of the desktop,
// on this thread. Today's systems refuse it to ordinary programs, and Wine
// installs it but calls it here only for input that goes to this thread's own
// windows (and calls it in other processes for theirs). So, beside it, a
// low-level mouse hook reports every mouse event of the desktop. An event
// that both hooks see is posted once: the low-level hook sees it first, when
// it is generated, and the journal hook, which sees it when it is taken from
// the queue, recognises it by its message, place and time and posts it no
// more. Events only the journal sees (the keyboard) it posts as always.

enum { ZADNJI_LL = 16 };
struct LLDogodek { UINT message; LONG x, y; DWORD time; };
static LLDogodek zadnji_ll[ZADNJI_LL];    // the last events the low-level hook posted
static unsigned n_ll;

// The installation call. Tests put a stand-in here to have the system refuse
// the hooks for a while.
HHOOK (WINAPI *namesti_hook)(int, HOOKPROC, HINSTANCE, DWORD) = SetWindowsHookExA;

HHOOK MSHookStart(HWND hWnd, UINT uMsg)
{
    g_hMSWnd = hWnd;
    g_uMSMsg = uMsg;
    g_hMSHook = namesti_hook(WH_JOURNALRECORD, MSHookProc, ghInst, 0);
    g_hLLHook = namesti_hook(WH_MOUSE_LL, MSLLHookProc, ghInst, 0);
    return g_hMSHook != NULL ? g_hMSHook : g_hLLHook;
}

BOOL MSHookStop(void)
{
    BOOL ok = TRUE;
    if (g_hMSHook != NULL)
        ok = UnhookWindowsHookEx(g_hMSHook);
    g_hMSHook = NULL;
    if (g_hLLHook != NULL && !UnhookWindowsHookEx(g_hLLHook))
        ok = FALSE;
    g_hLLHook = NULL;
    return ok;
}

static bool ze_poslan(const EVENTMSG *ev)
{
    for (unsigned i = 0; i < ZADNJI_LL; i++) {
        const LLDogodek &d = zadnji_ll[i];
        if (d.message == ev->message && d.x == (LONG)ev->paramL &&
            d.y == (LONG)ev->paramH && d.time == ev->time)
            return true;
    }
    return false;
}

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
        Sleep(10);
    }
    if (cz == 1) {
        cz = 0;
        return 0;
    }
    return CallNextHookEx(g_hMSHook, code, wParam, lParam);
}

// Reports a mouse event as the journal hook would: the message number in
// wParam, the cursor's x and y in lParam. It never sleeps: every cursor move
// of the desktop waits for it.
LRESULT CALLBACK MSLLHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HC_ACTION || g_hMSWnd == NULL)
        return CallNextHookEx(g_hLLHook, code, wParam, lParam);

    const MSLLHOOKSTRUCT *ms = (const MSLLHOOKSTRUCT *)lParam;
    LLDogodek &d = zadnji_ll[n_ll++ % ZADNJI_LL];
    d.message = (UINT)wParam;
    d.x = ms->pt.x;
    d.y = ms->pt.y;
    d.time = ms->time;
    PostMessageA(g_hMSWnd, g_uMSMsg, MAKEWPARAM(LOWORD(wParam), 0),
                 MAKELPARAM(LOWORD(ms->pt.x), LOWORD(ms->pt.y)));
    if (cz == 1) {
        cz = 0;
        return 0;
    }
    return CallNextHookEx(g_hLLHook, code, wParam, lParam);
}
