// The menu's pictures (show-icons option 1) on real menus under Wine: their
// pixels, programs without an icon, pictures of nested menus, and that every
// graphics object a build takes is given back. The "scaled" cases run again
// with the screens at 144 DPI (150 %): the pictures drawn for that DPI, and
// start-up declaring that Kolvena draws for it.
#include "menutest.h"
#include "klici.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>

#include <set>
#include <string>
#include <vector>

namespace {

// ---- the working objects a build takes, seen from the import table ----
//
// The program's calls to these functions go through this executable's import
// table; each entry is pointed at a function that notes the handle and calls
// the real one. Only calls made while `recording` is set are noted; the
// tests' own reading of the menu switches it off.

struct Taken {
    std::vector<HICON> icons;
    std::vector<HBITMAP> icon_bitmaps;      // colour and mask bitmaps of the icons
    std::vector<HBITMAP> pictures;          // the canvases, from resource 11 or made blank
    size_t blank = 0;                       // of those, the ones made blank
    std::vector<HBRUSH> brushes;
    std::vector<HDC> memory_dcs;
    std::vector<HDC> window_dcs;
    std::multiset<HDC> window_dcs_held;     // got and not yet released
    std::vector<HFONT> text_fonts;          // the font each description was drawn in
    std::vector<LOGFONTA> text_logfonts;    // as it was then
    std::vector<POINT> text_at;             // and where
    void clear() { *this = Taken(); }
};
Taken taken;
bool recording = false;

struct NotRecording {
    bool was = recording;
    NotRecording() { recording = false; }
    ~NotRecording() { recording = was; }
};

HICON (WINAPI *real_ExtractIconA)(HINSTANCE, LPCSTR, UINT);
BOOL (WINAPI *real_GetIconInfo)(HICON, PICONINFO);
HBITMAP (WINAPI *real_LoadBitmapA)(HINSTANCE, LPCSTR);
HBRUSH (WINAPI *real_CreateSolidBrush)(COLORREF);
HDC (WINAPI *real_CreateCompatibleDC)(HDC);
HDC (WINAPI *real_GetDC)(HWND);
int (WINAPI *real_ReleaseDC)(HWND, HDC);
HBITMAP (WINAPI *real_CreateCompatibleBitmap)(HDC, int, int);
BOOL (WINAPI *real_TextOutA)(HDC, int, int, LPCSTR, int);

// The icons are read on Kolvena's readers, several at once.
CRITICAL_SECTION icons_lock;
const struct MadeOnce {
    MadeOnce() { InitializeCriticalSection(&icons_lock); }
} icons_lock_made;
HICON WINAPI rec_ExtractIconA(HINSTANCE a, LPCSTR b, UINT c)
{
    HICON h = real_ExtractIconA(a, b, c);
    // Microsoft's page for ExtractIconA: the result is 1 where "the file
    // specified was not an executable file, DLL, or icon file". Wine 8
    // gives NULL there; Windows' answer is given for the tests' text file.
    if (h == NULL && strstr(b, ".txt") != NULL)
        return (HICON)1;
    EnterCriticalSection(&icons_lock);
    if (recording && h)
        taken.icons.push_back(h);
    LeaveCriticalSection(&icons_lock);
    return h;
}
BOOL WINAPI rec_GetIconInfo(HICON a, PICONINFO b)
{
    BOOL ok = real_GetIconInfo(a, b);
    if (recording && ok) {
        taken.icon_bitmaps.push_back(b->hbmColor);
        taken.icon_bitmaps.push_back(b->hbmMask);
    }
    return ok;
}
// A handle the build took, noted while recording.
template <typename H> H noted(H h, std::vector<H> &in)
{
    if (recording)
        in.push_back(h);
    return h;
}
HBITMAP WINAPI rec_LoadBitmapA(HINSTANCE a, LPCSTR b) { return noted(real_LoadBitmapA(a, b), taken.pictures); }
HBRUSH WINAPI rec_CreateSolidBrush(COLORREF c) { return noted(real_CreateSolidBrush(c), taken.brushes); }
HDC WINAPI rec_CreateCompatibleDC(HDC a) { return noted(real_CreateCompatibleDC(a), taken.memory_dcs); }
HDC WINAPI rec_GetDC(HWND w)
{
    HDC h = real_GetDC(w);
    if (recording) {
        taken.window_dcs.push_back(h);
        taken.window_dcs_held.insert(h);
    }
    return h;
}
int WINAPI rec_ReleaseDC(HWND w, HDC h)
{
    int r = real_ReleaseDC(w, h);
    if (recording && r == 1 && taken.window_dcs_held.count(h))
        taken.window_dcs_held.erase(taken.window_dcs_held.find(h));
    return r;
}
HBITMAP WINAPI rec_CreateCompatibleBitmap(HDC dc, int w, int h)
{
    taken.blank += recording;
    return noted(real_CreateCompatibleBitmap(dc, w, h), taken.pictures);
}
BOOL WINAPI rec_TextOutA(HDC dc, int x, int y, LPCSTR s, int n)
{
    if (recording) {
        taken.text_fonts.push_back((HFONT)GetCurrentObject(dc, OBJ_FONT));
        taken.text_logfonts.emplace_back();
        GetObjectA(taken.text_fonts.back(), sizeof(LOGFONTA), &taken.text_logfonts.back());
        taken.text_at.push_back(POINT{ x, y });
    }
    return real_TextOutA(dc, x, y, s, n);
}

// For its lifetime, the program's calls of the functions above reach their
// recorders (through this executable's import table); when it goes, every
// one reaches the system's again.
class Noting {
public:
    Noting()
    {
        real_ExtractIconA = redirect("shell32.dll", "ExtractIconA", rec_ExtractIconA);
        real_GetIconInfo = redirect("user32.dll", "GetIconInfo", rec_GetIconInfo);
        real_LoadBitmapA = redirect("user32.dll", "LoadBitmapA", rec_LoadBitmapA);
        real_CreateSolidBrush = redirect("gdi32.dll", "CreateSolidBrush", rec_CreateSolidBrush);
        real_CreateCompatibleDC = redirect("gdi32.dll", "CreateCompatibleDC", rec_CreateCompatibleDC);
        real_GetDC = redirect("user32.dll", "GetDC", rec_GetDC);
        real_ReleaseDC = redirect("user32.dll", "ReleaseDC", rec_ReleaseDC);
        real_CreateCompatibleBitmap = redirect("gdi32.dll", "CreateCompatibleBitmap", rec_CreateCompatibleBitmap);
        real_TextOutA = redirect("gdi32.dll", "TextOutA", rec_TextOutA);
    }
    ~Noting()
    {
        recording = false;
        for (const auto &p : patched)
            wt::patch_imports(p.first, p.second);
    }
    Noting(const Noting &) = delete;
    Noting &operator=(const Noting &) = delete;

private:
    std::vector<std::pair<void *, void *>> patched;   // (recorder, system's)

    // Points this executable's import of dll!name at `to`; returns the real one.
    template <typename F> F *redirect(const char *dll, const char *name, F *to)
    {
        void *real = wt::system_function(dll, name);
        CHECK_MESSAGE((real != nullptr && wt::patch_imports(real, (void *)to) > 0), name, " is imported");
        patched.push_back({ (void *)to, real });
        return (F *)real;
    }
};

// Everything noted since `taken` was cleared has been given back: the
// canvases, brushes, memory DCs, icons and their bitmaps no longer exist,
// and the window's DC was released. Each build takes one window DC, one
// memory DC and one brush for all its pictures.
bool all_given_back(size_t entries, size_t builds)
{
    bool ok = taken.pictures.size() == entries && taken.brushes.size() == builds &&
              taken.memory_dcs.size() == builds && taken.window_dcs.size() == builds &&
              taken.window_dcs_held.empty();
    for (HBITMAP h : taken.pictures)
        ok = ok && GetObjectType(h) == 0;
    for (HBITMAP h : taken.icon_bitmaps)
        ok = ok && GetObjectType(h) == 0;
    for (HBRUSH h : taken.brushes)
        ok = ok && GetObjectType(h) == 0;
    for (HDC h : taken.memory_dcs)
        ok = ok && GetObjectType(h) == 0;
    for (HICON h : taken.icons) {
        ICONINFO ii;
        ok = ok && !real_GetIconInfo(h, &ii);
    }
    return ok;
}

void check_all_given_back(size_t entries, size_t builds = 1)
{
    CHECK(taken.pictures.size() == entries);
    CHECK(taken.brushes.size() == builds);
    CHECK(taken.memory_dcs.size() == builds);
    CHECK(taken.window_dcs.size() == builds);
    CHECK(taken.window_dcs_held.empty());
    CHECK(all_given_back(entries, builds));
}

// ---- the pictures as the tracked menu holds them ----

struct Picture {
    UINT id = 0, type = 0;
    HBITMAP bitmap = NULL;
    int width = 0, height = 0;
    bool ddb = false;            // device-dependent
    std::vector<DWORD> px;       // 0x00RRGGBB, top row first
    DWORD at(int x, int y) const { return px[(size_t)y * width + x]; }
};

// The bitmap of item `pos`.
HBITMAP item_bitmap(HMENU m, int pos)
{
    MENUITEMINFOA mi;
    ZeroMemory(&mi, sizeof mi);
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_BITMAP;
    GetMenuItemInfoA(m, pos, TRUE, &mi);
    return mi.hbmpItem;
}

bool same_object(HGDIOBJ in_menu, HGDIOBJ made)
{
    return in_menu != NULL && in_menu == made;
}

Picture read_picture(const wt::Item &it, HBITMAP bitmap)
{
    Picture p;
    p.id = it.id;
    p.type = it.type;
    p.bitmap = bitmap;
    BITMAP bm;
    DIBSECTION ds;
    p.ddb = GetObjectA(bitmap, sizeof ds, &ds) == sizeof bm;
    if (!GetObjectA(bitmap, sizeof bm, &bm))
        return p;
    p.width = bm.bmWidth;
    p.height = bm.bmHeight;
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    p.px.assign((size_t)p.width * p.height, 0xFFFFFFFF);
    HDC dc = GetDC(NULL);
    GetDIBits(dc, bitmap, 0, p.height, p.px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(NULL, dc);
    for (DWORD &d : p.px)
        d &= 0xFFFFFF;
    return p;
}

DWORD dib_colour(COLORREF c)
{
    return (DWORD)GetRValue(c) << 16 | (DWORD)GetGValue(c) << 8 | GetBValue(c);
}

// The file's first icon, `side` pixels square, as Windows draws it with
// DrawIconEx on a canvas of the colour `background`: all its colours, its
// edges blended by its alpha channel. What each picture's icon square must
// show.
std::vector<DWORD> drawn_icon(const char *path, int side, COLORREF background)
{
    NotRecording quiet;
    HICON ic = NULL;
    PrivateExtractIconsA(path, 0, side, side, &ic, NULL, 1, LR_DEFAULTCOLOR);
    REQUIRE(ic != NULL);
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, side, side);
    HGDIOBJ old = SelectObject(mem, canvas);
    HBRUSH brush = CreateSolidBrush(background);
    RECT r = { 0, 0, side, side };
    FillRect(mem, &r, brush);
    DrawIconEx(mem, 0, 0, ic, side, side, 0, NULL, DI_NORMAL);
    SelectObject(mem, old);
    DeleteObject(brush);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    DestroyIcon(ic);
    Picture p = read_picture(wt::Item{}, canvas);
    DeleteObject(canvas);
    REQUIRE(std::count(p.px.begin(), p.px.end(), dib_colour(background)) < side * side * 7 / 8);
    return p.px;
}

// The largest difference of one colour channel between the picture's icon
// square and `icon` (drawn_icon, or the background alone).
int icon_difference(const Picture &p, const std::vector<DWORD> &icon, int side)
{
    int worst = 0;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++)
            for (int shift : { 0, 8, 16 })
                worst = std::max(worst, abs((int)(p.at(x, y) >> shift & 0xFF) -
                                            (int)(icon[(size_t)y * side + x] >> shift & 0xFF)));
    return worst;
}

// A picture menu while tracked: the menu, and its first `entries` items'
// pictures.
struct Tracked : mt::Tracked {
    std::vector<Picture> pictures;
};

Tracked read_tracked(HWND menu_window, size_t entries)
{
    NotRecording quiet;
    Tracked t;
    static_cast<mt::Tracked &>(t) = mt::read_tracked(menu_window);
    for (size_t i = 0; i < entries && i < t.items.size(); i++)
        t.pictures.push_back(read_picture(t.items[i], item_bitmap(t.shown, (int)i)));
    return t;
}

// Whether each channel of c lies between those of a and b.
bool between(DWORD c, DWORD a, DWORD b)
{
    for (int shift : { 0, 8, 16 }) {
        DWORD v = c >> shift & 0xFF, x = a >> shift & 0xFF, y = b >> shift & 0xFF;
        if (v < std::min(x, y) || v > std::max(x, y))
            return false;
    }
    return true;
}

// Checks one picture: 200 x 32 bitmap item 30 + i; the background where
// nothing is drawn; the icon (if `icon` is given) at the left, as
// DrawIconEx draws it (a channel off by 2 at most); the description only
// right of x = 40, below y = 10, in the text colour.
void check_picture(const Picture &p, size_t i, DWORD background, DWORD text_colour,
                   const std::vector<DWORD> *icon)
{
    CAPTURE(i);
    CHECK(p.type == MFT_BITMAP);
    CHECK(p.id == 30 + i);
    CHECK(p.ddb);   // copied as it is by any menu, never blended by alpha bytes left at 0
    REQUIRE(p.width == 200);
    REQUIRE(p.height == 32);

    int icon_wrong = 0, gap = 0, text = 0, text_wrong = 0;
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 200; x++) {
            DWORD c = p.at(x, y);
            if (x < 32) {
                icon_wrong += !icon && c != background;
            } else if (x < 40) {
                gap += c != background;
            } else if (c != background) {
                text += c == text_colour;
                text_wrong += y < 10 || !between(c, background, text_colour);
            }
        }
    }
    CHECK(icon_wrong == 0);     // no icon: the background
    if (icon)
        CHECK(icon_difference(p, *icon, 32) <= 2);
    CHECK(gap == 0);
    CHECK(text > 20);
    // Letters' smoothed edges (Wine's default font has them, Windows' bitmap
    // font none) lie between the two colours; the font is the scaled case's.
    CHECK(text_wrong == 0);
}

// The menu colour and the menu's text colour set for a test and put back
// afterwards.
struct MenuColour {
    INT which[2] = { COLOR_MENU, COLOR_MENUTEXT };
    COLORREF old[2] = { GetSysColor(COLOR_MENU), GetSysColor(COLOR_MENUTEXT) };
    explicit MenuColour(COLORREF menu, COLORREF text = RGB(0, 0, 0))
    {
        COLORREF now[2] = { menu, text };
        REQUIRE(SetSysColors(2, which, now));
        REQUIRE(GetSysColor(COLOR_MENU) == menu);
        REQUIRE(GetSysColor(COLOR_MENUTEXT) == text);
    }
    ~MenuColour() { SetSysColors(2, which, old); }
};

// One opening in picture mode; `on_menu` reads the menu and must end it.
void open_menu(HWND hwnd, std::function<void(HWND)> on_menu, UINT period_ms = 20)
{
    wt::Driver d(period_ms);
    d.menu(on_menu);
    recording = true;
    mt::run_menu(hwnd);
    recording = false;
}

// One opening, its first `entries` pictures read, then dismissed.
Tracked read_pictures(HWND hwnd, size_t entries)
{
    Tracked t;
    open_menu(hwnd, [&](HWND m) { t = read_tracked(m, entries); wt::menu_key(m, VK_ESCAPE); });
    return t;
}

// The boxes' styles as asked for: Wine 8 gives no box the WS_EX_TOPMOST of MB_TOPMOST.
std::vector<UINT> box_styles;
decltype(&MessageBoxA) real_box;
int WINAPI noted_box(HWND o, LPCSTR t, LPCSTR c, UINT s) { return box_styles.push_back(s), real_box(o, t, c, s); }
const char *const notepad = wt::NOTEPAD;
const char *const regedit = wt::REGEDIT;

} // namespace

TEST_CASE("pictures: the menu colour, the icon at the left, the description beside it")
{
    Noting noting;
    wt::reset_program_state();
    wt::add_entry("Beleznica", notepad);
    wt::add_entry("Urejevalnik registra", regedit);
    wt::add_entry("Opis, ki je precej sirsi od sto sestdesetih tock slike", notepad);
    icn_kljuka = 1;
    mt::TrayWindow w;

    // Two openings in two colour schemes, the second as High Contrast Black
    // has it (white menu text on a menu all but black, where the default
    // text colour would vanish; pure black would hide the icons' own black
    // pixels from the icon check): each picks up the colours of its time.
    const COLORREF schemes[2][2] = { { RGB(10, 200, 120), RGB(0, 0, 0) },
                                     { RGB(1, 1, 1), RGB(255, 255, 255) } };
    for (const auto &scheme : schemes) {
        const COLORREF colour = scheme[0], text_colour = scheme[1];
        CAPTURE(colour);
        CAPTURE(text_colour);
        MenuColour mc(colour, text_colour);
        taken.clear();
        Tracked t = read_pictures(w.hwnd, 3);

        REQUIRE(t.pictures.size() == 3);
        mt::check_items(t, 3);
        DWORD bg = dib_colour(colour), fg = dib_colour(text_colour);
        std::vector<DWORD> notepad_icon = drawn_icon(notepad, 32, colour);
        check_picture(t.pictures[0], 0, bg, fg, &notepad_icon);
        std::vector<DWORD> regedit_icon = drawn_icon(regedit, 32, colour);
        check_picture(t.pictures[1], 1, bg, fg, &regedit_icon);
        check_picture(t.pictures[2], 2, bg, fg, &notepad_icon);
        // The long description runs to the picture's right edge.
        int at_edge = 0;
        for (int y = 0; y < 32; y++)
            for (int x = 190; x < 200; x++)
                at_edge += t.pictures[2].at(x, y) == fg;
        CHECK(at_edge > 0);

        // The menu shows exactly the canvases this build loaded, now deleted.
        REQUIRE(taken.pictures.size() == 3);
        for (size_t i = 0; i < 3; i++)
            CHECK(same_object(t.pictures[i].bitmap, taken.pictures[i]));
        // One read per file: notepad's icon serves its two entries.
        CHECK(taken.icons.size() == 2);
        check_all_given_back(3);
        CHECK_FALSE(IsMenu(t.holder));
        CHECK_FALSE(IsMenu(t.popup));
    }
}

TEST_CASE("pictures: programs without an icon")
{
    Noting noting;
    wt::reset_program_state();
    mt::start_recording();
    std::string r1 = mt::place_recorder("C:\\kolvena\\prvi.exe");
    std::string r2 = mt::place_recorder("C:\\kolvena\\drugi program.exe");
    std::string r3 = mt::place_recorder("C:\\kolvena\\tretji.exe");
    wt::add_entry("Prvi", r1.c_str());
    wt::add_entry("Beleznica", notepad);
    wt::add_entry("Drugi", r2.c_str());
    wt::add_entry("Tretji", r3.c_str());
    wt::write_bytes("C:\\kolvena\\besedilo.txt", "Navadno besedilo, brez ikone.\r\n");
    wt::add_entry("Besedilo", "C:\\kolvena\\besedilo.txt");
    icn_kljuka = 1;
    MenuColour mc(RGB(10, 200, 120));
    const DWORD bg = dib_colour(RGB(10, 200, 120)), fg = dib_colour(RGB(0, 0, 0));
    std::vector<DWORD> notepad_icon = drawn_icon(notepad, 32, RGB(10, 200, 120));
    mt::TrayWindow w;

    // First opening: dismissed; second: the second recorder chosen. The
    // three programs without an icon and the plain file are told of in a
    // box each, before the menu is shown.
    wt::PatchedImport box("user32.dll", "MessageBoxA", (void *)noted_box);
    real_box = (decltype(real_box))box.real;
    for (int k = 1; k <= 2; k++) {
        CAPTURE(k);
        taken.clear(), box_styles.clear();
        Tracked t;
        wt::Driver d;
        d.box().box().box().box().menu([&](HWND m) {
            t = read_tracked(m, 5);
            CHECK(GetForegroundWindow() == w.hwnd);   // taken back from the boxes (TrackPopupMenu, Remarks)
            wt::menu_keys(m, k == 1 ? std::vector<WPARAM>{ VK_ESCAPE } : mt::from_top(2));
        });
        recording = true;
        mt::run_menu(w.hwnd);
        recording = false;
        d.finish();

        REQUIRE(d.boxes.size() == 4);
        for (size_t k = 0; k < d.boxes.size(); k++) {
            CAPTURE(k);
            wt::check_plain_box(d.boxes[k], wt::NAPAKA_IKONE, "Napaka");
        }
        CHECK(box_styles == std::vector<UINT>(4, MB_OK | MB_TOPMOST));   // seen without the foreground
        REQUIRE(t.pictures.size() == 5);
        mt::check_items(t, 5);
        for (size_t i = 0; i < 5; i++)
            check_picture(t.pictures[i], i, bg, fg, i == 1 ? &notepad_icon : nullptr);
        CHECK(taken.icons.size() == 1);
        check_all_given_back(5);
    }
    std::vector<mt::Record> r = mt::wait_for_records(1);
    REQUIRE(r.size() == 1);
    CHECK(mt::same_path(r[0].module, r2));
    wt::pump_for(300);
    CHECK(mt::read_records().size() == 1);
}

TEST_CASE("pictures: a menu opened while a picture's box is up keeps its own pictures")
{
    Noting noting;
    wt::reset_program_state();
    mt::start_recording();
    std::string r1 = mt::place_recorder("C:\\kolvena\\prvi.exe");
    wt::add_entry("Prvi", r1.c_str());
    wt::add_entry("Beleznica", notepad);
    icn_kljuka = 1;
    mt::TrayWindow w;

    // The outer call's first box asks for a menu, as a right click on the
    // tray icon would, and is answered once the nested call has ended.
    HMENU outer_holder = NULL, outer_popup = NULL;
    Tracked outer, nested;
    bool nested_pictures_gone = false, outer_pictures_alive = false;
    taken.clear();
    recording = true;
    {
        wt::Driver d;
        d.box([&](HWND) {
             outer_holder = hmenu1;
             outer_popup = hpopup1;
             PostMessageA(w.hwnd, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN);
         })
            .box()
            .menu([&](HWND m) {
                nested = read_tracked(m, 2);
                std::swap(m_polje[0], m_polje[1]);   // the list edited meanwhile, Beleznica now a second recorder
                kopiraj(m_polje[0].pot, sizeof m_polje[0].pot, mt::place_recorder("C:\\kolvena\\drugi.exe").c_str());
                wt::menu_key(m, VK_ESCAPE);
            })
            .box()
            .menu([&](HWND m) {
                outer = read_tracked(m, 2);
                // Canvases in the order loaded: ours, drawn before the boxes,
                // then the nested call's two.
                if (taken.pictures.size() == 4) {
                    outer_pictures_alive = GetObjectType(taken.pictures[0]) == OBJ_BITMAP &&
                                           GetObjectType(taken.pictures[1]) == OBJ_BITMAP;
                    nested_pictures_gone = GetObjectType(taken.pictures[2]) == 0 &&
                                           GetObjectType(taken.pictures[3]) == 0;
                }
                PostMessageA(m, WM_CHAR, 'p', 0);   // "Prvi", as drawn
            });
        mt::run_menu(w.hwnd);
        d.finish();
        // The outer call's box is read twice (when it asks for the menu and
        // when it is answered), the nested call's once.
        REQUIRE(d.boxes.size() == 3);
        for (const wt::Box &b : d.boxes)
            CHECK(b.text == wt::NAPAKA_IKONE);
        CHECK(d.boxes[0].hwnd == d.boxes[2].hwnd);
        CHECK(d.boxes[1].hwnd != d.boxes[0].hwnd);
    }
    recording = false;

    REQUIRE(nested.pictures.size() == 2);
    REQUIRE(outer.pictures.size() == 2);
    mt::check_items(nested, 2);
    mt::check_list(outer.items, outer.states, 2);
    CHECK(outer.shown == outer_popup);
    CHECK(outer_holder != nested.holder);
    CHECK(nested.popup != outer.shown);
    REQUIRE(taken.pictures.size() == 4);
    for (size_t i = 0; i < 2; i++) {
        CAPTURE(i);
        CHECK(same_object(outer.pictures[i].bitmap, taken.pictures[i]));
        CHECK(same_object(nested.pictures[i].bitmap, taken.pictures[2 + i]));
        CHECK(outer.pictures[i].type == MFT_BITMAP);
        CHECK(outer.pictures[i].id == 30 + i);
        CHECK(outer.pictures[i].width == 200);
    }
    CHECK(nested_pictures_gone);
    CHECK(outer_pictures_alive);
    CHECK(mt::same_path(mt::wait_for_records(1).at(0).module, r1));   // and started
    for (HMENU m : { outer_holder, outer_popup, nested.holder, nested.popup })
        CHECK_FALSE(IsMenu(m));
    check_all_given_back(4, 2);
}

TEST_CASE("pictures: 2,000 openings of a full list leave the process its graphics objects")
{
    Noting noting;
    wt::reset_program_state();
    for (int i = 0; i < 19; i++)
        wt::add_entry(("Program " + std::to_string(i + 1)).c_str(), i % 2 ? regedit : notepad);
    icn_kljuka = 1;
    mt::TrayWindow w;

    // One object left behind per picture (38,000) would not yet exhaust GDI,
    // two would; so every opening is also checked for what it gave back.
    // (Windows allows a process 10,000 GDI objects; Wine runs out at about
    // 65,000.)
    // KOLVENA_SOAK=short (the emulated 32-bit build's runs) takes a tenth.
    const int openings = mt::env("KOLVENA_SOAK") == "short" ? 200 : 2000;
    int shown = 0, given_back = 0;
    for (int k = 0; k < openings; k++) {
        taken.clear();
        size_t items = 0;
        open_menu(w.hwnd, [&](HWND m) {
            items = (size_t)GetMenuItemCount(hpopup1);
            wt::menu_key(m, VK_ESCAPE);
        }, 10);
        shown += items == 27;
        given_back += all_given_back(19, 1);
    }
    CHECK(shown == openings);
    CHECK(given_back == openings);

    HDC screen = GetDC(NULL);
    HBITMAP b = CreateCompatibleBitmap(screen, 200, 32);
    HBRUSH br = CreateSolidBrush(RGB(1, 2, 3));
    HDC mem = CreateCompatibleDC(screen);
    HIMAGELIST il = ImageList_Create(32, 32, ILC_MASK, 1, 1);
    HICON ic = ExtractIconA(GetModuleHandleA(NULL), notepad, 0);
    CHECK(b != NULL);
    CHECK(br != NULL);
    CHECK(mem != NULL);
    CHECK(il != NULL);
    CHECK(ic != NULL);
    DestroyIcon(ic);
    ImageList_Destroy(il);
    DeleteDC(mem);
    DeleteObject(br);
    DeleteObject(b);
    ReleaseDC(NULL, screen);
}

// ---- files that do not answer ----

namespace {

// ExtractIconA whose reads under C:\kolvena\tiho (a share that is off) wait
// until the gate opens; the icons they gave noted.
HANDLE gate;
LONG silent_reads, silent_answers;
std::vector<HICON> silent_icons;
decltype(&ExtractIconA) system_extract;
HICON WINAPI silent_extract(HINSTANCE inst, LPCSTR path, UINT n)
{
    const bool silent = _strnicmp(path, "C:\\kolvena\\tiho", 15) == 0;
    if (silent) {
        InterlockedIncrement(&silent_reads);
        WaitForSingleObject(gate, INFINITE);
    }
    HICON h = system_extract(inst, path, n);
    if (silent) {
        EnterCriticalSection(&icons_lock);
        silent_icons.push_back(h);
        LeaveCriticalSection(&icons_lock);
        InterlockedIncrement(&silent_answers);
    }
    return h;
}
const UINT dpis[] = { 96, 120, 120, 96, 96, 120 };   // the monitor's, as each opening asks
HRESULT WINAPI dpi_standin(HMONITOR, MONITOR_DPI_TYPE, UINT *x, UINT *y) { static size_t n; return *x = *y = dpis[n++ % 6], S_OK; }
std::vector<HWND> invalidated;
decltype(&InvalidateRect) system_invalidate;
BOOL WINAPI noted_invalidate(HWND h, const RECT *r, BOOL erase)
{
    invalidated.push_back(h);
    return system_invalidate(h, r, erase);
}

int threads_of_process()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        n += te.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    return n;
}

} // namespace

TEST_CASE("pictures: a file that does not answer holds neither the menu nor its icons")
{
    wt::reset_program_state();
    CreateDirectoryA("C:\\kolvena", NULL);
    CreateDirectoryA("C:\\kolvena\\tiho", NULL);
    const char *tiho = "C:\\kolvena\\tiho\\tiho.exe";
    REQUIRE(CopyFileA(notepad, tiho, FALSE));
    wt::add_entry("Tiho", tiho);
    wt::add_entry("Beleznica", notepad);
    icn_kljuka = 1;
    mt::TrayWindow w;
    gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    wt::Finally open_at_end([] {
        SetEvent(gate);
        wt::pump_until([] { return silent_answers == silent_reads; });
    });
    wt::PatchedImport extract("shell32.dll", "ExtractIconA", (void *)silent_extract);
    system_extract = (decltype(system_extract))extract.real;
    wt::PatchedImport invalidate("user32.dll", "InvalidateRect", (void *)noted_invalidate);
    system_invalidate = (decltype(system_invalidate))invalidate.real;
    silent_reads = silent_answers = 0;
    std::vector<DWORD> notepad_icon = drawn_icon(notepad, 32, RGB(10, 200, 120));
    MenuColour mc(RGB(10, 200, 120));
    const DWORD bg = dib_colour(RGB(10, 200, 120)), fg = dib_colour(RGB(0, 0, 0));

    // The silent entry without its icon, no box, selectable; the other as ever.
    Tracked t;
    open_menu(w.hwnd, [&](HWND m) { t = read_tracked(m, 2); wt::menu_key(m, VK_ESCAPE); });
    REQUIRE(t.pictures.size() == 2);
    check_picture(t.pictures[0], 0, bg, fg, nullptr);
    check_picture(t.pictures[1], 1, bg, fg, &notepad_icon);
    mt::check_items(t, 2);
    CHECK(silent_reads == 1);

    // Opened again while the read waits: no second read; its answer drawn
    // into the open menu's picture, and the menu's window invalidated, the
    // one thing after which Wine repaints a bitmap item.
    Tracked late;
    bool repainted = false;
    open_menu(w.hwnd, [&](HWND m) {
        invalidated.clear();
        SetEvent(gate);
        repainted = wt::pump_until([&] { return std::count(invalidated.begin(), invalidated.end(), m) > 0; });
        late = read_tracked(m, 2);
        wt::menu_key(m, VK_ESCAPE);
    });
    CHECK(silent_reads == 1);
    CHECK(repainted);
    REQUIRE(late.pictures.size() == 2);
    check_picture(late.pictures[0], 0, bg, fg, &notepad_icon);

    // Six silent files between two local ones, five openings: the last
    // local file is not held behind the silent ones (its icon at the first
    // opening); one read and one thread for each silent file, however many
    // openings; answers after the menus have gone give their icons back.
    ResetEvent(gate);
    silent_reads = silent_answers = 0;
    silent_icons.clear();
    wt::reset_program_state();
    wt::add_entry("Beleznica", notepad);
    for (int i = 0; i < 6; i++) {
        std::string p = "C:\\kolvena\\tiho\\tiho" + std::to_string(i) + ".exe";
        CopyFileA(notepad, p.c_str(), FALSE);
        wt::add_entry("Tiho", p.c_str());
    }
    wt::add_entry("Urejevalnik registra", regedit);
    icn_kljuka = 1;
    std::vector<DWORD> regedit_icon = drawn_icon(regedit, 32, RGB(10, 200, 120));
    const int threads_before = threads_of_process();
    for (int k = 0; k < 5; k++)
        open_menu(w.hwnd, [&](HWND m) {
            if (k == 0)
                t = read_tracked(m, 8);
            wt::menu_key(m, VK_ESCAPE);
        });
    REQUIRE(t.pictures.size() == 8);
    check_picture(t.pictures[0], 0, bg, fg, &notepad_icon);
    check_picture(t.pictures[7], 7, bg, fg, &regedit_icon);
    CHECK(threads_of_process() - threads_before <= 6 + NAJVEC_BRALCEV);
    CHECK(silent_reads == 6);
    SetEvent(gate);
    CHECK(wt::pump_until([] { return silent_answers == 6; }));
    wt::pump_for(200);
    REQUIRE(silent_icons.size() == 6);
    ICONINFO ii;
    for (HICON h : silent_icons)
        CHECK_FALSE(GetIconInfo(h, &ii));

    // 12 silent files and a local one at 96, then 120 DPI; 12 others (a list edit) at 120, then 96.
    najdi_dpi_klice();
    wt::Restore<decltype(pGetDpiForMonitor)> dpi(pGetDpiForMonitor, dpi_standin);
    wt::Restore<decltype(pPrivateExtractIconsA)> at_scale(pPrivateExtractIconsA, nullptr);
    ResetEvent(gate);
    const std::vector<DWORD> blank(32 * 32, bg);
    const int threads_at = threads_of_process();
    for (int k = 0; k < 4; k++) {
        wt::reset_program_state();
        for (int i = 0; i < 12; i++)
            wt::add_entry("Tiho", ("C:\\kolvena\\tiho\\tiho" + std::to_string(k < 2 ? 12 + i : i) + ".exe").c_str());
        wt::add_entry("Beleznica", notepad);
        icn_kljuka = 1;
        open_menu(w.hwnd, [&](HWND m) {
            CHECK(wt::pump_until([&] { return icon_difference(read_tracked(m, 13).pictures[12], blank, 32) > 0; }));
            wt::menu_key(m, VK_ESCAPE);
        });
    }
    CHECK(threads_of_process() - threads_at <= 24 + NAJVEC_BRALCEV);
    // A menu asked for while the box of the first one's build is up, both
    // waiting for the same silent file: the second takes the answer into its
    // menu; the first, current again, asks again and gets it in its own.
    // The first's read at 96 DPI waits behind one at 120, which the second takes.
    wt::reset_program_state();
    wt::add_entry("Tiho", "C:\\kolvena\\tiho\\tiho0.exe");
    wt::add_entry("Prvi", mt::place_recorder("C:\\kolvena\\prvi.exe").c_str());
    icn_kljuka = 1;
    auto icon_comes = [&](HWND m) {
        return wt::pump_until([&] { return icon_difference(read_tracked(m, 1).pictures[0], blank, 32) > 0; });
    };
    bool into_nested = false, into_outer = false;
    wt::Driver d;
    d.box([&](HWND) { PostMessageA(w.hwnd, WM_TRAYNOTIFY, TRAY_ID, WM_RBUTTONDOWN); })
        .box()
        .menu([&](HWND m) {
            SetEvent(gate);
            into_nested = icon_comes(m) && read_tracked(m, 1).pictures[0].ddb;
            wt::menu_key(m, VK_ESCAPE);
        })
        .box()
        .menu([&](HWND m) {
            into_outer = icon_comes(m);
            wt::menu_key(m, VK_ESCAPE);
        });
    mt::run_menu(w.hwnd);
    d.finish();
    CHECK(into_nested);
    CHECK(into_outer);
}

// ---- at the screen's scale ----

namespace {

// The DPI of this run's screens: KOLVENA_DPI where scripts/wine-run set it, or 96.
// The test program first declares its awareness as Kolvena's start-up does:
// to a program that declares none, Windows (and Wine 10) give 96 DPI on
// every screen and stretch what it draws.
int screen_dpi()
{
    povej_dpi_zavest();
    std::string want = mt::env("KOLVENA_DPI");
    int dpi = want.empty() ? USER_DEFAULT_SCREEN_DPI : atoi(want.c_str());
    HDC screen = GetDC(NULL);
    REQUIRE(GetDeviceCaps(screen, LOGPIXELSY) == dpi);
    ReleaseDC(NULL, screen);
    return dpi;
}

// An icon file of two opaque 24-bit images: 32 x 32 red and 48 x 48 blue.
std::string two_size_icon(const char *path)
{
    std::string head("\0\0\1\0\2\0", 6), images;
    for (int side : { 32, 48 }) {
        BITMAPINFOHEADER bh = { sizeof bh, side, 2 * side, 1, 24, BI_RGB, 0, 0, 0, 0, 0 };
        std::string im((const char *)&bh, sizeof bh);
        const char *bgr = side == 32 ? "\0\0\xFF" : "\xFF\0\0";
        for (int k = 0; k < side * side; k++)
            im.append(bgr, 3);
        im.append((size_t)side * ((side + 31) / 32 * 4), '\0');   // the mask: opaque
        DWORD entry[4] = { (DWORD)side | (DWORD)side << 8, 1 | 24 << 16, (DWORD)im.size(),
                           (DWORD)(6 + 2 * sizeof entry + images.size()) };
        head.append((const char *)entry, sizeof entry);
        images += im;
    }
    CreateDirectoryA("C:\\kolvena", NULL);
    wt::write_bytes(path, head + images);
    return path;
}

// WinMain's first steps, as Kolvena's pointers to the awareness calls and
// this executable's import of CreateWindowExA see them.
std::vector<std::string> steps;
BOOL v2_taken;
BOOL WINAPI v2(DPI_AWARENESS_CONTEXT c)
{
    steps.push_back(c == DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 ? "per-monitor v2" : "?");
    return v2_taken;
}
BOOL WINAPI system_wide(void)
{
    steps.push_back("system-wide");
    return TRUE;
}
decltype(&CreateWindowExA) real_CreateWindowExA;
HWND WINAPI noted_CreateWindowExA(DWORD ex, LPCSTR c, LPCSTR t, DWORD st, int x, int y, int w, int h,
                                  HWND p, HMENU m, HINSTANCE i, LPVOID l)
{
    steps.push_back("window");
    return real_CreateWindowExA(ex, c, t, st, x, y, w, h, p, m, i, l);
}
void CALLBACK leave(HWND, UINT, UINT_PTR id, DWORD)   // as " Izhod " does
{
    KillTimer(NULL, id);
    MSHookStop();
    DestroyWindow(tray.hWnd);
}

} // namespace

TEST_CASE("scaled: start-up declares its awareness before its first window; the tray icon at its size")
{
    const int dpi = screen_dpi();
    wt::reset_program_state();
    najdi_klice();
    steps.clear();
    // Microsoft (SetProcessDpiAwarenessContext): "You must call this API
    // before any HWNDs are created in your process". The stand-in refuses v2:
    // Wine 8 refuses the per-monitor v2 context (ERROR_INVALID_PARAMETER),
    // as Windows before 10 1703 lacks it; the system-wide call must follow.
    wt::Restore<decltype(pSetProcessDpiAwarenessContext)> a(pSetProcessDpiAwarenessContext, v2);
    wt::Restore<decltype(pSetProcessDPIAware)> b(pSetProcessDPIAware, system_wide);
    wt::Restore<BOOL> refused(v2_taken, FALSE);
    wt::PatchedImport window("user32.dll", "CreateWindowExA", (void *)noted_CreateWindowExA);
    real_CreateWindowExA = (decltype(&CreateWindowExA))window.real;
    wt::Finally priority([] { SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS); });

    SetTimer(NULL, 0, 200, leave);
    CHECK(WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOWNORMAL) == 0);
    steps.resize(3);    // the first three ("" where fewer were seen)
    CHECK(steps == std::vector<std::string>{ "per-monitor v2", "system-wide", "window" });

    // The notification area's small icon: 16 x 16 at 96 DPI, 24 x 24 at 144.
    ICONINFO ii;
    REQUIRE(GetIconInfo(tray.hIcon, &ii));
    BITMAP bm;
    GetObjectA(ii.hbmMask, sizeof bm, &bm);
    CHECK(bm.bmWidth == MulDiv(16, dpi, USER_DEFAULT_SCREEN_DPI));
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    DestroyIcon(tray.hIcon);

    // Where v2 is taken, that is all.
    steps.clear();
    v2_taken = TRUE;
    povej_dpi_zavest();
    CHECK(steps == std::vector<std::string>{ "per-monitor v2" });
}

TEST_CASE("scaled: pictures drawn for the screen's DPI, with the icon's own image and the menu font")
{
    const int dpi = screen_dpi();
    auto scaled = [dpi](int n) { return MulDiv(n, dpi, USER_DEFAULT_SCREEN_DPI); };
    const int side = scaled(32);
    Noting noting;
    wt::reset_program_state();
    wt::add_entry("Dve velikosti", two_size_icon("C:\\kolvena\\dve velikosti.ico").c_str());
    wt::add_entry("Beleznica", notepad);
    icn_kljuka = 1;
    MenuColour mc(RGB(10, 200, 120));
    mt::TrayWindow w;
    taken.clear();
    Tracked t = read_pictures(w.hwnd, 2);
    REQUIRE(t.pictures.size() == 2);
    mt::check_items(t, 2);
    const Picture &p = t.pictures[0];
    REQUIRE(p.width == scaled(200));
    REQUIRE(p.height == side);
    CHECK((p.ddb && t.pictures[1].ddb));
    CHECK(taken.blank == (dpi == USER_DEFAULT_SCREEN_DPI ? 0 : 2));

    // The icon's square in the colour of the file's image of that size (red
    // 32 x 32 at 96 DPI, blue 48 x 48 at 144), then the background.
    const DWORD icon = side == 48 ? 0x0000FF : 0xFF0000, bg = dib_colour(RGB(10, 200, 120));
    int in_square = 0, beside = 0;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < scaled(40); x++) {
            if (x < side)
                in_square += p.at(x, y) == icon;
            else
                beside += p.at(x, y) == bg;
        }
    CHECK(in_square == side * side);
    CHECK(beside == (scaled(40) - side) * side);
    // A program's icon in all its colours, with its soft edges, at this size.
    CHECK(icon_difference(t.pictures[1], drawn_icon(notepad, side, RGB(10, 200, 120)), side) <= 2);

    // The description at (40, 10) scaled: at 96 DPI in the default font as
    // ever, at 144 in the menu font of 96 DPI scaled to 144, then deleted.
    REQUIRE(taken.text_at.size() == 2);
    CHECK(taken.text_at[0].x == scaled(40));
    CHECK(taken.text_at[0].y == scaled(10));
    NONCLIENTMETRICSW at96;
    at96.cbSize = sizeof at96;
    REQUIRE(pSystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof at96, &at96, 0, USER_DEFAULT_SCREEN_DPI));
    char face[LF_FACESIZE];
    WideCharToMultiByte(CP_ACP, 0, at96.lfMenuFont.lfFaceName, -1, face, sizeof face, NULL, NULL);
    const LOGFONTA &used = taken.text_logfonts[0];
    if (dpi == USER_DEFAULT_SCREEN_DPI) {
        CHECK(taken.text_fonts[0] == GetStockObject(SYSTEM_FONT));
    } else {
        CHECK(std::string(used.lfFaceName) == face);
        CHECK(used.lfHeight == scaled(at96.lfMenuFont.lfHeight));
        CHECK(GetObjectType(taken.text_fonts[0]) == 0);
    }
    check_all_given_back(2);
}
