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

// Sizes of a picture at 96 DPI (100 % scaling): the icon's side and where the
// description begins. On a screen of another DPI each is times DPI / 96.
constexpr int IKONA_V = 32, OPIS_X = 40, OPIS_Y = 10;

// The program's icon: its file's first one, alone in its image list, which
// needs room for no more.
constexpr int PRVA_IKONA = 0;
constexpr int IKON_NA_SEZNAMU = 1, RAST_SEZNAMA = 1;
constexpr int SLIKA_IKONE = 0;   // the icon's place in its image list

static int po_dpi(int n, int dpi)
{
    return MulDiv(n, dpi, USER_DEFAULT_SCREEN_DPI);
}

HRESULT (WINAPI *pGetDpiForMonitor)(HMONITOR, MONITOR_DPI_TYPE, UINT *, UINT *);
UINT (WINAPI *pPrivateExtractIconsA)(LPCSTR, int, int, int, HICON *, UINT *, UINT, UINT);
BOOL (WINAPI *pSystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT);

void najdi_dpi_klice(void)
{
    static bool poskuseno = false;
    if (poskuseno)
        return;
    poskuseno = true;
    // Windows 8.1 and later: every monitor has a DPI of its own.
    poisci_funkcijo(nalozi_sistemsko("shcore.dll"), "GetDpiForMonitor", pGetDpiForMonitor);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    // Windows 2000 and later; Microsoft keeps the right to change or drop it,
    // hence the fallback.
    poisci_funkcijo(user32, "PrivateExtractIconsA", pPrivateExtractIconsA);
    // Windows 10 1607 and later.
    poisci_funkcijo(user32, "SystemParametersInfoForDpi", pSystemParametersInfoForDpi);
}

// The DPI of the monitor where the menu opens: at `kje`, or under the cursor
// where that is NULL. Where monitors have no DPI of their own (before
// Windows 8.1), the screen's.
int dpi_pod_kazalcem(HDC hdcOkno, const POINT *kje)
{
    najdi_dpi_klice();
    POINT pt;
    UINT dpi_x, dpi_y;
    if (kje != NULL)
        pt = *kje;
    if (pGetDpiForMonitor != NULL && (kje != NULL || GetCursorPos(&pt)) &&
        SUCCEEDED(pGetDpiForMonitor(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST),
                                    MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)))
        return (int)dpi_y;
    return GetDeviceCaps(hdcOkno, LOGPIXELSY);
}

// The menu font as the system draws menus at dpi. Before Windows 10 1607
// the metrics come at the system's DPI and are scaled from it.
static HFONT pisava_menija(HDC hdcOkno, int dpi)
{
    NONCLIENTMETRICSW m;
    m.cbSize = sizeof m;
    if (pSystemParametersInfoForDpi != NULL &&
        pSystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0, (UINT)dpi))
        return CreateFontIndirectW(&m.lfMenuFont);

    // Without the padded border's width, the structure as every system takes it.
    NONCLIENTMETRICSA s;
    s.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, s.cbSize, &s, 0))
        return NULL;
    s.lfMenuFont.lfHeight = MulDiv(s.lfMenuFont.lfHeight, dpi, GetDeviceCaps(hdcOkno, LOGPIXELSY));
    return CreateFontIndirectA(&s.lfMenuFont);
}

// ---- the system directory of a 32-bit Kolvena on 64-bit Windows ----

BOOL (WINAPI *pIsWow64Process)(HANDLE, PBOOL);

// Whether Kolvena runs as a 32-bit program on 64-bit Windows. IsWow64Process
// is looked up: Windows XP SP2 and later.
static bool pod_wow64(void)
{
    if (pIsWow64Process == NULL)
        poisci_funkcijo(GetModuleHandleA("kernel32.dll"), "IsWow64Process", pIsWow64Process);
    BOOL wow = FALSE;
    return pIsWow64Process != NULL && pIsWow64Process(GetCurrentProcess(), &wow) && wow;
}

// Whether the first n bytes of a and b name the same folder: as the file
// system compares names, each letter as its capital, then byte for byte.
static bool ista_mapa(const char *a, const char *b, DWORD n)
{
    char x[MAX_PATH], y[MAX_PATH];
    if (n > sizeof x)
        return false;
    memcpy(x, a, n);
    memcpy(y, b, n);
    CharUpperBuffA(x, n);
    CharUpperBuffA(y, n);
    return memcmp(x, y, n) == 0;
}

// The system directory's name for 32-bit programs that want the real one.
constexpr char SYSNATIVE[] = "Sysnative";

// The path at which Kolvena reaches the program at `pot`. Windows redirects
// a 32-bit program's every access to the system directory (System32) to
// SysWOW64: a program there that has a 32-bit twin would start as the twin,
// one that exists only in 64 bits would not be found. The real directory is
// %windir%\Sysnative to a 32-bit program. So a path in the system directory
// (or below it) whose file is there is written into `izhod` under Sysnative;
// every other path, and every path in the 64-bit build (which is not
// redirected and has no Sysnative), is `pot` itself.
static const char *pot_brez_preusmeritve(const char *pot, char *izhod, size_t velikost)
{
    if (!pod_wow64())
        return pot;
    char sistem[MAX_PATH], polna[MAX_PATH];
    UINT ns = GetSystemDirectoryA(sistem, sizeof sistem);
    DWORD np = GetFullPathNameA(pot, sizeof polna, polna, NULL);
    char *mapa_sistema = ns > 0 && ns < sizeof sistem ? strrchr(sistem, '\\') : NULL;
    if (mapa_sistema == NULL || np <= ns || np >= sizeof polna || polna[ns] != '\\' ||
        !ista_mapa(polna, sistem, ns))
        return pot;
    // "C:\Windows\" + "Sysnative" + "\x.exe"
    size_t windows = (size_t)(mapa_sistema + 1 - sistem);
    if (windows + strlen(SYSNATIVE) + (np - ns) >= velikost)
        return pot;
    memcpy(izhod, sistem, windows);
    memcpy(izhod + windows, SYSNATIVE, strlen(SYSNATIVE));
    kopiraj(izhod + windows + strlen(SYSNATIVE), velikost - windows - strlen(SYSNATIVE), polna + ns);
    return GetFileAttributesA(izhod) != INVALID_FILE_ATTRIBUTES ? izhod : pot;
}

// The first icon of the program stored at `shranjena` (read where
// pot_brez_preusmeritve finds it), `stran` pixels square: at 96 DPI ExtractIconA's
// 32 x 32; otherwise the file's own image of that size where it has one
// (the nearest one scaled where it has not).
static HICON izvleci_ikono(const char *shranjena, int stran)
{
    char brez[MAX_PATH];
    const char *pot = pot_brez_preusmeritve(shranjena, brez, sizeof brez);
    if (stran == IKONA_V)
        return ExtractIconA(ghInst, pot, PRVA_IKONA);
    HICON ikona = NULL;
    if (pPrivateExtractIconsA == NULL) {
        ikona = ExtractIconA(ghInst, pot, PRVA_IKONA);
        return ikona == NULL ? NULL : (HICON)CopyImage(ikona, IMAGE_ICON, stran, stran, LR_COPYDELETEORG);
    }
    if (pPrivateExtractIconsA(pot, PRVA_IKONA, stran, stran, &ikona, NULL, IKON_NA_SEZNAMU,
                              LR_DEFAULTCOLOR) != IKON_NA_SEZNAMU)
        ikona = NULL;
    return ikona;
}

// Draws entry i as a picture for a screen of `dpi` (200 x 32 at 96 DPI: menu
// colour, the program's icon at the left, its description beside it, in
// `pisava`, or the default font when it is NULL) and appends it to popup.
// Returns the picture, which lives until the menu has been destroyed.
static HBITMAP naredi_sliko(HDC hdcOkno, HMENU popup, int i, int dpi, HFONT pisava)
{
    const bool pri_96 = dpi == USER_DEFAULT_SCREEN_DPI;
    const int sirina = po_dpi(SLIKA_W, dpi), visina = po_dpi(SLIKA_H, dpi);
    const int stran = po_dpi(IKONA_V, dpi);
    HDC mem = CreateCompatibleDC(hdcOkno);
    HIMAGELIST il = NULL;
    if (comctl32_nalozen())
        il = pImageList_Create(stran, stran, ILC_MASK, IKON_NA_SEZNAMU, RAST_SEZNAMA);
    HICON ikona = izvleci_ikono(m_polje[i].pot, stran);
    ICONINFO ii;
    ZeroMemory(&ii, sizeof ii);
    bool z_ikono = false;
    if (ikona == NULL)
        MessageBoxA(NULL, "Napaka pri prikazu ikone", "Napaka", MB_OK);
    else
        z_ikono = GetIconInfo(ikona, &ii) != FALSE;

    // Resource 11 is a blank 200 x 32 canvas, which the fill covers: at any
    // other scale a blank of the scaled size serves, drawn on directly.
    HBITMAP slika = pri_96 ? LoadBitmapA(ghInst, MAKEINTRESOURCEA(IDB_PLATNO))
                           : CreateCompatibleBitmap(hdcOkno, sirina, visina);
    HGDIOBJ prej_slika = SelectObject(mem, slika);
    HBRUSH copic = CreateSolidBrush(GetSysColor(COLOR_MENU));
    HGDIOBJ prej_copic = SelectObject(mem, copic);
    RECT r = { 0, 0, sirina, visina };
    FillRect(mem, &r, copic);

    if (z_ikono && il != NULL) {
        pImageList_Add(il, ii.hbmColor, ii.hbmMask);
        pImageList_Draw(il, SLIKA_IKONE, mem, 0, 0, ILD_NORMAL);
    }
    HGDIOBJ prej_pisava = pisava != NULL ? SelectObject(mem, pisava) : NULL;
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, GetSysColor(COLOR_MENUTEXT));   // readable in every colour scheme
    TextOutA(mem, po_dpi(OPIS_X, dpi), po_dpi(OPIS_Y, dpi), m_polje[i].opis, (int)strlen(m_polje[i].opis));

    AppendMenuA(popup, MF_BITMAP, IDM_PRVI_PROGRAM + i, (LPCSTR)slika);

    if (il != NULL)
        pImageList_Destroy(il);
    // Every object goes out of the context before it is deleted: the font
    // serves the next pictures, the brush is deleted next, and the picture
    // is the menu's to draw.
    if (prej_pisava != NULL)
        SelectObject(mem, prej_pisava);
    SelectObject(mem, prej_copic);
    SelectObject(mem, prej_slika);
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
constexpr WORD PODJEZIK_ZAUSTAVITVE = 9;
constexpr WORD JEZIK_ZAUSTAVITVE = MAKELANGID(LANG_SLOVENIAN, PODJEZIK_ZAUSTAVITVE);
static_assert(JEZIK_ZAUSTAVITVE == 0x2424, "the shutdown box's language");

// Ends Kolvena as " Izhod " does: the hook removed, then the window
// destroyed, which takes the icon out of the notification area and ends the
// message loop.
static void izhod(HWND hwnd)
{
    MSHookStop();
    DestroyWindow(hwnd);
}

// Only OK shuts down: Cancel, Escape and the close box refuse, and a box
// that could not be shown (0) has asked nobody. A request the system refuses
// ends Kolvena as " Izhod " does, not with the loop alone, which would leave
// its icon behind in the notification area.
static void zaustavitev(HWND hwnd)
{
    int odg = MessageBoxExA(NULL, " \n \n     Sistem se bo zaustavil !!!       \n \n \n",
                            " Zaustavitev Sistema ?? ", MB_OKCANCEL | MB_ICONEXCLAMATION,
                            JEZIK_ZAUSTAVITVE);
    if (odg == IDOK && !ShutDown())
        izhod(hwnd);
}

BOOL (WINAPI *zahtevaj_zaustavitev)(UINT, DWORD) = ExitWindowsEx;

// EWX_SHUTDOWN alone stops the system short of turning the power off, even
// where the machine can; EWX_POWEROFF turns it off. The programs are asked
// to end, not forced. The reason is logged with the shutdown: a planned one
// of the system's own list, "Other (Planned)" (without one the log says "No
// title for this reason could be found", unplanned).
constexpr UINT ZAUSTAVITEV_ZASTAVICE = EWX_SHUTDOWN | EWX_POWEROFF;
constexpr DWORD ZAUSTAVITEV_RAZLOG = SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_OTHER |
                                     SHTDN_REASON_MINOR_OTHER;

bool ShutDown(void)
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES tp, prej;
        DWORD dolzina = 0;
        if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
            tp.PrivilegeCount = 1;
            tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            AdjustTokenPrivileges(token, FALSE, &tp, sizeof prej, &prej, &dolzina);
            // ERROR_NOT_ALL_ASSIGNED when the user lacks the privilege. It is
            // read and let be: the request below is then refused by the
            // system itself, and that refusal ends Kolvena.
            GetLastError();
        }
        CloseHandle(token);
    } else {
        // Read and let be: without a token the request is made all the same,
        // and the system grants or refuses it.
        GetLastError();
    }
    return zahtevaj_zaustavitev(ZAUSTAVITEV_ZASTAVICE, ZAUSTAVITEV_RAZLOG) != FALSE;
}

// ---- the shell ----

// A started program may bring its window to the front only when the process
// that starts it hands it that right (AllowSetForegroundWindow). Kolvena,
// which has just had the click on its own menu, has the right to hand on.
static void dovoli_ospredje(DWORD pid)
{
    AllowSetForegroundWindow(pid);
}

HRESULT (WINAPI *pCoInitializeEx)(LPVOID, DWORD);
bool com_zacet;

// The shell may hand a verb to a shell extension, a COM object, so COM is
// initialised on the window's thread before its first call: in a
// single-threaded apartment, as the shell's objects want, without OLE 1's
// DDE. ole32 is loaded then rather than at start-up. It stays initialised
// for the thread's life.
static void zacni_com(void)
{
    if (com_zacet)
        return;
    com_zacet = true;
    if (pCoInitializeEx == NULL)
        poisci_funkcijo(nalozi_sistemsko("ole32.dll"), "CoInitializeEx", pCoInitializeEx);
    if (pCoInitializeEx != NULL)
        pCoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

// Starts a program whose manifest asks for administrator rights, which
// CreateProcess refuses (NAPAKA_POVZDIGNJENJE): the shell asks for
// consent, as Explorer does, and starts it in `mapa`, shown normally. A
// prompt the user cancels is his answer, not an error; the shell shows no
// error box of its own, Kolvena's says it. The program may bring its window
// to the front. Returns false when it could not be started.
static bool zazeni_s_soglasjem(const char *program, const char *mapa)
{
    zacni_com();
    SHELLEXECUTEINFOA sei;
    ZeroMemory(&sei, sizeof sei);
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.lpFile = program;
    sei.lpDirectory = mapa;
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&sei))
        return GetLastError() == ERROR_CANCELLED;
    if (sei.hProcess != NULL) {
        dovoli_ospredje(GetProcessId(sei.hProcess));
        CloseHandle(sei.hProcess);
    }
    return true;
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

    // The file is reached past the system directory's redirection; its
    // command line and folder stay those of the path as stored, which a
    // 64-bit program sees as they are (Sysnative is not there for it).
    char brez[MAX_PATH];
    const char *program = pot_brez_preusmeritve(pot, brez, sizeof brez);

    // Normal priority: without a class of its own a program started by an
    // idle-class process is idle too. Held until it has the right to the foreground: running, it could make
    // its first window before, and that window would open behind.
    bool zagnan = CreateProcessA(program, ukaz, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                                 NULL, v_mapi, &si, &pi) != FALSE;
    if (zagnan) {
        dovoli_ospredje(pi.dwProcessId);
        ResumeThread(pi.hThread);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else if (GetLastError() == NAPAKA_POVZDIGNJENJE) {
        zagnan = zazeni_s_soglasjem(program, v_mapi);
    }
    if (!zagnan)
        MessageBoxA(NULL, "Programa ne morem izvesti", "Menu", MB_OK | MB_TASKMODAL);
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
// fixed items to popup, for a menu that opens at `kje` (at the cursor where
// that is NULL). Returns the number of pictures stored in slike.
int sestavi_menu(HWND hwnd, HMENU popup, HBITMAP slike[MAX_VNOSOV], const POINT *kje)
{
    int nslik = 0;
    if (icn_kljuka == 1) {
        HDC hdc = GetDC(hwnd);
        // Drawn anew at every opening for the monitor it opens on; at 96 DPI
        // in the drawing context's default font, as ever.
        int dpi = dpi_pod_kazalcem(hdc, kje);
        HFONT pisava = dpi == USER_DEFAULT_SCREEN_DPI ? NULL : pisava_menija(hdc, dpi);
        for (int i = 0; IDM_PRVI_PROGRAM + i < IDx && i < MAX_VNOSOV; i++)
            slike[nslik++] = naredi_sliko(hdc, popup, i, dpi, pisava);
        ReleaseDC(hwnd, hdc);
        if (pisava != NULL)
            DeleteObject(pisava);
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

// ---- a press beside the menu ----
//
// A menu whose owner is not the foreground window does not close at a click
// beside it: Windows gives that click to the window under it. The desktop's
// chord and middle button are made over another program's window, and
// Windows may refuse Kolvena the foreground then. The hook reports every
// press, so the window procedure ends the menu at a press that lands beside
// it (meni_pritisk).
//
// A press that the hook posted before the menu opened is not beside it,
// though the window takes it only inside the menu's loop: the right press
// on the icon reaches the hook before the notification area calls Kolvena
// back. So each opening posts MENI_ODPRT with its number behind the
// messages waiting, and presses count from when the window has taken it.

static UINT odprt_st;     // the opening being tracked; 0: none
static UINT sprejet_st;   // the opening whose MENI_ODPRT the window has taken

// The window class of a tracked menu's windows.
constexpr char RAZRED_MENIJA[] = "#32768";

void meni_odprt(WPARAM st)
{
    // That of a nested call whose menu the system refused is left over.
    if ((UINT)st == odprt_st)
        sprejet_st = odprt_st;
}

void meni_pritisk(LPARAM lParam)
{
    if (odprt_st == 0 || sprejet_st != odprt_st)
        return;
    // The hooks post 16 bits of each coordinate; left of or above the main
    // monitor they are negative.
    POINT pt = { (SHORT)LOWORD(lParam), (SHORT)HIWORD(lParam) };
    for (HWND m = FindWindowExA(NULL, NULL, RAZRED_MENIJA, NULL); m != NULL;
         m = FindWindowExA(NULL, m, RAZRED_MENIJA, NULL)) {
        RECT r;
        if (GetWindowThreadProcessId(m, NULL) == GetCurrentThreadId() && IsWindowVisible(m) &&
            GetWindowRect(m, &r) && PtInRect(&r, pt))
            return;   // on the menu: the menu's own
    }
    EndMenu();
}

int Prikazi_Menu(HWND hwnd, const POINT *kje)
{
    // This call's own menus: a nested call overwrites the globals.
    HMENU holder = CreateMenu();
    hmenu1 = holder;
    HMENU popup = CreateMenu();
    hpopup1 = popup;

    HBITMAP slike[MAX_VNOSOV];
    int nslik = sestavi_menu(hwnd, popup, slike, kje);

    AppendMenuA(holder, MF_POPUP, (UINT_PTR)popup, " ");

    POINT pt;
    if (kje != NULL)
        pt = *kje;
    else
        GetCursorPos(&pt);

    // A nested call (a menu asked for while this one's dialog or box is up)
    // puts back the opening it found.
    static UINT stevec;
    const UINT prej_odprt = odprt_st, prej_sprejet = sprejet_st;
    if (++stevec == 0)
        stevec = 1;
    odprt_st = stevec;
    PostMessageA(hwnd, MENI_ODPRT, odprt_st, 0);
    int izbira = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_VERTICAL, pt.x, pt.y, 0, hwnd, NULL);
    odprt_st = prej_odprt;
    sprejet_st = prej_sprejet;
    // Without a message after it, a menu whose owner is the foreground window
    // appears the second time and at once disappears.
    PostMessageA(hwnd, WM_NULL, 0, 0);

    for (int c = IDM_PRVI_PROGRAM; c < IDx; c++)
        if (c == izbira)
            zazeni(m_polje[c - IDM_PRVI_PROGRAM].pot);

    switch (izbira) {
    case IDM_NASTAVITVE:
        nastavitve();
        break;
    case IDM_IZHOD:
        izhod(hwnd);
        break;
    case IDM_ZAUSTAVITEV:
        zaustavitev(hwnd);
        break;
    case IDM_NAJDI:
        zacni_com();
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
    return izbira;
}
