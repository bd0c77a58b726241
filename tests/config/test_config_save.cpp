// Saves that cannot replace Kolvena.cfg write it in place; those that cannot
// do that either leave the old file's bytes as they were and report it; the
// new file's bytes are on the disk before it replaces the old one; a stream
// that fails while the list is written is noticed.
#include "cfg_files.h"
#include "klici.h"
#include "poti.h"

#include <shlobj.h>
#include <stdlib.h>

#include <string>
#include <vector>

using cfg::cfg_path;
using cfg::read_bytes;
using cfg::write_bytes;

static const char STARO[] = "Staro\r\nC:\\staro.exe\r\n";
static const char NOVO[] = "#1\r\n\r\nStaro\r\nC:\\staro.exe\r\nNovo\r\nC:\\novo.exe\r\n";

// The save's file calls on their way to the system: the rename can be
// refused, and what was flushed and renamed, in order, is noted.
namespace {

decltype(&MoveFileExA) real_move;
decltype(&FlushFileBuffers) real_flush;
std::vector<std::string> calls;

BOOL WINAPI refused_move(LPCSTR, LPCSTR, DWORD)
{
    calls.push_back("move refused");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI noted_move(LPCSTR from, LPCSTR to, DWORD flags)
{
    calls.push_back("move " + std::string(from) + " " + std::to_string(read_bytes(from).size()));
    return real_move(from, to, flags);
}

// The flushed file's size as it stands on the handle; while `answers` is reset it waits (a silent stick),
// `answer_after` ms at most; while `flush_fails` it fails.
HANDLE answers = CreateEventA(NULL, TRUE, TRUE, NULL);
DWORD answer_after = INFINITE; bool flush_fails;
BOOL WINAPI noted_flush(HANDLE h)
{
    WaitForSingleObject(answers, answer_after);
    calls.push_back("flush " + std::to_string(GetFileSize(h, NULL)));
    return !flush_fails && real_flush(h);
}
// The styles of the boxes asked for (none shown), and the reason named to the session's end.
std::vector<UINT> box_styles; std::wstring reason;
int WINAPI noted_box(HWND, LPCSTR, LPCSTR, UINT s) { return box_styles.push_back(s), IDOK; }
BOOL WINAPI noted_reason(HWND, LPCWSTR r) { return reason = r, TRUE; }
decltype(&GetFileAttributesA) real_attributes;   // the roaming folder's server off: ERROR_BAD_NETPATH there
DWORD WINAPI server_off(LPCSTR p) { return strstr(p, "gostujoca") ? SetLastError(ERROR_BAD_NETPATH), INVALID_FILE_ATTRIBUTES : real_attributes(p); }

// A standard user's closed Windows directory: Windows refuses him every file
// opened for writing there with ERROR_ACCESS_DENIED (its ACL gives Users read
// and execute only), which fopen reports in _doserrno. `everywhere` closes
// the user's own folder (the temporary folder here) too.
decltype(&fopen) real_fopen;
bool everywhere;

FILE *closed_fopen(const char *name, const char *mode)
{
    char full[MAX_PATH];
    GetFullPathNameA(name, sizeof full, full, NULL);
    if (!strchr(mode, 'w') || !(everywhere || _strnicmp(full, w_dir, strlen(w_dir)) == 0))
        return real_fopen(name, mode);
    _doserrno = ERROR_ACCESS_DENIED;
    return nullptr;
}

// The application-data folders the stand-in gives, local and roaming, and the one asked for.
std::wstring appdata, roaming;
int asked_for;
HRESULT WINAPI temp_appdata(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    asked_for = csidl;
    lstrcpyW(path, (csidl == CSIDL_APPDATA ? roaming : appdata).c_str());
    return S_OK;
}

} // namespace

// The old file on disk, and a different list in memory to save over it.
static void old_file_new_list()
{
    write_bytes(cfg_path(), STARO);
    wt::reset_program_state();
    zacni_cfg();
    REQUIRE(IDx == 31);
    wt::add_entry("Novo", "C:\\novo.exe");
    icn_kljuka = 1;
}

TEST_CASE("the save replaces the file whole and leaves no temporary file")
{
    old_file_new_list();
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == NOVO);
    CHECK_FALSE(cfg::exists(cfg_path() + ".new"));
}

TEST_CASE("the new file's bytes are flushed to the disk before it replaces the old one")
{
    old_file_new_list();
    calls.clear();
    {
        wt::PatchedImport m("kernel32.dll", "MoveFileExA", (void *)noted_move);
        wt::PatchedImport f("kernel32.dll", "FlushFileBuffers", (void *)noted_flush);
        real_move = (decltype(real_move))m.real;
        real_flush = (decltype(real_flush))f.real;
        REQUIRE(shrani_cfg());
    }
    const std::string n = std::to_string(sizeof NOVO - 1);
    CHECK(calls == std::vector<std::string>{ "flush " + n, "move Kolvena.cfg.new " + n });
    CHECK(read_bytes(cfg_path()) == NOVO);
}

TEST_CASE("the rename refused: the file is written in place, whole")
{
    old_file_new_list();
    calls.clear();
    {
        wt::PatchedImport m("kernel32.dll", "MoveFileExA", (void *)refused_move);
        CHECK(shrani_cfg());
    }
    CHECK(calls == std::vector<std::string>{ "move refused" });
    CHECK(read_bytes(cfg_path()) == NOVO);
    CHECK_FALSE(cfg::exists(cfg_path() + ".new"));
    CHECK(IDx == 32);
}

TEST_CASE("Kolvena.cfg held open without sharing: the save fails, the old bytes stay")
{
    // Neither the rename nor the write in place can reach the file.
    old_file_new_list();
    HANDLE h = CreateFileA(cfg_path().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    {
        wt::PatchedImport m("kernel32.dll", "MoveFileExA", (void *)refused_move);
        CHECK_FALSE(shrani_cfg());
    }
    CloseHandle(h);
    CHECK(read_bytes(cfg_path()) == STARO);
    CHECK_FALSE(cfg::exists(cfg_path() + ".new"));
    // The list in memory is unchanged, and the next save succeeds.
    CHECK(IDx == 32);
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == NOVO);
}

TEST_CASE("a directory named Kolvena.cfg.new: the file is written in place")
{
    old_file_new_list();
    std::string dir = cfg_path() + ".new";
    REQUIRE(CreateDirectoryA(dir.c_str(), NULL));
    CHECK(shrani_cfg());
    CHECK(read_bytes(cfg_path()) == NOVO);
    CHECK((GetFileAttributesA(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("the Windows directory closed to the user: the list kept in his own folder; an earlier Kolvena's roaming one taken over")
{
    // A name the ANSI code page cannot spell (Georgian): reached by its short name.
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    appdata = std::wstring(tmp) + L"Uporabnik \x10D0";
    CreateDirectoryW(appdata.c_str(), NULL);
    roaming = std::wstring(tmp) + L"kolvena gostujoca";
    CreateDirectoryW(roaming.c_str(), NULL);
    CreateDirectoryW((roaming + L"\\Kolvena").c_str(), NULL);
    const std::wstring home = appdata + L"\\Kolvena\\Kolvena.cfg";
    wt::Finally clean([&] { SetFileAttributesW(home.c_str(), FILE_ATTRIBUTE_NORMAL), DeleteFileW(home.c_str()); RemoveDirectoryW((appdata + L"\\Kolvena").c_str()); wt::reset_program_state(); });
    wt::PatchedImport folder("shell32.dll", "SHGetFolderPathW", (void *)temp_appdata);
    old_file_new_list();
    wt::PatchedImport closed("msvcrt.dll", "fopen", (void *)closed_fopen);
    real_fopen = (decltype(real_fopen))closed.real;
    everywhere = false;

    SUBCASE("saved there; a restart reads it, and saves go there") {
        CHECK(shrani_cfg());
        CHECK(asked_for == CSIDL_LOCAL_APPDATA);   // this machine's, not the roaming one
        CHECK(read_bytes(osebna_cfg) == NOVO);
        CHECK_FALSE(cfg::exists(std::string(osebna_cfg) + ".new"));
        wt::reset_program_state();
        zacni_cfg();
        CHECK(wt::entries() == std::vector<std::string>{ "Staro|C:\\staro.exe", "Novo|C:\\novo.exe" });
        icn_kljuka = 0;
        CHECK(shrani_cfg());   // the option off: NOVO less its first two lines
        CHECK(read_bytes(osebna_cfg) == std::string(NOVO).substr(6));
    }
    SUBCASE("an earlier Kolvena's roaming list, read-only, or the 32-bit build's in the VirtualStore: read, saved locally, left as it was; a server off at the first start asked at the next") {
        char old[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, (roaming + L"\\Kolvena\\Kolvena.cfg").c_str(), -1, old, MAX_PATH, NULL, NULL);
        write_bytes(old, NOVO);
        SetFileAttributesA(old, FILE_ATTRIBUTE_READONLY);
        wt::Finally gone([&] { SetFileAttributesA(old, FILE_ATTRIBUTE_NORMAL); DeleteFileA(old); });
        std::string store;
        for (int from = 0; from < 3; from++) {   // the roaming folder, its server off at the first start, the store
            SetFileAttributesW(home.c_str(), FILE_ATTRIBUTE_NORMAL), DeleteFileW(home.c_str());
            if (from < 2)
                RemoveDirectoryW((appdata + L"\\Kolvena").c_str());   // the first start of this release
            if (from == 1) {
                wt::PatchedImport a("kernel32.dll", "GetFileAttributesA", (void *)server_off);
                real_attributes = (decltype(real_attributes))a.real;
                zacni_cfg();
            }
            if (from == 2) {
                store = std::string(osebna_cfg, strlen(osebna_cfg) - 19) + "VirtualStore";
                SHCreateDirectoryExA(NULL, (store += cfg::win_dir().substr(2)).c_str(), NULL);
                write_bytes(store += "\\Kolvena.cfg", NOVO);
            }
            wt::reset_program_state();
            zacni_cfg();
            CHECK(shrani_cfg());
            CHECK(read_bytes(osebna_cfg) == NOVO);   // both its entries, and the option
        }
        CHECK(read_bytes(old) == NOVO);
        DeleteFileA(store.c_str());
    }
    SUBCASE("the list in the Windows directory: a second start asks nothing of the roaming folder") {
        zacni_cfg();
        CHECK(asked_for == CSIDL_LOCAL_APPDATA);
    }
    SUBCASE("a read-only Kolvena.cfg stays a refusal") {
        REQUIRE(SetFileAttributesA(cfg_path().c_str(), FILE_ATTRIBUTE_READONLY));
        CHECK_FALSE(shrani_cfg());
        SetFileAttributesA(cfg_path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SUBCASE("the user's folder closed too: the save fails") {
        everywhere = true;
        CHECK_FALSE(shrani_cfg());
    }
    CHECK(read_bytes(cfg_path()) == STARO);
    CHECK((GetFileAttributesW(home.c_str()) != INVALID_FILE_ATTRIBUTES) == (osebna_cfg[0] != '\0'));
}

TEST_CASE("a list beside Kolvena.exe: paths kept relative to its folder, made full against it, never the current directory; saved there, never in place; a stick that does not answer holds only the save's thread")
{
    old_file_new_list();
    wt::Finally clean([&] { prenosna_mapa[0] = prenosna_cfg[0] = '\0'; });
    const std::string dolga = "E:\\" + std::string(246, 'd') + ".exe";
    const struct { const char *mapa, *izbrana, *shranjena, *polna; } t[] = {
        { "E:\\Kolvena\\", "E:\\Kolvena\\Orodja\\x.exe", "Orodja\\x.exe", "E:\\Kolvena\\Orodja\\x.exe" },
        { "E:\\Kolvena\\", "e:\\kolvena2\\x.exe", "..\\kolvena2\\x.exe", "E:\\kolvena2\\x.exe" },
        { "E:\\", "E:\\x.exe", "x.exe", "E:\\x.exe" },                   // the drive's root
        { "E:\\Kolvena\\", "C:\\x.exe", "C:\\x.exe", "C:\\x.exe" },      // another drive
        { "E:\\Kolvena\\", "\\\\s\\d\\x.exe", "\\\\s\\d\\x.exe", "\\\\s\\d\\x.exe" },
        { "\\\\s\\d\\Kolvena\\", "\\\\s\\d\\x.exe", "\\\\s\\d\\x.exe", "\\\\s\\d\\x.exe" },
        { "\\\\s\\d\\Kolvena\\", "\\x.exe", "\\x.exe", "\\\\s\\d\\x.exe" },
        { "E:\\Kolvena\\", "x.exe", "x.exe", "E:\\Kolvena\\x.exe" },     // relative already
        { "E:\\Kolvena\\", "\\x.exe", "\\x.exe", "E:\\x.exe" },
        { "E:\\Kolvena\\Podmapa\\", dolga.c_str(), dolga.c_str(), dolga.c_str() },   // joined, past MAX_PATH
    };
    for (const auto &r : t) {
        CAPTURE(std::string(r.mapa) + " " + r.izbrana);
        kopiraj(prenosna_mapa, sizeof prenosna_mapa, r.mapa);
        char shranjena[MAX_PATH], polna[MAX_PATH];
        prenosna_pot(r.izbrana, shranjena, sizeof shranjena);
        CHECK(std::string(shranjena) == r.shranjena);
        CHECK(std::string(polna_pot(shranjena, polna, sizeof polna) ? polna : "(none)") == r.polna);
    }
    const std::string cfg = cfg::win_dir() + "\\palica\\Kolvena.cfg";
    CreateDirectoryA((cfg::win_dir() + "\\palica").c_str(), NULL);
    kopiraj(prenosna_cfg, MAX_PATH, cfg.c_str());
    kopiraj(prenosna_mapa, MAX_PATH, cfg.substr(0, cfg.size() - 11).c_str());
    REQUIRE(shrani_cfg());
    CHECK(read_bytes(cfg) == "#1\r\n\r\nStaro\r\n..\\..\\staro.exe\r\nNovo\r\n..\\..\\novo.exe\r\n");
    CHECK(read_bytes(cfg_path()) == STARO);
    REQUIRE(CreateDirectoryA((cfg + ".new").c_str(), NULL));    // no new file (a full stick)
    CHECK_FALSE(shrani_cfg());
    RemoveDirectoryA((cfg + ".new").c_str());
    kopiraj(prenosna_cfg, MAX_PATH, "Q:\\palica\\Kolvena.cfg");   // the stick pulled
    CHECK_FALSE(shrani_cfg());
    kopiraj(prenosna_cfg, MAX_PATH, cfg.c_str());
    wt::PatchedImport f("kernel32.dll", "FlushFileBuffers", (void *)noted_flush);
    real_flush = (decltype(real_flush))f.real;
    // The stick held: the save back after its wait, the next refused. " Izhod " (the window destroyed) and the session's
    // end wait for it; a stick silent for seconds is reported, its save replacing nothing; a late failure is said on top.
    wt::PatchedImport b("user32.dll", "MessageBoxA", (void *)noted_box);
    for (int end = 0; end < 4; end++) {   // " Izhod ", the stick silent, a late failure, the session's end
        auto saved = [&] { return read_bytes(cfg).find("Konec" + std::to_string(end)) != std::string::npos; };
        wt::add_entry(("Konec" + std::to_string(end)).c_str(), "D:\\konec.exe");
        ResetEvent(answers), calls.clear(), flush_fails = end == 2, answer_after = end == 1 ? 7000 : 1000;
        REQUIRE(shrani_cfg());
        CHECK_FALSE((shrani_cfg() || saved()));
        HWND h = end != 2 ? wt::make_tray_window() : NULL;
        if (end == 3) {
            najdi_klice();
            wt::Restore<decltype(pShutdownBlockReasonCreate)> r(pShutdownBlockReasonCreate, noted_reason);
            SendMessageA(h, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        }
        wt::destroy_tray_window(h);
        CHECK(saved() == (end % 3 == 0));
        CHECK(wt::pump_until([&] { return calls.size() == 1 && !cfg::exists(cfg + ".new") &&
                                          box_styles == std::vector<UINT>(end - end / 3, MB_OK | MB_TOPMOST); }, 10000));
        CHECK(saved() == (end % 3 == 0));
    }
    CHECK(reason == L"Kolvena shranjuje seznam programov");
}

TEST_CASE("a read-only Kolvena.cfg: the save fails, the old bytes stay")
{
    old_file_new_list();
    REQUIRE(SetFileAttributesA(cfg_path().c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK_FALSE(shrani_cfg());
    SetFileAttributesA(cfg_path().c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK(read_bytes(cfg_path()) == STARO);
    CHECK_FALSE(cfg::exists(cfg_path() + ".new"));
}

TEST_CASE("w_dir pointing nowhere: load and save use the current directory, the Windows directory's file stays")
{
    old_file_new_list();
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    std::string other = std::string(tmp) + "kolvena-drugje";
    CreateDirectoryA(other.c_str(), NULL);
    DeleteFileA((other + "\\Kolvena.cfg").c_str());
    REQUIRE(SetCurrentDirectoryA(other.c_str()));
    lstrcpyA(w_dir, "C:\\ni\\take\\mape");

    REQUIRE(shrani_cfg());
    CHECK(read_bytes(other + "\\Kolvena.cfg") == NOVO);
    CHECK(read_bytes(cfg_path()) == STARO);

    wt::reset_program_state();
    lstrcpyA(w_dir, "C:\\ni\\take\\mape");
    beri_cfg();
    CHECK(IDx == 32);
    CHECK(icn_kljuka == 1);

    // With no file at all where the load looks, the list stays as it was.
    DeleteFileA((other + "\\Kolvena.cfg").c_str());
    wt::reset_program_state();
    beri_cfg();
    CHECK(IDx == 30);
    CHECK(icn_kljuka == 0);
    SetCurrentDirectoryA(cfg::win_dir().c_str());
}

TEST_CASE("pisi_tok notices a stream that fails while the list is written")
{
    std::string path = cfg::win_dir() + "\\kolvena-samo-branje.txt";
    write_bytes(path, "x");
    wt::reset_program_state();
    wt::add_entry("A", "C:\\a.exe");

    SUBCASE("a stream opened for reading only") {
        FILE *f = fopen(path.c_str(), "r");
        REQUIRE(f != nullptr);
        CHECK_FALSE(pisi_tok(f));
        fclose(f);
    }
    SUBCASE("the option alone on a stream opened for reading only") {
        wt::reset_program_state();
        icn_kljuka = 1;
        FILE *f = fopen(path.c_str(), "r");
        REQUIRE(f != nullptr);
        CHECK_FALSE(pisi_tok(f));
        fclose(f);
    }
    SUBCASE("a healthy stream") {
        FILE *f = fopen(path.c_str(), "w");
        REQUIRE(f != nullptr);
        CHECK(pisi_tok(f));
        fclose(f);
        CHECK(read_bytes(path) == "A\r\nC:\\a.exe\r\n");
    }
    DeleteFileA(path.c_str());
}
