// Drawing styles: objects that bind one source class to one drawing primitive.
//
// A style is an object of the store (classes 2..9), a son of a folder's object list beside
// the data it draws, so it is loaded, saved and edited like any other object. For each
// display attribute it holds either the byte position of a source attribute (the `p`
// attributes: > 0 in the source record, < 0 in the father's record when `typeperesrc` is
// set, 0 unbound) or a fixed value (the `v` attributes). The attribute-load routine of a
// class reads the bound values of one object into the `v` attributes and copies the
// object's coordinates into the working fields that follow the schema; the extent routine
// turns them into the bounding box and pixel margin of the drawing (graphic index); the
// draw routine draws it. The three routines are found in tables indexed by class id.
//
// Each record below is the schema's attributes in schema order (the registered
// descriptor; offsets are the running sum of the type sizes) followed by working fields.
// The layouts are checked against the descriptors at compile time (draw_style_schemas.cpp).
//
// Safety: every bound position is checked against the size of the record it reads (a
// style read from a file may carry any number); an out-of-range position leaves the
// fixed value in place. A `dtext` keeps its own fixed string in `vstring` (owned, freed
// by the class's free routine); the string of a loaded object goes to the working `text`
// pointer, never into `vstring`.
//
// Files: draw_styles.cpp (registration, tables, dispatch), draw_style_schemas.cpp
// (descriptors), draw_style_attrs.cpp (attribute loading), draw_style_extents.cpp (extent
// routines and image extents).
#pragma once
#include <cstdint>

#include "core/obj_list.h"
#include "geodesy/extent.h"
#include "map/bitmap_record.h"  // CLS_BITMAP, the image record

struct gindex_entry_t;
struct layer_t;

constexpr int CLS_DIMAGE = 2;
constexpr int CLS_DSEGMENT = 3;
constexpr int CLS_DPOINT = 4;
constexpr int CLS_DTEXT = 5;
constexpr int CLS_DSEGPOINT = 6;
constexpr int CLS_DPOLYCURVE = 7;
constexpr int CLS_DRECTANGLE = 8;
constexpr int CLS_DARCELLIP = 9;
constexpr int kDrawTableSlots = 11;

#pragma pack(push, 1)
// A point value of a source record: x, y and a single-precision elevation.
struct style_point_t {
  double x, y;
  float z;
};
static_assert(sizeof(style_point_t) == 20);

// A two-point value of a source record (segment ends, rectangle corners) and a spare.
struct style_twopoints_t {
  double x1, y1, x2, y2;
  double spare;
};
static_assert(sizeof(style_twopoints_t) == 40);

// A pixel offset: two 16-bit integers in one word.
struct pixel_offset_t {
  int16_t x, y;
};

// The attributes every style begins with.
struct drawstyle_t : obj_t {
  int32_t typesrc;        // class of the source objects
  int32_t typeperesrc;    // class of their father; non-zero: negative positions read it
  container_t* contsrc;   // source list
  double meterpixsize;    // ground size of a pixel (metres) the style was designed for
  double geopixsize;      // one screen pixel in the layer's units
};

struct dimage_t : drawstyle_t {  // class 2
  int32_t pptcoord, ppixy, pimg, pcolour, pscale, psize;
  obj_t* vimg;            // a bitmap (class 1), not owned
  uint32_t vcolour;
  double vscale;
  int32_t vsizew, vsizeh;
  pixel_offset_t vpixy;
  style_point_t pt;       // working: the point of the object loaded
  obj_t* symbol;          // working: the symbol copy prepared for drawing, not owned
};

struct dsegment_t : drawstyle_t {  // class 3
  int32_t prcoord, pthickness, pcolour, pmotif, pplane;
  int32_t vthickness;
  uint32_t vcolour;
  int32_t vmotif, vplane;
  style_twopoints_t seg;  // working: the two end points
};

struct dpoint_t : drawstyle_t {  // class 4
  int32_t pptcoord, ppixy, pthickness, pcolour, pmotif, pshape, pplane, porient;
  int32_t vthickness;
  uint32_t vcolour;
  int32_t vmotif, vshape, vplane;
  double vorient;
  pixel_offset_t vpixy;
  style_point_t pt;       // working
};

struct dtext_t : drawstyle_t {  // class 5
  int32_t pptcoord, pzone, ppixy, pstring, psize, pthickness, pcolour, pfont, punderital,
      pplane, porient;
  char16_t* vstring;      // owned fixed text
  int32_t vsize, vthickness;
  uint32_t vcolour;
  int32_t vfont, vunderital, vplane;
  double vorient;
  pixel_offset_t vpixy;
  style_point_t pt;       // working
  const char16_t* text;   // working: the text to draw (the object's, or vstring)
};

struct dsegpoint_t : drawstyle_t {  // class 6
  int32_t pptcoord, ph, pthickness, pcolour, pmotif, pshape, pplane, plinkthick, plinkmotif;
  int32_t vthickness;
  uint32_t vcolour;
  int32_t vmotif, vshape, vplane, vlinkthick, vlinkmotif;
  style_point_t pt;       // working: the point loaded
  double next_x, next_y;  // working: the next point of the sequence
};

struct dpolycurve_t : drawstyle_t {  // class 7
  int32_t plcoord, pmode, pthickness, pcolour, pedgemotif, pfillmotif, pplane;
  int32_t vmode, vthickness;
  uint32_t vcolour;
  int32_t vedgemotif, vfillmotif, vplane;
  coord_list line;        // working: a view of the object's line (not owned)
};

struct drectangle_t : drawstyle_t {  // class 8
  int32_t prcoord, ppixy, pthickness, pcolour, pedgemotif, pfillmotif, pplane;
  int32_t vthickness;
  uint32_t vcolour;
  int32_t vedgemotif, vfillmotif, vplane;
  pixel_offset_t vpixy;
  style_twopoints_t corner;  // working: two corners
};

struct darcellip_t : drawstyle_t {  // class 9
  int32_t pcenter, ppixy, pgraxis, psmaxis, porient, pangle, pthickness, pcolour, pedgemotif,
      pfillmotif, pplane;
  double vgraxis;         // major axis
  double vsmaxis;         // minor axis
  double vorient;         // orientation (radians)
  double vangle[2];       // start and end angles
  int32_t vthickness;
  uint32_t vcolour;
  int32_t vedgemotif, vfillmotif, vplane;
  pixel_offset_t vpixy;
  style_point_t center;   // working
};
#pragma pack(pop)

// ---- Classes ------------------------------------------------------------------------------
// Registers classes 2..9 with their schemas and the dtext free routine.
void drawobj_types_register();
// The descriptor of a drawing class (null outside 2..9).
const objdesc* drawobj_descriptor(int cls);
// Free routine of dtext: frees its fixed string.
void dtext_free(obj_t* obj);
int is_drawable_type(int cls);
int is_drawable_or_bitmap_type(int cls);
// A symbol style (dimage) of pixel size `geopixsize` is left out at a pane scale where it
// would show smaller than a tenth of its design size, unless that scale shows the whole
// data of the graph space or more (`whole_data_scale`, 0 when unknown).
bool symbol_too_small(double scale, double geopixsize, double whole_data_scale);

// ---- Routine tables --------------------------------------------------------------------
using draw_fn = void (*)(obj_t* style, obj_t* object, obj_t* father);
using attrs_fn = int (*)(obj_t* style, obj_t* object, obj_t* father);
using extent_fn = int (*)(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);

// Fills slots 2..9 of the draw table with the drawing routines (draw_gdi.h).
void drawobj_init_table();
// The routines of a class (null for an empty slot or a class outside 0..10).
draw_fn drawobj_draw_routine(int cls);
attrs_fn drawobj_attrs_routine(int cls);
extent_fn drawobj_extent_routine(int cls);
// Replaces one draw slot; returns the old routine.
draw_fn drawobj_set_draw_routine(int cls, draw_fn fn);

// Draws one object of the current layer through every style of the layer that draws its
// class (a dsegpoint style drawn as a whole: its segments); returns 0.
int drawobj_draw(obj_t* object);
// Copies the point of element index + 1 of the style's source list (element index when it
// is the last) into the style's next-point field (dsegpoint styles).
void drawobj_style_point(obj_t* style, int index);

// ---- Attribute loading ------------------------------------------------------------------
// Each returns 1 when the object's coordinates could be read, else 0.
int attrs_dimage(obj_t* style, obj_t* object, obj_t* father);
int attrs_dsegment(obj_t* style, obj_t* object, obj_t* father);
int attrs_dpoint(obj_t* style, obj_t* object, obj_t* father);
int attrs_dtext(obj_t* style, obj_t* object, obj_t* father);
int attrs_dsegpoint(obj_t* style, obj_t* object, obj_t* father);
int attrs_dpolycurve(obj_t* style, obj_t* object, obj_t* father);
int attrs_drectangle(obj_t* style, obj_t* object, obj_t* father);
int attrs_darcellip(obj_t* style, obj_t* object, obj_t* father);

// ---- Extent routines (graphic index) ----------------------------------------------------
int extent_dimage(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_dsegment(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_dpoint(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_dtext(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_dsegpoint(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_dpolycurve(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_drectangle(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);
int extent_darcellip(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out);

// ---- Images -----------------------------------------------------------------------------
// The image's frame (or 0..width, 0..height) mapped corner by corner through its georef,
// or the graph space's when it has none; 0 when neither exists.
int image_extent(obj_t* image, extent_t* out);
// Computes an image's extent and adds it to the current layer's graphic index.
void image_extent_update(extent_t clip, obj_t* image);
// The bitmap held by an image style (null when none).
obj_t* dimage_get_bitmap(const obj_t* style, obj_t** out);

// ---- Symbol size the raster display provides -----------------------------------------------
// Size in pixels of the symbol an image style draws for a bitmap; until the display
// installs one, the style's fixed size when set, else the bitmap's size × scale.
using symbol_size_fn = void (*)(const obj_t* style, const obj_t* bitmap, int* width,
                                int* height);
void drawobj_set_symbol_size(symbol_size_fn fn);
