// Calls found at run time (klici.cpp): what the module gives the others.
#pragma once

#include "NTpopup.h"

#include <shellapi.h>
#include <shellscalingapi.h>

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

// najdi_klice looks up the calls below that user32 and shell32 have, which
// every Kolvena process has loaded, all at its first call and never again;
// najdi_dpi_klice those of the pictures, shcore's loaded for them. Tests put
// stand-ins into the pointers after that first call.
void najdi_klice(void);

// Start-up's first step (povej_dpi_zavest, shell.cpp): Kolvena says that it
// draws for each monitor's own DPI (per-monitor v2, Windows 10 1703), or,
// where that is missing or refused, for the system's (SetProcessDPIAware,
// Vista).
extern BOOL (WINAPI *pSetProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT);
extern BOOL (WINAPI *pSetProcessDPIAware)(void);

// The reason Windows shows while the session's end waits for Kolvena's save
// (ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy, Vista).
extern BOOL (WINAPI *pShutdownBlockReasonCreate)(HWND, LPCWSTR);
extern BOOL (WINAPI *pShutdownBlockReasonDestroy)(HWND);

// The icon's place on the screen, Shell_NotifyIconGetRect (Windows 7 and
// later), in shell32.
extern HRESULT (WINAPI *pShell_NotifyIconGetRect)(const NOTIFYICONIDENTIFIER *, RECT *);

// The hook's physical point turned into the space of a menu's window,
// PhysicalToLogicalPointForPerMonitorDPI (Windows 8.1 and later).
extern BOOL (WINAPI *pPhysicalToLogicalPointForPerMonitorDPI)(HWND, LPPOINT);

// The pictures are drawn for the DPI of the monitor the menu opens on. The
// calls for it, absent from older systems: shcore's GetDpiForMonitor
// (Windows 8.1; the screen's LOGPIXELSY before), PrivateExtractIconsA (an
// icon at any size; ExtractIconA's 32 x 32 scaled without it),
// SystemParametersInfoForDpi (the menu font at a DPI, Windows 10 1607;
// scaled from the system's before). najdi_dpi_klice runs at the first
// picture build.
extern HRESULT (WINAPI *pGetDpiForMonitor)(HMONITOR, MONITOR_DPI_TYPE, UINT *, UINT *);
extern UINT (WINAPI *pPrivateExtractIconsA)(LPCSTR, int, int, int, HICON *, UINT *, UINT, UINT);
extern BOOL (WINAPI *pSystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT);
void najdi_dpi_klice(void);
