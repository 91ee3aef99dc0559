/* A plain C program, built with the toolchain's default flags (a PIE on most
 * distributions, or -no-pie), against the installed library: either
 * libkova.a (KOVA_ALL_MODULES) or the object modules portmem.o, misc.o,
 * physmap.o and synclock.o.  Every run-time relocation into the library's
 * data and code must resolve: tables and globals read back their values,
 * entry points are called or resolved. */
#include "kova_version.h"
#include "misc.h"
#include "physmap.h"
#include "portmem.h"
#include "synclock.h"
#ifdef KOVA_ALL_MODULES
#include "capture.h"
#include "overlay.h"
#include "utility.h"
#endif

#include <stdio.h>
#include <string.h>

static int failures;

/* Entry points resolved at run time. */
typedef void (*entry_point)(void);
static entry_point volatile entry_points[] = {
    (entry_point)WriteReg,  (entry_point)WriteTVReg,       (entry_point)MapKOVAMemory,
#ifdef KOVA_ALL_MODULES
    (entry_point)GetChipID, (entry_point)Kova_InitCapture, (entry_point)Kova_SetOverlayWindow,
#endif
};

static void check(const char *what, unsigned long got, unsigned long want) {
    if (got != want) {
        printf("%s: 0x%lX, expected 0x%lX\n", what, got, want);
        ++failures;
    }
}

int main(void) {
    /* Nothing is mapped before MapKOVAMemory: no register access may happen. */
    check("dwMEM_IO_BASE", dwMEM_IO_BASE != 0, 0);
    check("dwLINEAR_BASE", dwLINEAR_BASE != 0, 0);
    check("version", strlen(KOVA_VERSION_STRING) >= 5, 1);

    /* Data of the synclock object, through its pointer-free tables. */
    check("wPALTVReg16[1][21]", wPALTVReg16[1][21], 0xE08E);
    check("wAddonTVindex[13]", wAddonTVindex[13], 0xE47C);
    check("wVStandard", wVStandard, 0xFFFF);
    Kova_CleanupSyncLock(); /* no lock in force: no register access */
    check("wSyncLock", wSyncLock, 0);

    for (unsigned i = 0; i < sizeof entry_points / sizeof entry_points[0]; ++i)
        check("entry point resolved", entry_points[i] != 0, 1);

#ifdef KOVA_ALL_MODULES
    Kova_SelectCaptureIndex(1);
    check("capture index", Kova_GetCaptureIndex(), 1);
    Kova_SelectCaptureIndex(7);
    check("capture index out of range", Kova_GetCaptureIndex(), 0);
    Kova_SelectOverlayIndex(1);
    check("overlay index", Kova_GetOverlayIndex(), 1);
    check("bFIFOPolicyNum[2]", bFIFOPolicyNum[2], 0x1C);
#endif

    if (failures == 0) printf("linked against the installed kova %s\n", KOVA_VERSION_STRING);
    return failures == 0 ? 0 : 1;
}
