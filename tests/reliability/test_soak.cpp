// Soak: the launcher menu opened and dismissed many thousand times, in text
// and in picture mode, and the settings dialog run through many add, remove
// and "Koncaj" cycles, all in one process: nothing may pile up (memory, menu
// and graphics handles) and nothing may change (the menu read on the last
// opening, the file after the last "Koncaj").
//
// Default: 10,000 openings and 1,000 dialog cycles (about a minute and a
// half under Wine). KOLVENA_SOAK=long runs ten times as many, KOLVENA_SOAK=short
// a tenth.
//
// Each fast opening is a real TrackPopupMenu: an Escape is posted to the
// thread before the call, and the menu's loop takes it as the key that ends
// the menu. That the menu was really tracked is seen in the messages the
// tracking sends the window (WM_INITMENUPOPUP for the call's own popup,
// WM_EXITMENULOOP); the first and last openings of each mode are read from
// the tracked menu window itself by the driver. Each dialog cycle's menu is
// driven the same way (the keys posted before the call), its dialog by the
// driver.
#include "../menu/menutest.h"
#include "private_memory.h"
#include "dialog.h"

#include <string.h>

#include <string>
#include <vector>

using wt::win_path;
using wt::read_bytes;

namespace {

using wt::NOTEPAD;
using wt::REGEDIT;

// KOLVENA_SOAK=long multiplies the default counts by 10, =short divides them
// by 10.
int soak_count(int normal)
{
    std::string how = mt::env("KOLVENA_SOAK");
    return how == "long" ? normal * 10 : how == "short" ? normal / 10 : normal;
}

// ---- what the process holds ----

// The slot (low word) of a new menu handle and of a new bitmap handle: both
// tables give the lowest free slots back first, so a slot far above the one
// before the soak means handles were left behind.
unsigned menu_slot()
{
    HMENU m = CreateMenu();
    REQUIRE(m != NULL);
    unsigned slot = LOWORD((ULONG_PTR)m);
    DestroyMenu(m);
    return slot;
}

unsigned bitmap_slot()
{
    HDC screen = GetDC(NULL);
    HBITMAP b = CreateCompatibleBitmap(screen, SLIKA_W, SLIKA_H);
    ReleaseDC(NULL, screen);
    REQUIRE(b != NULL);
    unsigned slot = LOWORD((ULONG_PTR)b);
    DeleteObject(b);
    return slot;
}

// ---- the tray window, with the tracking's messages counted ----

struct Tracking {
    size_t init_own = 0;      // WM_INITMENUPOPUP for the popup of the running call
    size_t exits = 0;         // WM_EXITMENULOOP
    std::vector<HBITMAP> pictures;   // the pictures of the last tracked popup
};
Tracking tracking;
WNDPROC launcher_proc;

LRESULT CALLBACK counting_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITMENUPOPUP && (HMENU)wp == hpopup1) {
        tracking.init_own++;
        tracking.pictures.clear();
        for (const wt::Item &it : wt::read_menu(hpopup1))
            if (it.type & MFT_BITMAP)
                tracking.pictures.push_back(it.bitmap);
    }
    if (msg == WM_EXITMENULOOP)
        tracking.exits++;
    return CallWindowProcA(launcher_proc, h, msg, wp, lp);
}

HWND counted_tray_window()
{
    HWND h = wt::make_tray_window();
    REQUIRE(h != NULL);
    launcher_proc = (WNDPROC)SetWindowLongPtrA(h, GWLP_WNDPROC, (LONG_PTR)counting_proc);
    return h;
}

// What a menu looked like while tracked: its items, and for pictures their
// size instead of their (new every time) handles.
struct Shown {
    UINT id;
    UINT type;
    std::string text;
    LONG width, height;
    bool operator==(const Shown &o) const
    {
        return id == o.id && type == o.type && text == o.text && width == o.width &&
               height == o.height;
    }
};

std::vector<Shown> read_shown(HMENU m)
{
    std::vector<Shown> v;
    for (const wt::Item &it : wt::read_menu(m)) {
        BITMAP bm;
        ZeroMemory(&bm, sizeof bm);
        if (it.type & MFT_BITMAP)
            GetObjectA(it.bitmap, sizeof bm, &bm);
        v.push_back({ it.id, it.type, it.text, bm.bmWidth, bm.bmHeight });
    }
    return v;
}

// One opening read by the driver from the tracked menu window, then Escape.
std::vector<Shown> read_opening(HWND w)
{
    std::vector<Shown> shown;
    wt::Driver d(10);
    d.menu([&](HWND m) {
        shown = read_shown((HMENU)SendMessageA(m, MN_GETHMENU, 0, 0));
        wt::menu_key(m, VK_ESCAPE);
    });
    Prikazi_Menu(w);
    return shown;
}

bool key_left_in_queue()
{
    MSG msg;
    return PeekMessageA(&msg, NULL, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) != FALSE;
}

} // namespace

TEST_CASE("soak: menu openings in text and picture mode leave nothing behind and change nothing")
{
    const int openings = soak_count(10000);
    DWORD t0 = GetTickCount();
    wt::reset_program_state();
    const char *names[] = { "Beleznica", "Register", "Urejevalnik \xe8\x9a\x9e", "Cetrti", "Peti" };
    for (int i = 0; i < 5; i++)
        wt::add_entry(names[i], i % 2 ? REGEDIT : NOTEPAD);
    MenuEntry list_before[20];
    memcpy(list_before, m_polje, sizeof list_before);
    HWND w = counted_tray_window();

    // Warm-up, then what the process holds before the soak.
    icn_kljuka = 0;
    std::vector<Shown> text_first = read_opening(w);
    icn_kljuka = 1;
    std::vector<Shown> pictures_first = read_opening(w);
    for (int k = 0; k < 100; k++) {
        icn_kljuka = k % 2;
        PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
        Prikazi_Menu(w);
    }
    REQUIRE(text_first.size() == 13);
    REQUIRE(pictures_first.size() == 13);
    CHECK(text_first[2].text == names[2]);
    CHECK(pictures_first[0].width == SLIKA_W);
    CHECK(pictures_first[0].height == SLIKA_H);
    const PrivateMemory mem_before = private_memory();
    const unsigned menu_before = menu_slot(), bitmap_before = bitmap_slot();

    wt::Driver boxes;      // none may show
    tracking = Tracking();
    int tracked = 0, ended = 0, pictures_alive = 0, pictures_made = 0, keys_left = 0;
    int ldown_left = 0;
    for (int k = 0; k < openings; k++) {
        icn_kljuka = k % 2;
        ldown = 1;
        size_t init_before = tracking.init_own, exits_before = tracking.exits;
        PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
        Prikazi_Menu(w);
        tracked += tracking.init_own == init_before + 1;
        ended += tracking.exits == exits_before + 1;
        keys_left += key_left_in_queue();

        ldown_left += ldown != 0;
        if (icn_kljuka == 1) {
            pictures_made += (int)tracking.pictures.size();
            for (HBITMAP b : tracking.pictures)
                pictures_alive += GetObjectType(b) != 0;
        }
    }
    CHECK(tracked == openings);
    CHECK(ended == openings);
    CHECK(keys_left == 0);
    CHECK(ldown_left == 0);
    CHECK(pictures_made == openings / 2 * 5);
    CHECK(pictures_alive == 0);
    boxes.finish();

    // The last openings show what the first did.
    icn_kljuka = 0;
    CHECK(read_opening(w) == text_first);
    icn_kljuka = 1;
    CHECK(read_opening(w) == pictures_first);

    const PrivateMemory mem_after = private_memory();
    const unsigned menu_after = menu_slot(), bitmap_after = bitmap_slot();
    MESSAGE(openings, " openings in ", (GetTickCount() - t0) / 1000, " s; committed private memory ", mem_before.bytes / 1024, " KiB in ",
            mem_before.regions, " regions before, ", mem_after.bytes / 1024, " KiB in ",
            mem_after.regions, " after; menu slot ", menu_before, " -> ", menu_after,
            ", bitmap slot ", bitmap_before, " -> ", bitmap_after);
    // One menu or one picture left behind per opening would be thousands of
    // slots and megabytes.
    CHECK(mem_after.bytes <= mem_before.bytes + 1024 * 1024);
    CHECK(menu_after <= menu_before + 200);
    CHECK(bitmap_after <= bitmap_before + 200);

    HDC screen = GetDC(NULL);
    HBITMAP b = CreateCompatibleBitmap(screen, SLIKA_W, SLIKA_H);
    CHECK(b != NULL);
    DeleteObject(b);
    ReleaseDC(NULL, screen);

    CHECK(stevilo_vnosov() == 5);
    CHECK(memcmp(list_before, m_polje, sizeof list_before) == 0);
    SetWindowLongPtrA(w, GWLP_WNDPROC, (LONG_PTR)launcher_proc);
    wt::destroy_tray_window(w);
}

// ---- the settings dialog, cycle after cycle ----

TEST_CASE("soak: settings dialog cycles of add, remove and \"Koncaj\" from the menu")
{
    const int cycles = soak_count(1000);
    DWORD t0 = GetTickCount();
    DeleteFileA(win_path("Kolvena.cfg").c_str());
    wt::reset_program_state();
    zacni_cfg();
    wt::add_entry("Prvi", NOTEPAD);
    wt::add_entry("Drugi", REGEDIT);
    wt::add_entry("Tretji", NOTEPAD);
    HWND w = counted_tray_window();

    // One cycle: " Nastavitve " from the menu; on the dialog a description
    // typed and added, the first entry selected and removed, the show-icons
    // box set, "Koncaj".
    int wrong_lists = 0;
    auto cycle = [&](int k) {
        postavi_pot(k % 2 ? REGEDIT : NOTEPAD);
        for (WPARAM vk : mt::from_bottom(mt::NASTAVITVE))
            PostMessageA(w, WM_KEYDOWN, vk, 0);
        wt::Driver d(10);
        d.dialog(wt::NASTAVITVE_NASLOV, [&](HWND h) {
            std::string opis = "Vnos " + std::to_string(k);
            SetDlgItemTextA(h, IDC_OPIS, opis.c_str());
            SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_DODAJ, BN_CLICKED), (LPARAM)GetDlgItem(h, IDC_DODAJ));
            wrong_lists += SendDlgItemMessageA(h, IDC_SEZNAM, LB_GETCOUNT, 0, 0) != 4;
            SendDlgItemMessageA(h, IDC_SEZNAM, LB_SETCURSEL, 0, 0);
            SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_ODSTRANI, BN_CLICKED), (LPARAM)GetDlgItem(h, IDC_ODSTRANI));
            wrong_lists += SendDlgItemMessageA(h, IDC_SEZNAM, LB_GETCOUNT, 0, 0) != 3;
            SendDlgItemMessageA(h, IDC_POKAZI_IKONE, BM_SETCHECK, k % 2 ? BST_CHECKED : BST_UNCHECKED, 0);
            SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_KONCAJ, BN_CLICKED), (LPARAM)GetDlgItem(h, IDC_KONCAJ));
        });
        Prikazi_Menu(w);
    };

    // Warm-up, then what the process holds before the soak.
    const int warm = 20;
    for (int k = 0; k < warm; k++)
        cycle(k);
    const PrivateMemory mem_before = private_memory();
    const unsigned menu_before = menu_slot(), bitmap_before = bitmap_slot();

    tracking = Tracking();
    wrong_lists = 0;
    for (int k = warm; k < warm + cycles; k++)
        cycle(k);

    CHECK(tracking.init_own == (size_t)cycles);
    CHECK(wrong_lists == 0);
    CHECK(dlg_odprt == NULL);

    // The list and the file hold the last three entries added, with the
    // option of the last cycle.
    const int last = warm + cycles - 1;
    std::string expected = last % 2 ? "#1\r\n\r\n" : "";
    for (int k = last - 2; k <= last; k++)
        expected += "Vnos " + std::to_string(k) + "\r\n" + (k % 2 ? REGEDIT : NOTEPAD) + "\r\n";
    CHECK(stevilo_vnosov() == 3);
    CHECK(icn_kljuka == last % 2);
    CHECK(read_bytes(win_path("Kolvena.cfg")) == expected);
    CHECK(GetFileAttributesA(win_path("Kolvena.cfg.new").c_str()) == INVALID_FILE_ATTRIBUTES);

    const PrivateMemory mem_after = private_memory();
    const unsigned menu_after = menu_slot(), bitmap_after = bitmap_slot();
    MESSAGE(cycles, " dialog cycles in ", (GetTickCount() - t0) / 1000, " s; committed private memory ", mem_before.bytes / 1024,
            " KiB in ", mem_before.regions, " regions before, ", mem_after.bytes / 1024,
            " KiB in ", mem_after.regions, " after; menu slot ", menu_before, " -> ",
            menu_after, ", bitmap slot ", bitmap_before, " -> ", bitmap_after);
    CHECK(mem_after.bytes <= mem_before.bytes + 1024 * 1024);
    CHECK(menu_after <= menu_before + 200);
    CHECK(bitmap_after <= bitmap_before + 200);

    SetWindowLongPtrA(w, GWLP_WNDPROC, (LONG_PTR)launcher_proc);
    wt::destroy_tray_window(w);
}
