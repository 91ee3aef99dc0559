/* overlay: the two video overlay windows.
 *
 * Window 0's register file lies in the graphics-controller registers (GR,
 * 0x3CE/0x3CF), window 1's at the same indexes in the sequencer registers (SR,
 * 0x3C4/0x3C5).  Every overlay operation acts on the window chosen with
 * Kova_SelectOverlayIndex at the time of the call; "OVL xx" below is index xx
 * of that window's file.  Nothing is read back to verify and no function
 * reports an error.
 */
#ifndef KOVA_OVERLAY_H
#define KOVA_OVERLAY_H

#ifdef __cplusplus
extern "C" {
#endif

/* The current overlay window, 0 or 1 (initially 0). */
extern unsigned short wOverlayIndex;
/* The number of overlay windows (2). */
extern unsigned short wMaxOverlayNum;
/* Bytes per pixel of each window's source format (initially 0, 0); set to 2
 * by selecting the window and to the format's size by Kova_SetOverlayFormat. */
extern unsigned short wBytePerPixel[2];

/* 1 while the FIFO registers below hold values saved by the first
 * Kova_InitOverlay and not yet restored by Kova_OverlayCleanUp. */
extern unsigned char bInitialized;
extern unsigned char savedReg74;    /* GR 74 */
extern unsigned char savedReg75;    /* GR 75 */
extern unsigned char savedRegD9[2]; /* [0] GR D9 (window 0), [1] SR D9 (window 1) */
extern unsigned char savedRegDA[2]; /* [0] GR DA, [1] SR DA */
extern unsigned char savedRegDD[2]; /* [0] GR DD, [1] SR DD */

/* FIFO policy: GR 74, GR 75, OVL D9, OVL DA, and (bits 0 and 2) OVL DD. */
extern const unsigned char bFIFOPolicyNum[5];

/* OVL index = value: index port, then data port. */
void Out_Overlay_Reg(unsigned char index, unsigned char value);
/* OVL index = value OR (old AND keep): one index write, one data read, one
 * data write.  The value is not masked with NOT keep; callers pass values with
 * no bit set where keep has one. */
void Out_Overlay_Reg_M(unsigned char index, unsigned char value, unsigned char keep);

/* Selects window `index` and resets its bytes per pixel to 2; an index of 2 or
 * more (not below wMaxOverlayNum) selects window 0.  Touches no register. */
void Kova_SelectOverlayIndex(unsigned short index);
unsigned int Kova_GetOverlayIndex(void);

/* Writes the current window's initial register set (window off, 1:1 factors,
 * format 0), sets SR A6 bits 5-4 to 1-0, and on the first call since the last
 * clean-up saves GR 74, GR 75 and D9, DA, DD of both windows. */
void Kova_InitOverlay(void);
/* OVL DC bits 7 and 2 set / bit 7 cleared; the other bits are kept. */
void Kova_OverlayOn(void);
void Kova_OverlayOff(void);
/* Clears SR A7 bits 0 and 2 (window 0's field bits), then, if registers were
 * saved, writes them back and forgets them. */
void Kova_OverlayCleanUp(void);

/* Source format code 0-7 into OVL DB bits 0-2 and the code's bytes per pixel
 * (0, 1, 2, 6: 2; 3: 3; 4: 4; 5, 7: 1) into wBytePerPixel; a code above 7
 * changes nothing. */
void Kova_SetOverlayFormat(unsigned char code);
/* OVL DC bit 1 = (mode != 0). */
void Kova_SetOverlayMode(unsigned char mode);
/* Key colour 0xRRGGBB: OVL CE = bits 0-7, CF = bits 8-15, D0 = bits 16-23;
 * bits 24-31 are ignored. */
void Kova_SetRGBKeyColor(unsigned int key);
/* Window rectangle on the screen, each edge low byte first. */
void Kova_SetOverlayWindow(unsigned short left, unsigned short top, unsigned short right,
                           unsigned short bottom);
/* Scale factors, 12 fraction bits (0x1000 = 1:1, below enlarges, above
 * reduces): source size * 4096 / destination size, or exactly 0x1000 for equal
 * sizes.  mode 0 is WEAVE; any other mode is BOB, which halves the source
 * height first and sets the window's field bits in SR A7 (both bits when the
 * vertical factor lies from 2027 to 2069, else only the upper one).
 *
 * A destination size of 0 with a different source size has no ratio; that
 * factor is programmed as 0xFFFF, the largest reduction the registers hold
 * (and, in BOB mode, lies outside the 2027-2069 band).  Factors of 0x10000 and
 * more keep only their low 16 bits. */
void Kova_SetOverlayScale(unsigned char mode, unsigned short srcWidth, unsigned short dstWidth,
                          unsigned short srcHeight, unsigned short dstHeight);
/* Source start (byte address plus x pixels and y lines of pitch pixels), pitch
 * and fetch count from the window's bytes per pixel, and the width-dependent
 * bits: OVL DC bit 5 above 720 pixels, the window's SR A6 bit (6 or 7) above
 * 360 pixels. */
void Kova_SetOverlaySrcAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short width,
                            unsigned short pitch);
/* FIFO thresholds and controls from bFIFOPolicyNum. */
void Kova_ChangeOverlayFIFO(void);
/* Selects GR bank 0 (GR FA = 0), then puts window 0 (which = 0) or window 1
 * (which = 1) on top through SR DE bit 0; other values change nothing more. */
void Kova_WhichOverlayOnTop(unsigned char which);

#ifdef __cplusplus
}
#endif

#endif
