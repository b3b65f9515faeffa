// Placeholder until the reader lands: every file is unsupported.
#include "raster/gif_read.h"
#include "core/error.h"
int gif_read(bitmap_t**, container_t*) { return ERR_UNKNOWN_FORMAT; }
