// Names for screen readers: a screen reader takes a menu item's name from
// its text, which a picture entry lacks, and a list box's from the label
// before it in the tab order, which the dialog's lists lack. Both are named
// through Dynamic Annotation, which changes nothing that is shown.
#include "oznake.h"

#include "klici.h"
#include "menu_zagon.h"

// oleacc.dll is loaded when first needed, not linked: the three GUIDs used
// from its header are defined here, with the values that it declares.
#include <initguid.h>
DEFINE_GUID(CLSID_AccPropServices, 0xb5f8350b, 0x0548, 0x48b1, 0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7);
DEFINE_GUID(IID_IAccPropServices, 0x6e26e776, 0x04f0, 0x495d, 0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69);
DEFINE_GUID(PROPID_ACC_NAME, 0x608d3df8, 0x8128, 0x4aa7, 0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91);

IAccPropServices *oznake;

// Made once, on the window's thread, with COM initialised there; kept for
// the program's life. oleacc is loaded from the system directory first, so
// that the object's server is that very file.
IAccPropServices *storitve_oznak(void)
{
    static bool poskuseno = false;
    if (oznake != NULL || poskuseno)
        return oznake;
    poskuseno = true;
    zacni_com();
    HRESULT (WINAPI *pCoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID *);
    poisci_funkcijo(nalozi_sistemsko("ole32.dll"), "CoCreateInstance", pCoCreateInstance);
    void *p = NULL;
    if (nalozi_sistemsko("oleacc.dll") != NULL && pCoCreateInstance != NULL &&
        SUCCEEDED(pCoCreateInstance(CLSID_AccPropServices, NULL, CLSCTX_INPROC_SERVER,
                                    IID_IAccPropServices, &p)))
        oznake = (IAccPropServices *)p;
    return oznake;
}
