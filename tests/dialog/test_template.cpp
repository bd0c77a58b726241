// The settings dialog's template as Kolvena.exe carries it: the fields of
// the DLGTEMPLATEEX header and of its twelve controls that no run of the
// dialog shows (the tests of the dialog find it by its caption), read back
// from the executable's resources.
#include "wintest.h"

#include <stdlib.h>

#include <string>
#include <vector>

// A reader over the template's bytes: little-endian words, double words and
// sz_Or_Ord fields, with the alignment that the format demands.
struct Reader {
    const BYTE *base;
    size_t size;
    size_t pos = 0;
    bool overrun = false;

    BYTE byte()
    {
        if (pos + 1 > size) {
            overrun = true;
            return 0;
        }
        return base[pos++];
    }
    WORD word()
    {
        WORD lo = byte();
        return (WORD)(lo | byte() << 8);
    }
    DWORD dword()
    {
        DWORD lo = word();
        return lo | (DWORD)word() << 16;
    }
    short sword() { return (short)word(); }
    // NUL-terminated UTF-16 text, as ASCII (the program's texts are ASCII).
    std::string text()
    {
        std::string s;
        for (WORD c = word(); c != 0 && !overrun; c = word())
            s += c < 128 ? (char)c : '?';
        return s;
    }
    void align4() { pos = (pos + 3) & ~(size_t)3; }
};

// An sz_Or_Ord field: 0xFFFF and an ordinal, or a text (empty for none).
struct NameOrOrd {
    bool is_ord = false;
    WORD ord = 0;
    std::string name;
};

static NameOrOrd name_or_ord(Reader &r)
{
    NameOrOrd n;
    if (r.pos + 2 <= r.size && r.base[r.pos] == 0xFF && r.base[r.pos + 1] == 0xFF) {
        r.word();
        n.is_ord = true;
        n.ord = r.word();
    } else {
        n.name = r.text();
    }
    return n;
}

struct Control {
    DWORD help_id;
    DWORD exstyle;
    DWORD style;
    short x, y, cx, cy;
    DWORD id;
    NameOrOrd cls;
    NameOrOrd title;
    WORD extra;
};

struct Expected {
    DWORD id;
    WORD atom;             // predefined class atom, or 0 when named
    const char *cls_name;  // the class by name when atom is 0
    const char *text;
    DWORD style;
    DWORD exstyle;
    short x, y, cx, cy;
};

static const WORD BUTTON = 0x0080, EDIT = 0x0081, STATIC = 0x0082, LISTBOX = 0x0083;

static const Expected controls[] = {
    { 101, LISTBOX, nullptr, "", 0x50A10001, 0, 114, 144, 96, 60 },
    { 102, BUTTON, nullptr, "Dodaj", 0x50010000, 0, 12, 72, 90, 14 },
    { 103, BUTTON, nullptr, "Odstrani", 0x50010000, 0, 12, 144, 90, 14 },
    { 104, BUTTON, nullptr, "Koncaj", 0x50010001, 0, 12, 216, 198, 14 },
    { 106, STATIC, nullptr, "Opis novega programa v meniju (npr. MS WORD ...)", 0x50020000, 0,
      12, 90, 198, 12 },
    { 107, EDIT, nullptr, "", 0x50810080, 0x200, 12, 105, 198, 12 },
    { 108, STATIC, nullptr, "Na disku poisci program, ki ga zelis pripeti na menu", 0x50020000, 0,
      12, 30, 198, 12 },
    { 109, BUTTON, nullptr, "Poisci", 0x50010000, 0, 12, 12, 90, 14 },
    { 110, 0, "Static", "", 0x50000008, 0, 6, 6, 210, 126 },
    { 111, 0, "Static", "", 0x50000007, 0, 6, 138, 210, 72 },
    { 112, LISTBOX, nullptr, "", 0x50A14003, 0, 12, 50, 198, 12 },
    { 27, BUTTON, nullptr, "Pokazi ikone", 0x50010003, 0, 12, 195, 132, 10 },
};

static std::string template_bytes(HMODULE m, LANGID lang)
{
    HRSRC r = FindResourceExA(m, RT_DIALOG, MAKEINTRESOURCEA(IDD_NASTAVITVE), lang);
    if (!r)
        return "";
    HGLOBAL g = LoadResource(m, r);
    const char *p = g ? (const char *)LockResource(g) : nullptr;
    if (!p)
        return "";
    return std::string(p, SizeofResource(m, r));
}

static HMODULE load_kolvena()
{
    const char *exe = getenv("KOLVENA_EXE");
    REQUIRE(exe != nullptr);
    HMODULE m = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE_MESSAGE(m != NULL, "cannot load " << exe);
    return m;
}

static BOOL CALLBACK note_language(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR lp)
{
    ((std::vector<LANGID> *)lp)->push_back(lang);
    return TRUE;
}

TEST_CASE("Kolvena.exe holds dialog 100 once, in English (United States)")
{
    HMODULE m = load_kolvena();
    std::vector<LANGID> langs;
    EnumResourceLanguagesA(m, RT_DIALOG, MAKEINTRESOURCEA(IDD_NASTAVITVE), note_language,
                           (LONG_PTR)&langs);
    CHECK(langs == std::vector<LANGID>{ 1033 });

    // The test programs run the dialog from their own copy of the resources.
    std::string own = template_bytes(GetModuleHandleA(NULL), 1033);
    CHECK(!own.empty());
    CHECK(own == template_bytes(m, 1033));
    FreeLibrary(m);
}

TEST_CASE("the template of the settings dialog: the fields that no run of it shows")
{
    HMODULE m = load_kolvena();
    std::string bytes = template_bytes(m, 1033);
    REQUIRE(!bytes.empty());
    Reader r{ (const BYTE *)bytes.data(), bytes.size() };

    // DLGTEMPLATEEX header.
    CHECK(r.word() == 1);         // dlgVer
    CHECK(r.word() == 0xFFFF);    // signature: the extended form
    CHECK(r.dword() == 0);        // helpID
    CHECK(r.dword() == 0x200);    // WS_EX_CLIENTEDGE
    CHECK(r.dword() == (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    WORD count = r.word();
    CHECK(r.sword() == 120);
    CHECK(r.sword() == -30);
    CHECK(r.sword() == 222);
    CHECK(r.sword() == 240);

    // The menu, the class and the caption: a menu or class Kolvena.exe
    // lacks, or another caption, and no dialog test would find the dialog.
    name_or_ord(r);
    name_or_ord(r);
    r.text();

    CHECK(r.word() == 8);         // point size
    CHECK(r.word() == 0);         // weight
    CHECK(r.byte() == 0);         // italic
    CHECK(r.byte() == 1);         // DEFAULT_CHARSET
    CHECK(r.text() == "Helv");
    REQUIRE_FALSE(r.overrun);

    // DLGITEMTEMPLATEEX, each on a double-word boundary.
    std::vector<Control> items;
    for (int i = 0; i < count; i++) {
        r.align4();
        Control c;
        c.help_id = r.dword();
        c.exstyle = r.dword();
        c.style = r.dword();
        c.x = r.sword();
        c.y = r.sword();
        c.cx = r.sword();
        c.cy = r.sword();
        c.id = r.dword();
        c.cls = name_or_ord(r);
        c.title = name_or_ord(r);
        c.extra = r.word();
        r.pos += c.extra;
        items.push_back(c);
    }
    REQUIRE_FALSE(r.overrun);
    CHECK(r.pos == bytes.size());   // nothing behind the last control

    REQUIRE(items.size() == sizeof controls / sizeof controls[0]);
    for (size_t i = 0; i < items.size(); i++) {
        const Control &c = items[i];
        const Expected &e = controls[i];
        CAPTURE(i);
        CAPTURE(e.id);
        CHECK(c.id == e.id);
        CHECK(c.help_id == 0);
        CHECK(c.style == e.style);
        CHECK(c.exstyle == e.exstyle);
        CHECK(c.x == e.x);
        CHECK(c.y == e.y);
        CHECK(c.cx == e.cx);
        CHECK(c.cy == e.cy);
        if (e.atom) {
            CHECK(c.cls.is_ord);
            CHECK(c.cls.ord == e.atom);
        } else {
            // The class by its name, as the script writes it (as Microsoft's
            // rc keeps it, and llvm-windres).
            CHECK_FALSE(c.cls.is_ord);
            CHECK(c.cls.name == e.cls_name);
        }
        CHECK_FALSE(c.title.is_ord);
        CHECK(c.title.name == e.text);
        CHECK(c.extra == 0);        // no creation data
    }
    FreeLibrary(m);
}
