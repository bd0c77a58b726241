// Launcher menu: built from the program list at every opening, tracked at the
// cursor, the choice carried out, and the system actions it carries out. The
// entries' pictures are drawn in menu_slike.cpp, programs started in
// menu_zagon.cpp.
#include "menu.h"

#include "config_list.h"
#include "dialog.h"
#include "klici.h"
#include "menu_zagon.h"
#include "oznake.h"
#include "shell_hook.h"

HMENU hmenu1;
HMENU hpopup1;

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

// The shutdown privilege enabled, then the shutdown requested; false when
// the system refused the request.
static bool ShutDown(void);

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

static bool ShutDown(void)
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

// ---- the menu ----

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
// fixed items to o->popup, for a menu that opens at `kje` (at the cursor
// where that is NULL).
void sestavi_menu(HWND hwnd, Odprtje *o, const POINT *kje)
{
    HMENU popup = o->popup;
    o->nslik = 0;
    o->vnosov = 0;
    if (icn_kljuka == 1) {
        sestavi_slike(hwnd, o, kje);
    } else {
        for (int i = 0; IDM_PRVI_PROGRAM + i < IDx && i < MAX_VNOSOV; i++) {
            kopiraj(o->opis[i], sizeof o->opis[i], m_polje[i].opis);
            AppendMenuA(popup, MF_STRING, IDM_PRVI_PROGRAM + i, o->opis[i]);
            o->vnosov++;
        }
    }

    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_NAJDI, " Najdi... ");
    AppendMenuA(popup, MF_STRING, IDM_OHRANJEVALNIK, " Ohranjevalnik zaslona ");
    AppendMenuA(popup, MF_STRING, IDM_ZAUSTAVITEV, " Zaustavitev sistema ");
    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_NASTAVITVE, " Nastavitve ");
    AppendMenuA(popup, MF_SEPARATOR, 0, NULL);
    AppendMenuA(popup, MF_STRING, IDM_IZHOD, " Izhod ");
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

// The window after m (the first where m is NULL) of a menu that this
// thread shows; NULL after the last.
static HWND okno_menija(HWND m)
{
    while ((m = FindWindowExA(NULL, m, RAZRED_MENIJA, NULL)) != NULL)
        if (GetWindowThreadProcessId(m, NULL) == GetCurrentThreadId() && IsWindowVisible(m))
            return m;
    return NULL;
}

// Whether the hook's point pt lies on the menu's window m. The low-level
// hook gives it in physical pixels ("per-monitor aware screen coordinates",
// MSLLHOOKSTRUCT, on Microsoft Learn); GetWindowRect answers in Kolvena's
// own space, which is logical where Kolvena is not per-monitor aware
// (Windows 8.1 and Windows 10 before 1703, which have no per-monitor v2, or
// "Override high DPI scaling" in the file's properties) and differs from
// the physical one on a monitor whose scaling is not the system's. So the
// point is turned into the window's space by the window's own transform,
// which changes nothing for a per-monitor-aware window. The conversion
// takes only a point on the window (PhysicalToLogicalPoint, Remarks): one
// it refuses is beside this window. Before Windows 8.1 every monitor has
// the system's DPI, and the two spaces are one.
static bool na_meniju(HWND m, POINT pt)
{
    najdi_klice();
    if (pPhysicalToLogicalPointForPerMonitorDPI != NULL &&
        !pPhysicalToLogicalPointForPerMonitorDPI(m, &pt))
        return false;
    RECT r;
    return GetWindowRect(m, &r) && PtInRect(&r, pt);
}

void meni_pritisk(LPARAM lParam)
{
    if (odprt_st == 0 || sprejet_st != odprt_st)
        return;
    // The hooks post 16 bits of each coordinate; left of or above the main
    // monitor they are negative.
    POINT pt = { (SHORT)LOWORD(lParam), (SHORT)HIWORD(lParam) };
    for (HWND m = okno_menija(NULL); m != NULL; m = okno_menija(m)) {
        if (na_meniju(m, pt))
            return;   // on the menu: the menu's own
    }
    EndMenu();
}

// A menu draws its items again only when its window is repainted: a
// picture changed in place shows then.
void osvezi_menije(void)
{
    for (HWND m = okno_menija(NULL); m != NULL; m = okno_menija(m))
        InvalidateRect(m, NULL, FALSE);
}

// ---- letters ----
//
// No item has an & mnemonic, and a picture entry has no text at all: a
// letter typed in the open menu reaches the owner as WM_MENUCHAR. The
// letter of a program entry is the first character of its description
// after its leading blanks, capital and small alike. The fixed commands
// have none, so that a letter picks programs only and never runs " Izhod "
// or " Zaustavitev sistema ". The entries are those the build drew: the
// list may have changed since (a settings dialog opened from a nested
// menu while the build's box was up).

static const Odprtje *sledeno;   // the opening being tracked; NULL: none

// The entry (0-based) that the item at position `pos` of menu m shows, of
// the first `vnosov` entries; -1 for a fixed item or a separator.
static int vnos_na(HMENU m, int pos, int vnosov)
{
    UINT id = GetMenuItemID(m, pos);
    return id >= (UINT)IDM_PRVI_PROGRAM && id < (UINT)(IDM_PRVI_PROGRAM + vnosov)
               ? (int)(id - IDM_PRVI_PROGRAM)
               : -1;
}

// `c` as a capital of the ANSI code page.
static char velika(char c)
{
    CharUpperBuffA(&c, 1);
    return c;
}

static char crka_opisa(const char *opis)
{
    while (*opis == ' ')
        opis++;
    return velika(*opis);
}

// One entry with the letter runs (MNC_EXECUTE); of several, the next one
// after the highlighted item, round the menu, is highlighted (MNC_SELECT);
// none: MNC_IGNORE, and Windows beeps. The low word is the item's position.
LRESULT crka_menija(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    HMENU m = (HMENU)lParam;
    if (m == NULL || sledeno == NULL || m != sledeno->popup)
        return DefWindowProcA(hwnd, WM_MENUCHAR, wParam, lParam);
    const char crka = velika((char)LOWORD(wParam));
    const int n = GetMenuItemCount(m), vnosov = sledeno->vnosov;
    int izbran = -1;
    for (int i = 0; i < n; i++)
        if (GetMenuState(m, i, MF_BYPOSITION) & MF_HILITE)
            izbran = i;
    int zadetkov = 0, prvi = 0;
    for (int k = 1; k <= n && crka != 0; k++) {
        int i = (izbran + k) % n;
        int v = vnos_na(m, i, vnosov);
        if (v >= 0 && crka_opisa(sledeno->opis[v]) == crka && zadetkov++ == 0)
            prvi = i;
    }
    if (zadetkov == 0)
        return MAKELRESULT(0, MNC_IGNORE);
    return MAKELRESULT(prvi, zadetkov == 1 ? MNC_EXECUTE : MNC_SELECT);
}

// ---- the picture entries' names for screen readers (oznake.h) ----

// Each picture entry of o's popup named by its description as drawn. The
// child id of a menu item is its position from the top, counted from 1
// ("Pop-up Menu", Microsoft Active Accessibility's UI element reference, on
// Microsoft Learn).
static void poimenuj_slike(HMENU popup, const Odprtje &o)
{
    IAccPropServices *s = storitve_oznak();
    const int n = s != NULL ? GetMenuItemCount(popup) : 0;
    for (int i = 0; i < n; i++) {
        int v = vnos_na(popup, i, o.nslik);
        wchar_t ime[sizeof o.opis[0]];
        if (v >= 0 && MultiByteToWideChar(CP_ACP, 0, o.opis[v], -1, ime, ARRAYSIZE(ime)) > 0)
            s->SetHmenuPropStr(popup, i + 1, PROPID_ACC_NAME, ime);
    }
}

// The names let go before the menu is destroyed: a later menu may get the
// same handle. The list may have changed since the build (the dialog), so
// the entries are those that the build made.
static void pozabi_imena_slik(HMENU popup, int vnosov)
{
    const int n = oznake != NULL ? GetMenuItemCount(popup) : 0;
    for (int i = 0; i < n; i++)
        if (vnos_na(popup, i, vnosov) >= 0)
            oznake->ClearHmenuProps(popup, i + 1, &PROPID_ACC_NAME, 1);
}

int Prikazi_Menu(HWND hwnd, const POINT *kje)
{
    // This call's own menus: a nested call overwrites the globals.
    HMENU holder = CreateMenu();
    hmenu1 = holder;
    HMENU popup = CreateMenu();
    hpopup1 = popup;

    Odprtje o = {};
    o.popup = popup;
    sestavi_menu(hwnd, &o, kje);
    if (o.nslik > 0)
        poimenuj_slike(popup, o);

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
    const Odprtje *prej_sledeno = sledeno;
    sledeno = &o;
    if (++stevec == 0)
        stevec = 1;
    odprt_st = stevec;
    PostMessageA(hwnd, MENI_ODPRT, odprt_st, 0);
    if (o.nslik > 0)
        spremljaj_pozne_ikone(hwnd, &o);
    // A box of the build took the foreground, and Windows gave it on to
    // another window when the box closed, never to this hidden one; a menu
    // whose owner is not in the foreground takes no keys and does not close
    // at a click beside it (TrackPopupMenu, Remarks). Asked for again here:
    // the user's answer to the box was the last input, which lets Kolvena
    // have it (SetForegroundWindow, Remarks).
    if (o.sporocilo)
        SetForegroundWindow(hwnd);
    int izbira = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_VERTICAL, pt.x, pt.y, 0, hwnd, NULL);
    // The menu is gone: an icon that comes after this is given back.
    koncaj_slike(hwnd, &o);
    odprt_st = prej_odprt;
    sprejet_st = prej_sprejet;
    sledeno = prej_sledeno;
    // Without a message after it, a menu whose owner is the foreground window
    // appears the second time and at once disappears.
    PostMessageA(hwnd, WM_NULL, 0, 0);

    // The entry as this build drew it: a settings dialog opened from a menu
    // asked for while the build's box was up may have changed the list.
    for (int i = 0; i < o.vnosov; i++)
        if (izbira == IDM_PRVI_PROGRAM + i)
            zacni_v_ozadju(hwnd, o.nslik > 0 ? o.pot[i] : m_polje[i].pot);

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
        // "c:" alone names the current folder of drive C:, Kolvena's own (the
        // Windows directory); the "find" verb begins its search in
        // lpDirectory (ShellExecuteA, on Microsoft Learn): the drive's root.
        ShellExecuteA(hwnd, "find", "c:", NULL, "C:\\", SW_SHOWNORMAL);
        break;
    case IDM_OHRANJEVALNIK:
        PostMessageA(hwnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        break;
    }

    if (o.nslik > 0)
        pozabi_imena_slik(popup, o.nslik);
    DestroyMenu(holder);
    for (int i = 0; i < o.nslik; i++)
        DeleteObject(o.slike[i]);
    ldown = 0;
    return izbira;
}
