// The program list (config_list.cpp): what it gives the other modules, the
// list's operations and its text format over a stream, and the bounded copy
// that every module uses. No Win32 here: the fuzzer builds it natively.
#pragma once

#include "NTpopup.h"

#include <stddef.h>
#include <stdio.h>

// Bounded string copy: copies at most size - 1 bytes and always ends with NUL.
void kopiraj(char *dst, size_t size, const char *src);

// List operations.
int  stevilo_vnosov(void);                 // IDx - 30
MenuEntry *staging_slot(void);
void postavi_pot(const char *pot);         // stage a path
bool pot_postavljena(void);                // is a path staged
void potrdi_vnos(const char *opis);        // commit the staged entry
void odstrani_vnos(long k);                // remove entry k

// The file format over an open text stream. beri_tok returns how many
// complete pairs beyond the 19 that fit were left out; pisi_tok writes the
// list (or a copy of it, with its count and option) and returns false when
// the stream reported a write error.
long beri_tok(FILE *f);
bool pisi_tok(FILE *f, const MenuEntry *seznam = m_polje, int stevilo = stevilo_vnosov(),
              int kljuka = icn_kljuka);
