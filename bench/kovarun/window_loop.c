/* A hardware-flavour program for kovarun's benchmark: maps the controller and
 * makes COUNT register-window loads, each one trapped under kovarun. */
#include "physmap.h"
#include "portmem.h"

#include <stdlib.h>

int main(int argc, char **argv) {
    const long count = argc > 1 ? atol(argv[1]) : 100000;
    if (RequestIOPrivilege() != 0 || MapKOVAMemory() != 0) return 1;
    unsigned sum = 0;
    for (long i = 0; i < count; ++i)
        sum += kovainp(0x3CC);
    return sum == 1 ? 2 : 0;
}
