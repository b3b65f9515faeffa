// Placeholder until the GeoTIFF reader lands: takes no tag.
#include "raster/geotiff.h"

int geotiff_tag(geotiff_context**, int, bitmap_t*, int) { return 0; }
int geotiff_finish(geotiff_context** slot, bitmap_t*) {
  if (slot) *slot = nullptr;
  return 0;
}
