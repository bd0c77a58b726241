/* Start-up time of tray programs, measured from outside.
 *
 * This program is the tray: it owns a window of class "Shell_TrayWnd", to
 * which Shell_NotifyIcon sends its WM_COPYDATA. For each run it starts a
 * program with CreateProcess and takes the time from just before that call
 * to the moment the program's first tray message arrives: the program's
 * window exists (the message names it) and its icon has been added.
 * A program that stays (Kolvena.exe) is then sent WM_CLOSE and waited for.
 * The programs given take turns, run after run, so that the machine's load
 * falls on all of them alike.
 *
 *   bench_start <runs> <program> [<program>...]
 *
 * Prints, per program: "start <i> <ms>" lines and a summary line
 *   "summary <i> median <ms> min <ms> max <ms> n <n>",
 * and for programs that stay, their memory after start-up
 *   "memory <i> private <bytes> workingset <bytes>". */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

static HWND from_hwnd;          /* the window named by the first tray message */
static ULONG_PTR from_data;     /* its dwData */
static LARGE_INTEGER t_icon;
static DWORD child_pid;

static LRESULT CALLBACK tray_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        DWORD pid = 0;
        GetWindowThreadProcessId((HWND)wParam, &pid);
        if (from_hwnd == NULL && pid == child_pid) {
            QueryPerformanceCounter(&t_icon);
            from_hwnd = (HWND)wParam;
            from_data = ((COPYDATASTRUCT *)lParam)->dwData;
        }
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static void pump(void)
{
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

/* Waits for the process, handling sent messages meanwhile. */
static BOOL wait_process(HANDLE h, DWORD ms)
{
    DWORD until = GetTickCount() + ms;
    for (;;) {
        DWORD now = GetTickCount();
        if ((LONG)(until - now) <= 0)
            return FALSE;
        DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, until - now, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return TRUE;
        pump();
    }
}

static int cmp_double(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "bench_start <runs> <program>...\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    int nprog = argc - 2;

    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = tray_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    /* Top-most and created last: the first of its class that FindWindow sees. */
    HWND tray = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "",
                                WS_POPUP, 0, 0, 0, 0, NULL, NULL, wc.hInstance, NULL);
    HWND found = FindWindowA("Shell_TrayWnd", NULL);
    printf("tray_window_first %d\n", found == tray);

    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    double *ms = calloc((size_t)(runs * nprog), sizeof *ms);
    int *n = calloc((size_t)nprog, sizeof *n);

    /* One unmeasured run of each first: files come into the cache. */
    for (int r = -1; r < runs; r++) {
        for (int p = 0; p < nprog; p++) {
            STARTUPINFOA si;
            PROCESS_INFORMATION pi;
            ZeroMemory(&si, sizeof si);
            si.cb = sizeof si;
            from_hwnd = NULL;
            from_data = 0;
            pump();

            LARGE_INTEGER t0;
            QueryPerformanceCounter(&t0);
            child_pid = 0;
            if (!CreateProcessA(argv[2 + p], NULL, NULL, NULL, FALSE, CREATE_SUSPENDED,
                                NULL, NULL, &si, &pi)) {
                printf("error cannot_start %s %lu\n", argv[2 + p], GetLastError());
                return 1;
            }
            /* Started suspended only to learn its id before it can speak;
             * the clock runs from before CreateProcess. */
            child_pid = pi.dwProcessId;
            ResumeThread(pi.hThread);

            while (from_hwnd == NULL) {
                DWORD w = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20000, QS_ALLINPUT);
                pump();
                if (w == WAIT_TIMEOUT || (w == WAIT_OBJECT_0 && from_hwnd == NULL))
                    break;
            }
            if (from_hwnd == NULL) {
                printf("error no_icon %s\n", argv[2 + p]);
                TerminateProcess(pi.hProcess, 1);
                return 1;
            }
            double t = (double)(t_icon.QuadPart - t0.QuadPart) * 1000.0 / (double)f.QuadPart;

            char cls[32] = "";
            GetClassNameA(from_hwnd, cls, sizeof cls);
            if (lstrcmpA(cls, "klasa") == 0) {
                /* Kolvena stays: the last run also reads its memory once it waits. */
                if (r == runs - 1) {
                    WaitForInputIdle(pi.hProcess, 5000);
                    Sleep(500);
                    pump();
                    PROCESS_MEMORY_COUNTERS_EX pmc;
                    ZeroMemory(&pmc, sizeof pmc);
                    pmc.cb = sizeof pmc;
                    if (GetProcessMemoryInfo(pi.hProcess, (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof pmc))
                        printf("memory %d private %lu workingset %lu\n", p,
                               (unsigned long)pmc.PrivateUsage, (unsigned long)pmc.WorkingSetSize);
                }
                PostMessageA(from_hwnd, WM_CLOSE, 0, 0);
            }
            if (!wait_process(pi.hProcess, 20000)) {
                printf("error no_exit %s\n", argv[2 + p]);
                TerminateProcess(pi.hProcess, 1);
                WaitForSingleObject(pi.hProcess, 5000);
            }
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);

            if (r < 0) {
                printf("tray_data %d %lu\n", p, (unsigned long)from_data);
                continue;
            }
            printf("start %d %.3f\n", p, t);
            ms[p * runs + n[p]++] = t;
        }
    }

    for (int p = 0; p < nprog; p++) {
        double *v = ms + p * runs;
        qsort(v, (size_t)n[p], sizeof *v, cmp_double);
        double med = n[p] % 2 ? v[n[p] / 2] : (v[n[p] / 2 - 1] + v[n[p] / 2]) / 2;
        printf("summary %d median %.3f min %.3f max %.3f n %d\n", p, med, v[0], v[n[p] - 1], n[p]);
    }
    DestroyWindow(tray);
    return 0;
}
