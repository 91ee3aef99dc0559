// synclock: sync lock of the display and TV encoder to the incoming video,
// the genlock-mode lock, the video clock switch, and their register images.
#include "synclock.h"

#include "misc.h"
#include "portmem.h"
#include "status_poll.h"

#include <cstdint>
#include "vga_ports.h"

// ---------------------------------------------------------------------------
// Register images.  Hexadecimal throughout; the comment at the start of a line
// is the index of its first entry.  0xFFFF in an add-on row means "no
// override".
// clang-format off

extern "C" {

const unsigned short wNTSCTVReg16[2][66] = {
    { // variant 0
        /*  0 */ 0xE428, 0x0000, 0x0000, 0x0000, 0x3000, 0xE20C, 0xE012, 0xE20C,
        /*  8 */ 0xE012, 0x8037, 0x4461, 0x4109, 0xE300, 0xE000, 0xE03A, 0xE400,
        /* 16 */ 0xE40E, 0xE41D, 0xE042, 0xE061, 0xE344, 0xE07A, 0xE1F6, 0xE209,
        /* 24 */ 0xE1F6, 0xE209, 0xE1FD, 0xE202, 0xE1FD, 0xE202, 0xCCCC, 0x48CC,
        /* 32 */ 0xE420, 0x1020, 0xE400, 0x0000, 0xE03B, 0xE001, 0xE2AB, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x000C, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE000, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE401,
        /* 64 */ 0xE00E, 0xE028,
    },
    { // variant 1
        /*  0 */ 0xE428, 0x0000, 0x0000, 0x0000, 0x3000, 0xE20C, 0xE027, 0xE20C,
        /*  8 */ 0xE027, 0x9040, 0x4B6B, 0x0B00, 0xDD00, 0xE000, 0xE03F, 0xE411,
        /* 16 */ 0xE446, 0xE427, 0xE047, 0xE069, 0xE346, 0xE07D, 0xE20C, 0xE011,
        /* 24 */ 0xE20C, 0xE011, 0xE005, 0xE00B, 0xE005, 0xE00B, 0xCCCC, 0x48CC,
        /* 32 */ 0xE420, 0x1020, 0xE400, 0x0000, 0xE041, 0xE001, 0xE2DE, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x000C, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE000, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE412,
        /* 64 */ 0xE052, 0xE011,
    },
};

const unsigned short wPALTVReg16[2][66] = {
    { // variant 0
        /*  0 */ 0xE428, 0x0000, 0x4000, 0x0000, 0x2000, 0xE245, 0xE255, 0xE245,
        /*  8 */ 0xE255, 0x703B, 0x4461, 0xF800, 0xE917, 0xE000, 0xE03F, 0xE425,
        /* 16 */ 0xE426, 0xE41B, 0xE04B, 0xE069, 0xE34F, 0xE08E, 0xE245, 0xE254,
        /* 24 */ 0xE245, 0xE254, 0xE24A, 0xE24F, 0xE24A, 0xE24F, 0xCCCC, 0x48CC,
        /* 32 */ 0xE420, 0x1024, 0xE400, 0x0000, 0xE04D, 0xE001, 0xE2F7, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x0004, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE50D, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE425,
        /* 64 */ 0xE028, 0xE010,
    },
    { // variant 1
        /*  0 */ 0xE428, 0x0000, 0x4000, 0x0000, 0x2000, 0xE265, 0xE005, 0xE265,
        /*  8 */ 0xE005, 0x703B, 0x4461, 0xF800, 0xE917, 0xE000, 0xE03F, 0xE425,
        /* 16 */ 0xE426, 0xE41B, 0xE04B, 0xE069, 0xE348, 0xE08E, 0xE265, 0xE003,
        /* 24 */ 0xE265, 0xE003, 0xE26A, 0xE26F, 0xE26A, 0xE26F, 0xCCCC, 0x48CC,
        /* 32 */ 0xE420, 0x1024, 0xE400, 0x0000, 0xE04D, 0xE001, 0xE2F7, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x0004, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE50D, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE425,
        /* 64 */ 0xE028, 0xE010,
    },
};

const unsigned short wKsPALTVReg16[2][66] = {
    { // variant 0
        /*  0 */ 0xE428, 0x0000, 0x4000, 0x0000, 0x2000, 0xE26D, 0xE013, 0xE26E,
        /*  8 */ 0xE012, 0xA53D, 0x4D6E, 0x01F6, 0xE917, 0xE000, 0xE043, 0xE438,
        /* 16 */ 0xE41F, 0xE401, 0xE050, 0xE072, 0xE397, 0xE097, 0xE26E, 0xE00C,
        /* 24 */ 0xE26E, 0xE00C, 0xE002, 0xE007, 0xE002, 0xE007, 0x17DD, 0x4CF3,
        /* 32 */ 0xE420, 0x1024, 0xE400, 0x0000, 0xE043, 0xE001, 0xE327, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x0004, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE50D, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE439,
        /* 64 */ 0xE052, 0xE011,
    },
    { // variant 1
        /*  0 */ 0xE428, 0x0000, 0x4000, 0x0000, 0x2000, 0xE26D, 0xE013, 0xE26E,
        /*  8 */ 0xE012, 0xA53D, 0x4D6E, 0x01F6, 0xE917, 0xE000, 0xE043, 0xE438,
        /* 16 */ 0xE41F, 0xE401, 0xE050, 0xE072, 0xE397, 0xE097, 0xE26E, 0xE00C,
        /* 24 */ 0xE26E, 0xE00C, 0xE002, 0xE007, 0xE002, 0xE007, 0x17DD, 0x4CF3,
        /* 32 */ 0xE420, 0x1024, 0xE400, 0x0000, 0xE043, 0xE001, 0xE327, 0xE001,
        /* 40 */ 0x8700, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787,
        /* 48 */ 0xE400, 0x0004, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xE400,
        /* 56 */ 0x0000, 0xE50D, 0xE400, 0xE000, 0xE000, 0xE400, 0xE400, 0xE439,
        /* 64 */ 0xE052, 0xE011,
    },
};

const unsigned int dwNTSCTVReg32[2][59] = {
    { // variant 0
        /*  0 */ 0x00000000, 0xF8000000, 0xF800E400, 0x00000000,
        /*  4 */ 0xFA000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xF80FE20A, 0xF80FE20A, 0xF80FE20A,
        /* 20 */ 0xF80FE20A, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0x00020001,
        /* 32 */ 0x01FD0001, 0x01F701F8, 0x001001FE, 0x003B0027,
        /* 36 */ 0x00010043, 0x00010002, 0x01F801FD, 0x01FE01F7,
        /* 40 */ 0x00270010, 0x0043003B, 0xFA00E400, 0xFA00E400,
        /* 44 */ 0xFA00E400, 0xFA00E400, 0xFA00E400, 0xF800E4FF,
        /* 48 */ 0x0DD0E10F, 0x012AF300, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
    { // variant 1
        /*  0 */ 0x00000000, 0xF8000000, 0xF800E400, 0x00000000,
        /*  4 */ 0xFA000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xE004E200, 0xE005E200, 0xE004E200,
        /* 20 */ 0xE005E200, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0x00020001,
        /* 32 */ 0x01FD0001, 0x01F701F8, 0x001001FE, 0x003B0027,
        /* 36 */ 0x00010043, 0x00010002, 0x01F801FD, 0x01FE01F7,
        /* 40 */ 0x00270010, 0x0043003B, 0xFA00E400, 0xFA00E400,
        /* 44 */ 0xFA00E400, 0xFA00E400, 0xFA00E400, 0xF800E4FF,
        /* 48 */ 0x0DD0E10F, 0x013AF300, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
};

const unsigned int dwPALTVReg32[2][59] = {
    { // variant 0
        /*  0 */ 0x00000000, 0xF8000000, 0xF800E400, 0x00000000,
        /*  4 */ 0xFA000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xF255E243, 0xF254E242, 0xF256E244,
        /* 20 */ 0xF256E243, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0xFBFFE401,
        /* 32 */ 0xFBFCE5FD, 0xFA01E5FD, 0xFA17E40A, 0xFA2DE424,
        /* 36 */ 0xFA01E431, 0xFBFDE5FF, 0xFBFDE5FC, 0xFA0AE401,
        /* 40 */ 0xFA24E417, 0xFA31E42D, 0xFA01E401, 0xFA05E5FD,
        /* 44 */ 0xFA0DE5F7, 0xFA15E5EF, 0xFA1AE5E8, 0xF828E4E5,
        /* 48 */ 0x080DE150, 0x012AED0D, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
    { // variant 1
        /*  0 */ 0x00000000, 0xF8000000, 0xF800E400, 0x00000000,
        /*  4 */ 0xFA000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xF805E262, 0xF803E262, 0xF803E264,
        /* 20 */ 0xF805E264, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0xFBFFE401,
        /* 32 */ 0xFBFCE5FD, 0xFA01E5FD, 0xFA17E40A, 0xFA2DE424,
        /* 36 */ 0xFA01E431, 0xFBFDE5FF, 0xFBFDE5FC, 0xFA0AE401,
        /* 40 */ 0xFA24E417, 0xFA31E42D, 0xFA01E401, 0xFA05E5FD,
        /* 44 */ 0xFA0DE5F7, 0xFA15E5EF, 0xFA1AE5E8, 0xF828E4E5,
        /* 48 */ 0x080DE150, 0x012AED0D, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
};

const unsigned int dwKsPALTVReg32[2][59] = {
    { // variant 0
        /*  0 */ 0x00000000, 0xFC000000, 0xFC00E400, 0x00000000,
        /*  4 */ 0xFD000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xF80CE26A, 0xF80BE26D, 0xF80EE26C,
        /* 20 */ 0xF80DE26B, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0xFDFFE401,
        /* 32 */ 0xFDFCE5FD, 0xFC01E5FD, 0xFC17E40A, 0xFC2DE424,
        /* 36 */ 0xFC01E431, 0xFDFDE5FF, 0xFDFDE5FC, 0xFC0AE401,
        /* 40 */ 0xFC24E417, 0xFC31E42D, 0xFC01E401, 0xFC05E5FD,
        /* 44 */ 0xFC0DE5F7, 0xFC15E5EF, 0xFC1AE5E8, 0xF828E4E5,
        /* 48 */ 0x178DE133, 0x0122FA0D, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
    { // variant 1
        /*  0 */ 0x00000000, 0xFC000000, 0xFC00E400, 0x00000000,
        /*  4 */ 0xFD000000, 0x00000000, 0x00000000, 0x00000000,
        /*  8 */ 0xF800E000, 0xF800E000, 0xB3000000, 0xB3000000,
        /* 12 */ 0x00000000, 0xF85DE03F, 0x00000000, 0xF800E000,
        /* 16 */ 0xF800E000, 0xF80CE26A, 0xF80BE26D, 0xF80EE26C,
        /* 20 */ 0xF80DE26B, 0xF800E000, 0xF800E000, 0xF800E000,
        /* 24 */ 0xF800E000, 0xF800E000, 0xF800E000, 0x00000000,
        /* 28 */ 0xF800E000, 0xF800E000, 0x00000000, 0xFDFFE401,
        /* 32 */ 0xFDFCE5FD, 0xFC01E5FD, 0xFC17E40A, 0xFC2DE424,
        /* 36 */ 0xFC01E431, 0xFDFDE5FF, 0xFDFDE5FC, 0xFC0AE401,
        /* 40 */ 0xFC24E417, 0xFC31E42D, 0xFC01E401, 0xFC05E5FD,
        /* 44 */ 0xFC0DE5F7, 0xFC15E5EF, 0xFC1AE5E8, 0xF828E4E5,
        /* 48 */ 0x178DE133, 0x0122FA0D, 0xF800E000, 0xF800E000,
        /* 52 */ 0xF800E000, 0x00000000, 0x00000000, 0x03000000,
        /* 56 */ 0xFA8BE610, 0xF800E400, 0xF800E400,
    },
};

const unsigned short wAddonTVindex[34] = {
        /*  0 */ 0xE5F6, 0xE454, 0xE468, 0xE46C, 0xE4B8, 0xE4BC, 0xE4C0, 0xE4C4,
        /*  8 */ 0xE45C, 0xE460, 0xE470, 0xE474, 0xE478, 0xE47C, 0xE480, 0xE488,
        /* 16 */ 0xE490, 0xE498, 0xE494, 0xE49C, 0xE484, 0xE48C, 0xE440, 0xE448,
        /* 24 */ 0xE43C, 0xE444, 0xE574, 0xE576, 0xE578, 0xE57A, 0xE57C, 0xE57E,
        /* 32 */ 0xE580, 0xE582,
};

const unsigned short wAddonNTSCTVReg[2][3][34] = {
    {
        { // variant 0, mode 0
            /*  0 */ 0xFFFF, 0x3700, 0xFFFF, 0xFFFF, 0xE03F, 0xFFFF, 0xE2DB, 0xFFFF,
            /*  8 */ 0xFFFF, 0xE03F, 0xE046, 0xE067, 0xFFFF, 0xE07E, 0xE1FB, 0xE1FB,
            /* 16 */ 0xE201, 0xE201, 0xE207, 0xE207, 0xE000, 0xE000, 0xE013, 0xE013,
            /* 24 */ 0xE1FB, 0xE1FB, 0xE1FB, 0x0000, 0xE1FC, 0x0000, 0xE1FB, 0x0000,
            /* 32 */ 0xE1FC, 0x0000,
        },
        { // variant 0, mode 1
            /*  0 */ 0xFFFF, 0x3700, 0xE43C, 0xE44B, 0xE03F, 0xFFFF, 0xE2DB, 0xFFFF,
            /*  8 */ 0xFFFF, 0xE03F, 0xE046, 0xE067, 0xFFFF, 0xE07E, 0xE1F9, 0xE1F9,
            /* 16 */ 0xE1FF, 0xE1FF, 0xE205, 0xE205, 0xE20B, 0xE20B, 0xE011, 0xE011,
            /* 24 */ 0xE1F9, 0xE1F9, 0xE1F9, 0x020B, 0xE1FA, 0x020B, 0xE1F9, 0x020B,
            /* 32 */ 0xE1FA, 0x020B,
        },
        { // variant 0, mode 2
            /*  0 */ 0xFFFF, 0x3700, 0xFFFF, 0xFFFF, 0xE03F, 0xFFFF, 0xE2DB, 0xFFFF,
            /*  8 */ 0xFFFF, 0xE03F, 0xE046, 0xE067, 0xFFFF, 0xE07E, 0xE1FB, 0xE1FB,
            /* 16 */ 0xE201, 0xE201, 0xE207, 0xE207, 0xE000, 0xE000, 0xE013, 0xE013,
            /* 24 */ 0xE1FB, 0xE1FB, 0xE1FB, 0x0000, 0xE1FC, 0x0000, 0xE1FB, 0x0000,
            /* 32 */ 0xE1FC, 0x0000,
        },
    },
    {
        { // variant 1, mode 0
            /*  0 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE03F, 0xFFFF, 0xE2DC, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 16 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 24 */ 0xFFFF, 0xFFFF, 0xE20C, 0x0010, 0xE20C, 0x0011, 0xE20C, 0x0010,
            /* 32 */ 0xE20C, 0x0011,
        },
        { // variant 1, mode 1
            /*  0 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 16 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 24 */ 0xFFFF, 0xFFFF, 0xE20C, 0x0010, 0xE20C, 0x0011, 0xE20C, 0x0010,
            /* 32 */ 0xE20C, 0x0011,
        },
        { // variant 1, mode 2
            /*  0 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE03F, 0xFFFF, 0xE2DC, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 16 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
            /* 24 */ 0xFFFF, 0xFFFF, 0xE20C, 0x0010, 0xE20C, 0x0011, 0xE20C, 0x0010,
            /* 32 */ 0xE20C, 0x0011,
        },
    },
};

const unsigned short wAddonPALTVReg[2][4][34] = {
    {
        { // variant 0, mode 0
            /*  0 */ 0xFFFF, 0x00FA, 0xFFFF, 0xFFFF, 0xE042, 0xFFFF, 0xE2E2, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE348, 0xFFFF, 0xE248, 0xE248,
            /* 16 */ 0xE24D, 0xE24D, 0xE252, 0xE252, 0xE257, 0xE257, 0xE258, 0xE258,
            /* 24 */ 0xE248, 0xE248, 0xE247, 0x0259, 0xE246, 0x0258, 0xE245, 0x0256,
            /* 32 */ 0xE247, 0x025A,
        },
        { // variant 0, mode 1
            /*  0 */ 0x013A, 0x00FB, 0xFFFF, 0xFFFF, 0xE041, 0xFFFF, 0xE2E2, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE341, 0xFFFF, 0xE239, 0xE239,
            /* 16 */ 0xE23E, 0xE23E, 0xE243, 0xE243, 0xE248, 0xE248, 0xE249, 0xE249,
            /* 24 */ 0xE239, 0xE239, 0xE237, 0x0249, 0xE236, 0x0248, 0xE238, 0x024A,
            /* 32 */ 0xE237, 0x024A,
        },
        { // variant 0, mode 2
            /*  0 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE046, 0xFFFF, 0xFFFF, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE38E, 0xE092, 0xE25E, 0xE25C,
            /* 16 */ 0xE261, 0xE261, 0xE266, 0xE266, 0xE26B, 0xE26B, 0xE26D, 0xE26D,
            /* 24 */ 0xE25C, 0xE25C, 0xE25B, 0x026C, 0xE25A, 0x026B, 0xE259, 0x026A,
            /* 32 */ 0xE25C, 0x026D,
        },
        { // variant 0, mode 3
            /*  0 */ 0x013A, 0x00FB, 0xFFFF, 0xFFFF, 0xE041, 0xFFFF, 0xE2E2, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE341, 0xFFFF, 0xE239, 0xE239,
            /* 16 */ 0xE23E, 0xE23E, 0xE243, 0xE243, 0xE248, 0xE248, 0xE249, 0xE249,
            /* 24 */ 0xE239, 0xE239, 0xE237, 0x0249, 0xE236, 0x0248, 0xE238, 0x024A,
            /* 32 */ 0xE237, 0x024A,
        },
    },
    {
        { // variant 1, mode 0
            /*  0 */ 0xFFFF, 0xE4FB, 0xFFFF, 0xFFFF, 0xE040, 0xFFFF, 0xE2E3, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE347, 0xFFFF, 0xE25C, 0xE25C,
            /* 16 */ 0xE261, 0xE261, 0xE266, 0xE266, 0xE26B, 0xE26B, 0xE26D, 0xE26D,
            /* 24 */ 0xE25C, 0xE25C, 0xE25A, 0xE26D, 0xE25A, 0xE26B, 0xE259, 0xE26B,
            /* 32 */ 0xE25C, 0xE26D,
        },
        { // variant 1, mode 1
            /*  0 */ 0x013A, 0x00FB, 0xFFFF, 0xFFFF, 0xE041, 0xFFFF, 0xE2E2, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE340, 0xFFFF, 0xE24D, 0xE24D,
            /* 16 */ 0xE252, 0xE252, 0xE257, 0xE257, 0xE25C, 0xE25C, 0xE25E, 0xE25E,
            /* 24 */ 0xE24D, 0xE24D, 0xE24A, 0xE25C, 0xE24A, 0xE25C, 0xE24C, 0xE25E,
            /* 32 */ 0xE24C, 0xE25E,
        },
        { // variant 1, mode 2
            /*  0 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE046, 0xFFFF, 0xFFFF, 0xFFFF,
            /*  8 */ 0xFFFF, 0xE045, 0xE051, 0xFFFF, 0xE38D, 0xE09B, 0xE25B, 0xE25B,
            /* 16 */ 0xE260, 0xE260, 0xE265, 0xE265, 0xE26A, 0xE26A, 0xE26B, 0xE26B,
            /* 24 */ 0xE25A, 0xE25B, 0xE25A, 0x026C, 0xE25A, 0x026C, 0xE259, 0x026A,
            /* 32 */ 0xE258, 0x0269,
        },
        { // variant 1, mode 3
            /*  0 */ 0x012A, 0x00FC, 0xE417, 0xE40C, 0xE041, 0xFFFF, 0xE2E2, 0xFFFF,
            /*  8 */ 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xE340, 0xFFFF, 0xE270, 0xE270,
            /* 16 */ 0xE004, 0xE004, 0xE009, 0xE009, 0xE00E, 0xE00E, 0xE031, 0xE031,
            /* 24 */ 0xE270, 0xE270, 0xE26F, 0x0010, 0xE26D, 0x000F, 0xE26D, 0x000F,
            /* 32 */ 0xE26F, 0x000D,
        },
    },
};

const unsigned char bRegIndex[14] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x09, 0x10, 0x11, 0x12, 0x15, 0x16,
};

const unsigned char bNTSCRegCrt[3][14] = {
    {0x66, 0x4F, 0x4F, 0x81, 0x52, 0x9E, 0x0B, 0x3E, 0x40, 0xE6, 0x0B, 0xDF, 0xE6, 0x04}, // mode 0
    {0x66, 0x59, 0x59, 0x88, 0x5B, 0x80, 0x0B, 0x3E, 0x40, 0xEB, 0x84, 0xDF, 0xE1, 0x0A}, // mode 1
    {0x66, 0x4F, 0x4F, 0x81, 0x52, 0x9E, 0x0B, 0x3E, 0x40, 0xD1, 0x0B, 0xB7, 0xE6, 0x04}, // mode 2
};

const unsigned char bPALRegCrt[4][14] = {
    {0x6A, 0x4F, 0x4F, 0x8D, 0x58, 0x9E, 0x6F, 0xBA, 0x40, 0x2A, 0x0B, 0xDF, 0xE6, 0x6F}, // mode 0
    {0x77, 0x59, 0x59, 0x19, 0x67, 0x90, 0x6F, 0xF0, 0x60, 0x4F, 0x06, 0x1B, 0x1C, 0x6F}, // mode 1
    {0x71, 0x5F, 0x5F, 0x93, 0x6D, 0x8B, 0x6F, 0xF0, 0x60, 0x42, 0x83, 0x3F, 0x41, 0x6E}, // mode 2
    {0x6F, 0x59, 0x59, 0x8F, 0x64, 0x83, 0x6F, 0xF0, 0x60, 0x50, 0x0B, 0x3F, 0x2A, 0x6F}, // mode 3
};

const unsigned char bNTSCRegSync[2][3][4] = {
    {
        {0x5C, 0xE0, 0xEA, 0x81}, // variant 0, mode 0
        {0x54, 0xE0, 0xED, 0x81}, // variant 0, mode 1
        {0x5C, 0xE0, 0xCE, 0x81}, // variant 0, mode 2
    },
    {
        {0x51, 0xE0, 0xE8, 0x81}, // variant 1, mode 0
        {0x60, 0xE0, 0xED, 0x81}, // variant 1, mode 1
        {0x51, 0xE0, 0xCE, 0x81}, // variant 1, mode 2
    },
};

const unsigned char bPALRegSync[2][4][4] = {
    {
        {0x56, 0x90, 0x07, 0x82}, // variant 0, mode 0
        {0x63, 0x90, 0x1D, 0x82}, // variant 0, mode 1
        {0x5D, 0x90, 0x31, 0x82}, // variant 0, mode 2
        {0x5E, 0x90, 0x30, 0x82}, // variant 0, mode 3
    },
    {
        {0x56, 0x90, 0x08, 0x82}, // variant 1, mode 0
        {0x63, 0x90, 0x1E, 0x82}, // variant 1, mode 1
        {0x65, 0x90, 0x30, 0x82}, // variant 1, mode 2
        {0x64, 0x90, 0x30, 0x82}, // variant 1, mode 3
    },
};

const unsigned char bRegExtSyncIndex[13] = {
    0xE0, 0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEC, 0xEE, 0xEF,
};

const unsigned char bNTSCRegExtSync[2][3][13] = {
    {
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x94, 0x88, 0x00, 0x13, 0x00, 0x01, 0x33}, // variant 0, mode 0
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x0A, 0x88, 0x00, 0x13, 0x00, 0x09, 0x13}, // variant 0, mode 1
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x94, 0x88, 0x00, 0x13, 0x00, 0x01, 0x33}, // variant 0, mode 2
    },
    {
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xEF, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B}, // variant 1, mode 0
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xBC, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B}, // variant 1, mode 1
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xEF, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B}, // variant 1, mode 2
    },
};

const unsigned char bPALRegExtSync[2][4][13] = {
    {
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0x9A, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33}, // variant 0, mode 0
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0xAA, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33}, // variant 0, mode 1
        {0x02, 0x70, 0xFF, 0xA6, 0x03, 0x06, 0x11, 0x70, 0xFF, 0x00, 0x00, 0x89, 0x03}, // variant 0, mode 2
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0xAA, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33}, // variant 0, mode 3
    },
    {
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0x9A, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B}, // variant 1, mode 0
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0xAA, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B}, // variant 1, mode 1
        {0x03, 0x70, 0xFF, 0xA6, 0x03, 0x06, 0x9F, 0x70, 0xFF, 0xC2, 0x00, 0x08, 0x3B}, // variant 1, mode 2
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0xAA, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B}, // variant 1, mode 3
    },
};

const unsigned short wVSAdjustIndex[12] = {0xE490, 0xE494, 0xE498, 0xE49C, 0xE480, 0xE484,
                                           0xE488, 0xE48C, 0xE43C, 0xE440, 0xE444, 0xE448};
const unsigned short wVBAdjustIndex[4] = {0xE574, 0xE578, 0xE57C, 0xE580};
const unsigned short wHAdjustIndex[10] = {0xE45C, 0xE460, 0xE470, 0xE474, 0xE478,
                                          0xE47C, 0xE4B8, 0xE4BC, 0xE4C0, 0xE4C4};

} // extern "C"

// clang-format on

// ---------------------------------------------------------------------------
// Save areas and state.

extern "C" {

unsigned short wTVReg16[66] = {};
unsigned int dwTVReg32[59] = {};
unsigned char bOldRegCrt[14] = {};
unsigned char b3CE_B0 = 0;
unsigned char b3CE_B1 = 0;
unsigned char b3CE_BA = 0;

unsigned short wSyncLock = 0;
unsigned short wSyncLockGM = 0;
unsigned short wVStandard = 0xFFFF;
unsigned short wVCRMode = 0;

unsigned short wExtClock = 0;
unsigned char bEA = 0, bEB = 0, bEC = 0, bED = 0, bEE = 0, bEF = 0, bA6 = 0;
unsigned short wE5F0 = 0, wE5F2 = 0, wE5F4 = 0, wE5F6 = 0, wE4EC = 0;

unsigned char b3d40 = 0;
unsigned char b3d41 = 0;

} // extern "C"

// ---------------------------------------------------------------------------
// Sequences.

namespace {

using namespace kova::vga;

constexpr unsigned char kInputStatusVRetrace = 0x08;

constexpr unsigned short kNtsc = 1;
constexpr unsigned short kPal = 0;
constexpr unsigned kVariants = 2;
constexpr unsigned kNtscModes = 3;
constexpr unsigned kPalModes = 4;
constexpr unsigned kTv16Count = 66;
constexpr unsigned kTv32Count = 59;
constexpr unsigned kAddonSlots = 34;
constexpr unsigned kCrtCount = 14;
constexpr unsigned kExtSyncCount = 13;
static_assert(sizeof wPALTVReg16[0] / sizeof wPALTVReg16[0][0] == kTv16Count);
static_assert(sizeof dwPALTVReg32[0] / sizeof dwPALTVReg32[0][0] == kTv32Count);
static_assert(sizeof wAddonTVindex / sizeof wAddonTVindex[0] == kAddonSlots);
static_assert(sizeof bRegIndex == kCrtCount && sizeof bRegExtSyncIndex == kExtSyncCount);
static_assert(sizeof bNTSCRegCrt / sizeof bNTSCRegCrt[0] == kNtscModes);
static_assert(sizeof bPALRegCrt / sizeof bPALRegCrt[0] == kPalModes);

// GR registers.
constexpr unsigned char kGrDacControl = 0x56; // bit 2 opens the DAC mask port
constexpr unsigned char kGrDacAccess = 0x04;
constexpr unsigned char kGrPageFA = 0xFA;     // bank select of the extended GR/SR registers
constexpr unsigned char kGrPageBF = 0xBF;     // bank select of GR B1, BA, BB, BE
constexpr unsigned char kGrFetchReset = 0xDE; // bit 6, with SR DE and GR 70
constexpr unsigned char kGrFetchReset2 = 0x70;
constexpr unsigned char kFetchResetBit = 0x40;
constexpr unsigned char kGrClockB0 = 0xB0; // pixel-clock synthesiser
constexpr unsigned char kGrClockB1 = 0xB1;
constexpr unsigned char kGrClockBA = 0xBA;
constexpr unsigned char kGrClockBB = 0xBB;
constexpr unsigned char kGrClockLoad = 0xB9;
constexpr unsigned char kGrB5 = 0xB5;
constexpr unsigned char kGrTvColorTest = 0x4E; // in bank 5 of GR FA
constexpr unsigned char kTvColorBank = 0x05;

// SR registers.
constexpr unsigned char kSrFetchReset = 0xDE;
constexpr unsigned char kSrOutputSwitch = 0x4A;  // bit 3: sync-lock video output
constexpr unsigned char kSrOutputSwitch2 = 0x4F; // in bank 8 of GR FA
constexpr unsigned char kOutputBank = 0x08;
constexpr unsigned char kSrExtSyncFirst = 0xE0;   // extended-sync block SR E0 to EF
constexpr unsigned char kSrExtSyncSkipped = 0xE3; // not part of the block
constexpr unsigned char kSrEA = 0xEA;
constexpr unsigned char kSrVcr = 0xEB; // bit 7 set = VCR setting off
constexpr unsigned char kSrEC = 0xEC;
constexpr unsigned char kSrED = 0xED;
constexpr unsigned char kSrEE = 0xEE;
constexpr unsigned char kSrEF = 0xEF;
constexpr unsigned char kSrA6 = 0xA6;
constexpr unsigned char kSrE4 = 0xE4;
constexpr unsigned char kSrE5 = 0xE5;
constexpr unsigned char kExtSyncEFKeep = 0xC2;

// CR registers.
constexpr unsigned char kCrUnlock = 0x1F;
constexpr unsigned char kCrUnlockValue = 0x03;
constexpr unsigned char kCrVRetraceEnd = 0x11; // bit 7 protects CR 00 to 07
constexpr unsigned char kCrProtect = 0x80;
constexpr unsigned char kCrSyncFirst = 0x28; // CR 28 to 2B
constexpr unsigned kSyncCount = 4;
constexpr unsigned char kCrHorizontalTotal = 0x00;
constexpr unsigned char kNtscMinHorizontalTotal = 0x66;
constexpr unsigned short kNtscModeKeepingTotal = 1; // the mode that always takes the image's total

// TV registers.
constexpr unsigned short kTv16First = 0xE428;
constexpr unsigned short kTv32First = 0xE530;
constexpr unsigned kDeferredEntry = 21; // TV E47C in the 16-bit images
constexpr unsigned kDeferredSlot = 13;  // TV E47C in the add-on rows
constexpr unsigned short kTvDeferred = 0xE47C;
constexpr unsigned short kDeferredHold = 0x0344; // while the other registers change
constexpr unsigned short kNoOverride = 0xFFFF;
constexpr unsigned kTvE5F4Entry = 49; // 32-bit entry of TV E5F4 (low) / E5F6 (high)
constexpr unsigned short kGenlockE5F6Bits = 0x0030;
constexpr unsigned short kTvStandard = 0xE438;
constexpr unsigned short kTvNtscBit = 0x1000;
constexpr unsigned short kTvVcr = 0xE478;
constexpr unsigned short kTvE430 = 0xE430;
constexpr unsigned short kTvE440 = 0xE440;
constexpr unsigned short kTvE448 = 0xE448;
constexpr unsigned short kTvE454 = 0xE454;
constexpr unsigned short kTvColorFlip = 0xE46C;
constexpr unsigned short kTvE4EC = 0xE4EC;
constexpr unsigned short kTvE5F0 = 0xE5F0;
constexpr unsigned short kTvE5F2 = 0xE5F2;
constexpr unsigned short kTvE5F4 = 0xE5F4;
constexpr unsigned short kTvE5F6 = 0xE5F6;
constexpr unsigned short kTvE604 = 0xE604;
constexpr unsigned short kTvE606 = 0xE606;

constexpr unsigned kLockSettleRetraces = 15;
constexpr unsigned kTvColorLeadRetraces = 6;
constexpr unsigned kTvColorTestRetraces = 2;

constexpr unsigned short tv16_register(unsigned i) {
    return static_cast<unsigned short>(kTv16First + 4 * i);
}
constexpr unsigned short tv32_low_register(unsigned i) {
    return static_cast<unsigned short>(kTv32First + 4 * i);
}
constexpr unsigned short tv32_high_register(unsigned i) {
    return static_cast<unsigned short>(kTv32First + 4 * i + 2);
}
constexpr unsigned short low_half(unsigned int value) {
    return static_cast<unsigned short>(value & 0xFFFF);
}
constexpr unsigned short high_half(unsigned int value) {
    return static_cast<unsigned short>(value >> 16);
}

// ---- register helpers ------------------------------------------------------

unsigned char gr(unsigned char index) {
    return ReadReg(kGrIndexPort, index);
}
unsigned char sr(unsigned char index) {
    return ReadReg(kSrIndexPort, index);
}
unsigned char cr(unsigned char index) {
    return ReadReg(kCrIndexPort, index);
}
void set_cr(unsigned char index, unsigned char value) {
    WriteReg(kCrIndexPort, index, value);
}
// Read, then a plain write of the changed value (two index writes).
void gr_or(unsigned char index, unsigned char bits) {
    Out_Video_Reg(index, static_cast<unsigned char>(gr(index) | bits));
}
void gr_and(unsigned char index, unsigned char mask) {
    Out_Video_Reg(index, static_cast<unsigned char>(gr(index) & mask));
}
void sr_or(unsigned char index, unsigned char bits) {
    Out_SEQ_Reg(index, static_cast<unsigned char>(sr(index) | bits));
}
void sr_and(unsigned char index, unsigned char mask) {
    Out_SEQ_Reg(index, static_cast<unsigned char>(sr(index) & mask));
}
void cr_or(unsigned char index, unsigned char bits) {
    set_cr(index, static_cast<unsigned char>(cr(index) | bits));
}
void cr_and(unsigned char index, unsigned char mask) {
    set_cr(index, static_cast<unsigned char>(cr(index) & mask));
}

// ---- retrace waits ---------------------------------------------------------

// Polls the input status until the vertical-retrace bit equals in_retrace;
// false (after one warning line) when the display never gets there.
bool poll_retrace(const char *wait_name, bool in_retrace) {
    return kova::poll_status(
        wait_name, [] { return kovainp(kInputStatusPort); },
        [in_retrace](unsigned char status) { return ((status & kInputStatusVRetrace) != 0) == in_retrace; });
}

// Waits for n vertical retraces: n times, until the retrace bit is 1 and then
// until it is 0.  The first poll that runs out ends the whole wait.
void wait_retraces(unsigned n, const char *wait_name) {
    for (unsigned k = 0; k < n; ++k)
        if (!poll_retrace(wait_name, true) || !poll_retrace(wait_name, false)) return;
}

// ---- table rows ------------------------------------------------------------

bool has_rows(bool ntsc, unsigned short mode, unsigned char variant) {
    return variant < kVariants && mode < (ntsc ? kNtscModes : kPalModes);
}

// The rows one lock loads.
struct LockRows {
    const unsigned char *ext_sync; // kExtSyncCount
    const unsigned char *sync;     // kSyncCount
    const unsigned short *tv16;    // kTv16Count
    const unsigned int *tv32;      // kTv32Count
    const unsigned short *addon;   // kAddonSlots
};

// PAL mode 2 takes its TV images from the Ks tables, its other rows from the
// PAL tables like every PAL mode.
LockRows lock_rows(unsigned short standard, unsigned short mode, unsigned char variant) {
    if (standard == kNtsc)
        return {bNTSCRegExtSync[variant][mode], bNTSCRegSync[variant][mode], wNTSCTVReg16[variant],
                dwNTSCTVReg32[variant], wAddonNTSCTVReg[variant][mode]};
    const bool ks = mode == 2;
    return {bPALRegExtSync[variant][mode], bPALRegSync[variant][mode],
            ks ? wKsPALTVReg16[variant] : wPALTVReg16[variant],
            ks ? dwKsPALTVReg32[variant] : dwPALTVReg32[variant], wAddonPALTVReg[variant][mode]};
}

// The upper half of the TV E5F4/E5F6 image: always from the plain tables (PAL
// mode 2 included), as the output switch and the video clock switch use it.
unsigned short e5f6_image(bool ntsc, unsigned char variant) {
    return high_half((ntsc ? dwNTSCTVReg32 : dwPALTVReg32)[variant][kTvE5F4Entry]);
}

// ---- clock patterns --------------------------------------------------------

struct ClockPattern {
    unsigned char ee, ef, a6;
};
constexpr unsigned char kEEKeep = 0x7E;
constexpr unsigned char kA6Keep = 0xEF;
constexpr unsigned char kLockEFKeep = 0xF2;
constexpr unsigned char kGenlockPalEFKeep = 0xC2;
constexpr unsigned char kGenlockPalEFBits = 0x30;
constexpr unsigned char kVideoClockEFKeep = 0x02;

// [ntsc][clockSelect][variant != 0]
constexpr ClockPattern kLockClock[2][2][2] = {
    {{{0x01, 0x05, 0x00}, {0x00, 0x0D, 0x00}}, {{0x81, 0x01, 0x00}, {0x00, 0x09, 0x00}}}, // PAL
    {{{0x01, 0x05, 0x10}, {0x00, 0x0D, 0x00}}, {{0x01, 0x01, 0x10}, {0x00, 0x09, 0x00}}}, // NTSC
};
constexpr ClockPattern kVideoClock[2][2][2] = {
    {{{0x81, 0x35, 0x00}, {0x00, 0x3D, 0x00}}, {{0x81, 0x31, 0x00}, {0x00, 0x39, 0x00}}}, // PAL
    {{{0x01, 0x35, 0x10}, {0x80, 0x3D, 0x00}}, {{0x01, 0x31, 0x10}, {0x80, 0x39, 0x00}}}, // NTSC
};

bool selects_clock(unsigned short clockSelect) {
    return clockSelect == 0 || clockSelect == 1;
}

// ---- lock building blocks --------------------------------------------------

enum class Lock { Plain, Genlock };

// GR BF bank 1 for the four masked GR BA/BB writes, back to bank 0, GR B5.
void video_register_prologue() {
    Out_Video_Reg(kGrPageBF, 0x01);
    Out_Video_Reg_M(kGrClockBA, 0x80, 0x7F);
    Out_Video_Reg_M(kGrClockBA, 0x00, 0xFD);
    Out_Video_Reg_M(kGrClockBB, 0x02, 0xFD);
    Out_Video_Reg_M(kGrClockBB, 0x04, 0xFB);
    Out_Video_Reg(kGrPageBF, 0x00);
    Out_Video_Reg(kGrB5, 0x83);
}

// Sync-lock video output on: SR 4A bit 3 in bank 0, SR 4F bits 7, 6, 4, 0 in
// bank 8.  Leaves GR FA at bank 8.
void output_switch_on() {
    Out_Video_Reg(kGrPageFA, 0x00);
    sr_or(kSrOutputSwitch, 0x08);
    Out_Video_Reg(kGrPageFA, kOutputBank);
    sr_or(kSrOutputSwitch2, 0xC0);
    sr_or(kSrOutputSwitch2, 0x11);
}

void load_ext_sync(const unsigned char *row) {
    for (unsigned i = 0; i + 1 < kExtSyncCount; ++i)
        Out_SEQ_Reg(bRegExtSyncIndex[i], row[i]);
    Out_SEQ_Reg_M(bRegExtSyncIndex[kExtSyncCount - 1], row[kExtSyncCount - 1], kExtSyncEFKeep);
}

void write_sync_registers(const unsigned char *row) {
    for (unsigned i = 0; i < kSyncCount; ++i)
        set_cr(static_cast<unsigned char>(kCrSyncFirst + i), row[i]);
}

void clear_sync_registers() {
    for (unsigned i = 0; i < kSyncCount; ++i)
        set_cr(static_cast<unsigned char>(kCrSyncFirst + i), 0x00);
}

// Steps of a lock after the prologue, for standard 0 or 1 with rows in the
// tables.  The genlock mode leaves the output switch off, forces SR EF bits 4
// and 5 for PAL and loads only bits 4 and 5 of the TV E5F6 image.
void lock(Lock kind, unsigned short clockSelect, unsigned short standard, unsigned short mode,
          unsigned char variant) {
    const bool ntsc = standard == kNtsc;
    const LockRows rows = lock_rows(standard, mode, variant);

    if (kind == Lock::Plain)
        wSyncLock = 1;
    else
        wSyncLockGM = 1;
    wVStandard = standard;

    wTVReg16[kDeferredEntry] = ReadTVReg(kTvDeferred);
    WriteTVReg(kTvDeferred, kDeferredHold);

    load_ext_sync(rows.ext_sync);
    if (kind == Lock::Plain) output_switch_on();
    Out_SEQ_Reg_M(kSrED, 0x00, 0xBF);

    if (selects_clock(clockSelect)) {
        ClockPattern p = kLockClock[ntsc][clockSelect][variant != 0];
        unsigned char ef_keep = kLockEFKeep;
        if (kind == Lock::Genlock && !ntsc) {
            p.ef = static_cast<unsigned char>(p.ef | kGenlockPalEFBits);
            ef_keep = kGenlockPalEFKeep;
        }
        Out_SEQ_Reg_M(kSrEE, p.ee, kEEKeep);
        Out_SEQ_Reg_M(kSrEF, p.ef, ef_keep);
        Out_SEQ_Reg_M(kSrA6, p.a6, kA6Keep);
    }

    WriteCrt(standard, mode);

    ResetDisplayFetch(1);
    WaitCRTVSync();
    WaitCRTVSync();
    sr_or(kSrVcr, 0x80);
    ResetDisplayFetch(0);

    write_sync_registers(rows.sync);

    unsigned short deferred = rows.tv16[kDeferredEntry];
    for (unsigned i = 0; i < kTv16Count; ++i) {
        if (i == kDeferredEntry) continue;
        wTVReg16[i] = ReadTVReg(tv16_register(i));
        WriteTVReg(tv16_register(i), rows.tv16[i]);
    }
    for (unsigned i = 0; i < kTv32Count; ++i) {
        const unsigned short high = ReadTVReg(tv32_high_register(i));
        const unsigned short low = ReadTVReg(tv32_low_register(i));
        dwTVReg32[i] = static_cast<unsigned int>(high) << 16 | low;
        unsigned short image_high = high_half(rows.tv32[i]);
        if (kind == Lock::Genlock && i == kTvE5F4Entry) image_high &= kGenlockE5F6Bits;
        WriteTVReg(tv32_low_register(i), low_half(rows.tv32[i]));
        WriteTVReg(tv32_high_register(i), image_high);
    }
    for (unsigned slot = 0; slot < kAddonSlots; ++slot) {
        const unsigned short value = rows.addon[slot];
        if (value == kNoOverride) continue;
        if (slot == kDeferredSlot)
            deferred = value;
        else
            WriteTVReg(wAddonTVindex[slot], value);
    }

    wait_retraces(kLockSettleRetraces, "sync lock settle");
    WriteTVReg(kTvDeferred, deferred);
}

// The lock entry points: DAC off, prologue, the lock for standard 0 or 1, the
// TV colour check, DAC on.  A row outside the tables stops everything.
void start_lock(Lock kind, unsigned short clockSelect, unsigned short standard, unsigned short mode,
                unsigned char variant) {
    const bool locks = standard == kNtsc || standard == kPal;
    if (locks && !has_rows(standard == kNtsc, mode, variant)) return;
    DACPower(0);
    video_register_prologue();
    if (locks) lock(kind, clockSelect, standard, mode, variant);
    Kova_SetTVColor();
    DACPower(1);
}

// Clean-up of either lock once its flag has been tested and cleared.
void end_lock(Lock kind) {
    WriteTVReg(kTvDeferred, kDeferredHold);
    CleanupCrt();

    ResetDisplayFetch(1);
    sr_and(kSrVcr, 0x7F);
    WaitCRTVSync();
    WaitCRTVSync();
    ResetDisplayFetch(0);

    Out_SEQ_Reg_M(kSrEF, 0x00, 0x02);
    for (unsigned n = 0; n <= 14; ++n) {
        const auto index = static_cast<unsigned char>(kSrExtSyncFirst + n);
        if (index == kSrExtSyncSkipped) continue;
        if (index == kSrED)
            Out_SEQ_Reg_M(kSrED, 0x00, 0x9F);
        else
            Out_SEQ_Reg(index, 0x00);
    }
    clear_sync_registers();

    if (kind == Lock::Plain) {
        Out_Video_Reg(kGrPageFA, 0x00);
        sr_and(kSrOutputSwitch, 0xF7);
        Out_Video_Reg(kGrPageFA, kOutputBank);
        Out_SEQ_Reg_M(kSrOutputSwitch2, 0x00, 0xEE);
        Out_Video_Reg(kGrPageFA, 0x00);
    }

    for (unsigned i = 0; i < kTv16Count; ++i)
        if (i != kDeferredEntry) WriteTVReg(tv16_register(i), wTVReg16[i]);
    for (unsigned i = 0; i < kTv32Count; ++i) {
        WriteTVReg(tv32_low_register(i), low_half(dwTVReg32[i]));
        WriteTVReg(tv32_high_register(i), high_half(dwTVReg32[i]));
    }

    wait_retraces(kLockSettleRetraces, "sync lock clean-up settle");
    WriteTVReg(kTvDeferred, wTVReg16[kDeferredEntry]);

    Kova_SetTVColor();
    DACPower(1);
}

// GR 4E of bank 5, reached by plain port accesses.
void select_tv_color_register() {
    kovaoutp(kGrIndexPort, kGrPageFA);
    kovaoutp(kGrDataPort, kTvColorBank);
    kovaoutp(kGrIndexPort, kGrTvColorTest);
}

} // namespace

extern "C" {

// ---- CRT timing override and display fetch --------------------------------

void DACPower(unsigned short on) {
    kovaoutp(kGrIndexPort, kGrDacControl);
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | kGrDacAccess));
    const unsigned char mask = kovainp(kDacMaskPort);
    kovaoutp(kDacMaskPort, static_cast<unsigned char>(on != 0 ? mask & 0xBF : mask | 0x40));
    kovaoutp(kGrIndexPort, kGrDacControl);
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & ~kGrDacAccess));
}

void WaitCRTVSync(void) {
    constexpr const char *name = "WaitCRTVSync";
    if (!poll_retrace(name, true)) return;
    if (!poll_retrace(name, false)) return;
    (void)poll_retrace(name, true);
}

void ResetDisplayFetch(unsigned short hold) {
    if (hold != 0) {
        gr_or(kGrFetchReset, kFetchResetBit);
        sr_or(kSrFetchReset, kFetchResetBit);
        gr_or(kGrFetchReset2, kFetchResetBit);
    } else {
        gr_and(kGrFetchReset, static_cast<unsigned char>(~kFetchResetBit));
        sr_and(kSrFetchReset, static_cast<unsigned char>(~kFetchResetBit));
        gr_and(kGrFetchReset2, static_cast<unsigned char>(~kFetchResetBit));
    }
}

void WriteCrt(unsigned short standard, unsigned short mode) {
    const unsigned char *image = nullptr;
    if (standard == kNtsc || standard == kPal) {
        if (!has_rows(standard == kNtsc, mode, 0)) return;
        image = standard == kNtsc ? bNTSCRegCrt[mode] : bPALRegCrt[mode];
    }

    ResetDisplayFetch(1);
    const unsigned char unlock = cr(kCrUnlock);
    set_cr(kCrUnlock, kCrUnlockValue);
    cr_and(kCrVRetraceEnd, static_cast<unsigned char>(~kCrProtect));
    if (image != nullptr) {
        for (unsigned i = 0; i < kCrtCount; ++i) {
            const unsigned char old = cr(bRegIndex[i]);
            bOldRegCrt[i] = old;
            unsigned char value = image[i];
            // NTSC keeps a horizontal total above the image's, except in mode 1.
            if (standard == kNtsc && bRegIndex[i] == kCrHorizontalTotal && mode != kNtscModeKeepingTotal &&
                old > kNtscMinHorizontalTotal)
                value = old;
            set_cr(bRegIndex[i], value);
        }
    }
    set_cr(kCrUnlock, unlock);
    cr_or(kCrVRetraceEnd, kCrProtect);

    b3CE_B0 = gr(kGrClockB0);
    b3CE_B1 = gr(kGrClockB1);
    b3CE_BA = gr(kGrClockBA);
    // 27.0 MHz.
    Out_Video_Reg(kGrClockB0, 0x42);
    Out_Video_Reg(kGrClockB1, 0xD0);
    Out_Video_Reg(kGrClockBA, 0x89);
    Out_Video_Reg(kGrClockLoad, 0x80);
    Out_Video_Reg(kGrClockLoad, 0x00);
    ResetDisplayFetch(0);
}

void CleanupCrt(void) {
    ResetDisplayFetch(1);
    const unsigned char unlock = cr(kCrUnlock);
    set_cr(kCrUnlock, kCrUnlockValue);
    cr_and(kCrVRetraceEnd, static_cast<unsigned char>(~kCrProtect));
    for (unsigned i = 0; i < kCrtCount; ++i)
        set_cr(bRegIndex[i], bOldRegCrt[i]);
    set_cr(kCrUnlock, unlock);
    cr_or(kCrVRetraceEnd, kCrProtect);

    Out_Video_Reg(kGrClockB0, b3CE_B0);
    Out_Video_Reg(kGrClockB1, b3CE_B1);
    Out_Video_Reg(kGrClockBA, b3CE_BA);
    Out_Video_Reg(kGrClockLoad, 0x80);
    Out_Video_Reg(kGrClockLoad, 0x00);
    ResetDisplayFetch(0);
}

// ---- Sync lock -------------------------------------------------------------

void Kova_DoSyncLock(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                     unsigned char variant) {
    start_lock(Lock::Plain, clockSelect, standard, mode, variant);
}

void Kova_CleanupSyncLock(void) {
    if (wSyncLock == 0) return;
    DACPower(0);
    wSyncLock = 0;
    end_lock(Lock::Plain);
}

void Kova_SetVCRMode(unsigned short vcrMode) {
    if (wSyncLock == 0) return;
    ResetDisplayFetch(1);
    if (vcrMode != 0) {
        sr_and(kSrVcr, 0x7F);
        WriteTVReg(kTvVcr, 0x0330);
    } else {
        sr_or(kSrVcr, 0x80);
        WriteTVReg(kTvVcr, 0x0338);
    }
    ResetDisplayFetch(0);
    wVCRMode = vcrMode;
}

int Kova_GetTVMode(void) {
    return (ReadTVReg(kTvStandard) & kTvNtscBit) != 0 ? 1 : 0;
}

void Kova_SetTVColor(void) {
    wait_retraces(kTvColorLeadRetraces, "TV colour check");

    const unsigned short e440 = ReadTVReg(kTvE440);
    const unsigned short e448 = ReadTVReg(kTvE448);
    const unsigned short e430 = ReadTVReg(kTvE430);
    const unsigned short e5f6 = ReadTVReg(kTvE5F6);

    select_tv_color_register();
    const unsigned char entry = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | 0x02));
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & 0xFE));

    WriteTVReg(kTvE430, static_cast<unsigned short>(e430 | 0x0003));
    WriteTVReg(kTvE440, 0x0020);
    WriteTVReg(kTvE448, 0x0020);
    WriteTVReg(kTvE5F6, static_cast<unsigned short>(e5f6 & 0xFEFD));
    WriteTVReg(kTvE604, 0xFF40);
    WriteTVReg(kTvE606, 0x0000);

    wait_retraces(kTvColorTestRetraces, "TV colour check");
    const unsigned short result = ReadTVReg(kTvE454);

    WriteTVReg(kTvE604, 0x0000);
    WriteTVReg(kTvE606, 0x0000);
    WriteTVReg(kTvE440, e440);
    WriteTVReg(kTvE448, e448);
    WriteTVReg(kTvE430, e430);
    WriteTVReg(kTvE5F6, e5f6);

    select_tv_color_register();
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & 0xFD));
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | (entry & 0x01)));

    if ((result & 0x0100) == 0)
        WriteTVReg(kTvColorFlip, static_cast<unsigned short>(ReadTVReg(kTvColorFlip) ^ 0x0001));
}

// ---- Video clock switch ----------------------------------------------------

void Kova_ChangeToVideoClk(unsigned short clockSelect, unsigned short standard, unsigned char variant,
                           unsigned char enable, unsigned short mode) {
    const bool ntsc = standard == kNtsc;
    if (enable != 0) {
        if (wExtClock != 0 || !has_rows(ntsc, mode, variant)) return;
        wExtClock = 1;
        DACPower(0);

        bEA = sr(kSrEA);
        bEB = sr(kSrVcr);
        bEC = sr(kSrEC);
        bED = sr(kSrED);
        bEE = sr(kSrEE);
        bEF = sr(kSrEF);
        bA6 = sr(kSrA6);
        wE5F0 = ReadTVReg(kTvE5F0);
        wE5F2 = ReadTVReg(kTvE5F2);
        wE5F4 = ReadTVReg(kTvE5F4);
        wE5F6 = ReadTVReg(kTvE5F6);
        wE4EC = ReadTVReg(kTvE4EC);

        Out_SEQ_Reg_M(kSrEC, 0x00, 0xEB);
        Out_SEQ_Reg(kSrE4, ntsc ? 0x50 : 0x56);
        Out_SEQ_Reg(kSrE5, 0x03);
        Out_SEQ_Reg_M(kSrVcr, 0x80, 0x7F);
        Out_SEQ_Reg_M(kSrED, 0x00, 0xBF);
        if (selects_clock(clockSelect)) {
            const ClockPattern p = kVideoClock[ntsc][clockSelect][variant != 0];
            Out_SEQ_Reg_M(kSrEE, p.ee, kEEKeep);
            Out_SEQ_Reg_M(kSrEF, p.ef, kVideoClockEFKeep);
            Out_SEQ_Reg_M(kSrA6, p.a6, kA6Keep);
        }
        write_sync_registers(ntsc ? bNTSCRegSync[variant][mode] : bPALRegSync[variant][mode]);
        Out_SEQ_Reg_M(kSrEC, 0x00, 0xEB);

        if (ntsc) {
            WriteTVReg(kTvE5F0, 0x010F);
            WriteTVReg(kTvE5F2, 0x0DD0);
            WriteTVReg(kTvE5F4, 0xF300);
            WriteTVReg(kTvE4EC, static_cast<unsigned short>(wE4EC | 0x0008));
        } else {
            WriteTVReg(kTvE5F0, 0xE150);
            WriteTVReg(kTvE5F2, 0x080D);
            WriteTVReg(kTvE5F4, 0xED0D);
        }
        WriteTVReg(kTvE5F6,
                   static_cast<unsigned short>(wE5F6 | (e5f6_image(ntsc, variant) & kGenlockE5F6Bits)));
    } else {
        if (wExtClock == 0) return;
        DACPower(0);
        wExtClock = 0;

        Out_SEQ_Reg(kSrE4, 0x00);
        Out_SEQ_Reg(kSrE5, 0x00);
        Out_SEQ_Reg_M(kSrVcr, bEB, 0x7F);
        Out_SEQ_Reg_M(kSrEE, bEE, kEEKeep);
        Out_SEQ_Reg_M(kSrEF, bEF, kVideoClockEFKeep);
        Out_SEQ_Reg_M(kSrED, bED, 0xBF);
        Out_SEQ_Reg_M(kSrA6, bA6, kA6Keep);
        clear_sync_registers();
        WriteTVReg(kTvE5F0, wE5F0);
        WriteTVReg(kTvE5F2, wE5F2);
        WriteTVReg(kTvE5F4, wE5F4);
        WriteTVReg(kTvE4EC, wE4EC);
        WriteTVReg(kTvE5F6, wE5F6);
        Out_SEQ_Reg_M(kSrEC, bEC, 0xEB);
    }
    Kova_SetTVColor();
    DACPower(1);
}

// ---- Genlock-mode sync lock ------------------------------------------------

void Kova_SetSyncLockGM(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                        unsigned char variant) {
    start_lock(Lock::Genlock, clockSelect, standard, mode, variant);
}

void Kova_OutputSyncLockVideo(unsigned short enable, unsigned short standard, unsigned short mode,
                              unsigned char variant) {
    const bool ntsc = standard == kNtsc;
    if (wSyncLockGM == 0 || !has_rows(ntsc, mode, variant)) return;

    if (enable != 0) {
        output_switch_on();
        Out_Video_Reg(kGrPageFA, 0x00);
    } else {
        Out_Video_Reg(kGrPageFA, 0x00);
        sr_and(kSrOutputSwitch, 0xF7);
        Out_Video_Reg(kGrPageFA, kOutputBank);
        sr_and(kSrOutputSwitch2, 0xEE);
        Out_Video_Reg(kGrPageFA, 0x00);
    }

    unsigned short value = ntsc ? wAddonNTSCTVReg[variant][mode][0] : wAddonPALTVReg[variant][mode][0];
    if (value == kNoOverride) value = e5f6_image(ntsc, variant);
    if (enable == 0) value &= kGenlockE5F6Bits;
    WriteTVReg(kTvE5F6, value);
}

void Kova_CleanupSyncLockGM(void) {
    if (wSyncLockGM == 0) return;
    DACPower(0);
    wSyncLockGM = 0;
    end_lock(Lock::Genlock);
}

} // extern "C"
