// The OziExplorer map calibration file (decoder code 60 of the image loading): a text
// file that names an image and gives the world positions of some of its pixels. The
// decoder loads the image it names, fits the image-to-world step to the calibration
// points and puts the georeferenced image in place of the record being loaded.
//
// The file, line by line: two lines skipped, the image path (only its base name is
// used: the image lies beside the calibration file), one line skipped, the datum name
// (first field of line 5, in the OziExplorer names of the geodesy tables), lines to 8
// skipped, then "Map Projection,<name>,..." on line 9. Up to 30 "PointNN" lines follow:
// pixel x and y in fields 3 and 4, latitude degrees, minutes and N/S in fields 7 to 9,
// longitude degrees, minutes and E/W in fields 10 to 12, and for projected maps the
// word "grid", a zone, easting, northing and N/S in fields 13 to 17. A projection that
// is neither in the tables nor UTM comes from the "Projection Setup" line; the image
// height from the "IWH" line.
//
// Pixel coordinates are those of the image's corners: (0, 0) is the top-left corner of
// the top-left pixel, (width, height) the bottom-right corner of the last one. The fit
// is affine by least squares from three points up, a similarity from two. A north-up
// fit keeps the image's pixels, mapped exactly onto the calibration; any other is
// resampled into the map's axes (ozi_map.cpp).
//
// Results: 0; 2 when the calibration file or the image cannot be opened or the image is
// not a raster image; 13 for a datum or projection that the tables lack; 14 for a
// missing required line (no "Map Projection", no "IWH", no "Projection Setup" when one
// is needed), fewer than two usable points, points that fix no transformation, or a
// number that is not finite; else the error of loading the image. gblerr is clear on
// return, and the record being loaded is replaced only on success.
//
// Files: ozi_map_parse.cpp (reading the file), ozi_map_georef.cpp (the georeference and
// the fit), ozi_map.cpp (loading the image, the decoder row).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "raster/image_load.h"

struct bitmap_t;
struct cartproj_t;
struct geodatum_t;
struct georef_t;
struct obj_t;
struct xform_affine3d_t;

// Projection kinds of the names that OziExplorer writes (-1: geographic coordinates, or
// a projection this system does not have); -1 for an unknown name as well.
int ozi_projection_kind(const char* name);

// One "PointNN" line that gave a pixel position.
struct ozi_point {
  double px = 0, py = 0;      // pixel position
  double lon = 0, lat = 0;    // minutes of arc, east and north positive
  int zone = 0;               // grid zone (0 when not given)
  bool grid = false;          // easting and northing given
  bool south = false;         // grid hemisphere "S"
  double easting = 0, northing = 0;
};

// What the calibration file says, before any lookup in the tables.
struct ozi_map_text {
  std::string image_name;       // base name of the image path
  std::string datum_name;
  std::string projection_name;
  std::vector<ozi_point> points;
  bool has_setup = false;       // a "Projection Setup" line was found
  std::string setup[7];         // its fields: origin latitude, longitude, scale factor,
                                // false easting, northing, standard parallels 1 and 2
  bool has_height = false;      // an "IWH" line was found
  double height = 0;            // its image height
};

// Reads the calibration file (a file object of the reader). 0, 2 (cannot be opened) or
// 14 (no "Map Projection" line, or a number that is not finite).
int ozi_map_read_text(obj_t* file, ozi_map_text* out);

// The calibration: the georeference of the image's world coordinates and the step from
// pixel (column, row) to them. The caller owns both (free_obj).
struct ozi_calibration {
  georef_t* georef = nullptr;
  xform_affine3d_t* step = nullptr;
};
// From the text: datum, projection, points and fit. 0, 13 or 14 (see above); nothing is
// left allocated on failure. gblerr is left as the lower layers set it.
int ozi_map_calibrate(const ozi_map_text& text, ozi_calibration* out);

// The decoder: `*image` is the record being loaded (its file object the calibration
// file). On success the record is freed and *image is the georeferenced image. A second
// decode (an existing record whose lines are wanted again) copies the image's lines
// into the record's stores. `extra` is the dispatcher's extra argument (unused).
int ozi_read_map_file(bitmap_t** image, intptr_t extra);
// The row of the dispatcher's table for code 60.
int ozi_map_decoder(const image_decode_call& call);
// Fills row 60 of the dispatcher's table.
void ozi_map_register();
// Start-up of the module (the program's "ozi_init" step): the projection names are
// constant data, so this only fills row 60.
void ozi_init();
