// Kolvena: process-wide variables and shared constants of every module.
#pragma once

#include <stdio.h>
#include <stddef.h>

// ---- program list and configuration file (config_list.cpp, config.cpp) ----

struct MenuEntry {
    char pot[260];   // path of the program's executable
    char opis[100];  // description shown in the menu
};

// Constants are typed constexpr values throughout; only the resource ids
// (resource.h), which the resource script reads too, are macros.
constexpr int MAX_VNOSOV = 19;         // entries the list holds; slot 20 is the staging slot
constexpr int NAJDALJSI_OPIS = 32;     // characters the dialog takes for a description

// Menu command of the first entry; entry i is command IDM_PRVI_PROGRAM + i.
constexpr int IDM_PRVI_PROGRAM = 30;

extern MenuEntry m_polje[MAX_VNOSOV + 1];
extern int IDx;                    // next free menu command; entries = IDx - 30
extern int icn_kljuka;             // 1: menu entries shown as pictures

// Bounded string copy: copies at most size - 1 bytes and always ends with NUL.
void kopiraj(char *dst, size_t size, const char *src);

// List operations.
int  stevilo_vnosov(void);                 // IDx - 30
MenuEntry *staging_slot(void);
void postavi_pot(const char *pot);         // stage a path
bool pot_postavljena(void);                // is a path staged
void potrdi_vnos(const char *opis);        // commit the staged entry
void odstrani_vnos(long k);                // remove entry k

// The file format over an open text stream. beri_tok returns how many
// complete pairs beyond the 19 that fit were left out; pisi_tok writes the
// list (or a copy of it, with its count and option) and returns false when
// the stream reported a write error.
long beri_tok(FILE *f);
bool pisi_tok(FILE *f, const MenuEntry *seznam = m_polje, int stevilo = stevilo_vnosov(),
              int kljuka = icn_kljuka);

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellscalingapi.h>
#include "resource.h"

struct IAccPropServices;

// ---- configuration file (config.cpp) ----
extern char w_dir[1024];
extern HANDLE fhandle;
extern FILE *cfgdat;
// The list's home where the Windows directory refused the save: the full
// path of Kolvena.cfg in a Kolvena folder of the user's local
// application-data folder. Empty while the Windows directory's file is the home. Set by
// start-up when that file exists, or when an earlier Kolvena's list is found
// in the roaming application-data folder instead (read from there, saved
// here), and by a save that had to go there.
extern char osebna_cfg[MAX_PATH];
// The list's home where a Kolvena.cfg lay beside Kolvena.exe at start-up:
// Kolvena.exe's folder, with its final backslash, and that file's full path.
// Empty otherwise. Set by start-up only.
extern char prenosna_mapa[MAX_PATH];
extern char prenosna_cfg[MAX_PATH];
// The form in which the list beside Kolvena.exe keeps the path `pot`, into
// izhod: a program on Kolvena.exe's own drive relative to its folder
// ("..\Orodja\x.exe"), so that the list holds under whatever letter Windows
// gives the stick; a path on another drive, a UNC path and one that is
// relative already as it is (also where the relative one would not fit).
// polna_pot makes it full again.
void prenosna_pot(const char *pot, char *izhod, size_t velikost);

void zacni_cfg(void);     // Windows directory current, the list's home found, list loaded
void beri_cfg(void);      // load
// save; false when the old file was left as it was. A list beside
// Kolvena.exe is saved on a thread of its own: true also while that save
// is still on its way after a short wait; it reports a later failure itself.
bool shrani_cfg(void);
// Kolvena's end (its window destroyed, the Windows session ending) waits for
// a save beside Kolvena.exe that is still on its way, a few seconds at most:
// one that has not ended by then, or has failed, is reported ("Seznama
// programov ni bilo mogoce shraniti ...") and replaces nothing afterwards.
// shranjevanje_na_poti: whether such a save is on its way now.
bool shranjevanje_na_poti(void);
void pocakaj_shranjevanje(void);

// ---- tray shell (shell.cpp, shell_hook.cpp) ----
constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;   // the tray icon's callback; lParam is the mouse message
constexpr UINT MSHOOK_MSG = 2026;             // posted by the mouse hook for each input event
constexpr UINT_PTR TIMER_TIP = 666;           // the window's timer: tooltip and hook renewal
constexpr UINT TRAY_ID = 1;                   // uID of the one tray icon

extern HINSTANCE ghInst;

// The mouse has exactly three buttons, so its middle button opens the menu.
// Set by start-up; read by the window procedure.
extern int tri_mous;

// The line of tttable that the tooltip shows, 0 to 3. Advanced by the
// window procedure at every tick, read by it and by a restarted taskbar's
// re-adding of the icon.
extern int gi;

// The left button is held, as the hook's messages tell. Set to 1 and 0 by
// the window procedure on the left button's press and release, cleared by
// Prikazi_Menu at the end of every menu; read by the window procedure, for
// which a right press while it is 1 is the chord.
extern int ldown;

// Hold back the next input event: 1 when a chord's menu has returned. Set by
// the window procedure; the hook that sees the next event (the journal or the
// low-level hook, both on the hook thread) keeps that event from the hooks
// behind it and clears cz. Shared by two threads: every access in the
// program is interlocked (see shell_hook.cpp), hence LONG.
extern LONG cz;

extern const char *const tttable[4];
extern NOTIFYICONDATAA tray;          // the record the icon was added with
extern HHOOK g_hMSHook;               // journal-record hook, on the hook thread
extern HHOOK g_hLLHook;               // low-level mouse hook, on the hook thread
// The user ended journaling (WM_CANCELJOURNAL): no journal hook again this
// run. Tests clear it.
extern bool journal_preklican;

// A mouse move posted by a hook and not yet taken: no further move is posted
// until the window procedure, taking it, clears this. Shared by two threads,
// every access interlocked.
extern LONG pomik_caka;
extern HWND  g_hMSWnd;
extern UINT  g_uMSMsg;

// Test seams: these exist for tests. namesti_hook is the hooks' installation
// call, SetWindowsHookExA, for which a test puts in a stand-in that refuses;
// sprememba is the record of the last tooltip change or removal.
extern HHOOK (WINAPI *namesti_hook)(int, HOOKPROC, HINSTANCE, DWORD);
extern NOTIFYICONDATAA sprememba;

// Posted by every opening of the menu to the window, behind the hook's
// messages already waiting; wParam is the opening's number (see
// meni_pritisk in menu.cpp).
constexpr UINT MENI_ODPRT = WM_APP + 1;
// Posted by the icon readers to the window when a file has answered, once
// for the answers that come before the window takes it (menu_bralci.cpp).
constexpr UINT IKONE_PRISPELE = WM_APP + 2;

// The icon's place on the screen, Shell_NotifyIconGetRect (Windows 7 and
// later), found in shell32 by najdi_klic_ikone at its first call; tests put
// a stand-in into the pointer after that call.
extern HRESULT (WINAPI *pShell_NotifyIconGetRect)(const NOTIFYICONIDENTIFIER *, RECT *);
void najdi_klic_ikone(void);

LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Loads a system DLL by name from the system directory only (never from the
// program's or the current directory); NULL when it cannot be loaded.
HMODULE nalozi_sistemsko(const char *ime);

// Fills f with the function `ime` of module m, NULL when m is NULL or lacks it.
template <typename F> void poisci_funkcijo(HMODULE m, const char *ime, F *&f)
{
    // Through void (*)(void), the one function type that every other may be
    // cast to and from without a warning.
    f = m == NULL ? nullptr
                  : reinterpret_cast<F *>(reinterpret_cast<void (*)(void)>(GetProcAddress(m, ime)));
}

// Start-up's first step: Kolvena says that it draws for each monitor's own
// DPI (per-monitor v2, Windows 10 1703), or, where that is missing or
// refused, for the system's (SetProcessDPIAware, Vista). Both calls are found
// in user32 by najdi_dpi_zavest; tests put stand-ins into the pointers after
// that first call.
extern BOOL (WINAPI *pSetProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT);
extern BOOL (WINAPI *pSetProcessDPIAware)(void);
void najdi_dpi_zavest(void);
void povej_dpi_zavest(void);

// The reason Windows shows while the session's end waits for Kolvena's save
// (ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy, Vista), found in
// user32 by najdi_razlog; tests put a stand-in into the pointer after it.
extern BOOL (WINAPI *pShutdownBlockReasonCreate)(HWND, LPCWSTR);
extern BOOL (WINAPI *pShutdownBlockReasonDestroy)(HWND);
void najdi_razlog(void);

// MSHookStart starts the hook thread unless it runs, which installs both
// hooks and renews them by itself; the window's thread installs none.
// MSHookStop ends the thread, both hooks removed, and returns the journal
// hook's removal's result.
HHOOK MSHookStart(HWND hWnd, UINT uMsg);
BOOL  MSHookStop(void);
LRESULT CALLBACK MSHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MSLLHookProc(int code, WPARAM wParam, LPARAM lParam);
// Ends the hook thread, its hooks removed (MSHookStop, the
// window's destruction, the end of the message loop). MSHookStart starts it
// again.
void ustavi_hook_nit(void);

// ---- launcher menu and system actions (menu.cpp, menu_slike.cpp, menu_zagon.cpp) ----
constexpr int IDM_NASTAVITVE = 22;
constexpr int IDM_IZHOD = 23;
constexpr int IDM_ZAUSTAVITEV = 24;
constexpr int IDM_NAJDI = 25;
constexpr int IDM_OHRANJEVALNIK = 26;

// How long a menu call waits for a program's file, from the start of the
// build for the icons (menu_slike.cpp), from the choice for a start
// (menu_zagon.cpp). A local file answers in a few milliseconds, and within
// this even on a busy machine (a file no cache holds yet, Kolvena at idle
// priority): its entry looks and its start reports as ever. A file held by
// a share that is off answers in seconds or never; the menu waits for it no
// longer than this, which still feels immediate after a click.
constexpr DWORD KRATKO_CAKANJE_MS = 250;

// A picture of the menu at 96 DPI.
constexpr int SLIKA_W = 200;
constexpr int SLIKA_H = 32;

extern HMENU hmenu1, hpopup1;

// The pictures are drawn for the DPI of the monitor the menu opens on. The
// calls for it, absent from older systems, are found on the first picture
// build by najdi_dpi_klice: shcore's GetDpiForMonitor (Windows 8.1; the
// screen's LOGPIXELSY before), PrivateExtractIconsA (an icon at any size;
// ExtractIconA's 32 x 32 scaled without it), SystemParametersInfoForDpi (the
// menu font at a DPI, Windows 10 1607; scaled from the system's before).
// Tests put stand-ins into the pointers after that first call.
extern HRESULT (WINAPI *pGetDpiForMonitor)(HMONITOR, MONITOR_DPI_TYPE, UINT *, UINT *);
extern UINT (WINAPI *pPrivateExtractIconsA)(LPCSTR, int, int, int, HICON *, UINT *, UINT, UINT);
extern BOOL (WINAPI *pSystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT);
void najdi_dpi_klice(void);
int  dpi_pod_kazalcem(HDC hdcOkno, const POINT *kje = nullptr);

// The shutdown request, ExitWindowsEx. It exists for tests, which put a
// stand-in here: in their Wine session a real request would end every program.
extern BOOL (WINAPI *zahtevaj_zaustavitev)(UINT, DWORD);

// The shell's calls are made with COM initialised on their thread: on the
// window's once (com_zacet), on a start's thread at its start; through
// CoInitializeEx from ole32, which is loaded on that first use unless a test
// has put a stand-in here.
extern HRESULT (WINAPI *pCoInitializeEx)(LPVOID, DWORD);
extern bool com_zacet;

// CreateProcess's error for a program whose manifest asks for administrator
// rights (ERROR_ELEVATION_REQUIRED, which these headers lack).
constexpr DWORD NAPAKA_POVZDIGNJENJE = 740;

// Whether Kolvena is a 32-bit program on 64-bit Windows, whose accesses to
// the system directory Windows redirects: IsWow64Process, looked up at each
// use unless a test has put a stand-in here.
extern BOOL (WINAPI *pIsWow64Process)(HANDLE, PBOOL);

// Builds, tracks and carries out the menu; it opens at `kje` (screen
// coordinates), at the cursor where that is NULL. Returns the command
// chosen, 0 when the menu was dismissed.
int  Prikazi_Menu(HWND hwnd, const POINT *kje = nullptr);
// The hook reported a button press at lParam's point (as the hooks pack it):
// beside the menu that is open now, it ends that menu.
void meni_pritisk(LPARAM lParam);
// The hook's physical point turned into the space of a menu's window,
// PhysicalToLogicalPointForPerMonitorDPI (Windows 8.1 and later), found in
// user32 by najdi_pretvorbo at the first press; tests put a stand-in into
// the pointer after that call.
extern BOOL (WINAPI *pPhysicalToLogicalPointForPerMonitorDPI)(HWND, LPPOINT);
void najdi_pretvorbo(void);
// The window took the MENI_ODPRT message of opening `st`.
void meni_odprt(WPARAM st);
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
// A blank canvas for a picture at a scale other than 96 DPI: a bitmap
// compatible with hdc, of the kind LoadBitmapA gives at 96 DPI.
HBITMAP prazno_platno(HDC hdc, int sirina, int visina);
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

// A letter typed in the open menu (WM_MENUCHAR): the window's answer for
// the menu that Prikazi_Menu tracks, the default handling's for any other.
LRESULT crka_menija(HWND hwnd, WPARAM wParam, LPARAM lParam);

// Names for screen readers (menu.cpp): the picture entries and the
// dialog's list boxes are named through the annotation object, which
// storitve_oznak makes at its first call on the window's thread (oleacc and
// COM loaded then) and which is NULL where it could not be made: the menu
// and the dialog then work as ever, without names. Tests put a stand-in here.
extern IAccPropServices *oznake;
IAccPropServices *storitve_oznak(void);

// Starting programs (menu_zagon.cpp). zacni_program starts the program at
// the full path `pot` for Kolvena's window hwnd, on a thread with COM
// initialised (the start's own), shows nothing and returns false where it
// could not; *izklop_ostal is set where the thread was left without the
// system directory's redirection, and may then load no library.
// pot_brez_preusmeritve gives the path at which a 32-bit Kolvena reaches the
// file past the system directory's redirection (`pot` itself where none
// applies), written into izhod. zacni_com initialises COM on the window's
// thread before the shell's first call there.
bool zacni_program(HWND hwnd, const char *pot, bool *izklop_ostal);
// zacni_program on a thread of its own, so that a file that does not answer
// holds no more than that thread: the menu call waits KRATKO_CAKANJE_MS for
// it, and says "Programa ne morem izvesti" where it failed by then; a later
// failure the start says itself. A program whose start is still on its way
// is not started again.
void zacni_v_ozadju(HWND hwnd, const char *pot);
const char *pot_brez_preusmeritve(const char *pot, char *izhod, size_t velikost);
// The stored path `pot` as a full path, into izhod: a relative one is
// completed from the current directory now, or, with the list beside
// Kolvena.exe, from Kolvena.exe's folder (one without a drive from its
// drive). The current directory is the
// whole process's and the file dialog moves it, so a path is made full on
// the window's thread before another thread gets it. False where the full
// path does not fit `velikost` bytes.
bool polna_pot(const char *pot, char *izhod, size_t velikost);
void zacni_com(void);
// The shutdown privilege enabled, then the shutdown requested; false when
// the system refused the request.
bool ShutDown(void);

// ---- settings dialog (dialog.cpp) ----

extern HWND dlg_odprt;        // the settings dialog while it is open

// comdlg32, for the file dialog, is loaded when "Poisci" is first pressed.
extern BOOL (WINAPI *pGetOpenFileNameW)(LPOPENFILENAMEW);
bool comdlg32_nalozen(void);

INT_PTR CALLBACK Dlg_proc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL InitializeDLG(HWND hDlg, WPARAM wParam, LPARAM lParam);
void dodaj(HWND hDlg);
void odstrani(long index, HWND hDlg);
void Najdi_pot(HWND hDlg);
// The path `pot` in the ANSI code page as it is, or else its short (8.3)
// form, which Windows gives in ASCII where the volume keeps short names;
// false when neither spells that very file within `size` bytes (a stand-in
// character names another file or none).
bool ansi_ali_kratka(const wchar_t *pot, char *ansi, int size);
// "Seznama programov ni bilo mogoce shraniti ...": a save that failed; a
// late one's box is MB_TOPMOST.
void ni_shranjeno(UINT slog = MB_OK);

#endif // _WIN32
