// Kolvena.cfg in the Windows directory, or in the user's own folder where
// the Windows directory is closed to him: creation at start-up, load and
// save.
#include "NTpopup.h"

#include <io.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

char w_dir[1024];
HANDLE fhandle;
FILE *cfgdat;
char osebna_cfg[MAX_PATH];

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
// no local folder of Kolvena's. That start makes the local folder, which
// marks the look as done, and copies a list found there into the local
// file, the list's home from then on. Where the copy fails the list is read
// from the roaming file until the first save has put it into the local one,
// and the folder is taken away again, so that the next start looks again.
// The roaming file itself is left as it is.
static char gostujoca_cfg[MAX_PATH];

static bool je_datoteka(const char *pot)
{
    DWORD atributi = GetFileAttributesA(pot);
    return atributi != INVALID_FILE_ATTRIBUTES && !(atributi & FILE_ATTRIBUTE_DIRECTORY);
}

void zacni_cfg(void)
{
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    SetCurrentDirectoryA(w_dir);
    // A list that once had to leave a closed Windows directory is read from
    // the user's folder from then on.
    osebna_cfg[0] = '\0';
    gostujoca_cfg[0] = '\0';
    char mapa[MAX_PATH], cfg[MAX_PATH], nova[MAX_PATH];
    char g_mapa[MAX_PATH], g_cfg[MAX_PATH], g_nova[MAX_PATH];
    if (osebne_poti(CSIDL_LOCAL_APPDATA, mapa, cfg, nova)) {
        if (je_datoteka(cfg)) {
            kopiraj(osebna_cfg, sizeof osebna_cfg, cfg);
        } else if ((CreateDirectoryA(mapa, NULL) || GetLastError() != ERROR_ALREADY_EXISTS) &&
                   osebne_poti(CSIDL_APPDATA, g_mapa, g_cfg, g_nova) && je_datoteka(g_cfg)) {
            kopiraj(osebna_cfg, sizeof osebna_cfg, cfg);
            if (!CopyFileA(g_cfg, cfg, TRUE)) {
                kopiraj(gostujoca_cfg, sizeof gostujoca_cfg, g_cfg);
                RemoveDirectoryA(mapa);
            }
        }
    }
    if (osebna_cfg[0] == '\0') {
        fhandle = CreateFileA(CFG_IME, GENERIC_READ, FILE_SHARE_READ, NULL,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (fhandle != INVALID_HANDLE_VALUE)
            CloseHandle(fhandle);
    }
    beri_cfg();
}

void beri_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    cfgdat = fopen(gostujoca_cfg[0] != '\0' ? gostujoca_cfg
                   : osebna_cfg[0] != '\0' ? osebna_cfg : CFG_IME, "r");
    if (cfgdat == NULL)
        return;
    long odvec = beri_tok(cfgdat);
    fclose(cfgdat);
    cfgdat = NULL;
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

// Writes the option and the list into the file `ime`, created or emptied,
// and puts its bytes on the disk before it is closed. False when it could
// not be opened (*otvorjena false, *zavrnjena true when the system refused
// it this user, ERROR_ACCESS_DENIED) or a write failed.
static bool zapisi(const char *ime, bool *otvorjena, bool *zavrnjena)
{
    _doserrno = 0;
    cfgdat = fopen(ime, "w");
    *otvorjena = cfgdat != NULL;
    *zavrnjena = cfgdat == NULL && _doserrno == ERROR_ACCESS_DENIED;
    if (cfgdat == NULL)
        return false;
    bool zapisano = pisi_tok(cfgdat);
    if (fflush(cfgdat) != 0)
        zapisano = false;
    if (!FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(cfgdat))))
        zapisano = false;
    if (fclose(cfgdat) != 0)
        zapisano = false;
    cfgdat = NULL;
    return zapisano;
}

// The list goes into a new file beside the old one, which is replaced only
// once everything was written, on the disk and closed without error: a
// failure or a crash on the way leaves the old file whole.
//
// Where the new file cannot be made or cannot replace the old one, the file
// is written in place, as a plain save does. Windows' file virtualisation,
// which lets the 32-bit build write into the Windows directory at all,
// documents that it redirects writes, not whether it carries out such a
// rename.
static Izid shrani_v(const char *ime, const char *novo)
{
    // A read-only file cannot be opened for writing, so it is not replaced
    // either (Wine's MoveFileExA would replace it).
    DWORD atributi = GetFileAttributesA(ime);
    if (atributi != INVALID_FILE_ATTRIBUTES && (atributi & FILE_ATTRIBUTE_READONLY))
        return Izid::NAPAKA;

    bool otvorjena = false, novo_zavrnjeno = false, zavrnjena = false;
    bool zapisano = zapisi(novo, &otvorjena, &novo_zavrnjeno);
    if (zapisano && MoveFileExA(novo, ime, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Izid::SHRANJENO;
    if (otvorjena)
        DeleteFileA(novo);
    // A write that failed (a full disk) would fail in place too, after the
    // old file had been emptied: that one stays as it is.
    if (otvorjena && !zapisano)
        return Izid::NAPAKA;
    if (zapisi(ime, &otvorjena, &zavrnjena))
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

// A standard user may not write into the Windows directory. The 32-bit
// build gets there by file virtualisation, which Microsoft means to remove;
// the 64-bit build gets no virtualisation at all. Where the directory
// refuses both the new file and the write in place, the list moves to the
// user's own folder for good; the Windows directory's file is left as it
// was.
bool shrani_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    if (osebna_cfg[0] != '\0')
        return shrani_osebno();
    Izid izid = shrani_v(CFG_IME, CFG_ZACASNO);
    if (izid == Izid::ZAPRTO)
        return shrani_osebno();
    return izid == Izid::SHRANJENO;
}
