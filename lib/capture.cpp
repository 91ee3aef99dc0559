// capture
#include "capture.h"
