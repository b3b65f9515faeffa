// What the image loading keeps about an image beside its record: the GPS position it
// was shot at (a position object, class 103, owned), the nominal half-size of an image
// placed at that position, the rotation that brings a photo upright, and its mean pixel
// size.
//
// The record's layout is fixed to the byte for the outside plug-in and has no room for
// an owned position; the mean pixel size lives in the record's loader words after the
// resolutions (a double), the rest in a table here keyed by the record. The table entry
// of a record goes when the record is destroyed (image_place_forget, called through the
// bitmap hooks).
#pragma once

struct bitmap_t;
struct position_t;

// The image's position record, or null.
position_t* image_position(const bitmap_t* image);
// Gives the image a position record (owned; an earlier one is freed). Null drops it.
void image_set_position(bitmap_t* image, position_t* position);
// Nominal half-size in metres; 0 when none was set.
double image_half_size(const bitmap_t* image);
void image_set_half_size(bitmap_t* image, double half_size);
// Mean ground size of one pixel (0 when never computed).
double image_mean_pixel_size(const bitmap_t* image);
void image_set_mean_pixel_size(bitmap_t* image, double size);
// Rotation code that brings a photo upright (from its EXIF orientation): 0 none, 1 a
// quarter turn counter-clockwise, 2 clockwise, 3 a half turn, 4 a left-right mirror, 5 a
// top-bottom mirror, 6 a clockwise quarter turn then a mirror, 7 a counter-clockwise
// quarter turn then a mirror. The image viewer applies it.
int image_rotation(const bitmap_t* image);
void image_set_rotation(bitmap_t* image, int code);
// Frees what the table holds for the image, and the image-to-world step of its
// georeference, offset-and-scale or model matrix (the georeference's own free routine
// frees only unit steps).
void image_place_forget(bitmap_t* image);
// Empties the table (tests, after the object store was reset).
void image_place_reset();
