// Placeholder until the reader lands: every file is unsupported.
#include "raster/xpm_read.h"
#include "core/error.h"
int xpm_read(bitmap_t*) { return ERR_UNKNOWN_FORMAT; }
