// The launcher menu (menu.cpp), its pictures (menu_slike.cpp) and their
// icon readers (menu_bralci.cpp): what they give the other modules.
#pragma once

#include "NTpopup.h"

// A picture of the menu at 96 DPI.
constexpr int SLIKA_W = 200;
constexpr int SLIKA_H = 32;

// The menus of the last opening: the holder and the popup in it.
extern HMENU hmenu1, hpopup1;

// Builds, tracks and carries out the menu; it opens at `kje` (screen
// coordinates), at the cursor where that is NULL. Returns the command
// chosen, 0 when the menu was dismissed.
int  Prikazi_Menu(HWND hwnd, const POINT *kje = nullptr);

// Posted by every opening of the menu to the window, behind the hook's
// messages already waiting; wParam is the opening's number (see
// meni_pritisk in menu.cpp). The window hands it to meni_odprt.
constexpr UINT MENI_ODPRT = WM_APP + 1;
void meni_odprt(WPARAM st);
// The hook reported a button press at lParam's point (as the hooks pack it):
// beside the menu that is open now, it ends that menu.
void meni_pritisk(LPARAM lParam);

// A letter typed in the open menu (WM_MENUCHAR): the window's answer for
// the menu that Prikazi_Menu tracks, the default handling's for any other.
LRESULT crka_menija(HWND hwnd, WPARAM wParam, LPARAM lParam);

// The shutdown request, ExitWindowsEx. It exists for tests, which put a
// stand-in here: in their Wine session a real request would end every program.
extern BOOL (WINAPI *zahtevaj_zaustavitev)(UINT, DWORD);

// One opening of the menu: its popup and, in picture mode, its pictures
// and the files whose icons they wait for. Made and written by the window's
// thread; the readers (menu_bralci.cpp) read `pot`, `stran` and `caka` of
// the current opening and of those it interrupted, with their lock held.
struct Odprtje {
    HMENU popup;
    int nslik;                          // pictures made, one for each entry
    int vnosov;                         // entries shown, text or pictures
    char opis[MAX_VNOSOV][sizeof m_polje[0].opis];   // their descriptions, as built
    HBITMAP slike[MAX_VNOSOV];          // deleted by Prikazi_Menu after the menu
    int stran;                          // the icons' side in pixels
    char pot[MAX_VNOSOV][sizeof m_polje[0].pot];   // the entries' files, as built
    bool caka[MAX_VNOSOV];              // the file has not answered yet
    bool odprt;                         // the menu is shown: late icons drawn into it
    bool sporocilo;                     // the build showed a box, which took the foreground
    Odprtje *prejsnje;                  // the opening that this one interrupted
};

// Appends the entries (text, or pictures) and the fixed items to o->popup.
void sestavi_menu(HWND hwnd, Odprtje *o, const POINT *kje = nullptr);
// The entries' pictures appended to o->popup (menu_slike.cpp), each
// deleted by the caller after the menu. spremljaj_pozne_ikone, before the
// menu is tracked, has icons that come late drawn into it; koncaj_slike,
// before it is destroyed, lets the opening go.
void sestavi_slike(HWND hwnd, Odprtje *o, const POINT *kje);
// A blank canvas for a picture at a scale other than 96 DPI: a bitmap
// compatible with hdc, of the kind LoadBitmapA gives at 96 DPI.
HBITMAP prazno_platno(HDC hdc, int sirina, int visina);
void spremljaj_pozne_ikone(HWND hwnd, Odprtje *o);
void koncaj_slike(HWND hwnd, Odprtje *o);
// The menus of this thread that are shown repainted (menu.cpp).
void osvezi_menije(void);
// The first icon of the program at `pot`, `stran` pixels square; it reads
// the file, so runs on a reader only.
HICON izvleci_ikono(const char *pot, int stran);

// The readers (menu_bralci.cpp): NAJVEC_BRALCEV threads, and one more for
// each silent file that keeps one waiting, up to NAJVEC_DRZANIH such files
// (those of a list, and of another that an edit put in its place):
// NAJVEC_NITI threads at most. They read the icons of the files that the
// openings ask for.
// zahtevaj_ikone makes o current and asks for its files, one read per
// file; pocakaj_ikone waits until an answer for o is there or najvec_ms
// have passed since zacetek (false then); prevzemi_ikone takes o's
// answers, the icon of each entry that answered in ikone (NULL: none) and
// novo set for it, and returns their number; vrni_ikone gives them back
// once drawn; odjavi_ikone ends o, whose answers that come afterwards are
// given back by the readers, and has the opening it interrupted ask again
// for what it still waits for.
constexpr int NAJVEC_BRALCEV = 4;
constexpr int NAJVEC_DRZANIH = 2 * MAX_VNOSOV;
constexpr int NAJVEC_NITI = NAJVEC_BRALCEV + NAJVEC_DRZANIH;
void zahtevaj_ikone(Odprtje *o);
bool pocakaj_ikone(const Odprtje *o, DWORD zacetek, DWORD najvec_ms);
int  prevzemi_ikone(Odprtje *o, HICON ikone[MAX_VNOSOV], bool novo[MAX_VNOSOV]);
void vrni_ikone(HICON ikone[MAX_VNOSOV]);
bool caka_ikone(const Odprtje *o);
void odjavi_ikone(Odprtje *o);
Odprtje *tekoce_odprtje(void);
