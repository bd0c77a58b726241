// Kolvena: the process-wide variables and the constants that the modules
// share. What a module gives the others is declared in its own header.
#pragma once

// ---- the program list (config_list.cpp) ----

struct MenuEntry {
    char pot[260];   // path of the program's executable
    char opis[100];  // description shown in the menu
};

// Constants are typed constexpr values throughout; only the resource ids
// (resource.h), which the resource script reads too, are macros.
constexpr int MAX_VNOSOV = 19;         // entries the list holds; slot 20 is the staging slot

// Menu command of the first entry; entry i is command IDM_PRVI_PROGRAM + i.
constexpr int IDM_PRVI_PROGRAM = 30;

extern MenuEntry m_polje[MAX_VNOSOV + 1];
extern int IDx;                    // next free menu command; entries = IDx - 30
extern int icn_kljuka;             // 1: menu entries shown as pictures

#ifdef _WIN32
#include <windows.h>
#include "resource.h"

// ---- the configuration file (config.cpp) ----
extern char w_dir[1024];

// ---- the tray shell (shell.cpp, shell_hook.cpp) ----
constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;   // the tray icon's callback; lParam is the mouse message
constexpr UINT MSHOOK_MSG = 2026;             // posted by the mouse hook for each input event
// The window's timer: each tick shows the next line of tttable and starts
// the hook thread where it does not run.
constexpr UINT_PTR TIMER_TIP = 666;
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

// ---- the launcher menu's commands (menu.cpp) ----
constexpr int IDM_NASTAVITVE = 22;
constexpr int IDM_IZHOD = 23;
constexpr int IDM_ZAUSTAVITEV = 24;
constexpr int IDM_NAJDI = 25;
constexpr int IDM_OHRANJEVALNIK = 26;

#endif // _WIN32
