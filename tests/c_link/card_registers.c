/* A plain C program linked against the simulated library, with no code of
 * its own for a card: it maps the controller as any program does and prints
 * every CR register that is not 0, one "CRxx=YY" line each.  With KOVA_CARD
 * set it reads the card; when the controller cannot be mapped it says so and
 * exits 1. */
#include "misc.h"
#include "physmap.h"
#include "portmem.h"

#include <stdio.h>

int main(void) {
    if (RequestIOPrivilege() != 0 || MapKOVAMemory() != 0) {
        printf("cannot map the controller\n");
        return 1;
    }
    for (unsigned index = 0; index < 256; ++index) {
        const unsigned char value = ReadReg(0x3D4, (unsigned char)index);
        if (value != 0) printf("CR%02X=%02X\n", index, value);
    }
    return 0;
}
