/* portmem: register-window and direct port access, TV and audio registers,
 * aperture control, screen environment and drawing.
 *
 * Register window: the controller mirrors its VGA I/O ports into the window
 * (window offset = port number); TV and audio registers lie at window offset
 * 0xB0000 + index.  Every window access is exactly one device access of the
 * stated width through dwMEM_IO_BASE, which is read afresh on every call.
 */
#ifndef KOVA_PORTMEM_H
#define KOVA_PORTMEM_H

#ifdef __cplusplus
extern "C" {
#endif

/* Base of the mapped register window; 0 until MapPhysicalToLinear succeeds. */
extern unsigned char *dwMEM_IO_BASE;
/* Base of the mapped frame buffer (first 4 MiB of video memory); 0 until mapped. */
extern unsigned char *dwLINEAR_BASE;

/* Register window, byte and 16-bit ports. */
void kovaoutp(unsigned short port, unsigned char value);
unsigned char kovainp(unsigned short port);
/* One 16-bit little-endian store: the low byte lands at port, the high byte at
 * port + 1, so kovaoutpw(0x3CE, 0x03FA) sets GR FA to 0x03 in one access. */
void kovaoutpw(unsigned short port, unsigned short value);
unsigned short kovainpw(unsigned short port);

/* Direct x86 port I/O, usable before the window is mapped.  Each call first
 * requests I/O privilege level 3 and goes ahead whatever the answer. */
void asm_outp(unsigned short port, unsigned char value);
unsigned char asm_inp(unsigned short port);

/* Requests I/O privilege level 3 (iopl(3)) and returns its result: 0 when
 * granted, -1 when refused (or on a machine without x86 port I/O).  The
 * privilege stays raised for the rest of the process. */
int RequestIOPrivilege(void);

/* TV-encoder registers: 16-bit, at window offset 0xB0000 + index. */
void WriteTVReg(unsigned short index, unsigned short value);
unsigned short ReadTVReg(unsigned short index);

/* Audio registers: the same region as the TV registers, in three widths. */
void WriteAudioRegB(unsigned short index, unsigned char value);
unsigned char ReadAudioRegB(unsigned short index);
void WriteAudioRegW(unsigned short index, unsigned short value);
unsigned short ReadAudioRegW(unsigned short index);
void WriteAudioRegD(unsigned short index, unsigned int value);
unsigned int ReadAudioRegD(unsigned short index);

/* Aperture control by direct port I/O on GR 33 bit 0 and GR 35. */
void EnableLinearAddr(void);
void DisableLinearAddr(void);
/* Physical aperture base: GR 35 shifted left by 24. */
unsigned int GetChipPhysAddr(void);

/* ---- Screen environment and drawing ----
 *
 * The current display mode, read from the CRT and graphics registers by
 * SetEnvironmentVariables (0 until its first call; not refreshed after a mode
 * change, so call it again then):
 *   wScreenWidth   visible width in pixels, also the frame-buffer pitch
 *                  = (CR 01 + 256 * CR 53 bit 1) * 8 + 8
 *   wScreenHeight  visible height in lines
 *                  = CR 12 + 256 * CR 07 bit 1 + 512 * CR 07 bit 6
 *                    + 1024 * GR 11 bit 1 + 1
 *   bBpp           bits per pixel from GR 77 bits 2..0:
 *                  code 0 1 2  3  4  5 6  7
 *                  bits 4 8 16 32 24 4 16 4
 * SetEnvironmentVariables reads CR 01, CR 07, CR 12, CR 53 (index to 0x3D4,
 * data from 0x3D5), then GR 11 and GR 77 (index to 0x3CE, data from 0x3CF).
 */
extern unsigned short wScreenWidth;
extern unsigned short wScreenHeight;
extern unsigned char bBpp;

void SetEnvironmentVariables(void);

/* The mapped frame buffer, dwLINEAR_BASE. */
unsigned char *GetFrameBufferPtr(void);

/* CPU drawing into the frame buffer at dwLINEAR_BASE with the current screen
 * environment.  Pixel (x, y) starts at byte (y * wScreenWidth + x) * bBpp / 8;
 * multi-byte pixels are stored least significant byte first.  Nothing is
 * clipped: the caller keeps pixels and lines inside x < wScreenWidth,
 * y < wScreenHeight, and rectangles inside x1 <= wScreenWidth,
 * y1 <= wScreenHeight, within the 4 MiB mapped.
 *
 * Below 8 bits per pixel (the 4-bit depth codes 0, 5 and 7, and bBpp = 0
 * before the first SetEnvironmentVariables) DrawPixel, DrawLine and FillRect
 * write nothing: a packed 4-bit pixel has no byte of its own, and any byte
 * store would reach pixels outside the ones asked for. */

/* One pixel: at 16 bits one 16-bit store of colour bits 15..0; at 24 bits one
 * 16-bit store of bits 15..0, then one byte store of bits 23..16 at address + 2;
 * at 32 bits one 32-bit store; at any other depth of 8 bits or more one byte
 * store of bits 7..0. */
void DrawPixel(unsigned short x, unsigned short y, unsigned int colour);

/* A line from (x0, y0) to (x1, y1) by a single-precision digital differential
 * analyser: steps = the larger of |x1 - x0| and |y1 - y0|; the position starts
 * at (x0, y0) and moves by (x1 - x0) / steps and (y1 - y0) / steps, each kept
 * as a float, with every sum rounded to single precision; each of the
 * steps + 1 positions is plotted at the position plus 0.5, truncated (a
 * coordinate exactly halfway between two pixels goes to the higher one).
 * Below 2048 the line ends on (x1, y1); on longer lines the single-precision
 * accumulation may end it on a neighbouring pixel. */
void DrawLine(unsigned short x0, unsigned short y0, unsigned short x1, unsigned short y1,
              unsigned int colour);

/* Fills columns x0 <= x < x1 of rows y0 <= y < y1 (half-open: nothing when
 * x0 >= x1 or y0 >= y1).  Pixel writes: at 16 bits one 16-bit store; at 24 and
 * 32 bits three or four byte stores in ascending address order; at any other
 * depth of 8 bits or more one byte store of bits 7..0. */
void FillRect(unsigned short x0, unsigned short y0, unsigned short x1, unsigned short y1,
              unsigned int colour);

/* Copies count bytes from source to destination, one byte at a time in
 * ascending address order (a forward copy, also when the ranges overlap). */
void BitBlockTransfer(const unsigned char *source, unsigned char *destination, unsigned int count);

#ifdef __cplusplus
}
#endif

#endif
