// View positioning: every change of what a map window shows (zoom in and out, fit to
// the data, zoom to an extent, an image or an object, re-centre, one image pixel per
// screen pixel) ends in view_set, which sets the window's centre and scales. The others
// compute a centre and a scale and call it.
//
// These routines only change the window's mapping (screen = (world + origin) * scale,
// the sign of scale y the axis direction); the caller requests the redraw. A null map
// window means the current one; with none they do nothing and return 0.
//
// Limits, both relative to the graph space's data extent: the scale is at most 600000
// times the fit scale (the scale that shows the whole data), and zooming out is refused
// once the window's smaller side, in world units, is at least twice the data's larger
// side.
//
// A target without width or height (one waypoint, a point, an image placed on a line)
// has no scale that fits it: the routines that fit such a target keep the scale and
// re-centre on it. A scale or centre that is not a finite number is never stored.
//
// Files: view_set.cpp (the core routine, the limits, zooming at a point),
// view_set_fit.cpp (extents, the whole data, images, image scales),
// view_set_object.cpp (objects and the dispatch of view_zoom_to).
#pragma once
#include "geodesy/extent.h"
#include "map/bitmap_record.h"
#include "map/view_records.h"

// The zoom-in limit, as a multiple of the fit scale.
constexpr double kViewMaxZoom = 600000.0;

// ---- The core routine and its limits ------------------------------------------------------
// Puts the world point (cx, cy) at the window's centre with the scales (sx, sy), or,
// relative (flag non-zero), the current scales times (sx, sy). Relative with sx = sy = 1
// exactly is a pure re-centre through a pending scroll (command 5) of whole pixels.
// 1 when the view changed, 0 when not.
int view_set(mapwin_t* win, double cx, double cy, double sx, double sy, int relative);
// r = max(|sx|, |sy|) / fit scale; r / 600000 when r > 600000, else 0 (also when the
// window shows no data).
double view_scale_limit(mapwin_t* win, double sx, double sy);
// The fit scale of a graph space's whole data in a surface of width x height pixels:
// min(width / data width, height / data height); 0 when there is none (no graph space,
// no data, a surface without pixels, data without width and height).
double view_fit_scale_of(const obj_t* graphspace, double width, double height);
// 0 when the window has no graph space, its extent is empty, or the window's smaller
// world side is at least twice the data's larger side; else 1.
int view_can_zoom_out(mapwin_t* win);
// Zooms by the factor keeping the world point under the pixel (x, y) in place.
int view_zoom_at(mapwin_t* win, int x, int y, double factor);

// ---- Extents, the data, images -----------------------------------------------------------
// Shows the extent (its bounds; the step is not read) as large as the window allows.
int view_zoom_extent(mapwin_t* win, extent_t extent);
// Fits the data of the graph space; a positive max_scale caps the scale.
int view_fit_all(mapwin_t* win, double max_scale);
// One image pixel per screen pixel, centred on the image; 0 when the image lies outside
// the graph space's extent.
int view_image_one_to_one(const bitmap_t* bitmap, mapwin_t* win);
// The same, then back to the world point that was at the window's centre.
int view_image_one_to_one_here(mapwin_t* win, const bitmap_t* bitmap);
// Re-centres on the image without changing the scale.
int view_center_image(mapwin_t* win, const bitmap_t* bitmap);
// Fits the image's world rectangle.
int view_fit_image(mapwin_t* win, const bitmap_t* bitmap);
// 1 when the window's graph space has exactly one layer and no layer with objects.
int view_single_layer(mapwin_t* win);
// Scales about the current centre: relative (the zoom keys), or absolute only for a
// graph space of a single layer, where with a georeference the scales count screen
// pixels per image pixel of that layer's first image.
int view_set_image_scale(mapwin_t* win, double sx, double sy, int relative);

// ---- Objects ---------------------------------------------------------------------------------
// The union of the extents of the graphic index entries that show the object in the
// layers of the window's pane, or, with no object, the extent of the current graph
// space's layer of that priority; zoomed to, or with centre_only re-centred on.
int view_zoom_object(mapwin_t* win, int priority, const obj_t* object, int centre_only);
// An object given: view_zoom_object (the one-to-one argument as the layer priority,
// centre only unless fit); else a bitmap: one to one, fitted, or re-centred; else nothing.
int view_zoom_to(mapwin_t* win, const obj_t* object, const bitmap_t* bitmap, int one_to_one,
                 int fit);
