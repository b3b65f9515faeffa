// The rendering calculation: map elements sorted into one display folder per feature,
// and the drawing styles each folder gets from the representation of its feature.
//
// Scales: a style's `meterpixsize` is the ground size of a pixel at which it is drawn at
// its fixed size, so a representation of width W metres drawn T pixels wide gets W / T.
// Every divisor is guarded by max(1, n); all divisions are floating-point.
//
// A representation that asks for an icon (motiforsymb < 0) whose number lies outside
// the waypoint icon table (0..60), or whose icon was not loaded, is drawn with the symbol
// style instead: the icon number never indexes past the table.
#include <algorithm>
#include <cstring>
#include <vector>

#include <unordered_set>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/core_classes.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "geodesy/xform_records.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/repr.h"

namespace {

constexpr const char* kProgressFr = "Calcul de rendu";
constexpr const char* kProgressEn = "Rendering calculation";

int pos(size_t offset) { return int(offset); }
double at_least_one(int n) { return double(std::max(1, n)); }

const char* progress_text() {
  return is_french() ? kProgressFr : kProgressEn;
}

template <class T>
T* new_style(container_t* list, int style_cls, int typesrc, container_t* source, double scale) {
  if (!list || get_gblerr()) return nullptr;
  obj_t* o = nullptr;
  obj_new_in_list(list, style_cls, &o);
  if (!o || get_gblerr()) return nullptr;
  T* s = static_cast<T*>(o);
  s->typesrc = typesrc;
  s->contsrc = source;
  s->meterpixsize = scale;
  return s;
}

// A text style of size R.fontsz, thickness 3, font 0, no underline or italic.
dtext_t* text_style(container_t* list, int typesrc, const representation_t* r, double scale) {
  dtext_t* s = new_style<dtext_t>(list, CLS_DTEXT, typesrc, list, scale);
  if (!s) return nullptr;
  s->vcolour = r->colour;
  s->vsize = r->fontsz;
  s->vthickness = 3;
  s->vfont = 0;
  s->vunderital = 0;
  return s;
}

// The folder that holds a parent's display folders: a folder itself, or a file's first
// folder (made when the file has none).
obj_t* folder_parent(obj_t* parent) {
  if (!parent) return nullptr;
  if (parent->cls == kFileClass) {
    folder_t* first = nullptr;
    folder_get_or_create(parent, nullptr, 0, &first);
    return first;
  }
  return parent;
}

bool icon_usable(const representation_t* r) {
  return r->filloricon >= 0 && r->filloricon < kWaypointIconCount && gpsobj_get_icon(r->filloricon, nullptr);
}

// The sub-folder of priority 30000 that draws the icons of a folder's nodes; its list
// holds the folder's georeference.
container_t* icon_folder(folder_t* folder) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (!list || get_gblerr()) return nullptr;
  obj_t* georef = nullptr;
  if (obj_list_first_of_class(folder->sot, CLS_GEOREF, &georef)) obj_list_append(list, georef);
  folder_t* sub = nullptr;
  folder_get_or_create(folder, list, kReprPointPriority, &sub);
  if (!sub) {
    const int pending = get_gblerr();
    set_gblerr(0);
    free_obj(&list);
    set_gblerr(pending);
    return nullptr;
  }
  sub->userdisplay = 0;
  sub->displayed = folder->displayed;  // shown exactly when the folder is
  return list;
}

// The styles of one display folder by the element type of its feature.
void folder_styles(folder_t* folder, const feature_t* f, const representation_t* r,
                   container_t* owner) {
  container_t* list = folder->sot;
  if (repr_elt_is_point(f->elttype)) {
    bool drawn = false;
    if (r->motiforsymb < 0 && icon_usable(r)) {
      container_t* sub = icon_folder(folder);
      if (sub) {
        // The style draws the folder's nodes from the sub-folder.
        if (obj_t* s = node_icon_style(sub, r, owner)) {
          static_cast<dimage_t*>(s)->contsrc = list;
          drawn = true;
        }
      }
    }
    if (!drawn) node_symbol_style(list, r);
    node_label_style(list, r);
  } else if (f->elttype == kEltPolyline || f->elttype == kEltPolygon) {
    if (obj_list_has_class(list, CLS_WAYLINE)) {
      wayline_style_create(list, r);
      wayline_label_style(list, r);
    }
  } else if (f->elttype == kEltWay) {
    if (obj_list_has_class(list, CLS_WAY)) {
      way_style_create(list, r);
      way_label_style(list, r);
    }
    // Ways a reader turned into way lines are drawn as lines.
    if (obj_list_has_class(list, CLS_WAYLINE)) {
      wayline_style_create(list, r);
      wayline_label_style(list, r);
    }
  }
  obj_list_compact(list);
}

}  // namespace

// ---- Style builders ----------------------------------------------------------------------

obj_t* node_symbol_style(container_t* list, const representation_t* r) {
  if (!r) return nullptr;
  const int thickness = r->thickpixel / 2;
  dpoint_t* s = new_style<dpoint_t>(list, CLS_DPOINT, CLS_NODE, list,
                                    double(r->thickmeter) / at_least_one(thickness));
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->vcolour = r->colour;
  s->vmotif = 0;
  s->vthickness = thickness;
  s->vshape = r->motiforsymb;
  return s;
}

obj_t* node_icon_style(container_t* list, const representation_t* r, container_t* owner) {
  if (!r || r->filloricon < 0 || r->filloricon >= kWaypointIconCount) return nullptr;
  bitmap_t* icon = nullptr;
  gpsobj_copy_icon(r->filloricon, &icon);
  if (!icon) return nullptr;
  obj_list_append(owner ? owner : list, reinterpret_cast<obj_t*>(icon));
  dimage_t* s = new_style<dimage_t>(list, CLS_DIMAGE, CLS_NODE, list, double(r->thickmeter) * 0.0625);
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->vimg = reinterpret_cast<obj_t*>(icon);
  s->vcolour = r->colour;
  s->vscale = 1.0;
  return s;
}

obj_t* node_label_style(container_t* list, const representation_t* r) {
  if (!r) return nullptr;
  dtext_t* s = text_style(list, CLS_NODE, r,
                          double(r->thickmeter) / (at_least_one(r->fontsz) * 50.0));
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->pstring = pos(offsetof(node_t, name));
  s->vpixy = pixel_offset_t{10, 0};
  return s;
}

// The mean of the nodes' x and y (the GPS classes' centroid does not know map nodes).
void way_set_centroid(way_t* way) {
  if (!way) return;
  const container_t* nodes = way->sons;
  double sx = 0, sy = 0;
  int n = 0;
  for (int i = 0; i < obj_list_count(nodes); ++i) {
    const obj_t* o = nodes->elems[i];
    if (!o || o->cls != CLS_NODE) continue;
    gps_point_t c;
    std::memcpy(&c, &static_cast<const node_t*>(o)->coords, sizeof c);
    sx += c.x;
    sy += c.y;
    ++n;
  }
  way->txtcoord.x = n ? sx / n : 0.0;
  way->txtcoord.y = n ? sy / n : 0.0;
}

int way_style_create(container_t* list, const representation_t* r) {
  if (!r || !list) return 0;
  std::vector<way_t*> ways;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (obj_t* o = list->elems[i]; o && o->cls == CLS_WAY) ways.push_back(static_cast<way_t*>(o));
  int made = 0;
  for (way_t* w : ways) {
    if (get_gblerr()) break;
    way_set_centroid(w);
    if (obj_list_count(w->sons) == 0) continue;
    const int lanes = w->lanes < 1 ? r->lanes : w->lanes;
    dsegpoint_t* s = new_style<dsegpoint_t>(
        list, CLS_DSEGPOINT, CLS_NODE, w->sons,
        double(r->thickmeter) * double(lanes) / at_least_one(r->thickpixel));
    if (!s) break;
    s->pptcoord = kPointCoordsOffset;
    s->vcolour = r->colour;
    s->vthickness = 1;
    s->vmotif = r->filloricon;
    s->vshape = 0;
    s->vlinkthick = r->thickpixel;
    s->vlinkmotif = r->motiforsymb;
    ++made;
  }
  return made;
}

obj_t* way_label_style(container_t* list, const representation_t* r) {
  if (!r) return nullptr;
  dtext_t* s = text_style(list, CLS_WAY, r,
                          double(r->lanes) * double(r->thickmeter) / at_least_one(r->fontsz));
  if (!s) return nullptr;
  s->pptcoord = pos(offsetof(way_t, txtcoord));
  s->pstring = pos(offsetof(way_t, label));
  return s;
}

obj_t* wayline_style_create(container_t* list, const representation_t* r) {
  if (!r) return nullptr;
  dpolycurve_t* s = new_style<dpolycurve_t>(
      list, CLS_DPOLYCURVE, CLS_WAYLINE, list,
      double(r->lanes) * double(r->thickmeter) / at_least_one(r->thickpixel));
  if (!s) return nullptr;
  s->plcoord = pos(offsetof(wayline_t, loicoord));
  s->vcolour = r->colour;
  s->vedgemotif = r->motiforsymb;
  s->vthickness = r->thickpixel;
  s->vfillmotif = r->filloricon;
  return s;
}

obj_t* wayline_label_style(container_t* list, const representation_t* r) {
  if (!r) return nullptr;
  dtext_t* s = text_style(list, CLS_WAYLINE, r,
                          double(r->lanes) * double(r->thickmeter) / at_least_one(r->fontsz));
  if (!s) return nullptr;
  s->pptcoord = pos(offsetof(wayline_t, txtcoord));
  s->pstring = pos(offsetof(wayline_t, label));
  return s;
}

// ---- Display folders -----------------------------------------------------------------------

folder_t* repr_folder_of(const container_t* index, const feature_t* feature) {
  if (!index || !feature) return nullptr;
  int32_t key = feature->id;
  obj_t* pair = nullptr;
  index_get(index, &key, &pair);
  if (!pair) return nullptr;
  obj_t* folder = nullptr;
  obj_find_in_class(kFolderClass, static_cast<idpair_t*>(pair)->value, &folder);
  return folder_of(folder);
}

folder_t* repr_apply(container_t* index, const feature_t* feature, obj_t* parent, obj_t* object,
                     folder_t** out_folder) {
  if (out_folder) *out_folder = nullptr;
  if (!index || !feature || feature->elttype == 0 || get_gblerr()) return nullptr;
  folder_t* folder = repr_folder_of(index, feature);
  if (!folder) {
    container_t* list = nullptr;
    obj_list_new(&list);
    if (!list) return nullptr;
    if (object) obj_list_append(list, object);
    const int priority = repr_elt_is_point(feature->elttype) ? kReprPointPriority : kReprLinePriority;
    folder_get_or_create(folder_parent(parent), list, priority, &folder);
    if (!folder) {
      const int pending = get_gblerr();
      set_gblerr(0);
      free_obj(&list);
      set_gblerr(pending);
      return nullptr;
    }
    folder_set_name(folder, feature->name ? feature->name : "");
    obj_t* pair = nullptr;
    int32_t key = feature->id;
    index_add_new(index, &pair, &key);
    if (pair) static_cast<idpair_t*>(pair)->value = folder->id;
  }
  if (out_folder) *out_folder = folder;
  return folder;
}

int repr_render_calc(container_t* objects, obj_t* parent, const container_t* features,
                     container_t** out_index) {
  if (!out_index) return -1;
  *out_index = nullptr;
  index_create(CLS_IDPAIR, AT_ID, int(offsetof(idpair_t, key)), out_index);
  container_t* index = *out_index;
  if (!index) return -1;
  obj_t* georef = nullptr;
  obj_list_first_of_class(objects, CLS_GEOREF, &georef);
  const char* text = progress_text();
  // Nodes, then ways, then way lines.
  for (int cls : {CLS_NODE, CLS_WAY, CLS_WAYLINE}) {
    const int n = obj_list_count(objects);
    for (int i = 0; i < n && !get_gblerr(); ++i) {
      obj_t* o = objects->elems[i];
      if (!o || o->cls != cls) continue;
      core_progress_file_position(text);
      const feature_t* f = cls == CLS_NODE   ? static_cast<node_t*>(o)->feature
                           : cls == CLS_WAY  ? static_cast<way_t*>(o)->feature
                                             : static_cast<wayline_t*>(o)->feature;
      if (!f) continue;
      folder_t* folder = nullptr;
      repr_apply(index, f, parent, o, &folder);
      if (!folder) continue;
      obj_t* last = nullptr;
      obj_list_last(folder->sot, &last);
      if (last != o) obj_list_append(folder->sot, o);
    }
  }
  if (get_gblerr()) return -1;
  // Each display folder holds the georeference of its elements.
  if (georef) {
    const int m = obj_list_count(index);
    for (int i = 0; i < m; ++i) {
      obj_t* folder = nullptr;
      obj_find_in_class(kFolderClass, static_cast<idpair_t*>(index->elems[i])->value, &folder);
      if (folder_t* d = folder_of(folder); d && d->sot) obj_list_insert(d->sot, 0, georef);
    }
  }
  std::lock_guard<std::recursive_mutex> lock(repr_tables_mutex());
  std::unordered_set<folder_t*> styled;
  const int nf = obj_list_count(features);
  for (int i = 0; i < nf && !get_gblerr(); ++i) {
    const obj_t* o = features->elems[i];
    if (!o || o->cls != CLS_FEATURE) continue;
    const auto* f = static_cast<const feature_t*>(o);
    if (f->elttype == 0) continue;
    representation_t* r = nullptr;
    repr_find_by_mnemo(f, &r, nullptr);
    if (!r) continue;
    folder_t* folder = repr_folder_of(index, f);
    if (!folder || !folder->sot || !styled.insert(folder).second) continue;
    folder_styles(folder, f, r, objects);
  }
  return get_gblerr() ? -1 : 0;
}
