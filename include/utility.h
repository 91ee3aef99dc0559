/* utility: screen and memory queries, clock readout, sync waits, display
 * detection and DAC switches.
 *
 * Every function reads the registers afresh through the register window
 * (MapKOVAMemory must have succeeded) and writes no global.  Indexed
 * registers: GR at 0x3CE/0x3CF, CR at 0x3D4/0x3D5; TV register xxxx is the
 * 16-bit register at window offset 0xB0000 + xxxx.
 */
#ifndef KOVA_UTILITY_H
#define KOVA_UTILITY_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Screen and memory queries ---- */

/* Visible width in pixels when which is 0, visible height in lines for any
 * other value.  Reads CR 01, CR 07, CR 12, CR 53 and GR 11 whatever which is. */
unsigned short GetCurrentScreenInfo(unsigned short which);

/* KiB of video memory the visible screen occupies (width * height * whole
 * bytes per pixel, rounded up to a KiB; 0 at 4 bits per pixel).  When which is
 * 1: the KiB of video memory left after it, or 0 when the screen as the
 * registers describe it needs more than the video memory holds. */
unsigned short GetCurrentScreenMapSize(unsigned short which);

/* The aperture's physical base, GR 35 shifted left by 24. */
unsigned int GetLinearBufferPtr(void);

/* Bits per pixel from GR 77 bits 2..0 (4, 8, 16, 32, 24, 4, 16, 4 for codes 0..7). */
unsigned short GetBpp(void);

/* Video-memory size in MiB from GR 72 bits 1..0: 1, 2, 4 or 6. */
unsigned short GetVMemSize(void);

/* The memory bus width flag, GR 72 bit 2, as 0 or 1. */
unsigned short GetBusWidth(void);

/* The chip identifier: GR 92 (0 to 255), or 0xFFFF when GR 91 bits 7..4 read
 * 0 and a second read of GR 91 (without a new index) reads them all set.
 * Identifiers above 7 (0xFFFF included) are the later chip generation. */
unsigned short GetChipID(void);

/* ---- Clock readout (MHz) ---- */

/* Pixel clock selection 2 (miscellaneous output bits 3..2): no clock. */
#define KOVA_CLOCK_NONE (-1.0)
/* Post-divider codes 5, 6 and 7 of the later generation name no divisor: the
 * synthesiser result is reported as 0.0 MHz.  Every real synthesiser output is
 * above 0 (at least 0.006 MHz), so this differs from every valid clock and from
 * KOVA_CLOCK_NONE. */
#define KOVA_CLOCK_NO_DIVISOR (0.0)

/* Synthesiser output for feedback-divider low byte n, M / post-divider byte m
 * and high bits h:  R * (N + 1) / (P * (M + 1)) / 100000 with
 *   N = n + 256 * (h & 0x07),  M = (m & 0x1F) + 4 * (h & 0x38);
 *   earlier generation (GetChipID() <= 7): R = 1431818 (14.31818 MHz in 10 Hz),
 *     P = 1, 2, 4, 8 for code m >> 6;
 *   later generation: R = 2457600 (24.576 MHz), code = (m >> 6) | ((h & 0x40) >> 4),
 *     P = 1, 2, 4, 6, 8 for codes 0..4, KOVA_CLOCK_NO_DIVISOR for codes 5..7.
 * Calls GetChipID (reads GR 91 and GR 92). */
double CalculateClock(unsigned char n, unsigned char m, unsigned char h);

/* Memory clock: CalculateClock(GR B2, GR B3, GR BB), read in this order. */
double GetVMemoryClock(void);

/* Pixel clock by port 0x3CC bits 3..2: 0 gives 25.175, 1 gives 28.322,
 * 2 gives KOVA_CLOCK_NONE, all three without further reads; 3 gives
 * CalculateClock(GR B0, GR B1, GR BA), read in this order. */
double GetVPixelClock(void);

/* ---- Sync waits ----
 * Both poll port 0x3DA with no delay: first while the bit is set (an interval
 * already in progress is let to finish), then while it is clear, returning at
 * the first read with the bit set.  A bit that never changes ends the wait
 * once one half has made 1,000,000 reads (about a second on the hardware),
 * with one warning line on standard output; the caller carries on. */

/* Waits for the start of the next vertical retrace (port 0x3DA bit 3). */
void WaitCrtVertSync(void);
/* Waits for the start of the next blanking interval (port 0x3DA bit 0). */
void WaitCrtHoriSync(void);

/* ---- Display detection ---- */

/* CRT sense code GR BE bits 6..5 (GR BF bank 0x40): 2 gives 1, 3 gives 0,
 * 0 and 1 give 0xFFFF.  Leaves GR BF at 0x00. */
unsigned short DetectCRT(void);

/* TV sense: 0 without sensing when GR B1 (GR BF bank 0x01) bit 2 is clear;
 * otherwise drives TV registers E430, E4FC, E500 for sensing, waits for three
 * blanking intervals and maps sense code E430 bits 7..6 as 0 -> 0xFFFF, 1 -> 1,
 * 2 -> 0, 3 -> 2.  Restores E430, E4FC and E500 and leaves GR BF at 0x00.
 * When a blanking wait times out (timing stopped) the remaining waits are
 * skipped; the sense value is read and every register restored as usual. */
unsigned short DetectTV(void);

/* ---- DAC switches (on only for the value 1) ---- */

/* GR FA <- 0x05 (left so), then GR 4E bit 2 set (on) or cleared (off); off
 * also clears bits 8 and 1 of TV register E430. */
void TurnOnOffTVDAC(unsigned short on);
/* GR B1 in GR BF bank 0x02 <- 0x00 (on) or 0x3F (off); leaves GR BF at 0x00. */
void TurnOnOffCRTDAC(unsigned short on);
/* With GR 56 bit 2 set for the access, port 0x3C6 bits 6 and 0 cleared (on)
 * or set (off); GR 56 is written back to its earlier value. */
void TurnOnOffRAMDAC(unsigned short on);

#ifdef __cplusplus
}
#endif

#endif
