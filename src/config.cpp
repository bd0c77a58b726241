// Kolvena.cfg in the Windows directory: creation at start-up, load and save.
#include "NTpopup.h"

#include <io.h>

char w_dir[1024];
HANDLE fhandle;
FILE *cfgdat;

constexpr char CFG_IME[] = "Kolvena.cfg";
constexpr char CFG_ZACASNO[] = "Kolvena.cfg.new";

void zacni_cfg(void)
{
    GetWindowsDirectoryA(w_dir, sizeof w_dir);
    SetCurrentDirectoryA(w_dir);
    fhandle = CreateFileA(CFG_IME, GENERIC_READ, FILE_SHARE_READ, NULL,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (fhandle != INVALID_HANDLE_VALUE)
        CloseHandle(fhandle);
    beri_cfg();
}

void beri_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    cfgdat = fopen(CFG_IME, "r");
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

// Writes the option and the list into the file `ime`, created or emptied,
// and puts its bytes on the disk before it is closed. False when it could
// not be opened (*otvorjena false) or a write failed.
static bool zapisi(const char *ime, bool *otvorjena)
{
    cfgdat = fopen(ime, "w");
    *otvorjena = cfgdat != NULL;
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
// which lets Kolvena write into the Windows directory at all, documents that
// it redirects writes, not whether it carries out such a rename.
bool shrani_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    // A read-only file cannot be opened for writing, so it is not replaced
    // either (Wine's MoveFileExA would replace it).
    DWORD atributi = GetFileAttributesA(CFG_IME);
    if (atributi != INVALID_FILE_ATTRIBUTES && (atributi & FILE_ATTRIBUTE_READONLY))
        return false;

    bool otvorjena = false;
    bool zapisano = zapisi(CFG_ZACASNO, &otvorjena);
    if (zapisano && MoveFileExA(CFG_ZACASNO, CFG_IME,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (otvorjena)
        DeleteFileA(CFG_ZACASNO);
    // A write that failed (a full disk) would fail in place too, after the
    // old file had been emptied: that one stays as it is.
    if (otvorjena && !zapisano)
        return false;
    return zapisi(CFG_IME, &otvorjena);
}
