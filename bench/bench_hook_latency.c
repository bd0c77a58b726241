/* What Kolvena's mouse hook costs the rest of the desktop: another
 * program's SendInput time while Kolvena is busy.
 *
 * A low-level mouse hook is called through the thread that installed it,
 * and the program that puts a mouse event in (SendInput, or the system's
 * own mouse driver) waits until that thread has answered. This program is
 * "another program": a thread of it sends one mouse move every SEND_GAP_MS
 * and times each SendInput call, while the main thread makes a Kolvena.exe
 * busy in two ways:
 *
 *   menu     the 19-picture menu opened (WM_TRAYNOTIFY with WM_RBUTTONDOWN
 *            posted to its window, as a right click on the icon does) and
 *            closed with Escape as soon as it is up, MENU_OPENINGS times:
 *            each opening builds 19 pictures on Kolvena's window thread;
 *   blocked  Kolvena's window thread suspended for BLOCK_MS, BLOCKS times:
 *            as when it is busy in a long call (a program started from a
 *            slow share) or is not given the processor.
 *
 * The same is timed with no Kolvena running ("none": the sender alone for
 * as long as the other scenario took). The Kolvena.exe builds given take
 * turns with "none", round after round, so that changes of load fall on
 * all of them.
 *
 *   bench_hook_latency <rounds> <name>=<Kolvena.exe> [<name>=<Kolvena.exe>...]
 *
 * Kolvena.cfg in the Windows directory is written first: the option line
 * (pictures) and 19 entries on programs of the prefix that carry icons; it
 * is put back as it was at the end.
 * Prints per sample "sample <name> <scenario> <us>" and per name and
 * scenario "latency <name> <scenario> n <n> median_us <> p99_us <> worst_us <>".
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "programi.h"

enum {
    SEND_GAP_MS = 2,          /* between one SendInput and the next */
    MENU_OPENINGS = 15,
    BLOCK_MS = 2000,
    BLOCKS = 2,
    AFTER_BLOCK_MS = 300,     /* sending goes on this long after a resume */
    MAX_SAMPLES = 20000,
    MAX_PROGRAMS = 8,
    ENTRIES = 19,
    WM_TRAYNOTIFY_KOLVENA = WM_USER + 1,   /* Kolvena's tray callback message */
    TRAY_ID_KOLVENA = 1,
};

static double now_us(void)
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1e6 / (double)f.QuadPart;
}

/* ---- the sender ---- */

typedef struct {
    double *us;
    int n;
    volatile LONG stop;
} Samples;

static DWORD WINAPI sender(LPVOID p)
{
    Samples *s = (Samples *)p;
    INPUT in;
    int k = 0;
    ZeroMemory(&in, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    while (!InterlockedCompareExchange(&s->stop, 0, 0) && s->n < MAX_SAMPLES) {
        double t0;
        in.mi.dx = (k++ % 2) ? 1 : -1;
        t0 = now_us();
        SendInput(1, &in, sizeof in);
        s->us[s->n++] = now_us() - t0;
        Sleep(SEND_GAP_MS);
    }
    return 0;
}

static HANDLE start_sender(Samples *s)
{
    s->n = 0;
    s->stop = 0;
    return CreateThread(NULL, 0, sender, s, 0, NULL);
}

static void stop_sender(Samples *s, HANDLE t)
{
    InterlockedExchange(&s->stop, 1);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
}

/* ---- Kolvena ---- */

/* Kolvena.cfg as it was before this program, put back at the end. */
static char cfg_path[MAX_PATH];
static char *cfg_before;
static long cfg_before_size = -1;

static void keep_cfg(void)
{
    FILE *f;
    GetWindowsDirectoryA(cfg_path, sizeof cfg_path);
    strcat(cfg_path, "\\Kolvena.cfg");
    f = fopen(cfg_path, "rb");
    if (!f)
        return;
    fseek(f, 0, SEEK_END);
    cfg_before_size = ftell(f);
    fseek(f, 0, SEEK_SET);
    cfg_before = (char *)malloc((size_t)cfg_before_size + 1);
    if (fread(cfg_before, 1, (size_t)cfg_before_size, f) != (size_t)cfg_before_size)
        cfg_before_size = -1;
    fclose(f);
}

static void restore_cfg(void)
{
    FILE *f;
    if (cfg_before_size < 0) {
        DeleteFileA(cfg_path);
        return;
    }
    f = fopen(cfg_path, "wb");
    if (f) {
        fwrite(cfg_before, 1, (size_t)cfg_before_size, f);
        fclose(f);
    }
}

/* The first entry's path where one of the 19 is a file that never answers
   (the "shown" mode's silent run); NULL for 19 local files. */
static const char *silent_entry;
/* The local files of the list written, in order. */
static const char *listed[ENTRIES];

static void write_cfg(void)
{
    const char *with_icon[sizeof programi_z_ikono / sizeof programi_z_ikono[0]];
    int n = 0, i;
    FILE *f;
    for (i = 0; i < (int)(sizeof programi_z_ikono / sizeof programi_z_ikono[0]); i++) {
        HICON h = ExtractIconA(GetModuleHandleA(NULL), programi_z_ikono[i], 0);
        if (h != NULL && h != (HICON)1) {
            with_icon[n++] = programi_z_ikono[i];
            DestroyIcon(h);
        }
    }
    if (n == 0) {
        printf("error no_icon_files\n");
        exit(1);
    }
    f = fopen(cfg_path, "wb");
    if (!f) {
        printf("error cannot_write %s\n", cfg_path);
        exit(1);
    }
    fputs("#1\r\n\r\n", f);
    for (i = 0; i < ENTRIES; i++) {
        const char *p = i == 0 && silent_entry != NULL ? silent_entry : with_icon[i % n];
        listed[i] = with_icon[i % n];
        fprintf(f, " %02d %s \r\n%s\r\n", i + 1, strrchr(p, '\\') + 1, p);
    }
    fclose(f);
    printf("files_with_icons %d\n", n);
}

typedef struct {
    PROCESS_INFORMATION pi;
    HWND window;           /* its hidden window of class "klasa" */
    DWORD window_thread;
} Kolvena;

typedef struct {
    DWORD pid;
    const char *cls;
    HWND found;
} Search;

/* A visible window of the class, or the hidden one of class "klasa". */
static BOOL CALLBACK find_window(HWND h, LPARAM lp)
{
    Search *s = (Search *)lp;
    char cls[16] = "";
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    GetClassNameA(h, cls, sizeof cls);
    if (pid == s->pid && strcmp(cls, s->cls) == 0 &&
        (strcmp(cls, "klasa") == 0 || IsWindowVisible(h))) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

/* The top-level window of that process and class (see find_window). */
static HWND window_of(DWORD pid, const char *cls)
{
    Search s;
    s.pid = pid;
    s.cls = cls;
    s.found = NULL;
    EnumWindows(find_window, (LPARAM)&s);
    return s.found;
}

static BOOL start_kolvena(const char *exe, Kolvena *k)
{
    STARTUPINFOA si;
    char cmd[MAX_PATH + 2];
    int i;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    ZeroMemory(k, sizeof *k);
    snprintf(cmd, sizeof cmd, "\"%s\"", exe);
    if (!CreateProcessA(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &k->pi))
        return FALSE;
    /* In its message loop: the list loaded, the hooks installed. */
    WaitForInputIdle(k->pi.hProcess, 30000);
    for (i = 0; i < 3000 && k->window == NULL; i++) {
        k->window = window_of(k->pi.dwProcessId, "klasa");
        if (k->window == NULL)
            Sleep(10);
    }
    if (k->window == NULL)
        return FALSE;
    k->window_thread = GetWindowThreadProcessId(k->window, NULL);
    Sleep(500);
    return TRUE;
}

static void end_kolvena(Kolvena *k)
{
    /* WM_CLOSE: the default handling destroys the window, which ends it. */
    PostMessageA(k->window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(k->pi.hProcess, 10000) != WAIT_OBJECT_0) {
        printf("note kolvena_did_not_end_terminated\n");
        TerminateProcess(k->pi.hProcess, 1);
        WaitForSingleObject(k->pi.hProcess, 5000);
    }
    CloseHandle(k->pi.hThread);
    CloseHandle(k->pi.hProcess);
}

/* Waits until Kolvena's menu is up (want 1) or gone (want 0). */
static BOOL wait_menu(DWORD pid, int want, DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        if ((window_of(pid, "#32768") != NULL) == want)
            return TRUE;
        Sleep(1);
    }
    return FALSE;
}

static int scenario_menu(Kolvena *k)
{
    int i, opened = 0;
    for (i = 0; i < MENU_OPENINGS; i++) {
        HWND m;
        PostMessageA(k->window, WM_TRAYNOTIFY_KOLVENA, TRAY_ID_KOLVENA, WM_RBUTTONDOWN);
        if (!wait_menu(k->pi.dwProcessId, 1, 20000))
            continue;
        opened++;
        m = window_of(k->pi.dwProcessId, "#32768");
        if (m != NULL)
            PostMessageA(m, WM_KEYDOWN, VK_ESCAPE, 0);
        wait_menu(k->pi.dwProcessId, 0, 20000);
    }
    return opened;
}

static int scenario_blocked(Kolvena *k)
{
    int i, blocked = 0;
    HANDLE t = OpenThread(THREAD_SUSPEND_RESUME, FALSE, k->window_thread);
    if (t == NULL)
        return 0;
    for (i = 0; i < BLOCKS; i++) {
        if (SuspendThread(t) == (DWORD)-1)
            continue;
        blocked++;
        Sleep(BLOCK_MS);
        ResumeThread(t);
        Sleep(AFTER_BLOCK_MS);
    }
    CloseHandle(t);
    return blocked;
}

/* ---- figures ---- */

static int cmp_double(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

typedef struct {
    char name[64];
    char scenario[16];
    double *us;
    int n;
} Series;

static Series series[2 * (MAX_PROGRAMS + 1)];
static int n_series;

static Series *series_of(const char *name, const char *scenario)
{
    int i;
    for (i = 0; i < n_series; i++)
        if (strcmp(series[i].name, name) == 0 && strcmp(series[i].scenario, scenario) == 0)
            return &series[i];
    Series *s = &series[n_series++];
    snprintf(s->name, sizeof s->name, "%s", name);
    snprintf(s->scenario, sizeof s->scenario, "%s", scenario);
    s->us = (double *)malloc(sizeof(double) * MAX_SAMPLES * 8);
    s->n = 0;
    return s;
}

static void keep(const char *name, const char *scenario, const Samples *smp)
{
    Series *s = series_of(name, scenario);
    int i;
    for (i = 0; i < smp->n && s->n < MAX_SAMPLES * 8; i++) {
        s->us[s->n++] = smp->us[i];
        printf("sample %s %s %.1f\n", name, scenario, smp->us[i]);
    }
}

static void report(const Series *s)
{
    double *v = (double *)malloc(sizeof(double) * (size_t)(s->n ? s->n : 1));
    int p99;
    memcpy(v, s->us, sizeof(double) * (size_t)s->n);
    qsort(v, (size_t)s->n, sizeof(double), cmp_double);
    if (s->n == 0) {
        printf("latency %s %s n 0\n", s->name, s->scenario);
        free(v);
        return;
    }
    p99 = (int)(0.99 * (s->n - 1) + 0.5);
    printf("latency %s %s n %d median_us %.1f p99_us %.1f worst_us %.1f\n", s->name, s->scenario,
           s->n, v[s->n / 2], v[p99], v[s->n - 1]);
    free(v);
}

/* ---- time until the picture menu is shown ----

   From the tray callback posted to each Kolvena.exe until its menu window is
   visible, over 19 ExtractIconA of the list's files in a row in this
   process: the floor that a build reading one file after the other has. A
   menu not shown within SHOWN_LIMIT_MS is reported as never shown (a
   Kolvena that reads a silent file on its window's thread never shows
   it, and is left to end when the file answers). */
enum { SHOWN_LIMIT_MS = 5000 };

static double floor_us(void)
{
    double t0 = now_us();
    int i;
    for (i = 0; i < ENTRIES; i++) {
        HICON h = ExtractIconA(GetModuleHandleA(NULL), listed[i], 0);
        if (h != NULL)
            DestroyIcon(h);
    }
    return now_us() - t0;
}

static int shown(int argc, char **argv)
{
    int openings = atoi(argv[2]), i, j;
    double fl[64], t[64];
    const char *label = "local";
    if (argc > 3 && strncmp(argv[3], "silent=", 7) == 0) {
        silent_entry = argv[3] + 7;
        label = "silent";
        argv++;
        argc--;
    }
    if (openings > 64)
        openings = 64;
    keep_cfg();
    write_cfg();
    for (j = 0; j < openings; j++)
        fl[j] = floor_us();
    qsort(fl, (size_t)openings, sizeof(double), cmp_double);
    printf("shown floor_median_us %.1f\n", fl[openings / 2]);
    for (i = 3; i < argc; i++) {
        char *eq = strchr(argv[i], '=');
        Kolvena k;
        int n = 0;
        if (!eq)
            return 2;
        *eq = '\0';
        if (!start_kolvena(eq + 1, &k)) {
            printf("error cannot_start %s\n", argv[i]);
            continue;
        }
        for (j = 0; j < openings; j++) {
            double t0 = now_us();
            HWND m;
            PostMessageA(k.window, WM_TRAYNOTIFY_KOLVENA, TRAY_ID_KOLVENA, WM_RBUTTONDOWN);
            if (!wait_menu(k.pi.dwProcessId, 1, SHOWN_LIMIT_MS))
                break;
            t[n++] = now_us() - t0;
            m = window_of(k.pi.dwProcessId, "#32768");
            if (m != NULL)
                PostMessageA(m, WM_KEYDOWN, VK_ESCAPE, 0);
            wait_menu(k.pi.dwProcessId, 0, 20000);
        }
        if (n == 0) {
            printf("shown %s %s never_within_ms %d\n", argv[i], label, SHOWN_LIMIT_MS);
            TerminateProcess(k.pi.hProcess, 1);   /* ends once the file answers */
            CloseHandle(k.pi.hThread);
            CloseHandle(k.pi.hProcess);
            continue;
        }
        qsort(t, (size_t)n, sizeof(double), cmp_double);
        printf("shown %s %s n %d median_us %.1f ratio_to_floor %.3f\n", argv[i], label, n,
               t[n / 2], t[n / 2] / fl[openings / 2]);
        end_kolvena(&k);
    }
    restore_cfg();
    return 0;
}

int main(int argc, char **argv)
{
    int rounds, r, i;
    const char *names[MAX_PROGRAMS], *exes[MAX_PROGRAMS];
    int programs = 0;
    Samples smp;

    if (argc < 3) {
        fprintf(stderr, "bench_hook_latency <rounds> <name>=<Kolvena.exe> ...\n"
                        "bench_hook_latency shown <openings> [silent=<path>] <name>=<Kolvena.exe> ...\n");
        return 2;
    }
    if (strcmp(argv[1], "shown") == 0)
        return shown(argc, argv);
    rounds = atoi(argv[1]);
    for (i = 2; i < argc && programs < MAX_PROGRAMS; i++) {
        char *eq = strchr(argv[i], '=');
        if (!eq)
            return 2;
        *eq = '\0';
        names[programs] = argv[i];
        exes[programs] = eq + 1;
        programs++;
    }
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    keep_cfg();
    write_cfg();
    smp.us = (double *)malloc(sizeof(double) * MAX_SAMPLES);
    SetCursorPos(300, 250);

    for (r = 0; r < rounds; r++) {
        for (i = 0; i < programs; i++) {
            Kolvena k;
            HANDLE t;
            double t0, menu_ms, block_ms;
            int n;

            if (!start_kolvena(exes[i], &k)) {
                printf("error cannot_start %s\n", names[i]);
                continue;
            }
            t = start_sender(&smp);
            t0 = now_us();
            n = scenario_menu(&k);
            menu_ms = (now_us() - t0) / 1000.0;
            stop_sender(&smp, t);
            keep(names[i], "menu", &smp);
            printf("round %d %s menu_openings %d ms %.0f\n", r, names[i], n, menu_ms);

            t = start_sender(&smp);
            t0 = now_us();
            n = scenario_blocked(&k);
            block_ms = (now_us() - t0) / 1000.0;
            stop_sender(&smp, t);
            keep(names[i], "blocked", &smp);
            printf("round %d %s blocks %d ms %.0f\n", r, names[i], n, block_ms);
            end_kolvena(&k);

            /* No Kolvena: the sender alone, as long as each scenario took. */
            t = start_sender(&smp);
            Sleep((DWORD)menu_ms);
            stop_sender(&smp, t);
            keep("none", "menu", &smp);
            t = start_sender(&smp);
            Sleep((DWORD)block_ms);
            stop_sender(&smp, t);
            keep("none", "blocked", &smp);
            fflush(stdout);
        }
    }
    restore_cfg();
    for (i = 0; i < n_series; i++)
        report(&series[i]);
    return 0;
}
