// capview on the hardware.
#include "capview.h"

#include <cstdlib>

int main(int argc, char **argv) {
    std::exit(capview_main(argc, argv));
}
