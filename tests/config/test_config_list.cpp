// The program list in memory: staging, committing, removing, its capacity of
// 19 and the staging slot behind the last entry.
#include "cfg_files.h"

#include <string.h>

using cfg::opis;
using cfg::pot;

static void three_entries()
{
    wt::reset_program_state();
    wt::add_entry("A", "C:\\a.exe");
    wt::add_entry("B", "C:\\b.exe");
    wt::add_entry("C", "C:\\c.exe");
    REQUIRE(IDx == 33);
}

TEST_CASE("staging and committing")
{
    wt::reset_program_state();
    CHECK(stevilo_vnosov() == 0);
    CHECK(staging_slot() == &m_polje[0]);
    CHECK_FALSE(pot_postavljena());

    postavi_pot("C:\\prvi.exe");
    postavi_pot("C:\\drugi.exe");           // a second choice overwrites the first
    CHECK(pot_postavljena());
    CHECK(IDx == 30);
    CHECK(pot(0) == "C:\\drugi.exe");
    CHECK(opis(0) == "");

    potrdi_vnos("Drugi");
    CHECK(IDx == 31);
    CHECK(stevilo_vnosov() == 1);
    CHECK(cfg::entries() == std::vector<std::string>{ "Drugi|C:\\drugi.exe" });
    CHECK(staging_slot() == &m_polje[1]);
    CHECK_FALSE(pot_postavljena());
}

TEST_CASE("staging and committing are bounded by the fields")
{
    wt::reset_program_state();
    vzorec::fill();
    std::string long_path = "C:\\" + std::string(400, 'p');
    std::string long_opis(300, 'o');
    postavi_pot(long_path.c_str());
    potrdi_vnos(long_opis.c_str());
    CHECK(pot(0) == long_path.substr(0, 259));
    CHECK(opis(0) == long_opis.substr(0, 99));
    CHECK(vzorec::first_damaged_slot() == -1);    // nothing spilled over
}

TEST_CASE("removing the first of three with nothing staged")
{
    three_entries();
    odstrani_vnos(0);
    CHECK(IDx == 32);
    CHECK(cfg::entries() == std::vector<std::string>{ "B|C:\\b.exe", "C|C:\\c.exe" });
    CHECK(staging_slot() == &m_polje[2]);
    CHECK_FALSE(pot_postavljena());
}

TEST_CASE("removing the last entry copies the staging slot into it")
{
    three_entries();
    postavi_pot("C:\\staged.exe");
    odstrani_vnos(2);
    CHECK(IDx == 32);
    CHECK(cfg::entries() == std::vector<std::string>{ "A|C:\\a.exe", "B|C:\\b.exe" });
    CHECK(pot_postavljena());
    CHECK(pot(2) == "C:\\staged.exe");
    CHECK(pot(3) == "C:\\staged.exe");      // the old staging slot keeps its content
}

TEST_CASE("a removal moves the staged path down; it stays staged")
{
    three_entries();
    postavi_pot("C:\\staged.exe");
    odstrani_vnos(1);
    CHECK(IDx == 32);
    CHECK(cfg::entries() == std::vector<std::string>{ "A|C:\\a.exe", "C|C:\\c.exe" });
    CHECK(pot_postavljena());
    CHECK(pot(2) == "C:\\staged.exe");

    potrdi_vnos("Novi");
    CHECK(IDx == 33);
    CHECK(opis(2) == "Novi");
    CHECK(pot(2) == "C:\\staged.exe");
    // The slot behind still holds the same path from before the removal, so
    // adding again without choosing a file adds it a second time.
    CHECK(pot_postavljena());
    potrdi_vnos("Se enkrat");
    CHECK(cfg::entries() == std::vector<std::string>{
              "A|C:\\a.exe", "C|C:\\c.exe", "Novi|C:\\staged.exe", "Se enkrat|C:\\staged.exe" });
}

TEST_CASE("capacity 19: the path staged in slot 19, committing refused until a removal")
{
    wt::reset_program_state();
    for (int i = 0; i < 19; i++) {
        std::string d = "P" + std::to_string(i);
        wt::add_entry(d.c_str(), ("C:\\p" + std::to_string(i) + ".exe").c_str());
    }
    REQUIRE(IDx == 49);
    std::vector<std::string> full = cfg::entries();

    postavi_pot("C:\\dvajseti.exe");
    CHECK(staging_slot() == &m_polje[19]);
    CHECK(pot(19) == "C:\\dvajseti.exe");
    CHECK(pot_postavljena());

    potrdi_vnos("Dvajseti");
    CHECK(IDx == 49);
    CHECK(cfg::entries() == full);
    CHECK(pot(19) == "C:\\dvajseti.exe");
    CHECK(opis(19) == "");

    odstrani_vnos(5);
    CHECK(IDx == 48);
    CHECK(pot(18) == "C:\\dvajseti.exe");
    CHECK(pot_postavljena());
    potrdi_vnos("Dvajseti");
    CHECK(IDx == 49);
    CHECK(opis(18) == "Dvajseti");
    CHECK(pot(18) == "C:\\dvajseti.exe");
    CHECK(opis(5) == "P6");
}

TEST_CASE("removal with an index outside the list changes nothing")
{
    three_entries();
    postavi_pot("C:\\staged.exe");
    MenuEntry before[20];
    memcpy(before, m_polje, sizeof before);
    for (long k : { -1L, -1000L, 3L, 4L, 19L, 20L, 2147483647L, (long)0x80000000UL }) {
        CAPTURE(k);
        odstrani_vnos(k);
        CHECK(IDx == 33);
        CHECK(memcmp(before, m_polje, sizeof before) == 0);
    }

    wt::reset_program_state();
    odstrani_vnos(0);                         // an empty list
    CHECK(IDx == 30);
}
