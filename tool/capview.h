// capview: the command-line program.  Its logic lives in capview_main so that
// both the hardware program and kovasim (the same program on the simulated
// controller) run it.
#ifndef KOVA_CAPVIEW_H
#define KOVA_CAPVIEW_H

#ifdef __cplusplus
extern "C" {
#endif

/* The settings, filled from the command line. */
extern int srcWidth, srcHeight, destWidth, destHeight;
extern int offsetX, offsetY, shrinkX, shrinkY;
extern int bitclipWidth, bitclipHeight;
extern int overlayMode, bDoubleBuf, bBlank, bSynclock, tvMode, bVerbose;

/* Called by capview_main once the options are accepted and the I/O privilege
 * is granted, before the first register access (the hardware program takes
 * the register-owner lock here).  A result other than 0 ends the program with
 * that exit status, no register touched.  Null: nothing to call. */
extern int (*capview_before_registers)(void);

/* Prints the usage text on standard output. */
void Usage(void);

/* The stop sequence: maps the controller, stops capture, switches double
 * buffering and both overlay windows off, cleans up, and with -s undoes a sync
 * lock of this process.  Returns the mapping's result: when it is not 0 the
 * sequence has stopped right after the mapping's message, touching no
 * register. */
int DisableOverlay(void);

/* The start sequence: shows live video in overlay window 0 from capture
 * engine 0, as the settings ask. */
void EnableOverlay(void);

/* Called, when set (it is NULL unless a program sets it), right after the
 * start sequence's sync lock.  It must touch no register and print nothing on
 * standard output: the program records the lock beside capview's output. */
extern void (*capview_after_sync_lock)(void);

/* Whether the argument is a capview option that takes the next argument as
 * its value, as getopt_long reads the command line: a short option cluster
 * ending in a letter that takes a value, or an unambiguous (possibly
 * abbreviated) long option that takes one and has no "=VALUE" attached.
 * Programs that pass capview's arguments through use it to keep a value that
 * looks like an option of their own with its option. */
int capview_takes_value(const char *arg);

/* The whole program: banner, options, settings report, stop and start
 * sequences.  Returns the exit status: 0 after the sequences ran, 1 after the
 * usage text, 2 when the I/O privilege is refused or the controller cannot be
 * mapped.  Runs once per process (it parses with getopt_long). */
int capview_main(int argc, char **argv);

#ifdef __cplusplus
}
#endif

#endif
