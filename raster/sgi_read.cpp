// Placeholder until the reader lands: every file is unsupported.
#include "raster/sgi_read.h"
#include "core/error.h"
int sgi_read(bitmap_t*) { return ERR_UNKNOWN_FORMAT; }
