// Launcher menu: built from the program list at every opening, tracked at the
// cursor, the choice carried out; the entries' pictures; the system actions.
#include "NTpopup.h"

#include <string.h>

HMENU hmenu1;
HMENU hpopup1;

HIMAGELIST (WINAPI *pImageList_Create)(int, int, UINT, int, int);
int        (WINAPI *pImageList_Add)(HIMAGELIST, HBITMAP, HBITMAP);
BOOL       (WINAPI *pImageList_Draw)(HIMAGELIST, int, HDC, int, int, UINT);
BOOL       (WINAPI *pImageList_Destroy)(HIMAGELIST);

// Loaded by hand rather than by the linker's delay-load, whose 32-bit import
// thunks made by dlltool jump to address 0 on the first call.
bool comctl32_nalozen(void)
{
    static bool poskuseno = false;
    if (!poskuseno) {
        poskuseno = true;
        HMODULE m = nalozi_sistemsko("comctl32.dll");
        poisci_funkcijo(m, "ImageList_Create", pImageList_Create);
        poisci_funkcijo(m, "ImageList_Add", pImageList_Add);
        poisci_funkcijo(m, "ImageList_Draw", pImageList_Draw);
        poisci_funkcijo(m, "ImageList_Destroy", pImageList_Destroy);
    }
    return pImageList_Create != NULL && pImageList_Add != NULL &&
           pImageList_Draw != NULL && pImageList_Destroy != NULL;
}

// ---- pictures of the entries ----

// Draws entry i as a 200 x 32 picture (menu colour, the program's icon at the
// left, its description beside it) and appends it to popup. Returns the
// picture, which lives until the menu has been destroyed.
static HBITMAP naredi_sliko(HDC hdcOkno, HMENU popup, int i)
{
    HDC mem = CreateCompatibleDC(hdcOkno);
    HIMAGELIST il = comctl32_nalozen() ? pImageList_Create(32, 32, ILC_MASK, 1, 1) : NULL;
    HICON ikona = ExtractIconA(ghInst, m_polje[i].pot, 0);
    ICONINFO ii;
    ZeroMemory(&ii, sizeof ii);
    bool z_ikono = false;
    if (ikona == NULL)
        MessageBoxA(NULL, "Napaka pri prikazu ikone", "Napaka", MB_OK);
    else
        z_ikono = GetIconInfo(ikona, &ii) != FALSE;

    HBITMAP slika = LoadBitmapA(ghInst, MAKEINTRESOURCEA(IDB_PLATNO));
    SelectObject(mem, slika);
    HBRUSH copic = CreateSolidBrush(GetSysColor(COLOR_MENU));
    SelectObject(mem, copic);
    RECT r = { 0, 0, SLIKA_W, SLIKA_H };
    FillRect(mem, &r, copic);

    if (z_ikono && il != NULL) {
        pImageList_Add(il, ii.hbmColor, ii.hbmMask);
        pImageList_Draw(il, 0, mem, 0, 0, ILD_NORMAL);
    }
    SetBkMode(mem, TRANSPARENT);
    TextOutA(mem, 40, 10, m_polje[i].opis, (int)strlen(m_polje[i].opis));

    AppendMenuA(popup, MF_BITMAP, IDM_PRVI_PROGRAM + i, (LPCSTR)slika);

    if (il != NULL)
        pImageList_Destroy(il);
    DeleteDC(mem);
    DeleteObject(copic);
    if (ikona != NULL)
        DestroyIcon(ikona);
    if (ii.hbmColor != NULL)
        DeleteObject(ii.hbmColor);
    if (ii.hbmMask != NULL)
        DeleteObject(ii.hbmMask);
    return slika;
}

// ---- system actions ----

// The language the shutdown box is asked in: Slovenian (LANG_SLOVENIAN,
// 0x24) with sub-language 9, the box's value from the start. Where Windows
// has no texts of that language, its buttons come in the user's own.
static const WORD JEZIK_ZAUSTAVITVE = MAKELANGID(LANG_SLOVENIAN, 9);
static_assert(JEZIK_ZAUSTAVITVE == 0x2424, "the shutdown box's language");

static void zaustavitev(void)
{
    int odg = MessageBoxExA(NULL, " \n \n     Sistem se bo zaustavil !!!       \n \n \n",
                            " Zaustavitev Sistema ?? ", MB_OKCANCEL | MB_ICONEXCLAMATION,
                            JEZIK_ZAUSTAVITVE);
    if (odg != IDCANCEL)
        ShutDown();
}

BOOL (WINAPI *zahtevaj_zaustavitev)(UINT, DWORD) = ExitWindowsEx;

void ShutDown(void)
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES tp, prej;
        DWORD dolzina = 0;
        if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
            tp.PrivilegeCount = 1;
            tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            AdjustTokenPrivileges(token, FALSE, &tp, sizeof prej, &prej, &dolzina);
            GetLastError();
        }
        CloseHandle(token);
    } else {
        GetLastError();
    }
    if (!zahtevaj_zaustavitev(EWX_SHUTDOWN, 0))
        PostQuitMessage(0);
}

// ---- the menu ----

// Starts the program at `pot` as it would start on its own from Explorer,
// not as a copy of how Kolvena itself was started.
static void zazeni(const char *pot)
{
    // Its one argument is its own path, in quotes: given no command line,
    // Windows hands the program its path unquoted, and a path with blanks
    // falls apart into several arguments.
    char ukaz[sizeof m_polje[0].pot + 2];
    ukaz[0] = '"';
    kopiraj(ukaz + 1, sizeof ukaz - 2, pot);
    size_t d = strlen(ukaz);
    ukaz[d] = '"';
    ukaz[d + 1] = 0;

    // It runs in the folder that holds it. A bare file name is completed
    // from Kolvena's current directory, as CreateProcessA completes it, so
    // that directory is its folder.
    char mapa[sizeof m_polje[0].pot];
    char *ime = NULL;
    DWORD n = GetFullPathNameA(pot, sizeof mapa, mapa, &ime);
    const char *v_mapi = NULL;
    if (n > 0 && n < sizeof mapa && ime != NULL) {
        *ime = 0;           // the folder and its final backslash: "C:\" for the root
        v_mapi = mapa;
    }

    // A start-up record of its own: Kolvena's, from a shortcut set to run
    // minimised, would open every program minimised.
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;

    // Normal priority: without a class of its own a program started by an
    // idle-class process is idle too.
    if (CreateProcessA(pot, ukaz, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, v_mapi, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        MessageBoxA(NULL, "Programa ne morem izvesti", "Menu", MB_OK | MB_TASKMODAL);
    }
}

static void nastavitve(void)
{
    // One settings dialog at a time: a second one would edit a list that its
    // list box no longer mirrors.
    if (dlg_odprt != NULL) {
        SetForegroundWindow(dlg_odprt);
        return;
    }
    DialogBoxParamA(ghInst, MAKEINTRESOURCEA(IDD_NASTAVITVE), NULL, Dlg_proc, 0);
}

// Appends the program entries (text, or pictures in picture mode) and the
// fixed items to popup. Returns the number of pictures stored in slike.
int sestavi_menu(HWND hwnd, HMENU popup, HBITMAP slike[MAX_VNOSOV])
{
    int nslik = 0;
    if (icn_kljuka == 1) {
        HDC hdc = GetDC(hwnd);
        for (int i = 0; IDM_PRVI_PROGRAM + i < IDx && i < MAX_VNOSOV; i++)
            slike[nslik++] = naredi_sliko(hdc, popup, i);
        ReleaseDC(hwnd, hdc);
    } else {
        for (int i = 0; IDM_PRVI_PROGRAM + i < IDx && i < MAX_VNOSOV; i++)
            AppendMenuA(popup, MF_STRING, IDM_PRVI_PROGRAM + i, m_polje[i].opis);
    }

    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_NAJDI, " Najdi... ");
    AppendMenuA(popup, MF_STRING, IDM_OHRANJEVALNIK, " Ohranjevalnik zaslona ");
    AppendMenuA(popup, MF_STRING, IDM_ZAUSTAVITEV, " Zaustavitev sistema ");
    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_NASTAVITVE, " Nastavitve ");
    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_IZHOD, " Izhod ");
    return nslik;
}

void Prikazi_Menu(HWND hwnd)
{
    // This call's own menus: a nested call overwrites the globals.
    HMENU holder = CreateMenu();
    hmenu1 = holder;
    HMENU popup = CreateMenu();
    hpopup1 = popup;

    HBITMAP slike[MAX_VNOSOV];
    int nslik = sestavi_menu(hwnd, popup, slike);

    AppendMenuA(holder, MF_POPUP, (UINT_PTR)popup, " ");

    POINT pt;
    GetCursorPos(&pt);
    int izbira = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_VERTICAL, pt.x, pt.y, 0, hwnd, NULL);

    for (int c = IDM_PRVI_PROGRAM; c < IDx; c++)
        if (c == izbira)
            zazeni(m_polje[c - IDM_PRVI_PROGRAM].pot);

    switch (izbira) {
    case IDM_NASTAVITVE:
        nastavitve();
        break;
    case IDM_IZHOD:
        MSHookStop();
        DestroyWindow(hwnd);
        break;
    case IDM_ZAUSTAVITEV:
        zaustavitev();
        break;
    case IDM_NAJDI:
        ShellExecuteA(hwnd, "find", "c:", NULL, NULL, SW_SHOWNORMAL);
        break;
    case IDM_OHRANJEVALNIK:
        PostMessageA(hwnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        break;
    }

    DestroyMenu(holder);
    for (int i = 0; i < nslik; i++)
        DeleteObject(slike[i]);
    ldown = 0;
}
