// The MIF writer's frame: the header with the coordinate system of the export list's
// first georeference, then for each folder of the list the objects its layer draws, in
// that system (in degrees, or a linear unit MapInfo names).
//
// The layer that shows a folder is looked for in the current graph space; a folder not
// shown (an export without a map window) is written through the drawing styles of its
// own object list in its own system. Objects of a layer whose georeference differs from
// the file's are carried through the link chain from the layer's system to the file's.
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/reader.h"
#include "core/replace_file.h"
#include "core/strutil.h"
#include "formats/mif.h"
#include "formats/mif_write_internal.h"
#include "geodesy/georef.h"
#include "geodesy/mapinfo.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/graphspace.h"

namespace {

georef_t* first_georef(const container_t* list) {
  obj_t* g = nullptr;
  obj_list_first_of_class(list, CLS_GEOREF, &g);
  return static_cast<georef_t*>(g);
}

// The system the file is written in: that of the list's first georeference, without its
// transformation (a MIF file's Transform or Affine: the points are written where they
// are), in degrees when geographic, in its own unit when projected and MapInfo names
// it, else in metres. A new georeference with its unit step; null without one.
georef_t* file_system(const georef_t* g) {
  if (!g) return nullptr;
  georef_t* t = nullptr;
  georef_create(nullptr, &t);
  if (!t) return nullptr;
  t->refertype = g->refertype;
  t->datum = g->datum;
  t->projection = g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
  if (g->refertype == GEOREF_PROJECTED)
    t->unit = mif_unit_text(g->unit) ? g->unit : int(LEN_METRE);
  else
    t->unit = ANG_DEGREE;
  georef_unit_step(t);
  set_gblerr(0);  // a system without projection or unit is written as NonEarth
  return t;
}

void write_non_earth(FILE* out, const char* unit) {
  std::fputs("COORDSYS Nonearth\n", out);
  std::fprintf(out, "UNITS \"%s\"\n", unit ? unit : "m");
}

void write_coordsys(FILE* out, const georef_t* g) {
  if (!g) return write_non_earth(out, "m");
  const bool projected = g->refertype == GEOREF_PROJECTED;
  const char* unit = projected ? mif_unit_text(g->unit) : nullptr;
  const int type = projected ? mif_type_of_proj(g->projection) : kMifGeographic;
  char datum[kMifDatumTextSize];
  const bool has_datum = g->datum && mif_datum_text(g->datum, datum, sizeof datum);
  if (get_gblerr() == ERR_GEOGRAPHIC) set_gblerr(0);
  if (type < 0 || !has_datum || (projected && (!g->projection || !unit)))
    return write_non_earth(out, projected ? unit : "m");
  std::fprintf(out, "COORDSYS Earth Projection %d, %s", type, datum);
  if (projected) {
    char params[kMifParamTextSize];
    mif_format_params_in(g->projection, g->unit, params, sizeof params);
    std::fprintf(out, ", \"%s\", %s\n", unit, params);
  } else {
    std::fputs("\n", out);
  }
}

// The styles a folder is written through: its layer's, else the drawing styles of its
// own list (segment-point styles are written apart).
void write_styles(const folder_t* folder, layer_t* layer, mif_writer* w) {
  container_t* styles = folder->sot;
  if (layer) styles = layer->styles;  // packed records: copied, never bound
  for (int i = 0; i < obj_list_count(styles) && get_gblerr() == 0; ++i) {
    obj_t* s = styles->elems[i];
    if (!s || !is_drawable_type(s->cls) || s->cls == CLS_DSEGPOINT) continue;
    mif_object_writer write = mif_writer_of(s->cls);
    attrs_fn attrs = drawobj_attrs_routine(s->cls);
    if (!write || !attrs) continue;
    const auto* d = static_cast<const drawstyle_t*>(s);
    const container_t* src = d->contsrc;
    for (int k = 0; k < obj_list_count(src) && get_gblerr() == 0; ++k) {
      obj_t* o = src->elems[k];
      if (!o || o->cls != d->typesrc) continue;
      obj_t* father = nullptr;
      if (d->typeperesrc) obj_get_father(o, &father);
      if (attrs(s, o, father)) write(w, s, o, father);
    }
  }
  container_t* objects = folder->sot;
  if (layer) objects = layer->objects;
  for (int i = 0; i < obj_list_count(objects) && get_gblerr() == 0; ++i) {
    obj_t* s = objects->elems[i];
    if (s && s->cls == CLS_DSEGPOINT) mif_write_segpoints(w, s);
  }
}

// The graph space's lock is held while the layer's styles and extent are read: the user
// interface walks the layers meanwhile.
void write_folder(FILE* out, folder_t* folder, const georef_t* file_georef) {
  graphspace_lock lock(graphspace_mutex());
  graphspace_t* gs = graphspace_current();
  layer_t* layer = nullptr;
  if (gs) mapwin_find_layer(gs, folder, &layer);
  const georef_t* g = layer && layer->georef ? layer->georef : first_georef(folder->sot);
  mif_writer w;
  w.out = out;
  w.layer = layer;
  if (g && file_georef && georef_differs(file_georef, g))
    georef_link_chain(file_georef, g, &w.chain);
  if (get_gblerr() == ERR_GEOGRAPHIC) set_gblerr(0);  // no path: written as they are
  layer_t* previous = get_current_layer();
  if (layer) {
    w.text_points = layer_count_text_points(layer);
    set_current_layer(layer);
  }
  write_styles(folder, layer, &w);
  if (layer) set_current_layer(previous);
  obj_t* chain = w.chain;
  free_obj(&chain);
}

}  // namespace

const char* mif_num(double v, char* buf, size_t size) { return format_double_sig(v, buf, size); }

void mif_carry(const mif_writer* w, double* x, double* y) {
  if (!w->chain) return;
  double z = 0.0;
  xform_chain_forward(w->chain, x, y, &z);
}

void mif_write(const char* path, container_t* list) {
  if (!list || !path) return;
  replace_file_t file;
  FILE* out = replace_file_open(&file, path);
  if (!out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  std::fputs("VERSION 450\n", out);
  std::fputs("Charset \"Neutral\"\n", out);
  georef_t* system = file_system(first_georef(list));
  write_coordsys(out, system);
  std::fputs("COLUMNS 1\n  Code CHAR(3)\nDATA\n", out);
  for (int i = 0; i < obj_list_count(list) && get_gblerr() == 0; ++i) {
    obj_t* o = list->elems[i];
    if (o && o->cls == kFolderClass) write_folder(out, static_cast<folder_t*>(o), system);
  }
  obj_t* s = system;
  const int err = get_gblerr();
  set_gblerr(0);
  free_obj(&s);
  set_gblerr(err);
  // A write that failed part way leaves the file it was to replace as it was.
  if (err != 0)
    replace_file_abandon(&file);
  else if (!replace_file_commit(&file))
    set_gblerr(ERR_FILE_ACCESS);
}

void mif_write_file(const char* name, container_t* list) { mif_write(name, list); }
