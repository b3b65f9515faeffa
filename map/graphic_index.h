// The graphic index of a layer: for every object that one of the layer's drawing styles
// draws, the extent the drawing covers and a weighted representative point.
//
// An entry (class 33) is keyed by the drawn object (for a track drawn by a segment-point
// style, the style itself). While a layer's index is computed, entries are appended to a
// plain list (`gindex_list`) and sorted once at the end into `gindex_sorted` (key type 11
// on `object`, compared by id); entries that share an object are then merged in one pass.
// Outside a computation the entries live in the sorted index alone. The layer's extent
// is the union of the entries' extents. The quadtree (quadtree.h), the redraw requests
// and the searches read the index; the live GPS reader updates it object by object.
//
// Extents are computed by the extent routines of the drawing styles (draw_styles.h),
// found in a table indexed by drawing class (slots 2..9; 0, 1 and 10 stay empty);
// gindex_init fills it. The layer being computed is the current layer of graphspace.h
// (set_current_layer / get_current_layer), which the extent routines read.
//
// Files: graphic_index.cpp (records, table, lookups, merge, extents),
// graphic_index_compute.cpp (computation and updates).
#pragma once
#include <cstdint>

#include "core/obj_list.h"
#include "geodesy/extent.h"

struct layer_t;

constexpr int CLS_GINDEX_ENTRY = 33;

#pragma pack(push, 1)
// Class 33. The extent is in graph units; its step is a margin in pixels for symbols
// drawn at a fixed pixel size (layers of moving objects). cx and cy place the
// representative point inside the extent as fractions 0..255 of its width and height;
// weight counts the contributions averaged into that point.
struct gindex_entry_t : obj_t {
  obj_t* object;
  extent_t extent;
  uint8_t cx;
  uint8_t cy;
  uint32_t weight;
};
#pragma pack(pop)
static_assert(sizeof(gindex_entry_t) == 62);

// Extent routine of a drawing class: (style, object, father or null, out). Returns
// non-zero with out's extent, cx, cy and weight filled when the object has a drawable
// extent, 0 otherwise. `out` is a scratch entry, never one of an index.
using gindex_extent_fn = int (*)(obj_t* style, obj_t* object, obj_t* father,
                                 gindex_entry_t* out);
constexpr int kGindexExtentSlots = 11;

// Extent of an image (bitmap, class 1) shown through a `layer_link`: computes the
// image's extent and adds it to the current layer with gindex_add_extent (clip, image,
// ...). Filled by gindex_init from draw_styles.h (`image_extent_update`).
using gindex_image_extent_fn = void (*)(extent_t clip, obj_t* image);

// Progress text shown while an index is computed ("Calcul de l'index graphique " /
// "Graphic index calculation "); null until the progress window installs one.
using gindex_progress_fn = void (*)(const char* text);

// ---- Start-up and routine tables --------------------------------------------------------
// Registers class 33 and fills the extent routine table.
void gindex_init();
// The routine of a drawing class (null for an empty slot or a class outside 0..10).
gindex_extent_fn gindex_extent_routine(int cls);
// Replaces one slot (tests and the drawing styles' own start-up); returns the old one.
gindex_extent_fn gindex_set_extent_routine(int cls, gindex_extent_fn fn);
gindex_image_extent_fn gindex_set_image_extent_routine(gindex_image_extent_fn fn);
void gindex_set_progress_hook(gindex_progress_fn fn);
// The progress caption by language.
const char* gindex_progress_text();

// ---- Entries ------------------------------------------------------------------------------
// New list and sorted index over it for the layer (previous ones are freed).
void gindex_create(layer_t* layer);
// A new entry for the object in the current layer: appended to its list while the list
// exists, else inserted into its sorted index. Null object (or no current index): null.
gindex_entry_t* gindex_get_entry(obj_t* object, gindex_entry_t** out);
// The layer's entry of an object (exact search), or null.
gindex_entry_t* gindex_find(const layer_t* layer, const obj_t* object, gindex_entry_t** out);
// The entry's extent, or the empty extent when the object has none.
void gindex_object_extent(extent_t* out, const layer_t* layer, const obj_t* object);
// The entry's extent, grown on every side by its pixel margin at the pane's scale; a
// null entry gives the empty extent. pane may be null (no growth).
void gindex_display_extent(extent_t* out, obj_t* pane, const gindex_entry_t* entry);
// The layer's extent; empty for a null layer.
void layer_get_extent(const layer_t* layer, extent_t* out);
// Clears the layer's extent, then unions the extent of every entry.
void layer_recompute_extent(layer_t* layer);
// Merges a contribution (extent, cx, cy, weight) into an entry.
void gindex_merge(gindex_entry_t* entry, const gindex_entry_t* contribution);
// Adds a contribution for an object to the current layer (clip: the graph space's fixed
// extent; an empty clip clips nothing).
void gindex_add_extent(extent_t clip, obj_t* object, const gindex_entry_t* contribution);
// Contributions of every object a style draws (a segment-point style: one entry keyed by
// the style, built from its segments).
void gindex_add_style_objects(extent_t clip, obj_t* style);
// Recomputes the layer's extent and, when it has an index (or recreate is set, which
// makes a new one), its entries.
void gindex_compute(layer_t* layer, int recreate);
// Recomputes the entry of one object (live GPS display).
void gindex_update_object(layer_t* layer, obj_t* object);
// Removes and frees the object's entry; the layer's extent is then recomputed.
void gindex_remove_object(layer_t* layer, const obj_t* object);
// Frees every entry of an index and the index; *index becomes null.
void gindex_free(container_t** index);
