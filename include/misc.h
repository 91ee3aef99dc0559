/* misc: indexed register access on the GR (0x3CE/0x3CF), SR (0x3C4/0x3C5) and
 * CR (0x3D4/0x3D5) index/data pairs, through the register window.
 *
 * Masked writes: the register becomes (value AND NOT keep) OR (old AND keep).
 * The index is written once, the data port read once and written once, even
 * when the new value equals the old one.
 */
#ifndef KOVA_MISC_H
#define KOVA_MISC_H

#ifdef __cplusplus
extern "C" {
#endif

void WriteReg(unsigned short port, unsigned char index, unsigned char value);
unsigned char ReadReg(unsigned short port, unsigned char index);
void WriteRegM(unsigned short port, unsigned char index, unsigned char value, unsigned char keep);

void Out_Video_Reg(unsigned char index, unsigned char value);
void Out_Video_Reg_M(unsigned char index, unsigned char value, unsigned char keep);
void Out_SEQ_Reg(unsigned char index, unsigned char value);
void Out_SEQ_Reg_M(unsigned char index, unsigned char value, unsigned char keep);
void Out_CRT_Reg(unsigned char index, unsigned char value);
void Out_CRT_Reg_M(unsigned char index, unsigned char value, unsigned char keep);

#ifdef __cplusplus
}
#endif

#endif
