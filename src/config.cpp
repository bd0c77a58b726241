// Kolvena.cfg in the Windows directory: creation at start-up, load and save.
#include "NTpopup.h"

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

// The list goes into a new file beside the old one, which is replaced only
// once everything was written and closed without error.
bool shrani_cfg(void)
{
    SetCurrentDirectoryA(w_dir);
    // A read-only file cannot be opened for writing, so it is not replaced
    // either (Wine's MoveFileExA would replace it).
    DWORD atributi = GetFileAttributesA(CFG_IME);
    if (atributi != INVALID_FILE_ATTRIBUTES && (atributi & FILE_ATTRIBUTE_READONLY))
        return false;
    cfgdat = fopen(CFG_ZACASNO, "w");
    if (cfgdat == NULL)
        return false;
    bool zapisano = pisi_tok(cfgdat);
    if (fclose(cfgdat) != 0)
        zapisano = false;
    cfgdat = NULL;
    if (zapisano && MoveFileExA(CFG_ZACASNO, CFG_IME,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(CFG_ZACASNO);
    return false;
}
