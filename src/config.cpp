// Kolvena.cfg in the Windows directory, or in the user's own folder where
// the Windows directory is closed to him, or beside Kolvena.exe: creation at
// start-up, load and save.
#include "config.h"

#include "config_list.h"
#include "dialog.h"
#include "ozadje.h"
#include "poti.h"

#include <io.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

char w_dir[1024];
char osebna_cfg[MAX_PATH];
char prenosna_mapa[MAX_PATH];
char prenosna_cfg[MAX_PATH];

constexpr char CFG_IME[] = "Kolvena.cfg";
constexpr char CFG_ZACASNO[] = "Kolvena.cfg.new";

// The per-user home, under the user's local application-data folder: the
// list holds this machine's paths, and in the roaming folder it would follow
// the profile and replace the list of every machine the user signs in to.
constexpr char OSEBNA_MAPA[] = "\\Kolvena";
constexpr char OSEBNA_DATOTEKA[] = "\\Kolvena.cfg";
constexpr char NOVA_KONCNICA[] = ".new";

// dst = a followed by b; false when that does not fit a path of MAX_PATH.
static bool stakni(char (&dst)[MAX_PATH], const char *a, const char *b)
{
    size_t na = strlen(a), nb = strlen(b);
    if (na + nb >= sizeof dst)
        return false;
    memcpy(dst, a, na);
    memcpy(dst + na, b, nb + 1);
    return true;
}

// The Kolvena folder of the user's application-data folder `csidl`, its
// Kolvena.cfg and that file's new file, as full paths; false when the
// system names no such folder, or names one that Kolvena's ANSI paths
// cannot reach: asked for in Unicode, it is spelled in the ANSI code page or
// by its short name, never with the stand-in '?' that the ANSI call puts for
// a character the code page lacks.
static bool osebne_poti(int csidl, char (&mapa)[MAX_PATH], char (&cfg)[MAX_PATH],
                        char (&nova)[MAX_PATH])
{
    wchar_t v_unicode[MAX_PATH];
    char appdata[MAX_PATH];
    if (SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, v_unicode) != S_OK ||
        !ansi_ali_kratka(v_unicode, appdata, sizeof appdata))
        return false;
    return stakni(mapa, appdata, OSEBNA_MAPA) && stakni(cfg, mapa, OSEBNA_DATOTEKA) &&
           stakni(nova, cfg, NOVA_KONCNICA);
}

// The list that an earlier Kolvena, finding the Windows directory closed,
// kept in the user's roaming application-data folder. Roaming profiles and
// folder redirection can put that folder on a server, and a start must not
// wait on one: it is looked at once per user, at the first start that finds
// no local folder of Kolvena's. The local folder marks the look as done; it
// is made once the look has an answer, a list or "not found", so that a
// server that is off at that start (a network error) is asked again at the
// next. A list found there is copied into the local file, the list's home
// from then on. Where the copy fails the list is read from the roaming file
// until the first save has put it into the local one, and the folder is
// taken away again, so that the next start looks again. The roaming file
// itself is left as it is. gostujoca_cfg names the file read until then
// (the roaming one, or the store's below).
static char gostujoca_cfg[MAX_PATH];

static bool je_datoteka(const char *pot)
{
    DWORD atributi = GetFileAttributesA(pot);
    return atributi != INVALID_FILE_ATTRIBUTES && !(atributi & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a Kolvena.cfg lies in Kolvena.exe's own folder; if so, that
// folder and that file become the list's home (prenosna_mapa,
// prenosna_cfg). The module's path is asked for in Unicode and spelled as
// Kolvena spells every path (ansi_ali_kratka). One look at the disk.
static bool najdi_prenosno(void)
{
    prenosna_mapa[0] = prenosna_cfg[0] = '\0';
    wchar_t modul[MAX_PATH];
    char mapa[MAX_PATH], cfg[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, modul, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !ansi_ali_kratka(modul, mapa, sizeof mapa))
        return false;
    char *ime = strrchr(mapa, '\\');
    if (ime == NULL)
        return false;
    ime[1] = '\0';
    // Kolvena.exe kept in the Windows directory: its Kolvena.cfg there is the
    // ordinary list.
    char win[MAX_PATH];
    if ((stakni(win, w_dir, "\\") && lstrcmpiA(win, mapa) == 0) || !stakni(cfg, mapa, CFG_IME) ||
        !je_datoteka(cfg))
        return false;
    kopiraj(prenosna_mapa, sizeof prenosna_mapa, mapa);
    kopiraj(prenosna_cfg, sizeof prenosna_cfg, cfg);
    return true;
}

// Copies the list `izvor` into the local home `cfg`, which is the home from
// then on; where the copy fails, the list is read from `izvor` until the
// first save has put it into the local file (false then). The copy is made
// writable: CopyFileA keeps a read-only attribute, and a read-only home
// would refuse every save.
static bool prevzemi(const char *izvor, const char *cfg)
{
    kopiraj(osebna_cfg, sizeof osebna_cfg, cfg);
    if (!CopyFileA(izvor, cfg, TRUE)) {
        kopiraj(gostujoca_cfg, sizeof gostujoca_cfg, izvor);
        return false;
    }
    DWORD atributi = GetFileAttributesA(cfg);
    if (atributi != INVALID_FILE_ATTRIBUTES && (atributi & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(cfg, atributi & ~FILE_ATTRIBUTE_READONLY);
    return true;
}

// The list that the 32-bit build of an earlier release, which asked Windows
// for no execution level, saved through file virtualisation: Windows kept it
// in the user's VirtualStore folder, under the Windows directory's path
// without its drive, and showed it to that build alone. Kolvena's manifest
// now names its level, and Windows virtualises it no more. Looked for at
// every start that finds no local list (users of that release have the
// local folder already): one local look. `mapa` is the local folder.
static bool v_shrambi(const char *mapa, char (&shramba)[MAX_PATH])
{
    char osnova[MAX_PATH], a[MAX_PATH], b[MAX_PATH];
    kopiraj(osnova, strlen(mapa) - (sizeof OSEBNA_MAPA - 1) + 1, mapa);
    return w_dir[0] != '\0' && w_dir[1] == ':' && stakni(a, osnova, "\\VirtualStore") &&
           stakni(b, a, w_dir + 2) && stakni(shramba, b, OSEBNA_DATOTEKA) && je_datoteka(shramba);
}

void zacni_cfg(void)
{
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    SetCurrentDirectoryA(w_dir);
    // A Kolvena.cfg beside Kolvena.exe is the list (Kolvena carried on a USB
    // stick): the Windows directory and the user's folders are then neither
    // read nor written.
    if (najdi_prenosno()) {
        beri_cfg();
        return;
    }
    // A list that once had to leave a closed Windows directory is read from
    // the user's folder from then on.
    osebna_cfg[0] = '\0';
    gostujoca_cfg[0] = '\0';
    char mapa[MAX_PATH], cfg[MAX_PATH], nova[MAX_PATH], drugje[MAX_PATH];
    char g_mapa[MAX_PATH], g_nova[MAX_PATH];
    if (osebne_poti(CSIDL_LOCAL_APPDATA, mapa, cfg, nova)) {
        if (je_datoteka(cfg)) {
            kopiraj(osebna_cfg, sizeof osebna_cfg, cfg);
        } else if (v_shrambi(mapa, drugje)) {
            CreateDirectoryA(mapa, NULL);
            prevzemi(drugje, cfg);
        } else if (GetFileAttributesA(mapa) == INVALID_FILE_ATTRIBUTES) {
            DWORD atributi = INVALID_FILE_ATTRIBUTES, napaka = ERROR_FILE_NOT_FOUND;
            if (osebne_poti(CSIDL_APPDATA, g_mapa, drugje, g_nova)) {
                atributi = GetFileAttributesA(drugje);
                napaka = GetLastError();
            }
            if (atributi != INVALID_FILE_ATTRIBUTES || napaka == ERROR_FILE_NOT_FOUND ||
                napaka == ERROR_PATH_NOT_FOUND) {
                CreateDirectoryA(mapa, NULL);
                if (atributi != INVALID_FILE_ATTRIBUTES && !(atributi & FILE_ATTRIBUTE_DIRECTORY) &&
                    !prevzemi(drugje, cfg))
                    RemoveDirectoryA(mapa);
            }
        }
    }
    if (osebna_cfg[0] == '\0') {
        HANDLE h = CreateFileA(CFG_IME, GENERIC_READ, FILE_SHARE_READ, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    beri_cfg();
}

void beri_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    FILE *f = fopen(prenosna_cfg[0] != '\0' ? prenosna_cfg
                    : gostujoca_cfg[0] != '\0' ? gostujoca_cfg
                    : osebna_cfg[0] != '\0' ? osebna_cfg : CFG_IME, "r");
    if (f == NULL)
        return;
    long odvec = beri_tok(f);
    fclose(f);
    if (odvec > 0)
        MessageBoxA(NULL,
                    "Datoteka Kolvena.cfg navaja vec kot 19 programov.\n"
                    "V menu je nalozenih samo prvih 19; ostali bodo ob "
                    "naslednjem shranjevanju izpusceni.",
                    "Opozorilo!!!", MB_OK);
}

// How a save into one folder ended.
enum class Izid {
    SHRANJENO,   // the file holds the list
    NAPAKA,      // not saved; the old file as it was
    ZAPRTO,      // not saved: the folder refused both files to this user
};

// A copy of the list, saved on a thread of its own (see shrani_prenosno).
struct Seznam {
    MenuEntry polje[MAX_VNOSOV];
    int stevilo, kljuka;
};

// Writes the option and the list (or the copy `prenosni`) into the file
// `ime`, created or emptied, and puts its bytes on the disk before it is
// closed. False when it could not be opened (*otvorjena false, *zavrnjena
// true when the system refused it this user, ERROR_ACCESS_DENIED) or a write
// failed.
static bool zapisi(const char *ime, bool *otvorjena, bool *zavrnjena, const Seznam *prenosni)
{
    _doserrno = 0;
    FILE *f = fopen(ime, "w");
    *otvorjena = f != NULL;
    *zavrnjena = f == NULL && _doserrno == ERROR_ACCESS_DENIED;
    if (f == NULL)
        return false;
    bool zapisano = prenosni == nullptr
                        ? pisi_tok(f)
                        : pisi_tok(f, prenosni->polje, prenosni->stevilo, prenosni->kljuka);
    if (fflush(f) != 0)
        zapisano = false;
    if (!FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(f))))
        zapisano = false;
    if (fclose(f) != 0)
        zapisano = false;
    return zapisano;
}

// The list goes into a new file beside the old one, which is replaced only
// once everything was written, on the disk and closed without error: a
// failure or a crash on the way leaves the old file whole.
//
// Where the new file cannot be made or cannot replace the old one, the file
// is written in place, as a plain save does (a folder that lets a user
// write a file he may not make there).
//
// The copy of a list beside Kolvena.exe, `prenosni`, is never written in
// place: a full stick could keep half a file. Nor does it replace the old
// file once Kolvena's end has stopped waiting for it (opusceno): the user
// has been told that the list was not saved.
static Posel shranjevanje;   // the save beside Kolvena.exe, below
static Izid shrani_v(const char *ime, const char *novo, const Seznam *prenosni = nullptr)
{
    // A read-only file cannot be opened for writing, so it is not replaced
    // either (Wine's MoveFileExA would replace it).
    DWORD atributi = GetFileAttributesA(ime);
    if (atributi != INVALID_FILE_ATTRIBUTES && (atributi & FILE_ATTRIBUTE_READONLY))
        return Izid::NAPAKA;

    bool otvorjena = false, novo_zavrnjeno = false, zavrnjena = false;
    bool zapisano = zapisi(novo, &otvorjena, &novo_zavrnjeno, prenosni);
    if (prenosni != nullptr && posel_opuscen(&shranjevanje))
        zapisano = false;
    if (zapisano && MoveFileExA(novo, ime, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Izid::SHRANJENO;
    if (otvorjena)
        DeleteFileA(novo);
    // A write that failed (a full disk) would fail in place too, after the
    // old file had been emptied: that one stays as it is.
    if ((otvorjena && !zapisano) || prenosni != nullptr)
        return Izid::NAPAKA;
    if (zapisi(ime, &otvorjena, &zavrnjena, nullptr))
        return Izid::SHRANJENO;
    return novo_zavrnjeno && zavrnjena ? Izid::ZAPRTO : Izid::NAPAKA;
}

// The same save into the user's own folder, made when missing; from then on
// that file is the list's home.
static bool shrani_osebno(void)
{
    char mapa[MAX_PATH], cfg[MAX_PATH], nova[MAX_PATH];
    if (!osebne_poti(CSIDL_LOCAL_APPDATA, mapa, cfg, nova))
        return false;
    CreateDirectoryA(mapa, NULL);   // fails when it is there already
    if (shrani_v(cfg, nova) != Izid::SHRANJENO)
        return false;
    kopiraj(osebna_cfg, sizeof osebna_cfg, cfg);
    gostujoca_cfg[0] = '\0';
    return true;
}

// ---- the list beside Kolvena.exe, saved off the window's thread ----
//
// A stick that stops answering holds every thread that touches it, for
// seconds or for good. So the list beside Kolvena.exe is saved on a thread
// of its own (ozadje.h), from a copy made here with its paths in their
// portable form, and the window's thread waits for it KRATKO_CAKANJE_MS at
// most: a save that has ended by then answers as ever; one that fails later
// says so from its own thread. While a save is still on its way the next
// one is refused: the stick holds it.
//
// Kolvena's end waits for a save on its way (pocakaj_shranjevanje): the
// process's end would stop the save's thread wherever it stands.
//
// The copy is written by the window's thread only while no save is on its
// way, and read by the save's thread.
static Seznam kopija;

// A stick that has not finished a save this long after " Izhod " (or the
// end of the Windows session) does not answer: the save is reported as
// failed, and Kolvena ends. A working stick writes the list in far less.
constexpr DWORD KONCNO_CAKANJE_MS = 5000;

static Opravljeno shrani_kopijo(void *seznam)
{
    char nova[MAX_PATH];
    return stakni(nova, prenosna_cfg, NOVA_KONCNICA) &&
                   shrani_v(prenosna_cfg, nova, (const Seznam *)seznam) == Izid::SHRANJENO
               ? Opravljeno::DA
               : Opravljeno::NE;
}

static void ni_shranjeno_pozno(void)
{
    ni_shranjeno(MB_TOPMOST);
}

// False where the save failed within the wait, or could not begin.
static bool shrani_prenosno(void)
{
    if (posel_na_poti(&shranjevanje))
        return false;
    kopija.stevilo = stevilo_vnosov();
    kopija.kljuka = icn_kljuka;
    for (int i = 0; i < kopija.stevilo; i++) {
        kopiraj(kopija.polje[i].opis, sizeof kopija.polje[i].opis, m_polje[i].opis);
        prenosna_pot(m_polje[i].pot, kopija.polje[i].pot, sizeof kopija.polje[i].pot);
    }
    shranjevanje.delo = shrani_kopijo;
    shranjevanje.povej = ni_shranjeno_pozno;
    shranjevanje.zanj = &kopija;
    shranjevanje.do_konca = true;
    return pozeni_posel(&shranjevanje, KRATKO_CAKANJE_MS);
}

bool shranjevanje_na_poti(void)
{
    return posel_na_poti(&shranjevanje);
}

void pocakaj_shranjevanje(void)
{
    if (!pocakaj_posel(&shranjevanje, KONCNO_CAKANJE_MS))
        ni_shranjeno(MB_TOPMOST);
}

// A standard user may not write into the Windows directory, and neither
// build is virtualised (the manifest names an execution level). Where the directory
// refuses both the new file and the write in place, the list moves to the
// user's own folder for good; the Windows directory's file is left as it
// was.
bool shrani_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    if (prenosna_cfg[0] != '\0')
        return shrani_prenosno();
    if (osebna_cfg[0] != '\0')
        return shrani_osebno();
    Izid izid = shrani_v(CFG_IME, CFG_ZACASNO);
    if (izid == Izid::ZAPRTO)
        return shrani_osebno();
    return izid == Izid::SHRANJENO;
}
