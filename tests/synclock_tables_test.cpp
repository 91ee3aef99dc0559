// The register images, index lists, flags and save areas of the sync lock, cell by cell.
//
// The expected values below are typed in from the register listings of the TV encoder, CRT and
// extended-sync set-ups, one listing row per line and in the listings' column order, so that each line
// can be read against its row.  The 16-bit and 32-bit TV images and the add-on overrides are listed with
// one register per line and one image per column; the tests turn those columns into the library's
// [variant][i] and [variant][mode][slot] shapes.
#include "synclock.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>
#include <type_traits>

namespace {

// ---------------------------------------------------------------------------------------------------
// Shapes and element widths of the exported objects.

static_assert(sizeof(unsigned char) == 1 && sizeof(unsigned short) == 2 && sizeof(unsigned int) == 4);

template <typename Object, typename Shape>
constexpr bool kHasShape = std::is_same_v<std::remove_cv_t<Object>, Shape>;

static_assert(kHasShape<decltype(wNTSCTVReg16), unsigned short[2][66]>);
static_assert(kHasShape<decltype(wPALTVReg16), unsigned short[2][66]>);
static_assert(kHasShape<decltype(wKsPALTVReg16), unsigned short[2][66]>);
static_assert(kHasShape<decltype(dwNTSCTVReg32), unsigned int[2][59]>);
static_assert(kHasShape<decltype(dwPALTVReg32), unsigned int[2][59]>);
static_assert(kHasShape<decltype(dwKsPALTVReg32), unsigned int[2][59]>);
static_assert(kHasShape<decltype(wAddonTVindex), unsigned short[34]>);
static_assert(kHasShape<decltype(wAddonNTSCTVReg), unsigned short[2][3][34]>);
static_assert(kHasShape<decltype(wAddonPALTVReg), unsigned short[2][4][34]>);
static_assert(kHasShape<decltype(bRegIndex), unsigned char[14]>);
static_assert(kHasShape<decltype(bNTSCRegCrt), unsigned char[3][14]>);
static_assert(kHasShape<decltype(bPALRegCrt), unsigned char[4][14]>);
static_assert(kHasShape<decltype(bNTSCRegSync), unsigned char[2][3][4]>);
static_assert(kHasShape<decltype(bPALRegSync), unsigned char[2][4][4]>);
static_assert(kHasShape<decltype(bRegExtSyncIndex), unsigned char[13]>);
static_assert(kHasShape<decltype(bNTSCRegExtSync), unsigned char[2][3][13]>);
static_assert(kHasShape<decltype(bPALRegExtSync), unsigned char[2][4][13]>);
static_assert(kHasShape<decltype(wVSAdjustIndex), unsigned short[12]>);
static_assert(kHasShape<decltype(wVBAdjustIndex), unsigned short[4]>);
static_assert(kHasShape<decltype(wHAdjustIndex), unsigned short[10]>);

// Save areas and flags: writable, of exactly these widths.
template <typename Object, typename Shape>
constexpr bool kIsWritable = std::is_same_v<Object, Shape>;

static_assert(kIsWritable<decltype(wTVReg16), unsigned short[66]>);
static_assert(kIsWritable<decltype(dwTVReg32), unsigned int[59]>);
static_assert(kIsWritable<decltype(bOldRegCrt), unsigned char[14]>);
static_assert(kIsWritable<decltype(b3CE_B0), unsigned char>);
static_assert(kIsWritable<decltype(b3CE_B1), unsigned char>);
static_assert(kIsWritable<decltype(b3CE_BA), unsigned char>);
static_assert(kIsWritable<decltype(wSyncLock), unsigned short>);
static_assert(kIsWritable<decltype(wVStandard), unsigned short>);
static_assert(kIsWritable<decltype(wVCRMode), unsigned short>);
static_assert(kIsWritable<decltype(wSyncLockGM), unsigned short>);
static_assert(kIsWritable<decltype(wExtClock), unsigned short>);
static_assert(kIsWritable<decltype(bEA), unsigned char>);
static_assert(kIsWritable<decltype(bEB), unsigned char>);
static_assert(kIsWritable<decltype(bEC), unsigned char>);
static_assert(kIsWritable<decltype(bED), unsigned char>);
static_assert(kIsWritable<decltype(bEE), unsigned char>);
static_assert(kIsWritable<decltype(bEF), unsigned char>);
static_assert(kIsWritable<decltype(bA6), unsigned char>);
static_assert(kIsWritable<decltype(wE5F0), unsigned short>);
static_assert(kIsWritable<decltype(wE5F2), unsigned short>);
static_assert(kIsWritable<decltype(wE5F4), unsigned short>);
static_assert(kIsWritable<decltype(wE5F6), unsigned short>);
static_assert(kIsWritable<decltype(wE4EC), unsigned short>);
static_assert(kIsWritable<decltype(b3d40), unsigned char>);
static_assert(kIsWritable<decltype(b3d41), unsigned char>);

// ---------------------------------------------------------------------------------------------------
// Expected values.

// Column order of the TV image rows.
enum TvColumn { kNtsc0, kNtsc1, kPal0, kPal1, kKs0, kKs1, kTvColumns };

struct TvRow16 {
    unsigned short reg; // TV register the entry goes to
    unsigned short value[kTvColumns];
};

struct TvRow32 {
    unsigned short reg; // TV register of the low half; the high half goes to reg + 2
    unsigned int value[kTvColumns];
};

// An add-on slot with no override.
constexpr unsigned short kNoOvr = 0xFFFF;

// Columns of the add-on rows: NTSC variant.mode 0.0 0.1 0.2 1.0 1.1 1.2, then PAL 0.0 to 0.3, 1.0 to 1.3.
constexpr int kNtscAddonColumns = 6;
constexpr int kAddonColumns = 14;

struct AddonRow {
    unsigned short reg; // wAddonTVindex entry of the slot
    unsigned short value[kAddonColumns];
};

// clang-format off
constexpr TvRow16 kExpectedTv16Rows[66] = {
    // register   NTSC 0  NTSC 1  PAL 0   PAL 1   Ks 0    Ks 1
    {0xE428, {0xE428, 0xE428, 0xE428, 0xE428, 0xE428, 0xE428}}, // 0
    {0xE42C, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 1
    {0xE430, {0x0000, 0x0000, 0x4000, 0x4000, 0x4000, 0x4000}}, // 2
    {0xE434, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 3
    {0xE438, {0x3000, 0x3000, 0x2000, 0x2000, 0x2000, 0x2000}}, // 4
    {0xE43C, {0xE20C, 0xE20C, 0xE245, 0xE265, 0xE26D, 0xE26D}}, // 5
    {0xE440, {0xE012, 0xE027, 0xE255, 0xE005, 0xE013, 0xE013}}, // 6
    {0xE444, {0xE20C, 0xE20C, 0xE245, 0xE265, 0xE26E, 0xE26E}}, // 7
    {0xE448, {0xE012, 0xE027, 0xE255, 0xE005, 0xE012, 0xE012}}, // 8
    {0xE44C, {0x8037, 0x9040, 0x703B, 0x703B, 0xA53D, 0xA53D}}, // 9
    {0xE450, {0x4461, 0x4B6B, 0x4461, 0x4461, 0x4D6E, 0x4D6E}}, // 10
    {0xE454, {0x4109, 0x0B00, 0xF800, 0xF800, 0x01F6, 0x01F6}}, // 11
    {0xE458, {0xE300, 0xDD00, 0xE917, 0xE917, 0xE917, 0xE917}}, // 12
    {0xE45C, {0xE000, 0xE000, 0xE000, 0xE000, 0xE000, 0xE000}}, // 13
    {0xE460, {0xE03A, 0xE03F, 0xE03F, 0xE03F, 0xE043, 0xE043}}, // 14
    {0xE464, {0xE400, 0xE411, 0xE425, 0xE425, 0xE438, 0xE438}}, // 15
    {0xE468, {0xE40E, 0xE446, 0xE426, 0xE426, 0xE41F, 0xE41F}}, // 16
    {0xE46C, {0xE41D, 0xE427, 0xE41B, 0xE41B, 0xE401, 0xE401}}, // 17
    {0xE470, {0xE042, 0xE047, 0xE04B, 0xE04B, 0xE050, 0xE050}}, // 18
    {0xE474, {0xE061, 0xE069, 0xE069, 0xE069, 0xE072, 0xE072}}, // 19
    {0xE478, {0xE344, 0xE346, 0xE34F, 0xE348, 0xE397, 0xE397}}, // 20
    {0xE47C, {0xE07A, 0xE07D, 0xE08E, 0xE08E, 0xE097, 0xE097}}, // 21
    {0xE480, {0xE1F6, 0xE20C, 0xE245, 0xE265, 0xE26E, 0xE26E}}, // 22
    {0xE484, {0xE209, 0xE011, 0xE254, 0xE003, 0xE00C, 0xE00C}}, // 23
    {0xE488, {0xE1F6, 0xE20C, 0xE245, 0xE265, 0xE26E, 0xE26E}}, // 24
    {0xE48C, {0xE209, 0xE011, 0xE254, 0xE003, 0xE00C, 0xE00C}}, // 25
    {0xE490, {0xE1FD, 0xE005, 0xE24A, 0xE26A, 0xE002, 0xE002}}, // 26
    {0xE494, {0xE202, 0xE00B, 0xE24F, 0xE26F, 0xE007, 0xE007}}, // 27
    {0xE498, {0xE1FD, 0xE005, 0xE24A, 0xE26A, 0xE002, 0xE002}}, // 28
    {0xE49C, {0xE202, 0xE00B, 0xE24F, 0xE26F, 0xE007, 0xE007}}, // 29
    {0xE4A0, {0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0x17DD, 0x17DD}}, // 30
    {0xE4A4, {0x48CC, 0x48CC, 0x48CC, 0x48CC, 0x4CF3, 0x4CF3}}, // 31
    {0xE4A8, {0xE420, 0xE420, 0xE420, 0xE420, 0xE420, 0xE420}}, // 32
    {0xE4AC, {0x1020, 0x1020, 0x1024, 0x1024, 0x1024, 0x1024}}, // 33
    {0xE4B0, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 34
    {0xE4B4, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 35
    {0xE4B8, {0xE03B, 0xE041, 0xE04D, 0xE04D, 0xE043, 0xE043}}, // 36
    {0xE4BC, {0xE001, 0xE001, 0xE001, 0xE001, 0xE001, 0xE001}}, // 37
    {0xE4C0, {0xE2AB, 0xE2DE, 0xE2F7, 0xE2F7, 0xE327, 0xE327}}, // 38
    {0xE4C4, {0xE001, 0xE001, 0xE001, 0xE001, 0xE001, 0xE001}}, // 39
    {0xE4C8, {0x8700, 0x8700, 0x8700, 0x8700, 0x8700, 0x8700}}, // 40
    {0xE4CC, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 41
    {0xE4D0, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 42
    {0xE4D4, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 43
    {0xE4D8, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 44
    {0xE4DC, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 45
    {0xE4E0, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 46
    {0xE4E4, {0x8787, 0x8787, 0x8787, 0x8787, 0x8787, 0x8787}}, // 47
    {0xE4E8, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 48
    {0xE4EC, {0x000C, 0x000C, 0x0004, 0x0004, 0x0004, 0x0004}}, // 49
    {0xE4F0, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 50
    {0xE4F4, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 51
    {0xE4F8, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 52
    {0xE4FC, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 53
    {0xE500, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 54
    {0xE504, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 55
    {0xE508, {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}}, // 56
    {0xE50C, {0xE000, 0xE000, 0xE50D, 0xE50D, 0xE50D, 0xE50D}}, // 57
    {0xE510, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 58
    {0xE514, {0xE000, 0xE000, 0xE000, 0xE000, 0xE000, 0xE000}}, // 59
    {0xE518, {0xE000, 0xE000, 0xE000, 0xE000, 0xE000, 0xE000}}, // 60
    {0xE51C, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 61
    {0xE520, {0xE400, 0xE400, 0xE400, 0xE400, 0xE400, 0xE400}}, // 62
    {0xE524, {0xE401, 0xE412, 0xE425, 0xE425, 0xE439, 0xE439}}, // 63
    {0xE528, {0xE00E, 0xE052, 0xE028, 0xE028, 0xE052, 0xE052}}, // 64
    {0xE52C, {0xE028, 0xE011, 0xE010, 0xE010, 0xE011, 0xE011}}, // 65
};
constexpr TvRow32 kExpectedTv32Rows[59] = {
    // low half   NTSC 0      NTSC 1      PAL 0       PAL 1       Ks 0        Ks 1
    {0xE530, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 0
    {0xE534, {0xF8000000, 0xF8000000, 0xF8000000, 0xF8000000, 0xFC000000, 0xFC000000}}, // 1
    {0xE538, {0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400, 0xFC00E400, 0xFC00E400}}, // 2
    {0xE53C, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 3
    {0xE540, {0xFA000000, 0xFA000000, 0xFA000000, 0xFA000000, 0xFD000000, 0xFD000000}}, // 4
    {0xE544, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 5
    {0xE548, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 6
    {0xE54C, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 7
    {0xE550, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 8
    {0xE554, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 9
    {0xE558, {0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000}}, // 10
    {0xE55C, {0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000, 0xB3000000}}, // 11
    {0xE560, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 12
    {0xE564, {0xF85DE03F, 0xF85DE03F, 0xF85DE03F, 0xF85DE03F, 0xF85DE03F, 0xF85DE03F}}, // 13
    {0xE568, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 14
    {0xE56C, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 15
    {0xE570, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 16
    {0xE574, {0xF80FE20A, 0xE004E200, 0xF255E243, 0xF805E262, 0xF80CE26A, 0xF80CE26A}}, // 17
    {0xE578, {0xF80FE20A, 0xE005E200, 0xF254E242, 0xF803E262, 0xF80BE26D, 0xF80BE26D}}, // 18
    {0xE57C, {0xF80FE20A, 0xE004E200, 0xF256E244, 0xF803E264, 0xF80EE26C, 0xF80EE26C}}, // 19
    {0xE580, {0xF80FE20A, 0xE005E200, 0xF256E243, 0xF805E264, 0xF80DE26B, 0xF80DE26B}}, // 20
    {0xE584, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 21
    {0xE588, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 22
    {0xE58C, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 23
    {0xE590, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 24
    {0xE594, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 25
    {0xE598, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 26
    {0xE59C, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 27
    {0xE5A0, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 28
    {0xE5A4, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 29
    {0xE5A8, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 30
    {0xE5AC, {0x00020001, 0x00020001, 0xFBFFE401, 0xFBFFE401, 0xFDFFE401, 0xFDFFE401}}, // 31
    {0xE5B0, {0x01FD0001, 0x01FD0001, 0xFBFCE5FD, 0xFBFCE5FD, 0xFDFCE5FD, 0xFDFCE5FD}}, // 32
    {0xE5B4, {0x01F701F8, 0x01F701F8, 0xFA01E5FD, 0xFA01E5FD, 0xFC01E5FD, 0xFC01E5FD}}, // 33
    {0xE5B8, {0x001001FE, 0x001001FE, 0xFA17E40A, 0xFA17E40A, 0xFC17E40A, 0xFC17E40A}}, // 34
    {0xE5BC, {0x003B0027, 0x003B0027, 0xFA2DE424, 0xFA2DE424, 0xFC2DE424, 0xFC2DE424}}, // 35
    {0xE5C0, {0x00010043, 0x00010043, 0xFA01E431, 0xFA01E431, 0xFC01E431, 0xFC01E431}}, // 36
    {0xE5C4, {0x00010002, 0x00010002, 0xFBFDE5FF, 0xFBFDE5FF, 0xFDFDE5FF, 0xFDFDE5FF}}, // 37
    {0xE5C8, {0x01F801FD, 0x01F801FD, 0xFBFDE5FC, 0xFBFDE5FC, 0xFDFDE5FC, 0xFDFDE5FC}}, // 38
    {0xE5CC, {0x01FE01F7, 0x01FE01F7, 0xFA0AE401, 0xFA0AE401, 0xFC0AE401, 0xFC0AE401}}, // 39
    {0xE5D0, {0x00270010, 0x00270010, 0xFA24E417, 0xFA24E417, 0xFC24E417, 0xFC24E417}}, // 40
    {0xE5D4, {0x0043003B, 0x0043003B, 0xFA31E42D, 0xFA31E42D, 0xFC31E42D, 0xFC31E42D}}, // 41
    {0xE5D8, {0xFA00E400, 0xFA00E400, 0xFA01E401, 0xFA01E401, 0xFC01E401, 0xFC01E401}}, // 42
    {0xE5DC, {0xFA00E400, 0xFA00E400, 0xFA05E5FD, 0xFA05E5FD, 0xFC05E5FD, 0xFC05E5FD}}, // 43
    {0xE5E0, {0xFA00E400, 0xFA00E400, 0xFA0DE5F7, 0xFA0DE5F7, 0xFC0DE5F7, 0xFC0DE5F7}}, // 44
    {0xE5E4, {0xFA00E400, 0xFA00E400, 0xFA15E5EF, 0xFA15E5EF, 0xFC15E5EF, 0xFC15E5EF}}, // 45
    {0xE5E8, {0xFA00E400, 0xFA00E400, 0xFA1AE5E8, 0xFA1AE5E8, 0xFC1AE5E8, 0xFC1AE5E8}}, // 46
    {0xE5EC, {0xF800E4FF, 0xF800E4FF, 0xF828E4E5, 0xF828E4E5, 0xF828E4E5, 0xF828E4E5}}, // 47
    {0xE5F0, {0x0DD0E10F, 0x0DD0E10F, 0x080DE150, 0x080DE150, 0x178DE133, 0x178DE133}}, // 48
    {0xE5F4, {0x012AF300, 0x013AF300, 0x012AED0D, 0x012AED0D, 0x0122FA0D, 0x0122FA0D}}, // 49
    {0xE5F8, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 50
    {0xE5FC, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 51
    {0xE600, {0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000, 0xF800E000}}, // 52
    {0xE604, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 53
    {0xE608, {0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000}}, // 54
    {0xE60C, {0x03000000, 0x03000000, 0x03000000, 0x03000000, 0x03000000, 0x03000000}}, // 55
    {0xE610, {0xFA8BE610, 0xFA8BE610, 0xFA8BE610, 0xFA8BE610, 0xFA8BE610, 0xFA8BE610}}, // 56
    {0xE614, {0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400}}, // 57
    {0xE618, {0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400, 0xF800E400}}, // 58
};
constexpr AddonRow kExpectedAddonRows[34] = {
    // register   N 0.0   N 0.1   N 0.2   N 1.0   N 1.1   N 1.2   P 0.0   P 0.1   P 0.2   P 0.3   P 1.0   P 1.1   P 1.2   P 1.3
    {0xE5F6, {kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0x013A, kNoOvr, 0x013A, kNoOvr, 0x013A, kNoOvr, 0x012A}}, // 0
    {0xE454, {0x3700, 0x3700, 0x3700, kNoOvr, kNoOvr, kNoOvr, 0x00FA, 0x00FB, kNoOvr, 0x00FB, 0xE4FB, 0x00FB, kNoOvr, 0x00FC}}, // 1
    {0xE468, {kNoOvr, 0xE43C, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE417}}, // 2
    {0xE46C, {kNoOvr, 0xE44B, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE40C}}, // 3
    {0xE4B8, {0xE03F, 0xE03F, 0xE03F, 0xE03F, kNoOvr, 0xE03F, 0xE042, 0xE041, 0xE046, 0xE041, 0xE040, 0xE041, 0xE046, 0xE041}}, // 4
    {0xE4BC, {kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr}}, // 5
    {0xE4C0, {0xE2DB, 0xE2DB, 0xE2DB, 0xE2DC, kNoOvr, 0xE2DC, 0xE2E2, 0xE2E2, kNoOvr, 0xE2E2, 0xE2E3, 0xE2E2, kNoOvr, 0xE2E2}}, // 6
    {0xE4C4, {kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr}}, // 7
    {0xE45C, {kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr}}, // 8
    {0xE460, {0xE03F, 0xE03F, 0xE03F, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE045, kNoOvr}}, // 9
    {0xE470, {0xE046, 0xE046, 0xE046, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE051, kNoOvr}}, // 10
    {0xE474, {0xE067, 0xE067, 0xE067, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr}}, // 11
    {0xE478, {kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE348, 0xE341, 0xE38E, 0xE341, 0xE347, 0xE340, 0xE38D, 0xE340}}, // 12
    {0xE47C, {0xE07E, 0xE07E, 0xE07E, kNoOvr, kNoOvr, kNoOvr, kNoOvr, kNoOvr, 0xE092, kNoOvr, kNoOvr, kNoOvr, 0xE09B, kNoOvr}}, // 13
    {0xE480, {0xE1FB, 0xE1F9, 0xE1FB, kNoOvr, kNoOvr, kNoOvr, 0xE248, 0xE239, 0xE25E, 0xE239, 0xE25C, 0xE24D, 0xE25B, 0xE270}}, // 14
    {0xE488, {0xE1FB, 0xE1F9, 0xE1FB, kNoOvr, kNoOvr, kNoOvr, 0xE248, 0xE239, 0xE25C, 0xE239, 0xE25C, 0xE24D, 0xE25B, 0xE270}}, // 15
    {0xE490, {0xE201, 0xE1FF, 0xE201, kNoOvr, kNoOvr, kNoOvr, 0xE24D, 0xE23E, 0xE261, 0xE23E, 0xE261, 0xE252, 0xE260, 0xE004}}, // 16
    {0xE498, {0xE201, 0xE1FF, 0xE201, kNoOvr, kNoOvr, kNoOvr, 0xE24D, 0xE23E, 0xE261, 0xE23E, 0xE261, 0xE252, 0xE260, 0xE004}}, // 17
    {0xE494, {0xE207, 0xE205, 0xE207, kNoOvr, kNoOvr, kNoOvr, 0xE252, 0xE243, 0xE266, 0xE243, 0xE266, 0xE257, 0xE265, 0xE009}}, // 18
    {0xE49C, {0xE207, 0xE205, 0xE207, kNoOvr, kNoOvr, kNoOvr, 0xE252, 0xE243, 0xE266, 0xE243, 0xE266, 0xE257, 0xE265, 0xE009}}, // 19
    {0xE484, {0xE000, 0xE20B, 0xE000, kNoOvr, kNoOvr, kNoOvr, 0xE257, 0xE248, 0xE26B, 0xE248, 0xE26B, 0xE25C, 0xE26A, 0xE00E}}, // 20
    {0xE48C, {0xE000, 0xE20B, 0xE000, kNoOvr, kNoOvr, kNoOvr, 0xE257, 0xE248, 0xE26B, 0xE248, 0xE26B, 0xE25C, 0xE26A, 0xE00E}}, // 21
    {0xE440, {0xE013, 0xE011, 0xE013, kNoOvr, kNoOvr, kNoOvr, 0xE258, 0xE249, 0xE26D, 0xE249, 0xE26D, 0xE25E, 0xE26B, 0xE031}}, // 22
    {0xE448, {0xE013, 0xE011, 0xE013, kNoOvr, kNoOvr, kNoOvr, 0xE258, 0xE249, 0xE26D, 0xE249, 0xE26D, 0xE25E, 0xE26B, 0xE031}}, // 23
    {0xE43C, {0xE1FB, 0xE1F9, 0xE1FB, kNoOvr, kNoOvr, kNoOvr, 0xE248, 0xE239, 0xE25C, 0xE239, 0xE25C, 0xE24D, 0xE25A, 0xE270}}, // 24
    {0xE444, {0xE1FB, 0xE1F9, 0xE1FB, kNoOvr, kNoOvr, kNoOvr, 0xE248, 0xE239, 0xE25C, 0xE239, 0xE25C, 0xE24D, 0xE25B, 0xE270}}, // 25
    {0xE574, {0xE1FB, 0xE1F9, 0xE1FB, 0xE20C, 0xE20C, 0xE20C, 0xE247, 0xE237, 0xE25B, 0xE237, 0xE25A, 0xE24A, 0xE25A, 0xE26F}}, // 26
    {0xE576, {0x0000, 0x020B, 0x0000, 0x0010, 0x0010, 0x0010, 0x0259, 0x0249, 0x026C, 0x0249, 0xE26D, 0xE25C, 0x026C, 0x0010}}, // 27
    {0xE578, {0xE1FC, 0xE1FA, 0xE1FC, 0xE20C, 0xE20C, 0xE20C, 0xE246, 0xE236, 0xE25A, 0xE236, 0xE25A, 0xE24A, 0xE25A, 0xE26D}}, // 28
    {0xE57A, {0x0000, 0x020B, 0x0000, 0x0011, 0x0011, 0x0011, 0x0258, 0x0248, 0x026B, 0x0248, 0xE26B, 0xE25C, 0x026C, 0x000F}}, // 29
    {0xE57C, {0xE1FB, 0xE1F9, 0xE1FB, 0xE20C, 0xE20C, 0xE20C, 0xE245, 0xE238, 0xE259, 0xE238, 0xE259, 0xE24C, 0xE259, 0xE26D}}, // 30
    {0xE57E, {0x0000, 0x020B, 0x0000, 0x0010, 0x0010, 0x0010, 0x0256, 0x024A, 0x026A, 0x024A, 0xE26B, 0xE25E, 0x026A, 0x000F}}, // 31
    {0xE580, {0xE1FC, 0xE1FA, 0xE1FC, 0xE20C, 0xE20C, 0xE20C, 0xE247, 0xE237, 0xE25C, 0xE237, 0xE25C, 0xE24C, 0xE258, 0xE26F}}, // 32
    {0xE582, {0x0000, 0x020B, 0x0000, 0x0011, 0x0011, 0x0011, 0x025A, 0x024A, 0x026D, 0x024A, 0xE26D, 0xE25E, 0x0269, 0x000D}}, // 33
};

constexpr unsigned char kExpectedRegIndex[14] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x09, 0x10, 0x11, 0x12, 0x15, 0x16};
constexpr unsigned char kExpectedNtscRegCrt[3][14] = {
    {0x66, 0x4F, 0x4F, 0x81, 0x52, 0x9E, 0x0B, 0x3E, 0x40, 0xE6, 0x0B, 0xDF, 0xE6, 0x04},
    {0x66, 0x59, 0x59, 0x88, 0x5B, 0x80, 0x0B, 0x3E, 0x40, 0xEB, 0x84, 0xDF, 0xE1, 0x0A},
    {0x66, 0x4F, 0x4F, 0x81, 0x52, 0x9E, 0x0B, 0x3E, 0x40, 0xD1, 0x0B, 0xB7, 0xE6, 0x04},
};
constexpr unsigned char kExpectedPalRegCrt[4][14] = {
    {0x6A, 0x4F, 0x4F, 0x8D, 0x58, 0x9E, 0x6F, 0xBA, 0x40, 0x2A, 0x0B, 0xDF, 0xE6, 0x6F},
    {0x77, 0x59, 0x59, 0x19, 0x67, 0x90, 0x6F, 0xF0, 0x60, 0x4F, 0x06, 0x1B, 0x1C, 0x6F},
    {0x71, 0x5F, 0x5F, 0x93, 0x6D, 0x8B, 0x6F, 0xF0, 0x60, 0x42, 0x83, 0x3F, 0x41, 0x6E},
    {0x6F, 0x59, 0x59, 0x8F, 0x64, 0x83, 0x6F, 0xF0, 0x60, 0x50, 0x0B, 0x3F, 0x2A, 0x6F},
};
constexpr unsigned char kExpectedNtscRegSync[2][3][4] = {
    {
        {0x5C, 0xE0, 0xEA, 0x81},
        {0x54, 0xE0, 0xED, 0x81},
        {0x5C, 0xE0, 0xCE, 0x81},
    },
    {
        {0x51, 0xE0, 0xE8, 0x81},
        {0x60, 0xE0, 0xED, 0x81},
        {0x51, 0xE0, 0xCE, 0x81},
    },
};
constexpr unsigned char kExpectedPalRegSync[2][4][4] = {
    {
        {0x56, 0x90, 0x07, 0x82},
        {0x63, 0x90, 0x1D, 0x82},
        {0x5D, 0x90, 0x31, 0x82},
        {0x5E, 0x90, 0x30, 0x82},
    },
    {
        {0x56, 0x90, 0x08, 0x82},
        {0x63, 0x90, 0x1E, 0x82},
        {0x65, 0x90, 0x30, 0x82},
        {0x64, 0x90, 0x30, 0x82},
    },
};
constexpr unsigned char kExpectedRegExtSyncIndex[13] = {0xE0, 0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEC, 0xEE, 0xEF};
constexpr unsigned char kExpectedNtscRegExtSync[2][3][13] = {
    {
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x94, 0x88, 0x00, 0x13, 0x00, 0x01, 0x33},
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x0A, 0x88, 0x00, 0x13, 0x00, 0x09, 0x13},
        {0x02, 0x60, 0xB0, 0x50, 0x03, 0x00, 0x94, 0x88, 0x00, 0x13, 0x00, 0x01, 0x33},
    },
    {
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xEF, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B},
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xBC, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B},
        {0x03, 0x60, 0xB0, 0x50, 0x03, 0x00, 0xEF, 0x60, 0xB0, 0x13, 0x00, 0x00, 0x3B},
    },
};
constexpr unsigned char kExpectedPalRegExtSync[2][4][13] = {
    {
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0x9A, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33},
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0xAA, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33},
        {0x02, 0x70, 0xFF, 0xA6, 0x03, 0x06, 0x11, 0x70, 0xFF, 0x00, 0x00, 0x89, 0x03},
        {0x02, 0x60, 0xA0, 0x56, 0x03, 0x00, 0xAA, 0x60, 0x24, 0x7F, 0x00, 0x81, 0x33},
    },
    {
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0x9A, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B},
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0xAA, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B},
        {0x03, 0x70, 0xFF, 0xA6, 0x03, 0x06, 0x9F, 0x70, 0xFF, 0xC2, 0x00, 0x08, 0x3B},
        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0xAA, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B},
    },
};

constexpr unsigned short kExpectedVSAdjustIndex[12] = {0xE490, 0xE494, 0xE498, 0xE49C, 0xE480, 0xE484,
                                                       0xE488, 0xE48C, 0xE43C, 0xE440, 0xE444, 0xE448};
constexpr unsigned short kExpectedVBAdjustIndex[4] = {0xE574, 0xE578, 0xE57C, 0xE580};
constexpr unsigned short kExpectedHAdjustIndex[10] = {0xE45C, 0xE460, 0xE470, 0xE474, 0xE478,
                                                      0xE47C, 0xE4B8, 0xE4BC, 0xE4C0, 0xE4C4};
// clang-format on

// ---------------------------------------------------------------------------------------------------
// The listing rows in the library's shapes.

struct Tv16Image {
    unsigned short cell[2][66];
};
struct Tv32Image {
    unsigned int cell[2][59];
};
struct NtscAddon {
    unsigned short cell[2][3][34];
};
struct PalAddon {
    unsigned short cell[2][4][34];
};

// Variant v of an image is column first + v.
constexpr Tv16Image Tv16Columns(TvColumn first) {
    Tv16Image image{};
    for (int v = 0; v < 2; ++v)
        for (int i = 0; i < 66; ++i)
            image.cell[v][i] = kExpectedTv16Rows[i].value[first + v];
    return image;
}

constexpr Tv32Image Tv32Columns(TvColumn first) {
    Tv32Image image{};
    for (int v = 0; v < 2; ++v)
        for (int i = 0; i < 59; ++i)
            image.cell[v][i] = kExpectedTv32Rows[i].value[first + v];
    return image;
}

constexpr NtscAddon NtscAddonColumns() {
    NtscAddon addon{};
    for (int v = 0; v < 2; ++v)
        for (int m = 0; m < 3; ++m)
            for (int slot = 0; slot < 34; ++slot)
                addon.cell[v][m][slot] = kExpectedAddonRows[slot].value[v * 3 + m];
    return addon;
}

constexpr PalAddon PalAddonColumns() {
    PalAddon addon{};
    for (int v = 0; v < 2; ++v)
        for (int m = 0; m < 4; ++m)
            for (int slot = 0; slot < 34; ++slot)
                addon.cell[v][m][slot] = kExpectedAddonRows[slot].value[kNtscAddonColumns + v * 4 + m];
    return addon;
}

constexpr Tv16Image kExpectedNtscTv16 = Tv16Columns(kNtsc0);
constexpr Tv16Image kExpectedPalTv16 = Tv16Columns(kPal0);
constexpr Tv16Image kExpectedKsPalTv16 = Tv16Columns(kKs0);
constexpr Tv32Image kExpectedNtscTv32 = Tv32Columns(kNtsc0);
constexpr Tv32Image kExpectedPalTv32 = Tv32Columns(kPal0);
constexpr Tv32Image kExpectedKsPalTv32 = Tv32Columns(kKs0);
constexpr NtscAddon kExpectedNtscAddon = NtscAddonColumns();
constexpr PalAddon kExpectedPalAddon = PalAddonColumns();

// ---------------------------------------------------------------------------------------------------
// Cross-checks of the typing above against facts stated elsewhere about the same registers: a slipped
// row or swapped column shows up here before any comparison with the library runs.

constexpr bool RowsAreConsecutiveRegisters() {
    for (int i = 0; i < 66; ++i)
        if (kExpectedTv16Rows[i].reg != 0xE428 + 4 * i) return false;
    for (int i = 0; i < 59; ++i)
        if (kExpectedTv32Rows[i].reg != 0xE530 + 4 * i) return false;
    return true;
}
static_assert(RowsAreConsecutiveRegisters());

// Both rows of the Ks images are the same; PAL variant 0 add-on rows of modes 1 and 3 are the same.
constexpr bool DuplicatedRowsAgree() {
    for (int i = 0; i < 66; ++i)
        if (kExpectedKsPalTv16.cell[0][i] != kExpectedKsPalTv16.cell[1][i]) return false;
    for (int i = 0; i < 59; ++i)
        if (kExpectedKsPalTv32.cell[0][i] != kExpectedKsPalTv32.cell[1][i]) return false;
    for (int slot = 0; slot < 34; ++slot)
        if (kExpectedPalAddon.cell[0][1][slot] != kExpectedPalAddon.cell[0][3][slot]) return false;
    return true;
}
static_assert(DuplicatedRowsAgree());

// The add-on slots: 0 is the high half of 32-bit entry 49, 13 the deferred E47C, 26 to 33 the halves of
// 32-bit entries 17 to 20.
static_assert(kExpectedAddonRows[0].reg == kExpectedTv32Rows[49].reg + 2);
static_assert(kExpectedAddonRows[13].reg == kExpectedTv16Rows[21].reg && kExpectedTv16Rows[21].reg == 0xE47C);
constexpr bool AddonSlotsAddressTheVerticalBlankHalves() {
    for (int k = 0; k < 8; ++k)
        if (kExpectedAddonRows[26 + k].reg != kExpectedTv32Rows[17 + k / 2].reg + 2 * (k % 2)) return false;
    return true;
}
static_assert(AddonSlotsAddressTheVerticalBlankHalves());

// NTSC variant 1 mode 1 overrides only slots 26 to 33.
constexpr bool NtscVariant1Mode1OverridesOnlyTheVerticalBlank() {
    for (int slot = 0; slot < 34; ++slot)
        if ((kExpectedNtscAddon.cell[1][1][slot] != kNoOvr) != (slot >= 26)) return false;
    return true;
}
static_assert(NtscVariant1Mode1OverridesOnlyTheVerticalBlank());

// TV register E438 bit 12 tells NTSC (set) from PAL (clear).
static_assert(kExpectedTv16Rows[4].reg == 0xE438);
static_assert((kExpectedNtscTv16.cell[0][4] & 0x1000) && (kExpectedNtscTv16.cell[1][4] & 0x1000));
static_assert(!(kExpectedPalTv16.cell[0][4] & 0x1000) && !(kExpectedPalTv16.cell[1][4] & 0x1000));
static_assert(!(kExpectedKsPalTv16.cell[0][4] & 0x1000) && !(kExpectedKsPalTv16.cell[1][4] & 0x1000));

// Final E47C values of the documented locks: PAL 3/1 keeps the image's 0xE08E, PAL 2/1 takes add-on
// 0xE09B over the Ks image's 0xE097, NTSC 0/0 takes add-on 0xE07E.
static_assert(kExpectedPalAddon.cell[1][3][13] == kNoOvr && kExpectedPalTv16.cell[1][21] == 0xE08E);
static_assert(kExpectedPalAddon.cell[1][2][13] == 0xE09B && kExpectedKsPalTv16.cell[1][21] == 0xE097);
static_assert(kExpectedNtscAddon.cell[0][0][13] == 0xE07E);

// TV register E5F6 in the genlock mode: after the lock (entry 49 high half AND 0x0030 of the loaded
// image unless add-on slot 0 overrides) and with the output on (slot 0, else entry 49 of the plain
// image).  Rows: standard (1 NTSC, 0 PAL), mode, variant, after lock, output on.
struct E5F6Case {
    int standard, mode, variant;
    unsigned short after_lock, output_on;
};
constexpr E5F6Case kE5F6Cases[] = {
    {1, 0, 0, 0x0020, 0x012A}, {1, 1, 0, 0x0020, 0x012A}, {1, 2, 0, 0x0020, 0x012A},
    {1, 0, 1, 0x0030, 0x013A}, {1, 1, 1, 0x0030, 0x013A}, {1, 2, 1, 0x0030, 0x013A},
    {0, 0, 0, 0x0020, 0x012A}, {0, 0, 1, 0x0020, 0x012A}, {0, 1, 0, 0x013A, 0x013A},
    {0, 1, 1, 0x013A, 0x013A}, {0, 2, 0, 0x0020, 0x012A}, {0, 2, 1, 0x0020, 0x012A},
    {0, 3, 0, 0x013A, 0x013A}, {0, 3, 1, 0x012A, 0x012A},
};
constexpr bool GenlockE5F6ValuesFollow() {
    for (const E5F6Case &c : kE5F6Cases) {
        const unsigned short slot0 = c.standard ? kExpectedNtscAddon.cell[c.variant][c.mode][0]
                                                : kExpectedPalAddon.cell[c.variant][c.mode][0];
        const Tv32Image &loaded = c.standard    ? kExpectedNtscTv32
                                  : c.mode == 2 ? kExpectedKsPalTv32
                                                : kExpectedPalTv32;
        const Tv32Image &plain = c.standard ? kExpectedNtscTv32 : kExpectedPalTv32;
        const unsigned short after = slot0 != kNoOvr ? slot0 : (loaded.cell[c.variant][49] >> 16) & 0x0030;
        const unsigned short on = slot0 != kNoOvr ? slot0 : plain.cell[c.variant][49] >> 16;
        if (after != c.after_lock || on != c.output_on) return false;
    }
    return true;
}
static_assert(GenlockE5F6ValuesFollow());

// The rows of the documented locks: PAL variant 1 mode 3 and NTSC variant 0 mode 0.
constexpr bool SameBytes(const unsigned char *got, std::initializer_list<unsigned char> want) {
    for (unsigned char byte : want)
        if (*got++ != byte) return false;
    return true;
}
static_assert(SameBytes(kExpectedPalRegExtSync[1][3],
                        {0x03, 0x60, 0xA0, 0x56, 0x03, 0x06, 0xAA, 0x60, 0x20, 0x7F, 0x00, 0x00, 0x3B}));
static_assert(SameBytes(kExpectedPalRegSync[1][3], {0x64, 0x90, 0x30, 0x82}));
static_assert(SameBytes(kExpectedNtscRegSync[0][0], {0x5C, 0xE0, 0xEA, 0x81}));

// The CRT images give the display sizes of the modes (VGA layout: CR 01 display end in characters of 8
// pixels; CR 12 with bits 1 and 6 of CR 07 as bits 8 and 9 of the last displayed line).
struct ModeSize {
    int width, height;
};
constexpr ModeSize SizeOf(const unsigned char (&crt)[14]) {
    const int cr01 = crt[1], cr07 = crt[7], cr12 = crt[11];
    return {(cr01 + 1) * 8, (cr12 | (cr07 & 0x02) << 7 | (cr07 & 0x40) << 3) + 1};
}
constexpr bool SameSize(ModeSize a, int width, int height) {
    return a.width == width && a.height == height;
}
static_assert(kExpectedRegIndex[1] == 0x01 && kExpectedRegIndex[7] == 0x07 && kExpectedRegIndex[11] == 0x12);
static_assert(SameSize(SizeOf(kExpectedNtscRegCrt[0]), 640, 480));
static_assert(SameSize(SizeOf(kExpectedNtscRegCrt[1]), 720, 480));
static_assert(SameSize(SizeOf(kExpectedNtscRegCrt[2]), 640, 440));
static_assert(SameSize(SizeOf(kExpectedPalRegCrt[0]), 640, 480));
static_assert(SameSize(SizeOf(kExpectedPalRegCrt[1]), 720, 540));
static_assert(SameSize(SizeOf(kExpectedPalRegCrt[2]), 768, 576));
static_assert(SameSize(SizeOf(kExpectedPalRegCrt[3]), 720, 576));
// Every NTSC CRT image starts with a horizontal total of 0x66.
static_assert(kExpectedNtscRegCrt[0][0] == 0x66 && kExpectedNtscRegCrt[1][0] == 0x66 &&
              kExpectedNtscRegCrt[2][0] == 0x66);

// ---------------------------------------------------------------------------------------------------
// Cell-by-cell comparison.

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Compares two arrays of the same shape and reports every differing cell with its table and indices.
// Returns the number of cells compared.
template <typename Got, typename Want, std::size_t N>
int ExpectCells(const char *table, const Got (&got)[N], const Want (&want)[N], const std::string &at = "") {
    int cells = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::string here = at + "[" + std::to_string(i) + "]";
        if constexpr (std::is_array_v<Got>) {
            cells += ExpectCells(table, got[i], want[i], here);
        } else {
            EXPECT_EQ(Hex(got[i]), Hex(want[i])) << table << here;
            ++cells;
        }
    }
    return cells;
}

TEST(SynclockTables, TvImagesHoldEveryCell) {
    int cells = 0;
    cells += ExpectCells("wNTSCTVReg16", wNTSCTVReg16, kExpectedNtscTv16.cell);
    cells += ExpectCells("wPALTVReg16", wPALTVReg16, kExpectedPalTv16.cell);
    cells += ExpectCells("wKsPALTVReg16", wKsPALTVReg16, kExpectedKsPalTv16.cell);
    cells += ExpectCells("dwNTSCTVReg32", dwNTSCTVReg32, kExpectedNtscTv32.cell);
    cells += ExpectCells("dwPALTVReg32", dwPALTVReg32, kExpectedPalTv32.cell);
    cells += ExpectCells("dwKsPALTVReg32", dwKsPALTVReg32, kExpectedKsPalTv32.cell);
    EXPECT_EQ(cells, 3 * 2 * 66 + 3 * 2 * 59);
}

TEST(SynclockTables, AddonOverridesHoldEveryCell) {
    unsigned short slots[34];
    for (int slot = 0; slot < 34; ++slot)
        slots[slot] = kExpectedAddonRows[slot].reg;
    int cells = ExpectCells("wAddonTVindex", wAddonTVindex, slots);
    cells += ExpectCells("wAddonNTSCTVReg", wAddonNTSCTVReg, kExpectedNtscAddon.cell);
    cells += ExpectCells("wAddonPALTVReg", wAddonPALTVReg, kExpectedPalAddon.cell);
    EXPECT_EQ(cells, 34 + 2 * 3 * 34 + 2 * 4 * 34);
}

TEST(SynclockTables, CrtImagesHoldEveryCell) {
    int cells = ExpectCells("bRegIndex", bRegIndex, kExpectedRegIndex);
    cells += ExpectCells("bNTSCRegCrt", bNTSCRegCrt, kExpectedNtscRegCrt);
    cells += ExpectCells("bPALRegCrt", bPALRegCrt, kExpectedPalRegCrt);
    EXPECT_EQ(cells, 14 + 3 * 14 + 4 * 14);
}

TEST(SynclockTables, SyncAndExtendedSyncImagesHoldEveryCell) {
    int cells = ExpectCells("bNTSCRegSync", bNTSCRegSync, kExpectedNtscRegSync);
    cells += ExpectCells("bPALRegSync", bPALRegSync, kExpectedPalRegSync);
    cells += ExpectCells("bRegExtSyncIndex", bRegExtSyncIndex, kExpectedRegExtSyncIndex);
    cells += ExpectCells("bNTSCRegExtSync", bNTSCRegExtSync, kExpectedNtscRegExtSync);
    cells += ExpectCells("bPALRegExtSync", bPALRegExtSync, kExpectedPalRegExtSync);
    EXPECT_EQ(cells, 2 * 3 * 4 + 2 * 4 * 4 + 13 + 2 * 3 * 13 + 2 * 4 * 13);
}

TEST(SynclockTables, AdjustIndexListsHoldTheirRegisters) {
    int cells = ExpectCells("wVSAdjustIndex", wVSAdjustIndex, kExpectedVSAdjustIndex);
    cells += ExpectCells("wVBAdjustIndex", wVBAdjustIndex, kExpectedVBAdjustIndex);
    cells += ExpectCells("wHAdjustIndex", wHAdjustIndex, kExpectedHAdjustIndex);
    EXPECT_EQ(cells, 12 + 4 + 10);
}

// ---------------------------------------------------------------------------------------------------
// Flags and save areas as the program is loaded.  Other tests in the same process lock and clean up, so
// the values are taken before main runs, when only static initialisation has happened.

struct Scalar {
    const char *name;
    unsigned at_load;
    unsigned expected;
};

struct LoadState {
    Scalar scalars[22];
    unsigned short tv_reg16[66];
    unsigned int tv_reg32[59];
    unsigned char old_reg_crt[14];
};

#define KOVA_AT_LOAD(name, expected)                                                                         \
    Scalar {                                                                                                 \
#name, name, expected                                                                                \
    }

LoadState TakeLoadState() {
    const Scalar scalars[] = {
        KOVA_AT_LOAD(wSyncLock, 0), KOVA_AT_LOAD(wVStandard, 0xFFFF),
        KOVA_AT_LOAD(wVCRMode, 0),  KOVA_AT_LOAD(wSyncLockGM, 0),
        KOVA_AT_LOAD(wExtClock, 0), KOVA_AT_LOAD(b3CE_B0, 0),
        KOVA_AT_LOAD(b3CE_B1, 0),   KOVA_AT_LOAD(b3CE_BA, 0),
        KOVA_AT_LOAD(bEA, 0),       KOVA_AT_LOAD(bEB, 0),
        KOVA_AT_LOAD(bEC, 0),       KOVA_AT_LOAD(bED, 0),
        KOVA_AT_LOAD(bEE, 0),       KOVA_AT_LOAD(bEF, 0),
        KOVA_AT_LOAD(bA6, 0),       KOVA_AT_LOAD(wE5F0, 0),
        KOVA_AT_LOAD(wE5F2, 0),     KOVA_AT_LOAD(wE5F4, 0),
        KOVA_AT_LOAD(wE5F6, 0),     KOVA_AT_LOAD(wE4EC, 0),
        KOVA_AT_LOAD(b3d40, 0),     KOVA_AT_LOAD(b3d41, 0),
    };
    static_assert(std::extent_v<decltype(scalars)> == std::extent_v<decltype(LoadState::scalars)>);
    LoadState state{};
    for (std::size_t k = 0; k < std::size(scalars); ++k)
        state.scalars[k] = scalars[k];
    for (int i = 0; i < 66; ++i)
        state.tv_reg16[i] = wTVReg16[i];
    for (int i = 0; i < 59; ++i)
        state.tv_reg32[i] = dwTVReg32[i];
    for (int i = 0; i < 14; ++i)
        state.old_reg_crt[i] = bOldRegCrt[i];
    return state;
}

#undef KOVA_AT_LOAD

const LoadState loadState = TakeLoadState();

TEST(SynclockTables, FlagsAndSaveAreasStartAtTheirLoadValues) {
    for (const Scalar &s : loadState.scalars)
        EXPECT_EQ(Hex(s.at_load), Hex(s.expected)) << s.name;
    const unsigned short zero16[66] = {};
    const unsigned int zero32[59] = {};
    const unsigned char zero8[14] = {};
    ExpectCells("wTVReg16", loadState.tv_reg16, zero16);
    ExpectCells("dwTVReg32", loadState.tv_reg32, zero32);
    ExpectCells("bOldRegCrt", loadState.old_reg_crt, zero8);
}

} // namespace
