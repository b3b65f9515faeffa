// The colour and symbol tables of WinAPRS map files.
#include "formats/aprs.h"

#include "map/gps_classes.h"

namespace {
constexpr uint32_t flagged(int flag, int r, int g, int b) {
  return gps_rgb(r, g, b) | uint32_t(flag & 255) << 24;
}
}  // namespace

const uint32_t aprs_colours[kAprsColourCount] = {
    flagged(1, 0, 0, 0),       flagged(1, 150, 50, 200),   flagged(1, 0, 100, 0),
    flagged(1, 0, 255, 255),   flagged(1, 150, 64, 64),    flagged(1, 255, 130, 255),
    flagged(1, 255, 150, 0),   flagged(1, 80, 80, 80),     flagged(1, 0, 0, 0),
    flagged(1, 0, 0, 255),     flagged(1, 0, 255, 0),      flagged(1, 200, 130, 255),
    flagged(1, 255, 0, 0),     flagged(1, 255, 0, 255),    flagged(1, 255, 255, 0),
    flagged(1, 255, 255, 255), flagged(1, 0, 0, 0),        flagged(1, 0, 0, 0),
    flagged(1, 0, 0, 0),       flagged(1, 0, 0, 0),        flagged(1, 200, 200, 200),
    flagged(1, 255, 0, 255),   flagged(1, 200, 130, 255),  flagged(1, 80, 200, 255),
    flagged(1, 150, 50, 200),  flagged(1, 255, 180, 80),   flagged(1, 0, 0, 0),
    flagged(1, 0, 0, 0),       flagged(1, 0, 0, 0),        flagged(1, 0, 0, 0),
    flagged(1, 0, 0, 0),       flagged(1, 0, 0, 0),        flagged(1, 255, 255, 255),
    flagged(255, 255, 0, 0),
};

const uint32_t aprs_fill_colours[kAprsFillColourCount] = {
    flagged(255, 255, 0, 0), flagged(255, 0, 0, 255), flagged(0, 0, 0, 255),
    flagged(255, 0, 0, 128), flagged(255, 0, 0, 0),   flagged(0, 255, 0, 0),
    flagged(0, 0, 0, 0),     flagged(0, 59, 0, 0),
};

const int aprs_symbols[kAprsSymbolCount] = {
    59, 0,  0, 34, 0, 0,  20, 0, 0,  0,  14, 0,  1,  29, 0,  19, 19, 19, 19, 19, 19, 19, 19, 19,
    19, 47, 11, 0, 0, 3,  0,  0, 14, 0,  5,  0,  0,  0,  0,  46, 0,  0,  0,  0,  0,  0,  19, 0,
    0,  0,  53, 0, 53, 0, 0,  20, 5, 0,  23, 27, 0,  20, 0,  0,  0,  0,  0,  0,  13, 0,  20, 14,
    0,  3,  53, 0, 44, 0, 0,  0,  0, 44, 5,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  38,
};
