// Starting the programs of the list (menu_zagon.cpp): what the module gives
// the others.
#pragma once

#include "NTpopup.h"

// Starts the program stored at `pot` for Kolvena's window hwnd, as from
// Explorer, on a thread of its own with COM initialised, so that a file that
// does not answer holds no more than that thread: the menu call waits
// KRATKO_CAKANJE_MS for it, and says "Programa ne morem izvesti" where it
// failed by then; a later failure the start says itself. A program whose
// start is still on its way is not started again.
void zacni_v_ozadju(HWND hwnd, const char *pot);

// Initialises COM on the window's thread before the shell's first call
// there (com_zacet: done). The shell's calls are made with COM initialised
// on their thread: on the window's once, on a start's thread at its start;
// through CoInitializeEx from ole32, which is loaded on that first use
// unless a test has put a stand-in here.
void zacni_com(void);
extern HRESULT (WINAPI *pCoInitializeEx)(LPVOID, DWORD);
extern bool com_zacet;

// CreateProcess's error for a program whose manifest asks for administrator
// rights (ERROR_ELEVATION_REQUIRED, which these headers lack).
constexpr DWORD NAPAKA_POVZDIGNJENJE = 740;
