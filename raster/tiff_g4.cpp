// Placeholder until the Group 4 decoder lands: refuses every strip.
#include "raster/tiff_g4.h"

#include "core/error.h"

int tiff_g4_decode(const uint8_t*, size_t, int, int, int, uint8_t*) { return ERR_UNKNOWN_FORMAT; }
