// The launcher menu's pictures: each entry drawn as its program's icon and
// its description, for the DPI of the monitor where the menu opens.
#include "NTpopup.h"

#include <string.h>

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

// The first icon of the program stored at `shranjena` (read where
// pot_brez_preusmeritve finds it), `stran` pixels square: at 96 DPI ExtractIconA's
// 32 x 32; otherwise the file's own image of that size where it has one
// (the nearest one scaled where it has not).
HICON izvleci_ikono(const char *shranjena, int stran)
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

// An image list for one icon of `stran` pixels; NULL without comctl32.
static HIMAGELIST seznam_za_ikono(int stran)
{
    if (!comctl32_nalozen())
        return NULL;
    return pImageList_Create(stran, stran, ILC_MASK, IKON_NA_SEZNAMU, RAST_SEZNAMA);
}

// Draws ikona at the left of the picture selected into mem, through il, an
// image list made for it: with its mask, so that its transparent parts show
// the background. Nothing where either is missing or the icon's bitmaps
// cannot be had.
static void narisi_ikono(HDC mem, HIMAGELIST il, HICON ikona)
{
    ICONINFO ii;
    ZeroMemory(&ii, sizeof ii);
    if (ikona != NULL && GetIconInfo(ikona, &ii) && il != NULL) {
        pImageList_Add(il, ii.hbmColor, ii.hbmMask);
        pImageList_Draw(il, SLIKA_IKONE, mem, 0, 0, ILD_NORMAL);
    }
    if (ii.hbmColor != NULL)
        DeleteObject(ii.hbmColor);
    if (ii.hbmMask != NULL)
        DeleteObject(ii.hbmMask);
}

// Draws entry i as a picture for a screen of `dpi` (200 x 32 at 96 DPI: menu
// colour, the program's icon at the left, its description beside it, in
// `pisava`, or the default font when it is NULL) and appends it to popup.
// `ikona` is what the file answered (NULL: it has no icon), `odgovor` false
// where it has not answered yet: the picture is then drawn without an icon
// and without a word, and the icon is drawn into it if it comes while the
// menu is open. Returns the picture, which lives until the menu has been
// destroyed.
static HBITMAP naredi_sliko(HDC hdcOkno, HMENU popup, int i, int dpi, HFONT pisava, HICON ikona,
                            bool odgovor)
{
    const bool pri_96 = dpi == USER_DEFAULT_SCREEN_DPI;
    const int sirina = po_dpi(SLIKA_W, dpi), visina = po_dpi(SLIKA_H, dpi);
    HDC mem = CreateCompatibleDC(hdcOkno);
    HIMAGELIST il = seznam_za_ikono(po_dpi(IKONA_V, dpi));
    if (odgovor && ikona == NULL)
        MessageBoxA(NULL, "Napaka pri prikazu ikone", "Napaka", MB_OK);

    // Resource 11 is a blank 200 x 32 canvas, which the fill covers: at any
    // other scale a blank of the scaled size serves, drawn on directly.
    HBITMAP slika = pri_96 ? LoadBitmapA(ghInst, MAKEINTRESOURCEA(IDB_PLATNO))
                           : CreateCompatibleBitmap(hdcOkno, sirina, visina);
    HGDIOBJ prej_slika = SelectObject(mem, slika);
    HBRUSH copic = CreateSolidBrush(GetSysColor(COLOR_MENU));
    HGDIOBJ prej_copic = SelectObject(mem, copic);
    RECT r = { 0, 0, sirina, visina };
    FillRect(mem, &r, copic);

    narisi_ikono(mem, il, ikona);
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
    return slika;
}

// While an open menu has entries whose files have not answered, their
// answers are looked for this often and drawn into the menu: soon enough to
// look immediate, seldom enough to cost nothing.
constexpr UINT POZNE_IKONE_MS = 50;
constexpr UINT_PTR TIMER_POZNE_IKONE = 667;

// Draws the pictures of every entry into o (its popup, its pictures), for a
// menu that opens at `kje` (at the cursor where that is NULL). The files are
// read by the readers (menu_bralci.cpp); the build waits for them at most
// KRATKO_CAKANJE_MS.
void sestavi_slike(HWND hwnd, Odprtje *o, const POINT *kje)
{
    const DWORD zacetek = GetTickCount();
    HDC hdc = GetDC(hwnd);
    // Drawn anew at every opening for the monitor it opens on; at 96 DPI
    // in the drawing context's default font, as ever.
    int dpi = dpi_pod_kazalcem(hdc, kje);
    HFONT pisava = dpi == USER_DEFAULT_SCREEN_DPI ? NULL : pisava_menija(hdc, dpi);
    o->nslik = 0;
    o->odprt = false;
    o->stran = po_dpi(IKONA_V, dpi);
    for (int i = 0; IDM_PRVI_PROGRAM + i < IDx && i < MAX_VNOSOV; i++) {
        kopiraj(o->pot[i], sizeof o->pot[i], m_polje[i].pot);
        o->caka[i] = true;
        o->nslik++;
    }
    zahtevaj_ikone(o);

    HICON ikone[MAX_VNOSOV] = {}, nove[MAX_VNOSOV];
    bool novo[MAX_VNOSOV];
    while (caka_ikone(o) && pocakaj_ikone(o, zacetek, KRATKO_CAKANJE_MS)) {
        prevzemi_ikone(o, nove, novo);
        for (int i = 0; i < o->nslik; i++)
            if (novo[i])
                ikone[i] = nove[i];
    }
    for (int i = 0; i < o->nslik; i++) {
        o->slike[i] = naredi_sliko(hdc, o->popup, i, dpi, pisava, ikone[i], !o->caka[i]);
    }
    vrni_ikone(ikone);
    ReleaseDC(hwnd, hdc);
    if (pisava != NULL)
        DeleteObject(pisava);
}

// Draws an icon that came late into the picture of its entry.
static void dorisi_ikono(HBITMAP slika, HICON ikona, int stran)
{
    HDC mem = CreateCompatibleDC(NULL);
    HIMAGELIST il = seznam_za_ikono(stran);
    HGDIOBJ prej = SelectObject(mem, slika);
    narisi_ikono(mem, il, ikona);
    SelectObject(mem, prej);
    DeleteDC(mem);
    if (il != NULL)
        pImageList_Destroy(il);
}

// The open menu's late answers: each icon drawn into its entry's picture,
// in place, and the menu's windows repainted (the menu draws a bitmap item
// anew only when its window is repainted). A file that answered with no
// icon changes nothing: no box comes while the menu is open.
static void CALLBACK pozne_ikone(HWND hwnd, UINT, UINT_PTR, DWORD)
{
    Odprtje *o = tekoce_odprtje();
    if (o == NULL || !caka_ikone(o))
        KillTimer(hwnd, TIMER_POZNE_IKONE);
    // A menu still being built (one asked for while this one is open) takes
    // its answers itself.
    if (o == NULL || !o->odprt)
        return;
    HICON ikone[MAX_VNOSOV];
    bool novo[MAX_VNOSOV];
    if (prevzemi_ikone(o, ikone, novo) == 0)
        return;
    for (int i = 0; i < o->nslik; i++)
        if (novo[i] && ikone[i] != NULL)
            dorisi_ikono(o->slike[i], ikone[i], o->stran);
    vrni_ikone(ikone);
    osvezi_menije();
}

// The late answers looked for while the current opening's menu is shown
// and waits for any.
static void isci_pozne(HWND hwnd)
{
    Odprtje *o = tekoce_odprtje();
    if (o != NULL && o->odprt && caka_ikone(o))
        SetTimer(hwnd, TIMER_POZNE_IKONE, POZNE_IKONE_MS, pozne_ikone);
    else
        KillTimer(hwnd, TIMER_POZNE_IKONE);
}

void spremljaj_pozne_ikone(HWND hwnd)
{
    Odprtje *o = tekoce_odprtje();
    if (o != NULL)
        o->odprt = true;
    isci_pozne(hwnd);
}

void koncaj_slike(HWND hwnd, Odprtje *o)
{
    odjavi_ikone(o);
    // The opening this one interrupted, if its menu is shown, goes on
    // looking for its answers; one still being built takes them itself.
    isci_pozne(hwnd);
}
