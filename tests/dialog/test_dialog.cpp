// The settings dialog, opened from its own template and driven with real
// messages: browsing with the real file-open dialog, adding, removing, the
// show-icons box, "Koncaj" and the close box, and Kolvena.cfg on disk.
#include "wintest.h"

#include <string.h>

#include <string>
#include <vector>

using wt::win_path;
using wt::read_bytes;
using wt::write_bytes;

static const char CAPTION[] = "                            Nastavitve ";
static const char NOTEPAD[] = "C:\\windows\\notepad.exe";
static const char REGEDIT[] = "C:\\windows\\regedit.exe";
static const int FILE_NAME_BOX = 0x47C;   // cmb13: "File name:" of the Open dialog

// ---- Kolvena.cfg ----

// Starts as the program does: a fresh list, then the configuration start-up
// over a Kolvena.cfg with the given bytes.
static void start_with_file(const std::string &bytes)
{
    RemoveDirectoryA(win_path("Kolvena.cfg.new").c_str());
    write_bytes(win_path("Kolvena.cfg"), bytes);
    wt::reset_program_state();
    zacni_cfg();
}

static void start_with_entries(int n)
{
    start_with_file("");
    for (int i = 0; i < n; i++) {
        std::string opis = "Program " + std::to_string(i);
        wt::add_entry(opis.c_str(), NOTEPAD);
    }
    REQUIRE(IDx == 30 + n);
}

// ---- the dialog's controls ----

static std::vector<std::string> lines(HWND dlg, int id)
{
    std::vector<std::string> v;
    int n = (int)SendDlgItemMessageA(dlg, id, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; i++) {
        char buf[300] = "";
        SendDlgItemMessageA(dlg, id, LB_GETTEXT, i, (LPARAM)buf);
        v.push_back(buf);
    }
    return v;
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
    return m_polje[IDx - 30].pot;
}

// ---- the safety net beside the robot ----
//
// While a step sends a command that must not show a message box, a box that
// does appear is recorded and pressed; when the robot has missed a step,
// every window of the thread is closed. Either way a failing case ends with
// a failed check instead of hanging in a modal loop.

static std::vector<wt::Box> stray_boxes;
static wt::Robot *robot_now;
static bool no_box_expected;

static bool is_settings(HWND h)
{
    return wt::text_of(h) == CAPTION;
}

static BOOL CALLBACK rescue_window(HWND h, LPARAM)
{
    if (!IsWindowVisible(h) || wt::class_of(h) != "#32770")
        return TRUE;
    bool give_up = robot_now && robot_now->missed;
    if (is_settings(h)) {
        if (give_up)
            PostMessageA(h, WM_CLOSE, 0, 0);
    } else if (wt::text_of(h) == "Open") {
        if (give_up)
            wt::press(h, IDCANCEL);
    } else if (give_up || no_box_expected) {
        stray_boxes.push_back(wt::read_box(h));
        wt::press(h, IDOK);
    }
    return TRUE;
}

static void CALLBACK rescue(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), rescue_window, 0);
}

// A button of the dialog pressed synchronously, for commands that show no
// message box: their effect can be checked as soon as this returns.
static void command(HWND dlg, int id)
{
    no_box_expected = true;
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
    no_box_expected = false;
}

// ---- one opening of the dialog, scripted ----

struct Seen {
    wt::Box box;
    HWND owner;
    bool icon;
};

// The icon of a message box is the static stc1 (0x440).
static bool box_has_icon(HWND box)
{
    HWND icon = GetDlgItem(box, 0x440);
    return icon && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
}

struct Session {
    wt::Robot robot;
    HWND dlg = NULL;
    std::vector<Seen> boxes;

    // A step on the settings dialog. It ends with at most one posted action
    // (a press that opens a box or the Open dialog, or the close box).
    // The checks that a browse leaves for the next step on the dialog (the
    // robot acts on a window once per step, so they cannot be a step).
    std::function<void(HWND)> pending;

    Session &settings(std::function<void(HWND)> f)
    {
        std::function<void(HWND)> before = pending;
        pending = nullptr;
        robot.dialog(CAPTION, [this, before, f](HWND h) {
            if (dlg)
                CHECK(h == dlg);
            dlg = h;
            if (before)
                before(h);
            f(h);
        });
        return *this;
    }
    // The next message box: recorded, then OK.
    Session &box()
    {
        robot.then("#32770", [this](HWND h) {
            boxes.push_back({ wt::read_box(h), GetWindow(h, GW_OWNER), box_has_icon(h) });
            wt::press(h, IDOK);
        });
        return *this;
    }
    // The Open dialog: the file name typed in, then OK.
    Session &choose(const char *path)
    {
        robot.dialog("Open", [this, path](HWND h) {
            CHECK(GetWindow(h, GW_OWNER) == dlg);
            SetDlgItemTextA(h, FILE_NAME_BOX, path);
            wt::press(h, IDOK);
        });
        return *this;
    }
    Session &cancel_open()
    {
        robot.dialog("Open", [this](HWND h) {
            CHECK(GetWindow(h, GW_OWNER) == dlg);
            wt::press(h, IDCANCEL);
        });
        return *this;
    }
    // Browses for `path` (after `first` on the dialog) and checks what the
    // browse left at the next step.
    Session &browse(const char *path, std::function<void(HWND)> first = nullptr)
    {
        settings([first](HWND h) {
            if (first)
                first(h);
            wt::press(h, IDC_POISCI);
        });
        choose(path);
        pending = [path](HWND h) {
            CHECK(lines(h, IDC_POT) == std::vector<std::string>{ path });
            CHECK(staged() == path);
        };
        return *this;
    }

    // Opens the dialog as the menu does and runs the script until it ends.
    void run()
    {
        stray_boxes.clear();
        robot_now = &robot;
        UINT_PTR t = SetTimer(NULL, 0, 50, rescue);
        robot.start();
        INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_NASTAVITVE),
                                         NULL, Dlg_proc, 0);
        robot.stop();
        KillTimer(NULL, t);
        robot_now = nullptr;
        CHECK(result == 0);
        CHECK_MESSAGE(robot.done(), "the script stopped at step " << robot.next);
        CHECK_FALSE(robot.missed);
        for (const wt::Box &b : stray_boxes)
            FAIL_CHECK("unexpected box: " << b.caption << " / " << b.text);
        CHECK(dlg_odprt == NULL);
    }

    void check_box(size_t i, const char *text, const char *caption)
    {
        REQUIRE(i < boxes.size());
        CHECK(boxes[i].box.text == text);
        CHECK(boxes[i].box.caption == caption);
        CHECK(boxes[i].box.buttons == std::vector<std::string>{ "OK" });
        CHECK_FALSE(boxes[i].icon);
        CHECK(boxes[i].owner == NULL);
    }
};

static std::vector<std::string> S(std::initializer_list<const char *> l)
{
    return std::vector<std::string>(l.begin(), l.end());
}

// ---- the cases ----

TEST_CASE("empty list: browse, the description asked for, add, nothing staged after")
{
    start_with_entries(0);
    Session s;
    s.browse(NOTEPAD, [](HWND h) {
        CHECK(dlg_odprt == h);
        CHECK(lines(h, IDC_SEZNAM).empty());
        CHECK(lines(h, IDC_POT).empty());
        CHECK(edit_text(h) == "");
        CHECK_FALSE(ticked(h));
    });
    s.settings([](HWND h) { wt::press(h, IDC_DODAJ); })   // the edit box is empty
        .box()
        .settings([](HWND h) {
            CHECK(lines(h, IDC_POT) == S({ NOTEPAD }));
            CHECK(staged() == NOTEPAD);
            CHECK(IDx == 30);

            type(h, "Beleznica");
            command(h, IDC_DODAJ);
            CHECK(IDx == 31);
            CHECK(std::string(m_polje[0].opis) == "Beleznica");
            CHECK(std::string(m_polje[0].pot) == NOTEPAD);
            CHECK(lines(h, IDC_SEZNAM) == S({ "Beleznica" }));
            CHECK(edit_text(h) == "");
            CHECK(lines(h, IDC_POT).empty());
            CHECK(staged() == "");

            type(h, "Se enkrat");
            wt::press(h, IDC_DODAJ);   // the new staging slot is empty
        })
        .box()
        .settings([](HWND h) {
            CHECK(IDx == 31);
            CHECK(edit_text(h) == "Se enkrat");
            CHECK(lines(h, IDC_SEZNAM) == S({ "Beleznica" }));
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run();
    REQUIRE(s.boxes.size() == 2);
    s.check_box(0, "Opis morate vpisati!!!", "Napaka !");
    s.check_box(1, "Pot do programa ni dolocena!!!", "Napaka !");
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
                CHECK(lines(h, IDC_SEZNAM).empty());
                CHECK(IDx == 30);
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run();
        REQUIRE(s.boxes.size() == 2);
        s.check_box(0, "Pot do programa ni dolocena!!!", "Napaka !");
        s.check_box(1, "Pot do programa ni dolocena!!!", "Napaka !");
    }
    SUBCASE("full list")
    {
        start_with_entries(19);
        Session s;
        s.settings([](HWND h) {
            CHECK(lines(h, IDC_SEZNAM).size() == 19);
            type(h, "Dvajseti");
            wt::press(h, IDC_DODAJ);
        })
            .box()
            .settings([](HWND h) {
                CHECK(IDx == 49);
                CHECK(lines(h, IDC_SEZNAM).size() == 19);
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run();
        REQUIRE(s.boxes.size() == 1);
        s.check_box(0, "Pot do programa ni dolocena!!!", "Napaka !");
    }
}

TEST_CASE("a description of 40 characters is stored as its first 32")
{
    start_with_entries(1);
    Session s;
    s.browse(REGEDIT).settings([](HWND h) {
        type(h, "0123456789abcdefghijABCDEFGHIJ0123456789");
        command(h, IDC_DODAJ);
        CHECK(IDx == 32);
        CHECK(std::string(m_polje[1].opis) == "0123456789abcdefghijABCDEFGHIJ01");
        CHECK(std::string(m_polje[1].pot) == REGEDIT);
        CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0", "0123456789abcdefghijABCDEFGHIJ01" }));
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
            CHECK(IDx == 49);
            CHECK(std::string(m_polje[19].pot) == REGEDIT);
            CHECK(lines(h, IDC_SEZNAM).size() == 19);
            CHECK(lines(h, IDC_POT) == S({ REGEDIT }));
            CHECK(edit_text(h) == "Dvajseti");

            select(h, 5);
            command(h, IDC_ODSTRANI);
            CHECK(IDx == 48);
            CHECK(staged() == REGEDIT);
            CHECK(std::string(m_polje[5].opis) == "Program 6");

            command(h, IDC_DODAJ);
            CHECK(IDx == 49);
            CHECK(std::string(m_polje[18].opis) == "Dvajseti");
            CHECK(std::string(m_polje[18].pot) == REGEDIT);
            CHECK(lines(h, IDC_SEZNAM).back() == "Dvajseti");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run();
    REQUIRE(s.boxes.size() == 2);
    s.check_box(0, "Opis morate vpisati!!!", "Napaka !");
    s.check_box(1, "Dodajanje v menu ni vec mogoce!!!", "Opozorilo!!!");
}

TEST_CASE("removing")
{
    SUBCASE("nothing selected")
    {
        start_with_entries(2);
        Session s;
        s.settings([](HWND h) {
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
            wt::press(h, IDC_ODSTRANI);
        })
            .box()
            .settings([](HWND h) {
                CHECK(IDx == 32);
                CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
                PostMessageA(h, WM_CLOSE, 0, 0);
            });
        s.run();
        REQUIRE(s.boxes.size() == 1);
        s.check_box(0, "Nekaj morate izbrati !!!", "Opozorilo!!");
    }
    SUBCASE("the first of three")
    {
        start_with_entries(3);
        strcpy(m_polje[1].pot, REGEDIT);
        Session s;
        s.settings([](HWND h) {
            select(h, 0);
            command(h, IDC_ODSTRANI);
            CHECK(IDx == 32);
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 1", "Program 2" }));
            CHECK(std::string(m_polje[0].opis) == "Program 1");
            CHECK(std::string(m_polje[0].pot) == REGEDIT);
            CHECK(std::string(m_polje[1].opis) == "Program 2");
            CHECK(std::string(m_polje[1].pot) == NOTEPAD);
            CHECK(staged() == "");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
        CHECK(s.boxes.empty());
    }
    SUBCASE("the last, with a path staged")
    {
        start_with_entries(3);
        Session s;
        s.browse(REGEDIT).settings([](HWND h) {
            select(h, 2);
            command(h, IDC_ODSTRANI);
            CHECK(IDx == 32);
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1" }));
            CHECK(staged() == REGEDIT);
            CHECK(lines(h, IDC_POT) == S({ REGEDIT }));

            type(h, "Urejevalnik");
            command(h, IDC_DODAJ);
            CHECK(IDx == 33);
            CHECK(std::string(m_polje[2].opis) == "Urejevalnik");
            CHECK(std::string(m_polje[2].pot) == REGEDIT);
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0", "Program 1", "Urejevalnik" }));

            // The slot behind still holds the path from before the removal.
            type(h, "Drugic");
            command(h, IDC_DODAJ);
            CHECK(IDx == 34);
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
    CHECK(IDx == 31);
    CHECK(staged() == REGEDIT);
    {
        Session s;
        s.settings([](HWND h) {
            CHECK(lines(h, IDC_POT).empty());
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            type(h, "Urejevalnik");
            command(h, IDC_DODAJ);
            CHECK(IDx == 32);
            CHECK(std::string(m_polje[1].opis) == "Urejevalnik");
            CHECK(std::string(m_polje[1].pot) == REGEDIT);
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
            CHECK(lines(h, IDC_POT).empty());
            CHECK(staged() == "");
        });
    s.settings([](HWND h) { wt::press(h, IDC_POISCI); })
        .cancel_open()
        .browse(REGEDIT, [](HWND h) {
            CHECK(lines(h, IDC_POT) == S({ NOTEPAD }));
            CHECK(staged() == NOTEPAD);
            CHECK(IDx == 30);
        });
    s.settings([](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); });
    s.run();
    CHECK(s.boxes.empty());
}

TEST_CASE("\"Koncaj\" writes Kolvena.cfg, the close box does not")
{
    const std::string cfg = win_path("Kolvena.cfg");
    const std::string old = "Stari\r\nC:\\stari.exe\r\n";
    start_with_file(old);
    REQUIRE(IDx == 31);
    {
        Session s;
        s.browse(NOTEPAD).settings([](HWND h) {
            type(h, "Beleznica");
            command(h, IDC_DODAJ);
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    }
    CHECK(IDx == 32);
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

    auto untick_then = [](int end) {
        Session s;
        s.settings([end](HWND h) {
            CHECK(ticked(h));
            SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_CLICK, 0, 0);
            CHECK_FALSE(ticked(h));
            if (end == IDC_KONCAJ)
                wt::press(h, IDC_KONCAJ);
            else
                PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    };
    untick_then(WM_CLOSE);
    CHECK(icn_kljuka == 1);
    CHECK(read_bytes(cfg) == "#1\r\n\r\n");
    untick_then(IDC_KONCAJ);
    CHECK(icn_kljuka == 0);
    CHECK(read_bytes(cfg) == "");

    auto tick_then = [](int end) {
        Session s;
        s.settings([end](HWND h) {
            CHECK_FALSE(ticked(h));
            SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_CLICK, 0, 0);
            CHECK(ticked(h));
            if (end == IDC_KONCAJ)
                wt::press(h, IDC_KONCAJ);
            else
                PostMessageA(h, WM_CLOSE, 0, 0);
        });
        s.run();
    };
    tick_then(WM_CLOSE);
    CHECK(icn_kljuka == 0);
    CHECK(read_bytes(cfg) == "");
    tick_then(IDC_KONCAJ);
    CHECK(icn_kljuka == 1);
    CHECK(read_bytes(cfg) == "#1\r\n\r\n");
}

TEST_CASE("IDOK and IDCANCEL leave the dialog open")
{
    start_with_entries(1);
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
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run();
    REQUIRE(s.boxes.size() == 1);
    s.check_box(0, "Pot do programa ni dolocena!!!", "Napaka !");
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
            CHECK(IDx == 31);
            CHECK(edit_text(h) == "#1 Urejevalnik");
            CHECK(lines(h, IDC_POT) == S({ REGEDIT }));
            CHECK(lines(h, IDC_SEZNAM) == S({ "Program 0" }));
            CHECK(staged() == REGEDIT);

            type(h, "Urejevalnik #1");
            command(h, IDC_DODAJ);
            CHECK(IDx == 32);
            CHECK(std::string(m_polje[1].opis) == "Urejevalnik #1");
            PostMessageA(h, WM_CLOSE, 0, 0);
        });
    s.run();
    REQUIRE(s.boxes.size() == 1);
    s.check_box(0, "Opis se ne sme zaceti z znakoma #1!!!", "Napaka !");
}

// "Koncaj" with a save that cannot replace Kolvena.cfg: the box, the old
// bytes, and the list (and the option) in memory as the dialog left them.
static void koncaj_fails()
{
    Session s;
    s.browse(NOTEPAD).settings([](HWND h) {
        type(h, "Beleznica");
        command(h, IDC_DODAJ);
        SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_CLICK, 0, 0);
        wt::press(h, IDC_KONCAJ);
    });
    s.box();
    s.run();
    REQUIRE(s.boxes.size() == 1);
    s.check_box(0,
                "Seznama programov ni bilo mogoce shraniti v datoteko Kolvena.cfg.\n"
                "Spremembe veljajo le do izhoda iz programa.",
                "Napaka !");
    CHECK(IDx == 32);
    CHECK(std::string(m_polje[1].opis) == "Beleznica");
    CHECK(std::string(m_polje[1].pot) == NOTEPAD);
    CHECK(icn_kljuka == 1);
}

TEST_CASE("a save that fails is reported and the old file stays")
{
    const std::string old = "Stari\r\nC:\\stari.exe\r\n";
    start_with_file(old);

    SUBCASE("the new file cannot be created")
    {
        REQUIRE(CreateDirectoryA(win_path("Kolvena.cfg.new").c_str(), NULL));
        koncaj_fails();
        CHECK(read_bytes(win_path("Kolvena.cfg")) == old);
        CHECK(RemoveDirectoryA(win_path("Kolvena.cfg.new").c_str()));
    }
    SUBCASE("Kolvena.cfg is held open without sharing")
    {
        HANDLE held = CreateFileA(win_path("Kolvena.cfg").c_str(), GENERIC_READ, 0, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        REQUIRE(held != INVALID_HANDLE_VALUE);
        koncaj_fails();
        CloseHandle(held);
        CHECK(read_bytes(win_path("Kolvena.cfg")) == old);
        CHECK(GetFileAttributesA(win_path("Kolvena.cfg.new").c_str()) == INVALID_FILE_ATTRIBUTES);
    }
}

// ---- a second " Nastavitve " while the dialog is open ----

static bool menu_returned;

static LRESULT CALLBACK owner_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP) {
        SetForegroundWindow(h);
        Prikazi_Menu(h);
        menu_returned = true;
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

static HWND make_owner_window()
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = owner_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "dlgtest_lastnik";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "lastnik", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20,
                           NULL, NULL, wc.hInstance, NULL);
}

static int settings_dialogs()
{
    int n = 0;
    wt::each_thread_window([&](HWND h) {
        if (wt::class_of(h) == "#32770" && is_settings(h))
            ++n;
        return true;
    });
    return n;
}

TEST_CASE("\" Nastavitve \" while the dialog is open brings it to the front")
{
    start_with_entries(2);
    HWND owner = make_owner_window();
    REQUIRE(owner != NULL);
    menu_returned = false;

    Session s;
    s.settings([owner](HWND h) {
        CHECK(dlg_odprt == h);
        PostMessageA(owner, WM_APP, 0, 0);
    });
    s.robot.menu([](HWND m) {
        CHECK(GetForegroundWindow() != dlg_odprt);
        HMENU popup = (HMENU)SendMessageA(m, MN_GETHMENU, 0, 0);
        int downs = 0;
        bool found = false;
        for (const wt::Item &it : wt::read_menu(popup)) {
            if (it.type & MFT_SEPARATOR)
                continue;
            downs++;
            if (it.id == IDM_NASTAVITVE) {
                found = true;
                CHECK(it.text == " Nastavitve ");
                break;
            }
        }
        REQUIRE(found);
        for (int i = 0; i < downs; i++)
            wt::menu_key(m, VK_DOWN);
        wt::menu_key(m, VK_RETURN);
    });
    s.settings([](HWND h) {
        CHECK(menu_returned);
        CHECK(settings_dialogs() == 1);
        CHECK(GetForegroundWindow() == h);
        CHECK(dlg_odprt == h);
        wt::each_thread_window([](HWND d) {
            if (wt::class_of(d) == "#32770" && is_settings(d))
                PostMessageA(d, WM_CLOSE, 0, 0);
            return true;
        });
    });
    s.run();
    CHECK(menu_returned);
    CHECK(settings_dialogs() == 0);
    DestroyWindow(owner);
}
