// GeoTIFF georeferencing: the tags above 33432 of a TIFF page's directory (pixel scale,
// tiepoints, model transformation, GeoKey directory) give the page a georeference (class
// 46) with its kind of system, its datum or projection found by EPSG code, and its image-
// to-world step.
#pragma once
#include <cstdint>

struct bitmap_t;
struct geotiff_context;

// With the reader just after the entry's tag: creates the page's context in *slot on its
// first GeoTIFF tag (and the georeference when the record has none), then handles the
// tag. Returns 0, or 3, 13 or 14 (gblerr set), which discards the page.
int geotiff_tag(geotiff_context** slot, int tag, bitmap_t* image, int order);

// After the page's entries: keeps the georeference when it has an image-to-world step,
// drops it otherwise, and frees the context (*slot becomes null). Returns 0 or an error
// code (gblerr set), which discards the page.
int geotiff_finish(geotiff_context** slot, bitmap_t* image);
