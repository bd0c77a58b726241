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
// Posted by the icon readers to the window when a file has answered, once
// for the answers that come before the window takes it; the window hands
// it to pozne_ikone.
constexpr UINT IKONE_PRISPELE = WM_APP + 2;
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
// and the files whose icons they wait for. Lives on the stack of its
// Prikazi_Menu; only the window's thread touches it.
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
// deleted by the caller after the menu; o is the current opening from then
// on. spremljaj_pozne_ikone, before the menu is tracked, has icons that
// come late drawn into it; koncaj_slike, once it is gone, ends the
// opening (nothing for one that drew no pictures). pozne_ikone: the window
// took IKONE_PRISPELE, and the icons that came are drawn into the menus
// shown.
void sestavi_slike(HWND hwnd, Odprtje *o, const POINT *kje);
void spremljaj_pozne_ikone(HWND hwnd, Odprtje *o);
void koncaj_slike(HWND hwnd, Odprtje *o);
void pozne_ikone(HWND hwnd);
// The menus of this thread that are shown repainted (menu.cpp).
void osvezi_menije(void);
// The first icon of the program at `pot`, `stran` pixels square; it reads
// the file, so runs on a reader only.
HICON izvleci_ikono(const char *pot, int stran);

// The readers (menu_bralci.cpp): threads that read the icons of the files
// that the window's thread asks for, one read per file and size, and tell
// the window hwnd of the last ask (IKONE_PRISPELE) when one has answered. A
// silent file holds one reader; there are NAJVEC_NITI at most, enough for
// NAJVEC_DRZANIH silent files (those of a list, and of another that an
// edit put in its place) and NAJVEC_BRALCEV readers beside them.
// prosi_ikono asks for the icon of `pot` at `stran` pixels; ikona_prebrana
// tells whether that file has answered, its icon in *ikona (NULL: none),
// which stays the table's until pozabi_ikone gives every answer back;
// pocakaj_odgovor waits for the next answer, najvec_ms at most;
// ikone_sprejete: the window took IKONE_PRISPELE; opusti_vrsto drops the
// reads that no reader has taken yet.
constexpr int NAJVEC_BRALCEV = 4;
constexpr int NAJVEC_DRZANIH = 2 * MAX_VNOSOV;
constexpr int NAJVEC_NITI = NAJVEC_BRALCEV + NAJVEC_DRZANIH;
void prosi_ikono(HWND hwnd, const char *pot, int stran);
bool ikona_prebrana(const char *pot, int stran, HICON *ikona);
void pocakaj_odgovor(DWORD najvec_ms);
void ikone_sprejete(void);
void opusti_vrsto(void);
void pozabi_ikone(void);
