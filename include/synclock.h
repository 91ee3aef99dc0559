/* synclock: sync lock of the display and TV encoder to the incoming video,
 * its genlock-mode twin, the switch to the video clock, and the register
 * images they load.
 *
 * Selection keys used throughout:
 *   standard     1 = NTSC, 0 = PAL.
 *   mode         output mode: PAL 0 = 640x480, 1 = 720x540, 2 = 768x576,
 *                3 = 720x576; NTSC 0 = 640x480, 1 = 720x480, 2 = 640x440.
 *   variant      table row, 0 or 1 (the bit patterns only ask zero or not).
 *   clockSelect  0 or 1 picks the SR EE / EF / A6 clock pattern; any other
 *                value leaves those three registers alone.
 *
 * Rows outside the tables: a mode or variant that has no row (NTSC mode above
 * 2, PAL mode above 3, variant above 1) makes Kova_DoSyncLock,
 * Kova_SetSyncLockGM and WriteCrt with standard 0 or 1, and
 * Kova_OutputSyncLockVideo and the switch-on of Kova_ChangeToVideoClk with any
 * standard (every standard but 1 counts as PAL there), return at once, without
 * any register access and without changing a flag or save area.  Nothing
 * reads past a table.  The switch-off of Kova_ChangeToVideoClk reads no table
 * and ignores mode and variant.
 *
 * Retrace waits: every poll of the input status (port 0x3DA, bit 3 = vertical
 * retrace) is bounded by the library's shared status-poll limit of 1,000,000
 * reads.  A poll that runs out prints one warning line and the sequence
 * carries on; in a wait for n retraces, the first poll that runs out also
 * ends the rest of that n-retrace wait (one warning for the whole wait).  A
 * lock or clean-up against a dead display therefore finishes, with warnings,
 * and leaves its flags and save areas as a successful run would.
 *
 * Only one lock, plain or genlock-mode, may be in force at a time: both write
 * the same save areas, and a second lock started before the clean-up of the
 * first saves the locked registers.
 */
#ifndef KOVA_SYNCLOCK_H
#define KOVA_SYNCLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Output modes per standard: the mode dimension of the tables below. */
#define KOVA_PAL_MODES 4
#define KOVA_NTSC_MODES 3

/* ---- TV encoder register images ----------------------------------------
 * 16-bit images [variant][i]: entry i goes to TV register 0xE428 + 4*i
 * (E428 to E52C).  Entry 21 (E47C) is the deferred register: the image load
 * does not write it; its value is written last, after the lock has settled. */
extern const unsigned short wNTSCTVReg16[2][66];
extern const unsigned short wPALTVReg16[2][66];
extern const unsigned short wKsPALTVReg16[2][66]; /* PAL mode 2 */

/* 32-bit images [variant][i]: the low half goes to TV register 0xE530 + 4*i,
 * the high half to 0xE532 + 4*i (E530 to E61A). */
extern const unsigned int dwNTSCTVReg32[2][59];
extern const unsigned int dwPALTVReg32[2][59];
extern const unsigned int dwKsPALTVReg32[2][59]; /* PAL mode 2 */

/* Add-on overrides: wAddonTVindex[slot] names the TV register of a slot; the
 * value tables [variant][mode][slot] hold 0xFFFF for "no override".  Slot 13
 * (E47C) replaces the deferred value instead of being written. */
extern const unsigned short wAddonTVindex[34];
extern const unsigned short wAddonNTSCTVReg[2][KOVA_NTSC_MODES][34];
extern const unsigned short wAddonPALTVReg[2][KOVA_PAL_MODES][34];

/* CRT images [mode][i] for the CR that bRegIndex[i] names. */
extern const unsigned char bRegIndex[14];
extern const unsigned char bNTSCRegCrt[KOVA_NTSC_MODES][14];
extern const unsigned char bPALRegCrt[KOVA_PAL_MODES][14];

/* Sync registers [variant][mode][i] for CR 28 + i. */
extern const unsigned char bNTSCRegSync[2][KOVA_NTSC_MODES][4];
extern const unsigned char bPALRegSync[2][KOVA_PAL_MODES][4];

/* Extended-sync images [variant][mode][i] for the SR that bRegExtSyncIndex[i]
 * names; the last one, SR EF, is written keeping bits 7, 6 and 1. */
extern const unsigned char bRegExtSyncIndex[13];
extern const unsigned char bNTSCRegExtSync[2][KOVA_NTSC_MODES][13];
extern const unsigned char bPALRegExtSync[2][KOVA_PAL_MODES][13];

/* Lists of TV register indexes for vertical-sync, vertical-blank and
 * horizontal adjustment, for callers; the library itself does not use them. */
extern const unsigned short wVSAdjustIndex[12];
extern const unsigned short wVBAdjustIndex[4];
extern const unsigned short wHAdjustIndex[10];

/* ---- Save areas (zero at load; filled by a lock, read by its clean-up) ---- */
extern unsigned short wTVReg16[66];             /* TV 0xE428 + 4*i; [21] = E47C before the lock */
extern unsigned int dwTVReg32[59];              /* (TV 0xE532 + 4*i) << 16 | TV 0xE530 + 4*i */
extern unsigned char bOldRegCrt[14];            /* the CRs of bRegIndex, saved by WriteCrt */
extern unsigned char b3CE_B0, b3CE_B1, b3CE_BA; /* pixel clock GR B0, B1, BA */

/* ---- Lock state ---- */
extern unsigned short wSyncLock;   /* 1 while a Kova_DoSyncLock lock is in force */
extern unsigned short wSyncLockGM; /* 1 while a Kova_SetSyncLockGM lock is in force */
extern unsigned short wVStandard;  /* standard of the last lock started; 0xFFFF before */
extern unsigned short wVCRMode;    /* last VCR setting applied by Kova_SetVCRMode */

/* ---- Video clock switch state and save area ---- */
extern unsigned short wExtClock;                         /* 1 while the display runs from the video clock */
extern unsigned char bEA, bEB, bEC, bED, bEE, bEF, bA6;  /* SR EA..EF, A6 at switch-on */
extern unsigned short wE5F0, wE5F2, wE5F4, wE5F6, wE4EC; /* TV registers at switch-on */

/* Two bytes for callers; the library neither reads nor writes them. */
extern unsigned char b3d40, b3d41;

/* ---- CRT timing override and display fetch ---- */

/* on = 0 powers the DAC down (port 0x3C6 bit 6 set), non-zero powers it up.
 * GR 56 bit 2 is set around the access and ends cleared. */
void DACPower(unsigned short on);
/* Returns at the start of a vertical retrace, never the one in progress at the
 * call (bounded; see "Retrace waits" above). */
void WaitCRTVSync(void);
/* hold non-zero sets, zero clears bit 6 of GR DE, SR DE and GR 70. */
void ResetDisplayFetch(unsigned short hold);
/* Saves and overrides the CRT timing of bRegIndex with the image of standard
 * and mode (NTSC keeps a horizontal total above 0x66 except in mode 1), then
 * saves GR B0, B1, BA and sets the pixel clock to 27 MHz.  A standard other
 * than 0 and 1 leaves the CRT image alone but still sets the clock. */
void WriteCrt(unsigned short standard, unsigned short mode);
/* Writes back what WriteCrt saved; CR 11 ends with bit 7 set. */
void CleanupCrt(void);

/* ---- Sync lock ---- */

/* Locks the display and TV encoder to the incoming video.  A standard other
 * than 0 and 1 runs only the DAC switch, the GR prologue and the TV colour
 * check.  Waits 2 + 15 + 6 + 2 vertical retraces with the DAC powered down. */
void Kova_DoSyncLock(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                     unsigned char variant);
/* Ends a lock of Kova_DoSyncLock and puts the saved registers back; does
 * nothing (no register access) unless wSyncLock is set. */
void Kova_CleanupSyncLock(void);
/* Switches the VCR setting of a running Kova_DoSyncLock lock; nothing unless
 * wSyncLock is set. */
void Kova_SetVCRMode(unsigned short vcrMode);
/* 1 if the TV encoder is set for NTSC (TV E438 bit 12), else 0. */
int Kova_GetTVMode(void);
/* The TV colour check: a two-frame test set-up that reads TV E454 bit 8 and
 * inverts bit 0 of TV E46C when it reads 0.  Leaves GR FA at 0x05. */
void Kova_SetTVColor(void);

/* ---- Video clock switch ---- */

/* enable non-zero moves the display onto the video clock (saving what it
 * changes), zero moves it back; a call asking for the state already in force
 * does nothing.  Note the argument order. */
void Kova_ChangeToVideoClk(unsigned short clockSelect, unsigned short standard, unsigned char variant,
                           unsigned char enable, unsigned short mode);

/* ---- Genlock-mode sync lock ---- */

/* As Kova_DoSyncLock, with the sync-lock video output left off, TV E5F6 loaded
 * with only bits 4 and 5 of its image, and for PAL SR EF bits 4 and 5 set. */
void Kova_SetSyncLockGM(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                        unsigned char variant);
/* Switches the sync-lock video output of a running genlock-mode lock on
 * (enable non-zero) or off, and sets TV E5F6 for it; standard 1 is NTSC, any
 * other PAL.  Nothing unless wSyncLockGM is set. */
void Kova_OutputSyncLockVideo(unsigned short enable, unsigned short standard, unsigned short mode,
                              unsigned char variant);
/* Ends a genlock-mode lock without touching the output switch; nothing unless
 * wSyncLockGM is set. */
void Kova_CleanupSyncLockGM(void);

#ifdef __cplusplus
}
#endif

#endif
