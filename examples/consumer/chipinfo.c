/* chipinfo: the controller's identity and screen mode.  Runs as root on the
 * machine with the controller; it only reads registers. */
#include "kova_version.h"
#include "physmap.h"
#include "portmem.h"
#include "utility.h"

#include <stdio.h>

int main(void) {
    if (MapKOVAMemory() != 0) return 1; /* the reason is already printed */
    SetEnvironmentVariables();
    printf("kova %s: chip %u, %ux%u at %u bits per pixel, %u MiB of video memory\n", KOVA_VERSION_STRING,
           GetChipID(), wScreenWidth, wScreenHeight, bBpp, GetVMemSize());
    return 0;
}
