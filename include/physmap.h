/* physmap: switches the linear aperture on and maps the frame buffer (4 MiB at
 * the aperture base) and the register window (1 MiB at base + 8 MiB) through
 * the memory device "/dev/mem".
 */
#ifndef KOVA_PHYSMAP_H
#define KOVA_PHYSMAP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Result of the frame-buffer mapping (the mapping failure value after a failure). */
extern void *pFB;
/* Result of the register-window mapping. */
extern void *pMMIO;

/* EnableLinearAddr, then MapPhysicalToLinear. */
int MapKOVAMemory(void);

/* Maps frame buffer and register window and sets dwLINEAR_BASE and
 * dwMEM_IO_BASE.  Returns 0 on success; on failure prints a message on
 * standard output and returns
 *   -1  "Opening mem device failed!"         (no port access made)
 *   -2  "Mapping linear frame buffer failed!" (also when GR 35 reads 0: physical
 *        address 0 is never mapped)
 *   -3  "Mapping MMIO failed!"
 * The base pointers are set only on success.  The aperture base is read by
 * direct port I/O and needs the I/O privilege already raised (MapKOVAMemory
 * raises it through EnableLinearAddr). */
int MapPhysicalToLinear(void);

#ifdef __cplusplus
}
#endif

#endif
