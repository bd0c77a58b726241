// The desktop's input hooks on a thread of their own (shell_hook.cpp): what
// the module gives the other modules and the tests.
#pragma once

#include "NTpopup.h"

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

extern HHOOK g_hMSHook;               // journal-record hook, on the hook thread
extern HHOOK g_hLLHook;               // low-level mouse hook, on the hook thread
extern HWND  g_hMSWnd;
extern UINT  g_uMSMsg;
// The user ended journaling (WM_CANCELJOURNAL): no journal hook again this
// run. Tests clear it.
extern bool journal_preklican;

// A mouse move posted by a hook and not yet taken: no further move is posted
// until the window procedure, taking it, clears this. Shared by two threads,
// every access interlocked.
extern LONG pomik_caka;

// A seam for tests: the hooks' installation call, SetWindowsHookExA, for
// which a test puts in a stand-in that refuses.
extern HHOOK (WINAPI *namesti_hook)(int, HOOKPROC, HINSTANCE, DWORD);
