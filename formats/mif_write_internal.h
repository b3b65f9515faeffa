// Inside the MIF writer: what one folder's writing shares with the writers of the
// drawing classes.
#pragma once
#include <cstdio>

struct obj_t;
struct layer_t;
struct xform_chain_t;

struct mif_writer {
  FILE* out = nullptr;
  xform_chain_t* chain = nullptr;  // from the layer's system to the file's, or null
  layer_t* layer = nullptr;        // the layer showing the folder, or null
  int text_points = 0;             // the layer's count of text points
};

// Writes one source object of a style (its display attributes already loaded into the
// style's working fields by the class's attribute routine).
using mif_object_writer = void (*)(mif_writer* w, obj_t* style, obj_t* object, obj_t* father);
// The writer of a drawing class; null for a class that has none (dsegpoint is written
// apart, as one polyline of all its points).
mif_object_writer mif_writer_of(int style_class);
// One polyline of all the points of a dsegpoint style.
void mif_write_segpoints(mif_writer* w, obj_t* style);

// A coordinate with 16 significant digits and no trailing zeros.
const char* mif_num(double v, char* buf, size_t size);
// A point carried through the writer's chain.
void mif_carry(const mif_writer* w, double* x, double* y);
