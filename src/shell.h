// The tray shell (shell.cpp): what it gives the other modules and the tests.
// Start-up itself (WinMain) is called by nobody else.
#pragma once

#include "NTpopup.h"

#include <shellapi.h>

// The hidden window's procedure, the one place where events arrive.
LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Start-up's first step: Kolvena says for which DPI it draws (see
// najdi_klice, klici.h).
void povej_dpi_zavest(void);

// The record the icon was added with; and, a seam for tests, the record of
// the last tooltip change or removal.
extern NOTIFYICONDATAA tray;
extern NOTIFYICONDATAA sprememba;
