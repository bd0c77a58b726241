// Names for screen readers (oznake.cpp): the menu's picture entries and the
// dialog's list boxes are named through the annotation object, which
// storitve_oznak makes at its first call on the window's thread (oleacc and
// COM loaded then) and which is NULL where it could not be made: the menu
// and the dialog then work as ever, without names. Tests put a stand-in here.
#pragma once

#include "NTpopup.h"

#include <oleacc.h>

extern IAccPropServices *oznake;
IAccPropServices *storitve_oznak(void);
