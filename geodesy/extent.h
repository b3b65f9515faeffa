// Extents: the one rectangle type of the system, its arithmetic, and the extent list
// (class 58) in which the redraw engine collects the rectangles waiting to be drawn.
//
// An extent is five doubles, passed by value or by address: the bounds and a margin
// (`step`) carried with the rectangle. A rectangle without area is empty only when its
// step is 0. The null extent has all five values exactly 0.
//
// Rectangles kept in extent lists may be snapped to a grid tied to a graph space: its
// spacing is 1e-8 times the larger side of the graph space's data extent. Graph spaces
// belong to the map model, which tells this module their data extent through
// graphspace_set_extent_source; without a source, or without a graph space, nothing is
// snapped.
#pragma once
#include "core/core_classes.h"
#include "core/object.h"

struct extent_t {
  double xmin, xmax, ymin, ymax;
  double step;  // margin (pixels of fixed-size symbols)
};
static_assert(sizeof(extent_t) == 40);

// ---- Records --------------------------------------------------------------------------
// Frees what the owner holds and stores a new zero-filled (null) extent.
extent_t* extent_new(extent_t** owner);
int extent_clear(extent_t* e);
// Swaps the bounds of each axis that is reversed.
void extent_normalize(extent_t* e);
// (xmax <= xmin or ymax <= ymin) and a step of 0 (a NaN step counts as non-zero).
int extent_is_empty(extent_t e);
int extent_is_null(extent_t e);
// Touching rectangles are disjoint.
int extent_disjoint(extent_t a, extent_t b);
// 0 and a unchanged when disjoint; else a becomes the intersection, step the smaller.
int extent_intersect(extent_t* a, extent_t b);
// As extent_intersect with b's bounds only; a keeps its step.
int extent_intersect4(extent_t* a, double xmin, double xmax, double ymin, double ymax);
// A null b changes nothing; a null a becomes b; else the outer bounds, step the larger.
void extent_union(extent_t* a, extent_t b);
double extent_width(extent_t e);
double extent_height(extent_t e);
double extent_center_x(extent_t e);
double extent_center_y(extent_t e);
// The larger of width and height.
double extent_max_side(extent_t e);
// Grows each side by d (a negative d shrinks).
void extent_inflate(extent_t* e, double d);
// Direction 2: form = (centre x, width, centre y, height) of the extent; otherwise the
// extent's bounds are built from form (its step is kept).
void extent_center_form(int direction, extent_t* e, double form[4]);

// ---- Grid of a graph space --------------------------------------------------------------
// Writes a graph space's data extent; returns 1 when it has one.
using graphspace_extent_fn = int (*)(const obj_t* graph_space, extent_t* out);
void graphspace_set_extent_source(graphspace_extent_fn fn);
// The larger side of the graph space's data extent; 0.0 for none.
double graphspace_max_side(const obj_t* graph_space);
// Snaps the bounds outwards to the grid, so that the result contains the rectangle.
void extent_snap_grid(const obj_t* graph_space, extent_t* e);

// ---- Extent lists (class 58) ------------------------------------------------------------
// The element data of a list is freed by extent_list_free (core_classes.h), the free
// routine of the class: count and capacity become 0 and the list object stays.
constexpr int kExtentListMergeLimit = 100;

extent_list_t* extent_list_create(obj_t* owner, extent_list_t** out);
void extent_list_delete(extent_list_t** list);
int extent_list_count(const extent_list_t* list);
// A copy of entry i (the null extent outside the list).
extent_t extent_list_at(const extent_list_t* list, int i);
// Appends the extent snapped to the grid, unless it is empty.
void extent_list_append(const obj_t* graph_space, extent_list_t* list, extent_t e);
// 1 when a and b are worth merging (their union costs less than three times their
// areas); the union is then written to merged.
int extent_merge_worth(extent_t a, extent_t b, extent_t* merged);
// Adds a rectangle to redraw, merged into the first entry that accepts it; a list of
// more than 100 entries collapses into the rectangle around all of them.
void extent_list_add_merged(const obj_t* graph_space, extent_list_t* list, extent_t e);
// The first entry that is not empty once snapped (empty ones are dropped): its address
// (valid until the list changes) and 1; 0 when the list is empty.
int extent_list_next(const obj_t* graph_space, extent_list_t* list, extent_t** out);
// Removes a drawn rectangle from the area the list covers: each entry it overlaps is
// replaced by its parts outside it.
void extent_list_subtract(const obj_t* graph_space, extent_list_t* list, extent_t r);
