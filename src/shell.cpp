// Tray shell: start-up and the message loop, the hidden window's procedure,
// the tray icon and its tooltip. The desktop mouse hook is in shell_hook.cpp.
#include "shell.h"

#include "config.h"
#include "config_list.h"
#include "klici.h"
#include "menu.h"
#include "shell_hook.h"

HINSTANCE ghInst;
int tri_mous;
int gi;
int ldown;
NOTIFYICONDATAA tray;

const char *const tttable[4] = {
    " Kolvena verzija 1.1 ",
    " Avtorji: ekipa Kolvena ",
    " E-posta: kolvena@example.org ",
    " Splet: http://www.example.org/kolvena ",
};

// The record of the last tooltip change or removal (see tray_tip).
NOTIFYICONDATAA sprememba;

// The window class's icons. The resources hold neither (their one icon group
// is TR16, the tray icon), so both loads yield NULL; the window is never
// shown and needs none.
constexpr WORD IDI_KLASA = 10;
constexpr char IDI_KLASA_MALA[] = "IDI_42";

// The tray icon, and the size at which the small class icon loads.
constexpr char IDI_TRAY[] = "TR16";
constexpr int VELIKOST_IKONE = 16;

// The hidden window's class, and its title (the same word).
constexpr char KLASA[] = "klasa";

// The tooltip shows each line this long; every tick also starts the hook
// thread where it does not run.
constexpr UINT TIMER_TIP_MS = 2000;

// The tooltip's lines, shown in turn.
constexpr int VRSTIC_NAMIGA = sizeof tttable / sizeof tttable[0];

// A mouse whose middle button opens the menu has exactly this many buttons.
constexpr int GUMBI_TRI = 3;

static UINT uTaskbarCreated;

// What Windows shows for Kolvena while the end of the session waits for its save.
constexpr wchar_t RAZLOG_CAKANJA[] = L"Kolvena shranjuje seznam programov";

// One Kolvena a session: a second copy would add a second icon and a second
// hook, and each would keep its own list. The name lives in the session's
// own namespace, so that every user signed in has a Kolvena of his own.
constexpr char IME_KOPIJE[] = "Local\\Kolvena";

// The one-copy guard while this copy holds it. Let go when Kolvena is told
// to exit (the window's destruction), not when the process ends: a reader
// held by a program's file on a share that is off keeps the process until
// the file answers, and a new Kolvena must start meanwhile. Written on the
// window's thread only.
static HANDLE kopija;

static void pusti_kopijo(void)
{
    if (kopija != NULL)
        CloseHandle(kopija);
    kopija = NULL;
}

// In the headers only for Windows 7 and later.
#ifndef MSGFLT_ALLOW
#define MSGFLT_ALLOW 1
#endif

// Libraries are loaded from the system directory only: neither from the
// current directory, which the file dialog moves about, nor from Kolvena's
// own folder, where a library could be planted beside it. Where
// SetDefaultDllDirectories is offered (Windows 8; Vista and 7 with
// KB2533623) it restricts the search to the system directory; elsewhere
// SetDllDirectoryA("") takes at least the current directory out.
static void omeji_iskanje_knjiznic(void)
{
    BOOL (WINAPI *pSetDefaultDllDirectories)(DWORD);
    poisci_funkcijo(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories",
                    pSetDefaultDllDirectories);
    if (pSetDefaultDllDirectories != NULL)
        pSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    else
        SetDllDirectoryA("");
}

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes on 32-bit Windows");
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first NOTIFYICONDATAA is 88 bytes");
#endif

// Without it Windows draws the menu, its pictures and the dialog at 96 DPI
// and stretches them, blurred, to the screen's scaling. Made by call, not in
// the manifest: the choice and its fallback, for every Windows version, stay
// in this one place.
void povej_dpi_zavest(void)
{
    najdi_klice();
    if (pSetProcessDpiAwarenessContext != NULL &&
        pSetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
        return;
    if (pSetProcessDPIAware != NULL)
        pSetProcessDPIAware();
}

// The record that names the icon to the notification area, by window and
// id, as every call wants it (NIM_MODIFY, NIM_DELETE and NIM_SETFOCUS need
// nothing more); nothing else set.
static void zapis_ikone(NOTIFYICONDATAA *nid, HWND hwnd)
{
    ZeroMemory(nid, sizeof *nid);
    nid->cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid->hWnd = hwnd;
    nid->uID = TRAY_ID;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // Before any window exists: a window keeps the awareness it was made with.
    povej_dpi_zavest();

    // A copy run as administrator made the guard with a security descriptor
    // that a standard user may not open: CreateMutexA then fails with
    // ERROR_ACCESS_DENIED (its page, on Microsoft Learn). Either way the name
    // exists, and another copy runs.
    kopija = CreateMutexA(NULL, FALSE, IME_KOPIJE);
    const DWORD napaka = GetLastError();
    if ((kopija != NULL && napaka == ERROR_ALREADY_EXISTS) ||
        (kopija == NULL && napaka == ERROR_ACCESS_DENIED)) {
        pusti_kopijo();   // another copy runs: it keeps the icon and the hook
        return 0;
    }

    omeji_iskanje_knjiznic();

    ghInst = hInstance;
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    WNDCLASSEXA wc;
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = wndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_KLASA));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = KLASA;
    wc.hIconSm = (HICON)LoadImageA(hInstance, IDI_KLASA_MALA, IMAGE_ICON, VELIKOST_IKONE,
                                   VELIKOST_IKONE, LR_DEFAULTCOLOR);
    RegisterClassExA(&wc);

    // Never shown: no extended style, no place, no size.
    HWND hwnd = CreateWindowExA(0, KLASA, KLASA, WS_POPUP, 0, 0, 0, 0,
                                NULL, NULL, hInstance, NULL);
    // Without the window (or its class) nothing would ever reach Kolvena: it
    // would wait invisibly for good. It ends instead.
    if (hwnd == NULL) {
        pusti_kopijo();
        return 0;
    }

    zapis_ikone(&tray, hwnd);
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    // The notification area shows small icons: 16 x 16 at 96 DPI, larger at
    // higher scaling. Loaded at its size, the image is stretched once only.
    tray.hIcon = (HICON)LoadImageA(hInstance, IDI_TRAY, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    kopiraj(tray.szTip, sizeof tray.szTip, tttable[0]);

    if (GetSystemMetrics(SM_CMOUSEBUTTONS) == GUMBI_TRI)
        tri_mous = 1;

    Shell_NotifyIconA(NIM_ADD, &tray);

    zacni_cfg();

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The window's destruction, by which every way out of the loop goes, has
    // ended the hook thread already; ending it again costs nothing.
    ustavi_hook_nit();
    pusti_kopijo();
    return (int)msg.wParam;
}

// Sends the icon's record with the given tooltip line: NIM_MODIFY and
// NIM_DELETE change only the tooltip. Returns whether the notification area
// took it.
static bool tray_tip(HWND hwnd, DWORD ukaz, const char *tip)
{
    zapis_ikone(&sprememba, hwnd);
    sprememba.uFlags = NIF_TIP;
    kopiraj(sprememba.szTip, sizeof sprememba.szTip, tip);
    return Shell_NotifyIconA(ukaz, &sprememba) != FALSE;
}

// A restarted taskbar has forgotten the icon: add it again as it stands now.
static void na_taskbar(HWND hwnd)
{
    tray.hWnd = hwnd;
    kopiraj(tray.szTip, sizeof tray.szTip, tttable[gi]);
    Shell_NotifyIconA(NIM_ADD, &tray);
}

static void na_timer(HWND hwnd)
{
    if (gi >= VRSTIC_NAMIGA - 1)
        gi = 0;
    else
        gi++;
    // A change refused means the icon is not there: a program started at
    // logon adds its icon while the taskbar may still be starting, which
    // then refuses it and sends no "TaskbarCreated" afterwards.
    if (!tray_tip(hwnd, NIM_MODIFY, tttable[gi]))
        na_taskbar(hwnd);
    // The hooks are renewed by their own thread (shell_hook.cpp); a tick
    // starts it again where it does not run.
    MSHookStart(hwnd, MSHOOK_MSG);
}

// An elevated Kolvena would never hear "TaskbarCreated": the taskbar runs at
// a lower integrity level, whose messages Windows keeps from this window
// unless it lets them through. The filter exists from Windows 7 on.
static void dovoli_taskbar(HWND hwnd)
{
    BOOL (WINAPI *pChangeWindowMessageFilterEx)(HWND, UINT, DWORD, void *);
    poisci_funkcijo(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx",
                    pChangeWindowMessageFilterEx);
    if (pChangeWindowMessageFilterEx != NULL && uTaskbarCreated != 0)
        pChangeWindowMessageFilterEx(hwnd, uTaskbarCreated, MSGFLT_ALLOW, NULL);
}

// Where the icon's menu opens. Reached from the keyboard (Win+B, the arrow
// keys, then Enter or the menu key), an icon of the first version gets the
// same right press as from the mouse, with the cursor wherever it is: the
// menu then opens at the middle of the icon. Returns false for the cursor's
// place: the cursor is on the icon, or the icon's place is not known.
static bool ob_ikoni(HWND hwnd, POINT *pt)
{
    najdi_klice();
    NOTIFYICONIDENTIFIER ikona;
    ZeroMemory(&ikona, sizeof ikona);
    ikona.cbSize = sizeof ikona;
    ikona.hWnd = hwnd;
    ikona.uID = TRAY_ID;
    RECT r;
    POINT kazalec;
    if (pShell_NotifyIconGetRect == NULL || FAILED(pShell_NotifyIconGetRect(&ikona, &r)) ||
        !GetCursorPos(&kazalec) || PtInRect(&r, kazalec))
        return false;
    pt->x = r.left + (r.right - r.left) / 2;
    pt->y = r.top + (r.bottom - r.top) / 2;
    return true;
}

// Hands the keyboard focus back to the notification area.
static void fokus_ikonam(HWND hwnd)
{
    NOTIFYICONDATAA nid;
    zapis_ikone(&nid, hwnd);
    Shell_NotifyIconA(NIM_SETFOCUS, &nid);
}

// Esc was pressed in the menu being tracked: seen by filter_menija. Each
// opening has its own: a nested one puts back the flag it found.
static bool esc_v_meniju;

// Called by the menu's loop with each message it takes, before the menu acts
// on it (WH_MSGFILTER, MSGF_MENU): the one place where a menu left with Esc
// differs from one left by a click elsewhere, as both return 0.
static LRESULT CALLBACK filter_menija(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *m = (const MSG *)lParam;
    if (code == MSGF_MENU && m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE)
        esc_v_meniju = true;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The icon's place is read first, while the notification area still has the
// foreground: the overflow flyout that may hold the icon can close once
// Kolvena takes it, and the icon's place goes with it. A menu opened from
// the keyboard and left with Esc hands the focus back to the notification
// area, where that user was; one left by a click elsewhere leaves the focus
// where the click put it.
static LRESULT na_ikono(HWND hwnd, LPARAM lParam)
{
    if (lParam == WM_RBUTTONDOWN) {
        POINT pt;
        bool s_tipkovnice = ob_ikoni(hwnd, &pt);
        SetForegroundWindow(hwnd);
        HHOOK filter = s_tipkovnice ? SetWindowsHookExA(WH_MSGFILTER, filter_menija, NULL,
                                                        GetCurrentThreadId())
                                    : NULL;
        const bool esc_prej = esc_v_meniju;
        esc_v_meniju = false;
        int izbira = Prikazi_Menu(hwnd, s_tipkovnice ? &pt : NULL);
        const bool esc = esc_v_meniju;
        esc_v_meniju = esc_prej;
        if (filter != NULL)
            UnhookWindowsHookEx(filter);
        if (izbira == 0 && filter != NULL && esc)
            fokus_ikonam(hwnd);
    }
    return 1;
}

static LRESULT na_hook(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Any press beside an open menu ends it (see menu.cpp).
    if (wParam == WM_LBUTTONDOWN || wParam == WM_RBUTTONDOWN || wParam == WM_MBUTTONDOWN ||
        wParam == WM_XBUTTONDOWN)
        meni_pritisk(lParam);

    switch (wParam) {
    case WM_LBUTTONDOWN:
        ldown = 1;
        return 1;
    case WM_LBUTTONUP:
        ldown = 0;
        return 1;
    case WM_MOUSEMOVE:
        InterlockedExchange(&pomik_caka, 0);   // taken: the hook may post the next
        break;
    // A menu whose owner is not in the foreground takes no keys: the desktop
    // paths ask for the foreground as the icon's path does.
    case WM_RBUTTONDOWN:
        if (ldown == 1) {
            SetForegroundWindow(hwnd);
            Prikazi_Menu(hwnd);
            InterlockedExchange(&cz, 1);   // read by the hook thread too
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
        dovoli_taskbar(hwnd);
        SetTimer(hwnd, TIMER_TIP, TIMER_TIP_MS, NULL);
        MSHookStart(hwnd, MSHOOK_MSG);
        return 1;

    case WM_DESTROY:
        tray_tip(hwnd, NIM_DELETE, "");
        PostQuitMessage(0);
        KillTimer(hwnd, TIMER_TIP);
        // No hook thread outlives the window, and none posts to it after.
        ustavi_hook_nit();
        pusti_kopijo();
        // The icon and the hook are gone; the process waits for a save on its way.
        pocakaj_shranjevanje();
        return 1;

    // The session may end as soon as this returns (WM_ENDSESSION, on
    // Microsoft Learn), which would stop a save on its way: it is waited for
    // first, and Windows names the reason to the user meanwhile.
    case WM_ENDSESSION:
        if (wParam && shranjevanje_na_poti()) {
            najdi_klice();
            if (pShutdownBlockReasonCreate != NULL)
                pShutdownBlockReasonCreate(hwnd, RAZLOG_CAKANJA);
            pocakaj_shranjevanje();
            if (pShutdownBlockReasonDestroy != NULL)
                pShutdownBlockReasonDestroy(hwnd);
        }
        return 0;

    // Only TIMER_TIP turns the tooltip and starts the hooks: any other tick
    // is left to the default handling.
    case WM_TIMER:
        if (wParam != TIMER_TIP)
            break;
        na_timer(hwnd);
        return 1;

    case WM_TRAYNOTIFY:
        return na_ikono(hwnd, lParam);

    case MENI_ODPRT:
        meni_odprt(wParam);
        return 0;

    case IKONE_PRISPELE:
        pozne_ikone(hwnd);
        return 0;

    case MSHOOK_MSG:
        return na_hook(hwnd, msg, wParam, lParam);

    case WM_MENUCHAR:
        return crka_menija(hwnd, wParam, lParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
