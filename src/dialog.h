// The settings dialog (dialog.cpp): what it gives the other modules.
#pragma once

#include "NTpopup.h"

extern HWND dlg_odprt;        // the settings dialog while it is open

INT_PTR CALLBACK Dlg_proc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
// "Dodaj" and "Odstrani" (entry `index`), as their buttons do.
void dodaj(HWND hDlg);
void odstrani(long index, HWND hDlg);

// "Seznama programov ni bilo mogoce shraniti ...": a save that failed; a
// late one's box is MB_TOPMOST.
void ni_shranjeno(UINT slog = MB_OK);
