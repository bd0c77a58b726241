// Settings dialog: the list of entries, browsing for a program, adding and
// removing entries, the show-icons option, saving with "Koncaj".
#include "dialog.h"

#include "config.h"
#include "config_list.h"
#include "klici.h"
#include "oznake.h"
#include "poti.h"

#include <commdlg.h>
#include <stddef.h>
#include <string.h>

HWND dlg_odprt;

// Characters the dialog takes for a description.
constexpr int NAJDALJSI_OPIS = 32;

static BOOL InitializeDLG(HWND hDlg, WPARAM wParam, LPARAM lParam);
static void Najdi_pot(HWND hDlg);

#if defined(__i386__) || defined(_M_IX86)
// OPENFILENAME_SIZE_VERSION_400W is not a constant expression: it ends where
// lpTemplateName ends.
static_assert(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == 76,
              "the first OPENFILENAMEW is 76 bytes");
#endif

void ni_shranjeno(UINT slog)
{
    MessageBoxA(NULL,
                "Seznama programov ni bilo mogoce shraniti v datoteko Kolvena.cfg.\n"
                "Spremembe veljajo le do izhoda iz programa.",
                "Napaka !", slog);
}

static void koncaj(HWND hDlg)
{
    icn_kljuka = SendDlgItemMessageA(hDlg, IDC_POKAZI_IKONE, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    if (!shrani_cfg())
        ni_shranjeno();
    EndDialog(hDlg, 0);
}

// The two list boxes have no label before them in the tab order, from which
// a screen reader would take their names: each gets a name of its own, on
// its client object, while the dialog is open.
static const struct {
    int id;
    const wchar_t *ime;
} imena_seznamov[] = {
    { IDC_SEZNAM, L"Programi v meniju" },
    { IDC_POT, L"Pot do izbranega programa" },
};

static void poimenuj_sezname(HWND hDlg)
{
    IAccPropServices *s = storitve_oznak();
    for (size_t i = 0; s != NULL && i < ARRAYSIZE(imena_seznamov); i++)
        s->SetHwndPropStr(GetDlgItem(hDlg, imena_seznamov[i].id), OBJID_CLIENT, CHILDID_SELF,
                          PROPID_ACC_NAME, imena_seznamov[i].ime);
}

static void pozabi_imena_seznamov(HWND hDlg)
{
    for (size_t i = 0; oznake != NULL && i < ARRAYSIZE(imena_seznamov); i++)
        oznake->ClearHwndProps(GetDlgItem(hDlg, imena_seznamov[i].id), OBJID_CLIENT, CHILDID_SELF,
                               &PROPID_ACC_NAME, 1);
}

INT_PTR CALLBACK Dlg_proc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return InitializeDLG(hDlg, wParam, lParam);

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DODAJ:
            dodaj(hDlg);
            return TRUE;
        case IDC_ODSTRANI:
            odstrani((long)SendDlgItemMessageA(hDlg, IDC_SEZNAM, LB_GETCURSEL, 0, 0), hDlg);
            return TRUE;
        case IDC_KONCAJ:
            koncaj(hDlg);
            return TRUE;
        case IDC_POISCI:
            Najdi_pot(hDlg);
            return TRUE;
        }
        return FALSE;

    case WM_CLOSE:
        EndDialog(hDlg, 0);
        return TRUE;

    case WM_DESTROY:
        dlg_odprt = NULL;     // bookkeeping only: the default handling goes on
        pozabi_imena_seznamov(hDlg);
        return FALSE;
    }
    return FALSE;
}

static BOOL InitializeDLG(HWND hDlg, WPARAM, LPARAM)
{
    dlg_odprt = hDlg;
    for (int i = 0; i < stevilo_vnosov(); i++)
        SendDlgItemMessageA(hDlg, IDC_SEZNAM, LB_ADDSTRING, 0, (LPARAM)m_polje[i].opis);
    if (icn_kljuka == 1)
        SendDlgItemMessageA(hDlg, IDC_POKAZI_IKONE, BM_SETCHECK, BST_CHECKED, 0);
    poimenuj_sezname(hDlg);
    return TRUE;
}

static BOOL (WINAPI *pGetOpenFileNameW)(LPOPENFILENAMEW);

// Loaded by hand on first use rather than by the linker's delay-load, whose
// 32-bit import thunks made by dlltool jump to address 0 on the first call.
static bool comdlg32_nalozen(void)
{
    static bool poskuseno = false;
    if (!poskuseno) {
        poskuseno = true;
        poisci_funkcijo(nalozi_sistemsko("comdlg32.dll"), "GetOpenFileNameW", pGetOpenFileNameW);
    }
    return pGetOpenFileNameW != NULL;
}

// The file dialog is asked for the path in Unicode, the one form that always
// names the chosen file: Kolvena keeps paths in the ANSI code page, and the
// ANSI dialog returns a name that the code page cannot spell with stand-in
// characters, which name another file or none.
static void Najdi_pot(HWND hDlg)
{
    wchar_t pot[MAX_PATH];
    pot[0] = 0;

    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = hDlg;
    ofn.lpstrFilter = L"Programske datoteke (*.EXE)\0*.EXE\0";
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = pot;
    ofn.nMaxFile = MAX_PATH;        // characters
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = L"txt";

    // The dialog makes the chosen program's folder current, and
    // OFN_NOCHANGEDIR does not stop an Open dialog from it: Kolvena's own
    // current directory is put back.
    wchar_t mapa[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, mapa);
    bool izbran = comdlg32_nalozen() && pGetOpenFileNameW(&ofn);
    if (n > 0 && n < MAX_PATH)
        SetCurrentDirectoryW(mapa);
    if (!izbran)
        return;

    char ansi[sizeof m_polje[0].pot];
    if (!ansi_ali_kratka(pot, ansi, sizeof ansi)) {
        MessageBoxA(NULL,
                    "Pot do izbranega programa vsebuje znake, ki jih Kolvena ne more "
                    "shraniti.\nProgram premaknite v drugo mapo ali ga preimenujte.",
                    "Napaka !", MB_OK);
        return;
    }

    SendDlgItemMessageA(hDlg, IDC_POT, LB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(hDlg, IDC_POT, LB_ADDSTRING, 0, (LPARAM)ansi);
    postavi_pot(ansi);
}

void dodaj(HWND hDlg)
{
    if (!pot_postavljena()) {
        MessageBoxA(NULL, "Pot do programa ni dolocena!!!", "Napaka !", MB_OK);
        return;
    }

    // EM_GETLINE takes the buffer's limit from its first word and copies the
    // line without a terminating NUL: the zeros behind it end the text.
    char opis[sizeof m_polje[0].opis];
    ZeroMemory(opis, sizeof opis);
    WORD meja = NAJDALJSI_OPIS;
    memcpy(opis, &meja, sizeof meja);
    LRESULT n = SendDlgItemMessageA(hDlg, IDC_OPIS, EM_GETLINE, 0, (LPARAM)opis);
    if (n < 1) {
        MessageBoxA(NULL, "Opis morate vpisati!!!", "Napaka !", MB_OK);
        return;
    }
    opis[n] = 0;

    // Kolvena.cfg would read such a description back as the option line and
    // lose the entry.
    if (opis[0] == '#' && opis[1] == '1') {
        MessageBoxA(NULL, "Opis se ne sme zaceti z znakoma #1!!!", "Napaka !", MB_OK);
        return;
    }

    if (stevilo_vnosov() >= MAX_VNOSOV) {
        MessageBoxA(NULL, "Dodajanje v menu ni vec mogoce!!!", "Opozorilo!!!", MB_OK);
        return;
    }

    SendDlgItemMessageA(hDlg, IDC_OPIS, EM_SETSEL, 0, sizeof m_polje[0].opis);
    SendDlgItemMessageA(hDlg, IDC_OPIS, EM_REPLACESEL, FALSE, (LPARAM)"");
    SendDlgItemMessageA(hDlg, IDC_POT, LB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(hDlg, IDC_SEZNAM, LB_ADDSTRING, 0, (LPARAM)opis);
    potrdi_vnos(opis);
}

void odstrani(long index, HWND hDlg)
{
    if (index == -1) {
        MessageBoxA(NULL, "Nekaj morate izbrati !!!", "Opozorilo!!", MB_OK);
        return;
    }
    SendDlgItemMessageA(hDlg, IDC_SEZNAM, LB_DELETESTRING, (WPARAM)index, 0);
    odstrani_vnos(index);
}
