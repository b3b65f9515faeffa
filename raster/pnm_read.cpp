// Placeholder until the reader lands: every file is unsupported.
#include "raster/pnm_read.h"
#include "core/error.h"
int pnm_read(bitmap_t*, int) { return ERR_UNKNOWN_FORMAT; }
