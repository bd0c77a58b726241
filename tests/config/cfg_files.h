// Helpers of the Kolvena.cfg tests: real files in the Windows directory of the
// throwaway prefix, read and written byte for byte, and a guard on the fields
// of m_polje.
#pragma once

#include "wintest.h"

#include <string.h>
#include <string>
#include <vector>

namespace cfg {

using wt::win_dir;
using wt::read_bytes;
using wt::write_bytes;
using wt::exists;

inline std::string cfg_path()
{
    return win_dir() + "\\Kolvena.cfg";
}

// What m_polje is filled with before a load: every byte a load does not
// write must still hold it afterwards.
const unsigned char VZOREC = 0xA5;

inline void fill_pattern()
{
    memset(m_polje, VZOREC, sizeof m_polje);
}

// True when the field holds a NUL and every byte behind that NUL is still the
// pattern: the load copied its text and nothing more into it.
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

// Checks that the load wrote every entry's fields within their sizes and left
// every other slot as fill_pattern set it.
inline void check_fields_after_load()
{
    int n = IDx - 30;
    REQUIRE(n >= 0);
    REQUIRE(n <= 19);
    for (int i = 0; i < 20; i++) {
        CAPTURE(i);
        if (i < n) {
            CHECK(field_intact(m_polje[i].opis, sizeof m_polje[i].opis));
            CHECK(field_intact(m_polje[i].pot, sizeof m_polje[i].pot));
        } else {
            CHECK(slot_untouched(m_polje[i]));
        }
    }
}

// Loads `bytes` as Kolvena.cfg the way start-up does, with m_polje filled
// with the pattern, and returns the message boxes that the load showed (each
// one recorded and closed with OK).
inline std::vector<wt::Box> load(const std::string &bytes)
{
    write_bytes(cfg_path(), bytes);
    wt::reset_program_state();
    fill_pattern();
    std::vector<wt::Box> seen;
    wt::Robot robot;
    robot.box(IDOK, &seen).box(IDOK, &seen).box(IDOK, &seen);
    robot.start(20, 3000);
    zacni_cfg();
    robot.stop();
    check_fields_after_load();
    return seen;
}

// The description and path of entry i.
inline std::string opis(int i) { return m_polje[i].opis; }
inline std::string pot(int i) { return m_polje[i].pot; }

// The entries as "opis|pot" lines, for comparing whole lists.
inline std::vector<std::string> entries()
{
    std::vector<std::string> v;
    for (int i = 0; i < IDx - 30; i++)
        v.push_back(opis(i) + "|" + pot(i));
    return v;
}

} // namespace cfg
