// Graph spaces and layers: the coordinate spaces in which data sets are shown.
//
// A graph space (class 22) holds a georef, the union extent of what it shows and its
// layers in a sorted index by priority (drawing order: ascending priority). A layer
// (class 23) is one folder shown in one graph space: the folder's object list, the link
// chain from the folder's georef to the graph space's, its graphic index and its
// quadtree, and the drawing styles found in its object list. The graph space owns its
// layers; a layer owns its graphic index, quadtree, style list and link chain, never the
// folder or its object list (those belong to the file object).
//
// Both records are registered with a size and no attribute schema (the view classes'
// registration takes sizeof of the structs below); no file ever stores them.
//
// Threads. The load task and the live GPS reader create, update and free layers and
// recompute extents while the user-interface thread walks the layers (layers window,
// layer toggles) and reads the extents (scroll bars, zoom). Every such access is done
// under one process-wide recursive mutex, graphspace_mutex(): the routines of this
// module take it themselves; code elsewhere that walks `layers` or reads an `extent`
// of a graph space or layer takes a graphspace_lock for as long as it uses them. It is
// recursive because the routines here call each other. Hooks to map windows are called
// with the lock held, so a hook must never wait for another thread that takes it. The
// graph space's georef is read under it as well (a space without a system adopts one
// while a file loads). Drawing one object (drawobj_draw) takes it, because the drawing
// styles' working fields and source lists are shared with the index computation; a
// redraw pass that keeps a layer as its current layer between objects holds it for the
// whole layer, or a load task could free the layer meanwhile (the destructor clears the
// current layer of its own thread only).
//
// The current layer (the one whose graphic index is being computed or whose objects are
// being drawn) is per thread: the load task and the GPS reader never see each other's.
//
// The module is split by subject: graphspace.cpp (records, current graph space, hooks,
// creation, extents, rebuild), graphspace_georef.cpp (link chains and georef services),
// graphspace_reload.cpp (the reload command), layer.cpp (creation, update, destructor,
// layer links), layer_styles.cpp (styles and display scale).
#pragma once
#include <cstdint>
#include <mutex>

#include "core/obj_list.h"
#include "geodesy/extent.h"
#include "geodesy/xform_records.h"
#include "map/view_records.h"  // class ids 10, 20..23, map windows, panes, layer links

struct qtree_t;
struct gindex_entry_t;
struct fileatt_t;

// Priorities (drawing order): the image layer, the folders of loaded files (base + n),
// point-like representation folders and lap markers.
constexpr int kImageLayerPriority = 0;
constexpr int kFileLayerPriorityBase = 20000;
constexpr int kPointLayerPriority = 30000;

#pragma pack(push, 1)
struct layer_t;

// Class 22.
struct graphspace_t : obj_t {
  georef_t* georef;         // the space's georef (class 46), or null
  extent_t extent;          // union of the layers' extents
  extent_t fixed_extent;    // copied into every layer flagged use_fixed_extent
  double max_side;          // larger of the width and height of `extent`
  double unit_scale;        // 1.0 without georef; else 1 / min(w, h) of a 100-unit cell
  int32_t orientation;      // axis direction flag of the map windows (1: y down)
  int32_t georef_changed;   // the georef must be applied again at the next rebuild
  int32_t rebuild_layers;   // the next rebuild recomputes every layer's graphic index
  container_t* layers;      // sorted index of class 23 by `priority` (key type 1)
  extent_t domain;          // domain of the georef in its own units (georef_domain_extent)
  // The union of the layers' extents as last computed, kept so that a layer that only
  // grew (a new one above all) widens it without a walk over every layer. Any other
  // change of a layer's extent, and the removal of a layer, marks it stale.
  extent_t layers_union;
  int32_t layers_union_valid;
};

// Class 23.
struct layer_t : obj_t {
  int32_t priority;         // the folder's `layer` value when the layer was made
  int32_t movobj;           // moving objects (live GPS position and track)
  double scale_threshold;   // display scale threshold (text drawing)
  graphspace_t* graphspace; // back pointer
  container_t* objects;     // the folder's object list (`sot`), not owned
  container_t* gindex_list; // graphic index list, only while the index is computed
  container_t* gindex_sorted;  // graphic index: sorted by the entries' object
  qtree_t* qtree;           // quadtree (class 26) or null
  georef_t* georef;         // first georef (class 46) of the object list, not owned
  xform_chain_t* cs_link;   // link chain from the layer's georef to the graph space's, owned
  int32_t use_fixed_extent;
  extent_t extent;          // union of the objects' display extents
  container_t* styles;      // drawing styles of the object list (dsegpoint excepted), owned
  obj_t* folder;            // the folder (class 19) shown, not owned
};
#pragma pack(pop)

// Marks the union of the layers' extents of the layer's graph space stale: for a change
// of a layer's extent made outside graphspace_update_layer.
void graphspace_layer_extent_changed(const layer_t* layer);

// ---- Lock, current graph space, current layer ---------------------------------------------
std::recursive_mutex& graphspace_mutex();
using graphspace_lock = std::lock_guard<std::recursive_mutex>;

// The current graph space (the frame creates it on first use and sets it here); every
// operation given a null graph space works on it.
void graphspace_set_current(graphspace_t* gs);
graphspace_t* graphspace_current();
// The layer whose graphic index is being computed, or whose objects are drawn (per thread).
void set_current_layer(layer_t* layer);
layer_t* get_current_layer();

// ---- Hooks to the map windows ---------------------------------------------------------
// The map windows are filled in by the display; until then every slot does nothing.
struct graphspace_view_hooks {
  // Adds a rectangle (graph units, the step a pixel margin) to the invalid rectangles of
  // one pane's map window.
  void (*pane_redraw)(pane_t* pane, extent_t e);
  // Adds a layer to the pane of the current map window.
  void (*mapwin_add_layer)(mapwin_t* mapwin, layer_t* layer, obj_t* folder);
  // Drops a layer from the pane of every map window (layer destructor).
  void (*drop_layer_everywhere)(layer_t* layer);
  // Brings the scroll bars of a map window showing the graph space in line.
  void (*mapwin_sync_scrollbars)(mapwin_t* mapwin);
};
// Installs the hooks (null slots do nothing); null restores the defaults.
void graphspace_set_view_hooks(const graphspace_view_hooks* hooks);
const graphspace_view_hooks& graphspace_get_view_hooks();

// ---- Graph spaces ---------------------------------------------------------------------
graphspace_t* graphspace_new(georef_t* georef, graphspace_t** out);
// Frees a graph space with its layers (its georef is not owned).
void graphspace_free(graphspace_t** gs);
void graphspace_rebuild(graphspace_t* gs);
void graphspace_compute_extent(graphspace_t* gs, extent_t* out);
void graphspace_set_extent(graphspace_t* gs, extent_t extent);
void graphspace_update_layer(graphspace_t* gs, layer_t* layer, int force_tree);
// Adds one folder of a loaded file (priority 20000 + counter when it has none yet): the
// image it shows joins the image layer, linked in the drawing order of that priority,
// and what else it holds becomes a layer of its own. 1 when something was added.
int graphspace_add_file(graphspace_t* gs, obj_t* folder, int* counter);
layer_t* graphspace_add_folder(obj_t* folder, graphspace_t* gs, int use_fixed_extent,
                               layer_t** out);
layer_t* mapwin_find_layer(graphspace_t* gs, obj_t* folder, layer_t** out);
// The object list of the next layer of non-zero priority with objects; null at the end.
container_t* graphspace_next_layer(graphspace_t* gs, int* position, container_t** out);
// The layer of a priority (exact search), or null.
layer_t* graphspace_layer_of_priority(graphspace_t* gs, int priority, layer_t** out);
void graphspace_remove_object(graphspace_t* gs, obj_t* object);
// Command 20: the current task text is "1" (reload) or "0" (close) + a file name.
int graphspace_reload_files();
// The same for a given text (the command's routine reads the task text and calls this).
int graphspace_reload_text(const char* text);

// ---- Layers ---------------------------------------------------------------------------
layer_t* layer_create(obj_t* folder, graphspace_t* gs, int force_tree, int use_fixed_extent,
                      layer_t** out);
// Free routine of class 23.
void layer_destroy(obj_t* layer);
void layer_compute_scale(layer_t* layer);
double layer_unit_size(layer_t* layer);
// The pixel size with which the extents of a layer's symbols and labels are widened by
// their size in pixels: at most the size of a pixel when the layer's data fills a view
// of 1000 pixels (a style's own `geopixsize` is the size at the scale its data was
// designed for, which may be far coarser than the scale the view is fitted to, and a
// label widened by it would make the data a dot in the fitted view). 0 takes symbols
// and labels as points; a negative size (none set) leaves each style's own.
void layer_set_margin_pixel(const layer_t* layer, double size);
double layer_margin_pixel(const layer_t* layer);
void layer_forget_margin_pixel(const layer_t* layer);
// After every folder of a loaded file has its layer: a layer whose data lies all at one
// place (a lone point) has no spread to size its margins by, and a style's own pixel
// size would make its symbol and label cover degrees around it (the fit to the file
// would then show the rest of the file as a small cluster). Such a layer is updated
// again with the spread of the file's shown data (its displayed folders, as the fit
// takes them) standing for its own.
void layer_size_by_file(graphspace_t* gs, const fileatt_t* file);
int layer_count_text_points(layer_t* layer);
void layer_collect_styles(layer_t* layer);
int style_exists(const container_t* list, int style_class, int source_class);
int style_is_active(const obj_t* object);
void graphspace_free_entry(gindex_entry_t* entry);

// ---- Redraw requests (graph units, passed by value) ------------------------------------
void view_redraw_rect(graphspace_t* gs, extent_t e);
void pane_redraw_rect(pane_t* pane, extent_t e);
void view_redraw_object(layer_t* layer, obj_t* object);
void layer_redraw_all(layer_t* layer);

// ---- Extents --------------------------------------------------------------------------
void extent_of_entry(const gindex_entry_t* entry, extent_t* out);
void layer_extend_extent(layer_t* layer, extent_t e);
void layer_clear_extent(layer_t* layer);
int layer_has_drawable(const layer_t* layer);
void layer_display_extent(extent_t* out, const pane_t* pane, const layer_t* layer);

// ---- Image links of the image layer ------------------------------------------------------
int layer_link_get_value(graphspace_t* gs, const obj_t* object, int* out);
void layer_link_set_value(graphspace_t* gs, const obj_t* object, int value);

// ---- Georef services of graph spaces ----------------------------------------------------
// The link chain of a layer whose objects carry `georef` (null when none is needed); a
// graph space without a system takes the object's and gets no chain.
xform_chain_t* objcs_link(graphspace_t* gs, const georef_t* georef, xform_chain_t** chain);
void objcs_relink_all(graphspace_t* gs);
int view_set_georef(graphspace_t* gs, layer_t* layer, georef_t* georef);
georef_t* graph_get_georef(graphspace_t* gs, georef_t** out);
// Name of the datum (refertype 1) or projection (2) of an object's georef; null else.
const char* object_get_system(const obj_t* object, const char** name);
void graph_system_of(graphspace_t* gs, geodatum_t** datum, cartproj_t** projection,
                     int* has_layers);
void graphspace_refresh_georef(graphspace_t* gs);
// The area the current map window shows of the graph space (its client area 0..width,
// 0..height carried into world coordinates), cut to `bounds` and carried into the
// coordinates of `other`: through the space's unit step, from the space's datum and
// projection to other's (crs_transform_extent), then back through other's unit step.
// *flag (also the result) is 1 when the space is georeferenced and the area is not
// empty; 0 with *out the null extent when the space or other is not georeferenced,
// there is no current map window (or it shows another space), the area misses
// `bounds`, or the conversion fails (a conversion error is put aside: the flag says it).
int graphspace_visible_extent(graphspace_t* gs, const georef_t* other, extent_t bounds,
                              extent_t* out, int* flag);
// Sets the graph space's system to a copy of `georef` (the setter of the space).
void graphspace_take_system(graphspace_t* gs, const georef_t* georef);
// Maps a layer-coordinate point into graph units through the layer's link.
void layer_to_graph(const layer_t* layer, double* x, double* y);
