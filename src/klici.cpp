// The calls that Kolvena finds at run time: libraries loaded from the system
// directory, and the calls of newer Windows versions, each looked up once,
// at its first use, so that Kolvena.exe starts on systems that lack them.
// Where a call is missing its pointer stays NULL and its user does without
// it. Tests put stand-ins into the pointers after the first look-up.
#include "klici.h"

#include "config_list.h"

#include <string.h>

HMODULE nalozi_sistemsko(const char *ime)
{
    // A full path loads that very file. On 64-bit Windows a 32-bit program
    // asking for system32 gets SysWOW64, its own system directory.
    char pot[MAX_PATH];
    UINT n = GetSystemDirectoryA(pot, sizeof pot);
    if (n == 0 || n + 1 + strlen(ime) + 1 > sizeof pot)
        return NULL;
    pot[n] = '\\';
    kopiraj(pot + n + 1, sizeof pot - n - 1, ime);
    return LoadLibraryA(pot);
}

BOOL (WINAPI *pSetProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT);
BOOL (WINAPI *pSetProcessDPIAware)(void);
BOOL (WINAPI *pShutdownBlockReasonCreate)(HWND, LPCWSTR);
BOOL (WINAPI *pShutdownBlockReasonDestroy)(HWND);
HRESULT (WINAPI *pShell_NotifyIconGetRect)(const NOTIFYICONIDENTIFIER *, RECT *);
BOOL (WINAPI *pPhysicalToLogicalPointForPerMonitorDPI)(HWND, LPPOINT);
HRESULT (WINAPI *pGetDpiForMonitor)(HMONITOR, MONITOR_DPI_TYPE, UINT *, UINT *);
UINT (WINAPI *pPrivateExtractIconsA)(LPCSTR, int, int, int, HICON *, UINT *, UINT, UINT);
BOOL (WINAPI *pSystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT);

void najdi_klice(void)
{
    static bool poskuseno = false;
    if (poskuseno)
        return;
    poskuseno = true;
    HMODULE user32 = GetModuleHandleA("user32.dll");
    poisci_funkcijo(user32, "SetProcessDpiAwarenessContext", pSetProcessDpiAwarenessContext);
    poisci_funkcijo(user32, "SetProcessDPIAware", pSetProcessDPIAware);
    poisci_funkcijo(user32, "ShutdownBlockReasonCreate", pShutdownBlockReasonCreate);
    poisci_funkcijo(user32, "ShutdownBlockReasonDestroy", pShutdownBlockReasonDestroy);
    poisci_funkcijo(user32, "PhysicalToLogicalPointForPerMonitorDPI",
                    pPhysicalToLogicalPointForPerMonitorDPI);
    // Windows 2000 and later; Microsoft keeps the right to change or drop it,
    // hence the fallback.
    poisci_funkcijo(user32, "PrivateExtractIconsA", pPrivateExtractIconsA);
    poisci_funkcijo(user32, "SystemParametersInfoForDpi", pSystemParametersInfoForDpi);
    poisci_funkcijo(GetModuleHandleA("shell32.dll"), "Shell_NotifyIconGetRect",
                    pShell_NotifyIconGetRect);
}

void najdi_dpi_klice(void)
{
    static bool poskuseno = false;
    najdi_klice();
    if (poskuseno)
        return;
    poskuseno = true;
    poisci_funkcijo(nalozi_sistemsko("shcore.dll"), "GetDpiForMonitor", pGetDpiForMonitor);
}
