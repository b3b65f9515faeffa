// Shared by the georeferencing files of the raster operations.
#pragma once
#include "geodesy/georef.h"

struct bitmap_t;

// A class 42 offset-and-scale step with its class 41 origins (input -> output).
obj_t* make_offset_scale(double sx, double sy, double sz, double in_x, double in_y,
                         double out_x, double out_y);
// The georeference's pixel step replaced (the old one freed), kind 1.
void georef_set_pixel_step(georef_t* g, obj_t* step);
double degrees_to_unit(int unit, double degrees);
double unit_to_degrees(int unit, double value);
void half_sides(const bitmap_t* image, double half, double* hx, double* hy);
bool corners_around(geodatum_t* datum, double x, double y, double hx, double hy,
                    double corners[4]);
obj_t* centred_step(const bitmap_t* image, double x, double y, const double corners[4]);
