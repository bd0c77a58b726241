/* The least a tray program does to start: register a window class, create a
 * hidden window, add a tray icon. Then it removes the icon and exits.
 * With the argument "stay" it keeps its icon and waits until it is ended.
 * Built three times: as it is (user32, shell32, kernel32); with
 * KOLVENA_IMPORTS, importing the same system DLLs as Kolvena.exe without
 * calling into the extra ones; with KOLVENA_IMPORTS_BUT_DIALOGS, the same
 * less comctl32 and comdlg32. */
#include <windows.h>
#include <shellapi.h>

/* Referenced, never called: only the import entries count. */
typedef void (*funkcija)(void);
#if defined(KOLVENA_IMPORTS)
#include <commctrl.h>
#include <commdlg.h>
funkcija volatile uvozi[] = {
    (funkcija)ImageList_Create, (funkcija)GetOpenFileNameA,
    (funkcija)CreateSolidBrush, (funkcija)OpenProcessToken,
};
#elif defined(KOLVENA_IMPORTS_BUT_DIALOGS)
/* Kolvena's imports less comctl32 and comdlg32 (were they loaded when first
 * needed). */
funkcija volatile uvozi[] = {
    (funkcija)CreateSolidBrush, (funkcija)OpenProcessToken,
};
#endif

static LRESULT CALLBACK okno_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)prev;
    (void)show;

    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = okno_proc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "minimal_tray";
    RegisterClassA(&wc);

    HWND hwnd = CreateWindowExA(0, "minimal_tray", "minimal_tray", WS_POPUP, 0, 0, 0, 0,
                                NULL, NULL, hInstance, NULL);

    NOTIFYICONDATAA nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = hwnd;
    nid.uID = 1;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_USER + 1;
    nid.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    lstrcpyA(nid.szTip, "minimal_tray");
    Shell_NotifyIconA(NIM_ADD, &nid);

    /* "stay": keep the icon and wait for messages, doing nothing (the idle
     * baseline); ended from outside. */
    if (cmd != NULL && lstrcmpA(cmd, "stay") == 0) {
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0))
            DispatchMessageA(&msg);
    }

    Shell_NotifyIconA(NIM_DELETE, &nid);
    DestroyWindow(hwnd);
    return 0;
}
