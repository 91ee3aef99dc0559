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

#ifdef __cplusplus
}
#endif

#endif
