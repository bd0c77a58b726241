// Work that may wait on a file (ozadje.cpp): run on a thread of its own,
// waited for a bounded while, its answer taken when it comes within the wait
// and said by its own thread when it comes later. The start of a program
// (menu_zagon.cpp) and the save of the list beside Kolvena.exe (config.cpp)
// run so: a file on a share that is off, or a stick that stops answering,
// holds that thread for seconds or for good, and no other.
#pragma once

#include "NTpopup.h"

// How long a menu call waits for a program's file, from the start of the
// build for the icons (menu_slike.cpp), from the choice for a start
// (menu_zagon.cpp), and how long "Koncaj" waits for a save beside
// Kolvena.exe. A local file answers well within it, even on a busy machine
// (a file no cache holds yet, Kolvena at idle priority): its entry looks,
// its start and its save report as ever. A file held by a share that is off
// answers in seconds or never; the menu waits for it no longer than this,
// which still feels immediate after a click.
constexpr DWORD KRATKO_CAKANJE_MS = 250;

// How the work ended.
enum class Opravljeno {
    DA,        // it did what it was for
    NE,        // it failed
    NE_TIHO,   // it failed, and its thread may say nothing (it may load no library)
};

// One piece of work, and what its thread and the waiting thread share. The
// caller sets the first four before pozeni_posel and owns `zanj`; the rest
// is the helper's, read and written under its lock.
struct Posel {
    Opravljeno (*delo)(void *zanj);   // the work, on the thread
    void (*povej)(void);              // says a failure that came after the wait, on the thread
    void *zanj;                       // what the work works on
    bool do_konca;   // Kolvena's end waits for it (pocakaj_posel): its thread's handle is kept

    bool tece;       // on its way, or ended and its answer not yet taken
    bool koncan, ok;
    bool sam_pove;   // the caller no longer waits: the thread says a failure
    bool konec;      // Kolvena's end waits for it and says a failure itself
    bool opusceno;   // the end waited no longer: the work's result is not to take effect
    HANDLE nit;      // with do_konca, the last run's thread
};

// Starts p's work on a thread of its own and waits for it najvec_ms at
// most. False where the work failed within the wait, or could not begin
// (p on its way already, no thread); true where it succeeded or is still on
// its way, its thread then saying a later failure through p->povej. The
// caller writes what p->zanj points to only while p is not on its way.
bool pozeni_posel(Posel *p, DWORD najvec_ms);

// Whether p is on its way now.
bool posel_na_poti(Posel *p);

// For the work itself: whether Kolvena's end has stopped waiting for it.
bool posel_opuscen(Posel *p);

// Kolvena's end: waits for p (do_konca) while it is on its way, najvec_ms at
// most, its thread then saying nothing. False where it failed or has not
// ended by then (p->opusceno is set then); true where it succeeded or was
// not on its way (its thread's late report, if one is up, waited for).
bool pocakaj_posel(Posel *p, DWORD najvec_ms);
