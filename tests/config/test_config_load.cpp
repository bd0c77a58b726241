// Loading Kolvena.cfg files as they may be found in the Windows directory:
// written by the program, edited by hand, damaged. Every load runs with
// m_polje filled with a pattern, and every one checks that no field was
// written beyond its NUL and that slots without an entry were not touched.
#include "cfg_files.h"

using cfg::load;
using cfg::opis;
using cfg::pot;

// A string literal with the NUL bytes inside it.
#define BYTES(s) std::string(s, sizeof(s) - 1)

// Files as a hand, another editor or a damaged disk may leave them, and the
// option and the entries that each loads to.
struct Loaded {
    const char *what;
    std::string bytes;
    int option;
    std::vector<std::string> entries;   // "opis|pot"
};

TEST_CASE("option lines wherever a pair could begin; line counts and line ends")
{
    const Loaded files[] = {
        // Option lines: #1, #12 and "#1 x"; the line after one is skipped.
        { "first line #1, second line not empty: skipped all the same",
          "#1\r\nC:\\skrit.exe\r\nA\r\nC:\\a.exe\r\n", 1, { "A|C:\\a.exe" } },
        { "#12 is an option line", "#12\r\n\r\nA\r\nC:\\a.exe\r\n", 1, { "A|C:\\a.exe" } },
        { "\"#1 x\" is an option line", "#1 x\r\nB\r\nA\r\nC:\\a.exe\r\n", 1, { "A|C:\\a.exe" } },
        { "between two pairs: the option is set and its next line skipped",
          "A\r\nC:\\a.exe\r\n#1\r\nC:\\skrit.exe\r\nB\r\nC:\\b.exe\r\n", 1,
          { "A|C:\\a.exe", "B|C:\\b.exe" } },
        { "a path line that begins with #1 is a path", "A\r\n#1\r\n", 0, { "A|#1" } },
        { "# alone, #2 and a blank before #1 are descriptions",
          "#\r\nC:\\a.exe\r\n#2\r\nC:\\b.exe\r\n #1\r\nC:\\c.exe\r\n", 0,
          { "#|C:\\a.exe", "#2|C:\\b.exe", " #1|C:\\c.exe" } },
        { "the option line as the last line, without a line end", "A\r\nC:\\a.exe\r\n#1", 1,
          { "A|C:\\a.exe" } },
        // Line counts and line ends.
        { "odd number of lines: the last one adds no entry", "A\r\nC:\\a.exe\r\nB\r\n", 0,
          { "A|C:\\a.exe" } },
        { "odd number after the option block", "#1\r\n\r\nA\r\n", 1, {} },
        { "one trailing empty line adds none", "A\r\nC:\\a.exe\r\n\r\n", 0, { "A|C:\\a.exe" } },
        { "two trailing empty lines form an empty entry", "A\r\nC:\\a.exe\r\n\r\n\r\n", 0,
          { "A|C:\\a.exe", "|" } },
        { "bare line feeds load like CR LF", "#1\n\nA\nC:\\a.exe\nB\nC:\\b.exe\n", 1,
          { "A|C:\\a.exe", "B|C:\\b.exe" } },
        { "the last line without a line end is read normally",
          "A\r\nC:\\a.exe\r\nB\r\nC:\\b.exe", 0, { "A|C:\\a.exe", "B|C:\\b.exe" } },
        { "a CR without LF stays in the text, CR CR LF keeps one CR",
          "A\rB\r\nC:\\a.exe\r\r\n", 0, { "A\rB|C:\\a.exe\r" } },
        { "blanks and tabs at the end of a line stay", "A  \r\nC:\\a.exe \t\r\n", 0,
          { "A  |C:\\a.exe \t" } },
        { "an empty file", "", 0, {} },
    };
    for (const Loaded &f : files) {
        INFO(std::string(f.what));
        CHECK(load(f.bytes).empty());
        CHECK(icn_kljuka == f.option);
        CHECK(IDx == 30 + (int)f.entries.size());
        CHECK(cfg::entries() == f.entries);
    }
}

TEST_CASE("long lines are cut to their field and the pairs stay paired")
{
    SUBCASE("description of 100 and of 5000 characters: the first 99 kept") {
        std::string d100 = std::string(99, 'a') + "B";
        std::string d5000 = std::string(99, 'c') + std::string(4901, 'D');
        load(d100 + "\r\nC:\\a.exe\r\n" + d5000 + "\r\nC:\\b.exe\r\nE\r\nC:\\e.exe\r\n");
        CHECK(IDx == 33);
        CHECK(opis(0) == std::string(99, 'a'));
        CHECK(pot(0) == "C:\\a.exe");
        CHECK(opis(1) == std::string(99, 'c'));
        CHECK(pot(1) == "C:\\b.exe");
        CHECK(opis(2) == "E");
    }
    SUBCASE("a description of exactly 99") {
        load(std::string(99, 'x') + "\r\nC:\\a.exe\r\n");
        CHECK(opis(0) == std::string(99, 'x'));
    }
    SUBCASE("a path line of 260 and of 600 characters: the first 259 kept") {
        std::string p260 = "C:\\" + std::string(257, 'p');
        std::string p600 = "C:\\" + std::string(256, 'q') + std::string(341, 'R');
        load("A\r\n" + p260 + "\r\nB\r\n" + p600 + "\r\nC\r\nC:\\c.exe\r\n");
        CHECK(IDx == 33);
        CHECK(pot(0) == p260.substr(0, 259));
        CHECK(pot(1) == p600.substr(0, 259));
        CHECK(opis(2) == "C");
        CHECK(pot(2) == "C:\\c.exe");
    }
    SUBCASE("an option line of 400 characters, its next line of 400") {
        load("#1" + std::string(398, 'x') + "\r\n" + std::string(400, 'y') + "\r\nA\r\nC:\\a.exe\r\n");
        CHECK(icn_kljuka == 1);
        CHECK(cfg::entries() == std::vector<std::string>{ "A|C:\\a.exe" });
    }
}

TEST_CASE("damaged files")
{
    SUBCASE("NUL bytes end the text of their line; the line still counts") {
        load(BYTES("Be\0le\r\nC:\\a\0.exe\r\n\0#1\r\nC:\\b.exe\r\n"));
        CHECK(icn_kljuka == 0);
        CHECK(cfg::entries() == std::vector<std::string>{ "Be|C:\\a", "|C:\\b.exe" });
    }
    SUBCASE("#1 followed by a NUL is still an option line") {
        load(BYTES("#1\0x\r\nskrito\r\nA\r\nC:\\a.exe\r\n"));
        CHECK(icn_kljuka == 1);
        CHECK(cfg::entries() == std::vector<std::string>{ "A|C:\\a.exe" });
    }
    SUBCASE("bytes 0x01 to 0xFF except line ends and Ctrl+Z stay as they are") {
        std::string all;
        for (int c = 1; c < 256; c++)
            if (c != '\n' && c != '\r' && c != 0x1A)
                all += (char)c;
        REQUIRE(all.size() == 252);
        load(all.substr(0, 99) + "\r\n" + all.substr(99) + "\r\n");
        CHECK(opis(0) == all.substr(0, 99));
        CHECK(pot(0) == all.substr(99));
    }
    SUBCASE("Ctrl+Z ends a file read in text mode") {
        load("A\r\nC:\\a.exe\r\nB\x1a\r\nC:\\b.exe\r\nC\r\nC:\\c.exe\r\n");
        CHECK(cfg::entries() == std::vector<std::string>{ "A|C:\\a.exe" });
    }
    SUBCASE("CR only: one long line without a line feed, no entry") {
        load("#1\rA\rC:\\a.exe\rB\rC:\\b.exe\r");
        CHECK(icn_kljuka == 1);   // the line begins with #1
        CHECK(IDx == 30);
        load("A\rC:\\a.exe\rB\rC:\\b.exe\r");
        CHECK(icn_kljuka == 0);
        CHECK(IDx == 30);
    }
    SUBCASE("no line end at all") {
        load("Beleznica C:\\WINDOWS\\NOTEPAD.EXE");
        CHECK(IDx == 30);
    }
    SUBCASE("10 MB on one line, then a path") {
        std::string big(10 * 1024 * 1024, 'M');
        big[0] = 'Z';
        CHECK(load(big + "\r\nC:\\a.exe\r\nB\r\n" + big + "\r\nC\r\nC:\\c.exe\r\n").empty());
        CHECK(IDx == 33);
        CHECK(opis(0) == "Z" + std::string(98, 'M'));
        CHECK(pot(0) == "C:\\a.exe");
        CHECK(pot(1) == "Z" + std::string(258, 'M'));
        CHECK(opis(2) == "C");
    }
    SUBCASE("10 MB on one line and nothing else") {
        CHECK(load(std::string(10 * 1024 * 1024, 'M')).empty());
        CHECK(IDx == 30);
    }
}

static std::string pairs(int from, int to, const char *eol = "\r\n")
{
    std::string s;
    for (int i = from; i < to; i++)
        s += "d" + std::to_string(i) + eol + "C:\\p" + std::to_string(i) + ".exe" + eol;
    return s;
}

static void check_first_19()
{
    REQUIRE(IDx == 49);
    for (int i = 0; i < 19; i++) {
        CAPTURE(i);
        CHECK(opis(i) == "d" + std::to_string(i));
        CHECK(pot(i) == "C:\\p" + std::to_string(i) + ".exe");
    }
}

TEST_CASE("more than 19 pairs: the first 19 loaded, the user told once")
{
    SUBCASE("exactly 19 pairs and a description without a path: no message") {
        CHECK(load(pairs(0, 19) + "d19\r\n").empty());
        check_first_19();
    }
    SUBCASE("20 pairs") {
        std::vector<wt::Box> boxes = load(pairs(0, 20));
        REQUIRE(boxes.size() == 1);
        CHECK(boxes[0].text == cfg::OPOZORILO);
        CHECK(boxes[0].caption == "Opozorilo!!!");
        CHECK(boxes[0].buttons == std::vector<std::string>{ "OK" });
        check_first_19();
    }
    SUBCASE("100 pairs with option lines among them, then saved: 19 pairs in the file") {
        std::vector<wt::Box> boxes = load(pairs(0, 10) + "#1\r\n\r\n" + pairs(10, 100));
        REQUIRE(boxes.size() == 1);
        CHECK(boxes[0].text == cfg::OPOZORILO);
        CHECK(boxes[0].caption == "Opozorilo!!!");
        CHECK(icn_kljuka == 1);
        check_first_19();
        REQUIRE(shrani_cfg());
        CHECK(cfg::read_bytes(cfg::cfg_path()) == "#1\r\n\r\n" + pairs(0, 19));
    }
    SUBCASE("the file is already closed while the message is shown") {
        cfg::write_bytes(cfg::cfg_path(), pairs(0, 20));
        wt::reset_program_state();
        bool exclusive = false;
        wt::Driver d;
        d.box([&](HWND box) {
            HANDLE h = CreateFileA(cfg::cfg_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            exclusive = h != INVALID_HANDLE_VALUE;
            if (exclusive)
                CloseHandle(h);
            wt::press(box, IDOK);
        });
        zacni_cfg();
        d.finish();
        CHECK(exclusive);
        check_first_19();
    }
    SUBCASE("a million short lines") {
        std::vector<wt::Box> boxes = load(pairs(0, 500000, "\n"));
        REQUIRE(boxes.size() == 1);
        CHECK(boxes[0].text == cfg::OPOZORILO);
        check_first_19();
    }
}
