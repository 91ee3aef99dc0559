// synclock
#include "synclock.h"
