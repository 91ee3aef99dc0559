/* A plain C program against the relocatable objects synclock.o, portmem.o and
 * misc.o: the exported tables, flags and entry points resolve with C linkage
 * and the declared element types. */
#include "synclock.h"

#include <stdio.h>

/* Declared again as another C program would, without the header's help. */
extern const unsigned short wPALTVReg16[2][66];
extern const unsigned int dwKsPALTVReg32[2][59];
extern unsigned short wVStandard;

static int failures;

static void check(const char *what, unsigned long got, unsigned long want) {
    if (got != want) {
        printf("%s: 0x%lX, expected 0x%lX\n", what, got, want);
        ++failures;
    }
}

int main(void) {
    check("sizeof wPALTVReg16", sizeof wPALTVReg16, 2 * 66 * 2);
    check("sizeof dwKsPALTVReg32", sizeof dwKsPALTVReg32, 2 * 59 * 4);
    check("sizeof wAddonPALTVReg", sizeof wAddonPALTVReg, 2 * 4 * 34 * 2);
    check("wPALTVReg16[1][21]", wPALTVReg16[1][21], 0xE08E);
    check("wNTSCTVReg16[0][4]", wNTSCTVReg16[0][4], 0x3000);
    check("dwKsPALTVReg32[0][49]", dwKsPALTVReg32[0][49], 0x0122FA0DUL);
    check("dwNTSCTVReg32[1][17]", dwNTSCTVReg32[1][17], 0xE004E200UL);
    check("wAddonTVindex[13]", wAddonTVindex[13], 0xE47C);
    check("wAddonPALTVReg[1][2][13]", wAddonPALTVReg[1][2][13], 0xE09B);
    check("wAddonNTSCTVReg[0][0][13]", wAddonNTSCTVReg[0][0][13], 0xE07E);
    check("bRegIndex[13]", bRegIndex[13], 0x16);
    check("bPALRegCrt[3][0]", bPALRegCrt[3][0], 0x6F);
    check("bPALRegSync[1][3][0]", bPALRegSync[1][3][0], 0x64);
    check("bRegExtSyncIndex[12]", bRegExtSyncIndex[12], 0xEF);
    check("bPALRegExtSync[1][3][12]", bPALRegExtSync[1][3][12], 0x3B);
    check("wHAdjustIndex[9]", wHAdjustIndex[9], 0xE4C4);
    check("wVStandard", wVStandard, 0xFFFF);
    check("wSyncLock", wSyncLock, 0);
    check("wTVReg16[21]", wTVReg16[21], 0);

    /* Entry points: with no lock in force these return without a register
     * access, so they run here without a controller. */
    Kova_CleanupSyncLock();
    Kova_CleanupSyncLockGM();
    Kova_SetVCRMode(1);
    Kova_ChangeToVideoClk(0, 1, 0, 0, 0);
    check("wVCRMode", wVCRMode, 0);
    {
        void (*lock)(unsigned short, unsigned short, unsigned short, unsigned char) = Kova_DoSyncLock;
        check("Kova_DoSyncLock resolved", lock != 0, 1);
    }

    if (failures == 0) printf("synclock objects link into C\n");
    return failures == 0 ? 0 : 1;
}
