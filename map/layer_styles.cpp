// The drawing styles of a layer and the display scale computed from them: each style
// learns the size of one screen pixel in the layer's units (`geopixsize`) from the
// ground size it was designed for (`meterpixsize`), and the layer keeps the scale
// threshold under which its texts are not drawn.
#include <cmath>

#include "core/obj_layout.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "map/draw_styles.h"
#include "map/extent_map.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"

namespace {

container_t* contsrc_of(const obj_t* style) {
  return field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
}
int typesrc_of(const obj_t* style) { return field_load<int32_t>(style, offsetof(drawstyle_t, typesrc)); }

// meterpixsize := max(meterpixsize, 0.0001); geopixsize := unit × meterpixsize × factor.
double scale_style(obj_t* style, double unit, double factor) {
  double mps = field_load<double>(style, offsetof(drawstyle_t, meterpixsize));
  if (!(mps >= 0.0001)) mps = 0.0001;
  field_store(style, offsetof(drawstyle_t, meterpixsize), mps);
  const double g = unit * mps * factor;
  field_store(style, offsetof(drawstyle_t, geopixsize), g);
  return g;
}

// Every dsegpoint style of the layer's object list.
template <class F> void each_segpoint(const layer_t* layer, F f) {
  const int n = obj_list_count(layer->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->objects, i, &o);
    if (o && o->cls == CLS_DSEGPOINT) f(o);
  }
}

template <class F> void each_style(const layer_t* layer, F f) {
  const int n = obj_list_count(layer->styles);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->styles, i, &o);
    if (o) f(o);
  }
}

}  // namespace

void layer_to_graph(const layer_t* layer, double* x, double* y) {
  if (layer && layer->cs_link) layer_point_to_graph(layer->cs_link, x, y);
}

int style_is_active(const obj_t* object) {
  return object && is_drawable_type(object->cls) && obj_list_count(contsrc_of(object)) > 0 ? 1
                                                                                           : 0;
}

int style_exists(const container_t* list, int style_class, int source_class) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    const obj_t* o = list->elems[i];  // the class first: a long list holds few styles
    if (!o || o->cls != style_class || !style_is_active(o)) continue;
    if (source_class == 0 || typesrc_of(o) == source_class) return 1;
  }
  return 0;
}

void layer_collect_styles(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  container_t* styles = layer->styles;
  if (!styles) obj_list_new(&styles);
  layer->styles = styles;
  const int n = obj_list_count(layer->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layer->objects, i, &o);
    if (!o || !is_drawable_type(o->cls) || o->cls == CLS_DSEGPOINT) continue;
    if (obj_list_count(contsrc_of(o)) == 0)
      field_store(o, offsetof(drawstyle_t, contsrc), layer->objects);
    obj_list_append_unique(styles, o);
  }
}

double layer_unit_size(layer_t* layer) {
  if (!layer) return 0.0;
  graphspace_lock lock(graphspace_mutex());
  // The layer's extent is in graph units already (the index maps every entry through
  // the layer's link): its centre is taken as it is. Mapped through the link a second
  // time, it would be read in the layer's own system (metres taken for degrees).
  const extent_t le = layer->extent;
  const double x = extent_center_x(le), y = extent_center_y(le);
  extent_t c{x, x, y, y, 0.0};
  const graphspace_t* gs = layer->graphspace;
  cartproj_t* proj = nullptr;
  graph_project_extent(gs ? gs->georef : nullptr, &c, &proj);
  c.xmax += 1.0;
  c.ymax += 1.0;
  graph_extent_to_system(proj, &c);
  return std::fmin(std::fabs(c.xmax - c.xmin), std::fabs(c.ymax - c.ymin));
}

// Objects of the layer's index drawn by one of its text styles: the text points.
int layer_count_text_points(layer_t* layer) {
  if (!layer) return 0;
  graphspace_lock lock(graphspace_mutex());
  int count = 0;
  const int n = obj_list_count(layer->gindex_sorted);
  for (int i = 0; i < n; ++i) {
    gindex_entry_t* entry = nullptr;
    obj_list_get(layer->gindex_sorted, i, &entry);
    const obj_t* o = entry ? entry->object : nullptr;
    if (!o) continue;
    bool text = false;
    each_style(layer, [&](obj_t* s) {
      if (s->cls == CLS_DTEXT && typesrc_of(s) == o->cls) text = true;
    });
    count += text ? 1 : 0;
  }
  return count;
}

void layer_compute_scale(layer_t* layer) {
  if (!layer || layer->movobj) return;
  graphspace_lock lock(graphspace_mutex());
  const extent_t le = layer->extent;
  const int points = layer_count_text_points(layer);
  const double spacing =
      points > 0 ? extent_width(le) / std::sqrt(double(points)) * 0.01 : HUGE_VAL;
  double m = 1e200;
  if (!layer->georef) {
    m = 0.001 * extent_max_side(le);
    each_style(layer, [&](obj_t* s) { scale_style(s, m, 0.01); });
    each_segpoint(layer, [&](obj_t* s) { scale_style(s, m, 0.01); });
  } else {
    const double unit = layer_unit_size(layer);
    each_style(layer, [&](obj_t* s) {
      const double g = scale_style(s, unit, 1.0);
      if (s->cls == CLS_DTEXT) m = std::fmin(m, g);
    });
    each_segpoint(layer, [&](obj_t* s) { scale_style(s, unit, 1.0); });
  }
  const double least = std::fmin(m, spacing);
  if (m < 1e199 && least > 0.0) layer->scale_threshold = 1.0 / least;
}
