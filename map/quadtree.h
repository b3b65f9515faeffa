// The quadtree of a layer and the visible list of the redraw.
//
// A layer may carry a quadtree (class 26) over the display extents of its drawn objects,
// so that redrawing a small rectangle only visits the objects that meet it. Vector trees
// are filled from the layer's graphic index entries (graphic_index.h) with 10 entries
// per leaf; an entry is pushed down only into nodes more than 4 times its size, so large
// objects stay high and small ones sink, and an entry that straddles a split lives in
// every child it meets. The image layer (priority 0) has an image tree filled from its
// `layer_link` records, split until each node is no more than half an image wide or
// high in that image's pixels, its slots kept in ascending drawing order.
//
// Extents "meet" when they overlap with non-zero area: touching counts as disjoint
// (extent_disjoint). Two faults of the plain rules are mended here: an entry that meets
// none of the children of the node it is pushed through (a point or line lying on the
// split lines) stays in that node instead of being dropped, and no node is split below
// depth kQtreeMaxDepth, so duplicate or degenerate extents cannot split without end.
//
// The visible list is the list of objects to draw for the current rectangle of the
// current layer; the drawn set remembers the objects already drawn in a pass (the last
// 1024), so an object reachable through several nodes is drawn once; the image pairs
// list the images of the image layer by drawing order; the resume point (pane and
// layer) lets an interrupted redraw continue where it gave way. The routines of the
// redraw pass, the raster display and the dispatcher that this module calls are reached
// through visible_hooks until those modules exist.
//
// Files: quadtree.cpp (records, building, insertion, removal), quadtree_pack.cpp (the
// packed tree), quadtree_images.cpp (image trees),
// quadtree_query.cpp (queries), quadtree_visible.cpp (visible list and drawing),
// quadtree_view.cpp (the view records as the tree reads them).
#pragma once
#include <cstdint>

#include "core/obj_list.h"
#include "core/pairlist.h"
#include "geodesy/extent.h"
#include "map/graphic_index.h"

struct layer_t;

constexpr int CLS_QTREE = 26;
constexpr int kQtreeLeafCapacity = 10;
// Entries are pushed into a child only when the node is more than this many times the
// entry's width and height.
constexpr double kQtreePushRatio = 4.0;
// Depth (root 0) below which no node is split.
constexpr int kQtreeMaxDepth = 32;
constexpr int kDrawnSetCapacity = 1024;

// One slot of a node: the graphic index entry of the object and, in image trees, the
// object's `layer_link`. A vector tree has no link: its second word holds the entry's
// object instead, so that a query reads the slot alone and never waits for the entry
// record (a million of them lie all over the heap).
struct qtree_slot {
  gindex_entry_t* entry;
  union {
    obj_t* link;    // image trees
    obj_t* object;  // vector trees: entry->object
  };
};

// Children: 0 upper right (x >= cx, y >= cy), 1 upper left, 2 lower left, 3 lower right,
// (cx, cy) being the centre of the node's extent; all null in a leaf. The four children
// of a node are made together in one block (child[0] is its start), so that siblings
// lie side by side and a tree of a million entries costs a quarter of the allocations.
struct qtree_node {
  qtree_node* child[4];
  extent_t extent;     // the node's area in graph units
  qtree_slot* entries; // `count` slots (capacity slots allocated)
  int32_t count;       // slots in use
  int32_t capacity;
  int32_t depth;       // 0 at the root
  int32_t flags;       // kQtree... bits below
};
static_assert(sizeof(qtree_node) == 96);
// The slots carry layer links (image trees).
constexpr int32_t kQtreeLinks = 1;
// A built vector tree is copied into one block, nodes in the order a query visits them
// with each node's slots right behind it: its slots, and its children, then lie in
// that block and are neither reallocated nor freed alone (a later insertion that needs
// room copies them out first).
constexpr int32_t kQtreeSharedSlots = 2;
constexpr int32_t kQtreeSharedChildren = 4;

#pragma pack(push, 1)
// Class 26: the tree of a layer (layer_t::qtree).
struct qtree_t : obj_t {
  int32_t spare;
  qtree_node* root;
};
#pragma pack(pop)
static_assert(sizeof(qtree_t) == 20);

// ---- Start-up ------------------------------------------------------------------------------
// Registers class 26, creates the drawn set (capacity 1024) and the visible list.
void qtree_init();

// ---- Trees -----------------------------------------------------------------------------------
// Frees an existing tree and makes a new empty one whose root covers the layer's extent
// (widened in place by 1 % on each side for a layer of non-zero priority).
void qtree_build(layer_t* layer);
// qtree_build, then every graphic index entry of the layer inserted (vector layers); the
// tree is then packed into one block (kQtreeSharedSlots).
void qtree_rebuild(layer_t* layer);
// The image layer: clears the graph space's `rebuild_layers`, qtree_build, then inserts
// the entry of every `layer_link`'s image.
void qtree_build_images(layer_t* layer);
// Frees the nodes and the class-26 record; layer->qtree becomes null.
void qtree_free(layer_t* layer);
// Removes, in every node, the first slot whose entry's object has this id.
void qtree_remove_object(layer_t* layer, int object_id);

// Vector trees.
void qtree_insert(qtree_node* node, gindex_entry_t* entry);
// 0: not pushed (kept by the caller); 1: pushed into the children it meets.
int qtree_push_down(qtree_node* node, gindex_entry_t* entry);
// Image trees.
void qtree_insert_image(qtree_node* node, obj_t* link, gindex_entry_t* entry);
void qtree_node_add(qtree_node* node, obj_t* link, gindex_entry_t* entry);
void qtree_split_images(qtree_node* node);
// Number of nodes of a subtree (diagnostics and tests).
int qtree_node_count(const qtree_node* node);

// ---- Queries -----------------------------------------------------------------------------------
// The query rectangle Q in graph units (the current invalid rectangle).
void visible_set_query(extent_t q);
extent_t visible_query();
// Collects the entries of every node meeting Q: the objects into the visible list (layers
// of non-zero priority), or the shown images into the image pairs (the image layer). The
// current layer (get_current_layer) tells which; nodes covering less than a pixel of the
// current pane are not descended (no pane: no such limit).
void qtree_query(qtree_node* node);
// Layers without tree: every entry whose display extent meets Q.
void layer_query_all(layer_t* layer);

// ---- Visible list, drawn set, image pairs, resume point ---------------------------------------
container_t* visible_list();
container_t* drawn_set();
pairlist* image_pairs();
// The pane and layer whose drawing was interrupted (both null when nothing is pending).
void redraw_resume_point(obj_t** pane, layer_t** layer);
void visible_list_reset();

// Draws the current layer's pending rectangles of the current pane; 1 when it gave way.
int layer_draw_invalid_rects();
// Draws the visible list (or the image pairs); 1 when it gave way.
int draw_visible_objects();
// Continues an interrupted drawing; its result, 0 without resume point.
int redraw_resume();
// Prints an image layer in horizontal bands of 200 pixels.
void layer_print_images_banded();

// ---- Routines of the redraw pass, the raster display and the dispatcher -------------------------
// Each null slot does nothing (and answers 0 / null), except those marked. The
// defaults read the view records; the drawing of objects goes to drawobj_draw.
struct visible_hooks {
  int (*draw_object)(obj_t* object);        // draws one object; non-zero: interrupted
  int (*work_pending)();                    // a command is waiting
  obj_t* (*current_pane)();                 // the pane being drawn
  extent_list_t* (*current_rects)();        // the current layer's rectangle list
  extent_list_t* (*pane_raster_rects)(obj_t* pane);  // the pane's second list
  // Pane mapping (screen = (world + origin) * scale): null slots map with scale 1.
  void (*world_to_screen)(obj_t* pane, extent_t world, extent_t* out);
  void (*screen_to_world)(obj_t* pane, extent_t screen, extent_t* out);
  extent_t* (*pane_rect)(obj_t* pane);      // the pane's current rectangle (screen)
  int (*pane_page)(obj_t* pane, extent_t* out);  // the pane's page extent (screen); 0: none
  int (*pane_printing)(obj_t* pane);
  int (*pane_ready)(obj_t* pane);           // null slot: ready when its rectangle is not empty
  // The raster display (raster_display.h) by default: one DIB per rectangle.
  void (*raster_begin)();
  int (*raster_draw)(obj_t* image);         // non-zero: interrupted
  void (*raster_end)();
  // The extent of a world rectangle in an image's pixels, and the image's size; 0 when
  // the image cannot be mapped (then it never splits a node).
  int (*image_pixels)(obj_t* image, extent_t world, extent_t* out, int* width, int* height);
  void (*set_current_pane)(obj_t* pane);    // makes a pane the current one
  void (*begin_drawing)(obj_t* pane);       // starts drawing into a pane
  void (*end_drawing)();
};
void visible_set_hooks(const visible_hooks* hooks);  // null restores the defaults
const visible_hooks& visible_get_hooks();
