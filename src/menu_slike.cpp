// The launcher menu's pictures: each entry drawn as its program's icon and
// its description, for the DPI of the monitor where the menu opens.
#include "menu.h"

#include "config_list.h"
#include "klici.h"
#include "ozadje.h"
#include "poti.h"

#include <string.h>

// ---- pictures of the entries ----

// Sizes of a picture at 96 DPI (100 % scaling): the icon's side and where the
// description begins. On a screen of another DPI each is times DPI / 96.
constexpr int IKONA_V = 32, OPIS_X = 40, OPIS_Y = 10;

// The program's icon: its file's first one.
constexpr int PRVA_IKONA = 0;
constexpr UINT ENA_IKONA = 1;

static int po_dpi(int n, int dpi)
{
    return MulDiv(n, dpi, USER_DEFAULT_SCREEN_DPI);
}

// The DPI of the monitor where the menu opens: at `kje`, or under the cursor
// where that is NULL. Where monitors have no DPI of their own (before
// Windows 8.1), the screen's.
static int dpi_pod_kazalcem(HDC hdcOkno, const POINT *kje)
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
    HICON ikona = NULL;
    if (stran != IKONA_V && pPrivateExtractIconsA != NULL) {
        if (pPrivateExtractIconsA(pot, PRVA_IKONA, stran, stran, &ikona, NULL, ENA_IKONA,
                                  LR_DEFAULTCOLOR) != ENA_IKONA)
            ikona = NULL;
        return ikona;
    }
    ikona = ExtractIconA(ghInst, pot, PRVA_IKONA);
    // ExtractIconA answers 1 for a file that is no executable, DLL or icon
    // file: that file has no icon, and 1 is no handle to draw or destroy.
    if (ikona == (HICON)1)
        ikona = NULL;
    if (ikona != NULL && stran != IKONA_V)
        ikona = (HICON)CopyImage(ikona, IMAGE_ICON, stran, stran, LR_COPYDELETEORG);
    return ikona;
}

// One build's drawing things: the memory context that every picture is
// drawn in, with the description's font selected, and the brush of the
// menu colour. One set serves all the pictures of a build and the late
// icons drawn into them.
struct Risanje {
    HDC mem;
    HBRUSH copic;
    HGDIOBJ prej_slika, prej_pisava;
};

static void zacni_risanje(Risanje &r, HDC hdcOkno, HFONT pisava)
{
    r.mem = CreateCompatibleDC(hdcOkno);
    r.copic = CreateSolidBrush(GetSysColor(COLOR_MENU));
    r.prej_slika = NULL;
    r.prej_pisava = pisava != NULL ? SelectObject(r.mem, pisava) : NULL;
    SetBkMode(r.mem, TRANSPARENT);
    SetTextColor(r.mem, GetSysColor(COLOR_MENUTEXT));   // readable in every colour scheme
}

// The picture selected into the build's context for drawing; the one before
// goes out of it, as the menu draws only pictures that no context holds.
static void izberi(Risanje &r, HBITMAP slika)
{
    HGDIOBJ prej = SelectObject(r.mem, slika);
    if (r.prej_slika == NULL)
        r.prej_slika = prej;
}

static void koncaj_risanje(Risanje &r)
{
    // Every object goes out of the context before it is deleted: the font
    // is the caller's, and the picture is the menu's to draw.
    if (r.prej_pisava != NULL)
        SelectObject(r.mem, r.prej_pisava);
    if (r.prej_slika != NULL)
        SelectObject(r.mem, r.prej_slika);
    DeleteDC(r.mem);
    DeleteObject(r.copic);
}

// Every picture is a device-dependent bitmap: LoadBitmapA "creates a
// compatible bitmap of the display" (its page on Microsoft Learn), and
// CreateCompatibleBitmap one of the same kind at other scales. Windows
// copies such a bitmap as it is. The alpha blending that Vista's themed
// menus offer for menu bitmaps ("Vista Style Menus, Part 1", Microsoft's
// shell team) is made for 32-bit ARGB DIB sections, whose alpha bytes
// FillRect and TextOutA would leave at 0; none is handed to the menu.
//
// Makes entry i's picture for a screen of `dpi` (200 x 32 at 96 DPI) in the
// build's context: the menu colour, and the description beside the place
// of the icon, which is drawn when its file answers. Returns the picture,
// which lives until the menu has been destroyed; NULL where it could not be
// made (GDI's quota spent), and nothing is drawn then.
static HBITMAP naredi_sliko(Risanje &r, HDC hdcOkno, const char *opis, int dpi)
{
    const int sirina = po_dpi(SLIKA_W, dpi), visina = po_dpi(SLIKA_H, dpi);
    // At 96 DPI the canvas is resource 11, a blank 200 x 32 bitmap that the
    // fill covers, loaded for each entry; at other scales it is the wrong
    // size, and a blank one of the screen's size serves.
    HBITMAP slika = dpi == USER_DEFAULT_SCREEN_DPI
                        ? LoadBitmapA(ghInst, MAKEINTRESOURCEA(IDB_PLATNO))
                        : CreateCompatibleBitmap(hdcOkno, sirina, visina);
    if (slika == NULL)
        return NULL;   // selecting NULL would leave another's picture selected
    izberi(r, slika);
    RECT pravokotnik = { 0, 0, sirina, visina };
    FillRect(r.mem, &pravokotnik, r.copic);
    TextOutA(r.mem, po_dpi(OPIS_X, dpi), po_dpi(OPIS_Y, dpi), opis, (int)strlen(opis));
    return slika;
}

// ---- the openings and their icons ----
//
// Every opening of the menu in picture mode is an Odprtje on the stack of
// its Prikazi_Menu, made, read and ended by the window's thread alone. The
// one being built or tracked is `tekoce`; through `prejsnje` it leads to
// those it interrupted (a menu asked for while a build's box is up). The
// readers are asked for files (prosi_ikono); their answers stay in their
// table while any opening of the chain is up, so that each opening of it
// takes from there what it waits for, and are given back when the last one
// ends (pozabi_ikone): nothing is kept from one menu to the next.

static Odprtje *tekoce;

// Asks for the files that o still waits for.
static void prosi_za(HWND hwnd, const Odprtje *o)
{
    for (int i = 0; i < o->nslik; i++)
        if (o->caka[i])
            prosi_ikono(hwnd, o->pot[i], o->stran);
}

// The answers o waits for that have come: each icon drawn into its entry's
// picture in r's context; an entry whose file has no icon is marked in
// brez_ikone where the caller tells of it (NULL: nothing is said). Returns
// the number of icons drawn.
static int vzemi_odgovore(Odprtje *o, Risanje &r, bool *brez_ikone)
{
    int narisanih = 0;
    for (int i = 0; i < o->nslik; i++) {
        HICON ikona;
        if (!o->caka[i] || !ikona_prebrana(o->pot[i], o->stran, &ikona))
            continue;
        o->caka[i] = false;
        if (ikona == NULL && brez_ikone != NULL)
            brez_ikone[i] = true;
        if (ikona == NULL || o->slike[i] == NULL)
            continue;
        // All the icon's colours, blended by its alpha channel (or cut by
        // its mask) over the background, as Windows draws icons.
        izberi(r, o->slike[i]);
        DrawIconEx(r.mem, 0, 0, ikona, o->stran, o->stran, 0, NULL, DI_NORMAL);
        narisanih++;
    }
    return narisanih;
}

static bool caka_ikone(const Odprtje *o)
{
    for (int i = 0; i < o->nslik; i++)
        if (o->caka[i])
            return true;
    return false;
}

// Draws the pictures of every entry into o (its popup, its pictures), for a
// menu that opens at `kje` (at the cursor where that is NULL). The files are
// read by the readers (menu_bralci.cpp), while this thread draws the
// pictures without their icons; each icon is drawn as its answer comes. The
// build waits for them at most KRATKO_CAKANJE_MS; then it tells of the
// files without an icon, in list order, and appends the pictures.
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
        // Full here, on the window's thread (polna_pot): a path that cannot
        // be made full is read as none, and told of as a file without an icon.
        if (!polna_pot(m_polje[i].pot, o->pot[i], sizeof o->pot[i]))
            o->pot[i][0] = '\0';
        o->caka[i] = true;
        kopiraj(o->opis[i], sizeof o->opis[i], m_polje[i].opis);
        o->nslik++;
    }
    o->vnosov = o->nslik;
    // A new menu reads every icon anew; one inside another takes the
    // readers from it until it ends.
    if (tekoce == NULL)
        pozabi_ikone();
    o->prejsnje = tekoce;
    tekoce = o;
    opusti_vrsto();
    prosi_za(hwnd, o);

    Risanje r;
    zacni_risanje(r, hdc, pisava);
    for (int i = 0; i < o->nslik; i++)
        o->slike[i] = naredi_sliko(r, hdc, o->opis[i], dpi);
    bool brez_ikone[MAX_VNOSOV] = {};
    for (;;) {
        vzemi_odgovore(o, r, brez_ikone);
        const DWORD minilo = GetTickCount() - zacetek;
        if (!caka_ikone(o) || minilo >= KRATKO_CAKANJE_MS)
            break;
        pocakaj_odgovor(KRATKO_CAKANJE_MS - minilo);   // woken at every answer
    }
    koncaj_risanje(r);
    ReleaseDC(hwnd, hdc);
    if (pisava != NULL)
        DeleteObject(pisava);

    // An entry whose file has not answered by now gets neither its icon
    // nor a word; it is drawn into the open menu if it comes.
    for (int i = 0; i < o->nslik; i++) {
        // Topmost (MB_TOPMOST gives the box WS_EX_TOPMOST: MessageBox, on
        // Microsoft Learn), so that it shows above every other window also
        // where Windows refused Kolvena the foreground, as it may at the
        // chord and the middle button; it would else wait behind the window
        // in front, and the menu behind it.
        if (brez_ikone[i]) {
            MessageBoxA(NULL, "Napaka pri prikazu ikone", "Napaka", MB_OK | MB_TOPMOST);
            o->sporocilo = true;
        }
        // An entry whose picture could not be made shows its description.
        if (o->slike[i] != NULL)
            AppendMenuA(o->popup, MF_BITMAP, IDM_PRVI_PROGRAM + i, (LPCSTR)o->slike[i]);
        else
            AppendMenuA(o->popup, MF_STRING, IDM_PRVI_PROGRAM + i, o->opis[i]);
    }
}

// The answers that have come for every shown menu: each icon drawn into its
// entry's picture, in place, and the menus' windows repainted (a menu draws
// a bitmap item anew only when its window is repainted). A file that
// answered with no icon changes nothing: no box comes while the menu is
// open. An opening not yet shown (its build waits for its answers, or has
// stopped in a box after waiting) takes them once its menu is shown.
void pozne_ikone(HWND)
{
    ikone_sprejete();
    if (tekoce == NULL) {
        pozabi_ikone();   // answers that came after the last menu
        return;
    }
    bool kdo_caka = false;
    for (const Odprtje *o = tekoce; o != NULL; o = o->prejsnje)
        kdo_caka = kdo_caka || (o->odprt && caka_ikone(o));
    if (!kdo_caka)
        return;
    Risanje r = { CreateCompatibleDC(NULL), NULL, NULL, NULL };
    int narisanih = 0;
    for (Odprtje *o = tekoce; o != NULL; o = o->prejsnje)
        if (o->odprt)
            narisanih += vzemi_odgovore(o, r, NULL);
    koncaj_risanje(r);
    if (narisanih > 0)
        osvezi_menije();
}

void spremljaj_pozne_ikone(HWND hwnd, Odprtje *o)
{
    o->odprt = true;
    pozne_ikone(hwnd);
}

void koncaj_slike(HWND hwnd, Odprtje *o)
{
    o->odprt = false;
    // Openings end in the reverse order of their start; one in text mode
    // never began.
    if (tekoce != o)
        return;
    tekoce = o->prejsnje;
    // The reads that o asked for and no reader has taken are dropped; the
    // opening that it interrupted, current again, asks again for its own.
    opusti_vrsto();
    if (tekoce != NULL)
        prosi_za(hwnd, tekoce);
    else
        pozabi_ikone();
}
