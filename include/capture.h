/* capture: the two video capture engines, their set-up and control, double
 * buffering and the field polarity of the video port.
 *
 * Both engines have register files of the same layout at the same GR indexes;
 * the bank select GR FA chooses which one a GR index reaches (0x00 engine 0,
 * 0x80 engine 1).  "CAP xx" below is GR xx in the bank of the current engine,
 * chosen with Kova_SelectCaptureIndex.  Every operation acts on the engine
 * selected at the time of the call.
 *
 * Video-memory addresses are byte offsets from the start of video memory; the
 * engine takes them in 4-byte units.  The engine writes 2 bytes per pixel.
 * Nothing here reads back what it wrote or returns an error: the bounded waits
 * print one warning line on standard output and carry on.
 */
#ifndef KOVA_CAPTURE_H
#define KOVA_CAPTURE_H

#ifdef __cplusplus
extern "C" {
#endif

/* The current capture engine (0 or 1) and the number of engines (2). */
extern unsigned short wCaptureIndex;
extern unsigned short wMaxCaptureNum;

/* ---- Capture register access ----
 * Each access is framed by the engine's bank: GR FA is read, set to the
 * engine's bank, the CAP register reached, and the GR FA value found put back
 * (the GR index port is left holding 0xFA). */
void Out_Capture_Reg(unsigned char index, unsigned char value);
/* CAP index = value OR (old AND keep).  value is not masked with NOT keep:
 * pass no bit in value where keep has one. */
void Out_Capture_Reg_M(unsigned char index, unsigned char value, unsigned char keep);
/* CAP index, zero-extended. */
unsigned int In_Capture_Reg(unsigned char index);

/* Selects engine index when it is below wMaxCaptureNum, else engine 0.
 * Touches no register. */
void Kova_SelectCaptureIndex(unsigned short index);
unsigned int Kova_GetCaptureIndex(void);

/* Waits for one vertical sync on the sync status (GR 43 bit 7 in bank 0x03):
 * first for the bit to become 1, then for it to become 0.  Each phase gives up
 * after 100,001 reads that miss, and prints
 * "Warning: Dead Loop while capture on" once when 99,999 or more reads missed.
 * Leaves GR FA at 0x00 whatever it was before. */
void WaitVSync(void);
/* WaitVSync count times; 0 waits for nothing. */
void sleep_VSync(unsigned short count);

/* ---- Set-up and control ---- */

/* Prepares the video port and the current engine and leaves the engine held
 * (GR E8 bits 2 and 3 set) until Kova_CaptureOn.  Any mode other than 0 is the
 * normal field polarity set-up; mode 0 inverts the field polarity.  Leaves
 * GR FA at 0x00 and GR BF at 0x00. */
void Kova_InitCapture(unsigned short mode);
/* The window cut out of each input field: pixels x1 to x2, lines y1 to y2. */
void Kova_SetCapSrcWindow(unsigned short x1, unsigned short x2, unsigned short y1, unsigned short y2);
/* Destination of pixel (x, y) of the first line at byte offset address, with a
 * line pitch in pixels.  The pitch register holds pitch / 4 in 8 bits, so a
 * pitch of 1024 pixels or more wraps.  GR E8 bit 2 is held set while the
 * address changes and then put back as it was.  Leaves GR FA at 0x00. */
void Kova_SetCapDstAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short pitch);
/* Scale factors, destination size over source size in 4.12 fixed point
 * (0x1000 = 1:1, below reduces).  With field not 0 each field is scaled to half
 * of dstH (truncated).  Equal sizes give 0x1000.  A source size of 0 with a
 * different destination size (nothing to scale from) also gives 0x1000, 1:1,
 * instead of a division by zero.  Factors above 0xFFFF keep their low 16 bits.
 * GR EF is written in the bank current at the call. */
void Kova_SetCaptureScale(unsigned short srcW, unsigned short dstW, unsigned short srcH, unsigned short dstH,
                          unsigned char field);
/* Starts capturing: sets GR DE (the DE register of overlay window 0) to 0x01,
 * enables the engine, and releases the hold two vertical syncs later.  Leaves
 * GR FA at 0x00. */
void Kova_CaptureOn(void);
/* Holds the engine and waits, at most 100,000 reads, for GR E5 bit 1; prints
 * "Warning: Dead loop while capture off" when it never came.  Leaves GR FA at
 * 0x00. */
void Kova_CaptureOff(void);
/* Guard address of the current engine: address is the first byte after the
 * capture buffer; the guard is set 32 bytes before it when GR 72 bit 2 (the
 * bus-width bit) is set, else 16 bytes before it.  Leaves GR FA at 0x00. */
void Kova_SetCapSafeGuardAddr(unsigned int address);
/* Switches the capture set-up off (safeguard, video port, engine enables).
 * Leaves GR FA at 0x00. */
void Kova_CaptureCleanUp(void);

/* ---- Double buffering and field polarity ----
 * These do not depend on the current engine, and all leave GR FA at 0x00. */

/* on not 0 switches double buffering on, 0 switches it off. */
void Kova_EnableDoubleBuffer(unsigned char on);
/* Back-buffer byte offset; kept in three copies (GR A7/A8/A9, GR AD, and
 * GR 41/42 in bank 0x01).  The on bit of double buffering is preserved. */
void Kova_SetBackBuffer_addr(unsigned int address);
/* invert not 0 inverts the field polarity (GR E9 bit 5), 0 makes it normal. */
void Kova_InvertFieldPolarity(unsigned char invert);

#ifdef __cplusplus
}
#endif

#endif
