// Computation of a layer's graphic index and its updates object by object.
//
// A computation appends one entry per contribution to the layer's plain list and sorts
// the list once at the end (a million objects are never inserted one by one into a sorted
// array); entries of the same object (a symbol and a label of one waypoint) are then
// merged in one linear pass over the sorted index.
//
// A segment-point style (a track) makes one entry from all its links, merged from the
// last link to the first. Run link by link through the general path (load the next point,
// load the point's display values, the class's extent routine, gindex_merge), a track of
// a million points spends its time in per-link overheads: list lookups, record size
// lookups, the layer's margin looked up under the lock, each point carried to graph units
// twice. add_segpoint_links does the same walk over the style's points a chunk at a time:
// it reads each point's coordinates once and carries the chunk to graph units in one run
// of the layer's link (each step of a chain changes a point from its own values alone, so
// a point gets the same bits as carried alone), then replays per link exactly the loads
// the general path makes into the style (the same values are left in it), the same box,
// margin and merge arithmetic in the same order. The merge keeps the accumulator's
// representative point with the bounds and fraction it came from: while they stay the
// same (most links of a long track) it is not computed again, so one link's merge does
// not wait on the divisions of the one before. The general path stays for an extent
// routine other than the class's own (a routine set in the slot) and for a style listed
// among its own points.
//
// The same file's list holds the million points beside its styles, and its symbol and
// label styles each read it whole for a hundred waypoints: a long list is read once per
// computation for the positions of each class in it (shared_sources), and the walk of
// the layer's objects and of those styles visits only the objects they act on, with the
// progress text shown at the same points.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/index.h"
#include "core/obj_layout.h"
#include "geodesy/xform.h"
#include "map/draw_styles.h"
#include "map/dsegpoint_loads.h"
#include "map/graphic_index.h"
#include "map/graphic_index_merge.h"
#include "map/graphspace.h"
#include "map/quadtree_internal.h"

namespace gindex_detail {

void fill_extent_table(gindex_extent_fn* table, gindex_image_extent_fn* image) {
  table[CLS_DIMAGE] = extent_dimage;
  table[CLS_DSEGMENT] = extent_dsegment;
  table[CLS_DPOINT] = extent_dpoint;
  table[CLS_DTEXT] = extent_dtext;
  table[CLS_DSEGPOINT] = extent_dsegpoint;
  table[CLS_DPOLYCURVE] = extent_dpolycurve;
  table[CLS_DRECTANGLE] = extent_drectangle;
  table[CLS_DARCELLIP] = extent_darcellip;
  *image = image_extent_update;
}

void style_point(obj_t* style, int index) { drawobj_style_point(style, index); }

}  // namespace gindex_detail

namespace {

constexpr int kProgressEvery = 1000;

bool is_style_class(int cls) { return cls >= CLS_DIMAGE && cls <= CLS_DARCELLIP; }

const drawstyle_t* as_style(const obj_t* o) {
  return o && is_style_class(o->cls) ? static_cast<const drawstyle_t*>(o) : nullptr;
}

obj_t* father_for(const drawstyle_t* style, const obj_t* object) {
  if (!style->typeperesrc) return nullptr;
  obj_t* father = nullptr;
  obj_get_father(object, &father);
  return father;
}

extent_t fixed_extent_of(const layer_t* layer) {
  return layer && layer->graphspace ? layer->graphspace->fixed_extent : extent_t{};
}

// One segment (point i to point i + 1) of a segment-point style, as a contribution with
// its point in the middle and weight 1.
bool segment_contribution(obj_t* style, int i, gindex_entry_t* out) {
  const drawstyle_t* s = as_style(style);
  gindex_extent_fn fn = gindex_extent_routine(style->cls);
  obj_t* elem = nullptr;
  obj_list_get(s->contsrc, i, &elem);
  if (!fn || !elem) return false;
  gindex_detail::style_point(style, i);
  gindex_entry_t c{};
  if (!fn(style, elem, father_for(s, elem), &c)) return false;
  c.cx = c.cy = 127;
  c.weight = 1;
  *out = c;
  return true;
}

// The general path: segment_contribution per link.
void add_segpoint_style(extent_t clip, obj_t* style) {
  const drawstyle_t* s = as_style(style);
  const int n = obj_list_count(s->contsrc);
  gindex_entry_t acc{};
  bool any = false;
  for (int i = n - 2; i >= 0; --i) {
    gindex_entry_t c;
    if (!segment_contribution(style, i, &c)) continue;
    gindex_merge(&acc, &c);
    any = true;
  }
  if (any) gindex_add_extent(clip, style, &acc);
}

// ---- A segment-point style link by link, without the general path ----------------------

constexpr int kLinkChunk = 4096;  // links per chunk of points read and carried together
constexpr int kAhead = 16;        // records asked for ahead of the one read (far beyond the cache)

// The links' merges into one entry (gindex_merge of contributions with fractions 127
// and weight 1). The entry's representative point along each axis is kept with the
// bounds and fraction it came from and used again while they have not changed (most
// links of a long track), so that one link's merge does not wait on the divisions of
// the one before.
class link_accumulator {
 public:
  void merge(const extent_t& e) {
    gindex_entry_t c{};
    c.extent = e;
    c.cx = c.cy = 127;
    c.weight = 1;
    gindex_detail::merge_entry(&acc_, c, [this](double lo, double hi, uint8_t frac, int axis) {
      return kept_[axis].at(lo, hi, frac);
    });
  }
  const gindex_entry_t& entry() const { return acc_; }

 private:
  // point_on (lo, hi, frac), remembered for the last values asked.
  struct kept_point {
    double lo = 0, hi = 0, p = 0;
    int frac = -1;
    double at(double l, double h, uint8_t f) {
      if (f == frac && std::bit_cast<uint64_t>(l) == std::bit_cast<uint64_t>(lo) &&
          std::bit_cast<uint64_t>(h) == std::bit_cast<uint64_t>(hi)) [[likely]]
        return p;
      lo = l;
      hi = h;
      frac = f;
      p = gindex_detail::point_on(l, h, f);
      return p;
    }
  };
  gindex_entry_t acc_{};
  kept_point kept_[2];
};

// The style's pixel size bounded by the layer's margin pixel size, as the extent
// routines take it (neither changes while the graph-space lock is held).
double margin_pixel_size(const obj_t* style, const layer_t* layer) {
  const double own = field_load<double>(style, offsetof(drawstyle_t, geopixsize));
  const double bound = layer_margin_pixel(layer);
  return bound >= 0.0 && !(own <= bound) ? bound : own;
}

// The links of a segment-point style from the last to the first, as add_segpoint_style
// runs them with the class's own extent routine (extent_dsegpoint): per link, the next
// point into the style (drawobj_style_point), the point's values (attrs_dsegpoint), the
// box of the two points in graph units widened by the link thickness, merged.
void add_segpoint_links(extent_t clip, obj_t* style) {
  const container_t* src = field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
  const int n = obj_list_count(src);
  if (n < 2 || !src->elems) return;
  obj_t* const* elems = src->elems;
  layer_t* layer = get_current_layer();
  xform_chain_t* link = layer ? layer->cs_link : nullptr;
  const bool moving = layer && layer->movobj;
  const double geopix = margin_pixel_size(style, layer);

  dsegpoint_detail::loads loads(style);
  const int32_t pptcoord = loads.pptcoord();

  const size_t cap = size_t(std::min(n, kLinkChunk + 1));
  std::vector<double> graph(cap * 3);  // x, y, z carried to graph units
  std::vector<uint8_t> readable(cap);  // bit 1: readable as a point, bit 2: as a next point

  // The graph point of the style's next-point field, while it holds a point carried.
  double next_gx = 0, next_gy = 0;
  bool next_known = false;
  link_accumulator acc;
  bool any = false;

  for (int hi = n - 2; hi >= 0; hi -= kLinkChunk) {
    const int lo = std::max(0, hi - kLinkChunk + 1);
    const int m = hi - lo + 2;  // points lo .. hi + 1
    // Each point's coordinates, where its record holds them at the coordinate
    // position: as a link's point (x, y and elevation) or as a next point (x, y).
    for (int k = 0; k < m; ++k) {
      if (k + kAhead < m && elems[lo + k + kAhead]) {
        const char* r = reinterpret_cast<const char*>(elems[lo + k + kAhead]);
        __builtin_prefetch(r);
        __builtin_prefetch(r + pptcoord + sizeof(style_point_t) - 1);
      }
      const obj_t* e = elems[lo + k];
      double* g = graph.data() + 3 * size_t(k);
      g[0] = g[1] = g[2] = 0.0;
      readable[size_t(k)] = 0;
      if (!e) continue;
      const char* at = loads.coords(e, 16);
      if (!at) continue;
      g[0] = field_load<double>(at, 0);
      g[1] = field_load<double>(at, 8);
      readable[size_t(k)] = 2;
      if (loads.coords(e, sizeof(style_point_t)))
        readable[size_t(k)] |= 1;
    }
    // layer_to_graph of each point (a height of 0, as it carries one point).
    if (link) xform_chain_forward_points(link, graph.data(), m);

    for (int i = hi; i >= lo; --i) {
      const int k = i - lo;
      obj_t* elem = elems[i];
      if (!elem) continue;
      if (readable[size_t(k + 1)] & 2) {
        loads.load_next(elems[i + 1]);
        next_gx = graph[3 * size_t(k + 1)];
        next_gy = graph[3 * size_t(k + 1) + 1];
        next_known = true;
      }
      const bool ok = readable[size_t(k)] & 1;
      loads.load_point(elem, ok);
      if (!ok) continue;
      if (!next_known) {
        // The next point an earlier run left in the style.
        next_gx = field_load<double>(style, offsetof(dsegpoint_t, next_x));
        next_gy = field_load<double>(style, offsetof(dsegpoint_t, next_y));
        layer_to_graph(layer, &next_gx, &next_gy);
        next_known = true;
      }
      // extent_dsegpoint: the box of the point and the next point, then its margin.
      const double px = graph[3 * size_t(k)], py = graph[3 * size_t(k) + 1];
      extent_t e{px, px, py, py, 0.0};
      e.xmin = std::min(e.xmin, next_gx);
      e.xmax = std::max(e.xmax, next_gx);
      e.ymin = std::min(e.ymin, next_gy);
      e.ymax = std::max(e.ymax, next_gy);
      const double margin = field_load<int32_t>(style, offsetof(dsegpoint_t, vlinkthick));
      if (moving) {
        e.step = margin;
      } else {
        const double d = geopix * margin * 1.0;  // extent_inflate
        e.xmin -= d;
        e.xmax += d;
        e.ymin -= d;
        e.ymax += d;
      }
      acc.merge(e);
      any = true;
    }
  }
  if (!any) return;
  gindex_add_extent(clip, style, &acc.entry());
}

// The links run without the general path when the class's own extent routine is in
// the slot and the style's points do not include the style itself (whose loads would
// change the points read ahead).
bool links_run_whole(const obj_t* style) {
  if (gindex_extent_routine(CLS_DSEGPOINT) != extent_dsegpoint) return false;
  const container_t* src = field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
  const int n = obj_list_count(src);
  if (n < 2 || !src->elems) return true;
  return std::find(src->elems, src->elems + n, style) == src->elems + n;
}

// The positions of the objects of each class in the long source lists read by the plain
// styles of one computation. A file's list of a million track points holds the few
// waypoints and tracklogs its symbol and label styles draw: the first style to read the
// list walks it once for all of them, the others read only their own objects. A class
// with more than kMaxKept objects in a list keeps no positions (its styles walk the list
// themselves), so that the positions stay small.
class shared_sources {
 public:
  // The positions of the objects of class cls in the list, in order; null when the
  // style is to walk the list itself.
  const std::vector<int>* positions(const container_t* list, int cls) {
    const source* src = source_of(list);
    if (!src) return nullptr;
    for (const of_class& c : src->classes)
      if (c.cls == cls) return c.kept ? &c.positions : nullptr;
    return &none_;  // no object of that class in the list
  }
  // The positions, in order, of the objects of classes lo..hi in the list; false when
  // the list is to be walked (a short list, or one of those classes without positions).
  bool positions_between(const container_t* list, int lo, int hi, std::vector<int>* out) {
    const source* src = source_of(list);
    if (!src) return false;
    out->clear();
    for (const of_class& c : src->classes) {
      if (c.cls < lo || c.cls > hi) continue;
      if (!c.kept) return false;
      out->insert(out->end(), c.positions.begin(), c.positions.end());
    }
    std::sort(out->begin(), out->end());
    return true;
  }

 private:
  static constexpr int kMinShared = 4096;  // shorter lists are walked by each style
  static constexpr size_t kMaxKept = 16384;
  struct of_class {
    int cls = 0;
    bool kept = true;
    std::vector<int> positions;
  };
  struct source {
    const container_t* list = nullptr;
    std::vector<of_class> classes;
  };
  std::vector<source> sources_;
  const std::vector<int> none_{};

  const source* source_of(const container_t* list) {
    if (obj_list_count(list) < kMinShared) return nullptr;
    for (const source& s : sources_)
      if (s.list == list) return &s;
    sources_.push_back(scan(list));
    return &sources_.back();
  }

  static source scan(const container_t* list) {
    source src;
    src.list = list;
    const int n = obj_list_count(list);
    size_t last = 0;  // the class of the object before, most often the same
    for (int i = 0; i < n; ++i) {
      if (i + kAhead < n && list->elems[i + kAhead]) __builtin_prefetch(list->elems[i + kAhead]);
      const obj_t* obj = list->elems[i];
      if (!obj) continue;
      if (last >= src.classes.size() || src.classes[last].cls != obj->cls) {
        last = 0;
        while (last < src.classes.size() && src.classes[last].cls != obj->cls) ++last;
        if (last == src.classes.size()) src.classes.push_back(of_class{obj->cls, true, {}});
      }
      of_class& c = src.classes[last];
      if (!c.kept) continue;
      if (c.positions.size() == kMaxKept) {
        c.kept = false;
        std::vector<int>().swap(c.positions);
      } else {
        c.positions.push_back(i);
      }
    }
    return src;
  }
};

// The contributions of every object of the source list. The caller holds the graph-space
// lock, so the million additions of a large layer do not each take it again. With the
// positions of the style's class in the list, only those objects are read; the progress
// text is shown at the same points of the walk.
void add_plain_style(extent_t clip, obj_t* style, shared_sources* shared) {
  const drawstyle_t* s = as_style(style);
  gindex_extent_fn fn = gindex_extent_routine(style->cls);
  layer_t* layer = get_current_layer();
  if (!fn || !layer) return;
  const container_t* src = s->contsrc;
  const int n = obj_list_count(src);
  const std::vector<int>* positions = shared ? shared->positions(src, s->typesrc) : nullptr;
  if (positions) {
    int next_progress = 0;
    for (const int i : *positions) {
      for (; next_progress <= i; next_progress += kProgressEvery) gindex_detail::progress();
      obj_t* obj = src->elems[i];
      gindex_entry_t c{};
      if (fn(style, obj, father_for(s, obj), &c)) gindex_detail::add_extent(layer, clip, obj, &c);
    }
    for (; next_progress < n; next_progress += kProgressEvery) gindex_detail::progress();
    return;
  }
  for (int i = 0; i < n; ++i) {
    if (i % kProgressEvery == 0) gindex_detail::progress();
    if (i + kAhead < n && src->elems[i + kAhead]) __builtin_prefetch(src->elems[i + kAhead]);
    obj_t* obj = src->elems[i];
    if (!obj || obj->cls != s->typesrc) continue;
    gindex_entry_t c{};
    if (fn(style, obj, father_for(s, obj), &c)) gindex_detail::add_extent(layer, clip, obj, &c);
  }
}

void free_all_entries(layer_t* layer) {
  container_t* sorted = layer->gindex_sorted;
  container_t* list = layer->gindex_list;
  // While a computation runs the entries are in the list, otherwise in the index.
  container_t* holder = list ? list : sorted;
  const int n = obj_list_count(holder);
  for (int i = 0; i < n; ++i)
    gindex_detail::release_entry(static_cast<gindex_entry_t*>(holder->elems[i]));
  if (list) list->count = 0;
  if (sorted) sorted->count = 0;
}

// The index's order: object (compared by id, a null object first), then the entry's
// own id, then the list's order. Kept as one comparable key per entry so that the sort
// reads no record.
struct sort_key {
  int64_t object;  // the object's id; INT64_MIN for none
  int32_t id;
  int32_t pos;
  obj_t* entry;
  bool operator<(const sort_key& o) const {
    if (object != o.object) return object < o.object;
    if (id != o.id) return id < o.id;
    return pos < o.pos;
  }
};

// The entries of the list in the index's order. As the index's own build, the walk takes
// entries only and stops at the first null slot. A list already in order (one style over
// objects made in order, the usual case) is not sorted again.
std::vector<sort_key> sorted_entries(const container_t* list) {
  std::vector<sort_key> keys;
  const int n = obj_list_count(list);
  keys.reserve(size_t(n));
  constexpr int kAhead = 16;
  for (int i = 0; i < n; ++i) {
    if (i + kAhead < n && list->elems[i + kAhead]) __builtin_prefetch(list->elems[i + kAhead]);
    obj_t* e = list->elems[i];
    if (!e) break;
    if (e->cls != CLS_GINDEX_ENTRY) continue;
    const obj_t* object = static_cast<const gindex_entry_t*>(e)->object;
    keys.push_back(sort_key{object ? int64_t(object->id) : INT64_MIN, e->id, i, e});
  }
  if (!std::is_sorted(keys.begin(), keys.end())) std::sort(keys.begin(), keys.end());
  return keys;
}

// Sorts the list into the index (by object), frees the list, and merges the entries of
// one object into the first of them.
void sort_and_merge(layer_t* layer) {
  container_t* sorted = layer->gindex_sorted;
  container_t* list = layer->gindex_list;
  if (list) {
    const std::vector<sort_key> keys = sorted_entries(list);
    obj_list_set_count(sorted, 0);
    obj_list_set_count(sorted, int(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) sorted->elems[i] = keys[i].entry;
    list->count = 0;
    gindex_free(&list);  // the record only: its entries now live in the index
    layer->gindex_list = nullptr;
  }
  const int n = obj_list_count(sorted);
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    auto* e = static_cast<gindex_entry_t*>(sorted->elems[i]);
    auto* prev = kept ? static_cast<gindex_entry_t*>(sorted->elems[kept - 1]) : nullptr;
    if (prev && prev->object == e->object) {
      gindex_merge(prev, e);
      gindex_detail::release_entry(e);
      continue;
    }
    sorted->elems[kept++] = e;
  }
  sorted->count = kept;
}

}  // namespace

namespace {

void add_style_objects(extent_t clip, obj_t* style, shared_sources* shared) {
  if (!as_style(style)) return;
  graphspace_lock lock(graphspace_mutex());
  if (style->cls == CLS_DSEGPOINT && links_run_whole(style))
    add_segpoint_links(clip, style);
  else if (style->cls == CLS_DSEGPOINT)
    add_segpoint_style(clip, style);
  else
    add_plain_style(clip, style, shared);
}

}  // namespace

void gindex_add_style_objects(extent_t clip, obj_t* style) {
  add_style_objects(clip, style, nullptr);
}

void gindex_compute(layer_t* layer, int recreate) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  layer_t* previous = get_current_layer();
  set_current_layer(layer);
  if (recreate) {
    gindex_create(layer);
  } else {
    free_all_entries(layer);
  }
  layer->extent = extent_t{};
  graphspace_layer_extent_changed(layer);
  const extent_t clip = fixed_extent_of(layer);
  const container_t* objects = layer->objects;
  shared_sources shared;
  const int n = obj_list_count(objects);
  // A long object list (a file's list holds its million track points beside its styles)
  // is read once: the styles and image links are found among the positions of its
  // classes, which the plain styles reading that list use as well.
  std::vector<int> acting;
  const bool known = shared.positions_between(objects, CLS_DIMAGE, view_access::kLayerLinkClass,
                                              &acting);
  size_t next = 0;
  for (int i = 0; i < n; ++i) {
    obj_t* obj = objects->elems[i];
    if (!obj) continue;
    gindex_detail::progress();
    if (known) {
      if (next == acting.size() || acting[next] != i) continue;
      ++next;
    }
    if (obj->cls == view_access::kLayerLinkClass)
      gindex_detail::image_extent(clip, view_access::link_object(obj));
    else if (is_style_class(obj->cls))
      add_style_objects(clip, obj, &shared);
  }
  if (layer->gindex_sorted) sort_and_merge(layer);
  set_current_layer(previous);
}

void gindex_update_object(layer_t* layer, obj_t* object) {
  if (!layer || !object) return;
  graphspace_lock lock(graphspace_mutex());
  layer_t* previous = get_current_layer();
  set_current_layer(layer);
  const extent_t clip = fixed_extent_of(layer);
  if (is_style_class(object->cls)) {
    gindex_add_style_objects(clip, object);
  } else if (object->cls > CLS_DARCELLIP || object->cls < CLS_BITMAP) {
    gindex_entry_t acc{};
    bool any = false;
    const container_t* styles = layer->styles;
    const int n = obj_list_count(styles);
    for (int i = 0; i < n; ++i) {
      obj_t* style = styles->elems[i];
      const drawstyle_t* s = as_style(style);
      if (!s || s->typesrc != object->cls) continue;
      gindex_extent_fn fn = gindex_extent_routine(style->cls);
      if (!fn) continue;
      if (style->cls == CLS_DSEGPOINT) {
        // The object's place in the point list selects its segment (the last point
        // closes the segment that ends on it).
        int pos = -1;
        for (int k = 0; k < obj_list_count(s->contsrc); ++k)
          if (s->contsrc->elems[k] == object) { pos = k; break; }
        if (pos < 0) continue;
        const int seg = pos <= obj_list_count(s->contsrc) - 2 ? pos : pos - 1;
        if (seg < 0) continue;
        gindex_detail::style_point(style, seg);
      }
      gindex_entry_t c{};
      if (!fn(style, object, father_for(s, object), &c)) continue;
      gindex_merge(&acc, &c);
      any = true;
    }
    if (any) gindex_add_extent(clip, object, &acc);
  }
  set_current_layer(previous);
}

void gindex_remove_object(layer_t* layer, const obj_t* object) {
  if (!layer || !object) return;
  graphspace_lock lock(graphspace_mutex());
  gindex_entry_t* entry = nullptr;
  gindex_find(layer, object, &entry);
  if (!entry) return;
  index_remove(layer->gindex_sorted, entry);
  gindex_detail::release_entry(entry);
  layer_recompute_extent(layer);
}
