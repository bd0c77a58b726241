// The program list and the text format of Kolvena.cfg.
// No Win32 here: the same source is built natively for fuzzing.
#include "config_list.h"

#include <string.h>

MenuEntry m_polje[MAX_VNOSOV + 1];
int IDx = IDM_PRVI_PROGRAM;
int icn_kljuka;

void kopiraj(char *dst, size_t size, const char *src)
{
    if (size == 0)
        return;
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

int stevilo_vnosov(void)
{
    return IDx - IDM_PRVI_PROGRAM;
}

MenuEntry *staging_slot(void)
{
    return &m_polje[stevilo_vnosov()];
}

void postavi_pot(const char *pot)
{
    kopiraj(staging_slot()->pot, sizeof m_polje[0].pot, pot);
}

bool pot_postavljena(void)
{
    return staging_slot()->pot[0] != 0;
}

void potrdi_vnos(const char *opis)
{
    if (stevilo_vnosov() >= MAX_VNOSOV)
        return;
    kopiraj(staging_slot()->opis, sizeof m_polje[0].opis, opis);
    IDx++;
}

// Entries behind k move one place forward; the last copy reads the staging
// slot, so a staged path moves down with the list and stays staged.
void odstrani_vnos(long k)
{
    int count = stevilo_vnosov();
    if (k < 0 || k >= count)
        return;
    for (long j = k; j < count; j++) {
        memcpy(m_polje[j].pot, m_polje[j + 1].pot, sizeof m_polje[j].pot);
        memcpy(m_polje[j].opis, m_polje[j + 1].opis, sizeof m_polje[j].opis);
    }
    IDx--;
}

// Reads one line into dst (cut to the field, the rest of the line consumed).
// The text ends at the line feed or at the first NUL byte of the line.
// first2 receives the line's first two bytes. Returns false when the stream
// was already at its end.
static bool beri_vrstico(FILE *f, char *dst, size_t size, char first2[2])
{
    size_t n = 0;
    size_t pos = 0;
    bool konec_besedila = false;
    int c = getc(f);
    if (c == EOF)
        return false;
    first2[0] = first2[1] = 0;
    for (; c != EOF && c != '\n'; c = getc(f), pos++) {
        if (pos < 2)
            first2[pos] = (char)c;
        if (c == 0)
            konec_besedila = true;
        if (!konec_besedila && n + 1 < size)
            dst[n++] = (char)c;
    }
    if (size > 0)
        dst[n] = 0;
    return true;
}

long beri_tok(FILE *f)
{
    char opis[sizeof m_polje[0].opis];
    char pot[sizeof m_polje[0].pot];
    char first2[2];
    int n = 0;
    long odvec = 0;

    while (beri_vrstico(f, opis, sizeof opis, first2)) {
        if (first2[0] == '#' && first2[1] == '1') {
            icn_kljuka = 1;
            beri_vrstico(f, pot, sizeof pot, first2);    // the line after it is skipped
            continue;
        }
        if (!beri_vrstico(f, pot, sizeof pot, first2))
            break;                                      // description without a path
        if (n < MAX_VNOSOV) {
            kopiraj(m_polje[n].opis, sizeof m_polje[n].opis, opis);
            kopiraj(m_polje[n].pot, sizeof m_polje[n].pot, pot);
            n++;
        } else {
            odvec++;
        }
    }
    if (n > 0)
        IDx = IDM_PRVI_PROGRAM + n;
    return odvec;
}

bool pisi_tok(FILE *f, const MenuEntry *seznam, int stevilo, int kljuka)
{
    if (kljuka == 1) {
        fputs("#1", f);
        fputs("\n", f);
        fputs("\n", f);
    }
    for (int i = 0; i < stevilo; i++) {
        fputs(seznam[i].opis, f);
        fputs("\n", f);
        fputs(seznam[i].pot, f);
        fputs("\n", f);
    }
    return fflush(f) == 0 && !ferror(f);
}
