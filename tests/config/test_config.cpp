// Kolvena.cfg on real files in the Windows directory of a throwaway prefix.
#include "wintest.h"

#include <string>

static std::string cfg_path()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\Kolvena.cfg";
}

static std::string read_bytes(const std::string &path)
{
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

static void write_bytes(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    REQUIRE(f != nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Starts the way the program does: a fresh list, then the configuration start-up.
static void fresh_start()
{
    wt::reset_program_state();
    zacni_cfg();
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
}

TEST_CASE("the writer's 0-, 6- and 41-byte files")
{
    fresh_start();
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == "");

    icn_kljuka = 1;
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == "#1\r\n\r\n");

    wt::add_entry("Beleznica", "C:\\WINDOWS\\NOTEPAD.EXE");
    REQUIRE(shrani_cfg());
    std::string bytes = read_bytes(cfg_path());
    CHECK(bytes == "#1\r\n\r\nBeleznica\r\nC:\\WINDOWS\\NOTEPAD.EXE\r\n");
    CHECK(bytes.size() == 41);

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
