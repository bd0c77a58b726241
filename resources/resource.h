// Resource ids shared by the resource script and the code.
#ifndef KOLVENA_RESOURCE_H
#define KOLVENA_RESOURCE_H

#define IDB_PLATNO         11     // 200 x 32 canvas of the menu pictures

#define IDD_NASTAVITVE     100
#define IDC_SEZNAM         101
#define IDC_DODAJ          102
#define IDC_ODSTRANI       103
#define IDC_KONCAJ         104
#define IDC_OPIS_NAPIS     106
#define IDC_OPIS           107
#define IDC_POT_NAPIS      108
#define IDC_POISCI         109
#define IDC_OKVIR_NOVI     110
#define IDC_OKVIR_SEZNAM   111
#define IDC_POT            112
#define IDC_POKAZI_IKONE   27

#endif
