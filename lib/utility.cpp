// utility
#include "utility.h"
