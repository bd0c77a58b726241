// The configuration file (config.cpp): where the list lives, its load at
// start-up and its save, and Kolvena's end waiting for a save on its way.
#pragma once

#include "NTpopup.h"

// The list's home where the Windows directory refused the save: the full
// path of Kolvena.cfg in a Kolvena folder of the user's local
// application-data folder. Empty while the Windows directory's file is the home. Set by
// start-up when that file exists, or when an earlier Kolvena's list is found
// in the roaming application-data folder instead (read from there, saved
// here), and by a save that had to go there.
extern char osebna_cfg[MAX_PATH];
// The list's home where a Kolvena.cfg lay beside Kolvena.exe at start-up:
// Kolvena.exe's folder, with its final backslash, and that file's full path.
// Empty otherwise. Set by start-up only.
extern char prenosna_mapa[MAX_PATH];
extern char prenosna_cfg[MAX_PATH];

void zacni_cfg(void);     // Windows directory current, the list's home found, list loaded
void beri_cfg(void);      // load
// save; false when the old file was left as it was. A list beside
// Kolvena.exe is saved on a thread of its own: true also while that save
// is still on its way after a short wait; it reports a later failure itself.
bool shrani_cfg(void);
// Kolvena's end (its window destroyed, the Windows session ending) waits for
// a save beside Kolvena.exe that is still on its way, a few seconds at most:
// one that has not ended by then, or has failed, is reported ("Seznama
// programov ni bilo mogoce shraniti ...") and replaces nothing afterwards.
// shranjevanje_na_poti: whether such a save is on its way now.
bool shranjevanje_na_poti(void);
void pocakaj_shranjevanje(void);
