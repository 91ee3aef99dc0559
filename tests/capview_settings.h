// capview's settings as the program starts with them, for tests that run its
// logic in process one run after another.
#pragma once

#include "capview.h"

inline void capview_start_settings() {
    srcWidth = 720, srcHeight = 576, destWidth = 720, destHeight = 576;
    offsetX = offsetY = shrinkX = shrinkY = bitclipWidth = bitclipHeight = 0;
    overlayMode = bDoubleBuf = bBlank = bSynclock = bVerbose = 0;
    tvMode = 3;
}
