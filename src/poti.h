// Paths (poti.cpp): what the module gives the others.
#pragma once

#include "NTpopup.h"

#include <stddef.h>

// The stored path `pot` as a full path, into izhod: a relative one is
// completed from the current directory now, or, with the list beside
// Kolvena.exe, from Kolvena.exe's folder (one without a drive from its
// drive). The current directory is the whole process's and the file dialog
// moves it, so a path is made full on the window's thread before another
// thread gets it. False where the full path does not fit `velikost` bytes.
bool polna_pot(const char *pot, char *izhod, size_t velikost);

// The form in which the list beside Kolvena.exe keeps the path `pot`, into
// izhod: a program on Kolvena.exe's own drive relative to its folder
// ("..\Orodja\x.exe"), so that the list holds under whatever letter Windows
// gives the stick; a path on another drive, a UNC path and one that is
// relative already as it is (also where the relative one would not fit).
// polna_pot makes it full again.
void prenosna_pot(const char *pot, char *izhod, size_t velikost);

// The path `pot` in the ANSI code page as it is, or else its short (8.3)
// form, which Windows gives in ASCII where the volume keeps short names;
// false when neither spells that very file within `size` bytes (a stand-in
// character names another file or none).
bool ansi_ali_kratka(const wchar_t *pot, char *ansi, int size);

// The path at which a 32-bit Kolvena reaches the file at `pot` past the
// system directory's redirection, written into izhod; `pot` itself where
// none applies.
const char *pot_brez_preusmeritve(const char *pot, char *izhod, size_t velikost);
