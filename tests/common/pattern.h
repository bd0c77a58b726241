// m_polje filled with a pattern before a load, and the check that the load
// wrote each entry's text and its NUL and nothing else. Plain C++: the
// fuzzer (fuzz/fuzz_config.cpp) builds it natively too.
#pragma once

#include "config_list.h"

#include <string.h>

namespace vzorec {

const unsigned char VZOREC = 0xA5;

inline void fill()
{
    memset(m_polje, VZOREC, sizeof m_polje);
}

// The field holds a NUL and every byte behind that NUL is still the pattern.
inline bool field_intact(const char *field, size_t size)
{
    size_t len = strnlen(field, size);
    if (len == size)
        return false;
    for (size_t i = len + 1; i < size; i++)
        if ((unsigned char)field[i] != VZOREC)
            return false;
    return true;
}

inline bool slot_untouched(const MenuEntry &e)
{
    const unsigned char *p = (const unsigned char *)&e;
    for (size_t i = 0; i < sizeof e; i++)
        if (p[i] != VZOREC)
            return false;
    return true;
}

// The first slot of m_polje that is not as a load over the pattern leaves
// it (an entry's fields with bytes behind their NUL, or a slot without an
// entry touched at all), or -1 when every slot is.
inline int first_damaged_slot()
{
    for (int i = 0; i <= MAX_VNOSOV; i++) {
        bool ok = i < stevilo_vnosov()
                      ? field_intact(m_polje[i].opis, sizeof m_polje[i].opis) &&
                            field_intact(m_polje[i].pot, sizeof m_polje[i].pot)
                      : slot_untouched(m_polje[i]);
        if (!ok)
            return i;
    }
    return -1;
}

} // namespace vzorec
