// Kolvena.cfg on real files in the Windows directory of a throwaway prefix:
// start-up, the bytes the writer produces, and save-then-load round trips.
#include "cfg_files.h"

using cfg::cfg_path;
using cfg::read_bytes;
using cfg::write_bytes;

// Starts the way the program does: a fresh list, then the configuration start-up.
static void fresh_start()
{
    wt::reset_program_state();
    zacni_cfg();
}

// The same, on a first start without a file.
static void first_start()
{
    DeleteFileA(cfg_path().c_str());
    fresh_start();
    REQUIRE(IDx == 30);
}

static std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

// A path of exactly n characters: "C:\" and a folder name of the rest.
static std::string path_of(size_t n, char fill = 'p')
{
    std::string s = "C:\\" + repeat(fill, n - 3 - 4) + ".exe";
    REQUIRE(s.size() == n);
    return s;
}

// Saves the list in memory, checks the file's bytes, loads it into a fresh
// state and checks that the same option and entries came back.
static void round_trip(const std::string &expected_bytes)
{
    std::vector<std::string> before = cfg::entries();
    int option = icn_kljuka;
    int idx = IDx;

    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == expected_bytes);
    CHECK_FALSE(cfg::exists(cfg_path() + ".new"));

    CHECK(cfg::load(read_bytes(cfg_path())).empty());
    CHECK(icn_kljuka == option);
    CHECK(IDx == idx);
    CHECK(cfg::entries() == before);
}

TEST_CASE("first start creates an empty Kolvena.cfg and an empty list")
{
    DeleteFileA(cfg_path().c_str());
    fresh_start();
    CHECK(read_bytes(cfg_path()) == "");
    CHECK(IDx == 30);
    CHECK(icn_kljuka == 0);

    char cur[MAX_PATH], win[MAX_PATH];
    GetCurrentDirectoryA(sizeof cur, cur);
    GetWindowsDirectoryA(win, sizeof win);
    CHECK(lstrcmpiA(cur, win) == 0);
    CHECK(lstrcmpiA(w_dir, win) == 0);
}

// Kolvena.exe in the Windows directory, beside its Kolvena.cfg.
static DWORD WINAPI exe_in_windows(HMODULE, LPWSTR p, DWORD n) { return GetWindowsDirectoryW(p, n), lstrlenW(lstrcatW(p, L"\\Kolvena.exe")); }
TEST_CASE("the writer's 0-, 6- and 41-byte files, also from a Kolvena.exe kept in the Windows directory")
{
    wt::PatchedImport exe("kernel32.dll", "GetModuleFileNameW", (void *)exe_in_windows);
    fresh_start();
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == "");

    icn_kljuka = 1;
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == "#1\r\n\r\n");

    wt::add_entry("Beleznica", "C:\\WINDOWS\\NOTEPAD.EXE");
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == "#1\r\n\r\nBeleznica\r\nC:\\WINDOWS\\NOTEPAD.EXE\r\n");

    fresh_start();
    CHECK(icn_kljuka == 1);
    CHECK(IDx == 31);
    CHECK(std::string(m_polje[0].opis) == "Beleznica");
    CHECK(std::string(m_polje[0].pot) == "C:\\WINDOWS\\NOTEPAD.EXE");
}

TEST_CASE("an existing file is loaded, not replaced")
{
    write_bytes(cfg_path(), "A\r\nC:\\a.exe\r\nB\nC:\\b.exe");
    fresh_start();
    CHECK(IDx == 32);
    CHECK(std::string(m_polje[1].pot) == "C:\\b.exe");
    CHECK(read_bytes(cfg_path()) == "A\r\nC:\\a.exe\r\nB\nC:\\b.exe");
}

TEST_CASE("round trips: empty list with the option off and on")
{
    SUBCASE("option off: 0 bytes") {
        first_start();
        round_trip("");
    }
    SUBCASE("option on: the option line and an empty line") {
        first_start();
        icn_kljuka = 1;
        round_trip("#1\r\n\r\n");
    }
}

TEST_CASE("round trips: option on and off with entries")
{
    first_start();
    wt::add_entry("Beleznica", "C:\\WINDOWS\\NOTEPAD.EXE");
    wt::add_entry("Racunalo", "C:\\WINDOWS\\system32\\calc.exe");
    const std::string pairs = "Beleznica\r\nC:\\WINDOWS\\NOTEPAD.EXE\r\n"
                              "Racunalo\r\nC:\\WINDOWS\\system32\\calc.exe\r\n";

    icn_kljuka = 1;
    round_trip("#1\r\n\r\n" + pairs);

    // The load never turns the option off; the dialog does, before the save.
    icn_kljuka = 0;
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == pairs);
    fresh_start();
    CHECK(icn_kljuka == 0);
    CHECK(IDx == 32);
    CHECK(cfg::opis(1) == "Racunalo");
}

TEST_CASE("round trip: a full list of 19, the path staged in slot 19 is not saved")
{
    first_start();
    icn_kljuka = 1;
    std::string expected = "#1\r\n\r\n";
    for (int i = 0; i < 19; i++) {
        std::string d = "Program " + std::to_string(i);
        std::string p = "C:\\Programi\\p" + std::to_string(i) + ".exe";
        wt::add_entry(d.c_str(), p.c_str());
        expected += d + "\r\n" + p + "\r\n";
    }
    REQUIRE(IDx == 49);
    postavi_pot("C:\\ZACASNO\\staged.exe");
    CHECK(std::string(m_polje[19].pot) == "C:\\ZACASNO\\staged.exe");

    round_trip(expected);     // without the staged path
}

TEST_CASE("round trips: paths of 253 to 259 characters and descriptions of 99")
{
    for (size_t len : { 253u, 254u, 255u, 258u, 259u }) {
        CAPTURE(len);
        first_start();
        std::string p = path_of(len);
        std::string d = repeat('o', 99);
        wt::add_entry(d.c_str(), p.c_str());
        wt::add_entry("za njim", "C:\\b.exe");
        REQUIRE(cfg::pot(0) == p);
        REQUIRE(cfg::opis(0) == d);
        round_trip(d + "\r\n" + p + "\r\nza njim\r\nC:\\b.exe\r\n");
    }
}

TEST_CASE("round trip: bytes of the ANSI code page, blanks and tabs stay as they are")
{
    first_start();
    wt::add_entry("Urejevalnik \xe8\x9a\x9e  ", "C:\\Program Files\\ure\xe8.exe \t");
    wt::add_entry(" ", "C:\\x.exe");
    round_trip("Urejevalnik \xe8\x9a\x9e  \r\nC:\\Program Files\\ure\xe8.exe \t\r\n"
               " \r\nC:\\x.exe\r\n");
}
