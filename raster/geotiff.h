// GeoTIFF georeferencing: the tags above 33432 of a TIFF page's directory (pixel scale,
// tiepoints, model transformation, GeoKey directory) give the page a georeference (class
// 46) with its kind of system, its datum or projection found by EPSG code, and its image-
// to-world step.
//
// The step maps the pixel grid as the display reads it: (0, 0) is the top-left corner of
// the first pixel, (width, height) the bottom-right corner of the last. It is a class 42
// offset-and-scale step with its class 41 tiepoint (transfotype 1), or a class 43 matrix
// with its inverse (transfotype 3). A PixelIsPoint raster (GTRasterTypeGeoKey 2) ties its
// model to the pixels' centres: the step is moved by half a pixel. A matrix whose z row
// is zero has its plane part inverted.
//
// Values are read with the TIFF structure readers (tiff_values.h) at base 0; every count
// is checked against the bytes of the file before the values are read.
#pragma once
#include <cstdint>

struct bitmap_t;
struct geotiff_context;

// With the reader just after the entry's tag: creates the page's context in *slot on its
// first GeoTIFF tag (and the georeference when the record has none), then handles the
// tag. Returns 0, or 3, 13 or 14 (gblerr set), which discards the page: the context is
// then freed (*slot becomes null) and the georeference made here is dropped.
int geotiff_tag(geotiff_context** slot, int tag, bitmap_t* image, int order);

// One GeoKey with an inline value (called for the keys of the GeoKey directory):
// GTModelTypeGeoKey (1024) sets the kind of system (3 for another value),
// GTRasterTypeGeoKey (1025) PixelIsPoint, GeographicTypeGeoKey (2048) the datum (none when
// the tables lack the code), ProjectedCSTypeGeoKey (3072) the projection, its unit and
// datum (13 when the tables lack the code). Values 0 and 32767 are ignored. Returns 0 or
// the error code (gblerr set).
int geotiff_key(int key, geotiff_context* context, int value);

// After the page's entries: completes the step (tiepoint, half-pixel shift, inverse of a
// matrix), keeps the georeference when it has an image-to-world step, drops it otherwise
// (a scale without tiepoint places nothing), and frees the context (*slot becomes null).
// Returns 0 or an error code (gblerr set: 14 for a matrix without inverse), which
// discards the page.
int geotiff_finish(geotiff_context** slot, bitmap_t* image);

// For a page discarded for another reason while a context is open: drops the
// georeference made here and frees the context (*slot becomes null).
void geotiff_discard(geotiff_context** slot);
