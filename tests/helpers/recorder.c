/* A stand-in for a program that Kolvena starts: it records how it was
   started and ends at once, with exit code 0 (1 when the line could not be
   written).

   It appends one line to the file named by the environment variable
   KOLVENA_RECORD, or, when that is not set, to "recorder.log" next to itself:
   its own module path, its command line, its current directory and the show
   command of its start-up information (its number, "-" when none was given),
   separated by tabs, ended by CR LF. It opens no window. */
#include <windows.h>
#include <string.h>

int main(void)
{
    char modul[MAX_PATH] = "";
    char mapa[MAX_PATH] = "";
    char datoteka[MAX_PATH] = "";
    const char *ukaz = GetCommandLineA();

    GetModuleFileNameA(NULL, modul, sizeof modul);
    GetCurrentDirectoryA(sizeof mapa, mapa);

    STARTUPINFOA si;
    GetStartupInfoA(&si);
    char prikaz[16] = "-";
    if (si.dwFlags & STARTF_USESHOWWINDOW)
        wsprintfA(prikaz, "%u", (unsigned)si.wShowWindow);

    DWORD n = GetEnvironmentVariableA("KOLVENA_RECORD", datoteka, sizeof datoteka);
    if (n == 0 || n >= sizeof datoteka) {
        lstrcpynA(datoteka, modul, sizeof datoteka);
        char *poseva = strrchr(datoteka, '\\');
        char *ime = poseva ? poseva + 1 : datoteka;
        lstrcpynA(ime, "recorder.log", (int)(sizeof datoteka - (size_t)(ime - datoteka)));
    }

    HANDLE f = CreateFileA(datoteka, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 1;

    /* One write for the whole line, so that lines of programs started at the
       same time do not mix. */
    static char vrstica[3 * 32768];
    lstrcpynA(vrstica, modul, sizeof vrstica);
    size_t dolzina = strlen(vrstica);
    const char *deli[] = { "\t", ukaz ? ukaz : "", "\t", mapa, "\t", prikaz, "\r\n" };
    for (size_t i = 0; i < sizeof deli / sizeof deli[0]; i++) {
        size_t d = strlen(deli[i]);
        if (dolzina + d >= sizeof vrstica)
            d = sizeof vrstica - 1 - dolzina;
        memcpy(vrstica + dolzina, deli[i], d);
        dolzina += d;
        vrstica[dolzina] = '\0';
    }
    DWORD zapisano = 0;
    BOOL ok = WriteFile(f, vrstica, (DWORD)dolzina, &zapisano, NULL);
    CloseHandle(f);
    return ok && zapisano == dolzina ? 0 : 1;
}
