// Helpers of the Kolvena.cfg tests: real files in the Windows directory of the
// throwaway prefix, read and written byte for byte, and loads over a list
// filled with a pattern.
#pragma once

#include "pattern.h"
#include "wintest.h"

#include <string>
#include <vector>

namespace cfg {

using wt::read_bytes;
using wt::write_bytes;
using wt::exists;
using wt::entries;
using wt::win_dir;

inline std::string cfg_path()
{
    return wt::win_path("Kolvena.cfg");
}

// The only box a load shows.
const char OPOZORILO[] =
    "Datoteka Kolvena.cfg navaja vec kot 19 programov.\n"
    "V menu je nalozenih samo prvih 19; ostali bodo ob naslednjem shranjevanju izpusceni.";

// Loads `bytes` as Kolvena.cfg the way start-up does, with m_polje filled
// with the pattern; checks that no field was written beyond its NUL and no
// slot without an entry touched; returns the boxes the load showed (each
// answered with OK).
inline std::vector<wt::Box> load(const std::string &bytes)
{
    write_bytes(cfg_path(), bytes);
    wt::reset_program_state();
    vzorec::fill();
    wt::Driver d;
    d.allow(OPOZORILO);
    zacni_cfg();
    d.finish();
    CHECK(vzorec::first_damaged_slot() == -1);
    return d.boxes;
}

// The description and path of entry i.
inline std::string opis(int i) { return m_polje[i].opis; }
inline std::string pot(int i) { return m_polje[i].pot; }

} // namespace cfg
