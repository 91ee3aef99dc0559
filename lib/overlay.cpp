// overlay
#include "overlay.h"
