// Measures Kolvena's own code under Wine: building the menu, memory over many
// openings and list changes, the hook procedures, the configuration file.
// Each mode prints "key value" lines that scripts/bench.sh gathers.
//
//   bench_kolvena menu <openings>
//   bench_kolvena memory <openings> <cycles>
//   bench_kolvena hook <events> <journal_events>
//   bench_kolvena cfg <runs>
//   bench_kolvena hostile <Windows path of a file> <runs>
//   bench_kolvena linear <runs> <Windows path of a file>...
#include "NTpopup.h"
#include "config.h"
#include "config_list.h"
#include "dialog.h"
#include "klici.h"
#include "menu.h"
#include "shell_hook.h"
#include "../tests/common/private_memory.h"

#include <commctrl.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>
#include "programi.h"

// ---- clock and statistics ----

static double ticks_per_us;

static double now_us()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / ticks_per_us;
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    if (n == 0)
        return 0;
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return 0;
    size_t i = (size_t)(p * (double)(v.size() - 1) + 0.5);
    return v[i];
}

static void report(const char *key, const std::vector<double> &v)
{
    printf("%s_median_us %.2f\n", key, median(v));
    printf("%s_p90_us %.2f\n", key, percentile(v, 0.9));
    printf("%s_n %zu\n", key, v.size());
}

// ---- memory ----
//
// Private bytes are counted from the address space (private_memory.h):
// WINE_QUIRK: Wine leaves PrivateUsage of PROCESS_MEMORY_COUNTERS_EX at 0.
// The working set is Wine's, which is the process's resident set (VmRSS, its
// peak VmHWM) as Linux counts it. (Z:\proc\self would not do: Wine opens
// files in wineserver, so it is the server's.)

struct Pomnilnik { SIZE_T priv, ws, peak_ws, committed; };

static Pomnilnik pomnilnik()
{
    PROCESS_MEMORY_COUNTERS_EX pmc;
    ZeroMemory(&pmc, sizeof pmc);
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof pmc);
    return { pmc.PrivateUsage, pmc.WorkingSetSize, pmc.PeakWorkingSetSize,
             private_memory().bytes };
}

static void report_memory(const char *when, const Pomnilnik &m)
{
    printf("mem_%s_privateusage %lu\n", when, (unsigned long)m.priv);
    printf("mem_%s_private %lu\n", when, (unsigned long)m.committed);
    printf("mem_%s_workingset %lu\n", when, (unsigned long)m.ws);
}

// ---- the program's state ----

static HWND okno;

static LRESULT CALLBACK okno_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static void pripravi_okno()
{
    ghInst = GetModuleHandleA(NULL);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = okno_proc;
    wc.hInstance = ghInst;
    wc.lpszClassName = "bench_okno";
    RegisterClassA(&wc);
    okno = CreateWindowExA(0, "bench_okno", "bench", WS_POPUP, 0, 0, 0, 0,
                           NULL, NULL, ghInst, NULL);
}

static void izprazni_vrsto()
{
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}


static std::vector<const char *> z_ikono;

static void napolni_seznam()
{
    ZeroMemory(m_polje, sizeof m_polje);
    IDx = 30;
    if (z_ikono.empty()) {
        for (const char *k : programi_z_ikono) {
            HICON h = ExtractIconA(ghInst, k, 0);
            if (h != NULL && h != (HICON)1) {
                z_ikono.push_back(k);
                DestroyIcon(h);
            }
        }
        printf("files_with_icons %zu\n", z_ikono.size());
        if (z_ikono.empty()) {
            printf("error no_icon_files\n");
            exit(1);
        }
    }
    for (int i = 0; i < MAX_VNOSOV; i++) {
        char opis[100];
        const char *pot = z_ikono[(size_t)i % z_ikono.size()];
        const char *ime = strrchr(pot, '\\') + 1;
        snprintf(opis, sizeof opis, " %02d %s ", i + 1, ime);
        postavi_pot(pot);
        potrdi_vnos(opis);
    }
}

// ---- menu build ----

static double zgradi(int nacin, double *unicenje)
{
    icn_kljuka = nacin;
    Odprtje o;
    o.popup = CreateMenu();
    double t0 = now_us();
    sestavi_menu(okno, &o);
    double t1 = now_us();
    koncaj_slike(okno, &o);
    DestroyMenu(o.popup);
    for (int i = 0; i < o.nslik; i++)
        DeleteObject(o.slike[i]);
    if (unicenje)
        *unicenje = now_us() - t1;
    return t1 - t0;
}

static double tla()
{
    double t0 = now_us();
    for (int i = 0; i < stevilo_vnosov(); i++) {
        HICON h = ExtractIconA(ghInst, m_polje[i].pot, 0);
        if (h != NULL)
            DestroyIcon(h);
    }
    return now_us() - t0;
}

// The floor of a build at 144 DPI: the 48 x 48 icons read the same way.
static double tla_144()
{
    double t0 = now_us();
    for (int i = 0; i < stevilo_vnosov(); i++) {
        HICON h = NULL;
        if (pPrivateExtractIconsA(m_polje[i].pot, 0, 48, 48, &h, NULL, 1, LR_DEFAULTCOLOR) == 1)
            DestroyIcon(h);
    }
    return now_us() - t0;
}

// The monitor under the cursor as a screen at 150 % scaling: the pictures
// are drawn for 144 DPI whatever the prefix's own DPI.
static HRESULT WINAPI monitor_144(HMONITOR, MONITOR_DPI_TYPE, UINT *x, UINT *y)
{
    *x = *y = 144;
    return S_OK;
}

static double zgradi_144()
{
    HRESULT (WINAPI *pravi)(HMONITOR, MONITOR_DPI_TYPE, UINT *, UINT *) = pGetDpiForMonitor;
    pGetDpiForMonitor = monitor_144;
    double t = zgradi(1, nullptr);
    pGetDpiForMonitor = pravi;
    return t;
}

static int nacin_menu(int openings)
{
    pripravi_okno();
    napolni_seznam();
    najdi_dpi_klice();
    if (pPrivateExtractIconsA == NULL) {
        printf("error no_PrivateExtractIconsA\n");
        return 1;
    }
    for (int i = 0; i < 5; i++) {      // warm-up: files in the cache, classes loaded
        zgradi(0, nullptr);
        zgradi(1, nullptr);
        tla();
        zgradi_144();
        tla_144();
    }
    std::vector<double> besedilo, slike, unicenje, floor, slike144, floor144;
    for (int i = 0; i < openings; i++) {
        double u;
        besedilo.push_back(zgradi(0, nullptr));
        slike.push_back(zgradi(1, &u));
        unicenje.push_back(u);
        floor.push_back(tla());
        slike144.push_back(zgradi_144());
        floor144.push_back(tla_144());
    }
    printf("entries %d\n", stevilo_vnosov());
    report("menu_text", besedilo);
    report("menu_pictures", slike);
    report("menu_pictures_destroy", unicenje);
    report("menu_floor_extracticon", floor);
    printf("menu_picture_ratio %.3f\n", median(slike) / median(floor));
    report("menu_pictures_144", slike144);
    report("menu_floor_extract48", floor144);
    printf("menu_picture_144_ratio %.3f\n", median(slike144) / median(floor144));
    return 0;
}


// The steps of one picture, each timed: the same platform calls, in the same
// order, as the menu makes them (naredi_sliko and the icon drawn as its
// answer comes, in src/menu_slike.cpp), here on one thread one after the
// other, the icon read in between. Tells where the time over the icon
// extraction goes.
enum { K_CANVAS, K_SELECT, K_FILL, K_TEXT, K_EXTRACT, K_DRAWICON, K_APPEND, K_CLEANUP, K_KORAKOV };
static const char *const korak_ime[K_KORAKOV] = {
    "LoadBitmapA", "SelectObject", "FillRect", "TextOutA", "ExtractIconA",
    "DrawIconEx", "AppendMenuA", "DestroyIcon",
};

// The pictures of one build drawn on this thread alone, each icon read
// where its picture is drawn; `koraki` (K_KORAKOV sums) gets each step's
// time where it is not NULL. Returns the build's time.
static double zaporedoma(double *koraki)
{
    HMENU popup = CreateMenu();
    HBITMAP slike[MAX_VNOSOV];
    double t0 = now_us();
    HDC hdc = GetDC(okno);
    HDC mem = CreateCompatibleDC(hdc);
    HBRUSH copic = CreateSolidBrush(GetSysColor(COLOR_MENU));
    SetBkMode(mem, TRANSPARENT);
    HGDIOBJ stara = NULL;
    double vsota[K_KORAKOV] = {};
    int n = 0;
    for (int i = 0; i < stevilo_vnosov(); i++) {
        double t = now_us(), u;
#define KORAK(k) (u = now_us(), vsota[k] += u - t, t = u)
        HBITMAP slika = LoadBitmapA(ghInst, MAKEINTRESOURCEA(IDB_PLATNO));   KORAK(K_CANVAS);
        HGDIOBJ s0 = SelectObject(mem, slika);                         KORAK(K_SELECT);
        if (stara == NULL)
            stara = s0;
        RECT r = { 0, 0, SLIKA_W, SLIKA_H };
        FillRect(mem, &r, copic);                                      KORAK(K_FILL);
        TextOutA(mem, 40, 10, m_polje[i].opis, (int)strlen(m_polje[i].opis)); KORAK(K_TEXT);
        HICON ikona = ExtractIconA(ghInst, m_polje[i].pot, 0);         KORAK(K_EXTRACT);
        if (ikona != NULL) {
            DrawIconEx(mem, 0, 0, ikona, 32, 32, 0, NULL, DI_NORMAL);
        }
        KORAK(K_DRAWICON);
        AppendMenuA(popup, MF_BITMAP, IDM_PRVI_PROGRAM + i, (LPCSTR)slika); KORAK(K_APPEND);
        if (ikona != NULL) {
            DestroyIcon(ikona);
        }
        KORAK(K_CLEANUP);
#undef KORAK
        slike[n++] = slika;
    }
    SelectObject(mem, stara);
    DeleteObject(copic);
    DeleteDC(mem);
    ReleaseDC(okno, hdc);
    double t = now_us() - t0;
    DestroyMenu(popup);
    for (int i = 0; i < n; i++)
        DeleteObject(slike[i]);
    if (koraki != NULL)
        for (int k = 0; k < K_KORAKOV; k++)
            koraki[k] = vsota[k];
    return t;
}

static int nacin_profile(int openings)
{
    pripravi_okno();
    napolni_seznam();
    std::vector<double> koraki[K_KORAKOV];
    for (int o = -5; o < openings; o++) {
        double vsota[K_KORAKOV];
        zaporedoma(vsota);
        if (o >= 0)
            for (int k = 0; k < K_KORAKOV; k++)
                koraki[k].push_back(vsota[k]);
    }
    double skupaj = 0;
    for (int k = 0; k < K_KORAKOV; k++)
        skupaj += median(koraki[k]);
    for (int k = 0; k < K_KORAKOV; k++)
        printf("profile %-28s %9.1f us per opening (19 pictures)  %5.1f %%\n", korak_ime[k],
               median(koraki[k]), 100.0 * median(koraki[k]) / skupaj);
    printf("profile_sum_of_medians_us %.1f\n", skupaj);
    return 0;
}

static int nacin_variants(int openings)
{
    pripravi_okno();
    napolni_seznam();
    std::vector<double> zdaj, a, floor;
    for (int i = -5; i < openings; i++) {
        double x = zgradi(1, nullptr), y = zaporedoma(nullptr), f = tla();
        if (i >= 0) {
            zdaj.push_back(x);
            a.push_back(y);
            floor.push_back(f);
        }
    }
    report("variant_now", zdaj);
    report("variant_serial", a);
    report("variant_floor", floor);
    printf("variant_now_ratio %.3f\n", median(zdaj) / median(floor));
    printf("variant_serial_ratio %.3f\n", median(a) / median(floor));
    return 0;
}

// ---- memory over openings and list changes ----

static HHOOK cbt;

// Dismisses every tracked menu the moment its window is made, as a posted
// Escape key would from the user.
static LRESULT CALLBACK cbt_escape(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        char cls[32] = "";
        GetClassNameA((HWND)wParam, cls, sizeof cls);
        if (strcmp(cls, "#32768") == 0)
            PostMessageA((HWND)wParam, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    return CallNextHookEx(cbt, code, wParam, lParam);
}

// Remove the last entry and add it again through the settings dialog's own
// operations, as the buttons do.
static bool krog_dialoga(HWND dlg, int i)
{
    odstrani(18, dlg);
    postavi_pot(z_ikono[(size_t)i % z_ikono.size()]);
    char opis[32];
    snprintf(opis, sizeof opis, " nov %d ", i);
    SetDlgItemTextA(dlg, IDC_OPIS, opis);
    dodaj(dlg);
    izprazni_vrsto();
    return stevilo_vnosov() == MAX_VNOSOV &&
           SendDlgItemMessageA(dlg, IDC_SEZNAM, LB_GETCOUNT, 0, 0) == MAX_VNOSOV;
}

// Readings: after start-up; after a warm-up (10 openings, the dialog made,
// 10 add/remove rounds: what is taken once, for good); after the openings;
// after the add/remove rounds. Growth is counted from the warm reading (a
// leak) and from the start-up reading (everything).
static int nacin_memory(int openings, int cycles)
{
    pripravi_okno();
    napolni_seznam();
    icn_kljuka = 1;
    cbt = SetWindowsHookExA(WH_CBT, cbt_escape, NULL, GetCurrentThreadId());

    Pomnilnik m0 = pomnilnik();
    report_memory("startup", m0);

    HWND dlg = CreateDialogParamA(ghInst, MAKEINTRESOURCEA(IDD_NASTAVITVE), NULL, Dlg_proc, 0);
    izprazni_vrsto();
    for (int i = 0; i < 10; i++) {
        Prikazi_Menu(okno);
        izprazni_vrsto();
        krog_dialoga(dlg, i);
    }
    Pomnilnik m1 = pomnilnik();
    report_memory("warm", m1);

    double t0 = now_us();
    for (int i = 0; i < openings; i++) {
        Prikazi_Menu(okno);
        izprazni_vrsto();
    }
    double t_open = now_us() - t0;
    Pomnilnik m2 = pomnilnik();
    report_memory("openings", m2);
    printf("openings %d\n", openings);
    printf("opening_with_tracking_mean_us %.1f\n", t_open / openings);

    int ok = 0;
    for (int i = 0; i < cycles; i++)
        if (krog_dialoga(dlg, i))
            ok++;
    Pomnilnik m3 = pomnilnik();
    report_memory("cycles", m3);
    printf("cycles %d\n", cycles);
    printf("cycles_complete %d\n", ok);
    printf("mem_leak_private %ld\n", (long)(m3.committed - m1.committed));
    printf("mem_leak_workingset %ld\n", (long)(m3.ws - m1.ws));
    printf("mem_all_private %ld\n", (long)(m3.committed - m0.committed));
    printf("mem_all_workingset %ld\n", (long)(m3.ws - m0.ws));
    DestroyWindow(dlg);
    UnhookWindowsHookEx(cbt);
    return 0;
}

// ---- hook procedures ----

static int nacin_hook(int events, int journal)
{
    pripravi_okno();
    g_hMSWnd = okno;
    g_uMSMsg = MSHOOK_MSG;
    g_hMSHook = NULL;
    g_hLLHook = NULL;
    cz = 0;

    MSLLHOOKSTRUCT ms;
    ZeroMemory(&ms, sizeof ms);
    std::vector<double> ll, batch;
    const int BATCH = 500;
    for (int b = 0; b * BATCH < events; b++) {
        double tb = now_us();
        for (int i = 0; i < BATCH; i++) {
            ms.pt.x = (b * 7 + i) % 1024;
            ms.pt.y = i % 768;
            ms.time = (DWORD)(b * BATCH + i);
            WPARAM msg = i % 50 == 0 ? WM_LBUTTONDOWN : i % 50 == 1 ? WM_LBUTTONUP : WM_MOUSEMOVE;
            double t0 = now_us();
            MSLLHookProc(HC_ACTION, msg, (LPARAM)&ms);
            ll.push_back(now_us() - t0);
        }
        batch.push_back((now_us() - tb) / BATCH);
        izprazni_vrsto();    // not timed: the window procedure's share
    }
    report("hook_ll_queued", ll);
    report("hook_ll_batch_mean", batch);

    // As on a desktop: the message loop takes each posted event before the
    // next one comes, so the queue is short when the hook posts.
    ll.clear();
    for (int i = 0; i < events; i++) {
        ms.pt.x = (i * 7) % 1024;
        ms.pt.y = i % 768;
        ms.time = 3000000 + (DWORD)i;
        WPARAM msg = i % 50 == 0 ? WM_LBUTTONDOWN : i % 50 == 1 ? WM_LBUTTONUP : WM_MOUSEMOVE;
        double t0 = now_us();
        MSLLHookProc(HC_ACTION, msg, (LPARAM)&ms);
        ll.push_back(now_us() - t0);
        izprazni_vrsto();    // not timed
    }
    report("hook_ll", ll);

    // The floor: the one post the procedure makes, alone, and the hand-on to
    // the next hook, alone.
    std::vector<double> post, next;
    for (int i = 0; i < events; i++) {
        double t0 = now_us();
        PostMessageA(okno, MSHOOK_MSG, WM_MOUSEMOVE, MAKELPARAM(i % 1024, i % 768));
        post.push_back(now_us() - t0);
        t0 = now_us();
        CallNextHookEx(NULL, HC_ACTION, WM_MOUSEMOVE, (LPARAM)&ms);
        next.push_back(now_us() - t0);
        izprazni_vrsto();    // not timed
    }
    report("hook_floor_post", post);
    report("hook_floor_callnext", next);

    // Journal path: an event the low-level hook has not posted: posted.
    EVENTMSG ev;
    ZeroMemory(&ev, sizeof ev);
    std::vector<double> jr, dvojni;
    for (int i = 0; i < journal; i++) {
        ev.message = WM_KEYDOWN;
        ev.paramL = 0x41;
        ev.paramH = i;
        ev.time = 1000000 + (DWORD)i;
        double t0 = now_us();
        MSHookProc(HC_ACTION, 0, (LPARAM)&ev);
        jr.push_back(now_us() - t0);
        izprazni_vrsto();
    }
    // Journal path for an event the low-level hook posted already: found, not
    // posted again.
    for (int i = 0; i < events / 10; i++) {
        ms.pt.x = i % 1024;
        ms.pt.y = (i * 3) % 768;
        ms.time = 2000000 + (DWORD)i;
        MSLLHookProc(HC_ACTION, WM_MOUSEMOVE, (LPARAM)&ms);
        ev.message = WM_MOUSEMOVE;
        ev.paramL = (UINT)ms.pt.x;
        ev.paramH = (UINT)ms.pt.y;
        ev.time = ms.time;
        double t0 = now_us();
        MSHookProc(HC_ACTION, 0, (LPARAM)&ev);
        dvojni.push_back(now_us() - t0);
        if (i % 500 == 0)
            izprazni_vrsto();
    }
    izprazni_vrsto();
    report("hook_journal", jr);
    report("hook_journal_seen", dvojni);
    return 0;
}

// ---- configuration file ----

static int nacin_cfg(int runs)
{
    ghInst = GetModuleHandleA(NULL);
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    napolni_seznam();
    icn_kljuka = 1;
    std::vector<double> shrani, beri;
    for (int i = 0; i < runs + 3; i++) {
        double t0 = now_us();
        bool ok = shrani_cfg();
        double t1 = now_us();
        ZeroMemory(m_polje, sizeof m_polje);
        IDx = 30;
        icn_kljuka = 0;
        double t2 = now_us();
        beri_cfg();
        double t3 = now_us();
        if (!ok || stevilo_vnosov() != MAX_VNOSOV || icn_kljuka != 1) {
            printf("error cfg_roundtrip %d\n", i);
            return 1;
        }
        if (i >= 3) {
            shrani.push_back(t1 - t0);
            beri.push_back(t3 - t2);
        }
    }
    report("cfg_save19", shrani);
    report("cfg_load19", beri);
    return 0;
}

static int okna_opozorila;

static double t_opozorilo;    // when the warning's window was being made

// Notes when the warning about too many programs is made (the file has been
// read by then) and answers it as soon as it is shown.
static LRESULT CALLBACK cbt_ok(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        char cls[32] = "";
        GetClassNameA((HWND)wParam, cls, sizeof cls);
        if (strcmp(cls, "#32770") == 0 && t_opozorilo == 0) {
            t_opozorilo = now_us();
            okna_opozorila++;
        }
    }
    if (code == HCBT_ACTIVATE)
        PostMessageA((HWND)wParam, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return CallNextHookEx(cbt, code, wParam, lParam);
}

static int nacin_hostile(const char *datoteka, int runs)
{
    ghInst = GetModuleHandleA(NULL);
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    char cilj[1100];
    snprintf(cilj, sizeof cilj, "%s\\Kolvena.cfg", w_dir);
    if (!CopyFileA(datoteka, cilj, FALSE)) {
        printf("error copy %lu\n", GetLastError());
        return 1;
    }
    cbt = SetWindowsHookExA(WH_CBT, cbt_ok, NULL, GetCurrentThreadId());
    Pomnilnik m0 = pomnilnik();
    std::vector<double> t, cel;
    for (int i = 0; i < runs; i++) {
        ZeroMemory(m_polje, sizeof m_polje);
        IDx = 30;
        icn_kljuka = 0;
        t_opozorilo = 0;
        double t0 = now_us();
        beri_cfg();
        double t1 = now_us();
        cel.push_back(t1 - t0);
        t.push_back((t_opozorilo != 0 ? t_opozorilo : t1) - t0);
        izprazni_vrsto();
    }
    Pomnilnik m1 = pomnilnik();
    UnhookWindowsHookEx(cbt);
    // Up to the warning, when there is one: the reading of the file.
    printf("load_median_us %.1f\n", median(t));
    printf("load_with_warning_median_us %.1f\n", median(cel));
    printf("load_min_us %.1f\n", *std::min_element(t.begin(), t.end()));
    printf("load_n %zu\n", t.size());
    printf("entries %d\n", stevilo_vnosov());
    printf("warnings %d\n", okna_opozorila);
    printf("ws_before %lu\n", (unsigned long)m0.ws);
    printf("peak_ws_before %lu\n", (unsigned long)m0.peak_ws);
    printf("peak_ws_after %lu\n", (unsigned long)m1.peak_ws);
    printf("private_before %lu\n", (unsigned long)m0.committed);
    printf("private_after %lu\n", (unsigned long)m1.committed);
    return 0;
}

// Refuses the warning about too many programs (its window is not made, so
// MessageBoxA returns at once): only the reading of the file is timed.
static LRESULT CALLBACK cbt_ne(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        char cls[32] = "";
        GetClassNameA((HWND)wParam, cls, sizeof cls);
        if (strcmp(cls, "#32770") == 0)
            return 1;
    }
    return CallNextHookEx(cbt, code, wParam, lParam);
}

// Loads of the given files taking turns, round after round, so that the
// machine's changing load falls on every size alike. Each file is copied to
// Kolvena.cfg (not timed) before its load.
static int nacin_linear(int runs, int nfiles, char **files)
{
    ghInst = GetModuleHandleA(NULL);
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    char cilj[1100];
    snprintf(cilj, sizeof cilj, "%s\\Kolvena.cfg", w_dir);
    cbt = SetWindowsHookExA(WH_CBT, cbt_ne, NULL, GetCurrentThreadId());
    std::vector<std::vector<double>> t((size_t)nfiles);
    for (int r = -1; r < runs; r++) {
        for (int f = 0; f < nfiles; f++) {
            if (!CopyFileA(files[f], cilj, FALSE)) {
                printf("error copy %s %lu\n", files[f], GetLastError());
                return 1;
            }
            ZeroMemory(m_polje, sizeof m_polje);
            IDx = 30;
            icn_kljuka = 0;
            double t0 = now_us();
            beri_cfg();
            double t1 = now_us();
            if (r >= 0)
                t[(size_t)f].push_back(t1 - t0);
        }
    }
    UnhookWindowsHookEx(cbt);
    for (int f = 0; f < nfiles; f++)
        printf("linear %s %.1f\n", files[f], median(t[(size_t)f]));
    return 0;
}

int main(int argc, char **argv)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    ticks_per_us = (double)f.QuadPart / 1e6;
    setvbuf(stdout, NULL, _IONBF, 0);

    if (argc >= 3 && strcmp(argv[1], "menu") == 0)
        return nacin_menu(atoi(argv[2]));
    if (argc >= 3 && strcmp(argv[1], "profile") == 0)
        return nacin_profile(atoi(argv[2]));
    if (argc >= 3 && strcmp(argv[1], "variants") == 0)
        return nacin_variants(atoi(argv[2]));
    if (argc >= 4 && strcmp(argv[1], "memory") == 0)
        return nacin_memory(atoi(argv[2]), atoi(argv[3]));
    if (argc >= 4 && strcmp(argv[1], "hook") == 0)
        return nacin_hook(atoi(argv[2]), atoi(argv[3]));
    if (argc >= 3 && strcmp(argv[1], "cfg") == 0)
        return nacin_cfg(atoi(argv[2]));
    if (argc >= 4 && strcmp(argv[1], "linear") == 0)
        return nacin_linear(atoi(argv[2]), argc - 3, argv + 3);
    if (argc >= 4 && strcmp(argv[1], "hostile") == 0)
        return nacin_hostile(argv[2], atoi(argv[3]));
    fprintf(stderr, "bench_kolvena menu|memory|hook|cfg|hostile ...\n");
    return 2;
}
