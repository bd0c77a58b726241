// The settings dialog, opened from its own template and driven with real
// messages: browsing with the real file-open dialog, adding, removing, the
// show-icons box, "Koncaj" and the close box, and Kolvena.cfg on disk.
#include "../menu/menutest.h"
#include "dialog.h"

#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

using wt::win_path;
using wt::read_bytes;
using wt::write_bytes;

using wt::start_with_file;
using wt::list_lines;
using wt::NOTEPAD;
using wt::REGEDIT;
static const char *const CAPTION = wt::NASTAVITVE_NASLOV;
static const int FILE_NAME_BOX = 0x47C;   // cmb13: "File name:" of the Open dialog
static const std::pair<const char *, const char *> NI_POTI = { "Pot do programa ni dolocena!!!", "Napaka !" };

// ---- Kolvena.cfg ----

static void start_with_entries(int n)
{
    start_with_file("");
    for (int i = 0; i < n; i++) {
        std::string opis = "Program " + std::to_string(i);
        wt::add_entry(opis.c_str(), NOTEPAD);
    }
    REQUIRE(stevilo_vnosov() == n);
}

// ---- the dialog's controls ----

// A path as the wide functions take it.
static std::wstring wide(const std::string &a)
{
    wchar_t w[MAX_PATH];
    REQUIRE(MultiByteToWideChar(CP_ACP, 0, a.c_str(), -1, w, MAX_PATH) > 0);
    return w;
}

static std::string edit_text(HWND dlg)
{
    char buf[300] = "";
    GetDlgItemTextA(dlg, IDC_OPIS, buf, sizeof buf);
    return buf;
}

static void type(HWND dlg, const char *text)
{
    SetDlgItemTextA(dlg, IDC_OPIS, text);
}

// Types a description and presses "Dodaj", for an addition that shows no box.
static void add_typed(HWND dlg, const char *text)
{
    type(dlg, text);
    wt::send_command(dlg, IDC_DODAJ);
}

static void select(HWND dlg, int index)
{
    SendDlgItemMessageA(dlg, IDC_SEZNAM, LB_SETCURSEL, index, 0);
}

static bool ticked(HWND dlg)
{
    return SendDlgItemMessageA(dlg, IDC_POKAZI_IKONE, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static std::string staged()
{
    return staging_slot()->pot;
}

// ---- one opening of the dialog, scripted ----

struct Session {
    wt::Driver d;
    HWND dlg = NULL;

    // A step on the settings dialog. It ends with at most one posted action
    // (a press that opens a box or the Open dialog, or the close box).
    Session &settings(std::function<void(HWND)> f)
    {
        d.dialog(CAPTION, [this, f](HWND h) {
            if (dlg)
                CHECK(h == dlg);
            dlg = h;
            f(h);
        });
        return *this;
    }
    // The next message box: recorded, then OK.
    Session &box()
    {
        d.box();
        return *this;
    }
    // The Open dialog: the file name typed in, then OK, or Cancel.
    Session &choose(const std::wstring &path)
    {
        d.dialog("Open", [this, path](HWND h) {
            CHECK(GetWindow(h, GW_OWNER) == dlg);
            SetDlgItemTextW(h, FILE_NAME_BOX, path.c_str());
            wt::press(h, IDOK);
        });
        return *this;
    }
    Session &choose(const char *path) { return choose(wide(path)); }
    Session &cancel_open()
    {
        d.dialog("Open", [this](HWND h) {
            CHECK(GetWindow(h, GW_OWNER) == dlg);
            wt::press(h, IDCANCEL);
        });
        return *this;
    }
    // Browses for `path` (after `first` on the dialog) and checks on the
    // dialog what the browse left.
    Session &browse(const char *path, std::function<void(HWND)> first = nullptr)
    {
        settings([first](HWND h) {
            if (first)
                first(h);
            wt::press(h, IDC_POISCI);
        });
        choose(path);
        return settings([path](HWND h) {
            CHECK(list_lines(h, IDC_POT) == std::vector<std::string>{ path });
            CHECK(staged() == path);
        });
    }

    // Opens the dialog as the menu does and runs the script until it ends:
    // the boxes that came were plain ones with these texts and captions.
    void run(const std::vector<std::pair<const char *, const char *>> &boxes = {})
    {
        INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_NASTAVITVE),
                                         NULL, Dlg_proc, 0);
        d.finish();
        CHECK(result == 0);
        CHECK(dlg_odprt == NULL);
        REQUIRE(d.boxes.size() == boxes.size());
        for (size_t i = 0; i < boxes.size(); i++)
            wt::check_plain_box(d.boxes[i], boxes[i].first, boxes[i].second);
    }
};

static std::vector<std::string> S(std::initializer_list<const char *> l)
{
    return std::vector<std::string>(l.begin(), l.end());
}

// An entry as wt::entries() gives it.
static std::string E(const char *opis, const char *pot) { return std::string(opis) + "|" + pot; }
using Entries = std::vector<std::string>;

// ---- the cases ----

TEST_CASE("empty list: browse, the description asked for, add, nothing staged after")
{
    start_with_entries(0);
    Session s;
    s.browse(NOTEPAD, [](HWND h) {
        CHECK(dlg_odprt == h);
        CHECK(list_lines(h, IDC_SEZNAM).empty());
        CHECK(list_lines(h, IDC_POT).empty());
        CHECK(edit_text(h) == "");
        CHECK_FALSE(ticked(h));
    });
    s.settings([](HWND h) { wt::press(h, IDC_DODAJ); })   // the edit box is empty
        .box()
        .settings([](HWND h) {
            CHECK(list_lines(h, IDC_POT) == S({ NOTEPAD }));
            CHECK(staged() == NOTEPAD);
            CHECK(stevilo_vnosov() == 0);

            add_typed(h, "Beleznica");
            CHECK(wt::entries() == Entries{ E("Beleznica", NOTEPAD) });
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Beleznica" }));
            CHECK(edit_text(h) == "");
            CHECK(list_lines(h, IDC_POT).empty());
            CHECK(staged() == "");

            type(h, "Se enkrat");
            wt::press(h, IDC_DODAJ);   // the new staging slot is empty
        })
        .box()
        .settings([](HWND h) {
            CHECK(stevilo_vnosov() == 1);
            CHECK(edit_text(h) == "Se enkrat");
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Beleznica" }));
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run({ { "Opis morate vpisati!!!", "Napaka !" }, NI_POTI });
}

TEST_CASE("add with nothing browsed: the path is asked for first")
{
    SUBCASE("empty edit box, then with a description typed")
    {
        start_with_entries(0);
        Session s;
        s.settings([](HWND h) { wt::press(h, IDC_DODAJ); })
            .box()
            .settings([](HWND h) {
                type(h, "Beleznica");
                wt::press(h, IDC_DODAJ);
            })
            .box()
            .settings([](HWND h) {
                CHECK(edit_text(h) == "Beleznica");
                CHECK(list_lines(h, IDC_SEZNAM).empty());
                CHECK(stevilo_vnosov() == 0);
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run({ NI_POTI, NI_POTI });
    }
    SUBCASE("full list")
    {
        start_with_entries(19);
        Session s;
        s.settings([](HWND h) {
            CHECK(list_lines(h, IDC_SEZNAM).size() == 19);
            type(h, "Dvajseti");
            wt::press(h, IDC_DODAJ);
        })
            .box()
            .settings([](HWND h) {
                CHECK(stevilo_vnosov() == 19);
                CHECK(list_lines(h, IDC_SEZNAM).size() == 19);
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run({ NI_POTI });
    }
}

TEST_CASE("a description of 40 characters is stored as its first 32")
{
    start_with_entries(1);
    Session s;
    s.browse(REGEDIT).settings([](HWND h) {
        add_typed(h, "0123456789abcdefghijABCDEFGHIJ0123456789");
        CHECK(wt::entries() ==
              Entries{ E("Program 0", NOTEPAD), E("0123456789abcdefghijABCDEFGHIJ01", REGEDIT) });
        CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0", "0123456789abcdefghijABCDEFGHIJ01" }));
        PostMessageA(h, WM_CLOSE, 0, 0);
    });
    s.run();
}

TEST_CASE("full list: browsing stages in the 20th slot, adding is refused, a removal makes room")
{
    start_with_entries(19);
    Session s;
    s.browse(REGEDIT)
        .settings([](HWND h) {
            CHECK(std::string(m_polje[19].pot) == REGEDIT);
            wt::press(h, IDC_DODAJ);   // no description: asked for before the capacity
        })
        .box()
        .settings([](HWND h) {
            type(h, "Dvajseti");
            wt::press(h, IDC_DODAJ);
        })
        .box()
        .settings([](HWND h) {
            CHECK(stevilo_vnosov() == 19);
            CHECK(std::string(m_polje[19].pot) == REGEDIT);
            CHECK(list_lines(h, IDC_SEZNAM).size() == 19);
            CHECK(list_lines(h, IDC_POT) == S({ REGEDIT }));
            CHECK(edit_text(h) == "Dvajseti");

            select(h, 5);
            wt::send_command(h, IDC_ODSTRANI);
            CHECK(stevilo_vnosov() == 18);
            CHECK(staged() == REGEDIT);
            CHECK(std::string(m_polje[5].opis) == "Program 6");

            wt::send_command(h, IDC_DODAJ);
            CHECK(stevilo_vnosov() == 19);
            CHECK(std::string(m_polje[18].opis) == "Dvajseti");
            CHECK(std::string(m_polje[18].pot) == REGEDIT);
            CHECK(list_lines(h, IDC_SEZNAM).back() == "Dvajseti");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run({ { "Opis morate vpisati!!!", "Napaka !" },
            { "Dodajanje v menu ni vec mogoce!!!", "Opozorilo!!!" } });
}

TEST_CASE("removing")
{
    SUBCASE("nothing selected")
    {
        start_with_entries(2);
        Session s;
        s.settings([](HWND h) {
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
            wt::press(h, IDC_ODSTRANI);
        })
            .box()
            .settings([](HWND h) {
                CHECK(stevilo_vnosov() == 2);
                CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run({ { "Nekaj morate izbrati !!!", "Opozorilo!!" } });
    }
    SUBCASE("the first of three")
    {
        start_with_entries(3);
        strcpy(m_polje[1].pot, REGEDIT);
        Session s;
        s.settings([](HWND h) {
            select(h, 0);
            wt::send_command(h, IDC_ODSTRANI);
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 1", "Program 2" }));
            CHECK(wt::entries() == Entries{ E("Program 1", REGEDIT), E("Program 2", NOTEPAD) });
            CHECK(staged() == "");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    }
    SUBCASE("the last, with a path staged")
    {
        start_with_entries(3);
        Session s;
        s.browse(REGEDIT).settings([](HWND h) {
            select(h, 2);
            wt::send_command(h, IDC_ODSTRANI);
            CHECK(stevilo_vnosov() == 2);
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
            CHECK(staged() == REGEDIT);
            CHECK(list_lines(h, IDC_POT) == S({ REGEDIT }));

            add_typed(h, "Urejevalnik");
            CHECK(wt::entries() == Entries{ E("Program 0", NOTEPAD), E("Program 1", NOTEPAD),
                                            E("Urejevalnik", REGEDIT) });
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1", "Urejevalnik" }));

            // The slot behind still holds the path from before the removal.
            add_typed(h, "Drugic");
            CHECK(stevilo_vnosov() == 4);
            CHECK(std::string(m_polje[3].pot) == REGEDIT);
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    }
}

TEST_CASE("a staged path outlives the dialog")
{
    start_with_entries(1);
    {
        Session s;
        s.browse(REGEDIT).settings([](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); });
        s.run();
    }
    CHECK(stevilo_vnosov() == 1);
    CHECK(staged() == REGEDIT);
    {
        Session s;
        s.settings([](HWND h) {
            CHECK(list_lines(h, IDC_POT).empty());
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            add_typed(h, "Urejevalnik");
            CHECK(wt::entries() == Entries{ E("Program 0", NOTEPAD), E("Urejevalnik", REGEDIT) });
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    }
}

TEST_CASE("cancelling the file dialog changes nothing; a second browse replaces the first")
{
    start_with_entries(0);
    Session s;
    s.settings([](HWND h) { wt::press(h, IDC_POISCI); })
        .cancel_open()
        .browse(NOTEPAD, [](HWND h) {
            CHECK(list_lines(h, IDC_POT).empty());
            CHECK(staged() == "");
        });
    s.settings([](HWND h) { wt::press(h, IDC_POISCI); })
        .cancel_open()
        .browse(REGEDIT, [](HWND h) {
            CHECK(list_lines(h, IDC_POT) == S({ NOTEPAD }));
            CHECK(staged() == NOTEPAD);
            CHECK(stevilo_vnosov() == 0);
        });
    s.settings([](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); });
    s.run();
}

TEST_CASE("\"Koncaj\" writes Kolvena.cfg, the close box does not")
{
    const std::string cfg = win_path("Kolvena.cfg");
    const std::string old = "Stari\r\nC:\\stari.exe\r\n";
    start_with_file(old);
    REQUIRE(stevilo_vnosov() == 1);
    {
        Session s;
        s.browse(NOTEPAD).settings([](HWND h) {
            add_typed(h, "Beleznica");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    }
    CHECK(stevilo_vnosov() == 2);
    CHECK(read_bytes(cfg) == old);
    {
        Session s;
        s.settings([](HWND h) { wt::press(h, IDC_KONCAJ); });
        s.run();
    }
    const std::string both = "Stari\r\nC:\\stari.exe\r\nBeleznica\r\nC:\\windows\\notepad.exe\r\n";
    CHECK(read_bytes(cfg) == both);

    // Without any change "Koncaj" still writes the whole list.
    write_bytes(cfg, "drugace\r\n");
    {
        Session s;
        s.settings([](HWND h) { wt::press(h, IDC_KONCAJ); });
        s.run();
    }
    CHECK(read_bytes(cfg) == both);
    CHECK(GetFileAttributesA(win_path("Kolvena.cfg.new").c_str()) == INVALID_FILE_ATTRIBUTES);
}

TEST_CASE("the show-icons box: shown from the option, taken into it only by \"Koncaj\"")
{
    const std::string cfg = win_path("Kolvena.cfg");
    start_with_file("#1\r\n\r\n");
    REQUIRE(icn_kljuka == 1);

    // One opening: the box found as `was`, clicked over, the dialog left by `end`.
    auto click_then = [](bool was, int end) {
        Session s;
        s.settings([was, end](HWND h) {
            CHECK(ticked(h) == was);
            SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_CLICK, 0, 0);
            CHECK(ticked(h) == !was);
            if (end == IDC_KONCAJ)
                wt::press(h, IDC_KONCAJ);
            else
                PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    };
    click_then(true, WM_CLOSE);
    CHECK(icn_kljuka == 1);
    CHECK(read_bytes(cfg) == "#1\r\n\r\n");
    click_then(true, IDC_KONCAJ);
    CHECK(icn_kljuka == 0);
    CHECK(read_bytes(cfg) == "");
    click_then(false, WM_CLOSE);
    CHECK(icn_kljuka == 0);
    CHECK(read_bytes(cfg) == "");
    click_then(false, IDC_KONCAJ);
    CHECK(icn_kljuka == 1);
    CHECK(read_bytes(cfg) == "#1\r\n\r\n");
}

TEST_CASE("IDOK and IDCANCEL leave the dialog open; its two lists named for screen readers while it is")
{
    start_with_entries(1);
    wt::Annotations a;
    wt::Restore<IAccPropServices *> put(oznake, &a);
    Session s;
    s.settings([](HWND h) {
        CHECK(Dlg_proc(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) == FALSE);
        CHECK(Dlg_proc(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0) == FALSE);
        // Posted as the platform sends them (Escape in the edit box becomes
        // IDCANCEL); the box that "Dodaj" then shows proves that the dialog
        // still ran after them.
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageA(GetDlgItem(h, IDC_OPIS), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        wt::press(h, IDC_DODAJ);
    })
        .box()
        .settings([](HWND h) {
            CHECK(IsWindowVisible(h));
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run({ NI_POTI });
    CHECK(a.lines == S({ "window 101 0 Programi v meniju", "window 112 0 Pot do izbranega programa",
                         "clear window 101 0", "clear window 112 0" }));
    CHECK(a.ok);
}

TEST_CASE("a description beginning with #1 is refused")
{
    start_with_entries(1);
    Session s;
    s.browse(REGEDIT)
        .settings([](HWND h) {
            type(h, "#1 Urejevalnik");
            wt::press(h, IDC_DODAJ);
        })
        .box()
        .settings([](HWND h) {
            CHECK(stevilo_vnosov() == 1);
            CHECK(edit_text(h) == "#1 Urejevalnik");
            CHECK(list_lines(h, IDC_POT) == S({ REGEDIT }));
            CHECK(list_lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            CHECK(staged() == REGEDIT);

            add_typed(h, "Urejevalnik #1");
            CHECK(stevilo_vnosov() == 2);
            CHECK(std::string(m_polje[1].opis) == "Urejevalnik #1");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run({ { "Opis se ne sme zaceti z znakoma #1!!!", "Napaka !" } });
}

TEST_CASE("a save that fails is reported and the old file stays")
{
    // The new file cannot be created: a directory has its name; nor can the
    // file be written in place: another program holds it open unshared.
    const std::string old = "Stari\r\nC:\\stari.exe\r\n";
    start_with_file(old);
    REQUIRE(CreateDirectoryA(win_path("Kolvena.cfg.new").c_str(), NULL));
    HANDLE held = CreateFileA(win_path("Kolvena.cfg").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    wt::Finally let_go([&] {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    });

    Session s;
    s.browse(NOTEPAD).settings([](HWND h) {
        add_typed(h, "Beleznica");
        SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_CLICK, 0, 0);
        wt::press(h, IDC_KONCAJ);
    });
    s.box();
    s.run({ { wt::NI_SHRANJENO, "Napaka !" } });
    // The list and the option in memory as the dialog left them.
    CHECK(wt::entries() == Entries{ E("Stari", "C:\\stari.exe"), E("Beleznica", NOTEPAD) });
    CHECK(icn_kljuka == 1);
    CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    CHECK(read_bytes(win_path("Kolvena.cfg")) == old);
    CHECK(RemoveDirectoryA(win_path("Kolvena.cfg.new").c_str()));
}

// ---- a program whose path the ANSI code page cannot spell ----

// A volume that keeps no short names: "If you call GetShortPathName on a path
// that doesn't have any short names on-disk, the call will succeed, but will
// return the long-name path instead." (GetShortPathNameW, on Microsoft Learn.)
static DWORD WINAPI no_short_names(LPCWSTR path, LPWSTR out, DWORD size)
{
    DWORD n = (DWORD)wcslen(path);
    if (n >= size)
        return n + 1;
    wcscpy(out, path);
    return n;
}

TEST_CASE("a program in a folder named with a letter the ANSI code page lacks")
{
    // "C" with caron (U+010C) has no byte in code page 1252: the ANSI
    // spelling of the path names another folder.
    const std::wstring folder = L"C:\\kolvena \u010Cas";
    const std::wstring prog = folder + L"\\zapis.exe";
    CreateDirectoryW(folder.c_str(), NULL);
    REQUIRE(CopyFileW(wide(mt::built_recorder()).c_str(), prog.c_str(), FALSE));
    char ansi[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, prog.c_str(), -1, ansi, sizeof ansi, NULL, NULL);
    REQUIRE_MESSAGE(wide(ansi) != prog, "code page ", GetACP(), " spells ", ansi);

    start_with_entries(0);
    const std::string kolvena_dir = wt::current_dir();
    REQUIRE(mt::same_path(kolvena_dir, wt::win_dir()));

    SUBCASE("its short name is staged, saved, loaded, started and drawn") {
        const std::wstring editor = folder + L"\\urejevalnik.exe";    // a program with an icon
        REQUIRE(CopyFileW(wide(NOTEPAD).c_str(), editor.c_str(), FALSE));
        // The staged path is the program's own file, in ASCII.
        auto check_staged = [&](HWND h, const std::wstring &file) {
            const std::string p = staged();
            CHECK(list_lines(h, IDC_POT) == S({ p.c_str() }));
            for (char c : p)
                CHECK((unsigned char)c < 0x80);
            wchar_t long_name[MAX_PATH] = L"";
            CHECK(GetLongPathNameW(wide(p).c_str(), long_name, MAX_PATH) > 0);
            CHECK(_wcsicmp(long_name, file.c_str()) == 0);
            // Kolvena's current directory stays, wherever the dialog went.
            CHECK(wt::current_dir() == kolvena_dir);
        };
        Session s;
        // Browses for `file` and adds it as `opis`.
        auto add = [&](const std::wstring &file, const char *opis) {
            s.settings([](HWND h) { wt::press(h, IDC_POISCI); })
                .choose(file)
                .settings([&check_staged, file, opis](HWND h) {
                    check_staged(h, file);
                    add_typed(h, opis);
                });
        };
        add(prog, "Zapis");
        add(editor, "Urejevalnik");
        s.settings([](HWND h) { wt::press(h, IDC_KONCAJ); });
        s.run();
        CHECK(wt::current_dir() == kolvena_dir);

        // Loaded again as at the next start, and started from the menu.
        wt::reset_program_state();
        zacni_cfg();
        REQUIRE(stevilo_vnosov() == 2);
        mt::start_recording();
        mt::TrayWindow w;
        mt::read_opening(w.hwnd, mt::from_top(0));
        std::vector<mt::Record> r = mt::wait_for_records(1);
        REQUIRE(r.size() == 1);
        // The recorder spells its own module name in ANSI too, so that only
        // its file name can be compared.
        const std::string &m = r[0].module;
        CAPTURE(m);
        CHECK(m.size() > 10);
        CHECK(lstrcmpiA(m.c_str() + m.size() - 10, "\\zapis.exe") == 0);

        // In picture mode the icon is taken from the path (the recorder has
        // none, so the editor alone).
        odstrani_vnos(0);
        icn_kljuka = 1;
        mt::read_opening(w.hwnd);   // its driver takes no box
    }
    SUBCASE("where it has no short name: a box says why, nothing is staged") {
        wt::PatchedImport patched("kernel32.dll", "GetShortPathNameW", (void *)no_short_names);
        Session s;
        s.browse(NOTEPAD)
            .settings([](HWND h) { wt::press(h, IDC_POISCI); })
            .choose(prog)
            .box()
            .settings([&](HWND h) {
                CHECK(list_lines(h, IDC_POT) == S({ NOTEPAD }));
                CHECK(staged() == NOTEPAD);
                CHECK(wt::current_dir() == kolvena_dir);
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run({ { "Pot do izbranega programa vsebuje znake, ki jih Kolvena ne more shraniti.\n"
                  "Program premaknite v drugo mapo ali ga preimenujte.", "Napaka !" } });
        CHECK(stevilo_vnosov() == 0);
    }
}
